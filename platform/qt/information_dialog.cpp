#include "platform/qt/information_dialog.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "layout/information_dialog_layout.h"
#include "platform/qt/app_icon.h"

namespace zanthrel::qt {

InformationDialog::InformationDialog(TwipScale scale)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      built_(informationDialogLayout(), *this, scale),
      closeButton_(built_.control<QPushButton>(ControlId::CloseButton)) {
    if (!closeButton_) qFatal("The information dialog's layout table lacks its Close button");
    setObjectName(toQString(informationDialogLayout().name));
    setAccessibleName(windowTitle());
    setWindowIcon(applicationIcon());
    const FormLayout& layout = informationDialogLayout();
    setFixedSize(scale.pixels(layout.clientWidth), scale.pixels(layout.clientHeight));
    // Enter presses the button that has the focus, and it is the only one that can take it.
    closeButton_->setAutoDefault(true);
    closeButton_->setDefault(false);
    closeButton_->setFocus(Qt::OtherFocusReason);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void InformationDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void QtInformationDialog::showModal() {
    InformationDialog dialog(scale_);
    // Centred on the screen, not over the main window as Qt would place a dialog without an owner.
    if (const QScreen* screen = dialog.screen())
        dialog.setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, dialog.size(), screen->availableGeometry()));
    dialog.exec();
}

}  // namespace zanthrel::qt
