// Blocking's standing order: the service empties every change where it hears of it, the guard decides
// when the order stands and learns afterwards; a program that takes the clipboard back at once is
// emptied at the blocking clock's pace, and said once.
#include <gtest/gtest.h>

#include "story_support.h"

namespace zanthrel::test {
namespace {

using namespace std::chrono_literals;
using Clock = EmptyingPace::Clock;

Clock::time_point at(std::chrono::milliseconds ms) {
    return Clock::time_point(ms);
}

TEST(EmptyingPace, OnlyAnOwnerThatTakesTheClipboardBackAgainAndAgainIsPaced) {
    EmptyingOrder order;
    order.active = true;
    EmptyingPace pace(order);
    // A user copying now and then, and even a burst just short of a fight, is emptied at once every time.
    for (int i = 0; i < order.fightTakings - 1; ++i) {
        const auto now = at(std::chrono::milliseconds(i * 10));
        const EmptyingPace::Decision decision = pace.taken(7, now);
        EXPECT_EQ(decision.emptyAt, now) << "taking " << i;
        EXPECT_FALSE(decision.fightBegan);
        pace.emptied(now);
    }
    // The taking that makes the fight: said once, and from then on one emptying per fightPace.
    auto now = at(std::chrono::milliseconds((order.fightTakings - 1) * 10));
    EmptyingPace::Decision decision = pace.taken(7, now);
    EXPECT_TRUE(decision.fightBegan);
    EXPECT_TRUE(pace.fighting());
    EXPECT_EQ(decision.emptyAt, now) << "the last emptying was 10 ms ago: the pace allows one now";
    pace.emptied(now);
    now += 1ms;
    decision = pace.taken(7, now);
    EXPECT_FALSE(decision.fightBegan) << "a fight is said once";
    EXPECT_EQ(decision.emptyAt, now - 1ms + order.fightPace) << "1 ms after the last emptying: wait for the pace";

    // Left alone for a whole window, the owner is no longer fighting.
    now += order.fightWindow;
    decision = pace.taken(7, now);
    EXPECT_FALSE(pace.fighting());
    EXPECT_EQ(decision.emptyAt, now);
}

TEST(EmptyingPace, TakingsSpreadOverManyWindowsOrByDifferentOwnersMakeNoFight) {
    EmptyingOrder order;
    order.active = true;
    EmptyingPace pace(order);
    // 30 takings a second for ten seconds: never 50 within one window.
    for (int i = 0; i < 300; ++i) {
        const auto now = at(std::chrono::milliseconds(i * 34));
        EXPECT_EQ(pace.taken(3, now).emptyAt, now) << "taking " << i;
        pace.emptied(now);
    }
    // Two programs copying in turn, fast: each change of owner starts the count afresh.
    for (int i = 0; i < 200; ++i) {
        const auto now = at(std::chrono::milliseconds(20000 + i));
        EXPECT_FALSE(pace.taken(i % 2 == 0 ? 1 : 2, now).fightBegan);
    }
    EXPECT_FALSE(pace.fighting());
}

class BlockingOrder : public ::testing::Test {
protected:
    BlockingOrder() {
        desk.reportClipboardChanges();
        desk.start();
    }

    sim::SimDesktop desk;
};

TEST_F(BlockingOrder, StandsExactlyWhileBlockingIsOnAndNothingIsEmptiedAfterItIsWithdrawn) {
    const sim::SimClipboardService& service = desk.clipboardService();
    EXPECT_FALSE(service.emptyingOrder().active);
    desk.clickEnableDisable();
    ASSERT_TRUE(service.emptyingOrder().active);
    EXPECT_EQ(service.emptyingOrder().fightPace, std::chrono::milliseconds(kBlockingIntervalMs))
        << "a fight is emptied at the blocking clock's own pace";

    // The copy is gone before the guard hears of it: no tick, no trip through the guard in between.
    desk.copyText("secret1");
    EXPECT_TRUE(desk.clipboard().empty());
    EXPECT_EQ(service.emptyingsUnderOrder(), 1u);

    desk.clickEnableDisable();
    EXPECT_FALSE(service.emptyingOrder().active);
    desk.copyText("kept");
    desk.advance(100);
    EXPECT_EQ(desk.clipboard().text(), "kept") << "emptied after unblocking";
    EXPECT_EQ(service.emptyingsUnderOrder(), 1u);
}

TEST_F(BlockingOrder, TheAlarmGivesTheOrderAndMonitoringAloneNeverDoes) {
    desk.clickStartPause();
    EXPECT_FALSE(desk.clipboardService().emptyingOrder().active) << "monitoring does not empty anything";
    for (std::uint32_t colour = 1; colour <= 4; ++colour) {
        desk.copyPicture(sim::SimPicture::solid(16, 16, colour));
        desk.tick(3);
    }
    ASSERT_TRUE(desk.state().blocking.on) << describe(desk);
    EXPECT_TRUE(desk.clipboardService().emptyingOrder().active);
    desk.copyText("after the alarm");
    EXPECT_TRUE(desk.clipboard().empty());
}

TEST_F(BlockingOrder, AProgramThatTakesTheClipboardBackAtOnceIsSaidOnceAndEmptiedAtTheBlockingPace) {
    desk.clickEnableDisable();
    const std::size_t before = desk.log().size();
    sim::SimProgram& fighter = desk.program("Fighter");
    // Takes the clipboard back 1000 times a second for two seconds.
    for (int i = 0; i < 2000; ++i) {
        fighter.copyText("again " + std::to_string(i));
        desk.advance(1);
    }
    const auto lines = std::vector<std::string>(desk.log().begin() + static_cast<long>(before), desk.log().end());
    ASSERT_EQ(lines.size(), 1u) << "one line for the whole fight";
    EXPECT_EQ(lines[0], std::string(texts::kContested) + kStamp);
    // At once until the fight is seen, then at most one emptying per 5 ms of the fight.
    const std::uint64_t emptyings = desk.clipboardService().emptyingsUnderOrder();
    const auto fightTakings = static_cast<std::uint64_t>(EmptyingOrder{}.fightTakings);
    EXPECT_LE(emptyings, fightTakings + 2000 / kBlockingIntervalMs);
    EXPECT_GE(emptyings, 2000 / kBlockingIntervalMs / 2) << "the fight is still answered";
    desk.advance(kBlockingIntervalMs);
    EXPECT_TRUE(desk.clipboard().empty()) << "the clock's tick empties what the fight left";
}

}  // namespace
}  // namespace zanthrel::test
