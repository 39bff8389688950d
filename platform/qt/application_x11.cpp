#include "platform/qt/application_x11.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace zanthrel::qt {

std::unique_ptr<x11::X11ClipboardSelection> applicationClipboardSelection() {
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11::X11ClipboardSelection::on(application ? application->connection() : nullptr);
}

}  // namespace zanthrel::qt
