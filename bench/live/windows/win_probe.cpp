// Another program beside zanthrel.exe under Wine, for the live measurements:
//   exposure COUNT SPACING_MS            puts a text on the clipboard COUNT times and prints how long it
//                                        stayed there (blocking must be on)
//   copy-pictures COUNT SPACING_MS W H SEED [HOLD_S]
//                                        copies up to COUNT bitmaps as Print Screen would, until the
//                                        clipboard is emptied; prints `copy <ns>` (wall clock, as Linux
//                                        reads it) for each; waits up to HOLD_S (5) for the last one to go
//   hold-picture HOLD_S W H SEED         opens the clipboard, puts a bitmap there and keeps it open for
//                                        HOLD_S, answering its messages meanwhile; prints `release <ns>`
//                                        as it lets go
//   do STEP...                           works zanthrel.exe's window: start, stop, block, unblock (clicks
//                                        that must change the button's caption), ok-warning (closes the
//                                        alarm's box)
//   spy listener|viewer SECONDS          reads every text the instant it hears of a change (race_probe.h)
//   secrets COUNT SPACING_MS             copies "secret1"... and prints how long each stayed
//   fight SECONDS                        takes the clipboard back the instant it finds it emptied

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/live/live_figures.h"
#include "bench/live/test_picture.h"
#include "bench/live/windows/probe_support.h"
#include "bench/live/windows/race_probe.h"
#include "core/texts.h"
#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/win32_handle.h"

namespace {

using namespace zanthrel;
using namespace zanthrel::live;
using namespace std::chrono_literals;

int exposure(int count, std::chrono::milliseconds spacing) {
    ClipboardUser user;
    std::vector<double> samples;
    int kept = 0;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        pumpUntil(start + i * spacing, [] { return false; });
        const std::int64_t copied = user.put(CF_UNICODETEXT, textBlock(L"exposure probe " + std::to_wstring(i)));
        if (!pumpUntil(Clock::now() + 1s, clipboardEmpty)) {
            ++kept;
            continue;
        }
        samples.push_back(static_cast<double>(wallNs() - copied) / 1e6);
    }
    for (const std::string& line : live::exposureFigures(samples, kept)) print(line);
    return 0;
}

// A device-dependent bitmap of the screen's format, as Print Screen puts on the clipboard.
win32::BitmapHandle screenLikeBitmap(int width, int height, std::uint32_t seed) {
    const std::vector<std::uint32_t> pixels = live::desktopLikePixels(width, height, seed);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as the pixels are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const win32::ScreenDc screen;
    win32::BitmapHandle bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (!bitmap || SetDIBits(screen.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                             DIB_RGB_COLORS) != height)
        fail("could not make the bitmap");
    return bitmap;
}

int copyPictures(int count, std::chrono::milliseconds spacing, int width, int height, int seed,
                 std::chrono::seconds hold) {
    ClipboardUser user;
    win32::BitmapHandle next = screenLikeBitmap(width, height, static_cast<std::uint32_t>(seed));
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        // Emptied before the next copy: the alarm blocked the clipboard, so further copies prove nothing.
        if (pumpUntil(start + i * spacing, [i] { return i > 0 && clipboardEmpty(); })) {
            std::fprintf(stderr, "live probe: the clipboard was emptied after %d copies\n", i);
            return 0;
        }
        print("copy " + std::to_string(user.put(CF_BITMAP, next.release())));
        if (i + 1 < count) next = screenLikeBitmap(width, height, static_cast<std::uint32_t>(seed + i + 1));
    }
    // The alarm blocks the clipboard after the fourth capture; until then the picture stays offered.
    pumpUntil(Clock::now() + hold, clipboardEmpty);
    return 0;
}

int holdPicture(std::chrono::seconds hold, int width, int height, int seed) {
    ClipboardUser user;
    win32::BitmapHandle bitmap = screenLikeBitmap(width, height, static_cast<std::uint32_t>(seed));
    print("release " + std::to_string(user.hold(CF_BITMAP, bitmap.release(), hold)));
    return 0;
}

struct Search {
    const wchar_t* className;
    const wchar_t* caption;
    DWORD processId;  // 0: any
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) noexcept {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {}, caption[64] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, caption, 64);
    if ((search.processId && owner != search.processId) || !IsWindowVisible(window) ||
        std::wcscmp(className, search.className) != 0 || std::wcscmp(caption, search.caption) != 0)
        return TRUE;
    search.found = window;
    return FALSE;
}

HWND waitForWindow(const wchar_t* className, const wchar_t* caption, DWORD processId, std::chrono::seconds timeout) {
    Search search{className, caption, processId, nullptr};
    pumpUntil(Clock::now() + timeout, [&] {
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

std::wstring widen(std::string_view text) {
    return {text.begin(), text.end()};  // the captions are ASCII
}

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

HWND button(HWND main, std::string_view name) {
    const auto& controls = mainWindowLayout().controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].name == name) return GetDlgItem(main, win32::kMainControlIdBase + static_cast<int>(i));
    fail("no control " + std::string(name));
}

// Clicks a button once it can be clicked and waits for the caption the click must give it.
void click(HWND target, std::string_view captionAfter, const std::string& step) {
    if (!target) fail(step + ": the button is missing");
    if (!pumpUntil(Clock::now() + 10s, [&] { return IsWindowEnabled(target) != FALSE; }))
        fail(step + ": the button stayed disabled");
    PostMessageW(target, BM_CLICK, 0, 0);
    const std::wstring expected = widen(captionAfter);
    if (!pumpUntil(Clock::now() + 10s, [&] { return textOf(target) == expected; }))
        fail(step + ": the click did not take effect");
}

int steps(const std::vector<std::string>& names) {
    const HWND main = waitForWindow(win32::kMainWindowClass, L"Zanthrel", 0, 30s);
    if (!main) fail("no Zanthrel window within 30 s");
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    for (const std::string& step : names) {
        if (step == "start") {
            click(button(main, "cmdStartPause"), texts::kStopCaption, step);
        } else if (step == "stop") {
            click(button(main, "cmdStartPause"), texts::kStartCaption, step);
        } else if (step == "block") {
            click(button(main, "cmdEnableDisable"), texts::kUnblockCaption, step);
        } else if (step == "unblock") {
            click(button(main, "cmdEnableDisable"), texts::kBlockCaption, step);
        } else if (step == "ok-warning") {
            const std::wstring title = widen(texts::kWarningTitle);
            const HWND box = waitForWindow(L"#32770", title.c_str(), processId, 10s);
            if (!box) fail("no warning box within 10 s");
            PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            if (!pumpUntil(Clock::now() + 10s, [&] { return IsWindow(box) == FALSE; }))
                fail("the warning box did not close on OK");
        } else {
            fail("unknown step " + step);
        }
    }
    return 0;
}

// A whole number of at most a million, or -1.
int smallNumber(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= 1'000'000 ? static_cast<int>(value) : -1;
}

// The race against blocking, which only this probe runs: spy, secrets, fight. -1: none of them.
int race(int argc, char* argv[]) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "spy" && argc == 4 && smallNumber(argv[3]) > 0) {
        const std::string_view kind = argv[2];
        if (kind == "listener" || kind == "viewer")
            return spy(kind == "viewer", std::chrono::seconds(smallNumber(argv[3])));
    } else if (mode == "secrets" && argc == 4 && smallNumber(argv[2]) > 0 && smallNumber(argv[3]) >= 0) {
        return copySecrets(smallNumber(argv[2]), std::chrono::milliseconds(smallNumber(argv[3])));
    } else if (mode == "fight" && argc == 3 && smallNumber(argv[2]) > 0) {
        return fight(std::chrono::seconds(smallNumber(argv[2])));
    }
    return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        if (const int status = race(argc, argv); status >= 0) return status;
        const live::ProbeCommand command = live::parseProbeCommand({argv + (argc > 0 ? 1 : 0), argv + argc});
        const std::chrono::milliseconds spacing(command.spacingMs);
        switch (command.mode) {
            case live::ProbeCommand::Mode::Exposure: return exposure(command.count, spacing);
            case live::ProbeCommand::Mode::CopyPictures:
                return copyPictures(command.count, spacing, command.width, command.height, command.seed,
                                    std::chrono::seconds(command.holdSeconds));
            case live::ProbeCommand::Mode::Steps: return steps(command.steps);
            case live::ProbeCommand::Mode::HoldPicture:
                return holdPicture(std::chrono::seconds(command.holdSeconds), command.width, command.height,
                                   command.seed);
            default: break;
        }
        std::fprintf(stderr,
                     "usage: zanthrel_live_probe exposure COUNT SPACING_MS\n"
                     "       zanthrel_live_probe copy-pictures COUNT SPACING_MS WIDTH HEIGHT SEED [HOLD_S]\n"
                     "       zanthrel_live_probe hold-picture HOLD_S WIDTH HEIGHT SEED\n"
                     "       zanthrel_live_probe do start|stop|block|unblock|ok-warning...\n"
                     "       zanthrel_live_probe spy listener|viewer SECONDS\n"
                     "       zanthrel_live_probe secrets COUNT SPACING_MS\n"
                     "       zanthrel_live_probe fight SECONDS\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zanthrel_live_probe: %s\n", error.what());
        return 1;
    }
}
