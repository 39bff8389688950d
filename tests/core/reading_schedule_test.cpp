// The rules both Linux clipboard readers fetch a picture by, on a virtual clock: a reader that carries
// out whatever the schedule says, and an owner whose answers come when each test says.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/reading_schedule.h"

namespace zanthrel::posix {
namespace {

using namespace std::chrono_literals;
using Kind = ReadingSchedule::Step::Kind;
using Step = ReadingSchedule::Step;
using Change = ReadingSchedule::Change;

constexpr std::uint64_t kOwner = 0x400001;
constexpr std::uint64_t kOtherOwner = 0x600001;

// What a reader does: it asks the schedule at every wake-up and carries out each step, which it logs.
struct Reader {
    ReadingSchedule schedule;
    ReadingSchedule::TimePoint now = ReadingSchedule::TimePoint{} + 1h;
    std::vector<Step> steps;

    // The time the schedule names for the next wake-up.
    ReadingSchedule::TimePoint act() {
        return schedule.advance(now, [this](const Step& step) { steps.push_back(step); });
    }
    // Lets time pass, waking as the reader's poll would at every time the schedule named.
    void wait(std::chrono::steady_clock::duration span) {
        const auto until = now + span;
        for (auto wakeAt = act(); wakeAt <= until; wakeAt = act()) now = wakeAt;
        now = until;
        act();
    }
    // The owner sends `count` pieces, `apart` from each other.
    void pieces(int count, std::chrono::steady_clock::duration apart) {
        for (int piece = 0; piece < count; ++piece) {
            wait(apart);
            schedule.heard(now);
        }
    }
    void change(const Change& change) {
        const Step step = schedule.noteChange(change);
        if (step.kind != Kind::Wait) steps.push_back(step);
    }
    // A new picture by `owner`, asked for at once.
    void copied(std::uint64_t owner) {
        change({true, owner, false});
        schedule.request();
        act();
    }
    std::size_t count(Kind kind) const {
        std::size_t n = 0;
        for (const Step& step : steps) n += step.kind == kind;
        return n;
    }
    Step last() const { return steps.empty() ? Step{} : steps.back(); }
};

// A step as the tests name it: its kind and the change it is for.
std::string said(const Step& step) {
    static constexpr const char* kNames[] = {"wait", "fetch", "nopicture", "abandon", "silent"};
    return std::string(kNames[static_cast<int>(step.kind)]) + " " + std::to_string(step.serial);
}

TEST(ReadingSchedule, AnIncrementalTransferWithPiecesAPartIsOnePicture) {
    Reader reader;
    reader.copied(kOwner);
    ASSERT_EQ(said(reader.last()), "fetch 2");
    // Ten pieces, 300 ms apart: three seconds in all, each within a second of the one before.
    reader.pieces(10, 300ms);
    EXPECT_EQ(reader.schedule.finished(), 2u);
    EXPECT_EQ(reader.count(Kind::Silent), 0u) << "the deadline counts from each piece, not from the start";
    EXPECT_EQ(reader.count(Kind::Fetch), 1u);
    EXPECT_TRUE(reader.schedule.upToDate());
}

TEST(ReadingSchedule, OnePieceMoreThanASecondLateIsASilentOwner) {
    Reader reader;
    reader.copied(kOwner);
    reader.pieces(3, 300ms);
    reader.wait(999ms);
    EXPECT_EQ(reader.count(Kind::Silent), 0u);
    reader.wait(1ms);
    EXPECT_EQ(said(reader.last()), "silent 2");
    EXPECT_FALSE(reader.schedule.transferring());
    EXPECT_EQ(reader.schedule.finished(), 0u) << "a late piece ends nothing more";
}

TEST(ReadingSchedule, AWholeTransferHasTenSeconds) {
    Reader reader;
    reader.copied(kOwner);
    reader.pieces(19, 500ms);
    EXPECT_EQ(reader.count(Kind::Silent), 0u);
    reader.wait(500ms);
    EXPECT_EQ(said(reader.last()), "silent 2") << "ten seconds after the question, however lively the owner";
}

TEST(ReadingSchedule, FetchesOnlyWhenAskedTheNewestChangeAtMostOncePerGap) {
    Reader reader;
    reader.change({true, kOwner, false});
    reader.change({true, kOwner, false});
    reader.wait(5s);
    EXPECT_TRUE(reader.steps.empty()) << "nobody asked";

    reader.schedule.request();
    reader.act();
    ASSERT_EQ(reader.steps.size(), 1u);
    EXPECT_EQ(said(reader.last()), "fetch 3") << "the newest change only";
    reader.wait(2ms);
    EXPECT_EQ(reader.schedule.finished(), 3u);

    reader.copied(kOwner);
    EXPECT_EQ(reader.steps.size(), 1u) << "not sooner than the fetch gap after the last fetch";
    reader.wait(ReadingSchedule::kFetchGap - 2ms - 1ms);
    EXPECT_EQ(reader.steps.size(), 1u);
    reader.wait(1ms);
    EXPECT_EQ(said(reader.last()), "fetch 4");
}

TEST(ReadingSchedule, AChangeWithNothingToFetchIsAnsweredWithoutAsking) {
    Reader reader;
    reader.change({false, 0, false});
    reader.schedule.request();
    reader.act();
    ASSERT_EQ(reader.steps.size(), 1u);
    EXPECT_EQ(said(reader.last()), "nopicture 2");
    EXPECT_TRUE(reader.schedule.upToDate());
    // A clipboard found holding a picture at the start is fetched when asked for.
    Reader found;
    found.schedule = ReadingSchedule(Change{true, kOwner, false});
    found.schedule.request();
    found.act();
    EXPECT_EQ(said(found.last()), "fetch 1");
}

// Browsers and Qt list JPEG before PNG: the owner is asked for PNG, and is given a second for it.
TEST(ReadingSchedule, AnOwnerIsAskedForItsPreferredPicture) {
    Reader reader;
    reader.copied(kOwner);
    reader.wait(900ms);
    const std::vector<std::string_view> targets = {"TARGETS", "TIMESTAMP", "image/jpeg", "image/png", "text/plain"};
    EXPECT_EQ(reader.schedule.typesListed(reader.now, targets), 3u);
    reader.wait(900ms);
    EXPECT_EQ(reader.count(Kind::Silent), 0u);

    const std::vector<std::string_view> text = {"TARGETS", "UTF8_STRING", "text/plain"};
    EXPECT_EQ(reader.schedule.typesListed(reader.now, text), std::nullopt);
    EXPECT_EQ(reader.schedule.finished(), 2u);
}

TEST(ReadingSchedule, ANewerChangeBySameOwnerLetsALivelyTransferFinish) {
    Reader reader;
    reader.copied(kOwner);
    reader.pieces(1, 30ms);
    reader.copied(kOwner);
    reader.pieces(3, ReadingSchedule::kPatience - 10ms);
    EXPECT_EQ(reader.count(Kind::Abandon), 0u);
    EXPECT_EQ(reader.schedule.finished(), 2u) << "answered piece by piece, each within its patience";
    reader.act();
    EXPECT_EQ(said(reader.last()), "fetch 3") << "and the newer change is fetched next";

    // Late by more than the patience: given up for the newer change.
    reader.copied(kOwner);
    reader.wait(ReadingSchedule::kPatience);
    ASSERT_GE(reader.steps.size(), 3u);
    EXPECT_EQ(said(reader.steps[reader.steps.size() - 2]), "abandon 3");
    EXPECT_EQ(said(reader.last()), "fetch 4");
}

TEST(ReadingSchedule, ANewerChangeByAnotherOwnerGivesTheTransferUpAtOnce) {
    Reader reader;
    reader.copied(kOwner);
    reader.wait(20ms);
    reader.copied(kOtherOwner);
    ASSERT_GE(reader.steps.size(), 3u);
    EXPECT_EQ(said(reader.steps[1]), "abandon 2");
    EXPECT_EQ(said(reader.last()), "fetch 3");
    // Where the protocol cannot name owners, the transfer may still finish.
    Reader unnamed;
    unnamed.change({true, std::nullopt, false});
    unnamed.schedule.request();
    unnamed.act();
    unnamed.change({true, std::nullopt, false});
    EXPECT_TRUE(unnamed.schedule.transferring());
}

// Owners replacing each other, or one replacing itself, faster than they answer: every transfer given
// up leaves a picture unjudged, so a run of them is a silent owner, whichever way each was given up.
TEST(ReadingSchedule, TransfersGivenUpInARowMakeASilentOwner) {
    for (const bool sameOwner : {false, true}) {
        Reader reader;
        std::uint64_t owner = kOwner;
        reader.copied(owner);
        for (int i = 1; i < ReadingSchedule::kAbandonedBeforeSilent; ++i) {
            reader.wait(ReadingSchedule::kPatience + 20ms);
            if (!sameOwner) owner ^= 1;
            reader.copied(owner);
        }
        reader.wait(ReadingSchedule::kPatience + 20ms);
        EXPECT_EQ(reader.count(Kind::Silent), 0u) << (sameOwner ? "same owner" : "owners in turn");
        reader.copied(sameOwner ? owner : owner ^ 1);
        reader.wait(ReadingSchedule::kPatience + 20ms);
        EXPECT_EQ(reader.count(Kind::Abandon), static_cast<std::size_t>(ReadingSchedule::kAbandonedBeforeSilent - 1));
        EXPECT_EQ(reader.count(Kind::Silent), 1u) << (sameOwner ? "same owner" : "owners in turn");
    }
}

TEST(ReadingSchedule, AnAnswerOrOurOwnEmptyingBreaksTheRun) {
    Reader reader;
    for (int i = 0; i < 3 * ReadingSchedule::kAbandonedBeforeSilent; ++i) {
        reader.copied(kOwner + static_cast<std::uint64_t>(i));
        reader.wait(20ms);
        // Emptied by us while being fetched: not the owner's fault.
        if (i % 2 == 0) reader.change({false, 1, true});
        // An answer now and then.
        if (i % 5 == 4) reader.schedule.finished();
    }
    EXPECT_EQ(reader.count(Kind::Silent), 0u);
    EXPECT_GT(reader.count(Kind::Abandon), static_cast<std::size_t>(ReadingSchedule::kAbandonedBeforeSilent));
}

TEST(ReadingSchedule, AnAnswerForAnOlderChangeLeavesTheNewestToFetch) {
    Reader reader;
    reader.copied(kOwner);
    reader.change({true, kOwner, false});  // not asked for yet
    reader.schedule.heard(reader.now);
    EXPECT_EQ(reader.schedule.finished(), 2u);
    EXPECT_FALSE(reader.schedule.upToDate());
    reader.wait(ReadingSchedule::kFetchGap);
    EXPECT_EQ(said(reader.last()), "fetch 3") << "the request holds until the newest change is answered";
}

}  // namespace
}  // namespace zanthrel::posix
