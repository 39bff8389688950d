#include "core/emptying_order.h"

#include <algorithm>

namespace zanthrel {

EmptyingPace::Decision EmptyingPace::taken(std::uint64_t owner, Clock::time_point now) noexcept {
    // A fight ends once its owner has left the clipboard alone for a whole window, or another owner
    // takes it: a user who copies now and then is never paced.
    const bool quiet = takings_ > 0 && now - lastTaken_ >= order_.fightWindow;
    if (owner != owner_ || quiet) {
        owner_ = owner;
        takings_ = 0;
        fighting_ = false;
    }
    if (!fighting_ && (takings_ == 0 || now - windowStart_ >= order_.fightWindow)) {
        takings_ = 0;
        windowStart_ = now;
    }
    ++takings_;
    lastTaken_ = now;
    Decision decision{now, false};
    if (!fighting_ && takings_ >= order_.fightTakings) {
        fighting_ = true;
        decision.fightBegan = true;
    }
    if (fighting_) decision.emptyAt = std::max(now, lastEmptied_ + order_.fightPace);
    return decision;
}

}  // namespace zanthrel
