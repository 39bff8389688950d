#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace zanthrel::qt::testing {

// Waits, keeping the event loop running, until `condition` holds or `timeoutMs` pass.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

struct SeenMessageBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// Deals with the modal windows that open while it lives, from inside their own event loops, as a
// user would. Message boxes are recorded and answered with OK; any other modal window goes to
// `onDialog`, or is closed when there is none, so that no test can hang on a modal loop.
class ModalAnswerer {
public:
    ModalAnswerer();
    std::function<void(QWidget&)> onDialog;
    const std::vector<SeenMessageBox>& messageBoxes() const noexcept { return boxes_; }
    int dialogsSeen() const noexcept { return dialogs_; }

private:
    void poll();

    QTimer poll_;
    QPointer<QWidget> answered_;
    std::vector<SeenMessageBox> boxes_;
    int dialogs_ = 0;
};

// The log entries that begin with `prefix`.
int countEntries(const std::vector<std::string>& log, std::string_view prefix);

}  // namespace zanthrel::qt::testing
