#include "platform/qt/qt_desktop.h"

#include <QGuiApplication>
#include <QScreen>

namespace zanthrel::qt {

TwipScale QtDesktop::screenScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    return TwipScale{dpi > 0 ? dpi : 96};
}

QtDesktop::QtDesktop()
    : scale_(screenScale()),
      window_(scale_),
      clipboard_(*QGuiApplication::clipboard()),
      timers_([this](TimerId id) { form_.onTimer(id); }),
      messageBox_(window_),
      informationDialog_(scale_),
      windowOrder_(window_),
      form_(DesktopServices{clipboard_, timers_, messageBox_, informationDialog_, windowOrder_, dateTime_}) {
    window_.bind(form_);
}

void QtDesktop::start() {
    form_.handle(FormEvent::Load);
    window_.centreOnScreen();
    window_.show();
}

}  // namespace zanthrel::qt
