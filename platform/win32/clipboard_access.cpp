#include "platform/win32/clipboard_access.h"

namespace zanthrel::win32 {
namespace {

// The clipboard opened by the agent's thread in the name of a window of ours (the listener's). Without a
// window Wine would let two programs that both name none hold it at once. Emptying makes the window its
// owner, and the window's thread, which never waits, answers WM_DESTROYCLIPBOARD at once.
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

// Whether the clipboard's owner, if another program's window, answers a message within the deadline. One
// that does not would leave us inside GetClipboardData with the clipboard open, for everyone, for as long
// as the system waits on it (a minute under Wine); it is not asked for its picture at all.
bool ownerAnswers() {
    const HWND owner = GetClipboardOwner();
    DWORD process = 0;
    if (!owner || !GetWindowThreadProcessId(owner, &process) || process == GetCurrentProcessId()) return true;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                            static_cast<UINT>(ClipboardJob::kOwnerDeadline.count()), &result))
        return true;
    // An owner that went away meanwhile (a program that let go of the clipboard and ended) is not silent:
    // what it only promised went with it, and what it put there needs nobody to answer.
    return !IsWindow(owner);
}

}  // namespace

ClipboardReading readClipboard(HWND opener, ClipboardPictures& pictures) {
    if (!ownerAnswers()) return {GetClipboardSequenceNumber(), nullptr, false, true};
    const OpenClipboardScope open(opener);
    if (!open.open()) return {GetClipboardSequenceNumber(), nullptr, true};
    // Nobody can change the clipboard while we hold it, so this number belongs to what we read.
    const DWORD sequence = GetClipboardSequenceNumber();
    try {
        return {sequence, pictures.readOpenClipboard(), false};
    } catch (...) {
        return {sequence, nullptr, false};  // a bitmap GDI could not copy reads as no picture
    }
}

EmptyingOutcome emptyClipboard(HWND opener, const std::function<bool()>& stillWanted, LastOwner& last) {
    EmptyingOutcome outcome;
    HWND owner = nullptr;
    {
        const OpenClipboardScope open(opener);
        if (!open.open()) {
            outcome.held = true;
            return outcome;
        }
        owner = GetClipboardOwner();
        // Withdrawn while we waited for the clipboard: what is on it now stays.
        if (!stillWanted()) return outcome;
        const bool formats = CountClipboardFormats() != 0;
        // An empty clipboard of our own is left alone: emptying it again would wake every watcher. Empty and
        // another's, it is taken, so that the next copier has to tell us first.
        if (!formats && (!opener || owner == opener)) {
            outcome.emptied = true;
            outcome.sequence = GetClipboardSequenceNumber();
            return outcome;
        }
        // EmptyClipboard waits until the previous owner has handled WM_DESTROYCLIPBOARD.
        outcome.emptied = EmptyClipboard() != FALSE;
        outcome.removed = outcome.emptied && formats;
        outcome.sequence = GetClipboardSequenceNumber();
    }
    if (!outcome.removed || !owner || owner == opener) return outcome;
    // A window belongs to one process for as long as its handle lives.
    if (owner != last.window) {
        DWORD process = 0;
        GetWindowThreadProcessId(owner, &process);
        last = {owner, process == GetCurrentProcessId() ? 0 : static_cast<std::uint32_t>(process)};
    }
    outcome.ownerProcess = last.process;
    return outcome;
}

bool clipboardFree(HWND opener) {
    // Let go again at once, unchanged, which tells nobody.
    const OpenClipboardScope open(opener);
    return open.open();
}

}  // namespace zanthrel::win32
