#include "platform/win32/clipboard_access.h"

#include <algorithm>

#include "pictures/content_digest.h"
#include "pictures/packed_dib.h"
#include "platform/win32/win32_picture.h"

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

class GlobalLockScope {
public:
    explicit GlobalLockScope(HANDLE block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockScope() {
        if (data_) GlobalUnlock(block_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    const void* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return data_ ? GlobalSize(block_) : 0; }

private:
    HANDLE block_;
    void* data_;
};

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

PictureRef pictureOfBlock(LastDelivery& last, HANDLE handle) {
    const GlobalLockScope block(handle);
    if (!block.data()) return nullptr;
    // Only the bytes the picture uses count: GlobalSize may round up, and what lies beyond is noise.
    std::size_t used = block.size();
    const PackedDibCheck check = inspectPackedDib(block.data(), used);
    if (check.kind != PackedDibKind::Undecodable)
        used = std::min(used, check.layout.pixelOffset + check.layout.pixelBytes);
    const PictureDigest digest = digestOf(block.data(), used);
    if (digest == last.digest)
        if (PictureRef same = last.picture.lock()) return same;
    PictureRef picture = Win32Picture::fromPackedDib(block.data(), used, digest);
    last.digest = digest;
    last.picture = picture;
    return picture;
}

// The picture on the open clipboard. A DIB format the owner offered is read as it is; CF_BITMAP only
// when the owner offered no DIB, or offered its bitmap first and its DIB failed. Asking for a format the
// system must make from another would have it convert on every read, and a malformed DIB converted by
// the system is exactly what must not reach GDI.
PictureRef pictureOnOpenClipboard(LastDelivery& last) {
    UINT dibFormat = 0;
    bool bitmap = false;
    bool bitmapFirst = false;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        if ((format == CF_DIB || format == CF_DIBV5) && dibFormat == 0) dibFormat = format;
        if (format == CF_BITMAP) {
            bitmap = true;
            bitmapFirst = bitmapFirst || dibFormat == 0;
        }
    }
    if (dibFormat != 0) {
        if (const HANDLE block = GetClipboardData(dibFormat)) return pictureOfBlock(last, block);
        // An owner that did not render its DIB would be asked again for the bitmap made from it.
        if (!bitmapFirst) return nullptr;
    }
    if (!bitmap) return nullptr;
    const auto handle = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    return handle ? Win32Picture::copyOf(handle) : nullptr;
}

}  // namespace

ClipboardReading readClipboard(HWND opener, DWORD ownerDeadlineMs, LastDelivery& last) {
    if (!ownerAnswers(ownerDeadlineMs)) return {GetClipboardSequenceNumber(), nullptr, false, true};
    const OpenClipboardScope open(opener);
    if (!open.open()) return {GetClipboardSequenceNumber(), nullptr, true};
    // Nobody can change the clipboard while we hold it, so this number belongs to what we read.
    const DWORD sequence = GetClipboardSequenceNumber();
    try {
        return {sequence, pictureOnOpenClipboard(last), false};
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
