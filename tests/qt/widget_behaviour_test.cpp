// Clicks, log entries, boxes and the dialog's key rules, on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/texts.h"
#include "platform/qt/information_dialog.h"
#include "platform/qt/qt_desktop.h"
#include "qt_test_support.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::ModalAnswerer;
using testing::waitUntil;

class MainWindowBehaviourTest : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::clipboard()->clear();
        desktop.start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QPushButton& button(const char* name) { return *window.findChild<QPushButton*>(name); }
    QListWidget& list() { return *window.findChild<QListWidget*>("List1"); }
    const std::vector<std::string>& log() { return desktop.guard().state().log; }
    void click(QWidget& widget) { QTest::mouseClick(&widget, Qt::LeftButton); }

    // Copies the n-th picture of a series (each a new colour) and waits until it has been counted.
    ::testing::AssertionResult copyCaptureAndWaitForIt(int capture) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(capture * 60, 255, 255));
        QGuiApplication::clipboard()->setImage(picture);
        if (waitUntil([&] { return countEntries(log(), texts::kCaptureDetected) == capture; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "capture " << capture << " was not counted";
    }

    // The list shows exactly the log the logic keeps.
    void expectListShowsLog() {
        ASSERT_EQ(list().count(), static_cast<int>(log().size()));
        for (int i = 0; i < list().count(); ++i) EXPECT_EQ(list().item(i)->text().toStdString(), log()[i]);
    }

    ModalAnswerer answerer;
    QtDesktop desktop;
    MainWindow& window = desktop.window();
};

// The wiring: clicks reach the logic, and what it changes shows in the window.
TEST_F(MainWindowBehaviourTest, ClicksReachTheLogicAndItsChangesShow) {
    click(button("cmdStartPause"));
    EXPECT_EQ(button("cmdStartPause").text().toStdString(), texts::kStopCaption);
    EXPECT_TRUE(desktop.timers().isActive(GuardTimer::Sampling));
    EXPECT_TRUE(desktop.timers().isActive(GuardTimer::CountingWindow));
    ASSERT_EQ(log().size(), 2u);
    // Prefix, the locale's date, one space, its time, and the ellipsis.
    const std::string started = log().back();
    EXPECT_TRUE(started.starts_with(std::string(texts::kProtectionStarted) + LocaleDateTime().currentDate() + " "))
        << started;
    EXPECT_TRUE(started.ends_with("...")) << started;

    click(button("cmdEnableDisable"));  // stops monitoring, then blocks
    EXPECT_FALSE(button("cmdStartPause").isEnabled());
    EXPECT_EQ(button("cmdEnableDisable").text().toStdString(), texts::kUnblockCaption);
    EXPECT_TRUE(desktop.timers().isActive(GuardTimer::Blocking));
    EXPECT_FALSE(desktop.timers().isActive(GuardTimer::Sampling));
    EXPECT_EQ(window.findChild<StatusIndicator*>("Shape1")->fill(), QColor(0xFF, 0, 0));
    expectListShowsLog();
    EXPECT_TRUE(answerer.messageBoxes().empty());
}

TEST_F(MainWindowBehaviourTest, MonitoringWhileBlockedIsRefusedWithTheInfoBox) {
    click(button("cmdEnableDisable"));
    const std::size_t entries = log().size();
    click(button("cmdStartPause"));
    ASSERT_EQ(answerer.messageBoxes().size(), 1u);
    const testing::SeenMessageBox& box = answerer.messageBoxes()[0];
    EXPECT_EQ(box.title.toStdString(), texts::kInfoTitle);
    EXPECT_EQ(box.text.toStdString(), texts::kInfoText);
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_EQ(log().size(), entries);
    EXPECT_EQ(button("cmdStartPause").text().toStdString(), texts::kStartCaptionAtLaunch);
}

TEST_F(MainWindowBehaviourTest, OnlyPleaseReadOpensTheDialog) {
    for (const char* name : {"lblAppName", "lblBy", "Label3", "Label1", "Shape1", "Picture2"})
        click(*window.findChild<QWidget*>(name));
    EXPECT_EQ(answerer.dialogsSeen(), 0);
    EXPECT_EQ(log().size(), 1u);

    QString title;
    answerer.onDialog = [&](QWidget& dialog) {
        title = dialog.windowTitle();
        dialog.close();
    };
    click(*window.findChild<QWidget*>("lblPleaseRead"));
    EXPECT_EQ(answerer.dialogsSeen(), 1);
    EXPECT_EQ(title, "Please Read");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowBehaviourTest, FourthPictureRaisesTheAlarmAndRestoresAMinimizedWindow) {
    QClipboard& clipboard = *QGuiApplication::clipboard();
    click(button("cmdStartPause"));
    window.showMinimized();
    for (int capture = 1; capture <= 4; ++capture) ASSERT_TRUE(copyCaptureAndWaitForIt(capture));
    ASSERT_TRUE(waitUntil([&] { return !answerer.messageBoxes().empty(); })) << "no warning box";
    EXPECT_EQ(answerer.messageBoxes()[0].title.toStdString(), texts::kWarningTitle);
    EXPECT_EQ(answerer.messageBoxes()[0].text.toStdString(), texts::kWarningText);
    EXPECT_EQ(answerer.messageBoxes()[0].icon, QMessageBox::Information);
    EXPECT_FALSE(window.isMinimized()) << "the alarm must reach a user whose window is minimized";
    EXPECT_EQ(desktop.guard().state().detection.captureCount, 0);
    EXPECT_FALSE(button("cmdStartPause").isEnabled());
    EXPECT_EQ(button("cmdStartPause").text().toStdString(), texts::kStartCaptionAtLaunch);
    ASSERT_TRUE(waitUntil([&] { return clipboard.image().isNull(); })) << "blocking did not empty the clipboard";
    expectListShowsLog();
}

// The alarm may fire while "Please Read" is open: its box brings the main window forward, and once the
// box is gone the dialog must be the active window again, or the user is left facing a main window that
// ignores every click with the dialog hidden behind it.
TEST_F(MainWindowBehaviourTest, AnAlarmWhileTheDialogIsOpenGivesTheDialogBackTheFront) {
    click(button("cmdStartPause"));
    answerer.onDialog = [&](QWidget& dialog) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QTimer answerWarning;  // the answerer waits for this handler, so the box is answered here
        QObject::connect(&answerWarning, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        answerWarning.start(5);
        for (int capture = 1; capture <= 4; ++capture) ASSERT_TRUE(copyCaptureAndWaitForIt(capture));
        ASSERT_TRUE(waitUntil([&] { return desktop.guard().state().detection.captureCount == 0; }))
            << "the alarm did not end";
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
        EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &dialog; }))
            << "the dialog did not come back to the front after the warning box";
        dialog.close();
    };
    click(*window.findChild<QWidget*>("lblPleaseRead"));
    EXPECT_EQ(countEntries(log(), texts::kAlarmRaised), 1);
    EXPECT_EQ(button("cmdEnableDisable").text().toStdString(), texts::kUnblockCaption);
}

class InformationDialogKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        ASSERT_TRUE(waitUntil([&] { return dialog.focusWidget() == &dialog.closeButton(); }))
            << "Close does not hold the focus";
    }
    InformationDialog dialog{QtDesktop::screenScale()};
};

TEST_F(InformationDialogKeysTest, EscLeavesItOpen) {
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(InformationDialogKeysTest, EnterCloses) {
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(InformationDialogKeysTest, SpaceCloses) {
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace zanthrel::qt
