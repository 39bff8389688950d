// The clipboard service while another program holds the clipboard open: it waits for the release on its
// own thread, without the window's checks or ticks, and answers by itself once it could read.

#include <windows.h>

#include <chrono>
#include <cstdio>

#include "core/runtime_error.h"
#include "platform/win32/win32_clipboard.h"
#include "tests/win32/check.h"
#include "tests/win32/service_support.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace zanthrel::win32test;

namespace {

// Takes in what the service's thread finished until `done` holds, as the window would on being told.
template <typename Done>
bool collectUntil(Win32Clipboard& clipboard, Done&& done) {
    return testing::waitUntil([&] { return done(clipboard.collect(std::chrono::steady_clock::now())); },
                              kClipboardWait);
}

}  // namespace

TEST_CASE("a read that finds the clipboard held open waits for the release by itself and answers then") {
    Win32Clipboard clipboard(nullptr, 0);
    {
        CHECK(openClipboard(nullptr));
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

    // Another thread opens it and changes it while holding it.
    ClipboardHolder holder(L"put while held");
    CHECK_MSG(holder.holding(), "the other thread could not open the clipboard within 5 seconds");
    PictureRef meanwhile;
    try {
        meanwhile = clipboard.readPicture();  // asks the service's thread, which finds it held
    } catch (const RuntimeError&) {
        // held open by a window: busy
    }
    // The service has tried, and looked again twice by itself, without anybody asking.
    Win32Clipboard::News whileHeld;
    const bool looked = testing::waitUntil(
        [&] {
            const Win32Clipboard::News news = clipboard.collect(std::chrono::steady_clock::now());
            whileHeld.answered = whileHeld.answered || news.answered;
            whileHeld.problems.insert(whileHeld.problems.end(), news.problems.begin(), news.problems.end());
            return clipboard.status().readWaitsForRelease && clipboard.status().looksWhileHeld >= 2;
        },
        kClipboardWait);
    const bool restful = clipboard.idle() && !clipboard.needsChecks() && clipboard.atRest(meanwhile);
    const bool stale = !clipboard.upToDate();

    const auto released = std::chrono::steady_clock::now();
    holder.release();
    CHECK_MSG(looked, "the service did not look at the held clipboard again by itself");
    CHECK_MSG(!whileHeld.answered && whileHeld.problems.empty(), "a held clipboard was answered or reported");
    CHECK_MSG(restful && stale, "a read waiting for a held clipboard kept the window busy");
    // Nobody asks again: the service's own look finds the clipboard free.
    CHECK_MSG(collectUntil(clipboard, [](const Win32Clipboard::News& news) { return news.answered; }),
              "the service did not read the clipboard after it was let go");
    const auto after = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - released);
    std::printf("read %.0f ms after the release\n", after.count());
    CHECK(clipboard.upToDate() && !clipboard.needsChecks());
}
