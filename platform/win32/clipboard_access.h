#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "pictures/content_digest.h"
#include "platform/win32/clipboard_job.h"

namespace zanthrel::win32 {

// One visit each to the system clipboard, as the clipboard agent's thread makes them for the job. Each
// may wait on another program; none keeps the clipboard open longer than the visit. `opener` is the
// window the clipboard is opened with, and the owner of what an emptying leaves.

// The last picture delivered, so that the same bytes again give the same picture.
struct LastDelivery {
    PictureDigest digest;
    std::weak_ptr<const Picture> picture;
};

// The picture on the clipboard. The clipboard's owner must answer a message within `ownerDeadlineMs`
// before it is asked for its picture.
ClipboardReading readClipboard(HWND opener, DWORD ownerDeadlineMs, LastDelivery& last);
// The process behind the owner window whose copy the last emptying removed, kept so that a program that
// copies again and again is looked up once.
struct LastOwner {
    HWND window = nullptr;
    std::uint32_t process = 0;
};

// Empties the clipboard and owns it, unless `stillWanted` says no once it is open.
EmptyingOutcome emptyClipboard(HWND opener, const std::function<bool()>& stillWanted, LastOwner& last);
// Whether the clipboard can be opened now.
bool clipboardFree(HWND opener);

}  // namespace zanthrel::win32
