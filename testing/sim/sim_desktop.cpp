#include "testing/sim/sim_desktop.h"

namespace zanthrel::sim {

SimDesktop::SimDesktop(ComparisonMode mode)
    : form_(DesktopServices{clipboardService_, *this, *this, *this, *this, *this}, mode) {
    const std::array ids{TimerId::Timer1, TimerId::Timer2, TimerId::Timer3};
    for (std::size_t i = 0; i < ids.size(); ++i)
        timerHandles_[i] = clock_.addTimer([this, id = ids[i]] { form_.onTimer(id); });
}

void SimDesktop::start() {
    form_.handle(FormEvent::Load);
}

SimProgram& SimDesktop::program(const std::string& name) {
    for (auto& program : programs_)
        if (program->name() == name) return *program;
    programs_.push_back(std::make_unique<SimProgram>(clipboard_, name));
    return *programs_.back();
}

void SimDesktop::setTimer(TimerId id, bool enabled, int intervalMs) {
    clock_.setTimer(timerHandles_[static_cast<std::size_t>(id)], enabled, intervalMs);
}

void SimDesktop::show(const std::string& text, const std::string& title, int style) {
    boxes_.push_back({text, title, style, clock_.nowMs()});
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
