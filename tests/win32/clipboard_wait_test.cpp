// The clipboard service while another program holds the clipboard open: it waits for the release on its
// own thread, without the window's checks or ticks, and answers by itself once it could read.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/runtime_error.h"
#include "platform/win32/win32_clipboard.h"
#include "tests/win32/check.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 5s;

void setText(const wchar_t* text) {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
}

// Takes in what the service's thread finished until `done` holds, as the window would on being told.
template <typename Done>
bool collectUntil(Win32Clipboard& clipboard, Done&& done) {
    return testing::waitUntil([&] { return done(clipboard.collect(std::chrono::steady_clock::now())); }, kWait);
}

}  // namespace

TEST_CASE("a read that finds the clipboard held open waits for the release by itself and answers then") {
    Win32Clipboard clipboard(nullptr, 0);
    {
        CHECK(testing::waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, kWait));
        setText(L"before");
        CloseClipboard();
    }
    try {
        clipboard.readPicture();
    } catch (const RuntimeError&) {
        // the first answer is on its way
    }
    CHECK_MSG(collectUntil(clipboard, [](const Win32Clipboard::News& news) { return news.answered; }),
              "the first answer did not come");

    // Another thread opens it for a window of its own (Wine lets two threads of a process both open
    // it when neither names a window) and changes it while holding it.
    HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        const bool open = testing::waitUntil([&] { return OpenClipboard(window) != FALSE; }, kWait);
        if (open) setText(L"put while held");
        SetEvent(changed);
        WaitForSingleObject(release, 10000);
        if (open) CloseClipboard();
        DestroyWindow(window);
    });
    WaitForSingleObject(changed, 10000);
    PictureRef meanwhile;
    try {
        meanwhile = clipboard.readPicture();  // asks the service's thread, which finds it held
    } catch (const RuntimeError&) {
        // held open by a window: busy
    }
    // Long enough for the service to have tried and looked again a few times.
    std::this_thread::sleep_for(300ms);
    const Win32Clipboard::News whileHeld = clipboard.collect(std::chrono::steady_clock::now());
    const bool restful = clipboard.idle() && !clipboard.needsChecks() && clipboard.atRest(meanwhile);
    const bool stale = !clipboard.upToDate();

    const auto released = std::chrono::steady_clock::now();
    SetEvent(release);
    holder.join();
    CloseHandle(changed);
    CloseHandle(release);
    CHECK_MSG(!whileHeld.answered && whileHeld.problems.empty(), "a held clipboard was answered or reported");
    CHECK_MSG(restful && stale, "a read waiting for a held clipboard kept the window busy");
    // Nobody asks again: the service's own look finds the clipboard free.
    CHECK_MSG(collectUntil(clipboard, [](const Win32Clipboard::News& news) { return news.answered; }),
              "the service did not read the clipboard after it was let go");
    const auto after = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - released);
    std::printf("read %.0f ms after the release\n", after.count());
    CHECK(clipboard.upToDate() && !clipboard.needsChecks());
}
