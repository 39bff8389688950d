#include "platform/win32/win32_clipboard.h"

#include "platform/runtime_error.h"
#include "platform/win32/win32_picture.h"

namespace zanthrel::win32 {
namespace {

// The clipboard held open for one operation.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) {
        if (!OpenClipboard(owner)) throw RuntimeError(ErrorKind::ClipboardBusy, "the clipboard is open elsewhere");
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

// Locks a global memory block for reading.
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

// The picture on the open clipboard, from whichever bitmap format it offers; the system converts
// between CF_BITMAP, CF_DIB and CF_DIBV5, so one of them is enough, and the others are fallbacks.
PictureRef pictureOnOpenClipboard() {
    if (IsClipboardFormatAvailable(CF_BITMAP)) {
        if (const auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP))) {
            try {
                return Win32Picture::copyOf(bitmap);
            } catch (const RuntimeError&) {
                // A bitmap GDI could not copy (a device-dependent one it cannot convert): the DIB
                // formats below may still carry the same picture.
            }
        }
    }
    for (const UINT format : {CF_DIBV5, CF_DIB}) {
        if (!IsClipboardFormatAvailable(format)) continue;
        const GlobalLockScope block(GetClipboardData(format));
        if (PictureRef picture = Win32Picture::fromPackedDib(block.data(), block.size())) return picture;
    }
    return nullptr;
}

}  // namespace

PictureRef Win32Clipboard::readPicture() {
    if (cachedSequence_ && *cachedSequence_ == GetClipboardSequenceNumber()) return cachedPicture_;
    const OpenClipboardScope open(ownerHandle());
    // Nobody can change the clipboard while we hold it, so this number belongs to what we read.
    const DWORD sequence = GetClipboardSequenceNumber();
    PictureRef picture = pictureOnOpenClipboard();
    cachedPicture_ = picture;
    cachedSequence_ = sequence;
    return picture;
}

void Win32Clipboard::clear() {
    // Nothing has been put on the clipboard since we last left it empty. Opening and emptying it again
    // would take it from other programs and wake every clipboard viewer 200 times a second for nothing.
    if (emptiedSequence_ && *emptiedSequence_ == GetClipboardSequenceNumber()) return;
    const OpenClipboardScope open(ownerHandle());
    if (CountClipboardFormats() != 0 && !EmptyClipboard())
        throw RuntimeError(ErrorKind::PlatformFailure, "EmptyClipboard failed");
    emptiedSequence_ = GetClipboardSequenceNumber();
}

}  // namespace zanthrel::win32
