#include "platform/qt/tray_icon.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>

#include "layout/main_window_layout.h"
#include "core/texts.h"
#include "platform/qt/form_widgets.h"
#include "platform/qt/main_window.h"

namespace zanthrel::qt {
namespace {

MainForm& boundForm(MainWindow& window) {
    if (!window.form()) qFatal("The tray icon needs a main window bound to its form");
    return *window.form();
}

void applyButton(QAction& action, const CommandButtonState& button) {
    const QString caption = QString::fromStdString(button.caption);
    if (action.text() != caption) action.setText(caption);
    action.setEnabled(button.enabled);
}

QPixmap drawn(TrayLook look, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int margin = size / 8;
    const QRect square(margin, margin, size - 2 * margin - 1, size - 2 * margin - 1);
    if (look != TrayLook::Unlit)
        painter.fillRect(square, toQColor(look == TrayLook::Blocked ? kIndicatorRed : kIndicatorGreen));
    painter.setPen(QPen(Qt::black, qMax(1, size / 16)));
    painter.drawRect(square);
    return pixmap;
}

}  // namespace

QIcon TrayIcon::iconFor(TrayLook look) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(drawn(look, size));
    return icon;
}

TrayIcon::TrayIcon(MainWindow& window) : window_(window), form_(boundForm(window)) {
    startPause_ = menu_.addAction(QString());
    enableDisable_ = menu_.addAction(QString());
    menu_.addSeparator();
    show_ = menu_.addAction(QStringLiteral("Show"));
    quit_ = menu_.addAction(QStringLiteral("Quit"));
    connect(startPause_, &QAction::triggered, this, [this] { command(FormEvent::StartPauseClick); });
    connect(enableDisable_, &QAction::triggered, this, [this] { command(FormEvent::EnableDisableClick); });
    connect(show_, &QAction::triggered, this, [this] { raiseWindow(); });
    connect(quit_, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) raiseWindow();
    });
    connect(&window_, &MainWindow::formChanged, this, [this](FormControl control) { refresh(control); });
    for (const TrayLook look : {TrayLook::Usable, TrayLook::Blocked, TrayLook::Unlit})
        icons_[static_cast<std::size_t>(look)] = iconFor(look);
    blink_.setInterval(StatusIndicator::kBlinkMs);
    connect(&blink_, &QTimer::timeout, this, [this] {
        lit_ = !lit_;
        showLook(trayStatus(form_.state()).look);
    });
    look_ = trayStatus(form_.state()).look;
    icon_.setIcon(icons_[static_cast<std::size_t>(look_)]);
    refresh(FormControl::cmdStartPause);
}

void TrayIcon::refresh(FormControl control) {
    const MainFormState& state = form_.state();
    if (control == FormControl::List1 && !state.list1.empty() && isAlarmEntry(state.list1.back())) {
        const QString warning = QString::fromUtf8(texts::kWarningText.data(), qsizetype(texts::kWarningText.size()));
        icon_.showMessage(QString::fromUtf8(texts::kWarningTitle.data(), qsizetype(texts::kWarningTitle.size())),
                          warning, QSystemTrayIcon::Warning);
        emit alarmNotified(warning);
    }
    // Pictures and the counter change often while monitoring and show nothing here.
    if (control == FormControl::Picture1 || control == FormControl::Picture3 || control == FormControl::txtCounts)
        return;
    const TrayStatus status = trayStatus(state);
    if (status.blinking != blink_.isActive()) {
        lit_ = true;
        if (status.blinking)
            blink_.start();
        else
            blink_.stop();
    }
    showLook(status.look);
    const QString tooltip = QString::fromStdString(status.tooltip);
    if (icon_.toolTip() != tooltip) icon_.setToolTip(tooltip);
    applyButton(*startPause_, status.startPause);
    applyButton(*enableDisable_, status.enableDisable);
}

void TrayIcon::command(FormEvent event) {
    // The window's buttons take no clicks while a modal box or dialog is open, and neither does the
    // menu: unblocking behind the alarm's box would leave its warning telling an untruth.
    if (QApplication::activeModalWidget()) return;
    form_.handle(event);
}

void TrayIcon::showLook(TrayLook look) {
    const TrayLook shown = lit_ ? look : TrayLook::Unlit;
    if (shown == look_) return;
    look_ = shown;
    icon_.setIcon(icons_[static_cast<std::size_t>(look_)]);
}

void TrayIcon::raiseWindow() {
    if (window_.isMinimized()) window_.showNormal();
    window_.show();
    window_.raise();
    window_.activateWindow();
}

}  // namespace zanthrel::qt
