#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zanthrel::sim {

// One virtual clock for the whole simulated desktop. Timers fire only when a test advances the
// clock, in the order they fall due, so every story runs fast and the same way every time.
class SimClock {
public:
    using TimerHandle = int;

    std::int64_t nowMs() const noexcept { return now_; }

    TimerHandle addTimer(std::function<void()> onTick);
    // Enabling starts a fresh interval from now; a disabled timer delivers nothing.
    void setTimer(TimerHandle handle, bool enabled, int intervalMs);

    // Moves time forward by `ms`, firing each due tick. May be called again from inside a tick (a
    // modal box waiting for the user while time passes); a timer whose tick is still running is not
    // fired again until it returns, as a message queue would not deliver it twice.
    void advance(std::int64_t ms);

private:
    struct Timer {
        std::function<void()> onTick;
        bool enabled = false;
        int intervalMs = 1;
        std::int64_t dueMs = 0;
        bool running = false;
    };
    std::vector<Timer> timers_;
    std::int64_t now_ = 0;
};

}  // namespace zanthrel::sim
