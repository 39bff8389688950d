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
      banner_(&required(built_.control<PictureBoxWidget>("Picture2"))),
      cmdStartPause_(&required(built_.control<QPushButton>("cmdStartPause"))),
      cmdEnableDisable_(&required(built_.control<QPushButton>("cmdEnableDisable"))),
      lblPleaseRead_(&required(built_.control<ClickableLabel>("lblPleaseRead"))),
      shape1_(&required(built_.control<StatusIndicator>("Shape1"))),
      list1_(&required(built_.control<QListWidget>("List1"))),
      txtCounts_(&required(built_.control<QLineEdit>("txtCounts"))),
      picture1_(&required(built_.control<PictureBoxWidget>("Picture1"))),
      picture3_(&required(built_.control<PictureBoxWidget>("Picture3"))) {
    setObjectName(QStringLiteral("Form1"));
    setAccessibleName(windowTitle());
    setWindowIcon(applicationIcon());
    const FormLayout& layout = mainWindowLayout();
    resize(scale.pixels(layout.clientWidth), scale.pixels(layout.clientHeight));
}

void MainWindow::bind(MainForm& form) {
    form_ = &form;
    form.setObserver(this);
    connect(cmdStartPause_, &QPushButton::clicked, this, [this] { form_->handle(FormEvent::StartPauseClick); });
    connect(cmdEnableDisable_, &QPushButton::clicked, this, [this] { form_->handle(FormEvent::EnableDisableClick); });
    connect(lblPleaseRead_, &ClickableLabel::clicked, this, [this] { form_->handle(FormEvent::PleaseReadClick); });
    const MainFormState& state = form.state();
    refreshButton(*cmdStartPause_, state.cmdStartPause);
    refreshButton(*cmdEnableDisable_, state.cmdEnableDisable);
    txtCounts_->setText(QString::fromStdString(state.txtCounts));
    refreshIndicator();
    list1_->clear();
    for (const std::string& line : state.list1) list1_->addItem(QString::fromStdString(line));
    picture1_->setPicture(state.picture1.picture);
    picture3_->setPicture(state.picture3.picture);
}

void MainWindow::centreOnScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void MainWindow::controlChanged(FormControl control) {
    if (!form_) return;
    const MainFormState& state = form_->state();
    switch (control) {
        case FormControl::cmdStartPause: refreshButton(*cmdStartPause_, state.cmdStartPause); break;
        case FormControl::cmdEnableDisable: refreshButton(*cmdEnableDisable_, state.cmdEnableDisable); break;
        case FormControl::txtCounts: txtCounts_->setText(QString::fromStdString(state.txtCounts)); break;
        case FormControl::Shape1: refreshIndicator(); break;
        case FormControl::List1:
            if (!state.list1.empty()) list1_->addItem(QString::fromStdString(state.list1.back()));
            break;
        case FormControl::Picture1: picture1_->setPicture(state.picture1.picture); break;
        case FormControl::Picture3: picture3_->setPicture(state.picture3.picture); break;
    }
    emit formChanged(control);
}

void MainWindow::refreshButton(QPushButton& button, const CommandButtonState& state) {
    const QString caption = QString::fromStdString(state.caption);
    if (button.text() != caption) {
        button.setText(caption);
        button.setAccessibleName(caption.trimmed());
    }
    button.setEnabled(state.enabled);
}

void MainWindow::refreshIndicator() {
    const MainFormState& state = form_->state();
    const QColor fill = toQColor(state.shape1FillColour);
    if (fill != shape1_->fill()) {
        shape1_->setFill(fill);
        shape1_->setAccessibleDescription(state.shape1FillColour == kIndicatorRed ? QStringLiteral("Clipboard blocked")
                                                                                  : QStringLiteral("Clipboard usable"));
    }
    shape1_->setLit(state.shape1Visible);
    shape1_->setBlinking(state.timer(TimerId::Timer1).enabled);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    // The banner is docked to the top edge; nothing else follows the window's size.
    banner_->setGeometry(0, 0, width(), banner_->height());
    QWidget::resizeEvent(event);
}

}  // namespace zanthrel::qt
