#include "platform/posix/reading_schedule.h"

#include <algorithm>

#include "pictures/picture_formats.h"

namespace zanthrel::posix {

ReadingSchedule::ReadingSchedule() noexcept = default;

ReadingSchedule::ReadingSchedule(const Change& found) noexcept : latest_(found) {}

ReadingSchedule::Step ReadingSchedule::noteChange(const Change& change) noexcept {
    ++latestSerial_;
    latest_ = change;
    if (!transfer_) return {};
    if (change.ours) {
        // Emptied by us: nothing is lost that blocking did not mean to lose, and the owner is not at fault.
        const std::uint64_t serial = transfer_->serial;
        transfer_.reset();
        return {Step::Kind::Abandon, serial};
    }
    const bool sameOrUnknownOwner = !change.owner || !transfer_->owner || *change.owner == *transfer_->owner;
    if (sameOrUnknownOwner) return {};  // it may still finish; next() grants it kPatience
    return giveUp();
}

ReadingSchedule::Step ReadingSchedule::giveUp() noexcept {
    const std::uint64_t serial = transfer_->serial;
    transfer_.reset();
    if (++abandonedInARow_ < kAbandonedBeforeSilent) return {Step::Kind::Abandon, serial};
    answered(serial);
    return {Step::Kind::Silent, serial};
}

ReadingSchedule::Step ReadingSchedule::next(TimePoint now) noexcept {
    if (transfer_) {
        const bool superseded = latestSerial_ > transfer_->serial;
        const TimePoint deadline =
            std::min({transfer_->lastHeard + kAnswerDeadline, transfer_->started + kTransferDeadline,
                      superseded ? transfer_->lastHeard + kPatience : TimePoint::max()});
        if (now < deadline) return {Step::Kind::Wait, 0, deadline};
        if (superseded) return giveUp();  // the newest change is fetched instead, on the next call
        const std::uint64_t serial = transfer_->serial;
        transfer_.reset();
        answered(serial);
        return {Step::Kind::Silent, serial};
    }
    if (!wanted_ || upToDate()) return {};
    if (!latest_.fetchable) {
        answered(latestSerial_);
        return {Step::Kind::NoPicture, latestSerial_};
    }
    if (lastFetch_ && now < *lastFetch_ + kFetchGap) return {Step::Kind::Wait, 0, *lastFetch_ + kFetchGap};
    lastFetch_ = now;
    transfer_ = Transfer{latestSerial_, latest_.owner, now, now};
    return {Step::Kind::Fetch, latestSerial_};
}

void ReadingSchedule::heard(TimePoint now) noexcept {
    if (transfer_) transfer_->lastHeard = std::max(transfer_->lastHeard, now);
}

std::optional<std::size_t> ReadingSchedule::typesListed(TimePoint now,
                                                        std::span<const std::string_view> targets) noexcept {
    heard(now);
    return bestX11Target(targets);
}

std::uint64_t ReadingSchedule::finished() noexcept {
    if (!transfer_) return 0;
    const std::uint64_t serial = transfer_->serial;
    transfer_.reset();
    answered(serial);
    return serial;
}

void ReadingSchedule::answered(std::uint64_t serial) noexcept {
    // An answer to an older change still tells what the clipboard held meanwhile; it counts as answered
    // only for that change, so the newest one is fetched next.
    answeredSerial_ = std::max(answeredSerial_, serial);
    abandonedInARow_ = 0;
    if (upToDate()) wanted_ = false;
}

}  // namespace zanthrel::posix
