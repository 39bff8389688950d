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
#include "platform/posix/reading_schedule.h"
#include "platform/posix/transfer_buffer.h"
#include "platform/posix/unique_fd.h"
#include "platform/x11/x11_atom_names.h"
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
// When to fetch, how long an owner may take and when it is silent: posix::ReadingSchedule, which the
// Wayland reader follows too. Which of the owner's types is asked for: the table of picture formats.
// Here only the protocol: TARGETS, the data whole or in increments (INCR), or a pixmap's pixels.
class X11ClipboardReader final : public posix::ClipboardReader {
public:
    using Listener = posix::ClipboardReader::Listener;

    static constexpr std::chrono::milliseconds kFallbackPoll{100};

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
        std::uint32_t property = 0;
        std::uint32_t target = 0;
        std::uint32_t time = 0;
        const PictureFormat* format = nullptr;  // of the target asked for
        posix::TransferBuffer buffer;
    };
    struct Atoms {
        std::uint32_t clipboard = 0, primary = 0, targets = 0, incr = 0, timestamp = 0;
        std::uint32_t properties[2] = {0, 0};
    };

    X11ClipboardReader(XcbConnection connection, std::uint32_t window, Atoms atoms,
                       std::optional<std::uint8_t> xfixesEventBase, posix::UniqueFd wakeFd, Listener listener);
    void run();
    // Has the reader's thread look at what was asked of it.
    void wake();
    void handleEvent(const void* event);
    Clock::time_point actOnTime(Clock::time_point now);
    void noteChange(std::uint32_t owner, std::uint32_t time);
    void notePrimary(std::uint32_t owner, std::uint32_t time);
    void carryOut(const posix::ReadingSchedule::Step& step);
    void startFetch();
    void ask(std::uint32_t target);
    void onSelectionNotify(std::uint32_t property, std::uint32_t target);
    void onTargets();
    void onPixmap();
    void onIncrement();
    // Reads the transfer's property whole, deleting it: into the transfer's buffer, or with `atoms` as a
    // list of atoms or ids (TARGETS, a pixmap's id). False when the reply could not be had, or it did not
    // fit where it goes.
    bool readProperty(std::vector<std::uint32_t>* atoms = nullptr);
    void deliver(std::uint64_t serial, posix::ClipboardDelivery::Kind kind);
    void finish(posix::ClipboardDelivery::Kind kind, const PictureFormat* format = nullptr);
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
    posix::ReadingSchedule schedule_;
    std::uint32_t latestOwner_ = 0;
    std::uint32_t latestTime_ = 0;
    // The last owner named, kept while it fights: a lookup per taking would cost more than the fight.
    std::uint32_t namedOwner_ = 0;
    ProgramIdentity namedIdentity_;
    Transfer transfer_;
    AtomNames atomNames_;
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
