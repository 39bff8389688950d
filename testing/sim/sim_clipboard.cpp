#include "testing/sim/sim_clipboard.h"

#include "core/runtime_error.h"

namespace zanthrel::sim {

bool SimClipboard::tryOpen(const SimProgram* program) {
    if (holder_ && holder_ != program) return false;
    holder_ = program;
    return true;
}

void SimClipboard::release(const SimProgram* program) {
    if (holder_ != program) return;
    holder_ = nullptr;
    // As on the desktops, a change is announced once its program has closed the clipboard again.
    if (noticeOwed_) {
        noticeOwed_ = false;
        if (onChange_) onChange_(text_ || picture_);
    }
}

void SimClipboard::setContent(std::optional<std::string> text, PictureRef picture) {
    text_ = std::move(text);
    picture_ = std::move(picture);
    noticeOwed_ = true;
}

bool SimProgram::open() {
    return clipboard_.tryOpen(this);
}

bool SimProgram::holding() const {
    return clipboard_.heldBy() == this;
}

void SimProgram::close() {
    clipboard_.release(this);
}

bool SimProgram::copyText(std::string text) {
    const bool alreadyHeld = holding();
    if (!open()) return false;
    clipboard_.setContent(std::move(text), nullptr);
    if (!alreadyHeld) close();
    return true;
}

bool SimProgram::copyPicture(PictureRef picture) {
    const bool alreadyHeld = holding();
    if (!open()) return false;
    clipboard_.setContent(std::nullopt, std::move(picture));
    if (!alreadyHeld) close();
    return true;
}

bool SimProgram::copyTextAndPicture(std::string text, PictureRef picture) {
    const bool alreadyHeld = holding();
    if (!open()) return false;
    clipboard_.setContent(std::move(text), std::move(picture));
    if (!alreadyHeld) close();
    return true;
}

PictureRef SimClipboardService::readPicture() {
    if (answerPending_) {
        if (!lastAnswer_) throw RuntimeError(ErrorKind::ClipboardBusy, "The owner's answer is on its way");
        return *lastAnswer_;
    }
    if (!self_.open()) throw RuntimeError(ErrorKind::ClipboardBusy, "Can't open Clipboard");
    ++reads_;
    PictureRef picture = clipboard_.picture();
    self_.close();
    lastAnswer_ = picture;
    return picture;
}

bool SimClipboardService::atRest(const PictureRef& held) const noexcept {
    // A clipboard held open by another program fails the read and changes nothing; an answer on its way
    // will be reported when it comes, but until then a read gives the previous one, which may differ.
    return reportsChanges_ && !answerPending_ && clipboard_.picture() == held;
}

void SimClipboardService::setEmptyingOrder(const EmptyingOrder& order) {
    order_ = order;
    pace_ = EmptyingPace(order);
}

SimClipboardService::OrderFollowed SimClipboardService::followOrder(EmptyingPace::Clock::time_point now) {
    if (!order_.active) return {};
    const EmptyingPace::Decision decision = pace_.taken(0, now);
    if (decision.emptyAt > now || !self_.open()) return {false, decision.fightBegan};
    clipboard_.setContent(std::nullopt, nullptr);
    self_.close();
    pace_.emptied(now);
    ++emptyingsUnderOrder_;
    return {true, decision.fightBegan};
}

void SimClipboardService::clear() {
    if (!self_.open()) throw RuntimeError(ErrorKind::ClipboardBusy, "Can't open Clipboard");
    clipboard_.setContent(std::nullopt, nullptr);
    self_.close();
}

}  // namespace zanthrel::sim
