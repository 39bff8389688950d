#pragma once


#include <QWidget>

#include "core/main_form.h"
#include "platform/qt/form_builder.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zanthrel::qt {

// Form1, the main window: built from the main window's layout table, it shows MainForm's state and
// passes clicks to it. It keeps no state of its own.
class MainWindow final : public QWidget, public FormObserver {
    Q_OBJECT
public:
    explicit MainWindow(TwipScale scale);

    // Shows `form`'s state from now on and sends the clicks to it.
    void bind(MainForm& form);
    // Places the window in the middle of its screen, as it first appears.
    void centreOnScreen();

    void controlChanged(FormControl control) override;
    const BuiltForm& controls() const noexcept { return built_; }
    MainForm* form() const noexcept { return form_; }

signals:
    // After the window has shown a change of the form's state: the tray icon and the log echo follow it.
    void formChanged(zanthrel::FormControl control);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshButton(QPushButton& button, const CommandButtonState& state);
    void refreshIndicator();

    BuiltForm built_;
    MainForm* form_ = nullptr;
    PictureBoxWidget* banner_;
    QPushButton* cmdStartPause_;
    QPushButton* cmdEnableDisable_;
    ClickableLabel* lblPleaseRead_;
    StatusIndicator* shape1_;
    QListWidget* list1_;
    QLineEdit* txtCounts_;
    PictureBoxWidget* picture1_;
    PictureBoxWidget* picture3_;
};

}  // namespace zanthrel::qt
