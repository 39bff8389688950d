// The Windows clipboard's job on its own, on a virtual clock: what the agent's thread is told to do, and
// what the window learns, for reads, emptyings, another program holding the clipboard open, and the
// standing emptying order with its race against a copier and its fights.
#include <gtest/gtest.h>

#include "platform/win32/clipboard_job.h"

namespace zanthrel::win32 {
namespace {

using namespace std::chrono_literals;
using Job = ClipboardJob;
using Action = Job::Step::Action;
using State = Job::State;

constexpr std::uint64_t kCopier = 0x1234;
constexpr std::uint64_t kFighter = 0x5678;

// Plays the agent's thread and the other threads against the job, on a clock of its own.
class JobTest : public ::testing::Test {
protected:
    JobTest() { step = job.handle(Job::Woke{}, now); }

    // An event from the window's or the listener's thread; the agent wakes if it is told to.
    Job::Step tell(const Job::Event& event) {
        const Job::Step told = job.handle(event, now);
        if (told.wake && step.action == Action::Wait) step = job.handle(Job::Woke{}, now);
        return told;
    }
    // Time passes; the agent wakes when its wait is over.
    void pass(std::chrono::microseconds span) {
        now += span;
        if (step.action == Action::Wait && now >= step.until) step = job.handle(Job::Woke{}, now);
    }
    // The agent did what it was told, with this result.
    void done(const Job::Event& result) {
        ASSERT_NE(step.action, Action::Wait) << "the agent had nothing to do";
        step = job.handle(result, now);
    }
    void emptied(ClipboardSequence sequence, bool removed = true, std::uint32_t process = 0) {
        done(Job::EmptyingDone{{sequence, false, true, removed, process}});
    }
    void heldEmptying() { done(Job::EmptyingDone{{0, true, false, false, 0}}); }
    Job::News collect(ClipboardSequence sequence) {
        Job::News news;
        job.handle(Job::Collect{sequence}, now, &news);
        return news;
    }
    void blocking() { tell(Job::OrderGiven{EmptyingOrder{true}}); }

    Job job;
    Job::Clock::time_point now{};
    Job::Step step;
};

TEST_F(JobTest, AReadIsDoneOncePerChangeAndAnsweredWhenItBelongsToTheClipboardAsItIsNow) {
    EXPECT_EQ(step.action, Action::Wait);
    EXPECT_EQ(step.until, Job::Clock::time_point::max()) << "an idle job waits for nothing";
    tell(Job::ReadWanted{7});
    ASSERT_EQ(step.action, Action::Read);
    EXPECT_FALSE(tell(Job::ReadWanted{7}).wake) << "one request per change";
    done(Job::ReadDone{{7, nullptr, false, false}});
    EXPECT_TRUE(step.announce) << "the window is told of the answer";
    EXPECT_EQ(step.action, Action::Wait);
    const Job::News news = collect(7);
    ASSERT_TRUE(news.answer);
    EXPECT_TRUE(news.answered);
    EXPECT_FALSE(job.status().readOwed);

    // An answer overtaken by a change is kept, and asked for again when collected.
    tell(Job::ReadWanted{8});
    done(Job::ReadDone{{8, nullptr, false, false}});
    const Job::News late = collect(9);
    EXPECT_TRUE(late.answer && !late.answered);
    EXPECT_TRUE(job.status().readOwed);
    EXPECT_EQ(step.action, Action::Wait);
    step = job.handle(Job::Woke{}, now);
    EXPECT_EQ(step.action, Action::Read) << "the read is asked for again";
}

TEST_F(JobTest, AReadOfAHeldClipboardLooksAgainAtAGrowingIntervalAndReadsOnceItIsFree) {
    tell(Job::ReadWanted{3});
    done(Job::ReadDone{{3, nullptr, true, false}});
    EXPECT_FALSE(step.announce) << "the window learns nothing new";
    EXPECT_EQ(job.state(), State::WaitingForRelease);
    EXPECT_FALSE(job.status().busy);
    EXPECT_EQ(step.until - now, Job::kFirstHeldLook);
    std::vector<std::chrono::milliseconds> intervals;
    for (int look = 0; look < 6; ++look) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(step.until - now);
        intervals.push_back(wait);
        pass(wait);
        ASSERT_EQ(step.action, Action::Look);
        done(Job::LookDone{false});
    }
    EXPECT_EQ(intervals, (std::vector<std::chrono::milliseconds>{10ms, 20ms, 40ms, 80ms, 100ms, 100ms}));
    EXPECT_TRUE(collect(3).problems.empty()) << "a clipboard held long is no problem to report";

    // A change notice has it look at once; free, the read is done.
    tell(Job::ChangeNoticed{4, kCopier});
    ASSERT_EQ(step.action, Action::Look);
    done(Job::LookDone{true});
    EXPECT_EQ(step.action, Action::Read);
}

TEST_F(JobTest, AReadOrAnEmptyingThatTakesTooLongIsReportedOnce) {
    tell(Job::ReadWanted{5});
    ASSERT_EQ(step.action, Action::Read);
    now += Job::kDeliveryDeadline + 1ms;
    Job::News news = collect(5);
    ASSERT_EQ(news.problems, std::vector<ClipboardProblem>{ClipboardProblem::OwnerSilent});
    EXPECT_EQ(job.status().silent, 5u) << "reads of this change fail from now on";
    EXPECT_TRUE(collect(5).problems.empty()) << "reported once";
    done(Job::ReadDone{{5, nullptr, false, false}});
    EXPECT_FALSE(collect(5).answer) << "an answer after its deadline stays unused";
    EXPECT_FALSE(tell(Job::ReadWanted{5}).wake);

    tell(Job::EmptyingWanted{5});
    ASSERT_EQ(step.action, Action::Empty);
    now += Job::kOwnerDeadline + 1ms;
    news = collect(5);
    EXPECT_EQ(news.problems, std::vector<ClipboardProblem>{ClipboardProblem::NotEmptied});
    emptied(6);
    news = collect(6);
    EXPECT_FALSE(news.clearAgain) << "emptied as we left it";
    EXPECT_FALSE(tell(Job::EmptyingWanted{6}).wake) << "nothing put there since we emptied it";
}

TEST_F(JobTest, AnEmptyingOfAHeldClipboardRetriesAtOnceAFewTimesThenBacksOffAndLeavesTheDecisionToTheWindow) {
    tell(Job::EmptyingWanted{2});
    ASSERT_EQ(step.action, Action::Empty);
    int quick = 0;
    heldEmptying();
    while (step.action == Action::Look && now - Job::Clock::time_point{} < Job::kQuickRetries) {
        ++quick;
        now += 50us;
        done(Job::LookDone{false});
    }
    EXPECT_EQ(quick, Job::kMostQuickRetries) << "tries again at once, within the first millisecond";
    EXPECT_EQ(step.action, Action::Wait);
    EXPECT_EQ(step.until - now, Job::kFirstHeldLook) << "then backs off";
    EXPECT_TRUE(job.status().emptyingOwed && job.status().emptyingWaitsForRelease);
    pass(Job::kFirstHeldLook);
    done(Job::LookDone{true});
    EXPECT_TRUE(step.announce);
    const Job::News news = collect(2);
    EXPECT_TRUE(news.clearAgain) << "no order: whether to empty now is the window's to say";
    EXPECT_FALSE(job.status().emptyingOwed);
}

TEST_F(JobTest, UnderTheOrderACopierIsRacedFromItsEmptyingAndTheWindowToldAfterwards) {
    blocking();
    ASSERT_EQ(step.action, Action::Empty) << "the order starts by owning the emptied clipboard";
    emptied(10, false);
    EXPECT_FALSE(collect(10).change) << "nothing of another program's was emptied";

    // A program copies: it empties our clipboard first, and we hear of it at once.
    const Job::Step told = tell(Job::CopierEmptying{kCopier});
    EXPECT_TRUE(told.announce) << "the window watches an emptying it did not ask for";
    EXPECT_EQ(job.status().busy, true);
    ASSERT_EQ(step.action, Action::Empty);
    for (int attempt = 0; attempt < 5; ++attempt) {
        now += 100us;
        heldEmptying();
        ASSERT_EQ(step.action, Action::Empty) << "tries again at once while the copier holds the clipboard";
    }
    emptied(12, true, 4242);
    EXPECT_TRUE(job.noticeChangesNothing(12)) << "our own emptying's notice";
    EXPECT_FALSE(job.noticeChangesNothing(13));
    // Its notice and ours come after: neither is a new taking.
    tell(Job::ChangeNoticed{12, kCopier});
    EXPECT_EQ(step.action, Action::Wait);
    const Job::News news = collect(12);
    ASSERT_TRUE(news.change);
    EXPECT_TRUE(news.change->change.taken && news.change->change.emptied);
    EXPECT_EQ(news.change->ownerProcess, 4242u);
    EXPECT_TRUE(news.problems.empty());
    EXPECT_EQ(job.state(), State::Idle);
}

TEST_F(JobTest, ACopierThatHoldsOnPastTheRaceIsWaitedOutCheaplyAndEmptiedOnItsNotice) {
    blocking();
    emptied(1, false);
    tell(Job::CopierEmptying{kCopier});
    while (now - Job::Clock::time_point{} < Job::kRaceBound + 1ms) {
        now += 200us;
        heldEmptying();
        if (step.action == Action::Wait) break;
    }
    ASSERT_EQ(step.action, Action::Wait) << "the race is bounded";
    EXPECT_EQ(job.state(), State::WaitingForRelease);
    EXPECT_GE(step.until - now, Job::kFirstHeldLook);
    tell(Job::ChangeNoticed{3, kCopier});
    ASSERT_EQ(step.action, Action::Empty) << "its notice comes as it lets go";
    emptied(4, true, 77);
    EXPECT_EQ(collect(4).change->ownerProcess, 77u);
}

TEST_F(JobTest, RacingDrawsOnABudgetSoThatACopierThatHoldsOnAgainAndAgainCostsLittle) {
    blocking();
    emptied(1, false);
    ClipboardSequence sequence = 1;
    constexpr auto kAttempt = 500us;
    // Empties the clipboard and holds on past every race, 20 times a second: below a fight.
    std::chrono::microseconds raced{0};
    const auto begin = now;
    constexpr int kTakings = 40;
    for (int i = 0; i < kTakings; ++i) {
        tell(Job::CopierEmptying{kCopier});
        while (step.action == Action::Empty) {
            now += kAttempt;
            raced += kAttempt;
            heldEmptying();
        }
        now += 1ms;
        tell(Job::ChangeNoticed{++sequence, kCopier});
        if (step.action == Action::Empty) emptied(++sequence, true);
        collect(sequence);
        now += 50ms;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - begin);
    // Unbounded, each taking would cost a whole race; the budget allows a tenth of the time, besides the
    // attempt under way as a race ends and the quick tries of a held emptying that follow it.
    EXPECT_LE(raced, Job::kRaceBudget + elapsed / 10 + kTakings * 3 * kAttempt);
    EXPECT_LT(raced, kTakings * Job::kRaceBound / 2);
    // Left alone for a while, the budget is there again.
    now += 2s;
    tell(Job::CopierEmptying{kCopier});
    EXPECT_EQ(job.state(), State::Emptying) << "racing again";
}

TEST_F(JobTest, NoticesWhileAnEmptyingIsInTheSystemAreWeighedOnceItIsBack) {
    blocking();
    ASSERT_EQ(step.action, Action::Empty);
    tell(Job::ChangeNoticed{20, kCopier});  // read before our emptying: the change it removes
    emptied(21, true);
    EXPECT_EQ(step.action, Action::Wait);
    tell(Job::ChangeNoticed{22, kCopier});  // a copy after it
    ASSERT_EQ(step.action, Action::Empty);
    tell(Job::CopierEmptying{kCopier});  // the next copier, while we are still in the system
    emptied(23, true);
    EXPECT_EQ(step.action, Action::Empty) << "the copier that came meanwhile is raced";
}

TEST_F(JobTest, AFightIsSaidOnceAndEmptiedAtThePaceWithoutRacing) {
    blocking();
    emptied(0, false);
    ClipboardSequence sequence = 0;
    int said = 0;
    auto takeBack = [&] {
        const Job::Step told = tell(Job::CopierEmptying{kFighter});
        (void)told;
        if (step.action == Action::Empty) {
            now += 100us;
            emptied(sequence += 2, true);
        }
        said += static_cast<int>(collect(sequence).problems.size());
        tell(Job::ChangeNoticed{sequence, kFighter});
    };
    for (int i = 0; i < EmptyingOrder{}.fightTakings - 1; ++i) {
        takeBack();
        now += 1ms;
    }
    EXPECT_EQ(said, 0);
    takeBack();
    EXPECT_EQ(said, 1) << "the fight is said";
    EXPECT_EQ(job.state(), State::Pacing);
    // From now on one emptying per pace, however fast it takes the clipboard back.
    int emptyings = 0;
    const auto start = now;
    while (now - start < 1s) {
        const bool waiting = step.action == Action::Wait && step.until > now;
        const Job::Step told = tell(Job::CopierEmptying{kFighter});
        EXPECT_NE(job.state(), State::RacingCopier) << "no race in a fight";
        if (waiting) {
            EXPECT_FALSE(told.wake) << "the agent wakes for the fight's next turn anyway";
        }
        if (job.state() == State::Pacing) {
            EXPECT_TRUE(job.noticeChangesNothing(sequence + 1)) << "the fighter's notice: already on its way";
        }
        EXPECT_FALSE(job.status().busy) << "paced: nothing for the window to watch";
        now += 500us;
        if (step.action == Action::Wait && now >= step.until) step = job.handle(Job::Woke{}, now);
        if (step.action == Action::Empty) {
            ++emptyings;
            emptied(sequence += 2, true);
        }
        said += static_cast<int>(collect(sequence).problems.size());
    }
    EXPECT_EQ(said, 1) << "said once per fight";
    EXPECT_LE(emptyings, 1000 / 5 + 1);
    EXPECT_GE(emptyings, 1000 / 5 / 2);
}

TEST_F(JobTest, AfterTheOrderIsWithdrawnNothingIsEmptiedAndChangesAreReportedAsTheyAre) {
    blocking();
    emptied(1, false);
    tell(Job::CopierEmptying{kCopier});
    ASSERT_EQ(step.action, Action::Empty);
    const std::uint64_t underWay = step.withdrawals;
    tell(Job::OrderGiven{EmptyingOrder{}});
    EXPECT_NE(job.withdrawals(), underWay) << "the emptying under way sees the withdrawal once it has the clipboard";
    heldEmptying();
    EXPECT_EQ(step.action, Action::Wait) << "the race is over";
    EXPECT_EQ(step.until, Job::Clock::time_point::max());
    tell(Job::CopierEmptying{kCopier});
    EXPECT_EQ(step.action, Action::Wait);
    tell(Job::ChangeNoticed{5, kCopier});
    EXPECT_EQ(step.action, Action::Wait);
    const Job::News news = collect(5);
    ASSERT_TRUE(news.change);
    EXPECT_TRUE(news.change->change.taken);
    EXPECT_FALSE(news.change->change.emptied);
    EXPECT_FALSE(news.change->ownerProcess) << "the window names the owner itself";
}

TEST_F(JobTest, AHeldEmptyingUnderTheOrderRetriesByEmptyingAndReportsTheChangeItRemoved) {
    blocking();
    emptied(1, false);
    tell(Job::ChangeNoticed{2, kCopier});
    ASSERT_EQ(step.action, Action::Empty);
    heldEmptying();
    ASSERT_EQ(step.action, Action::Empty) << "the look is the emptying itself";
    for (int i = 0; i < Job::kMostQuickRetries && step.action == Action::Empty; ++i) heldEmptying();
    ASSERT_EQ(step.action, Action::Wait);
    pass(Job::kFirstHeldLook);
    ASSERT_EQ(step.action, Action::Empty);
    emptied(3, true, 9);
    const Job::News news = collect(3);
    ASSERT_TRUE(news.change);
    EXPECT_EQ(news.change->ownerProcess, 9u);
    EXPECT_FALSE(news.clearAgain) << "under the order the job empties again by itself";
}

TEST_F(JobTest, NewsIsAnnouncedOnceUntilCollected) {
    const Job::Step first = tell(Job::ChangeNoticed{1, 0});
    const Job::Step second = tell(Job::ChangeNoticed{2, 0});
    EXPECT_TRUE(first.announce);
    EXPECT_FALSE(second.announce) << "one announcement on its way at a time";
    EXPECT_FALSE(second.wake) << "a change without the order is no work for the agent";
    collect(2);
    EXPECT_TRUE(tell(Job::ChangeNoticed{3, 0}).announce);
}

}  // namespace
}  // namespace zanthrel::win32
