#include "platform/win32/guard_events.h"

#include <utility>

namespace zanthrel::win32 {

void GuardEvents::attach(HWND window) {
    ticks_.attach(window);
    listener_ = std::make_unique<ClipboardListener>(window, kClipboardChangeMessage);
    // Without the notices blocking still works, from the tick thread's slower look at the clipboard.
    if (!listener_->listening()) AddClipboardFormatListener(window);
}

bool GuardEvents::handle(Guard& guard, UINT message) {
    unsigned due = 0;
    bool changed = false;
    switch (message) {
        case kTickMessage: due = ticks_.takeDue(); break;
        case kClipboardAnswerMessage: break;
        case kProgramNamedMessage:
            if (programs_) programs_->deliver(guard);
            return true;
        // Another program changed the clipboard: blocking acts at once. Our own emptying comes back here
        // too, and finds nothing to do.
        case kClipboardChangeMessage:
            if (listener_) listener_->noticeTaken();
            [[fallthrough]];
        case WM_CLIPBOARDUPDATE: changed = true; break;
        default: return false;
    }
    // This message is one handler deep itself. Below it, every handler must be waiting in a modal loop
    // (ticks go on under a message box, as they must); one that is not waits on another thread's
    // SendMessage, in the middle of changing the guard, and must not have the guard run under it.
    if (Window::handlerDepth() - 1 > Window::modalDepth()) {
        deferredTicks_ |= due;
        deferredChange_ = deferredChange_ || changed;
        ticks_.setChecks(true);
        return true;
    }
    due |= std::exchange(deferredTicks_, 0u);
    changed = std::exchange(deferredChange_, false) || changed;
    run(guard, due, changed);
    return true;
}

void GuardEvents::run(Guard& guard, unsigned due, bool clipboardChanged) {
    if (clipboardChanged) {
        clipboard_.changeNoticed();
        afterClipboardWork(guard);
        // The notice does not say whether a program took the clipboard or it was emptied (by us, too):
        // emptying an empty clipboard costs little.
        guard.clipboardChanged({true, false});
        if (programs_) programs_->clipboardChanged();
    }
    for (const GuardTimer id : {GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking})
        if (due & TickService::bit(id)) guard.onTimer(id);
    const bool check = (due & TickService::kCheckTick) != 0;
    // A plain sampling tick has nothing to collect: the agent says when it has news.
    if (check || clipboardChanged || due == 0)
        afterClipboardWork(guard);
    else
        ticks_.setChecks(clipboard_.needsChecks() || deferredTicks_ != 0 || deferredChange_);
}

void GuardEvents::afterClipboardWork(Guard& guard) {
    const Win32Clipboard::News news = clipboard_.collect(std::chrono::steady_clock::now());
    for (const ClipboardProblem problem : news.problems) guard.reportClipboardProblem(problem);
    if (news.answered) guard.clipboardAnswered();
    // The clipboard changed again while we emptied it, or was let go by a program that held it open: empty
    // it again now if the guard still blocks.
    if (news.clearAgain) guard.onTimer(GuardTimer::Blocking);
    ticks_.setChecks(clipboard_.needsChecks() || deferredTicks_ != 0 || deferredChange_);
}

}  // namespace zanthrel::win32
