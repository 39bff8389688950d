#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/emptying_order.h"

namespace zanthrel::posix {

// The selections a reader empties under the standing order: the clipboard it watches, and the primary
// selection (what is merely selected, pasted with the middle button) where the desktop has one.
enum class Selection { Clipboard, Primary };

// The guard's standing emptying order as a reader's thread carries it out: given from any thread, followed
// where the change arrives, with a pace of its own for each selection. The order is checked and the
// emptying sent under one lock, so that once a withdrawal has returned no emptying can start any more.
// The emptyings a fight's pace puts off are kept here until their turn. Each reader empties a selection
// through a callable of its own (`empty`), which sends the emptying and says whether it did.
class StandingOrder {
public:
    using Clock = EmptyingPace::Clock;
    struct Decision {
        bool follow = false;  // the order stands: the change is emptied now or at `emptyAt`
        Clock::time_point emptyAt{};
        bool fightBegan = false;  // the guard is told once per fight
    };

    // Any thread. Every order, even the same one again, starts the paces afresh.
    void set(const EmptyingOrder& order) {
        {
            const std::lock_guard lock(mutex_);
            order_ = order;
            paces_.fill(EmptyingPace(order));
        }
        if (order.active) given_ = true;
    }
    // Reader thread: whether an order was given since the last call. What is selected when blocking
    // starts goes at once; the clipboard itself is the blocker's to empty.
    bool newlyGiven() noexcept { return given_.exchange(false); }
    bool active() const {
        const std::lock_guard lock(mutex_);
        return order_.active;
    }
    // Whether the selection's last taker is being answered at the fight's pace.
    bool fighting(Selection selection) {
        const std::lock_guard lock(mutex_);
        return order_.active && pace(selection).fighting();
    }

    // Reader thread: another program, `owner` where the platform can tell, took the selection at `now`.
    // An emptying put off to the pace's next turn is kept until then (see takeDue).
    Decision taken(Selection selection, std::uint64_t owner, Clock::time_point now) {
        Decision decision;
        {
            const std::lock_guard lock(mutex_);
            if (!order_.active) return {};
            const EmptyingPace::Decision paced = pace(selection).taken(owner, now);
            decision = {true, paced.emptyAt, paced.fightBegan};
        }
        due_[index(selection)] = decision.emptyAt > now ? decision.emptyAt : Clock::time_point::max();
        return decision;
    }

    // Reader thread: another program took the selection at `now`, as for taken(). Where the order stands
    // it is emptied through `empty` now, or at the pace's turn through takeDue.
    template <typename Empty>
    Decision follow(Selection selection, std::uint64_t owner, Clock::time_point now, Empty&& empty) {
        const Decision decision = taken(selection, owner, now);
        if (decision.follow && decision.emptyAt <= now) carryOut(selection, now, empty);
        return decision;
    }

    // Reader thread: empties, under carryOut, each selection whose put-off emptying is due at `now`,
    // through `empty(selection)`; the turn of the next one still to come, or Clock::time_point::max().
    template <typename Empty>
    Clock::time_point takeDue(Clock::time_point now, Empty&& empty) {
        Clock::time_point next = Clock::time_point::max();
        for (const Selection selection : {Selection::Clipboard, Selection::Primary}) {
            Clock::time_point& due = due_[index(selection)];
            if (due == Clock::time_point::max()) continue;
            if (now < due) {
                next = std::min(next, due);
                continue;
            }
            due = Clock::time_point::max();
            carryOut(selection, now, [&] { return empty(selection); });
        }
        return next;
    }

    // Reader thread: runs `empty`, which sends the emptying and says whether it did, if the order still
    // stands; true when it ran and emptied.
    template <typename Empty>
    bool carryOut(Selection selection, Clock::time_point now, Empty&& empty) {
        const std::lock_guard lock(mutex_);
        if (!order_.active || !empty()) return false;
        pace(selection).emptied(now);
        return true;
    }

private:
    static std::size_t index(Selection selection) { return selection == Selection::Primary ? 1 : 0; }
    EmptyingPace& pace(Selection selection) { return paces_[index(selection)]; }

    mutable std::mutex mutex_;
    EmptyingOrder order_;
    std::array<EmptyingPace, 2> paces_{EmptyingPace{}, EmptyingPace{}};
    std::atomic<bool> given_{false};
    // Reader thread only.
    std::array<Clock::time_point, 2> due_{Clock::time_point::max(), Clock::time_point::max()};
};

}  // namespace zanthrel::posix
