#include "testing/sim/sim_desktop.h"

namespace zanthrel::sim {

SimDesktop::SimDesktop(ComparisonMode mode)
    : guard_(DesktopServices{clipboardService_, *this, *this, *this, *this, *this}, makeComparison(mode)) {
    const std::array timers{GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking};
    for (std::size_t i = 0; i < timers.size(); ++i)
        timerHandles_[i] = clock_.addTimer([this, timer = timers[i]] {
            if (timer == GuardTimer::Sampling) ++samplingTicks_;
            guard_.onTimer(timer);
        });
}

void SimDesktop::start() {
    guard_.start();
}

void SimDesktop::reportClipboardChanges() {
    clipboardService_.setReportsChanges(true);
    clipboard_.setChangeListener([this](bool taken) { clipboardChanged(taken); });
}

void SimDesktop::clipboardChanged(bool taken) {
    // The service empties before it reports the change it emptied, and the notice of its own emptying
    // reaches the guard first, as when the guard emptied at once itself.
    SimClipboardService::OrderFollowed followed;
    if (taken)
        followed =
            clipboardService_.followOrder(EmptyingPace::Clock::time_point(std::chrono::milliseconds(clock_.nowMs())));
    guard_.clipboardChanged({taken, followed.emptied});
    if (followed.fightBegan) guard_.reportClipboardProblem(ClipboardProblem::Contested);
}

SimProgram& SimDesktop::program(const std::string& name) {
    for (auto& program : programs_)
        if (program->name() == name) return *program;
    programs_.push_back(std::make_unique<SimProgram>(clipboard_, name));
    return *programs_.back();
}

void SimDesktop::setTimer(GuardTimer timer, bool enabled, int intervalMs) {
    const auto index = static_cast<std::size_t>(timer);
    intervals_[index] = intervalMs;
    clock_.setTimer(timerHandles_[index], enabled, intervalMs);
}

void SimDesktop::rest(GuardTimer timer) {
    const auto index = static_cast<std::size_t>(timer);
    if (timer == GuardTimer::Sampling) ++samplingRests_;
    clock_.setTimer(timerHandles_[index], false, intervals_[index]);
}

void SimDesktop::wake(GuardTimer timer) {
    const auto index = static_cast<std::size_t>(timer);
    clock_.setTimer(timerHandles_[index], true, intervals_[index]);
}

void SimDesktop::show(const std::string& text, const std::string& title, MessageBoxIcon icon) {
    boxes_.push_back({text, title, icon, clock_.nowMs()});
    const ShownMessageBox shown = boxes_.back();  // a script may open another box meanwhile
    if (onMessageBox) onMessageBox(shown);
}

void SimDesktop::showModal() {
    ++dialogOpenings_;
    dialogOpen_ = true;
    if (whileInformationDialogOpen) whileInformationDialogOpen();
    dialogOpen_ = false;
}

void SimDesktop::bringToFront() {
    ++bringToFront_;
    minimized = false;
}

}  // namespace zanthrel::sim
