// When the sampling clock may rest: only while nothing can change a verdict, and never so long that a
// picture goes unjudged. The desktops' clipboard services report the facts; this policy is the guard's.
#include <gtest/gtest.h>

#include <random>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimDesktop;
using sim::SimPicture;

class SamplingRest : public ::testing::Test {
protected:
    SamplingRest() {
        desk.reportClipboardChanges();
        desk.copyPicture(before);
        desk.start();
        desk.clickStartPause();
        desk.tick(3);
    }

    SimDesktop desk;
    const PictureRef before = SimPicture::solid(32, 16, 0x405060);
};

TEST_F(SamplingRest, AnIdleClipboardCostsNoTicksAndACopyIsCountedAtOnce) {
    ASSERT_TRUE(desk.guard().samplingRests());
    const auto ticks = desk.samplingTicks();
    desk.advance(10000);
    EXPECT_EQ(desk.samplingTicks(), ticks) << "the clock ticked while nothing could change";

    desk.copyPicture(SimPicture::solid(32, 16, 0x000001));  // the change notice takes a sample at once
    EXPECT_FALSE(desk.guard().samplingRests());
    desk.tick();
    EXPECT_EQ(countCaptures(desk), 1) << "counted one tick after the change";
    desk.tick(2);
    EXPECT_TRUE(desk.guard().samplingRests()) << "rests again once both holders have the new picture";
    EXPECT_EQ(countCaptures(desk), 1);
}

TEST_F(SamplingRest, NoPictureGoesUnjudgedWhileTheClockRests) {
    // A program that copies while it keeps the clipboard open announces its change when it lets go.
    sim::SimProgram& hog = desk.program("Clipboard hog");
    ASSERT_TRUE(hog.open());
    hog.copyPicture(SimPicture::solid(32, 16, 0x000002));
    desk.tick(20);
    EXPECT_EQ(countCaptures(desk), 0);
    hog.close();
    desk.tick();
    EXPECT_EQ(countCaptures(desk), 1) << "the picture was judged as soon as the clipboard could be read";

    // An answer on its way: reads give the last one, so the clock goes on until it has come.
    desk.tick(3);
    ASSERT_TRUE(desk.guard().samplingRests());
    desk.clipboardService().setAnswerPending(true);
    desk.copyPicture(SimPicture::solid(32, 16, 0x000003));
    desk.tick(10);
    EXPECT_FALSE(desk.guard().samplingRests());
    desk.clipboardService().setAnswerPending(false);
    desk.guard().clipboardAnswered();
    desk.tick();
    EXPECT_EQ(countCaptures(desk), 2);
}

TEST_F(SamplingRest, SwitchingMonitoringOffAndOnEndsARestAndBlockingEmptiesEachCopyAtOnce) {
    ASSERT_TRUE(desk.guard().samplingRests());
    desk.clickStartPause();
    EXPECT_FALSE(desk.guard().samplingRests());
    desk.clickEnableDisable();
    desk.copyText("password");  // no tick of the blocking clock in between
    EXPECT_TRUE(desk.clipboard().empty()) << "a program that took the clipboard is emptied at once";
    desk.clickEnableDisable();
    desk.clickStartPause();
    desk.tick(3);
    EXPECT_TRUE(desk.guard().samplingRests());
}

// Random stories through a desktop whose clock rests and one whose clock never does: resting may change
// when a capture is counted by a tick, never whether or how often.
TEST(SamplingRestProperty, RestingNeverChangesWhatIsCounted) {
    std::mt19937 random(7122026);
    SimDesktop resting, ticking;
    resting.reportClipboardChanges();
    for (SimDesktop* desk : {&resting, &ticking}) {
        desk->start();
        desk->clickStartPause();
    }
    PictureRef current = SimPicture::solid(8, 8, 0);
    for (int step = 0; step < 300; ++step) {
        const unsigned kind = random() % 5;
        if (kind == 0) current = SimPicture::solid(8, 8, random() % 4);
        const int settle = 2 + static_cast<int>(random() % 40);
        for (SimDesktop* desk : {&resting, &ticking}) {
            desk->timeText = std::to_string(step);
            switch (kind) {
                case 0:
                case 1: desk->copyPicture(current); break;
                case 2: desk->copyText("text"); break;
                case 3: desk->guard().onTimer(GuardTimer::CountingWindow); break;
                default: break;
            }
            desk->tick(settle);
            if (!desk->state().monitoring.on && desk->state().blocking.on) {
                desk->clickEnableDisable();
                desk->clickStartPause();
            }
        }
        ASSERT_EQ(resting.log(), ticking.log()) << "step " << step;
    }
    EXPECT_LT(resting.samplingTicks() * 4, ticking.samplingTicks()) << "the resting clock saved nothing";
}

// Pictures the comparison cannot read (too large) and whose data nobody could digest are still new
// pictures: an unknown digest never makes two of them the same.
TEST(UnknownDigests, TwoUnreadablePicturesWithoutDigestsAreTwoCaptures) {
    class Unreadable final : public Picture {
    public:
        std::int32_t width() const override { return 50000; }
        std::int32_t height() const override { return 50000; }
        void readScanLines(const BitmapInfoHeader&, std::uint32_t, std::uint32_t,
                           std::int32_t*) const noexcept override {}
        bool hasPixels() const noexcept override { return false; }
    };
    SimDesktop desk;
    desk.start();
    desk.clickStartPause();
    desk.copyPicture(std::make_shared<Unreadable>());
    desk.tick(4);
    desk.copyPicture(std::make_shared<Unreadable>());
    desk.tick(4);
    EXPECT_EQ(desk.state().detection.captureCount, 2);
}

}  // namespace
}  // namespace zanthrel::test
