// The standing emptying order as the Linux readers carry it out: nothing is emptied once it is withdrawn,
// and the clipboard and the primary selection keep paces of their own.
#include <gtest/gtest.h>

#include "platform/posix/standing_order.h"

namespace zanthrel::posix {
namespace {

using namespace std::chrono_literals;
using Clock = StandingOrder::Clock;

EmptyingOrder blocking() {
    EmptyingOrder order;
    order.active = true;
    return order;
}

TEST(StandingOrder, NothingIsEmptiedWithoutAnOrderOrOnceItIsWithdrawn) {
    StandingOrder standing;
    const Clock::time_point now{};
    EXPECT_FALSE(standing.taken(Selection::Clipboard, 1, now).follow);
    int emptyings = 0;
    const auto empty = [&] { return ++emptyings > 0; };
    EXPECT_FALSE(standing.carryOut(Selection::Clipboard, now, empty));

    standing.set(blocking());
    const StandingOrder::Decision decision = standing.taken(Selection::Clipboard, 1, now);
    EXPECT_TRUE(decision.follow);
    EXPECT_EQ(decision.emptyAt, now);
    // Withdrawn between the decision and the act: the act does not happen.
    standing.set(EmptyingOrder{});
    EXPECT_FALSE(standing.carryOut(Selection::Clipboard, now, empty));
    EXPECT_EQ(emptyings, 0);
    EXPECT_FALSE(standing.active());
}

TEST(StandingOrder, EachSelectionHasAPaceOfItsOwnAndOnlyAnEmptyingCounts) {
    StandingOrder standing;
    standing.set(blocking());
    const EmptyingOrder order = blocking();
    Clock::time_point now{};
    // A fight over the clipboard: said once, then paced.
    bool began = false;
    for (int i = 0; i < order.fightTakings; ++i, now += 1ms) {
        began = began || standing.taken(Selection::Clipboard, 7, now).fightBegan;
        standing.carryOut(Selection::Clipboard, now, [] { return true; });
    }
    EXPECT_TRUE(began);
    EXPECT_TRUE(standing.fighting(Selection::Clipboard));
    EXPECT_GT(standing.taken(Selection::Clipboard, 7, now).emptyAt, now) << "the fight is not paced";
    // Meanwhile what is selected is emptied at once.
    EXPECT_FALSE(standing.fighting(Selection::Primary));
    EXPECT_EQ(standing.taken(Selection::Primary, 9, now).emptyAt, now);

    // An emptying that did not happen (the owner was gone already) leaves the pace where it was.
    standing.set(blocking());
    now += 1s;
    for (int i = 0; i < order.fightTakings; ++i, now += 1ms) {
        standing.taken(Selection::Primary, 9, now);
        standing.carryOut(Selection::Primary, now, [] { return false; });
    }
    EXPECT_TRUE(standing.fighting(Selection::Primary));
    EXPECT_EQ(standing.taken(Selection::Primary, 9, now).emptyAt, now) << "paced after emptyings that never were";

    // A new order starts every pace afresh.
    standing.set(blocking());
    EXPECT_FALSE(standing.fighting(Selection::Clipboard));
    EXPECT_EQ(standing.taken(Selection::Clipboard, 7, now).emptyAt, now);
}

TEST(StandingOrder, ATakingIsEmptiedAtOnceOrAtThePacesTurn) {
    StandingOrder standing;
    EXPECT_FALSE(standing.newlyGiven());
    standing.set(EmptyingOrder{});
    EXPECT_FALSE(standing.newlyGiven()) << "a withdrawal is no new order";
    standing.set(blocking());
    EXPECT_TRUE(standing.newlyGiven());
    EXPECT_FALSE(standing.newlyGiven()) << "said once";

    int emptyings = 0;
    const auto empty = [&] { return ++emptyings > 0; };
    const int beforeTheFight = blocking().fightTakings - 1;
    Clock::time_point now{};
    for (int i = 0; i < beforeTheFight; ++i, now += 1ms) standing.follow(Selection::Clipboard, 7, now, empty);
    EXPECT_EQ(emptyings, beforeTheFight) << "each taking before the fight is emptied at once";

    const StandingOrder::Decision paced = standing.follow(Selection::Clipboard, 7, now, empty);
    EXPECT_TRUE(paced.fightBegan);
    ASSERT_GT(paced.emptyAt, now);
    EXPECT_EQ(emptyings, beforeTheFight) << "emptied before the pace's turn";
    const auto dueEmpty = [&](Selection) { return empty(); };
    EXPECT_EQ(standing.takeDue(now, dueEmpty), paced.emptyAt);
    EXPECT_EQ(standing.takeDue(paced.emptyAt, dueEmpty), Clock::time_point::max());
    EXPECT_EQ(emptyings, beforeTheFight + 1) << "the put-off emptying is lost or doubled";
}

}  // namespace
}  // namespace zanthrel::posix
