#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// Hears of the clipboard's changes on a thread and a window of its own, and tells `target` with a sent
// `message`. The system *posts* WM_CLIPBOARDUPDATE (Wine's server does, too): a notice for the main
// window would wait behind everything another program posted there first, and a flood of posts would
// hold back sampling until a capture was replaced unseen. A sent message is delivered before any posted
// one. At most one announcement is on its way at a time; changes meanwhile are merged into it.
class ClipboardListener {
public:
    ClipboardListener(HWND target, UINT message);
    ~ClipboardListener();
    ClipboardListener(const ClipboardListener&) = delete;
    ClipboardListener& operator=(const ClipboardListener&) = delete;

    // False when the system would not take the listening window: the target must listen itself.
    bool listening() const noexcept { return listening_; }
    // On the target's thread, as the announcement arrives: a change after this is announced anew.
    void noticeTaken() noexcept { announced_ = false; }

private:
    void run(HWND window);
    void announce() noexcept;

    HWND target_;
    UINT message_;
    bool listening_ = false;
    std::atomic<bool> announced_{false};
    std::atomic<bool> stop_{false};
    KernelHandle wake_;
    std::thread thread_;
};

}  // namespace zanthrel::win32
