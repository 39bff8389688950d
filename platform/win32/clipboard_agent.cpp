#include "platform/win32/clipboard_agent.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/clipboard_pictures.h"

namespace zanthrel::win32 {

struct ClipboardAgent::Shared {
    HWND window = nullptr;
    UINT message = 0;
    DWORD deadlineMs = 0;
    std::thread thread;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool finished = false;
    bool wantRead = false;
    bool wantClear = false;
    AgentStatus status;
    std::optional<ClipboardReading> reading;
    std::optional<ClearOutcome> clearOutcome;

    // The agent thread's own: which format to read, reading and decoding it, and the last picture, so
    // that the same bytes again give the same picture.
    ClipboardPictures pictures;
};

namespace {

using Shared = ClipboardAgent::Shared;

// How soon a job that found the clipboard held open by another program looks again, doubling up to the
// longest interval: trying over and over would keep this thread and Wine's server busy for as long as
// the other program holds on, and the longest interval bounds how late its picture is counted.
constexpr std::chrono::milliseconds kFirstHeldLook{10};
constexpr std::chrono::milliseconds kLongestHeldLook{100};

// The clipboard opened by the agent's thread in the name of the main window. Without a window Wine would
// let two programs that both name none hold it at once. Emptying makes the window its owner, and the
// window's thread, which never waits, answers WM_DESTROYCLIPBOARD at once.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND window) : open_(OpenClipboard(window) != FALSE) {}
    ~OpenClipboardScope() {
        if (open_) CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    bool open() const noexcept { return open_; }

private:
    bool open_;
};

void markStarted(Shared& shared, DWORD sequence) {
    const std::lock_guard lock(shared.mutex);
    shared.status.sequence = sequence;
}

// Whether the clipboard's owner, if another program's window, answers a message within the deadline. One
// that does not would leave us inside GetClipboardData with the clipboard open, for everyone, for as long
// as the system waits on it (a minute under Wine); it is not asked for its picture at all.
bool ownerAnswers(DWORD timeoutMs) {
    const HWND owner = GetClipboardOwner();
    DWORD process = 0;
    if (!owner || !GetWindowThreadProcessId(owner, &process) || process == GetCurrentProcessId()) return true;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result)) return true;
    // An owner that went away meanwhile (a program that let go of the clipboard and ended) is not silent:
    // what it only promised went with it, and what it put there needs nobody to answer.
    return !IsWindow(owner);
}

ClipboardReading read(Shared& shared, DWORD deadlineMs) {
    if (!ownerAnswers(deadlineMs)) return {GetClipboardSequenceNumber(), nullptr, false, true};
    const OpenClipboardScope open(shared.window);
    if (!open.open()) return {GetClipboardSequenceNumber(), nullptr, true};
    // Nobody can change the clipboard while we hold it, so this number belongs to what we read.
    const DWORD sequence = GetClipboardSequenceNumber();
    markStarted(shared, sequence);
    try {
        return {sequence, shared.pictures.readOpenClipboard(), false};
    } catch (...) {
        return {sequence, nullptr, false};  // a bitmap GDI could not copy reads as no picture
    }
}

// Whether the clipboard can be opened now; it is let go again at once, unchanged, which tells nobody.
bool clipboardFree(HWND window) {
    const OpenClipboardScope open(window);
    return open.open();
}

ClearOutcome clear(Shared& shared) {
    const OpenClipboardScope open(shared.window);
    if (!open.open()) return {GetClipboardSequenceNumber(), true, false};
    // EmptyClipboard waits until the previous owner has handled WM_DESTROYCLIPBOARD.
    const bool emptied = CountClipboardFormats() == 0 || EmptyClipboard();
    return {GetClipboardSequenceNumber(), false, emptied};
}

// An emptying that waits for the clipboard to be let go, once it is: whether to empty it now is for the
// window to say, since blocking may have ended meanwhile. It is told that the clipboard was let go, with
// nothing emptied. Called with the mutex held; true when there was such an emptying.
bool announceRelease(Shared& shared) {
    if (!shared.status.clearWaitsForRelease || shared.wantClear) return false;
    shared.status.clearWaitsForRelease = false;
    shared.clearOutcome = ClearOutcome{0, true, false};
    return true;
}

void run(const std::shared_ptr<Shared>& shared) {
    std::unique_lock lock(shared->mutex);
    AgentStatus& status = shared->status;
    std::chrono::milliseconds heldLook{0};  // while a job waits for the clipboard to be let go
    const auto wanted = [&] { return shared->stop || shared->wantRead || shared->wantClear; };
    while (true) {
        if (!status.readWaitsForRelease && !status.clearWaitsForRelease) heldLook = {};
        if (heldLook.count() == 0) {
            shared->wake.wait(lock, wanted);
        } else if (!shared->wake.wait_for(lock, heldLook, wanted)) {
            // Only a look that finds it free costs a read or an emptying, and the owner a message.
            lock.unlock();
            const bool free = clipboardFree(shared->window);
            lock.lock();
            heldLook = std::min(heldLook * 2, kLongestHeldLook);
            if (!free) continue;
            shared->wantRead = shared->wantRead || status.readWaitsForRelease;
            if (announceRelease(*shared)) SendNotifyMessageW(shared->window, shared->message, 0, 0);
            if (!wanted()) continue;
        }
        if (shared->stop) break;
        const bool clearing = shared->wantClear;
        (clearing ? shared->wantClear : shared->wantRead) = false;
        status.requested = shared->wantClear || shared->wantRead;
        status.job = clearing ? AgentJob::Clear : AgentJob::Read;
        ++status.jobNumber;
        status.started = std::chrono::steady_clock::now();
        lock.unlock();
        // Only a read's number is of use (an owner that misses its deadline is known by it); an emptying
        // spares the call, since every call is a trip through Wine's server while another program's data
        // sits on the clipboard.
        if (!clearing) markStarted(*shared, GetClipboardSequenceNumber());
        std::optional<ClipboardReading> reading;
        std::optional<ClearOutcome> outcome;
        if (clearing)
            outcome = clear(*shared);
        else
            reading = read(*shared, shared->deadlineMs);
        lock.lock();
        status.job = AgentJob::None;
        // Held: the window learns nothing new, so it is not told; the release is looked for instead.
        const bool held = reading ? reading->held : outcome->held;
        (clearing ? status.clearWaitsForRelease : status.readWaitsForRelease) = held;
        if (held) {
            heldLook = std::max(heldLook, kFirstHeldLook);
            continue;
        }
        if (reading) shared->reading = std::move(reading);
        if (outcome) shared->clearOutcome = outcome;
        // A read opened the clipboard, so it is free: an emptying that waited for that is told now.
        if (reading && !reading->silent) announceRelease(*shared);
        SendNotifyMessageW(shared->window, shared->message, 0, 0);
    }
    shared->finished = true;
    shared->wake.notify_all();
}

}  // namespace

ClipboardAgent::ClipboardAgent(HWND window, UINT message, std::chrono::milliseconds deadline)
    : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    shared_->message = message;
    shared_->deadlineMs = static_cast<DWORD>(deadline.count());
    shared_->thread = std::thread([shared = shared_] { run(shared); });
}

ClipboardAgent::~ClipboardAgent() {
    std::unique_lock lock(shared_->mutex);
    shared_->stop = true;
    shared_->wake.notify_all();
    // A thread inside GetClipboardData for an owner that never answers comes back only when the system
    // gives up; the program does not wait for that to end.
    const bool finished = shared_->wake.wait_for(lock, std::chrono::seconds(1), [&] { return shared_->finished; });
    lock.unlock();
    if (finished)
        shared_->thread.join();
    else
        shared_->thread.detach();
}

void ClipboardAgent::requestRead() {
    const std::lock_guard lock(shared_->mutex);
    shared_->wantRead = true;
    shared_->status.requested = true;
    shared_->wake.notify_all();
}

void ClipboardAgent::requestClear() {
    const std::lock_guard lock(shared_->mutex);
    shared_->wantClear = true;
    shared_->status.requested = true;
    shared_->wake.notify_all();
}

AgentStatus ClipboardAgent::status() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->status;
}

std::optional<ClipboardReading> ClipboardAgent::takeReading() {
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->reading, std::nullopt);
}

std::optional<ClearOutcome> ClipboardAgent::takeClearOutcome() {
    const std::lock_guard lock(shared_->mutex);
    return std::exchange(shared_->clearOutcome, std::nullopt);
}

}  // namespace zanthrel::win32
