#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/posix/clipboard_reader.h"
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
// asking its owner anything. A fetch starts only when asked for, at most once per kFetchGap, always for
// the newest change. A later change lets a transfer still in progress finish, unless it is already
// kPatience late, so that a program offering a picture many times a second is still read.
class WaylandClipboardReader final : public posix::ClipboardReader {
public:
    using Listener = posix::ClipboardReader::Listener;

    static constexpr std::chrono::milliseconds kAnswerDeadline{1000};
    static constexpr std::chrono::milliseconds kTransferDeadline{10000};
    static constexpr std::chrono::milliseconds kPatience{50};
    static constexpr std::chrono::milliseconds kFetchGap{15};
    // Transfers given up in a row because the clipboard changed while their owner lagged: owners that
    // keep replacing each other faster than any of them answers count as a silent owner.
    static constexpr int kAbandonedBeforeSilent = 8;

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
        std::uint64_t serial = 0;
        posix::UniqueFd pipe;
        Clock::time_point started;
        Clock::time_point lastHeard;  // asked, or the last bytes arrived
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
    void emptyUnderOrder(posix::Selection selection, Clock::time_point now);
    Clock::time_point actOnOrder(Clock::time_point now);
    void startFetch(Clock::time_point now);
    void readPipe(Clock::time_point now);
    void finish(posix::ClipboardDelivery::Kind kind);
    void deliver(posix::ClipboardDelivery delivery);
    void loseSight();

    std::unique_ptr<DataControlSession> session_;
    posix::UniqueFd wakeFd_;
    Listener listener_;
    posix::StandingOrder standing_;

    // Reader thread only.
    std::uint64_t latestSerial_ = 1;
    bool latestOwned_ = false;
    std::uint64_t answeredSerial_ = 0;
    int abandonedInARow_ = 0;
    std::unique_ptr<Transfer> transfer_;
    Clock::time_point lastFetch_{};
    bool sightLost_ = false;
    bool lostReported_ = false;
    std::vector<unsigned char> chunk_;

    std::atomic<bool> wanted_{false};
    std::atomic<bool> clearWanted_{false};
    std::atomic<bool> orderGiven_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> fetches_{0};
    std::thread thread_;
};

}  // namespace zanthrel::wayland
