#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "core/picture.h"
#include "platform/posix/clipboard_reader.h"
#include "platform/posix/transfer_buffer.h"
#include "platform/posix/unique_fd.h"
#include "platform/x11/x11_program_lookup.h"
#include "platform/x11/x11_selection_emptier.h"
#include "platform/x11/x11_transfer.h"
#include "platform/x11/xcb_handles.h"

namespace zanthrel::x11 {

// Watches the X11 CLIPBOARD selection and fetches its picture, on a thread and an X connection of its own,
// so that no other program can make the user interface wait. Changes come from XFIXES as they happen;
// without XFIXES the owner is polled every kFallbackPoll.
//
// Under the guard's standing emptying order, a change another program made is emptied right where its
// notice arrives, before it is reported; so is PRIMARY, whose changes matter for nothing else and are
// never reported. The connection asks the server to serve it first among clients that wait at the same
// moment, so that a spy told of the change in the same instant loses the race more often than not.
//
// A fetch starts only when asked for, at most once per kFetchGap, and always for the newest change.
// A change made by another program abandons a transfer still in progress at once; a change by the same
// owner lets it finish first, unless one of its answers is already kPatience late, so that a program
// offering a picture many times a second is still read.
class X11ClipboardReader final : public posix::ClipboardReader {
public:
    using Listener = posix::ClipboardReader::Listener;

    static constexpr std::chrono::milliseconds kAnswerDeadline{1000};
    static constexpr std::chrono::milliseconds kTransferDeadline{10000};
    static constexpr std::chrono::milliseconds kPatience{50};
    static constexpr std::chrono::milliseconds kFetchGap{15};
    static constexpr std::chrono::milliseconds kFallbackPoll{100};
    // Transfers given up in a row because another owner took the clipboard before the asked one
    // answered. Owners that keep taking it from each other faster than any of them answers would
    // otherwise leave every change unjudged without a word: this many in a row count as a silent owner.
    static constexpr int kAbandonedBeforeSilent = 8;

    // Null when no X display can be reached. `useXfixes` false polls as on a server without XFIXES.
    static std::unique_ptr<X11ClipboardReader> start(Listener listener, bool useXfixes = true);
    ~X11ClipboardReader() override;
    X11ClipboardReader(const X11ClipboardReader&) = delete;
    X11ClipboardReader& operator=(const X11ClipboardReader&) = delete;

    void request() override;
    // Empties the clipboard if some other program owns it (see X11EmptyOwner). The reader's own
    // ownership is reported as a change to a clipboard without owner, and never fetched. Any thread.
    void empty() override;
    void setEmptyingOrder(const EmptyingOrder& order) override;
    bool emptiesX11Selection() const noexcept override { return true; }
    bool watchesChanges() const noexcept override { return xfixesEventBase_.has_value(); }
    bool namesOwners() const noexcept override { return true; }
    // How many transfers were started, and how many of them came in increments (INCR).
    std::uint64_t fetchCount() const noexcept override { return fetches_.load(); }
    std::uint64_t incrementalCount() const noexcept { return incremental_.load(); }
    // How many times the clipboard was taken to empty it, whether asked to or under the order.
    std::uint64_t emptyingCount() const noexcept override { return emptier_.clipboardEmptyings(); }
    // How many times the PRIMARY selection was emptied under the order.
    std::uint64_t primaryEmptyingCount() const noexcept { return emptier_.primaryEmptyings(); }

private:
    using Clock = std::chrono::steady_clock;
    enum class Step { None, Targets, Data, Increments };
    struct Transfer {
        Step step = Step::None;
        std::uint64_t serial = 0;
        std::uint32_t owner = 0;
        std::uint32_t property = 0;
        std::uint32_t target = 0;
        std::uint32_t time = 0;
        Clock::time_point started;
        Clock::time_point asked;  // when the answer now awaited was asked for
        posix::TransferBuffer buffer;
    };
    struct Atoms {
        std::uint32_t clipboard = 0, primary = 0, targets = 0, incr = 0, timestamp = 0;
        std::uint32_t properties[2] = {0, 0};
        std::vector<std::uint32_t> pictureTypes;  // most wanted first
    };

    X11ClipboardReader(XcbConnection connection, std::uint32_t window, Atoms atoms,
                       std::optional<std::uint8_t> xfixesEventBase, posix::UniqueFd wakeFd, Listener listener);
    void run();
    void handleEvent(const void* event);
    Clock::time_point actOnTime(Clock::time_point now);
    void noteChange(std::uint32_t owner, std::uint32_t time);
    void notePrimary(std::uint32_t owner, std::uint32_t time);
    void startFetch(Clock::time_point now);
    void ask(std::uint32_t target, Clock::time_point now);
    void onSelectionNotify(std::uint32_t property, std::uint32_t target);
    void onIncrement();
    // Reads the transfer's property whole, deleting it; false when the reply could not be had.
    bool readProperty(std::uint32_t& type, std::uint8_t& format, std::vector<unsigned char>& value, bool intoBuffer);
    void deliver(posix::ClipboardDelivery delivery);
    void finish(posix::ClipboardDelivery::Kind kind);
    std::uint32_t queryOwner(std::uint32_t selection);

    XcbConnection connection_;  // outlives the thread, which the destructor joins
    std::uint32_t window_;
    Atoms atoms_;
    std::optional<std::uint8_t> xfixesEventBase_;
    posix::UniqueFd wakeFd_;
    Listener listener_;
    X11SelectionEmptier emptier_;
    X11ProgramLookup programs_;

    // Reader thread only.
    std::uint64_t latestSerial_ = 1;
    std::uint32_t latestOwner_ = 0;
    std::uint32_t latestTime_ = 0;
    // The last owner named, kept while it fights: a lookup per taking would cost more than the fight.
    std::uint32_t namedOwner_ = 0;
    ProgramIdentity namedIdentity_;
    std::uint64_t answeredSerial_ = 0;
    int abandonedInARow_ = 0;
    Transfer transfer_;
    Clock::time_point lastFetch_{};
    Clock::time_point nextPoll_{};
    unsigned nextProperty_ = 0;

    std::atomic<bool> wanted_{false};
    std::atomic<bool> emptyWanted_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> fetches_{0};
    std::atomic<std::uint64_t> incremental_{0};
    std::thread thread_;
};

}  // namespace zanthrel::x11
