#include "platform/qt/main_window.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "layout/main_window_layout.h"
#include "platform/qt/app_icon.h"

namespace zanthrel::qt {
namespace {

template <typename Widget>
Widget& required(Widget* widget) {
    // The table and this window are built together; a missing control is a programming error.
    if (!widget) qFatal("The main window's layout table lacks a control the window needs");
    return *widget;
}

}  // namespace

MainWindow::MainWindow(TwipScale scale)
    : QWidget(nullptr,
              // A sizable frame with minimize and close boxes; maximizing is not offered.
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      built_(mainWindowLayout(), *this, scale),
      banner_(&required(built_.control<PictureBoxWidget>(ControlId::Banner))),
      monitoringButton_(&required(built_.control<QPushButton>(ControlId::MonitoringButton))),
      blockingButton_(&required(built_.control<QPushButton>(ControlId::BlockingButton))),
      pleaseRead_(&required(built_.control<ClickableLabel>(ControlId::PleaseRead))),
      indicator_(&required(built_.control<StatusIndicator>(ControlId::StatusIndicator))),
      log_(&required(built_.control<QListWidget>(ControlId::Log))),
      captureCount_(&required(built_.control<QLineEdit>(ControlId::CaptureCount))),
      firstHolder_(&required(built_.control<PictureBoxWidget>(ControlId::FirstHolder))),
      secondHolder_(&required(built_.control<PictureBoxWidget>(ControlId::SecondHolder))) {
    setObjectName(toQString(mainWindowLayout().name));
    setAccessibleName(windowTitle());
    setWindowIcon(applicationIcon());
    const FormLayout& layout = mainWindowLayout();
    resize(scale.pixels(layout.clientWidth), scale.pixels(layout.clientHeight));
}

void MainWindow::bind(Guard& guard) {
    guard_ = &guard;
    guard.setObserver(this);
    connect(monitoringButton_, &QPushButton::clicked, this, [this] { guard_->toggleMonitoring(); });
    connect(blockingButton_, &QPushButton::clicked, this, [this] { guard_->toggleBlocking(); });
    connect(pleaseRead_, &ClickableLabel::clicked, this, [this] { guard_->showInformation(); });
    const GuardState& state = guard.state();
    refreshButton(*monitoringButton_, state.monitoring);
    refreshButton(*blockingButton_, state.blocking);
    captureCount_->setText(QString::number(state.detection.captureCount));
    refreshIndicator();
    log_->clear();
    for (const std::string& line : state.log) log_->addItem(QString::fromStdString(line));
    firstHolder_->setPicture(state.detection.firstHolder.picture);
    secondHolder_->setPicture(state.detection.secondHolder.picture);
}

void MainWindow::centreOnScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void MainWindow::guardChanged(GuardChange change) {
    if (!guard_) return;
    const GuardState& state = guard_->state();
    switch (change) {
        case GuardChange::MonitoringCommand: refreshButton(*monitoringButton_, state.monitoring); break;
        case GuardChange::BlockingCommand: refreshButton(*blockingButton_, state.blocking); break;
        case GuardChange::CaptureCount: captureCount_->setText(QString::number(state.detection.captureCount)); break;
        case GuardChange::Indicator: refreshIndicator(); break;
        case GuardChange::Log:
            if (!state.log.empty()) log_->addItem(QString::fromStdString(state.log.back()));
            break;
        case GuardChange::FirstHolder: firstHolder_->setPicture(state.detection.firstHolder.picture); break;
        case GuardChange::SecondHolder: secondHolder_->setPicture(state.detection.secondHolder.picture); break;
    }
    emit guardStateShown(change);
}

void MainWindow::refreshButton(QPushButton& button, const CommandState& state) {
    const QString caption = QString::fromStdString(state.caption);
    if (button.text() != caption) {
        button.setText(caption);
        button.setAccessibleName(caption.trimmed());
    }
    button.setEnabled(state.enabled);
}

void MainWindow::refreshIndicator() {
    const GuardState& state = guard_->state();
    const QColor fill = toQColor(state.indicator.colour);
    if (fill != indicator_->fill()) {
        indicator_->setFill(fill);
        indicator_->setAccessibleDescription(state.indicator.colour == kIndicatorRed
                                                 ? QStringLiteral("Clipboard blocked")
                                                 : QStringLiteral("Clipboard usable"));
    }
    indicator_->setLit(state.indicator.lit);
    indicator_->setBlinking(state.timer(GuardTimer::Sampling).enabled);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    // The banner is docked to the top edge; nothing else follows the window's size.
    banner_->setGeometry(0, 0, width(), banner_->height());
    QWidget::resizeEvent(event);
}

}  // namespace zanthrel::qt
