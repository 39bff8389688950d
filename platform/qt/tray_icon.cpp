#include "platform/qt/tray_icon.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>

#include "core/texts.h"
#include "platform/qt/form_widgets.h"
#include "platform/qt/main_window.h"

namespace zanthrel::qt {
namespace {

Guard& boundGuard(MainWindow& window) {
    if (!window.guard()) qFatal("The tray icon needs a main window bound to its guard");
    return *window.guard();
}

void applyButton(QAction& action, const CommandState& button) {
    const QString caption = QString::fromStdString(button.caption);
    if (action.text() != caption) action.setText(caption);
    action.setEnabled(button.enabled);
}

QPixmap drawn(TrayLook look, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const TrayIconDrawing drawing = trayIconDrawing(look, size);
    const IconBox& box = drawing.square;
    // QPainter::drawRect covers one pixel more each way than the rectangle it is given.
    const QRect square(box.left, box.top, box.right - box.left - 1, box.bottom - box.top - 1);
    painter.fillRect(square, toQColor(drawing.fill));
    painter.setPen(QPen(Qt::black, qMax(1, size / 16)));
    painter.drawRect(square);
    if (const auto& eye = drawing.eye)
        painter.fillRect(QRect(eye->left, eye->top, eye->right - eye->left, eye->bottom - eye->top), Qt::white);
    return pixmap;
}

}  // namespace

QIcon TrayIcon::iconFor(TrayLook look) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(drawn(look, size));
    return icon;
}

TrayIcon::TrayIcon(MainWindow& window) : window_(window), guard_(boundGuard(window)) {
    monitoringAction_ = menu_.addAction(QString());
    blockingAction_ = menu_.addAction(QString());
    menu_.addSeparator();
    show_ = menu_.addAction(QStringLiteral("Show"));
    quit_ = menu_.addAction(QStringLiteral("Quit"));
    connect(monitoringAction_, &QAction::triggered, this, [this] { command(&Guard::toggleMonitoring); });
    connect(blockingAction_, &QAction::triggered, this, [this] { command(&Guard::toggleBlocking); });
    connect(show_, &QAction::triggered, this, [this] { raiseWindow(); });
    connect(quit_, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) raiseWindow();
    });
    connect(&window_, &MainWindow::guardStateShown, this, [this](GuardChange change) { refresh(change); });
    for (const TrayLook look : {TrayLook::Usable, TrayLook::Watching, TrayLook::Blocked})
        icons_[static_cast<std::size_t>(look)] = iconFor(look);
    look_ = trayStatus(guard_.state()).look;
    icon_.setIcon(icons_[static_cast<std::size_t>(look_)]);
    refresh(GuardChange::MonitoringCommand);
}

void TrayIcon::refresh(GuardChange control) {
    const GuardState& state = guard_.state();
    if (control == GuardChange::Log && !state.log.empty() && isAlarmEntry(state.log.back())) {
        QString warning = QString::fromUtf8(texts::kWarningText.data(), qsizetype(texts::kWarningText.size()));
        // The programs behind the alarm, as its log line under it names them.
        if (!state.alarmPrograms.empty()) warning += u'\n' + QString::fromStdString(state.alarmPrograms).trimmed();
        icon_.showMessage(QString::fromUtf8(texts::kWarningTitle.data(), qsizetype(texts::kWarningTitle.size())),
                          warning, QSystemTrayIcon::Warning);
        emit alarmNotified(warning);
    }
    // Pictures and the counter change often while monitoring and show nothing here.
    if (control == GuardChange::FirstHolder || control == GuardChange::SecondHolder ||
        control == GuardChange::CaptureCount)
        return;
    const TrayStatus status = trayStatus(state);
    showLook(status.look);
    const QString tooltip = QString::fromStdString(status.tooltip);
    if (icon_.toolTip() != tooltip) icon_.setToolTip(tooltip);
    applyButton(*monitoringAction_, status.monitoringCommand);
    applyButton(*blockingAction_, status.blockingCommand);
}

void TrayIcon::command(bool (Guard::*userCommand)() noexcept) {
    // The window's buttons take no clicks while a modal box or dialog is open, and neither does the
    // menu: unblocking behind the alarm's box would leave its warning telling an untruth.
    if (QApplication::activeModalWidget()) return;
    (guard_.*userCommand)();
}

void TrayIcon::showLook(TrayLook look) {
    if (look == look_) return;
    look_ = look;
    icon_.setIcon(icons_[static_cast<std::size_t>(look_)]);
}

void TrayIcon::raiseWindow() {
    if (window_.isMinimized()) window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
}

}  // namespace zanthrel::qt
