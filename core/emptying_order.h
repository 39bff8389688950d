#pragma once

#include <chrono>
#include <cstdint>

namespace zanthrel {

// The guard's standing order to the clipboard service while blocking is on: empty every change another
// program makes the moment the service hears of it, on the service's own thread, and tell the guard
// afterwards. A spy that reads the clipboard as soon as it hears of a change races that emptying; a trip
// to the user-interface thread and back first would hand it the race.
struct EmptyingOrder {
    bool active = false;
    // A program that takes the clipboard back after every emptying would be answered as fast as the two
    // can go, at the cost of a core: so many takings by one owner within `fightWindow` make a fight, and
    // its changes are then emptied at most once per `fightPace`, the blocking clock's own interval.
    int fightTakings = 50;
    std::chrono::milliseconds fightWindow{1000};
    std::chrono::milliseconds fightPace{5};

    friend bool operator==(const EmptyingOrder&, const EmptyingOrder&) = default;
};

// Carries out an order's pace where the service empties: for each change another program made, when to
// empty it. Plain data and arithmetic, no clock of its own, so that one test on a virtual clock covers
// every service.
class EmptyingPace {
public:
    using Clock = std::chrono::steady_clock;
    struct Decision {
        Clock::time_point emptyAt;  // `now`, or the fight's next turn
        bool fightBegan = false;    // this change began a fight: the guard is told, once per fight
    };

    explicit EmptyingPace(EmptyingOrder order = {}) noexcept : order_(order) {}

    // A program took the clipboard. `owner` tells owners apart where the platform can (a window, say);
    // 0 when it cannot, and then every taking counts as the same owner's.
    Decision taken(std::uint64_t owner, Clock::time_point now) noexcept;
    // The clipboard was emptied at `now`.
    void emptied(Clock::time_point now) noexcept { lastEmptied_ = now; }
    bool fighting() const noexcept { return fighting_; }

private:
    EmptyingOrder order_;
    std::uint64_t owner_ = 0;
    int takings_ = 0;
    Clock::time_point windowStart_{};
    Clock::time_point lastTaken_{};
    Clock::time_point lastEmptied_{};
    bool fighting_ = false;
};

}  // namespace zanthrel
