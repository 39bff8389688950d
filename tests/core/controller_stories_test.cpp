// Start-up, the two commands in each state, the blocker and the information dialog, driven on the
// simulated desktop. Expected texts are spelled out here as well as taken from texts.h, so that a typo
// in either shows up.
#include <gtest/gtest.h>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimDesktop;
using sim::SimPicture;
using Log = std::vector<std::string>;

const std::string kIdle =
    "[Enable Clipboard Protection From Spyware ] 0 | [Completely Block the Access to The Clipboard] 0 | count 0 | "
    "green | timers ---";
const std::string kMonitoring =
    "[Stop the Protection] 1 | [Completely Block the Access to The Clipboard] 0 | count 0 | green | timers 12-";
const std::string kBlocked =
    "[Enable Clipboard Protection From Spyware ] 0 | [Unblock the Access to The Clipboard] 1 | count 0 | red | "
    "timers --3";

TEST(StartUp, BothHoldersTakeTheClipboardPictureAndOneEntryIsLogged) {
    for (const PictureRef& onClipboard : {PictureRef{}, SimPicture::solid(8, 6, 0x336699)}) {
        SimDesktop desk;
        if (onClipboard) desk.copyPicture(onClipboard);
        ASSERT_TRUE(desk.guard().start());
        EXPECT_EQ(desk.state().detection.firstHolder.picture, onClipboard);
        EXPECT_EQ(desk.state().detection.secondHolder.picture, onClipboard);
        EXPECT_EQ(desk.clipboardService().reads(), 2u) << "each holder reads the clipboard afresh";
        EXPECT_EQ(desk.state().detection.nextSample, SnapshotHolderId::First);
        EXPECT_EQ(desk.log(), Log{"Clipboard Not Protected. Please click the first button to enable the protection."});
        EXPECT_EQ(desk.log(), Log{std::string(texts::kNotProtected)});
        EXPECT_EQ(describe(desk), kIdle);
    }
}

TEST(StartUp, AClipboardHeldOpenLeavesTheHoldersEmptyAndStartUpGoesOn) {
    SimDesktop desk;
    desk.copyPicture(SimPicture::solid(8, 6, 0x336699));
    sim::SimProgram& viewer = desk.program("Clipboard Viewer");
    ASSERT_TRUE(viewer.open());
    EXPECT_TRUE(desk.guard().start());
    EXPECT_EQ(desk.state().detection.firstHolder.picture, nullptr);
    EXPECT_EQ(desk.state().detection.secondHolder.picture, nullptr);
    EXPECT_EQ(desk.log().size(), 1u);

    // The picture the holders missed is a change like any other: counted once, on the second tick.
    viewer.close();
    desk.clickStartPause();
    desk.tick();
    EXPECT_EQ(desk.state().detection.captureCount, 0);
    desk.tick(20);
    EXPECT_EQ(countCaptures(desk), 1);
}

TEST(Commands, MonitoringStartsBlinksAndStops) {
    SimDesktop desk;
    desk.start();
    desk.timeText = "04:29:05";
    desk.clickStartPause();
    ASSERT_FALSE(desk.log().empty());
    EXPECT_EQ(desk.log().back(), "Protection Started on 07/12/2026 04:29:05...");
    EXPECT_EQ(describe(desk), kMonitoring);
    desk.tick();
    EXPECT_FALSE(desk.state().indicator.lit) << "the indicator blinks";
    desk.tick(2);
    ASSERT_FALSE(desk.state().indicator.lit);  // stopping must show it again

    desk.timeText = "04:29:06";
    desk.clickStartPause();
    ASSERT_FALSE(desk.log().empty());
    EXPECT_EQ(desk.log().back(), std::string(texts::kProtectionStopped) + "07/12/2026 04:29:06...");
    EXPECT_EQ(describe(desk),
              "[Enable Clipboard Protection From Spyware] 0 | [Completely Block the Access to The Clipboard] 0 | "
              "count 0 | green | timers ---");
    const auto reads = desk.clipboardService().reads();
    desk.advance(60000);
    EXPECT_EQ(desk.clipboardService().reads(), reads) << "no tick may arrive once the timers are off";
    EXPECT_EQ(desk.log().size(), 3u);
}

TEST(Commands, BlockingWhileIdleThenRefusedMonitoringThenUnblock) {
    SimDesktop desk;
    desk.start();
    desk.clickEnableDisable();
    ASSERT_FALSE(desk.log().empty());
    EXPECT_EQ(desk.log().back(), "Clipboard Blocked - Action Started on " + kStamp);
    EXPECT_EQ(describe(desk), kBlocked) << "the monitoring button stays enabled";

    desk.clickStartPause();
    ASSERT_EQ(desk.messageBoxes().size(), 1u);
    const sim::ShownMessageBox& box = desk.messageBoxes()[0];
    EXPECT_EQ(box.text, "Please enable the usage of clipboard protection first.");
    EXPECT_EQ(box.text + box.title, std::string(texts::kInfoText) + "Info");
    EXPECT_EQ(box.icon, MessageBoxIcon::Information);
    EXPECT_EQ(describe(desk), kBlocked) << "a refused start changes nothing";
    EXPECT_EQ(desk.log().size(), 2u) << "and logs nothing";

    desk.timeText = "04:29:09";
    desk.clickEnableDisable();
    ASSERT_FALSE(desk.log().empty());
    EXPECT_EQ(desk.log().back(), "Clipboard Unblocked - Started on 07/12/2026 04:29:09");
    EXPECT_EQ(describe(desk), kIdle);
}

TEST(Commands, BlockingWhileMonitoringStopsMonitoringFirstAndDisablesItsButton) {
    SimDesktop desk;
    desk.start();
    desk.clickStartPause();
    desk.tick();  // leaves the blinking indicator hidden
    desk.clickEnableDisable();
    EXPECT_EQ(Log(desk.log().end() - 2, desk.log().end()),
              (Log{"Monitoring Stopped on " + kStamp + "...", std::string(texts::kClipboardBlocked) + kStamp}));
    const std::string blockedWhileMonitoring =
        "[Enable Clipboard Protection From Spyware] 0 disabled | [Unblock the Access to The Clipboard] 1 | count 0 | "
        "red | timers --3";
    EXPECT_EQ(describe(desk), blockedWhileMonitoring);

    desk.clickStartPause();
    EXPECT_EQ(desk.messageBoxes().size(), 1u);
    EXPECT_EQ(describe(desk), blockedWhileMonitoring) << "only unblocking gives the button back";
    desk.clickEnableDisable();
    EXPECT_TRUE(desk.state().monitoring.enabled);
    EXPECT_EQ(desk.state().blocking.caption, texts::kBlockCaption);
}

TEST(Blocker, EmptiesEverythingWithinOneTickAndSitsOutAHeldClipboard) {
    SimDesktop desk;
    desk.start();
    desk.clickEnableDisable();
    const auto picture = SimPicture::solid(4, 4, 0xABCDEF);
    sim::SimProgram& spy = desk.program("Spy");
    desk.advance(2);  // mid-interval: the next tick is at most 5 ms away
    desk.copyText("password");
    desk.advance(5);
    EXPECT_TRUE(desk.clipboard().empty()) << "text";
    desk.copyPicture(picture);
    desk.advance(5);
    EXPECT_TRUE(desk.clipboard().empty()) << "picture";
    spy.copyTextAndPicture("both", picture);
    desk.advance(5);
    EXPECT_TRUE(desk.clipboard().empty()) << "text and picture";

    spy.copyText("held");
    ASSERT_TRUE(spy.open());
    EXPECT_TRUE(desk.guard().onTimer(GuardTimer::Blocking)) << "a held clipboard is no failure of the tick";
    desk.advance(50);
    EXPECT_EQ(desk.clipboard().text(), "held");
    EXPECT_EQ(describe(desk), kBlocked);
    EXPECT_EQ(desk.log().size(), 2u) << "a held clipboard is neither reported nor logged";
    spy.close();
    desk.advance(5);
    EXPECT_TRUE(desk.clipboard().empty()) << "the blocker keeps going once the clipboard is free";
}

TEST(InformationDialog, IsModalWhileTheTimersKeepWorking) {
    SimDesktop desk;
    desk.start();
    desk.clickStartPause();
    desk.tick(3);
    desk.whileInformationDialogOpen = [&] {
        EXPECT_TRUE(desk.informationDialogOpen());
        desk.copyPicture(SimPicture::solid(4, 4, 0x010203));
        desk.advance(10);
    };
    desk.clickPleaseRead();
    EXPECT_FALSE(desk.informationDialogOpen());
    EXPECT_EQ(desk.state().detection.captureCount, 1) << "a capture taken while the dialog is open counts";

    desk.clickEnableDisable();
    desk.clickPleaseRead();
    EXPECT_TRUE(desk.clipboard().empty()) << "blocking goes on while the dialog is open";
    EXPECT_EQ(desk.informationDialogOpenings(), 2);
}

}  // namespace
}  // namespace zanthrel::test
