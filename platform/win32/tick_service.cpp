#include "platform/win32/tick_service.h"

#include <algorithm>

namespace zanthrel::win32 {
namespace {

using namespace std::chrono_literals;

// How often blocking looks at the clipboard's sequence number without a change notice: cheap (one call,
// no clipboard opened), and only a safety net for a notice that did not arrive.
constexpr auto kBlockFallback = 200ms;

// The system clock's tick (15.6 ms on most Windows machines), which is what a 1 ms SetTimer gets; never
// below SetTimer's own minimum, USER_TIMER_MINIMUM.
std::chrono::microseconds timerResolution() {
    DWORD adjustment = 0, increment = 0;
    BOOL disabled = TRUE;
    constexpr auto minimum = std::chrono::microseconds(USER_TIMER_MINIMUM * 1000);
    if (!GetSystemTimeAdjustment(&adjustment, &increment, &disabled)) return minimum;
    return std::max(minimum, std::chrono::microseconds(increment / 10));  // 100-ns units
}
constexpr auto kCheckInterval = 10ms;
// How often a paused timer looks at the clipboard's sequence number: only a safety net for a lost
// change notice, which otherwise resumes it at once.
constexpr auto kPausedLook = 1s;

}  // namespace

void TickService::attach(HWND window) {
    {
        const std::lock_guard lock(mutex_);
        window_ = window;
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

TickService::~TickService() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TickService::setTimer(GuardTimer id, bool enabled, int intervalMs) {
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(id)];
    slot.enabled = enabled;
    slot.paused = false;
    const auto now = Clock::now();
    if (id == GuardTimer::Blocking) {
        slot.interval = kBlockFallback;
        // Blocking starts by emptying whatever is there now.
        slot.due = now + slot.interval;
        if (enabled) due_ |= bit(id);
        seenSequence_ = GetClipboardSequenceNumber();
    } else {
        static const auto resolution = timerResolution();
        slot.interval = std::max<Clock::duration>(std::chrono::milliseconds(intervalMs), resolution);
        slot.due = now + slot.interval;
        due_ &= ~bit(id);  // enabling starts a fresh interval; a tick still owed from before is void
    }
    wake_.notify_all();
}

void TickService::setChecks(bool wanted) {
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_[3];
    if (slot.enabled == wanted) return;
    slot.enabled = wanted;
    slot.interval = kCheckInterval;
    slot.due = Clock::now() + kCheckInterval;
    wake_.notify_all();
}

void TickService::rest(GuardTimer id) {
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(id)];
    if (!slot.enabled || slot.paused) return;
    slot.paused = true;
    slot.pausedSequence = GetClipboardSequenceNumber();
    slot.due = Clock::now() + kPausedLook;
    due_ &= ~bit(id);  // a tick that fell due meanwhile would find nothing to do either
    wake_.notify_all();
}

void TickService::wake(GuardTimer id) {
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(id)];
    if (!slot.paused) return;
    slot.paused = false;
    slot.due = Clock::now() + slot.interval;
    wake_.notify_all();
}

bool TickService::isResting(GuardTimer id) {
    const std::lock_guard lock(mutex_);
    return slots_[static_cast<std::size_t>(id)].paused;
}

unsigned TickService::takeDue() {
    const std::lock_guard lock(mutex_);
    announced_ = false;
    const unsigned due = due_;
    due_ = 0;
    if (slots_[3].enabled) wake_.notify_all();  // a tick merged while the announcement travelled
    return due;
}

void TickService::run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        auto next = Clock::time_point::max();
        for (const Slot& slot : slots_)
            if (slot.enabled) next = std::min(next, slot.due);
        if (due_ != 0 && !announced_) next = Clock::now();
        wake_.wait_until(lock, next);
        if (stop_) break;
        const auto now = Clock::now();
        for (std::size_t i = 0; i < 4; ++i) {
            Slot& slot = slots_[i];
            if (!slot.enabled || now < slot.due) continue;
            if (slot.paused) {
                slot.due = now + kPausedLook;
                if (GetClipboardSequenceNumber() == slot.pausedSequence) continue;
                slot.paused = false;
                slot.due = now + slot.interval;
                due_ |= 1u << i;
                continue;
            }
            // A late thread does not catch up with a burst of ticks: the next one is an interval away.
            slot.due += slot.interval;
            if (slot.due <= now) slot.due = now + slot.interval;
            if (i == 2) {
                const DWORD sequence = GetClipboardSequenceNumber();
                if (sequence != seenSequence_) due_ |= bit(GuardTimer::Blocking);
                seenSequence_ = sequence;
            } else {
                due_ |= i == 3 ? kCheckTick : 1u << i;
            }
        }
        if (due_ != 0 && !announced_) {
            announced_ = true;
            // Sent, not posted: delivered ahead of whatever else waits in the window's queue.
            SendNotifyMessageW(window_, message_, 0, 0);
        }
    }
}

}  // namespace zanthrel::win32
