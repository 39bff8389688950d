// The tray icon follows the form through the main window and sends its commands to the form, on the
// offscreen platform (which has no notification area: the icon is driven through its menu's actions).
#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "core/texts.h"
#include "platform/qt/form_widgets.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/tray_icon.h"
#include "qt_test_support.h"

namespace zanthrel::qt {
namespace {

using testing::countEntries;
using testing::ModalAnswerer;
using testing::waitUntil;

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::clipboard()->clear();
        desktop.start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop.window()));
    }

    const GuardState& state() { return desktop.guard().state(); }
    std::string text(const QAction& action) { return action.text().toStdString(); }
    // Puts a picture of its own colour on the clipboard for each `capture`.
    static void copyCapture(int capture) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(capture * 60, 255, 255));
        QGuiApplication::clipboard()->setImage(picture);
    }

    ModalAnswerer answerer;
    QtDesktop desktop;
    TrayIcon tray{desktop.window()};
};

TEST_F(TrayIconTest, MenuOffersTheWindowsCommandsWithTheirCurrentCaptions) {
    const QList<QAction*> actions = tray.menu().actions();
    ASSERT_EQ(actions.size(), 5);  // two commands, a separator, Show, Quit
    EXPECT_EQ(actions[0], &tray.monitoringCommand());
    EXPECT_EQ(actions[1], &tray.blockingCommand());
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(text(tray.showWindow()), "Show");
    EXPECT_EQ(text(tray.quit()), "Quit");
    // The launch caption ends in a blank, which has no place in a menu.
    EXPECT_EQ(text(tray.monitoringCommand()), texts::kStartCaption);
    EXPECT_EQ(text(tray.blockingCommand()), texts::kBlockCaption);
    EXPECT_EQ(tray.icon().toolTip(), "Zanthrel: clipboard not protected");
    EXPECT_EQ(tray.look(), TrayLook::Usable);
}

TEST_F(TrayIconTest, CommandsReachTheFormAndTheIconFollowsItsState) {
    tray.monitoringCommand().trigger();
    EXPECT_TRUE(state().monitoring.on);
    EXPECT_EQ(text(tray.monitoringCommand()), texts::kStopCaption);
    EXPECT_EQ(tray.icon().toolTip(), "Zanthrel: watching the clipboard for screen captures");
    // The indicator blinks while monitoring; the icon shows it watches, and stays that way.
    EXPECT_EQ(tray.look(), TrayLook::Watching);
    const auto* indicator = desktop.window().findChild<StatusIndicator*>("Shape1");
    ASSERT_NE(indicator, nullptr);
    const bool shownLit = indicator->isShownLit();
    ASSERT_TRUE(waitUntil([&] { return indicator->isShownLit() != shownLit; })) << "the indicator does not blink";
    ASSERT_TRUE(waitUntil([&] { return indicator->isShownLit() == shownLit; }));
    EXPECT_EQ(tray.look(), TrayLook::Watching) << "the icon must not blink";

    tray.blockingCommand().trigger();  // stops monitoring, then blocks
    EXPECT_TRUE(state().blocking.on);
    EXPECT_EQ(text(tray.blockingCommand()), texts::kUnblockCaption);
    EXPECT_FALSE(tray.monitoringCommand().isEnabled()) << "the menu must not offer what the window's button refuses";
    EXPECT_EQ(tray.icon().toolTip(), "Zanthrel: clipboard blocked");
    ASSERT_TRUE(waitUntil([&] { return tray.look() == TrayLook::Blocked; }));

    tray.blockingCommand().trigger();
    EXPECT_TRUE(tray.monitoringCommand().isEnabled());
    ASSERT_TRUE(waitUntil([&] { return tray.look() == TrayLook::Usable; }));
    EXPECT_EQ(countEntries(state().log, texts::kClipboardUnblocked), 1);
}

// While a modal window is open the window's buttons take no clicks; the menu must not go around them.
TEST_F(TrayIconTest, CommandsWaitWhileAModalWindowIsOpen) {
    bool sawDialog = false;
    answerer.onDialog = [&](QWidget& dialog) {
        sawDialog = true;
        tray.blockingCommand().trigger();
        tray.monitoringCommand().trigger();
        dialog.close();
    };
    desktop.guard().showInformation();
    ASSERT_TRUE(sawDialog);
    EXPECT_FALSE(state().blocking.on);
    EXPECT_FALSE(state().monitoring.on);
    tray.blockingCommand().trigger();
    EXPECT_TRUE(state().blocking.on) << "once the dialog is closed the menu works again";
}

TEST_F(TrayIconTest, ShowBringsBackAMinimizedOrHiddenWindow) {
    desktop.window().showMinimized();
    tray.showWindow().trigger();
    EXPECT_FALSE(desktop.window().isMinimized());
    desktop.window().hide();
    tray.showWindow().trigger();
    EXPECT_TRUE(desktop.window().isVisible());
}

TEST_F(TrayIconTest, AnAlarmAlsoNotifiesWithTheWarning) {
    QSignalSpy notified(&tray, &TrayIcon::alarmNotified);
    tray.monitoringCommand().trigger();
    for (int capture = 1; capture <= 4; ++capture) {
        copyCapture(capture);
        ASSERT_TRUE(waitUntil([&] { return countEntries(state().log, texts::kCaptureDetected) == capture; }))
            << "capture " << capture << " was not counted";
    }
    ASSERT_TRUE(waitUntil([&] { return notified.count() == 1; })) << "no notification at the alarm";
    EXPECT_EQ(notified[0][0].toString().toStdString(), texts::kWarningText);
    ASSERT_TRUE(waitUntil([&] { return tray.look() == TrayLook::Blocked; }));
    EXPECT_EQ(tray.icon().toolTip(), "Zanthrel: clipboard blocked");
}

TEST_F(TrayIconTest, TheAlarmsNotificationNamesTheProgramsUnderTheWarning) {
    QSignalSpy notified(&tray, &TrayIcon::alarmNotified);
    tray.monitoringCommand().trigger();
    for (int capture = 1; capture <= 4; ++capture) {
        copyCapture(capture);
        // As the platform tells it once it has looked the owner up (the clipboard here reports at once).
        desktop.guard().clipboardOwnerNamed({ProgramIdentity::Source::System, "flameshot", 4242});
        ASSERT_TRUE(waitUntil([&] { return countEntries(state().log, texts::kCaptureDetected) == capture; }));
    }
    ASSERT_TRUE(waitUntil([&] { return notified.count() == 1; })) << "no notification at the alarm";
    EXPECT_EQ(notified[0][0].toString().toStdString(),
              std::string(texts::kWarningText) + "\nCopied by flameshot (process 4242)");
}

TEST(TrayIconLooks, EachLookHasItsOwnIconAtTraySizes) {
    const QImage usable = TrayIcon::iconFor(TrayLook::Usable).pixmap(16, 16).toImage();
    const QImage blocked = TrayIcon::iconFor(TrayLook::Blocked).pixmap(16, 16).toImage();
    const QImage watching = TrayIcon::iconFor(TrayLook::Watching).pixmap(16, 16).toImage();
    EXPECT_EQ(usable.pixelColor(8, 8), QColor(0, 0xFF, 0));
    EXPECT_EQ(blocked.pixelColor(8, 8), QColor(0xFF, 0, 0));
    EXPECT_EQ(watching.pixelColor(8, 8), QColor(Qt::white)) << "watching shows an eye in the middle";
    EXPECT_EQ(watching.pixelColor(4, 8), QColor(0, 0xFF, 0)) << "on the usable clipboard's green";
}

}  // namespace
}  // namespace zanthrel::qt
