#include "bench/live/windows/race_probe.h"

#include <set>
#include <string>
#include <vector>

#include "bench/live/live_figures.h"
#include "bench/live/windows/probe_support.h"
#include "tests/win32/spy_read.h"

namespace zanthrel::live {
namespace {

using namespace std::chrono_literals;

// Opens the clipboard for `window`, trying again at once a few times while another program has it.
bool openSoon(HWND window, int tries) {
    for (int i = 0; i < tries; ++i) {
        if (OpenClipboard(window)) return true;
        SwitchToThread();
    }
    return false;
}

std::string narrow(const std::wstring& text) {
    return {text.begin(), text.end()};  // the secrets are ASCII
}

struct Spy {
    HWND next = nullptr;  // the viewer chain's next window
    std::set<std::wstring> got;

    void read(HWND window) {
        const std::wstring text = spy::readTextAtOnce(window);
        if (text.rfind(L"secret", 0) == 0 && got.insert(text).second)
            print("got " + narrow(text) + " " + std::to_string(wallNs()));
    }
};
Spy* spying = nullptr;

LRESULT CALLBACK spyWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLIPBOARDUPDATE: spying->read(window); return 0;
        case WM_DRAWCLIPBOARD:
            spying->read(window);
            if (spying->next) SendMessageW(spying->next, message, wParam, lParam);
            return 0;
        case WM_CHANGECBCHAIN:
            if (reinterpret_cast<HWND>(wParam) == spying->next)
                spying->next = reinterpret_cast<HWND>(lParam);
            else if (spying->next)
                SendMessageW(spying->next, message, wParam, lParam);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

struct Fighter {
    HWND window = nullptr;
    int copies = 0;
    std::int64_t copiedAt = 0;  // 0: no copy of ours is waiting to be emptied
    std::vector<double> exposures;

    void takeBack() {
        if (!clipboardEmpty()) return;  // still ours, or another program's: nothing to take back
        if (copiedAt != 0) exposures.push_back(static_cast<double>(wallNs() - copiedAt) / 1e6);
        copiedAt = 0;
        if (!openSoon(window, 100)) return;
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, textBlock(L"fighting " + std::to_wstring(copies)));
        copiedAt = wallNs();
        CloseClipboard();
        ++copies;
    }
};
Fighter* fighting = nullptr;

LRESULT CALLBACK fighterWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CLIPBOARDUPDATE) return DefWindowProcW(window, message, wParam, lParam);
    fighting->takeBack();
    return 0;
}

}  // namespace

int spy(bool viewer, std::chrono::seconds duration) {
    Spy state;
    spying = &state;
    ClipboardUser user(spyWindow, !viewer);
    if (viewer) state.next = SetClipboardViewer(user.window());
    print("ready");
    pumpUntil(
        Clock::now() + duration, [] { return false; }, std::chrono::milliseconds(duration));
    if (viewer) ChangeClipboardChain(user.window(), state.next);
    spying = nullptr;
    return 0;
}

int copySecrets(int count, std::chrono::milliseconds spacing) {
    ClipboardUser user;
    const auto start = Clock::now();
    for (int i = 1; i <= count; ++i) {
        pumpUntil(start + (i - 1) * spacing, [] { return false; });
        const std::int64_t copied = user.put(CF_UNICODETEXT, textBlock(L"secret" + std::to_wstring(i)));
        if (pumpUntil(Clock::now() + 1s, clipboardEmpty))
            print("exposed " + formatFigure(static_cast<double>(wallNs() - copied) / 1e6) + " " +
                  std::to_string(copied));
        else
            print("kept");
    }
    return 0;
}

int fight(std::chrono::seconds duration) {
    Fighter state;
    fighting = &state;
    ClipboardUser user(fighterWindow);
    state.window = user.window();
    const auto start = Clock::now();
    // Woken by every notice; the look after each, and every 20 ms, keeps it going should one be missed.
    pumpUntil(start + duration, [&] {
        state.takeBack();
        return false;
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Summary summary = summarize(state.exposures);
    print(figureLine("fight_copies_per_s", static_cast<double>(state.copies) / seconds, "/s"));
    print(figureLine("fight_exposure_median_ms", summary.median, "ms"));
    print(figureLine("fight_exposure_p90_ms", summary.p90, "ms"));
    print(figureLine("fight_exposure_max_ms", summary.max, "ms"));
    fighting = nullptr;
    return 0;
}

}  // namespace zanthrel::live
