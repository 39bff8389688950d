// The listener for the clipboard's changes: its notice overtakes whatever was posted to the window first.

#include <windows.h>

#include <chrono>
#include <string>

#include "platform/win32/clipboard_listener.h"
#include "tests/win32/check.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace std::chrono_literals;

namespace {

constexpr UINT kChanged = WM_APP + 5;
constexpr UINT kFlooded = WM_USER + 77;

int floodedHandled = 0;
int floodedBeforeNotice = -1;

LRESULT CALLBACK floodedWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kFlooded) ++floodedHandled;
    if (message == kChanged && floodedBeforeNotice < 0) floodedBeforeNotice = floodedHandled;
    return message == kFlooded || message == kChanged ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST_CASE("a clipboard change is announced ahead of the posted messages that wait in the window's queue") {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&floodedWindow));
    {
        ClipboardListener listener(window, kChanged);
        CHECK(listener.listening());
        // What a flooding program leaves in the queue before the change.
        constexpr int kPosted = 5000;
        for (int i = 0; i < kPosted; ++i) PostMessageW(window, kFlooded, 0, 0);
        CHECK(testing::waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 5s));
        EmptyClipboard();
        CloseClipboard();
        // Drained in order, as the program's loop would; sent messages are handled inside PeekMessage.
        testing::waitUntil(
            [&] {
                MSG message{};
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                return floodedBeforeNotice >= 0 && floodedHandled == kPosted;
            },
            5s);
        CHECK_MSG(floodedBeforeNotice >= 0, "the change was never announced");
        CHECK_MSG(floodedBeforeNotice < kPosted / 2,
                  "the notice waited behind " + std::to_string(floodedBeforeNotice) + " posted messages");
    }
    DestroyWindow(window);
}
