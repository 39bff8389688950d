#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/posix/clipboard_reader.h"
#include "platform/posix/reading_schedule.h"
#include "platform/posix/standing_order.h"
#include "platform/posix/transfer_buffer.h"
#include "platform/wayland/data_control.h"
#include "platform/wayland/wayland_handles.h"

namespace zanthrel::wayland {

// Watches the Wayland clipboard (the seat's regular selection) through the compositor's data-control
// service, on a thread and a connection of its own, and fetches its picture through a pipe. Unlike a
// window's clipboard access this needs no focus: every change is seen, whichever program made it.
//
// Under the guard's standing emptying order, a change another program made is emptied at its selection
// event, on this thread, before it is reported; the primary selection too where the service offers it.
//
// The offer names its types with the change, so a change that offers no picture is answered without
// asking its owner anything. When to fetch, how long an owner may take and when it is silent:
// posix::ReadingSchedule, which the X11 reader follows too; the protocol cannot name owners, so a later
// change lets a lively transfer finish. Which type is asked for: the table of picture formats.
class WaylandClipboardReader final : public posix::ClipboardReader {
public:
    using Listener = posix::ClipboardReader::Listener;

    // Null when no compositor answers or it offers no data-control service.
    static std::unique_ptr<WaylandClipboardReader> start(Listener listener, const char* displayName = nullptr);
    ~WaylandClipboardReader() override;
    WaylandClipboardReader(const WaylandClipboardReader&) = delete;
    WaylandClipboardReader& operator=(const WaylandClipboardReader&) = delete;

    void request() override;
    void empty() override;
    void setEmptyingOrder(const EmptyingOrder& order) override;
    bool watchesChanges() const noexcept override { return true; }
    std::uint64_t fetchCount() const noexcept override { return fetches_.load(); }
    // "ext-data-control-v1" or "zwlr-data-control-unstable-v1".
    std::string_view protocolName() const noexcept { return session_->protocolName(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Transfer {
        posix::UniqueFd pipe;
        const PictureFormat* format = nullptr;  // of the type asked for
        posix::TransferBuffer buffer;
    };

    WaylandClipboardReader(std::unique_ptr<DataControlSession> session, posix::UniqueFd wakeFd, Listener listener);
    void run();
    void wake();
    Clock::time_point actOnTime(Clock::time_point now);
    void noteChange(bool owned);
    void notePrimary(bool owned);
    // Empties `selection` under the order, now or at the pace's turn.
    posix::StandingOrder::Decision followOrder(posix::Selection selection, Clock::time_point now);
    // Sends the emptying of `selection` if anything is set there; whether it did.
    bool emptySelection(posix::Selection selection);
    Clock::time_point actOnOrder(Clock::time_point now);
    void carryOut(const posix::ReadingSchedule::Step& step);
    void startFetch();
    void readPipe(Clock::time_point now);
    void finish(posix::ClipboardDelivery::Kind kind);
    void deliver(std::uint64_t serial, posix::ClipboardDelivery::Kind kind);
    void loseSight();

    std::unique_ptr<DataControlSession> session_;
    posix::UniqueFd wakeFd_;
    Listener listener_;
    posix::StandingOrder standing_;

    // Reader thread only.
    posix::ReadingSchedule schedule_;
    bool latestOwned_ = false;
    std::unique_ptr<Transfer> transfer_;
    bool sightLost_ = false;
    bool lostReported_ = false;
    std::vector<unsigned char> chunk_;

    std::atomic<bool> wanted_{false};
    std::atomic<bool> clearWanted_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> fetches_{0};
    std::thread thread_;
};

}  // namespace zanthrel::wayland
