#include "platform/qt/qt_desktop.h"

#include <QGuiApplication>
#include <QScreen>

namespace zanthrel::qt {

TwipScale QtDesktop::screenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    return TwipScale{dpi > 0 ? dpi : 96};
}

QtDesktop::QtDesktop(ClipboardChoice clipboardChoice)
    : scale_(screenScale()),
      window_(scale_),
      clipboard_(*QGuiApplication::clipboard(), clipboardChoice),
      timers_([this](TimerId id) { onTick(id); }),
      messageBox_(window_),
      informationDialog_(scale_),
      windowOrder_(window_),
      form_(DesktopServices{clipboard_, timers_, messageBox_, informationDialog_, windowOrder_, dateTime_}) {
    window_.bind(form_);
    // The blocker empties the clipboard when a program has taken it, not on a clock, wherever the
    // clipboard reports that.
    timers_.setOnDemand(TimerId::Timer3, clipboard_.reportsOwnerChanges());
    clipboard_.setListener([this](QtClipboard::Event event) {
        switch (event) {
            case QtClipboard::Event::Changed:
                // Ticks at rest start again with one at once, which asks for the new data.
                if (timers_.isPaused(TimerId::Timer1)) {
                    timers_.resume(TimerId::Timer1);
                    timers_.tickNow(TimerId::Timer1);
                }
                break;
            case QtClipboard::Event::OwnerTaken: timers_.tickNow(TimerId::Timer3); break;
            case QtClipboard::Event::OwnerSilent:
            case QtClipboard::Event::Unreachable:
            case QtClipboard::Event::NotEmptied:
                try {
                    form_.reportClipboardProblem(
                        event == QtClipboard::Event::OwnerSilent   ? ClipboardProblem::OwnerSilent
                        : event == QtClipboard::Event::Unreachable ? ClipboardProblem::CannotWatch
                                                                   : ClipboardProblem::NotEmptied);
                } catch (...) {
                    // The log line is all that is lost; the guard goes on.
                }
                break;
            case QtClipboard::Event::Answered:
                timers_.resume(TimerId::Timer1);
                form_.handle(FormEvent::ClipboardAnswered);
                // The sample is taken now rather than at the next tick, so that a capture is counted
                // within one tick of its arrival.
                timers_.tickNow(TimerId::Timer1);
                break;
        }
    });
}

void QtDesktop::onTick(TimerId id) {
    form_.onTimer(id);
    if (id != TimerId::Timer1) return;
    // With both holders holding what the clipboard still holds, every further tick would compare a
    // picture with itself and put it back: the clock stops until the clipboard changes.
    const MainFormState& state = form_.state();
    if (state.timer(TimerId::Timer1).enabled && state.picture1.picture == state.picture3.picture &&
        clipboard_.atRest(state.picture1.picture))
        timers_.pause(TimerId::Timer1);
}

void QtDesktop::start() {
    form_.handle(FormEvent::Load);
    window_.centreOnScreen();
    window_.show();
}

}  // namespace zanthrel::qt
