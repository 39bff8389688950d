#include "platform/win32/clipboard_job.h"

#include <algorithm>
#include <utility>

namespace zanthrel::win32 {
namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

// Whether the clipboard's number `later` came after `earlier`, across its wrap.
bool after(ClipboardSequence later, ClipboardSequence earlier) noexcept {
    return static_cast<std::int32_t>(later - earlier) > 0;
}

}  // namespace

ClipboardJob::Step ClipboardJob::handle(const Event& event, Clock::time_point now, News* news) {
    // Only what the agent reports of its own work, and its waking, may start new work: the agent is then
    // free to do it. Whatever other threads bring is noted, and the agent picks it up when it wakes.
    const bool agents = std::holds_alternative<Woke>(event) || std::holds_alternative<ReadDone>(event) ||
                        std::holds_alternative<EmptyingDone>(event) || std::holds_alternative<LookDone>(event);
    if (agents && inSystem()) state_ = State::Idle;  // its call into the system is over
    const Agenda before = agenda();
    std::visit(Overloaded{
                   [&](const Collect& collect) {
                       News ignored;
                       on(collect, now, news ? *news : ignored);
                   },
                   [&](const Woke&) {},
                   [&](const auto& other) { on(other, now); },
               },
               event);
    Step step;
    if (agents) {
        weighMeanwhile(now);
        step = advance(now);
    } else {
        Agenda after = agenda();
        // A fight's next emptying that falls when the agent wakes anyway needs no wake-up of its own.
        if (after.emptyAt && !inSystem() && *after.emptyAt >= agentWaitsUntil_) after.emptyAt = before.emptyAt;
        step.wake = after != before;
    }
    step.racing = raceUntil_.has_value();
    if (toTell_ && !announced_) step.announce = announced_ = true;
    toTell_ = false;
    return step;
}

ClipboardJob::State ClipboardJob::state() const noexcept {
    if (inSystem()) return state_;
    if (raceUntil_) return State::RacingCopier;
    if (emptyAt_) return State::Pacing;
    if (held()) return State::WaitingForRelease;
    return State::Idle;
}

ClipboardJob::Status ClipboardJob::status() const noexcept {
    Status status;
    // A look at a held clipboard is not, nor a fight's paced emptying: the job does them by itself, and
    // says so when there is news.
    status.busy = state_ == State::Reading || state_ == State::Emptying || readQueued_ || emptyingQueued_ ||
                  raceUntil_.has_value();
    status.readOwed = readOwed_;
    status.readWaitsForRelease = readHeld_;
    status.emptyingOwed = emptyingOwed_;
    status.emptyingWaitsForRelease = emptyingHeld_;
    status.looksWhileHeld = looksWhileHeld_;
    status.silent = silentSequence_;
    return status;
}

bool ClipboardJob::noticeChangesNothing(ClipboardSequence sequence) const noexcept {
    if (!order_.active || held() || inSystem()) return false;
    // A change that an emptying on its way will remove: the copier's own notice, in a fight every time.
    if (raceUntil_ || emptyAt_ || (emptyingQueued_ && changeTaken_)) return true;
    return emptiedSequence_ && !after(sequence, *emptiedSequence_);
}

void ClipboardJob::on(const ReadWanted& event, Clock::time_point now) {
    // One request per change: a read overtaken by another change is asked for again when collected.
    if (silentSequence_ == event.sequence || readOwed_) return;
    readOwed_ = true;
    readQueued_ = true;
    readWanted_ = event.sequence;
    if (held()) nextLook_ = now;  // the clipboard may have been let go meanwhile
}

void ClipboardJob::on(const EmptyingWanted& event, Clock::time_point) {
    // Nothing has been put on the clipboard since we last left it empty: emptying it again would take it
    // from nobody and wake every clipboard watcher for nothing.
    if (emptiedSequence_ == event.sequence) return;
    emptyingOwed_ = true;
    // An emptying under way, or one the standing order has on its way, is not asked for again: whether the
    // clipboard changed once more is seen when it is done.
    if (state_ != State::Emptying && !raceUntil_ && !emptyAt_) emptyingQueued_ = true;
}

void ClipboardJob::on(const OrderGiven& event, Clock::time_point now) {
    const bool wasActive = order_.active;
    order_ = event.order;
    pace_ = EmptyingPace(order_);
    if (order_.active) {
        // While the order stands the guard owns the emptied clipboard: a program that copies must empty it
        // first, and the owner hears of that before anyone hears of the copy.
        if (!wasActive) emptyingQueued_ = true;
        return;
    }
    if (!wasActive) return;
    // Nothing further is emptied: whatever waited to be is dropped; an emptying under way may finish.
    ++withdrawals_;
    emptyingQueued_ = emptyingOwed_ = changeTaken_ = false;
    raceOver(now);
    emptyAt_.reset();
    copierMeanwhile_.reset();
    emptyingHeld_ = false;
    if (!readHeld_) nothingHeld();
    // What the fight had emptied and not yet said goes to the window now, not at the fight's next news.
    if (std::exchange(changeHeldBack_, false)) tell();
}

void ClipboardJob::on(const Collect& event, Clock::time_point now, News& news) {
    announced_ = false;
    if (std::exchange(emptyingDone_, false) && !order_.active) news.clearAgain = emptiedSequence_ != event.sequence;
    if (reading_) {
        ClipboardReading reading = std::move(*reading_);
        reading_.reset();
        // An answer that came after its deadline stays unused until the clipboard changes again.
        if (reading.sequence != silentSequence_) {
            if (reading.sequence == event.sequence) {
                readOwed_ = false;
                news.answered = true;
            }
            news.answer = std::move(reading);
        }
    }
    const bool readingNow = state_ == State::Reading;
    if ((readingNow || state_ == State::Emptying) && !overdueReported_ &&
        now - jobStarted_ > (readingNow ? kDeliveryDeadline : kOwnerDeadline)) {
        overdueReported_ = true;
        if (readingNow) {
            // The read holds the clipboard open, so its number is the clipboard's now.
            silentSequence_ = event.sequence;
            readOwed_ = false;
            problems_.push_back(ClipboardProblem::OwnerSilent);
        } else {
            problems_.push_back(ClipboardProblem::NotEmptied);
        }
    }
    // A read overtaken by a change is asked for again. One that waits for the clipboard to be let go looks
    // again by itself, and at once on a change since it last tried.
    const bool waiting = readHeld_ && heldSequence_ == event.sequence;
    if (readOwed_ && !readQueued_ && !readingNow && !waiting && silentSequence_ != event.sequence) readQueued_ = true;
    news.problems = std::exchange(problems_, {});
    news.change = std::exchange(change_, std::nullopt);
}

void ClipboardJob::on(const ChangeNoticed& event, Clock::time_point now) {
    // A read or an emptying that waits for the clipboard to be let go looks at once: the change may have
    // come with the release.
    if (held()) nextLook_ = now;
    if (!order_.active) {
        // The notice does not say whether a program took the clipboard or it was emptied (by us, too).
        change_ = ChangeReport{{true, false}, std::nullopt};
        tell();
        return;
    }
    if (inSystem()) {
        noticeMeanwhile_ = event;
        return;
    }
    // Our own emptying's notice, or one taken before it (while it was in the system): nothing new.
    if (emptiedSequence_ && !after(event.sequence, *emptiedSequence_)) return;
    taken(event.owner, false, now);
}

void ClipboardJob::on(const CopierEmptying& event, Clock::time_point now) {
    if (!order_.active) return;
    if (inSystem()) {
        copierMeanwhile_ = event;
        return;
    }
    taken(event.owner, true, now);
}

void ClipboardJob::on(const ReadDone& event, Clock::time_point now) {
    const ClipboardReading& reading = event.reading;
    if (reading.held) {
        // The window learns nothing new, so it is not told; the release is looked for instead.
        readHeld_ = true;
        heldSequence_ = reading.sequence;
        heldFound(now);
        return;
    }
    if (reading.silent) {
        if (reading.sequence != silentSequence_) {
            silentSequence_ = reading.sequence;
            readOwed_ = false;
            problems_.push_back(ClipboardProblem::OwnerSilent);
            tell();
        }
        return;
    }
    reading_ = reading;
    tell();
    // The read opened the clipboard, so it is free: an emptying that waited for that goes on now.
    if (emptyingHeld_) released();
}

void ClipboardJob::on(const EmptyingDone& event, Clock::time_point now) {
    const EmptyingOutcome& outcome = event.outcome;
    if (outcome.held) {
        if (raceUntil_) return;  // the copier has not let go yet: the next attempt at once, up to the bound
        if (!order_.active && !emptyingOwed_) return;  // withdrawn meanwhile: nobody wants it emptied now
        emptyingHeld_ = true;
        heldFound(now);
        return;
    }
    raceOver(now);
    emptyAt_.reset();
    emptyingHeld_ = false;
    if (!readHeld_) nothingHeld();
    if (outcome.emptied) {
        emptiedSequence_ = outcome.sequence;
        // A fight's pace runs from one emptying's start to the next's, as the blocking clock's ticks would.
        pace_.emptied(jobStarted_);
        lastEmptying_ = jobStarted_;
    }
    // The guard hears of a change the order emptied once it is gone, with whose copy it was.
    if (std::exchange(changeTaken_, false) && outcome.removed) {
        change_ = ChangeReport{{true, true}, outcome.ownerProcess};
        changeHeldBack_ = pace_.fighting() && now < nextFightNews_;
        if (!changeHeldBack_) {
            tell();
            nextFightNews_ = now + kFightNews;
        }
    }
    if (std::exchange(emptyingOwed_, false)) {
        emptyingDone_ = true;
        tell();
    }
}

void ClipboardJob::on(const LookDone& event, Clock::time_point now) {
    if (event.free)
        released();
    else
        heldFound(now);
}

void ClipboardJob::weighMeanwhile(Clock::time_point now) {
    if (auto copier = std::exchange(copierMeanwhile_, std::nullopt)) on(*copier, now);
    if (auto notice = std::exchange(noticeMeanwhile_, std::nullopt)) on(*notice, now);
}

void ClipboardJob::taken(std::uint64_t owner, bool copierAtWork, Clock::time_point now) {
    // The copier's own notice follows its emptying, and a change that an emptying on its way will remove is
    // the same taking: each is counted once.
    const bool onItsWay = raceUntil_ || emptyAt_ || ((emptyingQueued_ || emptyingHeld_) && changeTaken_);
    changeTaken_ = true;
    if (emptyingHeld_) nextLook_ = now;
    if (onItsWay && !copierAtWork) return;
    const EmptyingPace::Decision decision = pace_.taken(owner, now);
    if (decision.fightBegan) problems_.push_back(ClipboardProblem::Contested);
    // The window watches an emptying it did not ask for too, for an owner that never lets go; in a fight,
    // where that would wake it at every taking, the emptyings' own reports keep it informed.
    if (decision.fightBegan || !pace_.fighting()) tell();
    if (decision.emptyAt > now) {
        // A fight: no race, one emptying at the fight's pace.
        raceOver(now);
        emptyingQueued_ = false;
        if (!emptyAt_) emptyAt_ = decision.emptyAt;
        return;
    }
    if (emptyAt_)
        emptyAt_ = now;
    else if (copierAtWork)
        race(now);
    else
        emptyingQueued_ = true;
}

void ClipboardJob::race(Clock::time_point now) {
    raceBudget_ = std::min<Clock::duration>(kRaceBudget, raceBudget_ + (now - raceBudgetAt_) / 10);
    raceBudgetAt_ = now;
    // Spent: the copier's change notice is the next chance.
    if (raceBudget_ < std::chrono::milliseconds(1)) return;
    raceStart_ = now;
    raceUntil_ = now + std::min<Clock::duration>(kRaceBound, raceBudget_);
}

void ClipboardJob::raceOver(Clock::time_point now) {
    if (!raceUntil_) return;
    raceUntil_.reset();
    raceBudget_ -= std::min<Clock::duration>(raceBudget_, now - raceStart_);
}

void ClipboardJob::heldFound(Clock::time_point now) {
    if (heldSince_)
        ++looksWhileHeld_;
    else
        heldSince_ = now;
    if (emptyingHeld_ && quickRetries_ < kMostQuickRetries && now - *heldSince_ < kQuickRetries) {
        ++quickRetries_;
        nextLook_ = now;
        return;
    }
    heldLook_ = heldLook_.count() == 0 ? kFirstHeldLook : std::min(heldLook_ * 2, kLongestHeldLook);
    nextLook_ = now + heldLook_;
}

void ClipboardJob::released() {
    if (std::exchange(readHeld_, false)) readQueued_ = true;
    if (std::exchange(emptyingHeld_, false)) {
        if (order_.active) {
            emptyingQueued_ = true;
        } else if (!emptyingQueued_ && std::exchange(emptyingOwed_, false)) {
            // Whether to empty it now is for the window to say: blocking may have ended meanwhile.
            emptyingDone_ = true;
            tell();
        }
    }
    nothingHeld();
}

void ClipboardJob::nothingHeld() {
    heldSince_.reset();
    looksWhileHeld_ = quickRetries_ = 0;
    heldLook_ = std::chrono::milliseconds{0};
}

ClipboardJob::Step ClipboardJob::advance(Clock::time_point now) {
    if (raceUntil_) {
        if (now < *raceUntil_) return start(State::Emptying, Step::Action::Empty, now);
        // The copier holds on: wait for its release cheaply; its change notice has us look at once.
        raceOver(now);
        emptyingHeld_ = true;
        heldFound(now);
    }
    if (emptyAt_ && now >= *emptyAt_) {
        emptyAt_.reset();
        emptyingQueued_ = true;
    }
    if (emptyingQueued_) return start(State::Emptying, Step::Action::Empty, now);
    if (held() && now >= nextLook_) {
        // Under the order a look is the emptying itself: it costs no more, and nobody need decide again.
        if (emptyingHeld_ && order_.active) return start(State::Emptying, Step::Action::Empty, now);
        return start(State::Looking, Step::Action::Look, now);
    }
    if (readQueued_ && !held()) return start(State::Reading, Step::Action::Read, now);
    if (changeHeldBack_ && now >= nextFightNews_) {
        changeHeldBack_ = false;
        tell();
        nextFightNews_ = now + kFightNews;
    }
    if (readQueued_) {
        // Held open by another program: the read waits for the release as one that found it so.
        readQueued_ = false;
        readHeld_ = true;
        heldSequence_ = readWanted_;
    }
    Step wait;
    if (held()) wait.until = nextLook_;
    if (emptyAt_) wait.until = std::min(wait.until, *emptyAt_);
    if (changeHeldBack_) wait.until = std::min(wait.until, nextFightNews_);
    // In a fight the program takes the clipboard back at once: the agent wakes for its next turn anyway.
    if (pace_.fighting() && !emptyAt_) wait.until = std::min(wait.until, lastEmptying_ + order_.fightPace);
    agentWaitsUntil_ = wait.until;
    return wait;
}

ClipboardJob::Step ClipboardJob::start(State state, Step::Action action, Clock::time_point now) {
    state_ = state;
    agentWaitsUntil_ = Clock::time_point::max();
    if (state != State::Looking) {
        jobStarted_ = now;
        overdueReported_ = false;
    }
    if (state == State::Reading) readQueued_ = false;
    if (state == State::Emptying) emptyingQueued_ = false;
    Step step;
    step.action = action;
    step.withdrawals = withdrawals_;
    return step;
}

}  // namespace zanthrel::win32
