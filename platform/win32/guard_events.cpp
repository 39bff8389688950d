#include "platform/win32/guard_events.h"

#include <utility>

namespace zanthrel::win32 {

void GuardEvents::attach(HWND window) {
    ticks_.attach(window);
    // Without our own listener the window hears of changes itself; without any notices blocking still
    // works, from the tick thread's slower look at the clipboard.
    if (!clipboard_.listening()) AddClipboardFormatListener(window);
}

bool GuardEvents::handle(Guard& guard, UINT message, WPARAM wParam) {
    unsigned due = 0;
    bool news = false;
    switch (message) {
        // The tick thread's ticks, and those a test driver sends to prove a number of ticks.
        case kTickMessage: due = ticks_.takeDue() | (static_cast<unsigned>(wParam) & kTickMessageTimers); break;
        case kClipboardNewsMessage: news = true; break;
        case kProgramNamedMessage:
            if (programs_) programs_->deliver(guard);
            return true;
        case WM_CLIPBOARDUPDATE:
            clipboard_.changeNoticed();
            news = true;
            break;
        default: return false;
    }
    // This message is one handler deep itself. Below it, every handler must be waiting in a modal loop
    // (ticks go on under a message box, as they must); one that is not waits on another thread's
    // SendMessage, in the middle of changing the guard, and must not have the guard run under it.
    if (Window::handlerDepth() - 1 > Window::modalDepth()) {
        deferredTicks_ |= due;
        deferredNews_ = deferredNews_ || news;
        ticks_.setChecks(true);
        return true;
    }
    due |= std::exchange(deferredTicks_, 0u);
    news = std::exchange(deferredNews_, false) || news;
    run(guard, due, news);
    return true;
}

void GuardEvents::run(Guard& guard, unsigned due, bool news) {
    // A plain sampling tick has nothing to collect: the agent says when it has news.
    if (news || (due & TickService::kCheckTick)) afterClipboardWork(guard);
    for (const GuardTimer id : {GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking})
        if (due & TickService::bit(id)) guard.onTimer(id);
    ticks_.setChecks(clipboard_.needsChecks() || deferredTicks_ != 0 || deferredNews_);
}

void GuardEvents::afterClipboardWork(Guard& guard) {
    const Win32Clipboard::News news = clipboard_.collect(std::chrono::steady_clock::now());
    for (const ClipboardProblem problem : news.problems) guard.reportClipboardProblem(problem);
    if (news.answered) guard.clipboardAnswered();
    // The clipboard changed again while we emptied it, or was let go by a program that held it open: empty
    // it again now if the guard still blocks.
    if (news.clearAgain) guard.onTimer(GuardTimer::Blocking);
    if (!news.change) return;
    guard.clipboardChanged(news.change->change);
    if (programs_) programs_->clipboardChanged(news.change->ownerProcess);
}

}  // namespace zanthrel::win32
