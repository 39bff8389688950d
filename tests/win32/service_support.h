#pragma once

// What the tests of the Windows clipboard service share: a window of ours whose messages go to the test,
// text put on the clipboard, and another thread that holds the clipboard open as a program does.

#include <windows.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/win32/window.h"
#include "tests/win32/check.h"

namespace zanthrel::win32test {

using namespace std::chrono_literals;

// Under Wine, the bridge to the X selection opens the clipboard for a moment after every change, so
// whoever comes next may find it busy; every use of the clipboard here waits that out.
inline constexpr auto kClipboardWait = 5s;

// Puts `text` on the clipboard opened by the caller, as its only format.
inline void setText(const wchar_t* text) {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
}

// Opens the clipboard for `window`, waiting while another program has it.
inline bool openClipboard(HWND window) {
    return testing::waitUntil([&] { return OpenClipboard(window) != FALSE; }, kClipboardWait);
}

inline void pumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// A message-only window of ours, as the main window is to the clipboard service: it is told of news,
// and hands every message to `onMessage`.
class TestWindow final : public win32::Window {
public:
    explicit TestWindow(std::function<void(UINT)> onMessage = {}) : onMessage_(std::move(onMessage)) {
        registerClass(GetModuleHandleW(nullptr), L"ZanthrelServiceTest", nullptr, nullptr);
        createWindow(0, L"ZanthrelServiceTest", L"", 0, RECT{}, HWND_MESSAGE, 0, GetModuleHandleW(nullptr));
    }
    ~TestWindow() override = default;

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (onMessage_) onMessage_(message);
        return Window::handleMessage(message, wParam, lParam);
    }
    std::function<void(UINT)> onMessage_;
};

// Another thread that opens the clipboard for a window of its own, puts `text` there and keeps it open
// until released, answering its window's messages meanwhile as a program's window does. (One that
// answered nothing would be a silent owner: Wine's X11 driver asks the clipboard's owner before every
// OpenClipboard of another process, at most every 2 s, and waits up to 5 s for the answer.) Wine, unlike
// Windows, lets two threads of a process both open the clipboard when neither names a window; each
// names one here.
class ClipboardHolder {
public:
    explicit ClipboardHolder(const wchar_t* text)
        : opened_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = std::thread([this, text] {
            const HWND window =
                CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            holding_ = openClipboard(window);
            if (holding_) setText(text);
            SetEvent(opened_);
            while (MsgWaitForMultipleObjects(1, &release_, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
                pumpMessages();
            if (holding_) CloseClipboard();
            DestroyWindow(window);
        });
        WaitForSingleObject(opened_, 10000);
    }
    ~ClipboardHolder() {
        release();
        CloseHandle(opened_);
        CloseHandle(release_);
    }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;

    bool holding() const noexcept { return holding_; }
    void release() {
        SetEvent(release_);
        if (thread_.joinable()) thread_.join();
    }

private:
    HANDLE opened_;
    HANDLE release_;
    bool holding_ = false;
    std::thread thread_;
};

}  // namespace zanthrel::win32test
