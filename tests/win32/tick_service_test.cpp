// The sampling ticks' clock on its own thread under Wine: pausing, and starting again unasked.

#include <windows.h>

#include <chrono>
#include <functional>

#include "platform/win32/guard_events.h"
#include "platform/win32/tick_service.h"
#include "tests/win32/check.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 5s;

TickService* countedTicks = nullptr;
unsigned sampleTicks = 0;

LRESULT CALLBACK tickWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kTickMessage) return DefWindowProcW(window, message, wParam, lParam);
    if (countedTicks->takeDue() & TickService::bit(GuardTimer::Sampling)) ++sampleTicks;
    return 0;
}

bool pumpUntil(const std::function<bool()>& condition) {
    return testing::waitUntil(
        [&] {
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            return condition();
        },
        kWait);
}

// Emptying is a change as good as any: the clipboard's sequence number moves.
void changeClipboard() {
    CHECK_MSG(testing::waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, kWait),
              "the test could not open the clipboard within 5 seconds");
    EmptyClipboard();
    CloseClipboard();
}

}  // namespace

TEST_CASE("paused sampling ticks start again by themselves when the clipboard changed without a notice") {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&tickWindow));
    {
        TickService ticks(kTickMessage);
        countedTicks = &ticks;
        ticks.attach(window);
        ticks.setTimer(GuardTimer::Sampling, true, 10);
        CHECK_MSG(pumpUntil([] { return sampleTicks >= 3; }), "no sampling ticks");
        ticks.rest(GuardTimer::Sampling);
        CHECK(ticks.isResting(GuardTimer::Sampling));
        changeClipboard();
        const unsigned before = sampleTicks;
        CHECK_MSG(pumpUntil([&] { return sampleTicks > before && !ticks.isResting(GuardTimer::Sampling); }),
                  "the ticks stayed at rest after the clipboard changed");
        ticks.rest(GuardTimer::Sampling);
        ticks.wake(GuardTimer::Sampling);
        CHECK(!ticks.isResting(GuardTimer::Sampling));
        ticks.rest(GuardTimer::Sampling);
        ticks.setTimer(GuardTimer::Sampling, true, 10);  // enabling again ends a rest
        CHECK(!ticks.isResting(GuardTimer::Sampling));
    }
    countedTicks = nullptr;
    DestroyWindow(window);
}
