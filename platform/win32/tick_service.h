#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/services.h"

namespace zanthrel::win32 {

// The program's timers, ticked by a thread of their own rather than by WM_TIMER. WM_TIMER comes only when
// a window's queue holds nothing else, so a program that floods our window with posted messages would stop
// sampling and blocking for as long as the flood lasts. This thread announces due ticks with a *sent*
// message, which the system delivers before any posted one, also inside modal loops. At most one
// announcement is on its way at a time; ticks that fall due meanwhile are merged into it, never queued.
//
// The sampling clock ticks at its interval, raised to the system's timer resolution. The blocking clock is
// driven by the clipboard's change notices; the thread only looks at the clipboard's sequence number now
// and then, in case a notice was lost, and ticks it when the number moved. The extra "check" tick runs
// while the clipboard service has work under way. The guard rests the sampling clock while the clipboard
// is at rest, so that an idle guard costs almost nothing.
class TickService final : public TimerService {
public:
    static constexpr unsigned kCheckTick = 1u << 3;

    explicit TickService(UINT message) : message_(message) {}
    ~TickService() override;
    TickService(const TickService&) = delete;
    TickService& operator=(const TickService&) = delete;

    // Starts ticking into `window`; timers set before only take effect from here.
    void attach(HWND window);
    void setTimer(GuardTimer id, bool enabled, int intervalMs) override;
    void setChecks(bool wanted);
    // A resting timer still looks at the clipboard's sequence number now and then and starts again by
    // itself when it moved, in case a change notice was lost.
    void rest(GuardTimer id) override;
    void wake(GuardTimer id) override;
    bool isResting(GuardTimer id);
    // On the window's thread, for the announcement: the ticks due since the last call, one bit per
    // GuardTimer (1 << id) plus kCheckTick.
    unsigned takeDue();

    static constexpr unsigned bit(GuardTimer id) noexcept { return 1u << static_cast<unsigned>(id); }

private:
    using Clock = std::chrono::steady_clock;
    struct Slot {
        bool enabled = false;
        bool paused = false;
        DWORD pausedSequence = 0;  // the clipboard's number as the pause began
        Clock::duration interval{};
        Clock::time_point due{};
    };
    void run();

    HWND window_ = nullptr;
    UINT message_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    Slot slots_[4];  // sampling, counting window, the blocking fallback look, the check tick
    DWORD seenSequence_ = 0;
    unsigned due_ = 0;
    bool announced_ = false;
    std::thread thread_;
};

}  // namespace zanthrel::win32
