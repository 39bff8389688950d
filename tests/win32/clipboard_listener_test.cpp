// The clipboard service's own listener and the standing emptying order: notices overtake what was
// posted to the window, and under the order another program's copy is emptied with no help from the
// window at all, paced once it turns into a fight, and never after the order is withdrawn.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/texts.h"
#include "platform/win32/win32_clipboard.h"
#include "tests/win32/check.h"
#include "tests/win32/service_support.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace zanthrel::win32test;

namespace {

constexpr UINT kNews = WM_APP + 5;
constexpr UINT kFlooded = WM_USER + 77;

EmptyingOrder blocking() {
    EmptyingOrder order;
    order.active = true;
    return order;
}

// Another program's copy: a thread with a window of its own puts `text` on the clipboard.
void copyFromAnotherWindow(const wchar_t* text) {
    std::thread([text] {
        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (openClipboard(window)) {
            setText(text);
            CloseClipboard();
        }
        DestroyWindow(window);
    }).join();
}

// The window's side: takes in the service's news as the main window does, and keeps what it said.
struct Collected {
    int changes = 0;
    int emptiedChanges = 0;
    int contested = 0;

    void take(Win32Clipboard& clipboard) {
        const Win32Clipboard::News news = clipboard.collect(std::chrono::steady_clock::now());
        for (const ClipboardProblem problem : news.problems) contested += problem == ClipboardProblem::Contested;
        if (!news.change) return;
        ++changes;
        emptiedChanges += news.change->change.emptied;
    }
};

}  // namespace

TEST_CASE("a clipboard change is announced ahead of the posted messages that wait in the window's queue") {
    int floodedHandled = 0;
    int floodedBeforeNotice = -1;
    Win32Clipboard* service = nullptr;
    TestWindow window([&](UINT message) {
        if (message == kFlooded) ++floodedHandled;
        if (message != kNews || !service) return;
        Collected news;
        news.take(*service);
        if (news.changes > 0 && floodedBeforeNotice < 0) floodedBeforeNotice = floodedHandled;
    });
    Win32Clipboard clipboard(&window, kNews, true);
    service = &clipboard;
    CHECK(clipboard.listening());
    // What a flooding program leaves in the queue before the change.
    constexpr int kPosted = 5000;
    for (int i = 0; i < kPosted; ++i) PostMessageW(window.hwnd(), kFlooded, 0, 0);
    copyFromAnotherWindow(L"a change");
    // Drained in order, as the program's loop would; sent messages are handled inside PeekMessage.
    testing::waitUntil(
        [&] {
            pumpMessages();
            return floodedBeforeNotice >= 0 && floodedHandled == kPosted;
        },
        kClipboardWait);
    CHECK_MSG(floodedBeforeNotice >= 0, "the change was never announced");
    CHECK_MSG(floodedBeforeNotice < kPosted / 2,
              "the notice waited behind " + std::to_string(floodedBeforeNotice) + " posted messages");
}

TEST_CASE("under the emptying order a copy is emptied while the window handles nothing, and owned by the service") {
    TestWindow window;
    Win32Clipboard clipboard(&window, kNews, true);
    CHECK(clipboard.listening());
    clipboard.setEmptyingOrder(blocking());
    // The window's thread does not look at its messages from here on: only the service's threads act.
    copyFromAnotherWindow(L"a password");
    CHECK_MSG(testing::waitUntil([] { return CountClipboardFormats() == 0; }, kClipboardWait),
              "the copy was not emptied while the window was busy");
    const HWND owner = GetClipboardOwner();
    DWORD process = 0;
    CHECK_MSG(owner && GetWindowThreadProcessId(owner, &process) && process == GetCurrentProcessId() &&
                  owner != window.hwnd(),
              "the emptied clipboard is not owned by the service's listener");
    // Told afterwards: a change that another program made and the service emptied.
    Collected news;
    CHECK_MSG(testing::waitUntil(
                  [&] {
                      pumpMessages();
                      news.take(clipboard);
                      return news.emptiedChanges > 0;
                  },
                  kClipboardWait),
              "the window was not told of the emptied change");
    clipboard.setEmptyingOrder({});
}

TEST_CASE("after the emptying order is withdrawn a copy stays, and is reported as a change") {
    TestWindow window;
    Win32Clipboard clipboard(&window, kNews, true);
    clipboard.setEmptyingOrder(blocking());
    copyFromAnotherWindow(L"emptied");
    CHECK(testing::waitUntil([] { return CountClipboardFormats() == 0; }, kClipboardWait));
    clipboard.setEmptyingOrder({});
    const DWORD before = GetClipboardSequenceNumber();
    copyFromAnotherWindow(L"kept");
    const DWORD copied = GetClipboardSequenceNumber();
    // The service hears of the copy and passes it on as a change it did not empty; by then it would have
    // emptied it, had it still been ordered to.
    Collected news;
    CHECK_MSG(testing::waitUntil(
                  [&] {
                      pumpMessages();
                      news.take(clipboard);
                      return news.changes > news.emptiedChanges && clipboard.idle();
                  },
                  kClipboardWait),
              "the copy after the withdrawal was never reported");
    CHECK_MSG(copied != before && GetClipboardSequenceNumber() == copied && IsClipboardFormatAvailable(CF_UNICODETEXT),
              "the clipboard was emptied after the order was withdrawn");
}

TEST_CASE("a program that takes the clipboard back at once is emptied at the fight's pace and reported once") {
    Collected news;
    Win32Clipboard* service = nullptr;
    TestWindow window([&](UINT message) {
        if (message == kNews && service) news.take(*service);
    });
    Win32Clipboard clipboard(&window, kNews, true);
    service = &clipboard;
    clipboard.setEmptyingOrder(blocking());
    // The fighter: copies again the instant it finds the clipboard emptied.
    std::atomic<bool> stop{false};
    std::atomic<int> copies{0};
    std::thread fighter([&] {
        const HWND own = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        while (!stop) {
            // Its window answers what it is sent, as a program's does: one that did not would hold up
            // every OpenClipboard under Wine, whose X11 driver asks the clipboard's owner first.
            pumpMessages();
            if (CountClipboardFormats() != 0 || !OpenClipboard(own)) {
                SwitchToThread();
                continue;
            }
            setText(L"again");
            CloseClipboard();
            ++copies;
        }
        DestroyWindow(own);
    });
    // Until the fight is seen, then over a whole second of it.
    const bool fought = testing::waitUntil(
        [&] {
            pumpMessages();
            return news.contested > 0;
        },
        kClipboardWait);
    const int before = copies;
    const auto start = std::chrono::steady_clock::now();
    testing::waitUntil(
        [&] {
            pumpMessages();
            return false;
        },
        std::chrono::seconds(1));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int during = copies - before;
    stop = true;
    fighter.join();
    clipboard.setEmptyingOrder({});
    pumpMessages();
    news.take(clipboard);
    CHECK_MSG(fought, "the fight was never reported");
    CHECK_MSG(news.contested == 1, "the fight was reported " + std::to_string(news.contested) + " times");
    // Each copy of the fighter follows one emptying: no more than one per 5 ms (and a few the window's
    // own requests add), however fast the fighter is.
    const double paced = seconds / 0.005;
    CHECK_MSG(during <= paced * 1.25 + 10,
              std::to_string(during) + " emptyings in " + std::to_string(seconds) + " s of the fight");
    CHECK_MSG(during > 0, "the fight was not answered at all");
}
