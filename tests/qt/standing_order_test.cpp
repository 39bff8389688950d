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

}  // namespace
}  // namespace zanthrel::posix
