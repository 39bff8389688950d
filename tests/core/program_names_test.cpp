// Naming the programs behind the captures on the simulated desktop: where the lines go, that they only
// ever add to the log, and that a name arriving late or never changes nothing the guard decides.
#include <gtest/gtest.h>

#include <optional>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimPicture;
using sim::withPixel;
using Source = ProgramIdentity::Source;

const ProgramIdentity kFlameshot{Source::System, "flameshot", 4242};
const ProgramIdentity kXclip{Source::System, "xclip", 77};
const ProgramIdentity kGone{Source::Exited, "", 913};
const ProgramIdentity kReader{Source::System, "xclip", 78};

std::vector<std::string> withoutNames(const std::vector<std::string>& log) {
    std::vector<std::string> lines;
    for (const std::string& line : log)
        if (!line.starts_with("    ")) lines.push_back(line);
    return lines;
}

class Naming : public ::testing::Test {
protected:
    void SetUp() override {
        desk.reportClipboardChanges();
        desk.copyPicture(base);
        desk.start();
        desk.clickStartPause();
        desk.tick(3);
    }
    void copy(std::uint32_t colour) { desk.copyPicture(withPixel(base, 5, 5, colour)); }
    // The line just before the last one, or "" when there is none.
    std::string lineBeforeLast() const {
        return desk.log().size() < 2 ? std::string() : desk.log()[desk.log().size() - 2];
    }

    sim::SimDesktop desk;
    const PictureRef base = SimPicture::solid(64, 48, 0x202020);
};

TEST_F(Naming, TheOwnerIsNamedUnderItsCaptureWhetherItsNameCameBeforeOrAfterTheCount) {
    copy(1);
    desk.guard().clipboardOwnerNamed(kFlameshot);
    desk.tick(2);
    EXPECT_TRUE(lineBeforeLast().starts_with(texts::kCaptureDetected));
    EXPECT_EQ(desk.log().back(), "    Copied by flameshot (process 4242)");

    copy(2);
    desk.tick(2);
    EXPECT_TRUE(desk.log().back().starts_with(texts::kCaptureDetected)) << "the name is still on its way";
    desk.guard().clipboardOwnerNamed(kXclip);
    EXPECT_EQ(desk.log().back(), "    Copied by xclip (process 77)");
    desk.tick(20);
    desk.guard().clipboardOwnerNamed(kXclip);
    EXPECT_EQ(desk.log().back(), "    Copied by xclip (process 77)");
    EXPECT_EQ(desk.log().size(), 6u) << "a name repeated for the same change adds nothing";
}

TEST_F(Naming, ANameTooLateForItsLineIsLeftToTheAlarm) {
    copy(1);
    desk.tick(2);
    desk.clickStartPause();  // another line comes between the capture and its name
    desk.guard().clipboardOwnerNamed(kFlameshot);
    EXPECT_TRUE(desk.log().back().starts_with(texts::kProtectionStopped));
}

TEST_F(Naming, TheAlarmNamesEveryProgramOfItsWindowOnceAndTheNotificationHasTheSameLine) {
    desk.guard().clipboardReadBy(kReader);
    for (const auto& [colour, owner] : {std::pair{1u, kFlameshot}, {2u, kXclip}, {3u, kFlameshot}, {4u, kGone}}) {
        copy(colour);
        desk.guard().clipboardOwnerNamed(owner);
        desk.guard().clipboardReadBy(kReader);
        desk.tick(2);
    }
    const std::vector<std::string>& log = desk.log();
    const auto alarm = std::find_if(log.begin(), log.end(),
                                    [](const std::string& line) { return line.starts_with(texts::kAlarmRaised); });
    ASSERT_NE(alarm, log.end());
    const std::string expected =
        "    Copied by flameshot (process 4242), xclip (process 77), a program that has exited (process 913); "
        "read by xclip (process 78)";
    ASSERT_NE(alarm + 1, log.end());
    EXPECT_EQ(*(alarm + 1), expected);
    EXPECT_EQ(desk.state().alarmPrograms, expected);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.starts_with("    "); }), 5)
        << "four captures and one alarm, however often the reader read";
    ASSERT_EQ(desk.messageBoxes().size(), 1u);
    EXPECT_EQ(desk.messageBoxes()[0].text, texts::kWarningText);
}

TEST_F(Naming, ReadersAreGatheredOnlyWhileWatchingAndEachWindowStartsAfresh) {
    desk.clickStartPause();
    desk.guard().clipboardReadBy({Source::System, "clipman", 5});
    desk.clickStartPause();
    copy(1);
    desk.guard().clipboardOwnerNamed(kFlameshot);
    desk.tick(2);
    desk.advance(kCountingWindowMs);  // a new window: what came before is forgotten
    for (std::uint32_t colour = 2; colour < 6; ++colour) {
        copy(colour);
        desk.guard().clipboardOwnerNamed(kXclip);
        desk.tick(2);
    }
    EXPECT_EQ(desk.state().alarmPrograms, "    Copied by xclip (process 77)");
}

TEST_F(Naming, AnUnknownProgramIsNamedOnlyBesideOnesTheSystemCouldName) {
    for (std::uint32_t colour = 1; colour < 5; ++colour) {
        copy(colour);
        desk.guard().clipboardOwnerNamed({});
        desk.tick(2);
    }
    EXPECT_EQ(std::count_if(desk.log().begin(), desk.log().end(),
                            [](const std::string& line) { return line.starts_with(texts::kDetailIndent); }),
              0)
        << "a desktop that names no one logs as it always did";
    desk.clickEnableDisable();  // unblocked, monitoring again
    desk.clickStartPause();
    for (std::uint32_t colour = 5; colour < 9; ++colour) {
        copy(colour);
        desk.guard().clipboardOwnerNamed(colour == 5 ? kFlameshot : ProgramIdentity{});
        desk.tick(2);
    }
    EXPECT_EQ(desk.state().alarmPrograms, "    Copied by flameshot (process 4242), an unknown program");
}

TEST_F(Naming, AProblemRepeatedUnderANamingLineIsStillLoggedOnce) {
    desk.clickEnableDisable();
    copy(1);
    desk.guard().reportClipboardProblem(ClipboardProblem::NotEmptied);
    desk.guard().clipboardOwnerNamed(kFlameshot);
    ASSERT_TRUE(desk.log().back().starts_with("    Emptied what flameshot"));
    desk.guard().reportClipboardProblem(ClipboardProblem::NotEmptied);
    EXPECT_TRUE(desk.log().back().starts_with("    Emptied what flameshot"));
}

TEST_F(Naming, ManyProgramsAreSummedUpRatherThanListedWithoutBound) {
    for (std::uint32_t pid = 1; pid < 100; ++pid) desk.guard().clipboardReadBy({Source::System, "r", pid});
    for (std::uint32_t colour = 1; colour < 5; ++colour) {
        copy(colour);
        desk.tick(2);
    }
    const std::string& line = desk.state().alarmPrograms;
    EXPECT_TRUE(line.starts_with("    Read by r (process 1), ")) << line;
    EXPECT_TRUE(line.ends_with("r (process 8) and others")) << line;
}

TEST_F(Naming, BlockingNamesWhatItEmptiedOncePerRunOfTheSameProgram) {
    desk.clickEnableDisable();
    const std::size_t before = desk.log().size();
    for (std::uint32_t colour = 1; colour < 4; ++colour) {
        copy(colour);
        desk.guard().clipboardOwnerNamed(kFlameshot);
        desk.advance(10);
    }
    copy(9);
    desk.guard().clipboardOwnerNamed(kXclip);
    const std::vector<std::string> added(desk.log().begin() + static_cast<std::ptrdiff_t>(before), desk.log().end());
    EXPECT_EQ(added, (std::vector<std::string>{"    Emptied what flameshot (process 4242) had copied",
                                               "    Emptied what xclip (process 77) had copied"}));
    EXPECT_EQ(desk.clipboard().picture(), nullptr) << "emptied without waiting for any name";
}

// The same copies with names arriving at once, late, or never: the log without the names, the counter after
// every tick and the alarm's moment are all the same.
TEST(NamingDeadlines, ANameLateOrNeverChangesNeitherTheCountNorTheAlarm) {
    enum class Names { AtOnce, Late, Never };
    struct Run {
        std::vector<std::string> log;
        std::vector<int> counts;
        std::vector<std::int64_t> boxesAt;
    };
    const auto play = [](Names names) {
        sim::SimDesktop desk;
        desk.reportClipboardChanges();
        const PictureRef base = SimPicture::solid(32, 32, 0);
        desk.copyPicture(base);
        desk.start();
        desk.clickStartPause();
        Run run;
        std::vector<ProgramIdentity> owed;
        for (std::uint32_t colour = 1; colour < 12; ++colour) {
            desk.copyPicture(withPixel(base, 1, 1, colour));
            if (names == Names::AtOnce) desk.guard().clipboardOwnerNamed(kFlameshot);
            if (names == Names::Late) owed.push_back(kXclip);
            for (int tick = 0; tick < 3; ++tick) {
                desk.tick();
                run.counts.push_back(desk.state().detection.captureCount);
            }
            if (colour == 6) desk.clickStartPause();
            if (colour % 4 == 0)  // a lookup that took several changes to answer
                for (ProgramIdentity& owner : std::exchange(owed, {})) desk.guard().clipboardOwnerNamed(owner);
        }
        run.log = withoutNames(desk.log());
        for (const sim::ShownMessageBox& box : desk.messageBoxes()) run.boxesAt.push_back(box.atMs);
        return run;
    };
    const Run never = play(Names::Never);
    ASSERT_FALSE(never.boxesAt.empty()) << "the script raises the alarm";
    for (const Names names : {Names::AtOnce, Names::Late}) {
        const Run run = play(names);
        EXPECT_EQ(run.log, never.log);
        EXPECT_EQ(run.counts, never.counts);
        EXPECT_EQ(run.boxesAt, never.boxesAt);
    }
}

TEST(ProgramDescription, SaysWhoseWordItIsAndKeepsANameToOneShortLine) {
    EXPECT_EQ(describeProgram({Source::ClientClaim, "xterm", 12}),
              "xterm (process 12 by its own word, which the system could not confirm)");
    EXPECT_EQ(describeProgram({Source::OtherHost, "", 0}), "a program on another computer");
    EXPECT_EQ(describeProgram({Source::Unknown, "", 0}), "an unknown program");
    EXPECT_EQ(describeProgram({Source::System, "two\nlines", 3}), "two?lines (process 3)");
    EXPECT_EQ(describeProgram({Source::System, std::string(500, 'a'), 3}).size(), 64u + 12u);
}

}  // namespace
}  // namespace zanthrel::test
