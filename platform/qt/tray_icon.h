#pragma once

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <array>

#include "guard/guard.h"
#include "platform/shell/tray_status.h"

namespace zanthrel::qt {

class MainWindow;

// The guard in the notification area: the indicator's colour and whether it watches, the state as its tooltip,
// the window's two commands in its menu, and a notification at an alarm. It follows the main window's
// guardStateShown signal and keeps nothing of the state itself; its commands go to the guard.
class TrayIcon final : public QObject {
    Q_OBJECT
public:
    // `window` must be bound to its guard already.
    explicit TrayIcon(MainWindow& window);

    // Puts the icon into the notification area, where there is one.
    void show() { icon_.show(); }

    const QSystemTrayIcon& icon() const noexcept { return icon_; }
    QMenu& menu() noexcept { return menu_; }
    QAction& monitoringCommand() noexcept { return *monitoringAction_; }
    QAction& blockingCommand() noexcept { return *blockingAction_; }
    QAction& showWindow() noexcept { return *show_; }
    QAction& quit() noexcept { return *quit_; }
    TrayLook look() const noexcept { return look_; }

    // The icon for each look: a frame like the window's indicator, filled with its colour.
    static QIcon iconFor(TrayLook look);

signals:
    // The warning an alarm raised, as shown in the notification.
    void alarmNotified(const QString& text);

private:
    void refresh(GuardChange control);
    void command(bool (Guard::*userCommand)() noexcept);
    void showLook(TrayLook look);
    void raiseWindow();

    MainWindow& window_;
    Guard& guard_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    QAction* monitoringAction_;
    QAction* blockingAction_;
    QAction* show_;
    QAction* quit_;
    TrayLook look_ = TrayLook::Usable;
    std::array<QIcon, 3> icons_;  // indexed by TrayLook
};

}  // namespace zanthrel::qt
