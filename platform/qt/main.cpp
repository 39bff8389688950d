#include <QApplication>

#include "platform/qt/app_icon.h"
#include "platform/qt/qt_desktop.h"

int main(int argc, char* argv[]) {
    // The clipboard is guarded through X11, so a Wayland session runs the program on XWayland. Qt's
    // own variable still chooses another platform for those who set it on purpose.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zanthrel"));
    QApplication::setWindowIcon(zanthrel::qt::applicationIcon());

    zanthrel::qt::QtDesktop desktop;
    desktop.start();
    return QApplication::exec();
}
