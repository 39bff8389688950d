// Pictures in every format a Windows program may put on the clipboard, each format alone, as a program
// that wants its pictures to pass unseen would try them: four distinct pictures in any of them are four
// captures and the alarm, the same bytes again count nothing, one picture offered in two formats at
// once counts once, and text is never a picture.

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "core/texts.h"
#include "tests/win32/check.h"
#include "tests/win32/e2e_checks.h"
#include "tests/win32/program_driver.h"
#include "tests/win32/test_pictures.h"

using namespace zanthrel;
using namespace zanthrel::e2e;
using testing::clipboardItem;
using testing::putOnClipboard;

namespace {

// Time for the program to read what was just put on the clipboard, had it anything to count. Waiting
// proves nothing by itself; a count that changes meanwhile does.
void letItRead(const Zanthrel& program) {
    std::this_thread::sleep_for(200ms);
    program.sync();
}

void waitForCaptures(const Zanthrel& program, std::size_t expected, const std::string& what) {
    CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == expected; }),
              what + " was not counted;" + describeLog(program.log()));
}

// A fresh program monitoring a clipboard that holds text; `put(n)` puts the n-th of four distinct
// pictures there. Each counts once, checked a while after it was counted when `settle(n)`, and the
// fourth raises the alarm.
template <typename Put, typename Settle>
void fourCapturesRaiseTheAlarm(const std::string& what, Put&& put, Settle&& settle) {
    putOnClipboard({{CF_UNICODETEXT, {'a', 0, 0, 0}}});
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    for (std::size_t picture = 1; picture <= 3; ++picture) {
        put(picture);
        waitForCaptures(program, picture, what + ": picture " + std::to_string(picture));
        if (!settle(picture, program)) continue;
        letItRead(program);
        CHECK_MSG(countCaptures(program.log()) == picture,
                  what + ": counted once more after picture " + std::to_string(picture) + describeLog(program.log()));
    }
    put(4);
    std::string text;
    program.pressOk(program.waitForMessageBox(L"Warning", text));
    const auto log = waitForLog(program, 9);  // two, four captures, the alarm, monitoring stopped, blocked
    CHECK_MSG(countCaptures(log) == 4, what + ": not four captures at the alarm;" + describeLog(log));
}

}  // namespace

TEST_CASE("picture-formats") {
    // Each picture in PNG and as a DIB at once, after text copied again and again: one capture a picture.
    fourCapturesRaiseTheAlarm(
        "PNG and CF_DIB at once",
        [](std::size_t n) {
            if (n == 1) {
                putOnClipboard({{CF_UNICODETEXT, {'b', 0, 0, 0}}});
                putOnClipboard({{CF_UNICODETEXT, {'c', 0, 0, 0}}});
            }
            const int seed = static_cast<int>(n);
            putOnClipboard({clipboardItem("PNG", seed), clipboardItem("CF_DIB", seed)});
        },
        [](std::size_t, const Zanthrel&) { return true; });

    // Each format alone; the first picture put there again, with the very same bytes, counts nothing.
    int seed = 10;
    for (const std::string format :
         {"PNG", "image/png", "JFIF", "GIF", "image/webp", "CF_TIFF", "CF_ENHMETAFILE", "CF_DIB"}) {
        seed += 10;
        fourCapturesRaiseTheAlarm(
            format, [&](std::size_t n) { putOnClipboard({clipboardItem(format, seed + static_cast<int>(n))}); },
            [&](std::size_t n, const Zanthrel&) {
                if (n == 1) putOnClipboard({clipboardItem(format, seed + 1)});
                return n == 1;
            });
    }
}
