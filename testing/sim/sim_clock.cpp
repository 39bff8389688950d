#include "testing/sim/sim_clock.h"

#include <algorithm>
#include <stdexcept>

namespace zanthrel::sim {

SimClock::TimerHandle SimClock::addTimer(std::function<void()> onTick) {
    timers_.push_back(Timer{std::move(onTick)});
    return static_cast<TimerHandle>(timers_.size() - 1);
}

void SimClock::setTimer(TimerHandle handle, bool enabled, int intervalMs) {
    Timer& timer = timers_.at(static_cast<std::size_t>(handle));
    timer.intervalMs = std::max(1, intervalMs);
    if (enabled && !timer.enabled) timer.dueMs = now_ + timer.intervalMs;
    timer.enabled = enabled;
}

void SimClock::advance(std::int64_t ms) {
    if (ms < 0) throw std::invalid_argument("time only moves forward");
    const std::int64_t target = now_ + ms;
    for (;;) {
        Timer* next = nullptr;
        for (Timer& timer : timers_)
            if (timer.enabled && !timer.running && timer.dueMs <= target && (!next || timer.dueMs < next->dueMs))
                next = &timer;
        if (!next) break;
        now_ = std::max(now_, next->dueMs);
        next->dueMs = now_ + next->intervalMs;
        next->running = true;
        const std::size_t index = static_cast<std::size_t>(next - timers_.data());
        timers_[index].onTick();
        timers_[index].running = false;
    }
    now_ = std::max(now_, target);
}

}  // namespace zanthrel::sim
