#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/win32/clipboard_job.h"
#include "platform/win32/clipboard_pictures.h"

namespace zanthrel::win32 {

// One visit each to the system clipboard, as the clipboard agent's thread makes them for the job. Each
// may wait on another program; none keeps the clipboard open longer than the visit. `opener` is the
// window the clipboard is opened with, and the owner of what an emptying leaves.

// The picture on the clipboard, as `pictures` reads it. The clipboard's owner must answer a message within
// ClipboardJob::kOwnerDeadline before it is asked for its picture.
ClipboardReading readClipboard(HWND opener, ClipboardPictures& pictures);
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
