#include "platform/wayland/wayland_clipboard_reader.h"

#include "platform/posix/wakeup_latency.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace zanthrel::wayland {
namespace {

using Kind = posix::ClipboardDelivery::Kind;

// Read per read(2), and at most this many reads before the connection's events get their turn again.
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;
constexpr int kChunksPerTurn = 64;

}  // namespace

std::unique_ptr<WaylandClipboardReader> WaylandClipboardReader::start(Listener listener, const char* displayName) {
    std::unique_ptr<DataControlSession> session = DataControlSession::connect(displayName);
    if (!session) return nullptr;
    posix::UniqueFd wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wakeFd) return nullptr;
    std::unique_ptr<WaylandClipboardReader> reader(
        new WaylandClipboardReader(std::move(session), std::move(wakeFd), std::move(listener)));
    reader->thread_ = std::thread([raw = reader.get()] { raw->run(); });
    return reader;
}

WaylandClipboardReader::WaylandClipboardReader(std::unique_ptr<DataControlSession> session, posix::UniqueFd wakeFd,
                                               Listener listener)
    : session_(std::move(session)), wakeFd_(std::move(wakeFd)), listener_(std::move(listener)) {
    latestOwned_ = session_->hasSelection();
    // These run inside the library's dispatch, a C caller: nothing may be thrown through it.
    DataControlSession::Events events;
    events.selectionChanged = [this](bool owned) noexcept {
        try {
            noteChange(owned);
        } catch (...) {
            // The change stays counted in the serial; only its notice is lost.
        }
    };
    events.primaryChanged = [this](bool owned) noexcept {
        try {
            notePrimary(owned);
        } catch (...) {
        }
    };
    events.finished = [this]() noexcept { sightLost_ = true; };
    events.clearAnswered = [this](bool emptied) noexcept {
        try {
            if (listener_.emptied) listener_.emptied(emptied);
        } catch (...) {
        }
    };
    session_->setEvents(std::move(events));
}

WaylandClipboardReader::~WaylandClipboardReader() {
    stopping_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
    // The transfer's pipe and the session's proxies close with the members, the connection last.
    transfer_.reset();
}

void WaylandClipboardReader::wake() {
    const std::uint64_t one = 1;
    (void)!write(wakeFd_.get(), &one, sizeof one);
}

void WaylandClipboardReader::request() {
    wanted_ = true;
    wake();
}

void WaylandClipboardReader::empty() {
    clearWanted_ = true;
    wake();
}

void WaylandClipboardReader::setEmptyingOrder(const EmptyingOrder& order) {
    standing_.set(order);
    if (!order.active) return;
    // What is selected when blocking starts goes too; the clipboard itself is the blocker's to empty.
    orderGiven_ = true;
    wake();
}

void WaylandClipboardReader::run() {
    // Every change is answered the moment it is heard of; a spy told in the same instant races it.
    posix::preferQuickWakeups();
    try {
        while (!stopping_) {
            pollfd fds[3] = {{wakeFd_.get(), POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
            int timeoutMs = -1;
            bool waiting = false;
            if (!sightLost_) {
                if (!session_->beginWait()) {
                    loseSight();
                    continue;
                }
                waiting = true;
                const Clock::time_point wakeAt = actOnTime(Clock::now());
                fds[1] = {session_->fd(), static_cast<short>(POLLIN | (session_->pendingOutput() ? POLLOUT : 0)), 0};
                if (transfer_) fds[2] = {transfer_->pipe.get(), POLLIN, 0};
                if (wakeAt != Clock::time_point::max()) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now()).count();
                    timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
                }
            }
            if (poll(fds, 3, timeoutMs) < 0 && errno != EINTR) fds[1].revents = fds[2].revents = 0;
            if (fds[0].revents & POLLIN) {
                std::uint64_t count = 0;
                (void)!read(wakeFd_.get(), &count, sizeof count);
            }
            if (!waiting) continue;
            if (!session_->endWait((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0)) {
                loseSight();
                continue;
            }
            if (sightLost_) {
                loseSight();
                continue;
            }
            if (transfer_ && fds[2].fd == transfer_->pipe.get() && (fds[2].revents & (POLLIN | POLLERR | POLLHUP)))
                readPipe(Clock::now());
        }
    } catch (...) {
        // Memory ran out in the middle of a change; what the reader cannot follow it must not pretend to.
        loseSight();
    }
}

void WaylandClipboardReader::loseSight() {
    sightLost_ = true;
    transfer_.reset();
    if (std::exchange(lostReported_, true)) return;
    try {
        if (listener_.lost) listener_.lost();
    } catch (...) {
        // The notice is all that is lost.
    }
}

void WaylandClipboardReader::noteChange(bool owned) {
    ++latestSerial_;
    latestOwned_ = owned;
    // A spy told of the change in the same instant is asking for the data already: the emptying goes out
    // before anything else is done.
    const posix::StandingOrder::Decision followed =
        owned ? followOrder(posix::Selection::Clipboard, Clock::now()) : posix::StandingOrder::Decision{};
    if (listener_.changed) listener_.changed(latestSerial_, {owned, followed.follow});
    if (followed.fightBegan && listener_.contested) listener_.contested();
}

void WaylandClipboardReader::notePrimary(bool owned) {
    if (owned && followOrder(posix::Selection::Primary, Clock::now()).fightBegan && listener_.contested)
        listener_.contested();
}

posix::StandingOrder::Decision WaylandClipboardReader::followOrder(posix::Selection selection, Clock::time_point now) {
    // Data-control does not say who set a selection: every taking counts as one owner's.
    const posix::StandingOrder::Decision decision = standing_.taken(selection, 0, now);
    // Put off by a fight's pace, it is emptied in actOnTime, whatever is set then.
    if (decision.follow && decision.emptyAt <= now) emptyUnderOrder(selection, now);
    return decision;
}

void WaylandClipboardReader::emptyUnderOrder(posix::Selection selection, Clock::time_point now) {
    const bool primary = selection == posix::Selection::Primary;
    standing_.carryOut(selection, now, [&] {
        if (primary ? !session_->hasPrimarySelection() : !latestOwned_) return false;
        if (primary)
            session_->clearPrimarySelection();
        else
            session_->clearSelection();
        return true;
    });
}

WaylandClipboardReader::Clock::time_point WaylandClipboardReader::actOnOrder(Clock::time_point now) {
    if (orderGiven_.exchange(false) && session_->hasPrimarySelection()) notePrimary(true);
    return standing_.takeDue(now, [&](posix::Selection selection) { emptyUnderOrder(selection, now); });
}

WaylandClipboardReader::Clock::time_point WaylandClipboardReader::actOnTime(Clock::time_point now) {
    if (clearWanted_.exchange(false)) {
        // Nothing to empty: asking the compositor would still wake every clipboard watcher of the seat.
        if (latestOwned_)
            session_->clearSelection();
        else if (listener_.emptied)
            listener_.emptied(true);
    }
    Clock::time_point wake = actOnOrder(now);
    if (transfer_) {
        const bool superseded = latestSerial_ > transfer_->serial;
        const Clock::time_point deadline =
            std::min({transfer_->lastHeard + kAnswerDeadline, transfer_->started + kTransferDeadline,
                      superseded ? transfer_->lastHeard + kPatience : Clock::time_point::max()});
        if (now < deadline) return std::min(wake, deadline);
        if (!superseded)
            finish(Kind::Silent);
        else if (++abandonedInARow_ >= kAbandonedBeforeSilent)
            finish(Kind::Silent);
        else
            transfer_.reset();  // the newest change is fetched instead, below
    }
    if (!wanted_ || answeredSerial_ >= latestSerial_) return wake;
    const PictureTypeChoice* types = session_->selectionTypes();
    if (!latestOwned_ || !types || !types->found()) {
        // The offer named its types with the change: no picture among them needs no question to its owner.
        deliver({latestSerial_, Kind::NoPicture, {}, false, {}});
        return wake;
    }
    if (now < lastFetch_ + kFetchGap) return std::min(wake, lastFetch_ + kFetchGap);
    startFetch(now);
    return transfer_ ? std::min(wake, now + kAnswerDeadline) : wake;
}

void WaylandClipboardReader::startFetch(Clock::time_point now) {
    ++fetches_;
    lastFetch_ = now;
    auto transfer = std::make_unique<Transfer>();
    transfer->serial = latestSerial_;
    transfer->started = transfer->lastHeard = now;
    transfer->pipe = session_->receive(session_->selectionTypes()->chosen());
    if (!transfer->pipe) {
        // No pipe to be had (descriptors exhausted): this change cannot be read, and says so.
        deliver({latestSerial_, Kind::Refused, {}, false, {}});
        return;
    }
    transfer_ = std::move(transfer);
}

void WaylandClipboardReader::readPipe(Clock::time_point now) {
    if (chunk_.size() != kChunkBytes) chunk_.resize(kChunkBytes);
    for (int turn = 0; turn < kChunksPerTurn; ++turn) {
        const ssize_t got = read(transfer_->pipe.get(), chunk_.data(), chunk_.size());
        if (got > 0) {
            if (!transfer_->buffer.add(chunk_.data(), static_cast<std::size_t>(got))) return finish(Kind::Refused);
            transfer_->lastHeard = now;
            continue;
        }
        if (got == 0) return finish(transfer_->buffer.size() > 0 ? Kind::Data : Kind::Refused);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) finish(Kind::Refused);
        return;
    }
}

void WaylandClipboardReader::finish(Kind kind) {
    posix::ClipboardDelivery delivery{transfer_->serial, kind, {}, false, {}};
    if (kind == Kind::Data) {
        delivery.kept = transfer_->buffer.kept();
        delivery.digest = transfer_->buffer.digest();
        delivery.bytes = transfer_->buffer.takeBytes();
    }
    transfer_.reset();
    deliver(std::move(delivery));
}

void WaylandClipboardReader::deliver(posix::ClipboardDelivery delivery) {
    // An answer to an older change still tells what the clipboard held meanwhile; it counts as answered
    // only for that change, so the newest one is fetched next.
    answeredSerial_ = std::max(answeredSerial_, delivery.serial);
    abandonedInARow_ = 0;
    if (answeredSerial_ >= latestSerial_) wanted_ = false;
    if (listener_.delivered) listener_.delivered(std::move(delivery));
}

}  // namespace zanthrel::wayland
