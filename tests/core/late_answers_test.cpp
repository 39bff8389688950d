// Owners that answer late or not at all: the window never waits for them, a late first answer still
// fills the start-up holders, and what the guard could not do is said in the log once per run.
#include <gtest/gtest.h>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimPicture;

class LateAnswers : public ::testing::Test {
protected:
    void answerArrives() {
        desk.clipboardService().setAnswerPending(false);
        desk.guard().clipboardAnswered();
    }

    sim::SimDesktop desk;
    const PictureRef before = SimPicture::solid(32, 16, 0x405060);
};

TEST_F(LateAnswers, APictureCopiedBeforeStartUpIsNoCaptureWhenItsAnswerComesLate) {
    desk.copyPicture(before);
    desk.clipboardService().setAnswerPending(true);
    desk.start();
    EXPECT_EQ(desk.log(), (std::vector<std::string>{std::string(texts::kNotProtected)})) << "start-up went on";
    EXPECT_FALSE(desk.state().detection.firstHolder.picture);

    desk.clickStartPause();
    desk.tick(3);  // these ticks find the answer still on its way: they take no sample
    answerArrives();
    EXPECT_EQ(desk.state().detection.firstHolder.picture, before);
    EXPECT_EQ(desk.state().detection.secondHolder.picture, before);
    desk.tick(10);
    EXPECT_EQ(desk.state().detection.captureCount, 0);

    desk.copyPicture(SimPicture::solid(32, 16, 0x000001));
    desk.tick(2);
    EXPECT_EQ(desk.state().detection.captureCount, 1) << "what comes after is counted as usual";
}

TEST_F(LateAnswers, AnAnswerAfterTheFirstSampleLeavesTheHoldersToTheTicks) {
    desk.copyPicture(before);
    desk.clipboardService().setAnswerPending(true);
    desk.start();
    desk.clipboardService().setAnswerPending(false);
    desk.clickStartPause();
    desk.tick();  // samples `before` into the first holder
    const PictureRef later = SimPicture::solid(32, 16, 0x000002);
    desk.copyPicture(later);
    desk.guard().clipboardAnswered();  // with a sampling tick at once
    EXPECT_EQ(desk.state().detection.firstHolder.picture, before) << "no second fill behind the detector's back";
    EXPECT_EQ(desk.state().detection.secondHolder.picture, later);
    EXPECT_EQ(desk.state().detection.captureCount, 1) << "the empty start-up holder";
    desk.tick(3);
    EXPECT_EQ(desk.state().detection.captureCount, 2) << "the empty start-up holder, then the new picture";
}

TEST_F(LateAnswers, AChangeWhoseAnswerIsOnItsWayDoesNotCountThePreviousCaptureTwice) {
    desk.copyPicture(before);
    desk.start();
    desk.clickStartPause();
    desk.tick(3);
    desk.copyPicture(SimPicture::solid(32, 16, 0x000003));
    desk.tick();  // the holders now differ: the next tick counts
    desk.copyPicture(SimPicture::solid(32, 16, 0x000004));
    desk.clipboardService().setAnswerPending(true);
    desk.tick(5);
    EXPECT_EQ(desk.state().detection.captureCount, 1) << "the first change, once, while the second is still on its way";
    desk.clipboardService().setAnswerPending(false);
    desk.tick(5);
    EXPECT_EQ(desk.state().detection.captureCount, 2);
}

TEST_F(LateAnswers, AProblemIsLoggedOncePerRunWithDateAndTime) {
    desk.start();
    desk.guard().reportClipboardProblem(ClipboardProblem::OwnerSilent);
    desk.guard().reportClipboardProblem(ClipboardProblem::OwnerSilent);
    desk.guard().reportClipboardProblem(ClipboardProblem::NotEmptied);
    desk.guard().reportClipboardProblem(ClipboardProblem::NotEmptied);
    desk.clickEnableDisable();
    desk.guard().reportClipboardProblem(ClipboardProblem::NotEmptied);
    EXPECT_EQ(desk.log(), (std::vector<std::string>{
                              std::string(texts::kNotProtected),
                              "Clipboard Owner Did Not Deliver Its Picture in Time - Not Checked on " + kStamp,
                              "Clipboard Could Not Be Emptied in Time on " + kStamp,
                              "Clipboard Blocked - Action Started on " + kStamp,
                              "Clipboard Could Not Be Emptied in Time on " + kStamp,
                          }));
}

TEST_F(LateAnswers, ADesktopThatKeepsTheClipboardOutOfReachIsSaidOnceAndAgainWithBlocking) {
    desk.start();
    EXPECT_FALSE(desk.state().cannotWatchClipboard);
    desk.guard().reportClipboardProblem(ClipboardProblem::CannotWatch);
    desk.guard().reportClipboardProblem(ClipboardProblem::CannotWatch);
    desk.clickEnableDisable();
    EXPECT_EQ(desk.log(), (std::vector<std::string>{
                              std::string(texts::kNotProtected),
                              "Clipboard Cannot Be Watched on This Desktop - " + kStamp,
                              "Clipboard Blocked - Action Started on " + kStamp,
                              "Clipboard Cannot Be Watched on This Desktop - " + kStamp,
                          }));
    EXPECT_TRUE(desk.state().cannotWatchClipboard) << "the tray's tooltip reads it while blocking";
}

}  // namespace
}  // namespace zanthrel::test
