#include "platform/win32/win32_clipboard.h"

#include "core/runtime_error.h"

namespace zanthrel::win32 {

ClipboardAgent& Win32Clipboard::agent() {
    if (!agent_)
        agent_ = std::make_unique<ClipboardAgent>(owner_ ? owner_->hwnd() : nullptr, answerMessage_, kOwnerDeadline);
    return *agent_;
}

PictureRef Win32Clipboard::readPicture() {
    const DWORD sequence = GetClipboardSequenceNumber();
    if (answer_ && answer_->sequence == sequence) return answer_->picture;
    if (silentSequence_ == sequence) throw RuntimeError(ErrorKind::ClipboardBusy, "the clipboard's owner is silent");
    // One request per change: a read overtaken by another change is asked for again when collected.
    if (!readOwed_) agent().requestRead();
    readOwed_ = true;
    if (!answer_) throw RuntimeError(ErrorKind::ClipboardBusy, "the clipboard's first answer is on its way");
    // Another program is in the middle of changing it: what we knew may be half replaced.
    const HWND open = GetOpenClipboardWindow();
    if (open && (!owner_ || open != owner_->hwnd()))
        throw RuntimeError(ErrorKind::ClipboardBusy, "another program holds the clipboard open");
    // The clipboard as it stood when last known. Failing here instead would leave the holders half
    // settled, and the next tick would count the picture that is already in one of them a second time.
    return answer_->picture;
}

bool Win32Clipboard::upToDate() const {
    return answer_ && answer_->sequence == GetClipboardSequenceNumber();
}

bool Win32Clipboard::atRest(const PictureRef& held) const noexcept {
    const AgentStatus status = agent_ ? agent_->status() : AgentStatus{};
    if (status.job != AgentJob::None || status.requested) return false;
    // Another program holds the clipboard open: reads give what was known before, or fail, until the
    // agent has read it after the release and said so.
    if (readOwed_) return status.readWaitsForRelease && (!answer_ || answer_->picture == held);
    const DWORD sequence = GetClipboardSequenceNumber();
    if (silentSequence_ == sequence) return true;  // reads fail and leave the holders alone
    return answer_ && answer_->sequence == sequence && answer_->picture == held;
}

void Win32Clipboard::clear() {
    // Nothing has been put on the clipboard since we last left it empty. Opening and emptying it again
    // would take it from other programs and wake every clipboard watcher for nothing.
    if (emptiedSequence_ == GetClipboardSequenceNumber()) return;
    clearOwed_ = true;
    // An emptying under way is not asked for again: the change it causes itself comes back as a notice
    // before its outcome does. Whether the clipboard changed once more is seen when the outcome arrives.
    if (agent().status().job != AgentJob::Clear) agent().requestClear();
}

Win32Clipboard::News Win32Clipboard::collect(std::chrono::steady_clock::time_point now) {
    News news;
    if (!agent_) return news;
    const DWORD sequence = GetClipboardSequenceNumber();
    if (auto outcome = agent_->takeClearOutcome()) {
        if (outcome->emptied) emptiedSequence_ = outcome->sequence;
        clearOwed_ = false;
        news.clearAgain = emptiedSequence_ != sequence;
    }
    // Readings of a clipboard held open never come here: the agent waits for the release.
    if (auto reading = agent_->takeReading()) {
        if (reading->silent && reading->sequence != silentSequence_) {
            silentSequence_ = reading->sequence;
            readOwed_ = false;
            news.problems.push_back(ClipboardProblem::OwnerSilent);
        }
        // An answer that came after its deadline stays unused until the clipboard changes again.
        if (!reading->silent && reading->sequence != silentSequence_) {
            answer_ = std::move(reading);
            if (answer_->sequence == sequence) {
                readOwed_ = false;
                news.answered = true;
            }
        }
    }
    const AgentStatus status = agent_->status();
    const auto deadline = status.job == AgentJob::Read ? kDeliveryDeadline : kOwnerDeadline;
    if (status.job != AgentJob::None && now - status.started > deadline && reportedJob_ != status.jobNumber) {
        reportedJob_ = status.jobNumber;
        if (status.job == AgentJob::Read) {
            silentSequence_ = status.sequence;
            readOwed_ = false;
            news.problems.push_back(ClipboardProblem::OwnerSilent);
        } else {
            news.problems.push_back(ClipboardProblem::NotEmptied);
        }
    }
    // A read overtaken by a change is asked for again. One that waits for the clipboard to be let go looks
    // again by itself, and at once on a change since it last tried.
    const bool waiting = status.readWaitsForRelease && status.sequence == sequence;
    if (readOwed_ && !waiting && status.job == AgentJob::None && !status.requested && silentSequence_ != sequence)
        agent_->requestRead();
    return news;
}

void Win32Clipboard::changeNoticed() {
    if (readOwed_ && agent_ && agent_->status().readWaitsForRelease) agent_->requestRead();
}

bool Win32Clipboard::needsChecks() const {
    if (!agent_) return readOwed_ || clearOwed_;
    const AgentStatus status = agent_->status();
    // A job that waits for another program to let go of the clipboard is announced when it is done.
    if (readOwed_ && !status.readWaitsForRelease) return true;
    if (clearOwed_ && !status.clearWaitsForRelease) return true;
    return status.job != AgentJob::None || status.requested;
}

bool Win32Clipboard::idle() const {
    if (!agent_) return true;
    const AgentStatus status = agent_->status();
    return status.job == AgentJob::None && !status.requested;
}

}  // namespace zanthrel::win32
