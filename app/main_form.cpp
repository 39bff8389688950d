#include "app/main_form.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>

#include "app/main_window_layout.h"
#include "app/texts.h"
#include "platform/runtime_error.h"

namespace zanthrel {
namespace {

constexpr std::string_view kOff = "0";
constexpr std::string_view kOn = "1";

// Runs one statement of a handler section whose errors are ignored: a statement that fails is
// skipped and the next one runs.
template <typename Statement>
void ignoringErrors(Statement&& statement) noexcept {
    try {
        statement();
    } catch (...) {
    }
}

}  // namespace

MainForm::MainForm(const DesktopServices& desktop, ComparisonMode mode) : desktop_(desktop), comparison_(mode) {
    state_.cmdStartPause = {std::string(texts::kStartCaptionAtLaunch), std::string(kOff), true};
    state_.cmdEnableDisable = {std::string(texts::kBlockCaption), std::string(kOff), true};
    state_.shape1FillColour = kIndicatorGreen;
    state_.shape1Visible = true;
    state_.timers = {TimerState{false, kTimer1IntervalMs}, TimerState{false, kTimer2IntervalMs},
                     TimerState{false, kTimer3IntervalMs}};
    state_.picture1 = {kHolderScaleWidthTwips, kHolderScaleHeightTwips, nullptr};
    state_.picture3 = {kHolderScaleWidthTwips, kHolderScaleHeightTwips, nullptr};
}

bool MainForm::handle(FormEvent event) noexcept {
    try {
        switch (event) {
            case FormEvent::Load: Form_Load(); break;
            case FormEvent::StartPauseClick: cmdStartPause_Click(); break;
            case FormEvent::EnableDisableClick: cmdEnableDisable_Click(); break;
            case FormEvent::PleaseReadClick: lblPleaseRead_Click(); break;
            case FormEvent::Timer1Tick: Timer1_Timer(); break;
            case FormEvent::Timer2Tick: Timer2_Timer(); break;
            case FormEvent::Timer3Tick: Timer3_Timer(); break;
            case FormEvent::ClipboardAnswered: clipboardAnswered(); break;
        }
        return true;
    } catch (...) {
        // An error ends the handler it happened in, never the program: the next event runs as usual.
        // A sampling tick whose comparison failed thus counts nothing and tries again next tick.
        return false;
    }
}

bool MainForm::onTimer(TimerId id) noexcept {
    // A tick that was already queued when its timer was switched off must not run.
    if (!state_.timer(id).enabled) return true;
    switch (id) {
        case TimerId::Timer1: return handle(FormEvent::Timer1Tick);
        case TimerId::Timer2: return handle(FormEvent::Timer2Tick);
        case TimerId::Timer3: return handle(FormEvent::Timer3Tick);
    }
    return true;
}

void MainForm::Form_Load() {
    state_.snapshotToggle = 0;
    // A clipboard held open by another program at start leaves that holder without a picture.
    // A clipboard whose answer is still on its way leaves it so until clipboardAnswered().
    bool answered = true;
    PictureRef first;
    ignoringErrors([&] {
        answered = false;
        first = desktop_.clipboard.readPicture();
        answered = true;
    });
    setHolderPicture(state_.picture1, FormControl::Picture1, first);
    PictureRef second;
    ignoringErrors([&] {
        answered = false;
        second = desktop_.clipboard.readPicture();
        answered = true;
    });
    setHolderPicture(state_.picture3, FormControl::Picture3, second);
    startupSampleOwed_ = !answered;
    logLine(std::string(texts::kNotProtected));
}

void MainForm::clipboardAnswered() {
    // The start-up reads could not be answered at once (the owner is another program, and the window
    // does not wait for it). Until a sampling tick has taken a sample of its own, the first answer fills
    // both holders as the start-up reads would have; otherwise a picture copied before start-up would be
    // counted as a capture once monitoring begins.
    if (!startupSampleOwed_) return;
    PictureRef picture = desktop_.clipboard.readPicture();
    startupSampleOwed_ = false;
    setHolderPicture(state_.picture1, FormControl::Picture1, picture);
    setHolderPicture(state_.picture3, FormControl::Picture3, std::move(picture));
}

void MainForm::reportClipboardProblem(ClipboardProblem problem) {
    const std::string_view prefix = problem == ClipboardProblem::OwnerSilent   ? texts::kOwnerSilent
                                    : problem == ClipboardProblem::CannotWatch ? texts::kCannotWatch
                                                                               : texts::kNotEmptied;
    if (problem == ClipboardProblem::CannotWatch) state_.clipboardUnreachable = true;
    // One entry for a run of the same problem: a program that provokes it in a loop must not grow the
    // log without bound. Any other entry in between lets the next one through.
    if (!state_.list1.empty() && state_.list1.back().starts_with(prefix)) return;
    log(prefix, false);
}

void MainForm::cmdStartPause_Click() {
    if (state_.cmdEnableDisable.tag == kOn) {
        desktop_.messageBox.show(std::string(texts::kInfoText), std::string(texts::kInfoTitle), kMessageBoxInformation);
        return;
    }
    if (state_.cmdStartPause.tag == kOff) {
        setTag(state_.cmdStartPause, FormControl::cmdStartPause, kOn);
        setCaption(state_.cmdStartPause, FormControl::cmdStartPause, texts::kStopCaption);
        setTimerEnabled(TimerId::Timer1, true);
        setTimerEnabled(TimerId::Timer2, true);
        log(texts::kProtectionStarted, true);
        return;
    }
    log(texts::kProtectionStopped, true);
    stopMonitoringControls();
}

void MainForm::stopMonitoringControls() {
    setTag(state_.cmdStartPause, FormControl::cmdStartPause, kOff);
    setCaption(state_.cmdStartPause, FormControl::cmdStartPause, texts::kStartCaption);
    setTimerEnabled(TimerId::Timer1, false);
    setTimerEnabled(TimerId::Timer2, false);
    setTimerEnabled(TimerId::Timer3, false);
    setShapeVisible(true);
}

void MainForm::cmdEnableDisable_Click() {
    if (state_.cmdStartPause.tag == kOn) {
        log(texts::kMonitoringStopped, true);
        stopMonitoringControls();
        setButtonEnabled(state_.cmdStartPause, FormControl::cmdStartPause, false);
    }
    if (state_.cmdEnableDisable.tag == kOff) {
        setTag(state_.cmdEnableDisable, FormControl::cmdEnableDisable, kOn);
        setCaption(state_.cmdEnableDisable, FormControl::cmdEnableDisable, texts::kUnblockCaption);
        setTimerEnabled(TimerId::Timer3, true);
        log(texts::kClipboardBlocked, false);
        // Blocking that cannot reach the clipboard is never announced alone.
        if (state_.clipboardUnreachable) log(texts::kCannotWatch, false);
        setShapeColour(kIndicatorRed);
    } else {
        setTag(state_.cmdEnableDisable, FormControl::cmdEnableDisable, kOff);
        setCaption(state_.cmdEnableDisable, FormControl::cmdEnableDisable, texts::kBlockCaption);
        log(texts::kClipboardUnblocked, false);
        setTimerEnabled(TimerId::Timer3, false);
        setShapeColour(kIndicatorGreen);
        setButtonEnabled(state_.cmdStartPause, FormControl::cmdStartPause, true);
    }
}

void MainForm::lblPleaseRead_Click() {
    desktop_.informationDialog.showModal();
}

void MainForm::Timer1_Timer() {
    setShapeVisible(!state_.shape1Visible);
    bool identical = true;
    try {
        identical = comparison_.CompareSnapshots(state_.picture1, state_.picture3);
    } catch (...) {
        // The pictures could not be compared pixel by pixel (no memory for the buffers, a size beyond
        // 32 bits). A picture that arrived is still judged, by the digest of the data its owner
        // delivered; and the sample below is still taken, or the offending picture would stay in its
        // holder and every later tick would fail the same way, blind to all captures.
        identical = sameDeliveredContent(state_.picture1.picture, state_.picture3.picture);
    }
    if (!identical) {
        if (readCounter() == 0)
            writeCounter(1);
        else
            writeCounter(readCounter() + 1);
        log(texts::kCaptureDetected, false);
    }

    // From here on every statement's error is ignored.
    if (state_.snapshotToggle == 0 || state_.snapshotToggle == 2) {
        ignoringErrors([&] { takeSample(state_.picture1, FormControl::Picture1, state_.picture3); });
        state_.snapshotToggle = 1;
    } else {
        ignoringErrors([&] { takeSample(state_.picture3, FormControl::Picture3, state_.picture1); });
        state_.snapshotToggle = static_cast<std::int16_t>(state_.snapshotToggle + 1);
    }

    bool alarm = false;
    ignoringErrors([&] { alarm = readCounter() > 3; });
    if (!alarm) return;
    ignoringErrors([&] { log(texts::kAlarmRaised, false); });
    ignoringErrors([&] { log(texts::kProtectionStopped, true); });
    ignoringErrors([&] { setTag(state_.cmdStartPause, FormControl::cmdStartPause, kOff); });
    ignoringErrors([&] { setCaption(state_.cmdStartPause, FormControl::cmdStartPause, texts::kStartCaptionAtLaunch); });
    ignoringErrors([&] { setTimerEnabled(TimerId::Timer1, false); });
    ignoringErrors([&] { setTimerEnabled(TimerId::Timer2, false); });
    ignoringErrors([&] { setShapeVisible(true); });
    ignoringErrors([&] { cmdEnableDisable_Click(); });
    ignoringErrors([&] { setButtonEnabled(state_.cmdStartPause, FormControl::cmdStartPause, false); });
    ignoringErrors([&] { desktop_.windowOrder.bringToFront(); });
    ignoringErrors([&] {
        desktop_.messageBox.show(std::string(texts::kWarningText), std::string(texts::kWarningTitle),
                                 kMessageBoxInformation);
    });
    ignoringErrors([&] { writeCounter(0); });
}

void MainForm::takeSample(SnapshotHolder& holder, FormControl control, const SnapshotHolder& other) {
    PictureRef sample;
    try {
        sample = desktop_.clipboard.readPicture();
        startupSampleOwed_ = false;  // a sample taken settles what start-up still owed
    } catch (...) {
        // The clipboard could not be read (held open, or its owner silent). Keeping this holder's older
        // picture would leave the pair that was just counted as it is, and every tick until the clipboard
        // can be read again would count the same capture once more: one picture and a busy clipboard
        // would raise the alarm. The holder takes what the last sample found instead, so the pair agrees
        // until there is something new to read.
        sample = other.picture;
    }
    setHolderPicture(holder, control, std::move(sample));
}

void MainForm::Timer2_Timer() {
    writeCounter(0);
}

void MainForm::Timer3_Timer() {
    // A clipboard held open by another program this tick is simply tried again on the next one.
    ignoringErrors([&] { ClearClipboard(); });
}

void MainForm::ClearClipboard() {
    desktop_.clipboard.clear();
}

void MainForm::log(std::string_view prefix, bool withEllipsis) {
    std::string line(prefix);
    line += desktop_.dateTime.currentDate();
    line += ' ';
    line += desktop_.dateTime.currentTime();
    if (withEllipsis) line += texts::kEllipsis;
    logLine(std::move(line));
}

void MainForm::logLine(std::string line) {
    state_.list1.push_back(std::move(line));
    notify(FormControl::List1);
}

std::int64_t MainForm::readCounter() const {
    // The counter is text; it reads as a number rounded down, as a text box's value would.
    const char* text = state_.txtCounts.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == text || !end || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        throw RuntimeError(ErrorKind::TypeMismatch, "Type mismatch");
    const double floored = std::floor(value);
    if (floored < std::numeric_limits<std::int32_t>::min() || floored > std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(ErrorKind::Overflow, "Overflow");
    return static_cast<std::int64_t>(floored);
}

void MainForm::writeCounter(std::int64_t value) {
    state_.txtCounts = std::to_string(value);
    notify(FormControl::txtCounts);
}

void MainForm::setCaption(CommandButtonState& button, FormControl control, std::string_view caption) {
    button.caption = caption;
    notify(control);
}

void MainForm::setTag(CommandButtonState& button, FormControl control, std::string_view tag) {
    button.tag = std::string(tag);  // not assign(): GCC 12 warns falsely (-Wrestrict) on one-character views
    (void)control;  // a tag is not shown
}

void MainForm::setButtonEnabled(CommandButtonState& button, FormControl control, bool enabled) {
    button.enabled = enabled;
    notify(control);
}

void MainForm::setTimerEnabled(TimerId id, bool enabled) {
    TimerState& timer = state_.timers[static_cast<std::size_t>(id)];
    if (timer.enabled == enabled) return;
    timer.enabled = enabled;
    desktop_.timers.setTimer(id, enabled, timer.intervalMs);
}

void MainForm::setShapeVisible(bool visible) {
    state_.shape1Visible = visible;
    notify(FormControl::Shape1);
}

void MainForm::setShapeColour(Colour colour) {
    state_.shape1FillColour = colour;
    notify(FormControl::Shape1);
}

void MainForm::setHolderPicture(SnapshotHolder& holder, FormControl control, PictureRef picture) {
    // An unchanged clipboard hands back the same picture every tick; nothing to show then.
    if (holder.picture == picture) return;
    holder.picture = std::move(picture);
    notify(control);
}

void MainForm::notify(FormControl control) {
    if (observer_) observer_->controlChanged(control);
}

}  // namespace zanthrel
