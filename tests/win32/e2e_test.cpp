// End-to-end tests of the real zanthrel.exe under Wine: each case starts the program, drives it from
// outside as its user and other programs on the desktop would, and reads what it shows.

#include <windows.h>

#include <string>

#include "core/texts.h"
#include "layout/information_dialog_layout.h"
#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "tests/win32/check.h"
#include "tests/win32/e2e_checks.h"
#include "tests/win32/program_driver.h"

using namespace zanthrel;
using namespace zanthrel::e2e;

TEST_CASE("startup-layout") {
    Zanthrel program;
    const HWND main = program.mainWindow();
    const int dpi = screenDpi();
    const FormLayout& layout = mainWindowLayout();

    CHECK(program.log() == std::vector<std::string>{std::string(texts::kNotProtected)});
    checkClientArea(main, layout, dpi, "the main window");
    checkCentred(main, "the main window");
    RECT client{};
    GetClientRect(main, &client);
    const LONG style = GetWindowLongW(main, GWL_STYLE);
    CHECK_MSG((style & WS_THICKFRAME) && (style & WS_MINIMIZEBOX) && (style & WS_SYSMENU) && !(style & WS_MAXIMIZEBOX),
              "sizable border, minimize button, system menu, maximize button greyed");

    for (const ControlLayout& control : layout.controls) {
        const HWND window = program.control(control.name);
        const HWND container = control.container ? program.control(layout.control(*control.container).name) : main;
        const RECT actual = clientRectIn(window, container);
        const RECT expected = expectedRect(control, dpi);
        CHECK_MSG(sameRect(actual, expected),
                  std::string(control.name) + " is at " + describe(actual) + ", expected " + describe(expected));
        if (control.kind == ControlKind::Label || control.kind == ControlKind::CommandButton ||
            control.kind == ControlKind::TextBox)
            CHECK_MSG(program.text(control.name) == control.text,
                      std::string(control.name) + " reads '" + program.text(control.name) + "'");
        if (!control.visibleToUser) {
            RECT overlap{};
            CHECK_MSG(!IntersectRect(&overlap, &actual, &client), std::string(control.name) + " is in sight");
        }
    }

    // The counter can be neither focused nor typed into.
    const HWND counter = program.control("txtCounts");
    const LONG counterStyle = GetWindowLongW(counter, GWL_STYLE);
    CHECK(!(counterStyle & WS_TABSTOP) && (!IsWindowEnabled(counter) || (counterStyle & ES_READONLY)));
    CHECK(IsWindowEnabled(program.control("cmdStartPause")) && IsWindowEnabled(program.control("cmdEnableDisable")));
    CHECK(IsWindowVisible(program.control("Shape1")) && fillIs(program, kIndicatorGreen));

    // Focus moves through the controls that take it in the order of their tab indexes.
    std::vector<HWND> expectedOrder{program.control("List1"), program.control("cmdEnableDisable"),
                                    program.control("cmdStartPause")};
    std::vector<HWND> order;
    for (HWND item = GetNextDlgTabItem(main, nullptr, FALSE); item && order.size() < 6;
         item = GetNextDlgTabItem(main, item, FALSE)) {
        if (!order.empty() && item == order.front()) break;
        order.push_back(item);
    }
    CHECK_MSG(order == expectedOrder, "tab order differs: " + std::to_string(order.size()) + " stops");

    // Dragging the border: the banner keeps the client width, nothing else moves.
    RECT outer{};
    GetWindowRect(main, &outer);
    const RECT listBefore = clientRectIn(program.control("List1"), main);
    SetWindowPos(main, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 40,
                 SWP_NOMOVE | SWP_NOZORDER);
    program.sync();
    GetClientRect(main, &client);
    const RECT banner = clientRectIn(program.control("Picture2"), main);
    CHECK_MSG(banner.left == 0 && banner.right == client.right, "banner after resize " + describe(banner));
    CHECK(sameRect(clientRectIn(program.control("List1"), main), listBefore));
}

TEST_CASE("block-unblock") {
    Zanthrel program;
    program.click("cmdEnableDisable");
    auto log = waitForLog(program, 2);
    checkEntry(log[1], texts::kClipboardBlocked, false);
    CHECK(program.text("cmdEnableDisable") == texts::kUnblockCaption);
    CHECK(fillIs(program, kIndicatorRed));
    CHECK(IsWindowEnabled(program.control("cmdStartPause")));

    clipboard::copyText(L"a password");
    waitUntilEmptied("text");
    clipboard::copyPicture(1);
    waitUntilEmptied("a picture");

    // Monitoring is refused while blocked, with the "Info" box and nothing else.
    program.click("cmdStartPause");
    std::string text;
    const HWND box = program.waitForMessageBox(L"Info", text);
    CHECK(text == texts::kInfoText);
    program.pressOk(box);
    program.sync();
    CHECK(program.log().size() == 2);
    CHECK(program.text("cmdStartPause") == texts::kStartCaptionAtLaunch);

    program.click("cmdEnableDisable");
    log = waitForLog(program, 3);
    checkEntry(log[2], texts::kClipboardUnblocked, false);
    CHECK(program.text("cmdEnableDisable") == texts::kBlockCaption);
    CHECK(fillIs(program, kIndicatorGreen));
    clipboard::copyText(L"kept");
    program.sync();
    CHECK_MSG(clipboard::hasText(), "the clipboard is still emptied after unblocking");

    // Blocking while monitoring stops monitoring first, and leaves the monitoring button disabled.
    program.click("cmdStartPause");
    log = waitForLog(program, 4);
    checkEntry(log[3], texts::kProtectionStarted, true);
    CHECK(program.text("cmdStartPause") == texts::kStopCaption);
    program.click("cmdEnableDisable");
    log = waitForLog(program, 6);
    checkEntry(log[4], texts::kMonitoringStopped, true);
    checkEntry(log[5], texts::kClipboardBlocked, false);
    CHECK(program.text("cmdStartPause") == texts::kStartCaption);
    CHECK(!IsWindowEnabled(program.control("cmdStartPause")));
    CHECK(IsWindowVisible(program.control("Shape1")));
    program.click("cmdEnableDisable");
    waitForLog(program, 7);
    // The button is enabled after the log line is written, and the tray icon's update in between lets the
    // driver read the log before the program is done.
    CHECK(waitUntil([&] { return IsWindowEnabled(program.control("cmdStartPause")) != FALSE; }));
}

TEST_CASE("alarm") {
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);

    // Three pictures and then text: every change of the clipboard counts once.
    for (int capture = 1; capture <= 3; ++capture) {
        clipboard::copyPicture(capture);
        const bool counted =
            waitUntil([&] { return countCaptures(program.log()) == static_cast<std::size_t>(capture); });
        CHECK_MSG(counted, "capture " + std::to_string(capture) + " was not counted");
        CHECK(program.text("txtCounts") == std::to_string(capture));
    }
    const std::size_t before = program.log().size();
    CHECK(before == 5);

    // The alarm must reach a user who has minimized the window.
    ShowWindow(program.mainWindow(), SW_MINIMIZE);
    CHECK(waitUntil([&] { return IsIconic(program.mainWindow()) != FALSE; }));
    clipboard::copyText(L"not a picture");
    std::string text;
    const HWND box = program.waitForMessageBox(L"Warning", text);
    CHECK(text == texts::kWarningText);
    CHECK_MSG(!IsIconic(program.mainWindow()), "the main window stayed minimized under the warning");

    const auto log = program.log();
    CHECK(log.size() == before + 4);
    checkEntry(log[before], texts::kCaptureDetected, false);
    checkEntry(log[before + 1], texts::kAlarmRaised, false);
    checkEntry(log[before + 2], texts::kProtectionStopped, true);
    checkEntry(log[before + 3], texts::kClipboardBlocked, false);
    CHECK(program.text("cmdStartPause") == texts::kStartCaptionAtLaunch);
    CHECK(!IsWindowEnabled(program.control("cmdStartPause")));
    CHECK(program.text("cmdEnableDisable") == texts::kUnblockCaption);
    CHECK(program.text("txtCounts") == "4");  // cleared only once the box is dismissed

    // The blocker already runs while the warning waits.
    clipboard::copyPicture(9);
    waitUntilEmptied("a picture while the warning is up");

    program.pressOk(box);
    CHECK(waitUntil([&] { return program.text("txtCounts") == "0"; }));
    CHECK(program.log().size() == before + 4);
}

TEST_CASE("dialog") {
    Zanthrel program;
    const int dpi = screenDpi();
    const FormLayout& layout = informationDialogLayout();
    program.click("cmdEnableDisable");  // the blocker must go on while the dialog is open
    waitForLog(program, 2);

    for (const char* closeBy : {"Enter", "Space", "close box"}) {
        std::printf("opening the dialog, to close it by %s\n", closeBy);
        const HWND dialog = openPleaseRead(program);
        const HWND close =
            GetDlgItem(dialog, win32::kDialogControlIdBase + static_cast<int>(layout.controls.size()) - 1);
        CHECK(close && windowText(close) == L"Close");

        checkClientArea(dialog, layout, dpi, "the dialog");
        checkCentred(dialog, "the dialog");
        const LONG style = GetWindowLongW(dialog, GWL_STYLE);
        CHECK(!(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) && (style & WS_SYSMENU));
        CHECK(GetWindow(dialog, GW_OWNER) == nullptr);
        CHECK(!IsWindowEnabled(program.mainWindow()));

        // Every control in place with its text; the labels are placed within the frame.
        const ControlLayout& frame = layout.control(ControlId::InformationFrame);
        const POINT frameOrigin{twipsToPixels(frame.left, dpi), twipsToPixels(frame.top, dpi)};
        for (std::size_t i = 0; i < layout.controls.size(); ++i) {
            const ControlLayout& control = layout.controls[i];
            const HWND window = GetDlgItem(dialog, win32::kDialogControlIdBase + static_cast<int>(i));
            CHECK_MSG(window != nullptr, "no window for " + std::string(control.name));
            const RECT actual = clientRectIn(window, dialog);
            const RECT expected = expectedRect(control, dpi, control.container ? frameOrigin : POINT{0, 0});
            CHECK_MSG(sameRect(actual, expected),
                      std::string(control.name) + " is at " + describe(actual) + ", expected " + describe(expected));
            CHECK_MSG(windowText(window) == widen(control.text), std::string(control.name) + " has the wrong text");
        }

        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        CHECK(waitUntil([&] {
            return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &focus) && focus.hwndFocus == close;
        }));

        clipboard::copyText(L"copied while the dialog is open");
        waitUntilEmptied("text while the dialog is open");

        // Esc does nothing. Keys are posted to the focused button in the order a keyboard would deliver
        // them; the Space press that follows Esc pushes the button, which proves that Esc was handled
        // while the dialog stayed open.
        auto key = [&](UINT message, WPARAM virtualKey) {
            const LPARAM repeatAndState = message == WM_KEYUP ? LPARAM(0xC0000001) : LPARAM(1);
            PostMessageW(close, message, virtualKey, repeatAndState);
        };
        key(WM_KEYDOWN, VK_ESCAPE);
        key(WM_KEYUP, VK_ESCAPE);
        key(WM_KEYDOWN, VK_SPACE);
        const bool pushed =
            waitUntil([&] { return IsWindow(close) && (SendMessageW(close, BM_GETSTATE, 0, 0) & BST_PUSHED); });
        CHECK_MSG(pushed, "Esc closed the dialog, or Space did not press the button");
        CHECK(IsWindow(dialog));

        if (std::string(closeBy) == "close box") {
            PostMessageW(close, WM_CANCELMODE, 0, 0);  // the user moves away; the button is let go unclicked
            CHECK(waitUntil([&] { return !(SendMessageW(close, BM_GETSTATE, 0, 0) & BST_PUSHED); }));
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (std::string(closeBy) == "Space") {
            key(WM_KEYUP, VK_SPACE);
        } else {
            PostMessageW(close, WM_CANCELMODE, 0, 0);
            key(WM_KEYDOWN, VK_RETURN);
        }
        CHECK_MSG(waitUntil([&] { return !IsWindow(dialog); }), std::string(closeBy) + " did not close the dialog");
        CHECK(waitUntil([&] { return IsWindowEnabled(program.mainWindow()) != FALSE; }));
    }
    CHECK(program.log().size() == 2);
}

TEST_CASE("clipboard-held") {
    Zanthrel program;
    // While blocking: a clipboard held open by another program stops nothing and logs nothing. The
    // holder changes the clipboard, so that every blocker tick during the hold has to try to empty it.
    program.click("cmdEnableDisable");
    waitForLog(program, 2);
    {
        clipboard::Holder held;
        held.putText(L"put while held open");
        for (int tick = 0; tick < 30; ++tick) program.timerTick(GuardTimer::Blocking);
        CHECK_MSG(clipboard::hasText(), "the blocker emptied a clipboard that another program held open");
    }
    CHECK(program.log().size() == 2);
    CHECK(program.text("cmdEnableDisable") == texts::kUnblockCaption);
    waitUntilEmptied("text put while the clipboard was held");
    program.click("cmdEnableDisable");
    waitForLog(program, 3);

    // While monitoring: the sampling goes on (the indicator keeps blinking) and nothing is logged. A
    // picture copied before monitoring started differs from the holders and counts once.
    clipboard::copyPicture(1);
    program.click("cmdStartPause");
    CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == 1; }),
              "the picture copied before was not counted");
    waitForLog(program, 5);
    {
        clipboard::Holder held;
        CHECK_MSG(indicatorBlinks(program, 4), "the indicator stopped while the clipboard was held open");
    }
    program.sync();
    CHECK(program.log().size() == 5);
    CHECK(program.text("cmdStartPause") == texts::kStopCaption);
    clipboard::copyPicture(2);
    CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == 2; }), "a capture after the hold was missed");
}

TEST_CASE("at-rest") {
    // Monitoring with the clipboard unchanged: the sampling rests, yet the indicator blinks on, and the
    // next picture wakes the sampling and counts once.
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    for (int capture = 1; capture <= 2; ++capture) {
        clipboard::copyPicture(capture);
        CHECK_MSG(waitUntil([&] { return countCaptures(program.log()) == static_cast<std::size_t>(capture); }),
                  "capture " + std::to_string(capture) + " was not counted");
        CHECK_MSG(indicatorBlinks(program, 4), "the indicator stopped while the clipboard was at rest");
    }
    // Ticks forced on a settled clipboard compare a picture with itself.
    for (int tick = 0; tick < 5; ++tick) program.timerTick(GuardTimer::Sampling);
    CHECK(countCaptures(program.log()) == 2 && program.text("txtCounts") == "2");
    program.click("cmdStartPause");
    waitForLog(program, 5);
    CHECK_MSG(IsWindowVisible(program.control("Shape1")), "the indicator was left hidden after monitoring stopped");
}

TEST_CASE("alarm-dialog") {
    // The alarm goes off while "Please Read" is open: its box comes up over the dialog, and both still
    // close as usual.
    Zanthrel program;
    program.click("cmdStartPause");
    waitForLog(program, 2);
    const HWND dialog = openPleaseRead(program);

    for (int capture = 1; capture <= 3; ++capture) {
        clipboard::copyPicture(capture);
        const bool counted =
            waitUntil([&] { return countCaptures(program.log()) == static_cast<std::size_t>(capture); });
        CHECK_MSG(counted, "capture " + std::to_string(capture) +
                               " was not counted while the dialog was open; log:" + describeLog(program.log()));
    }
    clipboard::copyPicture(4);
    std::string text;
    const HWND box = program.waitForMessageBox(L"Warning", text);
    CHECK(text == texts::kWarningText);
    CHECK_MSG(IsWindow(dialog), "the alarm closed the dialog");

    const auto log = program.log();
    CHECK_MSG(log.size() == 9,
              "the log has " + std::to_string(log.size()) + " entries, expected 9:" + describeLog(log));
    checkEntry(log[5], texts::kCaptureDetected, false);
    checkEntry(log[6], texts::kAlarmRaised, false);
    checkEntry(log[7], texts::kProtectionStopped, true);
    checkEntry(log[8], texts::kClipboardBlocked, false);

    program.pressOk(box);
    CHECK(waitUntil([&] { return program.text("txtCounts") == "0"; }));
    CHECK_MSG(IsWindow(dialog), "the dialog closed with the warning");
    // The box enabled its owner as it closed; the dialog is still modal and must keep it disabled.
    CHECK_MSG(waitUntil([&] { return !IsWindowEnabled(program.mainWindow()); }),
              "the main window stayed enabled under the open dialog");
    CHECK_MSG(waitUntil([&] { return GetForegroundWindow() == dialog; }), "the dialog did not get the focus back");
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    CHECK_MSG(waitUntil([&] { return !IsWindow(dialog); }), "the dialog did not close after the warning");
    CHECK(waitUntil([&] { return IsWindowEnabled(program.mainWindow()) != FALSE; }));

    // Blocking goes on, nothing more is logged, and the buttons are as the alarm left them.
    clipboard::copyText(L"copied after the alarm");
    waitUntilEmptied("text after the alarm and the dialog");
    CHECK(program.log().size() == 9);
    CHECK(program.text("cmdEnableDisable") == texts::kUnblockCaption);
    CHECK(program.text("cmdStartPause") == texts::kStartCaptionAtLaunch);
    CHECK(!IsWindowEnabled(program.control("cmdStartPause")));
    program.click("cmdEnableDisable");
    checkEntry(waitForLog(program, 10)[9], texts::kClipboardUnblocked, false);
    CHECK(IsWindowEnabled(program.control("cmdStartPause")));
}

int main(int argc, char** argv) {
    return zanthrel::testing::runTests(argc > 1 ? argv[1] : "");
}
