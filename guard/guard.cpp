#include "guard/guard.h"

#include "core/texts.h"
#include "layout/main_window_layout.h"

namespace zanthrel {
namespace {

// Runs one step of a sequence whose failing steps are skipped: the next one runs regardless.
template <typename Step>
void ignoringErrors(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

Guard::Guard(const DesktopServices& desktop, std::unique_ptr<SnapshotComparison> comparison)
    : desktop_(desktop),
      log_(state_.log, desktop_.dateTime, notify_),
      detector_(state_.detection, desktop_.clipboard, log_, notify_, std::move(comparison)),
      blocker_(desktop_.clipboard, kBlockingIntervalMs),
      names_(log_) {
    state_.monitoring = {std::string(texts::kStartCaptionAtLaunch), false, true};
    state_.blocking = {std::string(texts::kBlockCaption), false, true};
    state_.indicator = {kIndicatorGreen, true};
    state_.timers = {TimerState{false, kSamplingIntervalMs}, TimerState{false, kCountingWindowMs},
                     TimerState{false, kBlockingIntervalMs}};
    state_.detection.firstHolder = {kHolderScaleWidthTwips, kHolderScaleHeightTwips, nullptr};
    state_.detection.secondHolder = {kHolderScaleWidthTwips, kHolderScaleHeightTwips, nullptr};
}

template <typename Handler>
bool Guard::run(Handler&& handler) noexcept {
    try {
        handler();
        return true;
    } catch (...) {
        // An error ends the handler it happened in, never the program. A sampling tick whose comparison
        // failed thus counts nothing and tries again next tick.
        return false;
    }
}

bool Guard::start() noexcept {
    return run([this] {
        detector_.takeStartUpSnapshots();
        log_.writeLine(std::string(texts::kNotProtected));
    });
}

bool Guard::toggleMonitoring() noexcept {
    return run([this] { onMonitoringCommand(); });
}

bool Guard::toggleBlocking() noexcept {
    return run([this] { onBlockingCommand(); });
}

bool Guard::showInformation() noexcept {
    return run([this] { desktop_.informationDialog.showModal(); });
}

bool Guard::onTimer(GuardTimer timer) noexcept {
    if (!state_.timer(timer).enabled) return true;
    switch (timer) {
        case GuardTimer::Sampling: {
            const bool done = run([this] { onSamplingTick(); });
            restSamplingIfIdle();
            return done;
        }
        case GuardTimer::CountingWindow: names_.windowBegan(); return run([this] { detector_.resetCount(); });
        case GuardTimer::Blocking: blocker_.empty(); return true;
    }
    return true;
}

bool Guard::clipboardChanged(ClipboardChange change) noexcept {
    // Blocking acts at once on a program that took the clipboard, not on its next tick: the service has done
    // so already where it follows the standing order, and the guard does it now where it does not.
    const bool emptying = change.taken && !change.emptied && state_.timer(GuardTimer::Blocking).enabled;
    if (emptying) blocker_.empty();
    names_.clipboardChanged(change.emptied || emptying);
    if (!samplingRests_) return true;
    // A resting clock starts again with a tick at once, which asks for the new picture.
    wakeSampling();
    return onTimer(GuardTimer::Sampling);
}

bool Guard::clipboardAnswered() noexcept {
    wakeSampling();
    const bool filled = run([this] { detector_.startUpAnswerArrived(); });
    // The sample is taken now rather than at the next tick, so that a capture is counted within one tick
    // of its arrival.
    return onTimer(GuardTimer::Sampling) && filled;
}

bool Guard::clipboardOwnerNamed(ProgramIdentity owner) noexcept {
    return run([&] { names_.ownerNamed(std::move(owner), state_.log); });
}

bool Guard::clipboardReadBy(ProgramIdentity reader) noexcept {
    return run([&] { names_.readBy(std::move(reader), state_.monitoring.on || state_.blocking.on); });
}

bool Guard::reportClipboardProblem(ClipboardProblem problem) noexcept {
    return run([&] {
        if (problem == ClipboardProblem::CannotWatch) state_.cannotWatchClipboard = true;
        log_.writeUnlessRepeated(problem == ClipboardProblem::OwnerSilent   ? texts::kOwnerSilent
                                 : problem == ClipboardProblem::CannotWatch ? texts::kCannotWatch
                                 : problem == ClipboardProblem::Contested   ? texts::kContested
                                                                            : texts::kNotEmptied);
    });
}

void Guard::onMonitoringCommand() {
    if (state_.blocking.on) {
        desktop_.messageBox.show(std::string(texts::kInfoText), std::string(texts::kInfoTitle),
                                 MessageBoxIcon::Information);
        return;
    }
    if (!state_.monitoring.on) {
        state_.monitoring.on = true;
        setCaption(state_.monitoring, GuardChange::MonitoringCommand, texts::kStopCaption);
        setTimerEnabled(GuardTimer::Sampling, true);
        setTimerEnabled(GuardTimer::CountingWindow, true);
        names_.windowBegan();
        log_.write(texts::kProtectionStarted, true);
        return;
    }
    log_.write(texts::kProtectionStopped, true);
    stopMonitoringControls();
}

void Guard::stopMonitoringControls() {
    state_.monitoring.on = false;
    setCaption(state_.monitoring, GuardChange::MonitoringCommand, texts::kStartCaption);
    setTimerEnabled(GuardTimer::Sampling, false);
    setTimerEnabled(GuardTimer::CountingWindow, false);
    setTimerEnabled(GuardTimer::Blocking, false);
    setIndicatorLit(true);
}

void Guard::onBlockingCommand() {
    if (state_.monitoring.on) {
        log_.write(texts::kMonitoringStopped, true);
        stopMonitoringControls();
        setCommandEnabled(state_.monitoring, GuardChange::MonitoringCommand, false);
    }
    if (!state_.blocking.on) {
        state_.blocking.on = true;
        setCaption(state_.blocking, GuardChange::BlockingCommand, texts::kUnblockCaption);
        setTimerEnabled(GuardTimer::Blocking, true);
        log_.write(texts::kClipboardBlocked);
        // Blocking that cannot reach the clipboard is never announced alone.
        if (state_.cannotWatchClipboard) log_.write(texts::kCannotWatch);
        setIndicatorColour(kIndicatorRed);
    } else {
        state_.blocking.on = false;
        setCaption(state_.blocking, GuardChange::BlockingCommand, texts::kBlockCaption);
        log_.write(texts::kClipboardUnblocked);
        setTimerEnabled(GuardTimer::Blocking, false);
        setIndicatorColour(kIndicatorGreen);
        setCommandEnabled(state_.monitoring, GuardChange::MonitoringCommand, true);
    }
}

void Guard::onSamplingTick() {
    setIndicatorLit(!state_.indicator.lit);
    const int counted = state_.detection.captureCount;
    detector_.sample();
    if (state_.detection.captureCount > counted) ignoringErrors([&] { names_.captureCounted(state_.log); });
    if (detector_.alarmDue()) raiseAlarm();
}

void Guard::raiseAlarm() {
    // Every step is taken even where one before it failed: the alarm must reach the user.
    // The programs are known before the alarm's line, so that whoever shows that line can name them too.
    ignoringErrors([&] { state_.alarmPrograms = names_.alarmLine(); });
    ignoringErrors([&] { log_.write(texts::kAlarmRaised); });
    ignoringErrors([&] {
        if (!state_.alarmPrograms.empty()) log_.writeLine(state_.alarmPrograms);
    });
    ignoringErrors([&] { log_.write(texts::kProtectionStopped, true); });
    state_.monitoring.on = false;
    ignoringErrors(
        [&] { setCaption(state_.monitoring, GuardChange::MonitoringCommand, texts::kStartCaptionAtLaunch); });
    ignoringErrors([&] { setTimerEnabled(GuardTimer::Sampling, false); });
    ignoringErrors([&] { setTimerEnabled(GuardTimer::CountingWindow, false); });
    ignoringErrors([&] { setIndicatorLit(true); });
    ignoringErrors([&] { onBlockingCommand(); });
    ignoringErrors([&] { setCommandEnabled(state_.monitoring, GuardChange::MonitoringCommand, false); });
    ignoringErrors([&] { desktop_.windowOrder.bringToFront(); });
    ignoringErrors([&] {
        desktop_.messageBox.show(std::string(texts::kWarningText), std::string(texts::kWarningTitle),
                                 MessageBoxIcon::Information);
    });
    ignoringErrors([&] { detector_.resetCount(); });
    names_.windowBegan();
}

void Guard::restSamplingIfIdle() {
    // With both holders holding what the clipboard still holds, every further tick would compare a picture
    // with itself and put it back: the clock rests until the clipboard changes or an answer comes.
    // A service may start a resting clock again by itself (one that noticed a change whose notice was lost),
    // so a tick that finds nothing to do rests it again.
    if (!state_.timer(GuardTimer::Sampling).enabled || !detector_.holdersAgree()) return;
    if (!desktop_.clipboard.atRest(state_.detection.firstHolder.picture)) return;
    samplingRests_ = true;
    ignoringErrors([&] { desktop_.timers.rest(GuardTimer::Sampling); });
}

void Guard::wakeSampling() {
    if (!samplingRests_) return;
    samplingRests_ = false;
    ignoringErrors([&] { desktop_.timers.wake(GuardTimer::Sampling); });
}

void Guard::setCaption(CommandState& command, GuardChange change, std::string_view caption) {
    command.caption = caption;
    notify_(change);
}

void Guard::setCommandEnabled(CommandState& command, GuardChange change, bool enabled) {
    command.enabled = enabled;
    notify_(change);
}

void Guard::setTimerEnabled(GuardTimer timer, bool enabled) {
    TimerState& state = state_.timers[static_cast<std::size_t>(timer)];
    if (state.enabled == enabled) return;
    if (timer == GuardTimer::Sampling) samplingRests_ = false;  // switching the clock ends a rest
    state.enabled = enabled;
    // The blocking clock's ticks stay as a net under the order, for a service that missed a change or
    // follows no orders: an order withdrawn first leaves nothing emptied after the clock stops.
    if (timer == GuardTimer::Blocking && !enabled) desktop_.clipboard.setEmptyingOrder(EmptyingOrder{});
    desktop_.timers.setTimer(timer, enabled, state.intervalMs);
    if (timer == GuardTimer::Blocking && enabled) desktop_.clipboard.setEmptyingOrder(blocker_.order());
}

void Guard::setIndicatorLit(bool lit) {
    state_.indicator.lit = lit;
    notify_(GuardChange::Indicator);
}

void Guard::setIndicatorColour(Colour colour) {
    state_.indicator.colour = colour;
    notify_(GuardChange::Indicator);
}

}  // namespace zanthrel
