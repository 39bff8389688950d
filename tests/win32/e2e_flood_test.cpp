// The real zanthrel.exe while another program works against what it watches: its window's queue flooded
// while captures follow each other, and the clipboard held open with a capture put there meanwhile.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/win32/adversaries.h"
#include "tests/win32/check.h"
#include "tests/win32/e2e_checks.h"
#include "tests/win32/program_driver.h"

using namespace zanthrel;
using namespace zanthrel::e2e;
using namespace std::chrono_literals;
namespace adversary = zanthrel::e2e::adversary;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The count the window shows: one message, where the whole log would be many.
bool countShown(const Zanthrel& program, int count) {
    return program.text("txtCounts") == std::to_string(count);
}

}  // namespace

TEST_CASE("flood-captures") {
    // A spy that records the screen floods the window from two threads, so that captures made half a
    // second apart replace each other before a guard that waited its turn in the queue got to them.
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    std::string latencies;
    std::uint64_t posted = 0;
    {
        adversary::Flood flood(program.mainWindow(), 2);
        CHECK(waitUntil([&] { return flood.posted() > 20000; }));
        auto next = Clock::now();
        for (int capture = 1; capture <= 3; ++capture) {
            std::this_thread::sleep_until(next);
            next += 500ms;
            clipboard::copyPicture(capture);
            const auto copied = Clock::now();
            const bool counted = waitUntil([&] { return countShown(program, capture); }, 500ms);
            latencies += " " + std::to_string(static_cast<int>(msSince(copied))) + " ms";
            CHECK_MSG(counted, "capture " + std::to_string(capture) + " was not counted within 500 ms of its copy " +
                                   "while the window was flooded (counted so far: " + program.text("txtCounts") + ")");
        }
        posted = flood.posted();
    }
    std::printf("flood-captures: counted after%s; %llu messages posted meanwhile\n", latencies.c_str(),
                static_cast<unsigned long long>(posted));
    CHECK(countCaptures(program.log()) == 3);
}

TEST_CASE("held-picture") {
    // Another program opens the clipboard, puts a capture there and keeps it open for 10 s. The guard
    // cannot read it before it lets go, and must count it as soon as it does, without reporting anything.
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    Clock::time_point released;
    {
        clipboard::Holder held;
        adversary::putDib(adversary::dib(64, 48, 7));
        std::this_thread::sleep_for(10s);
        CHECK_MSG(countShown(program, 0), "a capture was counted while the clipboard was held open");
        released = Clock::now();
    }
    CHECK_MSG(waitUntil([&] { return countShown(program, 1); }, 5s), "the capture was not counted after the release");
    std::printf("held-picture: counted %.0f ms after the clipboard was let go\n", msSince(released));
    program.sync();
    CHECK_MSG(program.log().size() == 3, "expected only the capture after the release:" + describeLog(program.log()));
}
