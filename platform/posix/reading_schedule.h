#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zanthrel::posix {

// The rules for fetching the clipboard's picture from another program, the same for every Linux
// clipboard reader: which change is fetched and when, how long its owner may take, when a transfer is
// given up and when its owner is taken for silent. The readers keep only their protocol; they tell the
// schedule what happened and carry out what it says. No threads and no clock of its own: the time is
// passed in, so that the rules are tested on a virtual clock.
//
// A fetch starts only when asked for, at most once per kFetchGap, and always for the newest change.
// Each answer of the owner, every piece of an incremental transfer included, must come within
// kAnswerDeadline of the one before (or of the question), and the whole transfer within
// kTransferDeadline; otherwise the owner is silent. A newer change by another owner gives the transfer
// up at once: the owner asked has lost the clipboard and may never answer. A newer change by the same
// owner, or by an owner the protocol cannot name, lets it finish unless it is already kPatience late,
// so that a program offering a picture many times a second is still read.
//
// Every transfer so given up leaves a change unjudged, whichever way it was given up: kAbandonedBeforeSilent
// in a row, with no answer between, count as a silent owner, so that owners replacing each other (or
// one owner replacing itself) faster than they answer cannot keep every picture from being judged
// without a word. Only a transfer dropped by our own emptying is no fault of its owner's and counts
// nothing.
class ReadingSchedule {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    static constexpr std::chrono::milliseconds kAnswerDeadline{1000};
    static constexpr std::chrono::milliseconds kTransferDeadline{10000};
    static constexpr std::chrono::milliseconds kPatience{50};
    static constexpr std::chrono::milliseconds kFetchGap{15};
    static constexpr int kAbandonedBeforeSilent = 8;

    // One change of the clipboard, as the reader saw it.
    struct Change {
        // Some other program took the clipboard and, where its offer names its types with the change,
        // one of them is a picture. Otherwise the change is answered as holding none, without a fetch.
        bool fetchable = false;
        // The program that took it, where the protocol names one (an X11 window; 0: nobody); nothing
        // where it cannot tell.
        std::optional<std::uint64_t> owner;
        // Our own emptying took it.
        bool ours = false;
    };

    // What the reader is to do now.
    struct Step {
        enum class Kind {
            Wait,       // nothing before `wakeAt` (the latest time point: until something happens)
            Fetch,      // ask the owner of change `serial` for its picture
            NoPicture,  // answer change `serial` as holding no picture, asking nobody
            Abandon,    // drop the transfer of change `serial` unanswered
            Silent,     // drop the transfer of change `serial` and answer it: its owner did not deliver in time
        };
        Kind kind = Kind::Wait;
        std::uint64_t serial = 0;
        TimePoint wakeAt = TimePoint::max();
    };

    // The clipboard as found at the start is change 1; it is not reported as a change.
    ReadingSchedule() noexcept;
    explicit ReadingSchedule(const Change& found) noexcept;

    // The newest change is wanted: fetched, or answered without a fetch.
    void request() noexcept { wanted_ = true; }
    // A change: its serial is latestSerial() afterwards. Says what becomes of a transfer in progress
    // (Abandon or Silent), or Wait when it goes on.
    Step noteChange(const Change& change) noexcept;
    // What to do now. Call again after carrying out anything but Wait: the schedule has already taken
    // the step as done (a transfer started, dropped or answered).
    Step next(TimePoint now) noexcept;
    // Hands every step due at `now` to `carryOut` (a callable taking const Step&), asking again after
    // each; the time of the Wait that ends them, when the reader is to act next.
    template <typename CarryOut>
    TimePoint advance(TimePoint now, CarryOut&& carryOut) {
        for (;;) {
            const Step step = next(now);
            if (step.kind == Step::Kind::Wait) return step.wakeAt;
            carryOut(step);
        }
    }

    // The owner answered or sent a piece, or the reader asked it the next question: the next answer is
    // due within kAnswerDeadline from now.
    void heard(TimePoint now) noexcept;
    // The owner listed its types (X11's TARGETS): the best picture among them, to be asked for next, as
    // an index into `targets` (X11 targets: MIME types and PIXMAP); its answer is due from now. Nothing
    // when none is a picture: the reader then ends the transfer, answering that it holds no picture.
    std::optional<std::size_t> typesListed(TimePoint now, std::span<const std::string_view> targets) noexcept;
    // The reader ended the transfer with an answer of its own (the data, a refusal, no picture among
    // its types, no means to read it): the serial to deliver it for; 0 when no transfer was going on.
    std::uint64_t finished() noexcept;

    bool transferring() const noexcept { return transfer_.has_value(); }
    std::uint64_t latestSerial() const noexcept { return latestSerial_; }
    // Whether every change up to the newest has been answered; a request is then fulfilled.
    bool upToDate() const noexcept { return answeredSerial_ >= latestSerial_; }

private:
    struct Transfer {
        std::uint64_t serial = 0;
        std::optional<std::uint64_t> owner;
        TimePoint started;
        TimePoint lastHeard;  // asked, or the owner's last answer or piece
    };

    Step giveUp() noexcept;
    void answered(std::uint64_t serial) noexcept;

    std::uint64_t latestSerial_ = 1;
    Change latest_;
    std::uint64_t answeredSerial_ = 0;
    bool wanted_ = false;
    int abandonedInARow_ = 0;
    std::optional<Transfer> transfer_;
    std::optional<TimePoint> lastFetch_;
};

}  // namespace zanthrel::posix
