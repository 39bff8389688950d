#include "platform/qt/qt_clipboard.h"

#include <QGuiApplication>

#include "platform/qt/application_x11.h"
#include "platform/qt/in_process_clipboard.h"
#include "platform/qt/reader_clipboard.h"
#include "platform/wayland/wayland_clipboard_reader.h"
#include "platform/x11/x11_clipboard_reader.h"

namespace zanthrel::qt {

std::unique_ptr<QtClipboard> QtClipboard::choose(QClipboard& clipboard, ClipboardChoice choice) {
    // Qt's offscreen platform keeps the clipboard in this process, whatever session it was started in.
    const bool desktopClipboard = QGuiApplication::platformName() != QLatin1String("offscreen");
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool wantWayland = choice == ClipboardChoice::Wayland ||
                             (choice == ClipboardChoice::Automatic && waylandSession && desktopClipboard);
    if (wantWayland) {
        // Beside the Wayland clipboard the X11 one lives on in XWayland, bridged only while an X11 window
        // has the focus: an X11 program that copies is still emptied away while blocking.
        if (auto watched =
                ReaderClipboard::start(clipboard,
                                       [](posix::ClipboardReader::Listener listener) {
                                           return wayland::WaylandClipboardReader::start(std::move(listener));
                                       },
                                       {applicationClipboardSelection(), false}))
            return watched;
    }
    std::unique_ptr<x11::X11ClipboardSelection> selection = applicationClipboardSelection();
    if (choice != ClipboardChoice::Wayland && selection) {
        if (auto watched = ReaderClipboard::start(clipboard,
                                                  [](posix::ClipboardReader::Listener listener) {
                                                      return x11::X11ClipboardReader::start(std::move(listener));
                                                  },
                                                  {nullptr, true}))
            return watched;
    }
    // Without a reader on a Wayland session, Qt's clipboard sees only what is copied while the window has
    // the focus: the guard says so rather than watch in vain.
    const bool cannotWatch = choice == ClipboardChoice::Wayland || (waylandSession && desktopClipboard);
    return std::make_unique<InProcessClipboard>(clipboard, std::move(selection), cannotWatch);
}

}  // namespace zanthrel::qt
