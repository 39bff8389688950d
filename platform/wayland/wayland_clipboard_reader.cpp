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
using ScheduleStep = posix::ReadingSchedule::Step;

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
    const PictureTypeChoice* types = session_->selectionTypes();
    schedule_ = posix::ReadingSchedule({latestOwned_ && types && types->found(), std::nullopt, false});
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
    // What is selected when blocking starts goes at the next turn (see actOnOrder).
    if (order.active) wake();
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
    latestOwned_ = owned;
    // A spy told of the change in the same instant is asking for the data already: the emptying goes out
    // before anything else is done.
    const posix::StandingOrder::Decision followed =
        owned ? followOrder(posix::Selection::Clipboard, Clock::now()) : posix::StandingOrder::Decision{};
    const PictureTypeChoice* types = session_->selectionTypes();
    // The compositor names no owners; an emptying while our own is pending is ours.
    const ScheduleStep step =
        schedule_.noteChange({owned && types && types->found(), std::nullopt, !owned && session_->clearPending()});
    if (listener_.changed) listener_.changed(schedule_.latestSerial(), {owned, followed.follow});
    if (followed.fightBegan && listener_.contested) listener_.contested();
    carryOut(step);
}

void WaylandClipboardReader::notePrimary(bool owned) {
    if (owned && followOrder(posix::Selection::Primary, Clock::now()).fightBegan && listener_.contested)
        listener_.contested();
}

posix::StandingOrder::Decision WaylandClipboardReader::followOrder(posix::Selection selection, Clock::time_point now) {
    // Data-control does not say who set a selection: every taking counts as one owner's. Put off by a
    // fight's pace, it is emptied in actOnTime, whatever is set then.
    return standing_.follow(selection, 0, now, [&] { return emptySelection(selection); });
}

bool WaylandClipboardReader::emptySelection(posix::Selection selection) {
    if (selection == posix::Selection::Primary) {
        if (!session_->hasPrimarySelection()) return false;
        session_->clearPrimarySelection();
        return true;
    }
    if (!latestOwned_) return false;
    session_->clearSelection();
    return true;
}

WaylandClipboardReader::Clock::time_point WaylandClipboardReader::actOnOrder(Clock::time_point now) {
    if (standing_.newlyGiven() && session_->hasPrimarySelection()) notePrimary(true);
    return standing_.takeDue(now, [this](posix::Selection selection) { return emptySelection(selection); });
}

WaylandClipboardReader::Clock::time_point WaylandClipboardReader::actOnTime(Clock::time_point now) {
    if (clearWanted_.exchange(false)) {
        // Nothing to empty: asking the compositor would still wake every clipboard watcher of the seat.
        if (latestOwned_)
            session_->clearSelection();
        else if (listener_.emptied)
            listener_.emptied(true);
    }
    const Clock::time_point wake = actOnOrder(now);
    if (wanted_.exchange(false)) schedule_.request();
    return std::min(wake, schedule_.advance(now, [this](const ScheduleStep& step) { carryOut(step); }));
}

void WaylandClipboardReader::carryOut(const ScheduleStep& step) {
    switch (step.kind) {
        case ScheduleStep::Kind::Wait: return;
        case ScheduleStep::Kind::Fetch: return startFetch();
        case ScheduleStep::Kind::NoPicture: return deliver(step.serial, Kind::NoPicture);
        case ScheduleStep::Kind::Abandon: transfer_.reset(); return;
        case ScheduleStep::Kind::Silent: transfer_.reset(); return deliver(step.serial, Kind::Silent);
    }
}

void WaylandClipboardReader::startFetch() {
    ++fetches_;
    auto transfer = std::make_unique<Transfer>();
    const PictureTypeChoice* types = session_->selectionTypes();
    if (types) {
        transfer->format = types->format();
        transfer->pipe = session_->receive(types->chosen());
    }
    if (!transfer->pipe) {
        // No pipe to be had (descriptors exhausted): this change cannot be read, and says so.
        deliver(schedule_.finished(), Kind::Refused);
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
            schedule_.heard(now);
            continue;
        }
        if (got == 0) return finish(transfer_->buffer.size() > 0 ? Kind::Data : Kind::Refused);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) finish(Kind::Refused);
        return;
    }
}

void WaylandClipboardReader::finish(Kind kind) {
    posix::ClipboardDelivery delivery{schedule_.finished(), kind, {}, false, {}, nullptr};
    if (kind == Kind::Data) {
        delivery.kept = transfer_->buffer.kept();
        delivery.digest = transfer_->buffer.digest();
        delivery.bytes = transfer_->buffer.takeBytes();
        delivery.format = transfer_->format;
    }
    transfer_.reset();
    if (listener_.delivered) listener_.delivered(std::move(delivery));
}

void WaylandClipboardReader::deliver(std::uint64_t serial, Kind kind) {
    if (listener_.delivered) listener_.delivered({serial, kind, {}, false, {}, nullptr});
}

}  // namespace zanthrel::wayland
