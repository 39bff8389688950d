#include "platform/win32/win32_clipboard.h"

#include <utility>

#include "core/runtime_error.h"

namespace zanthrel::win32 {

ClipboardAgent& Win32Clipboard::agent() {
    if (!agent_) agent_ = std::make_unique<ClipboardAgent>(owner_ ? owner_->hwnd() : nullptr, newsMessage_, listen_);
    return *agent_;
}

ClipboardJob::Status Win32Clipboard::status() const {
    return agent_ ? agent_->status() : ClipboardJob::Status{};
}

PictureRef Win32Clipboard::readPicture() {
    const DWORD sequence = GetClipboardSequenceNumber();
    if (answer_ && answer_->sequence == sequence) return answer_->picture;
    if (status().silent == sequence) throw RuntimeError(ErrorKind::ClipboardBusy, "the clipboard's owner is silent");
    agent().wantRead(sequence);
    if (!answer_) throw RuntimeError(ErrorKind::ClipboardBusy, "the clipboard's first answer is on its way");
    // Another program is in the middle of changing it: what we knew may be half replaced.
    const HWND open = GetOpenClipboardWindow();
    if (open && (!owner_ || open != owner_->hwnd()))
        throw RuntimeError(ErrorKind::ClipboardBusy, "another program holds the clipboard open");
    // The clipboard as it stood when last known. Failing here instead would leave the holders half
    // settled, and the next tick would count the picture that is already in one of them a second time.
    return answer_->picture;
}

void Win32Clipboard::clear() {
    agent().wantEmptying(GetClipboardSequenceNumber());
}

void Win32Clipboard::setEmptyingOrder(const EmptyingOrder& order) {
    agent().setOrder(order);
}

bool Win32Clipboard::upToDate() const {
    return answer_ && answer_->sequence == GetClipboardSequenceNumber();
}

bool Win32Clipboard::atRest(const PictureRef& held) const noexcept {
    try {
        const ClipboardJob::Status job = status();
        if (job.busy) return false;
        // Another program holds the clipboard open: reads give what was known before, or fail, until the
        // agent has read it after the release and said so.
        if (job.readOwed) return job.readWaitsForRelease && (!answer_ || answer_->picture == held);
        const DWORD sequence = GetClipboardSequenceNumber();
        if (job.silent == sequence) return true;  // reads fail and leave the holders alone
        return answer_ && answer_->sequence == sequence && answer_->picture == held;
    } catch (...) {
        return false;  // the lock failed: never rest on what could not be looked at
    }
}

Win32Clipboard::News Win32Clipboard::collect(std::chrono::steady_clock::time_point now) {
    if (!agent_) return {};
    News news = agent_->collect(GetClipboardSequenceNumber(), now);
    if (news.answer) answer_ = std::exchange(news.answer, std::nullopt);
    return news;
}

bool Win32Clipboard::listening() {
    return agent().listening();
}

void Win32Clipboard::changeNoticed() {
    agent().changeNoticed();
}

bool Win32Clipboard::clearOwed() const {
    return status().emptyingOwed;
}

bool Win32Clipboard::needsChecks() const {
    const ClipboardJob::Status job = status();
    // A job that waits for another program to let go of the clipboard is announced when it is done.
    return job.busy || (job.readOwed && !job.readWaitsForRelease) || (job.emptyingOwed && !job.emptyingWaitsForRelease);
}

bool Win32Clipboard::idle() const {
    return !status().busy;
}

}  // namespace zanthrel::win32
