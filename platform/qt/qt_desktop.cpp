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
      clipboard_(QtClipboard::choose(*QGuiApplication::clipboard(), clipboardChoice)),
      timers_([this](GuardTimer timer) { guard_.onTimer(timer); }),
      messageBox_(window_),
      informationDialog_(scale_),
      windowOrder_(window_),
      guard_(DesktopServices{*clipboard_, timers_, messageBox_, informationDialog_, windowOrder_, dateTime_}) {
    window_.bind(guard_);
    // The blocker empties the clipboard when a program has taken it, not on a clock, wherever the
    // clipboard reports that.
    timers_.setOnDemand(GuardTimer::Blocking, clipboard_->reportsOwnerChanges());
    // The clipboard service reports facts; what they mean for sampling and blocking is the guard's to say.
    clipboard_->setEvents({[this](ClipboardChange change) { guard_.clipboardChanged(change); },
                           [this] { guard_.clipboardAnswered(); },
                           [this](ClipboardProblem problem) { guard_.reportClipboardProblem(problem); },
                           [this](ProgramIdentity owner) { guard_.clipboardOwnerNamed(std::move(owner)); },
                           [this](ProgramIdentity reader) { guard_.clipboardReadBy(std::move(reader)); }});
}

void QtDesktop::start() {
    guard_.start();
    window_.centreOnScreen();
    window_.show();
}

}  // namespace zanthrel::qt
