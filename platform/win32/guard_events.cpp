#include "platform/win32/guard_events.h"

namespace zanthrel::win32 {

void GuardEvents::attach(HWND window) {
    ticks_.attach(window);
    // Without the notices blocking still works, from the tick thread's slower look at the clipboard.
    AddClipboardFormatListener(window);
}

bool GuardEvents::handle(MainForm& form, UINT message) {
    switch (message) {
        case kTickMessage: {
            const unsigned due = ticks_.takeDue();
            for (const TimerId id : {TimerId::Timer1, TimerId::Timer2, TimerId::Timer3})
                if (due & TickService::bit(id)) form.onTimer(id);
            // An emptying the clipboard was held open for is tried again.
            if ((due & TickService::kCheckTick) && clipboard_.clearOwed()) form.onTimer(TimerId::Timer3);
            afterClipboardWork(form);
            return true;
        }
        case kClipboardAnswerMessage: afterClipboardWork(form); return true;
        case WM_CLIPBOARDUPDATE:
            // Another program changed the clipboard: blocking acts at once. Our own emptying comes back
            // here too, and finds nothing to do.
            afterClipboardWork(form);
            form.onTimer(TimerId::Timer3);
            afterClipboardWork(form);
            return true;
        default: return false;
    }
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
        form.handle(FormEvent::ClipboardAnswered);
        // A new picture is judged at once rather than on the next tick.
        form.onTimer(TimerId::Timer1);
    }
    ticks_.setChecks(clipboard_.needsChecks());
}

}  // namespace zanthrel::win32
