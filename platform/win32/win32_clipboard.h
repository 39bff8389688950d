#pragma once

#include <windows.h>

#include <optional>

#include "platform/services.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// The system clipboard as the main window uses it. A read copies the picture, so the clipboard keeps its
// own; while the clipboard's sequence number stands still the last copy is handed out again without
// opening the clipboard, which keeps an idle sampling tick cheap and out of other programs' way.
class Win32Clipboard final : public Clipboard {
public:
    // `owner` is the window that opens the clipboard (none: the calling thread); it must exist whenever
    // the clipboard is used.
    explicit Win32Clipboard(const Window* owner) : owner_(owner) {}

    PictureRef readPicture() override;
    void clear() override;

private:
    const Window* owner_;
    HWND ownerHandle() const noexcept { return owner_ ? owner_->hwnd() : nullptr; }
    std::optional<DWORD> cachedSequence_;
    PictureRef cachedPicture_;
    std::optional<DWORD> emptiedSequence_;  // the clipboard's number when we last left it empty
};

}  // namespace zanthrel::win32
