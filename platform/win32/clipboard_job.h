#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "core/emptying_order.h"
#include "core/picture.h"
#include "core/services.h"

namespace zanthrel::win32 {

// The clipboard's sequence number (GetClipboardSequenceNumber), which moves with every change.
using ClipboardSequence = std::uint32_t;

// What one visit to the clipboard found. `held`: another program had it open, nothing was done.
// `silent`: the clipboard's owner did not answer at all, so it was not asked for its picture.
struct ClipboardReading {
    ClipboardSequence sequence = 0;
    PictureRef picture;
    bool held = false;
    bool silent = false;
};

// What one emptying did. `held`: another program had the clipboard open, nothing was done. `removed`:
// it took the clipboard from another owner or removed formats (an emptying that finds the clipboard
// empty and its own does nothing); `ownerProcess` is then the process whose copy went (0: none known).
struct EmptyingOutcome {
    ClipboardSequence sequence = 0;  // the clipboard's number as we left it
    bool held = false;
    bool emptied = false;
    bool removed = false;
    std::uint32_t ownerProcess = 0;
};

// A change the guard is to be told of. `ownerProcess`: whose copy an emptying under the standing order
// removed, taken before it went; none where the window is to ask the clipboard's owner itself.
struct ChangeReport {
    ClipboardChange change;
    std::optional<std::uint32_t> ownerProcess;
};

// The Windows clipboard's work for the guard as one state machine: reads, emptyings and the standing
// emptying order, the waits for other programs, and what the window is owed. Plain data and arithmetic,
// no system calls and no clock of its own: the agent's thread does what `handle` says (read, empty, look)
// and hands the result back to it, the window's thread and the listener's hand it requests and notices.
// Callers hold the agent's lock; only the agent's own events (its results, and waking) start work.
class ClipboardJob {
public:
    using Clock = std::chrono::steady_clock;

    // How long the clipboard's owner may take to answer before an emptying is reported, and a read from
    // start to finish (the owner rendering, the system passing the data over, our digest and decoding).
    static constexpr std::chrono::milliseconds kOwnerDeadline{1000};
    static constexpr std::chrono::milliseconds kDeliveryDeadline{10000};
    // A copier that empties our clipboard closes it a fraction of a millisecond later (a few milliseconds
    // on a loaded machine): the agent tries to take it back at once for up to this long, then waits for
    // the change notice (or looks now and then). Racing costs a core while it lasts, so it draws on a
    // budget that refills at a tenth of the time that passes: a program that empties the clipboard and
    // holds on, again and again, costs no more than that.
    static constexpr std::chrono::milliseconds kRaceBound{20};
    static constexpr std::chrono::milliseconds kRaceBudget{100};
    // An emptying that finds the clipboard held tries again at once, a few times within this long (a spy
    // reading holds it for a moment); then it looks at a growing interval, as a read does from the start:
    // trying over and over would keep the agent's thread and Wine's server busy for as long as a slow
    // program holds on, and the longest interval bounds how late its picture is counted.
    static constexpr std::chrono::microseconds kQuickRetries{1000};
    static constexpr int kMostQuickRetries = 8;
    // In a fight the window hears of the emptyings at most this often, merged: each would wake it, and
    // the program lookup behind it, for the same owner every few milliseconds.
    static constexpr std::chrono::milliseconds kFightNews{100};
    static constexpr std::chrono::milliseconds kFirstHeldLook{10};
    static constexpr std::chrono::milliseconds kLongestHeldLook{100};

    enum class State {
        Idle,               // nothing to do until a request or a notice
        Reading,            // a read is in the system
        Emptying,           // an emptying is in the system
        Looking,            // a look whether a held clipboard is free is in the system
        WaitingForRelease,  // another program holds the clipboard open: the next look is due later
        RacingCopier,       // a copier is emptying our clipboard: take it back the instant it lets go
        Pacing,             // a program takes the clipboard back again and again: empty at the fight's pace
    };

    // Events: from the window's thread (requests, the order, collecting), from the listener's (notices), and
    // from the agent's (what it did, and waking up).
    struct ReadWanted {
        ClipboardSequence sequence;  // the clipboard's number as the window reads it
    };
    struct EmptyingWanted {
        ClipboardSequence sequence;
    };
    struct OrderGiven {
        EmptyingOrder order;
    };
    struct Collect {
        ClipboardSequence sequence;
    };
    struct ChangeNoticed {
        ClipboardSequence sequence;
        std::uint64_t owner;  // the clipboard's owner window as the notice was taken, 0: none
    };
    struct CopierEmptying {
        std::uint64_t owner;  // the window that opened the clipboard to copy, 0: none
    };
    struct Woke {};
    struct ReadDone {
        ClipboardReading reading;
    };
    struct EmptyingDone {
        EmptyingOutcome outcome;
    };
    struct LookDone {
        bool free;
    };
    using Event = std::variant<ReadWanted, EmptyingWanted, OrderGiven, Collect, ChangeNoticed, CopierEmptying, Woke,
                               ReadDone, EmptyingDone, LookDone>;

    // What the agent's thread is to do next; for callers on other threads, only `announce` counts.
    struct Step {
        enum class Action { Wait, Read, Empty, Look };
        Action action = Action::Wait;
        Clock::time_point until = Clock::time_point::max();  // Wait: until then, or until woken
        std::uint64_t withdrawals = 0;                       // Empty: not done once the order has been withdrawn since
        bool announce = false;                               // tell the window that it has something to collect
        bool wake = false;    // for another thread's event: the agent has new work to weigh
        bool racing = false;  // a race to take the clipboard back from a copier is on
    };

    // What the window takes in on Collect.
    struct News {
        std::optional<ClipboardReading> answer;  // a picture to keep as the clipboard's last known one
        bool answered = false;                   // ...and it belongs to the clipboard as it is now
        // An emptying the window asked for has finished, or was held and has seen the clipboard let go, and
        // the clipboard is not empty as we left it: whether to empty it again is the guard's to say (only
        // without a standing order; under one, the job empties again by itself).
        bool clearAgain = false;
        std::vector<ClipboardProblem> problems;
        std::optional<ChangeReport> change;
    };

    // What the window's queries need: nothing here changes.
    struct Status {
        bool busy = false;  // something is in the system or about to be
        bool readOwed = false;
        bool readWaitsForRelease = false;
        bool emptyingOwed = false;
        bool emptyingWaitsForRelease = false;
        int looksWhileHeld = 0;                   // looks that found the clipboard still held since it was found held
        std::optional<ClipboardSequence> silent;  // the change whose owner missed its deadline
    };

    // The one transition function. `news` receives what Collect hands over.
    Step handle(const Event& event, Clock::time_point now, News* news = nullptr);

    State state() const noexcept;
    // Whether a change notice that finds the clipboard at `sequence` would change nothing: under the order,
    // with nothing waiting for the clipboard to be let go, the notice of an emptying of ours, or of a change
    // that an emptying on its way will remove.
    bool noticeChangesNothing(ClipboardSequence sequence) const noexcept;
    Status status() const noexcept;
    // Counts the order's withdrawals: an emptying that began under one count is not done under another.
    std::uint64_t withdrawals() const noexcept { return withdrawals_; }

private:
    void on(const ReadWanted& event, Clock::time_point now);
    void on(const EmptyingWanted& event, Clock::time_point now);
    void on(const OrderGiven& event, Clock::time_point now);
    void on(const Collect& event, Clock::time_point now, News& news);
    void on(const ChangeNoticed& event, Clock::time_point now);
    void on(const CopierEmptying& event, Clock::time_point now);
    void on(const ReadDone& event, Clock::time_point now);
    void on(const EmptyingDone& event, Clock::time_point now);
    void on(const LookDone& event, Clock::time_point now);
    Step advance(Clock::time_point now);
    Step start(State state, Step::Action action, Clock::time_point now);

    // What the agent works from: an event from another thread that changes none of it need not wake it.
    struct Agenda {
        bool readQueued, emptyingQueued;
        std::optional<Clock::time_point> raceUntil, emptyAt;
        Clock::time_point nextLook;
        std::uint64_t withdrawals;
        friend bool operator==(const Agenda&, const Agenda&) = default;
    };
    Agenda agenda() const noexcept {
        return {readQueued_, emptyingQueued_, raceUntil_, emptyAt_, nextLook_, withdrawals_};
    }
    bool inSystem() const noexcept {
        return state_ == State::Reading || state_ == State::Emptying || state_ == State::Looking;
    }
    bool held() const noexcept { return readHeld_ || emptyingHeld_; }
    void weighMeanwhile(Clock::time_point now);
    void race(Clock::time_point now);
    void raceOver(Clock::time_point now);
    void taken(std::uint64_t owner, bool copierAtWork, Clock::time_point now);
    void heldFound(Clock::time_point now);
    void released();
    void nothingHeld();
    void tell() noexcept { toTell_ = true; }

    State state_ = State::Idle;  // Idle, or the call into the system under way; state() tells the rest
    EmptyingOrder order_;
    EmptyingPace pace_;
    std::uint64_t withdrawals_ = 0;

    // What is owed, and to whom.
    bool readOwed_ = false;             // the window wants the picture of the clipboard as it is now
    bool readQueued_ = false;           // ...and a read is to be done
    ClipboardSequence readWanted_ = 0;  // the clipboard's number as the window asked
    bool emptyingOwed_ = false;         // the window asked for an emptying and waits for its outcome
    bool emptyingQueued_ = false;       // an emptying is to be done
    bool changeTaken_ = false;          // under the order: the next emptying answers another program's change
    std::optional<Clock::time_point> raceUntil_;
    Clock::time_point raceStart_{};
    Clock::duration raceBudget_ = kRaceBudget;
    Clock::time_point raceBudgetAt_{};          // when the budget was last refilled
    std::optional<Clock::time_point> emptyAt_;  // a fight's next emptying
    Clock::time_point lastEmptying_{};          // when the last emptying began
    Clock::time_point agentWaitsUntil_ = Clock::time_point::max();
    // Notices that came while the agent was in the system, weighed once it is back.
    std::optional<ChangeNoticed> noticeMeanwhile_;
    std::optional<CopierEmptying> copierMeanwhile_;

    // Another program holding the clipboard open.
    bool readHeld_ = false;
    bool emptyingHeld_ = false;
    ClipboardSequence heldSequence_ = 0;  // the clipboard's number as a read found it held
    std::optional<Clock::time_point> heldSince_;
    Clock::time_point nextLook_{};
    std::chrono::milliseconds heldLook_{0};
    int looksWhileHeld_ = 0;
    int quickRetries_ = 0;

    // What is known of the clipboard.
    std::optional<ClipboardSequence> emptiedSequence_;  // its number when we last left it empty
    std::optional<ClipboardSequence> silentSequence_;

    // The read or emptying in the system, for its deadline.
    Clock::time_point jobStarted_{};
    bool overdueReported_ = false;

    // For the window, until it collects.
    std::optional<ClipboardReading> reading_;
    bool emptyingDone_ = false;
    std::vector<ClipboardProblem> problems_;
    std::optional<ChangeReport> change_;
    bool changeHeldBack_ = false;  // a fight's change report waits for kFightNews to pass
    Clock::time_point nextFightNews_{};
    bool toTell_ = false;     // something new for the window
    bool announced_ = false;  // an announcement is on its way and not yet collected
};

}  // namespace zanthrel::win32
