#include <gtest/gtest.h>

#include "qt_test_support.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace zanthrel::qt::testing {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

ModalAnswerer::ModalAnswerer() {
    poll_.setInterval(2);
    QObject::connect(&poll_, &QTimer::timeout, [this] { poll(); });
    poll_.start();
}

void ModalAnswerer::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == answered_) return;
    answered_ = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
        return;
    }
    ++dialogs_;
    // The handler may wait for events itself; a nested modal window is not answered meanwhile.
    poll_.stop();
    if (onDialog) {
        onDialog(*modal);
        // A handler whose check failed may leave the dialog up; closing it lets the test report that
        // failure instead of waiting for CTest's time-out.
        if (modal->isVisible()) {
            ADD_FAILURE() << "the dialog was still open after the test's handler returned";
            modal->close();
        }
    } else {
        modal->close();
    }
    poll_.start();
}

int countEntries(const std::vector<std::string>& log, std::string_view prefix) {
    int count = 0;
    for (const std::string& line : log)
        if (line.starts_with(prefix)) ++count;
    return count;
}

}  // namespace zanthrel::qt::testing
