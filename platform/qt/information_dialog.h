#pragma once

#include <QDialog>

#include "core/services.h"
#include "platform/qt/form_builder.h"

class QPushButton;

namespace zanthrel::qt {

// The "Please Read" dialog: fixed size, one button that takes the focus and closes it. Enter and Space press
// the button; Esc does nothing, for the button is not the dialog's cancel button.
class InformationDialog final : public QDialog {
public:
    explicit InformationDialog(TwipScale scale);
    const BuiltForm& controls() const noexcept { return built_; }
    QPushButton& closeButton() const noexcept { return *closeButton_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    BuiltForm built_;
    QPushButton* closeButton_;
};

// Opens a newly built dialog each time, modally and without an owner window, and returns once it is
// closed; the main window's timers keep ticking meanwhile.
class QtInformationDialog final : public InformationDialogService {
public:
    explicit QtInformationDialog(TwipScale scale) : scale_(scale) {}
    void showModal() override;

private:
    TwipScale scale_;
};

}  // namespace zanthrel::qt
