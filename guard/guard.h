#pragma once

#include <memory>

#include "core/services.h"
#include "guard/activity_log.h"
#include "guard/blocker.h"
#include "guard/capture_detector.h"
#include "guard/guard_state.h"
#include "guard/program_names.h"

namespace zanthrel {

// The guard behind the main window: start-up, the monitoring and blocking commands, the capture detector
// with its alarm, the blocker, the activity log, and when the sampling clock may rest. It owns the window's
// state and talks to the desktop only through the services it is given.
//
// Every entry point runs to its end or stops at the first error, which never leaves it: the next event runs
// as usual. Each returns false when an error ended it early.
class Guard {
public:
    // Without a comparison the guard uses its own (CoveredPixelComparison).
    explicit Guard(const DesktopServices& desktop, std::unique_ptr<SnapshotComparison> comparison = nullptr);
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    void setObserver(GuardObserver* observer) noexcept { notify_.setObserver(observer); }
    const GuardState& state() const noexcept { return state_; }
    SnapshotComparison& comparison() noexcept { return detector_.comparison(); }

    // The window is created: both holders take the clipboard's picture, and the log says it is unprotected.
    bool start() noexcept;
    // The user's commands: the monitoring button, the blocking button and the "Please Read" label.
    bool toggleMonitoring() noexcept;
    bool toggleBlocking() noexcept;
    bool showInformation() noexcept;
    // A tick of one of the guard's timers. A tick that was already on its way when its timer was switched off
    // does nothing.
    bool onTimer(GuardTimer timer) noexcept;

    // Facts the clipboard service reports. The clipboard changed: a program took it, or it was left without
    // an owner; and the service may have emptied it already, under the standing order blocking gives.
    bool clipboardChanged(ClipboardChange change) noexcept;
    // The answer to a read that could not be answered at once has arrived (see Clipboard::readPicture).
    bool clipboardAnswered() noexcept;
    // The program that owns the clipboard since the last change, once the platform could tell (which may be
    // never). Nothing waits for it: it only adds lines under the ones it explains.
    bool clipboardOwnerNamed(ProgramIdentity owner) noexcept;
    // Another program asked for the clipboard's contents (where the platform lets the guard see that).
    bool clipboardReadBy(ProgramIdentity reader) noexcept;
    // Logs the problem with the date and time, once for a run of the same problem.
    bool reportClipboardProblem(ClipboardProblem problem) noexcept;

    // Whether the sampling clock is resting because nothing can change its verdict until the next change.
    bool samplingRests() const noexcept { return samplingRests_; }

private:
    template <typename Handler>
    bool run(Handler&& handler) noexcept;

    void onMonitoringCommand();
    void onBlockingCommand();
    void onSamplingTick();
    void raiseAlarm();
    void stopMonitoringControls();
    void restSamplingIfIdle();
    void wakeSampling();
    void setCaption(CommandState& command, GuardChange change, std::string_view caption);
    void setCommandEnabled(CommandState& command, GuardChange change, bool enabled);
    void setTimerEnabled(GuardTimer timer, bool enabled);
    void setIndicatorLit(bool lit);
    void setIndicatorColour(Colour colour);

    DesktopServices desktop_;
    GuardState state_;
    ChangeNotifier notify_;
    ActivityLog log_;
    CaptureDetector detector_;
    Blocker blocker_;
    ProgramNames names_;
    bool samplingRests_ = false;
};

}  // namespace zanthrel
