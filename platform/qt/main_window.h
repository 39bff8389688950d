#pragma once

#include <QWidget>

#include "guard/guard.h"
#include "platform/qt/form_builder.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zanthrel::qt {

// The main window: built from the main window's layout table, it shows the guard's state and passes
// clicks to it. It keeps no state of its own.
class MainWindow final : public QWidget, public GuardObserver {
    Q_OBJECT
public:
    explicit MainWindow(TwipScale scale);

    // Shows `guard`'s state from now on and sends the clicks to it.
    void bind(Guard& guard);
    // Places the window in the middle of its screen, as it first appears.
    void centreOnScreen();

    void guardChanged(GuardChange change) override;
    const BuiltForm& controls() const noexcept { return built_; }
    Guard* guard() const noexcept { return guard_; }

signals:
    // After the window has shown a change of the guard's state: the tray icon and the log echo follow it.
    void guardStateShown(zanthrel::GuardChange change);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshButton(QPushButton& button, const CommandState& state);
    void refreshIndicator();

    BuiltForm built_;
    Guard* guard_ = nullptr;
    PictureBoxWidget* banner_;
    QPushButton* monitoringButton_;
    QPushButton* blockingButton_;
    ClickableLabel* pleaseRead_;
    StatusIndicator* indicator_;
    QListWidget* log_;
    QLineEdit* captureCount_;
    PictureBoxWidget* firstHolder_;
    PictureBoxWidget* secondHolder_;
};

}  // namespace zanthrel::qt
