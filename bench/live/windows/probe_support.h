#pragma once

// What the probes that run beside zanthrel.exe under Wine share: the clock Linux reads too, waiting while
// answering messages, and a hidden window that uses the clipboard as another program would.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/win32/win32_handle.h"

namespace zanthrel::live {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what);
// The wall clock in nanoseconds since 1970, as Linux reads it.
std::int64_t wallNs();
void print(const std::string& line);

// Handles whatever arrives until the deadline or until `done` holds. Clipboard notices wake it at once;
// it also looks every `poll` in case one went missing, but not more often: every look is a call to the
// Wine server, and a probe that kept the server busy would slow down the program it measures.
template <typename Done>
bool pumpUntil(Clock::time_point deadline, Done&& done,
               std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (done()) return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left, poll).count()), QS_ALLINPUT);
    }
}

bool clipboardEmpty();
// A block of global memory holding `text`, for SetClipboardData.
HANDLE textBlock(const std::wstring& text);

// A hidden window that opens the clipboard and hears of its changes. `procedure`, if given, receives
// the window's messages (WM_CLIPBOARDUPDATE among them); `listen` adds it to the clipboard's listeners.
class ClipboardUser {
public:
    explicit ClipboardUser(WNDPROC procedure = nullptr, bool listen = true);
    ~ClipboardUser();
    ClipboardUser(const ClipboardUser&) = delete;
    ClipboardUser& operator=(const ClipboardUser&) = delete;

    HWND window() const noexcept { return window_.get(); }
    // Puts `data` under `format` and returns the wall-clock time just before the clipboard is closed,
    // which is when other programs are told. The clipboard takes ownership of `data`.
    std::int64_t put(UINT format, HANDLE data);
    // The same, but keeps the clipboard open for `hold` after putting the data there, as a slow or
    // hostile program might; returns the wall-clock time just after it let go.
    std::int64_t hold(UINT format, HANDLE data, std::chrono::seconds hold);

private:
    win32::WindowHandle window_;
    bool listening_;
};

}  // namespace zanthrel::live
