#pragma once

#include <QClipboard>

#include <memory>

#include "guard/guard.h"
#include "platform/qt/information_dialog.h"
#include "platform/qt/main_window.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_services.h"

namespace zanthrel::qt {

// The program on a Qt desktop: the main window, the services of the desktop it runs on, and the one
// guard that holds the logic. Needs a QApplication.
class QtDesktop {
public:
    explicit QtDesktop(ClipboardChoice clipboardChoice = ClipboardChoice::Automatic);
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    // Starts the guard, then shows the main window centred on its screen.
    void start();

    Guard& guard() noexcept { return guard_; }
    MainWindow& window() noexcept { return window_; }
    QtClipboard& clipboard() noexcept { return *clipboard_; }
    const QtTimers& timers() const noexcept { return timers_; }

    // Twips to pixels at the primary screen's logical density; Qt scales further on dense screens.
    static TwipScale screenScale();

private:
    TwipScale scale_;
    MainWindow window_;
    std::unique_ptr<QtClipboard> clipboard_;
    QtTimers timers_;
    QtMessageBox messageBox_;
    QtInformationDialog informationDialog_;
    QtWindowOrder windowOrder_;
    LocaleDateTime dateTime_;
    Guard guard_;
};

}  // namespace zanthrel::qt
