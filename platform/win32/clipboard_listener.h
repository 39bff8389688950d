#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// What the listener passes on, from its own thread, the moment it hears it. Neither may wait on
// another program: the second is told inside a message that another program sent and waits for.
class ClipboardNotices {
public:
    virtual ~ClipboardNotices() = default;
    // The clipboard changed (WM_CLIPBOARDUPDATE).
    virtual void changed() noexcept = 0;
    // Another program is emptying the clipboard that the listener's window owns, to copy
    // (WM_DESTROYCLIPBOARD); `copier` is the window it opened the clipboard with. True when a race to take
    // the clipboard back the instant the copier lets go begins.
    virtual bool emptiedByAnother(HWND copier) noexcept = 0;
};

// Hears of the clipboard's changes on a thread and a window of its own. The system *posts*
// WM_CLIPBOARDUPDATE (Wine's server does, too): a notice for the main window would wait behind
// everything another program posted there first, and a flood of posts would hold back sampling until a
// capture was replaced unseen. Its window is also the one the clipboard agent empties the clipboard
// with, so that it owns the emptied clipboard: a program that copies must empty it first, and its
// thread, which never waits on anyone, hears of that (WM_DESTROYCLIPBOARD) before any listener hears of
// the copy.
class ClipboardListener {
public:
    explicit ClipboardListener(ClipboardNotices& notices);
    ~ClipboardListener();
    ClipboardListener(const ClipboardListener&) = delete;
    ClipboardListener& operator=(const ClipboardListener&) = delete;

    // False when the system would not take the listening window: the main window must listen itself.
    bool listening() const noexcept { return window_ != nullptr; }
    HWND window() const noexcept { return window_; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run();

    ClipboardNotices& notices_;
    HWND window_ = nullptr;
    std::atomic<bool> stop_{false};
    KernelHandle wake_;
    std::thread thread_;
};

}  // namespace zanthrel::win32
