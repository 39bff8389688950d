// The program's own windows, built in this process on the simulated desktop's guard, moved from monitor to
// monitor of another scale as the system tells them (WM_DPICHANGED; Wine has one scale for all monitors,
// so the test tells them itself): every control where the 96-dpi layout puts it, scaled; every label's
// text within its box in the font the label was given; the title bar's icons at the scale's sizes.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/win32/control_ids.h"
#include "platform/win32/information_dialog.h"
#include "platform/win32/main_window.h"
#include "platform/win32/tray_icon.h"
#include "testing/sim/sim_desktop.h"
#include "tests/win32/check.h"
#include "tests/win32/program_driver.h"
#include "tests/win32/scaled_layout.h"

using namespace zanthrel;
using namespace zanthrel::e2e;

namespace {

int systemDensity() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// What the system does when a window is dragged to a monitor of another scale: it suggests a rectangle
// there and tells the window.
RECT moveTo(HWND window, int dpi, POINT at) {
    SIZE size{};
    if (!SendMessageW(window, win32::kGetDpiScaledSizeMessage, static_cast<WPARAM>(dpi),
                      reinterpret_cast<LPARAM>(&size))) {
        RECT outer{};
        GetWindowRect(window, &outer);
        size = SIZE{outer.right - outer.left, outer.bottom - outer.top};
    }
    RECT suggested{at.x, at.y, at.x + size.cx, at.y + size.cy};
    SendMessageW(window, win32::kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    return suggested;
}

void checkTakenPlace(HWND window, const RECT& suggested, const std::string& what) {
    RECT outer{};
    GetWindowRect(window, &outer);
    CHECK_MSG(outer.left == suggested.left && outer.top == suggested.top,
              what + " did not go where the system suggested");
}

void checkTitleIcons(HWND window, int dpi, const std::string& what) {
    const auto icon = [&](WPARAM which) {
        return iconSize(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0)));
    };
    const SIZE small = icon(ICON_SMALL);
    const SIZE large = icon(ICON_BIG);
    CHECK_MSG(small.cx == 16 * dpi / 96 && small.cy == small.cx && large.cx == 32 * dpi / 96 && large.cy == large.cx,
              what + "'s icons at " + std::to_string(dpi) + " dpi are " + std::to_string(small.cx) + " and " +
                  std::to_string(large.cx) + " pixels");
}

void checkMainWindow(HWND main, int dpi) {
    checkMainWindowAt(main, dpi, LabelTexts::Measured);
    checkTitleIcons(main, dpi, "the main window");
}

void checkDialog(HWND dialog, int dpi) {
    checkDialogAt(dialog, dpi, LabelTexts::Measured);
    checkTitleIcons(dialog, dpi, "the dialog");
}

// The main window of the program, on the simulated desktop's guard; the application icon comes from this
// test's own resources, the program's.
struct ProgramWindows {
    ProgramWindows() {
        desktop.start();
        window->create(desktop.guard());
        ShowWindow(window->hwnd(), SW_SHOWNA);
    }
    ~ProgramWindows() {
        dialog.reset();
        window.reset();
        // The main window's end posts the end of the program's message loop; no other case may see it.
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    sim::SimDesktop desktop;
    std::unique_ptr<win32::MainWindow> window = std::make_unique<win32::MainWindow>(GetModuleHandleW(nullptr), nullptr);
    std::unique_ptr<win32::InformationDialog> dialog;
};

// The checks that run while the dialog's own modal loop runs, and what they found.
std::function<void()> whileDialogOpen;
std::string dialogFailure;

void CALLBACK runWhileDialogOpen(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    // Nothing may unwind through the system's dispatching of the timer.
    try {
        whileDialogOpen();
    } catch (const testing::CheckFailed&) {
        dialogFailure = "a check failed while the dialog was open";
    } catch (const std::exception& error) {
        dialogFailure = error.what();
    }
    if (const HWND dialog = FindWindowW(win32::kInformationDialogClass, nullptr)) PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

// Each case runs in a process of its own in the large desktop, which starts at a density other than the
// tests' usual one, so that the windows are also made at one.
bool startedAt(int dpi, const char* caseName) {
    if (systemDensity() == dpi) return inLargeDesktop(caseName);
    const LogPixelsScope density(dpi);
    return inLargeDesktop(caseName);
}

TEST_CASE("main-window-moves") {
    if (!startedAt(144, "main-window-moves")) return;
    ProgramWindows program;
    const HWND main = program.window->hwnd();
    checkMainWindow(main, systemDensity());
    for (const int dpi : {120, 144, 192, 96}) {
        const RECT suggested = moveTo(main, dpi, POINT{10 + dpi / 10, 20});
        checkTakenPlace(main, suggested, "the main window");
        checkMainWindow(main, dpi);
    }

    // A notice that cannot be the system's (another program's, sent by mistake or on purpose) changes nothing.
    RECT before{};
    GetWindowRect(main, &before);
    RECT elsewhere{0, 0, 40000, 30000};
    SendMessageW(main, win32::kDpiChangedMessage, MAKEWPARAM(20000, 20000), reinterpret_cast<LPARAM>(&elsewhere));
    SendMessageW(main, win32::kDpiChangedMessage, MAKEWPARAM(192, 192), 0);
    SIZE untouched{-1, -1};
    CHECK(SendMessageW(main, win32::kGetDpiScaledSizeMessage, 20000, reinterpret_cast<LPARAM>(&untouched)) == FALSE);
    CHECK(SendMessageW(main, win32::kGetDpiScaledSizeMessage, 192, 0) == FALSE);
    CHECK(untouched.cx == -1);
    RECT after{};
    GetWindowRect(main, &after);
    CHECK(EqualRect(&before, &after));
    checkMainWindow(main, 96);

    // A window the user made larger keeps its size in inches; the banner spans it.
    RECT outer{};
    GetWindowRect(main, &outer);
    SetWindowPos(main, nullptr, 0, 0, outer.right - outer.left + 100, outer.bottom - outer.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    GetClientRect(main, &client);
    moveTo(main, 192, POINT{0, 0});
    RECT moved{};
    GetClientRect(main, &moved);
    CHECK_MSG(moved.right == client.right * 2 && moved.bottom == client.bottom * 2,
              "a resized window at twice the density is " + std::to_string(moved.right) + " x " +
                  std::to_string(moved.bottom) + " pixels");
    const RECT banner = clientRectIn(GetDlgItem(main, win32::kMainControlIdBase), main);
    CHECK(banner.left == 0 && banner.right == moved.right);
}

TEST_CASE("dialog-moves") {
    if (!startedAt(120, "dialog-moves")) return;
    ProgramWindows program;
    program.dialog = std::make_unique<win32::InformationDialog>(GetModuleHandleW(nullptr), nullptr, *program.window);
    whileDialogOpen = [] {
        const HWND dialog = FindWindowW(win32::kInformationDialogClass, L"Please Read");
        CHECK_MSG(dialog != nullptr, "the dialog is not open");
        checkDialog(dialog, systemDensity());
        for (const int dpi : {120, 144, 192, 96}) {
            const RECT suggested = moveTo(dialog, dpi, POINT{30, 10 + dpi / 10});
            checkTakenPlace(dialog, suggested, "the dialog");
            checkDialog(dialog, dpi);
        }
    };
    dialogFailure.clear();
    SetTimer(nullptr, 0, 10, &runWhileDialogOpen);
    program.dialog->showModal();
    CHECK_MSG(dialogFailure.empty(), dialogFailure);
}

TEST_CASE("tray-icon-sizes") {
    if (!inLargeDesktop("tray-icon-sizes")) return;
    ProgramWindows program;
    win32::TrayIcon tray(GetModuleHandleW(nullptr), program.desktop.guard(), program.window->hwnd());
    tray.create();
    const auto checkSize = [&](int dpi) {
        const SIZE size = iconSize(tray.shownIcon());
        CHECK_MSG(size.cx == 16 * dpi / 96 && size.cy == size.cx,
                  "the tray icon at " + std::to_string(dpi) + " dpi is " + std::to_string(size.cx) + " pixels");
    };
    checkSize(systemDensity());
    // The primary monitor, where the notification area is, changing its scale.
    for (const int dpi : {120, 144, 192, 96}) {
        RECT unused{};
        SendMessageW(tray.hwnd(), win32::kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&unused));
        checkSize(dpi);
    }
}

int main(int argc, char** argv) {
    return zanthrel::testing::runTests(argc > 1 ? argv[1] : "");
}
