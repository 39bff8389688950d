#include "platform/win32/guard_events.h"

#include <utility>

namespace zanthrel::win32 {

void GuardEvents::attach(HWND window) {
    ticks_.attach(window);
    listener_ = std::make_unique<ClipboardListener>(window, kClipboardChangeMessage);
    // Without the notices blocking still works, from the tick thread's slower look at the clipboard.
    if (!listener_->listening()) AddClipboardFormatListener(window);
}

bool GuardEvents::handle(MainForm& form, UINT message) {
    unsigned due = 0;
    bool changed = false;
    switch (message) {
        case kTickMessage: due = ticks_.takeDue(); break;
        case kClipboardAnswerMessage: break;
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
    // SendMessage, in the middle of changing the form, and must not have the form run under it.
    if (Window::handlerDepth() - 1 > Window::modalDepth()) {
        deferredTicks_ |= due;
        deferredChange_ = deferredChange_ || changed;
        ticks_.setChecks(true);
        return true;
    }
    due |= std::exchange(deferredTicks_, 0u);
    changed = std::exchange(deferredChange_, false) || changed;
    run(form, due, changed);
    return true;
}

void GuardEvents::run(MainForm& form, unsigned due, bool clipboardChanged) {
    if (clipboardChanged) {
        clipboard_.changeNoticed();
        afterClipboardWork(form);
        form.onTimer(TimerId::Timer3);
        // Ticks at rest start again with one at once, which asks for the new picture.
        if (ticks_.resume(TimerId::Timer1)) due |= TickService::bit(TimerId::Timer1);
    }
    for (const TimerId id : {TimerId::Timer1, TimerId::Timer2, TimerId::Timer3}) {
        if (!(due & TickService::bit(id))) continue;
        if (id == TimerId::Timer1)
            sample(form);
        else
            form.onTimer(id);
    }
    // An emptying the clipboard was held open for is tried again.
    const bool check = (due & TickService::kCheckTick) != 0;
    if (check && clipboard_.clearOwed() && clipboard_.idle()) form.onTimer(TimerId::Timer3);
    // A plain sampling tick has nothing to collect: the agent says when it has news.
    if (check || clipboardChanged || due == 0)
        afterClipboardWork(form);
    else
        ticks_.setChecks(clipboard_.needsChecks() || deferredTicks_ != 0 || deferredChange_);
}

void GuardEvents::afterClipboardWork(MainForm& form) {
    const Win32Clipboard::News news = clipboard_.collect(std::chrono::steady_clock::now());
    for (const ClipboardProblem problem : news.problems) {
        try {
            form.reportClipboardProblem(problem);
        } catch (...) {
            // The log line could not be made (no date or time); the guard goes on regardless.
        }
    }
    if (news.answered) {
        ticks_.resume(TimerId::Timer1);
        form.handle(FormEvent::ClipboardAnswered);
        // A new picture is judged at once rather than on the next tick.
        sample(form);
    }
    // The clipboard changed again while we emptied it: empty it again now, not on the next check.
    if (news.emptyingDone && !news.emptyingHeld && clipboard_.clearOwed() && clipboard_.idle())
        form.onTimer(TimerId::Timer3);
    ticks_.setChecks(clipboard_.needsChecks() || deferredTicks_ != 0 || deferredChange_);
}

void GuardEvents::sample(MainForm& form) {
    form.onTimer(TimerId::Timer1);
    // With both holders holding what the clipboard still holds, every further tick would compare a
    // picture with itself and put it back: the clock stops until the clipboard changes or an answer comes.
    const MainFormState& state = form.state();
    if (state.timer(TimerId::Timer1).enabled && state.picture1.picture == state.picture3.picture &&
        clipboard_.atRest(state.picture1.picture))
        ticks_.pause(TimerId::Timer1);
}

}  // namespace zanthrel::win32
