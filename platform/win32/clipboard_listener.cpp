#include "platform/win32/clipboard_listener.h"

#include <future>

namespace zanthrel::win32 {

ClipboardListener::ClipboardListener(HWND target, UINT message)
    : target_(target), message_(message), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) return;
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, created = std::move(created)]() mutable {
        // A message-only window: nothing to show, and not among the windows other programs enumerate.
        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
        if (window && !AddClipboardFormatListener(window)) {
            DestroyWindow(window);
            created.set_value(nullptr);
            return;
        }
        created.set_value(window);
        if (window) run(window);
    });
    listening_ = window.get() != nullptr;
}

ClipboardListener::~ClipboardListener() {
    stop_ = true;
    if (wake_) SetEvent(wake_.get());
    if (thread_.joinable()) thread_.join();
}

void ClipboardListener::run(HWND window) {
    const HANDLE wake = wake_.get();
    while (!stop_) {
        MSG message{};
        // Notices first: were this window flooded too, they would still not wait behind the posts.
        if (PeekMessageW(&message, window, WM_CLIPBOARDUPDATE, WM_CLIPBOARDUPDATE, PM_REMOVE) ||
            PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_CLIPBOARDUPDATE)
                announce();
            else
                DispatchMessageW(&message);
            continue;
        }
        MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
    }
    RemoveClipboardFormatListener(window);
    DestroyWindow(window);
}

void ClipboardListener::announce() noexcept {
    if (announced_.exchange(true)) return;
    // Sent, not posted: delivered ahead of whatever else waits in the target's queue.
    if (!SendNotifyMessageW(target_, message_, 0, 0)) announced_ = false;
}

}  // namespace zanthrel::win32
