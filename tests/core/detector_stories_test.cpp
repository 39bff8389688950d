// The screen-capture detector on the simulated desktop: counting, the alarm, counting windows, and the
// sampling tick's behaviour when the comparison fails or a capture is larger than the holders.
#include <gtest/gtest.h>

#include <optional>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimPicture;
using sim::withPixel;

class Detector : public ::testing::Test {
protected:
    void SetUp() override {
        desk.copyPicture(base);
        desk.start();
        desk.clickStartPause();
        desk.tick(3);
    }
    // A picture that differs from `base` in one pixel; equal colours give equal pixels in new objects.
    PictureRef capture(std::uint32_t colour) const { return withPixel(base, 5, 5, colour); }
    void captureAndSettle(std::uint32_t colour) {
        desk.copyPicture(capture(colour));
        desk.tick(2);
    }
    int counter() const { return desk.state().detection.captureCount; }

    sim::SimDesktop desk;
    const PictureRef base = SimPicture::solid(64, 48, 0x202020);
};

TEST_F(Detector, ANewPictureIsCountedExactlyOnceOneTickLate) {
    desk.copyPicture(capture(1));
    desk.tick();
    EXPECT_EQ(counter(), 0);
    desk.timeText = "04:29:07";
    desk.tick();
    EXPECT_EQ(counter(), 1);
    ASSERT_FALSE(desk.log().empty());
    EXPECT_EQ(desk.log().back(), "New Screen Capture Detected on 07/12/2026 04:29:07");
    desk.tick(100);
    EXPECT_EQ(counter(), 1);
    EXPECT_EQ(countCaptures(desk), 1);
}

TEST_F(Detector, EveryChangeBetweenTwoTicksCountsOnce) {
    desk.copyPicture(capture(1));
    desk.tick();
    desk.copyPicture(capture(2));
    desk.tick(10);
    EXPECT_EQ(counter(), 2) << "two pictures in consecutive ticks";

    desk.copyPicture(capture(2));
    desk.tick(10);
    EXPECT_EQ(counter(), 2) << "the same pixels in a new object are no capture";

    desk.copyText("not a picture");
    desk.tick(10);
    EXPECT_EQ(countCaptures(desk), 3) << "a holder left without a picture differs for one tick";
}

TEST(DetectorWithoutPictures, NeverCounts) {
    sim::SimDesktop desk;
    desk.start();
    desk.clickStartPause();
    for (int i = 0; i < 50; ++i) {
        desk.copyText("text " + std::to_string(i));
        desk.tick(i % 3 + 1);
    }
    EXPECT_EQ(desk.state().detection.captureCount, 0);
    EXPECT_EQ(desk.log().size(), 2u);
}

TEST_F(Detector, TheFourthCaptureInAWindowRaisesTheAlarmOnItsOwnTick) {
    for (std::uint32_t colour : {1, 2, 3}) captureAndSettle(colour);
    ASSERT_EQ(counter(), 3);
    ASSERT_TRUE(desk.messageBoxes().empty()) << "the third capture raises nothing";

    desk.minimized = true;
    desk.onMessageBox = [&](const sim::ShownMessageBox&) {
        EXPECT_EQ(desk.bringToFrontCalls(), 1);
        EXPECT_FALSE(desk.minimized) << "the window is restored before the warning";
        EXPECT_EQ(counter(), 4) << "the counter is cleared only once the box is dismissed";
        const std::size_t entries = desk.log().size();
        desk.copyPicture(capture(9));
        desk.advance(5);
        EXPECT_TRUE(desk.clipboard().empty()) << "the blocker runs while the box waits";
        EXPECT_EQ(desk.log().size(), entries) << "the detector is off while the box waits";
    };
    desk.copyPicture(capture(4));
    desk.tick();
    const std::size_t before = desk.log().size();
    desk.timeText = "04:30:00";
    desk.tick();

    const std::string at = "07/12/2026 04:30:00";
    const std::vector<std::string> added(desk.log().begin() + static_cast<std::ptrdiff_t>(before), desk.log().end());
    EXPECT_EQ(added, (std::vector<std::string>{
                         "New Screen Capture Detected on " + at,
                         "Too Many Screen Captures Detected in a Short Period of Time. Alarm Raised on " + at,
                         "Protection Stopped on " + at + "...",
                         "Clipboard Blocked - Action Started on " + at,
                     }));
    ASSERT_GE(added.size(), 2u);
    EXPECT_EQ(added[1], std::string(texts::kAlarmRaised) + at);
    ASSERT_EQ(desk.messageBoxes().size(), 1u);
    const sim::ShownMessageBox& box = desk.messageBoxes()[0];
    EXPECT_EQ(box.text,
              "Warning! The clipboard seems to be used to record your activity. The access to the clipboard has "
              "been blocked to fully protect you.");
    EXPECT_EQ(box.text + box.title, std::string(texts::kWarningText) + "Warning");
    EXPECT_EQ(box.icon, MessageBoxIcon::Information);
    EXPECT_EQ(describe(desk),
              "[Enable Clipboard Protection From Spyware ] 0 disabled | [Unblock the Access to The Clipboard] 1 | "
              "count 0 | red | timers --3");
}

TEST_F(Detector, ACountingWindowEndsEveryThirtySeconds) {
    for (std::uint32_t colour : {1, 2, 3}) captureAndSettle(colour);
    desk.advance(30000 - desk.clock().nowMs());
    EXPECT_EQ(counter(), 0);
    captureAndSettle(4);
    EXPECT_EQ(counter(), 1);
    EXPECT_TRUE(desk.messageBoxes().empty());
}

TEST_F(Detector, StoppingByHandKeepsTheCounterForTheNextStart) {
    captureAndSettle(1);
    captureAndSettle(2);
    desk.clickStartPause();
    EXPECT_EQ(counter(), 2);
    desk.clickStartPause();
    EXPECT_EQ(counter(), 2);
    captureAndSettle(3);
    captureAndSettle(4);
    EXPECT_EQ(desk.messageBoxes().size(), 1u) << "2 kept + 2 new makes the fourth";
}

TEST_F(Detector, AComparisonThatFailsStillJudgesThePictureByItsDataAndSamplingGoesOn) {
    SnapshotHolder& first = reachIntoState(desk).detection.firstHolder;
    std::uint32_t colour = 1;
    const auto expectFailedTickMovesOn = [&](const char* why, auto&& breakComparison, auto&& mend) {
        desk.copyPicture(capture(++colour));
        desk.tick();  // one holder has the new picture: the next comparison must read both
        const auto entries = desk.log().size();
        const auto reads = desk.clipboardService().reads();
        const int before = counter();
        breakComparison();
        EXPECT_TRUE(desk.guard().onTimer(GuardTimer::Sampling)) << why;
        mend();
        ASSERT_EQ(desk.log().size(), entries + 1) << why << ": the new picture's data differ, so it counts";
        EXPECT_TRUE(desk.log().back().starts_with(texts::kCaptureDetected)) << why;
        EXPECT_EQ(counter(), before + 1) << why;
        EXPECT_EQ(desk.clipboardService().reads(), reads + 1) << why << ": the sample is still taken";
        EXPECT_TRUE(desk.state().monitoring.on) << why << ": monitoring goes on";
        desk.tick(3);
        EXPECT_EQ(counter(), before + 1) << why << ": and only once";
        captureAndSettle(++colour);
        EXPECT_EQ(counter(), before + 2) << why << ": the next capture counts";
        desk.guard().onTimer(GuardTimer::CountingWindow);  // keep the alarm out of this story
    };

    expectFailedTickMovesOn(
        "zero width", [&] { first.scaleWidth = 0; }, [&] { first.scaleWidth = 4680; });
    expectFailedTickMovesOn(
        "width beyond 32 bits", [&] { first.scaleWidth = 3e9f; }, [&] { first.scaleWidth = 4680; });
    std::optional<AddressSpaceCap> cap;
    expectFailedTickMovesOn(
        "no memory for the pixel buffers",
        [&] {
            cap.emplace(16 << 20);  // far less than one pixel buffer
            ASSERT_TRUE(cap->applied());
        },
        [&] { cap.reset(); });
}

// A picture that claims a size too large for any pixel buffer, without holding the pixels; its owner's
// data are known by their digest.
class GiantPicture final : public Picture {
public:
    explicit GiantPicture(std::uint64_t data) : digest_{data, ~data} {}
    std::int32_t width() const override { return 50000; }
    std::int32_t height() const override { return 50000; }
    void readScanLines(const BitmapInfoHeader&, std::uint32_t, std::uint32_t, std::int32_t*) const noexcept override {}
    PictureDigest digest() const noexcept override { return digest_; }

private:
    PictureDigest digest_;
};

TEST_F(Detector, APictureTooLargeToCompareIsJudgedByItsDataAndDoesNotBlindTheDetector) {
    desk.copyPicture(std::make_shared<GiantPicture>(1));
    desk.tick(6);  // its comparisons overflow; it reaches both holders all the same
    EXPECT_EQ(counter(), 1) << "a giant capture is counted once, by its data";
    desk.copyPicture(std::make_shared<GiantPicture>(1));
    desk.tick(6);
    EXPECT_EQ(counter(), 1) << "the same data offered again are no new capture";
    desk.copyPicture(std::make_shared<GiantPicture>(2));
    desk.tick(6);
    EXPECT_EQ(counter(), 2) << "other data are";
    desk.guard().onTimer(GuardTimer::CountingWindow);
    desk.copyPicture(capture(7));
    desk.tick(4);
    EXPECT_EQ(counter(), 1) << "a capture after the giant one differs from it";
    captureAndSettle(8);
    EXPECT_EQ(counter(), 2) << "captures after the giant one are counted again";
}

// Multi-monitor captures are larger than the holders' 4680 x 2835 region; a change anywhere counts.
TEST(DetectorLargeCaptures, AChangeOutsideTheHoldersRegionIsACapture) {
    struct Case {
        std::int32_t width, height, x, y;  // y counts from the top; the region keeps the bottom rows
    };
    for (const Case c : {Case{4700, 2, 4690, 0}, Case{2, 2900, 1, 10}}) {
        sim::SimDesktop desk;
        const PictureRef wide = SimPicture::solid(c.width, c.height, 0x445566);
        desk.copyPicture(wide);
        desk.start();
        desk.clickStartPause();
        desk.tick(2);
        desk.copyPicture(withPixel(wide, c.x, c.y, 0x445567));
        desk.tick(4);
        EXPECT_EQ(desk.state().detection.captureCount, 1) << c.width << "x" << c.height;
    }
}

}  // namespace
}  // namespace zanthrel::test

namespace zanthrel::test {
namespace {

TEST_F(Detector, AClipboardHeldOpenSkipsTheSampleButTheTurnStillPasses) {
    const GuardState& state = desk.state();
    const PictureRef kept = state.detection.secondHolder.picture;
    ASSERT_EQ(state.detection.nextSample, SnapshotHolderId::Second) << "three settling ticks leave the next sample to the second holder";
    sim::SimProgram& other = desk.program("Clipboard hog");
    ASSERT_TRUE(other.open());
    other.copyPicture(capture(3));  // a new picture, but the hog keeps the clipboard open
    desk.tick();
    EXPECT_EQ(state.detection.secondHolder.picture, kept) << "the holder keeps what the last sample found";
    EXPECT_EQ(state.detection.nextSample, SnapshotHolderId::First);
    desk.tick();
    EXPECT_EQ(state.detection.nextSample, SnapshotHolderId::Second);
    EXPECT_TRUE(state.monitoring.on);
    EXPECT_EQ(countCaptures(desk), 0) << "nothing was read, so nothing differs yet";
    other.close();
    desk.tick(2);
    EXPECT_EQ(countCaptures(desk), 1) << "once released, the new picture is counted once";
}

TEST_F(Detector, ACaptureIsCountedOnceThoughTheClipboardCannotBeReadRightAfterIt) {
    sim::SimProgram& hog = desk.program("Clipboard hog");
    for (int settleTicks : {0, 1}) {
        desk.guard().onTimer(GuardTimer::CountingWindow);
        desk.copyPicture(capture(static_cast<std::uint32_t>(10 + settleTicks)));
        desk.tick(1 + settleTicks);  // the new picture is in one holder, or already counted
        ASSERT_TRUE(hog.open());
        desk.tick(20);
        EXPECT_EQ(counter(), 1) << "held after " << settleTicks << " more ticks: counted once, not every tick";
        EXPECT_TRUE(desk.messageBoxes().empty()) << "one picture and a busy clipboard raise no alarm";
        hog.close();
        desk.tick(5);
        EXPECT_EQ(counter(), 1);
    }
}

TEST_F(Detector, EachStartBeginsAFreshCountingWindow) {
    desk.advance(20000);
    desk.clickStartPause();  // stop at about 20 s
    captureAndSettle(2);
    desk.advance(5000);
    desk.clickStartPause();  // start again at about 25 s: the window now ends at about 55 s
    captureAndSettle(3);
    EXPECT_EQ(counter(), 1);
    desk.advance(25000);  // about 50 s: a window that had kept running from 0 s would have ended at 30 s
    EXPECT_EQ(counter(), 1);
    desk.advance(6000);
    EXPECT_EQ(counter(), 0);
}

}  // namespace
}  // namespace zanthrel::test
