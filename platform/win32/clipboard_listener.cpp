#include "platform/win32/clipboard_listener.h"

#include <future>

namespace zanthrel::win32 {

ClipboardListener::ClipboardListener(ClipboardNotices& notices)
    : notices_(notices), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) return;
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, created = std::move(created)]() mutable {
        // A message-only window: nothing to show, and not among the windows other programs enumerate.
        HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&windowProcedure));
            if (!AddClipboardFormatListener(window)) {
                DestroyWindow(window);
                window = nullptr;
            }
        }
        window_ = window;
        created.set_value(window);
        if (window) run();
    });
    if (!window.get() && thread_.joinable()) thread_.join();
}

ClipboardListener::~ClipboardListener() {
    stop_ = true;
    if (wake_) SetEvent(wake_.get());
    if (thread_.joinable()) thread_.join();
}

LRESULT CALLBACK ClipboardListener::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DESTROYCLIPBOARD) return DefWindowProcW(window, message, wParam, lParam);
    // Sent by a program inside its EmptyClipboard, which waits for the answer: the agent is told, and the
    // answer goes back at once. Our own agent's emptying opens the clipboard with this window.
    const HWND copier = GetOpenClipboardWindow();
    if (copier == window) return 0;
    auto* listener = reinterpret_cast<ClipboardListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!listener) return 0;
    // Wine's X11 driver has every OpenClipboard ask the clipboard's owner first (at most every 2 s a
    // process, and waits for the answer): asked now, while the owner is still this window, it answers
    // itself, and the race that begins is not held up asking a copier that is busy copying. The copier
    // has the clipboard open, so this opens nothing.
    if (listener->notices_.emptiedByAnother(copier) && OpenClipboard(window)) CloseClipboard();
    return 0;
}

void ClipboardListener::run() {
    const HANDLE wake = wake_.get();
    while (!stop_) {
        MSG message{};
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        // Notices first: were this window flooded too, one would not wait behind the posts.
        MSG notice{};
        if (message.message != WM_CLIPBOARDUPDATE &&
            PeekMessageW(&notice, window_, WM_CLIPBOARDUPDATE, WM_CLIPBOARDUPDATE, PM_REMOVE))
            notices_.changed();
        if (message.message == WM_CLIPBOARDUPDATE)
            notices_.changed();
        else
            DispatchMessageW(&message);
    }
    RemoveClipboardFormatListener(window_);
    DestroyWindow(window_);
}

}  // namespace zanthrel::win32
