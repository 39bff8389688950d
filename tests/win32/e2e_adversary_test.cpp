// The real zanthrel.exe against hostile or broken programs: owners that never answer, pictures that
// lie about themselves, and a flood of posted messages. The guard must stay responsive, report what it
// could not do, and count the next good picture.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/texts.h"
#include "tests/win32/adversaries.h"
#include "tests/win32/check.h"
#include "tests/win32/e2e_checks.h"
#include "tests/win32/program_driver.h"

using namespace zanthrel;
using namespace zanthrel::e2e;
using namespace std::chrono_literals;
namespace adversary = zanthrel::e2e::adversary;

namespace {

// Well below any wait the system itself imposes on a silent owner (seconds): a window that answers
// within this did not wait for one.
constexpr auto kPrompt = 2s;

bool logHas(const Zanthrel& program, std::string_view prefix) {
    for (const std::string& entry : program.log())
        if (startsWith(entry, prefix)) return true;
    return false;
}

// The user switches blocking off and on again; each click must be handled promptly.
void toggleTwicePromptly(const Zanthrel& program, const char* while_) {
    for (int i = 0; i < 2; ++i) {
        const std::size_t before = program.log().size();
        program.click("cmdEnableDisable");
        CHECK_MSG(waitUntil([&] { return program.log().size() > before; }, kPrompt),
                  std::string("a click was not handled promptly while ") + while_);
    }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Monitoring on; each block counts as a capture; the good picture after them is the fourth, and raises
// the alarm, which proves it was counted.
void countedThenAlarm(const std::vector<std::vector<std::uint8_t>>& blocks, const char* what) {
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    std::size_t expected = 0;
    for (const auto& block : blocks) {
        adversary::copyDib(block);
        ++expected;
        CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == expected; }),
                  std::string(what) + " " + std::to_string(expected) + " was not counted");
    }
    adversary::copyDib(adversary::dib(64, 48, 9));
    std::string text;
    program.pressOk(program.waitForMessageBox(L"Warning", text));
    CHECK(countCaptures(program.log()) == 4);
}

}  // namespace

TEST_CASE("malformed-dibs") {
    // Sizes negative, zero and without a negation; pixels a byte short; a few kilobytes of run-length data
    // declaring 3.6 gigapixels; a JPEG-compressed header. Each is a new clipboard content and counts.
    countedThenAlarm({adversary::dib(-64, 48, 1), adversary::dib(64, 0, 2), adversary::dib(64, INT32_MIN, 3)},
                     "malformed size");
    auto jpeg = adversary::dib(64, 48, 4);
    reinterpret_cast<BITMAPINFOHEADER*>(jpeg.data())->biCompression = BI_JPEG;
    const std::size_t exact = adversary::dib(64, 48, 5).size() - sizeof(BITMAPINFOHEADER);
    countedThenAlarm({adversary::dib(64, 48, 5, exact - 1), adversary::rle8(60000, 60000), jpeg}, "undecodable DIB");
}

TEST_CASE("owner-silent") {
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    const auto promised = std::chrono::steady_clock::now();
    {
        adversary::SilentOwner owner(adversary::SilentOwner::Kind::Promise);
        // The program's reader now waits inside the system for a rendering that never comes.
        CHECK_MSG(waitUntil([&] { return logHas(program, texts::kOwnerSilent); }), "the silent owner was not reported");
        std::printf("silent owner reported after %.2f s\n", secondsSince(promised));
        const std::size_t before = program.log().size();
        program.click("cmdStartPause");
        CHECK_MSG(waitUntil([&] { return program.log().size() > before; }, kPrompt),
                  "stopping monitoring was not handled promptly while an owner stayed silent");
        program.click("cmdStartPause");
        CHECK_MSG(waitUntil([&] { return program.log().size() > before + 1; }, kPrompt),
                  "starting monitoring was not handled promptly while an owner stayed silent");

        // The reader holds the clipboard open for as long as the system waits for the owner; a copy
        // goes through once the system gives up, and is counted at once.
        const auto copying = std::chrono::steady_clock::now();
        adversary::copyDib(adversary::dib(64, 48, 1), 60s);
        std::printf("the clipboard could be written again after %.2f s\n", secondsSince(copying));
        CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == 1; }),
                  "the good picture after the silent owner was not counted");
    }
    const auto log = program.log();
    CHECK_MSG(log.size() == 6, "expected one report of the silent owner:" + describeLog(log));
}

TEST_CASE("destroy-ignored") {
    Zanthrel program;
    program.click("cmdEnableDisable");
    waitForLog(program, 2);
    const auto start = std::chrono::steady_clock::now();
    {
        // Its text is emptied at once, and the system then waits for the owner to take note.
        adversary::SilentOwner owner(adversary::SilentOwner::Kind::Text);
        CHECK_MSG(waitUntil([&] { return logHas(program, texts::kNotEmptied); }),
                  "an emptying stuck on the previous owner was not reported");
        std::printf("stuck emptying reported after %.2f s\n", secondsSince(start));
        toggleTwicePromptly(program, "an emptying waited on the previous owner");
        CHECK_MSG(waitUntil([] { return clipboard::isEmpty(); }, 60s), "the clipboard was never emptied");
        std::printf("emptied after %.2f s\n", secondsSince(start));
    }
    clipboard::copyText(L"after the stubborn owner");
    waitUntilEmptied("text after an owner that ignored the emptying");
}

TEST_CASE("flood") {
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    const auto started = std::chrono::steady_clock::now();
    std::uint64_t posted = 0;
    {
        adversary::Flood flood(program.mainWindow());
        CHECK(waitUntil([&] { return flood.posted() > 20000; }));
        for (int capture = 1; capture <= 2; ++capture) {
            clipboard::copyPicture(capture);
            CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == static_cast<std::size_t>(capture); }),
                      "capture " + std::to_string(capture) + " was not counted during the flood");
        }
        posted = flood.posted();
    }
    std::printf("%llu messages posted in %.2f s while two captures were counted\n",
                static_cast<unsigned long long>(posted), secondsSince(started));
    program.click("cmdStartPause");
    waitForLog(program, 5);
    program.click("cmdEnableDisable");
    waitForLog(program, 6);
    {
        adversary::Flood flood(program.mainWindow());
        CHECK(waitUntil([&] { return flood.posted() > 20000; }));
        clipboard::copyText(L"copied during a flood");
        waitUntilEmptied("text copied during a flood");
        clipboard::copyPicture(3);
        waitUntilEmptied("a picture copied during a flood");
    }
    program.sync();
    CHECK(program.log().size() == 6);
}
