#include "tests/win32/e2e_checks.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "core/texts.h"
#include "platform/win32/control_ids.h"
#include "tests/win32/check.h"

namespace zanthrel::e2e {

int screenDpi() {
    win32::ScreenDc screen;
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

std::string describe(const RECT& rect) {
    std::string text = "(";
    text += std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(";
    text += std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
    return text;
}

RECT expectedRect(const ControlLayout& control, int dpi, POINT origin) {
    const int left = origin.x + twipsToPixels(control.left, dpi);
    const int top = origin.y + twipsToPixels(control.top, dpi);
    return RECT{left, top, left + twipsToPixels(control.width, dpi), top + twipsToPixels(control.height, dpi)};
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void checkCentred(HWND window, const std::string& what) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const int expectedLeft = (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2;
    const int expectedTop = (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2;
    CHECK_MSG(std::abs(rect.left - expectedLeft) <= 1 && std::abs(rect.top - expectedTop) <= 1,
              what + " is not centred on the screen: " + describe(rect));
}

void checkClientArea(HWND window, const FormLayout& layout, int dpi, const std::string& what) {
    RECT client{};
    GetClientRect(window, &client);
    CHECK_MSG(client.right == twipsToPixels(layout.clientWidth, dpi) &&
                  client.bottom == twipsToPixels(layout.clientHeight, dpi),
              what + " client area " + describe(client));
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.rfind(prefix, 0) == 0;
}

void checkEntry(const std::string& entry, std::string_view prefix, bool ellipsis) {
    CHECK_MSG(startsWith(entry, prefix), "log entry '" + entry + "' should begin with '" + std::string(prefix) + "'");
    std::string stamp = entry.substr(prefix.size());
    if (ellipsis) {
        CHECK_MSG(stamp.size() > 3 && stamp.ends_with("..."), "log entry '" + entry + "' should end in '...'");
        stamp.resize(stamp.size() - 3);
    }
    const auto space = stamp.find(' ');
    CHECK_MSG(space != std::string::npos && space > 0 && space + 1 < stamp.size(),
              "log entry '" + entry + "' should hold a date, a space and a time");
    const std::string date = stamp.substr(0, space);
    const std::string time = stamp.substr(space + 1);
    const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
    CHECK_MSG(std::any_of(date.begin(), date.end(), digit) && std::any_of(time.begin(), time.end(), digit) &&
                  time.find(':') != std::string::npos && !time.ends_with("."),
              "log entry '" + entry + "' has no date and time in it");
}

std::string describeLog(const std::vector<std::string>& log) {
    std::string text;
    for (const std::string& entry : log) text += "\n  " + entry;
    return text;
}

std::size_t countCaptures(const std::vector<std::string>& log) {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [](const std::string& entry) { return startsWith(entry, texts::kCaptureDetected); }));
}

std::vector<std::string> waitForLog(const Zanthrel& program, std::size_t count) {
    std::vector<std::string> log;
    const bool grown = waitUntil([&] { return (log = program.log()).size() >= count; });
    CHECK_MSG(grown, "the log should have " + std::to_string(count) + " entries but has " + std::to_string(log.size()));
    CHECK_MSG(log.size() == count, "the log has more entries than expected: " + std::to_string(log.size()));
    return log;
}

bool fillIs(const Zanthrel& program, Colour colour) {
    return reinterpret_cast<UINT_PTR>(GetPropW(program.control("Shape1"), win32::kFillColourProperty)) == colour;
}

bool indicatorBlinks(const Zanthrel& program, int changes) {
    const HWND shape = program.control("Shape1");
    int seen = 0;
    bool visible = IsWindowVisible(shape) != FALSE;
    return waitUntil([&] {
        const bool now = IsWindowVisible(shape) != FALSE;
        if (now != visible) ++seen;
        visible = now;
        return seen >= changes;
    });
}

void waitUntilEmptied(const char* what) {
    if (waitUntil([] { return clipboard::isEmpty(); }, 5s)) return;
    // Who holds the clipboard open, if anyone, is what tells a stuck blocker from a busy clipboard.
    const HWND holder = GetOpenClipboardWindow();
    wchar_t className[64] = L"-";
    if (holder) GetClassNameW(holder, className, 64);
    CHECK_MSG(false, std::string("blocking did not empty the clipboard of ") + what + " (" +
                         std::to_string(CountClipboardFormats()) + " formats, held open by " + narrow(className) +
                         ", sequence " + std::to_string(GetClipboardSequenceNumber()) + ")");
}

HWND openPleaseRead(const Zanthrel& program) {
    // Under Wine the X pointer occasionally swallows a click, and a user clicks again.
    HWND dialog = nullptr;
    for (int attempt = 0; attempt < 3 && !dialog; ++attempt) {
        program.mouseClick(program.control("lblPleaseRead"));
        waitUntil([&] { return (dialog = program.findWindow(win32::kInformationDialogClass, L"Please Read")); }, 3s);
    }
    CHECK_MSG(dialog != nullptr, "a click on Please Read opened no dialog");
    return dialog;
}

}  // namespace zanthrel::e2e
