#pragma once

// What the end-to-end cases check and wait for, beyond driving the program: the layout in pixels, the
// log's entries, the indicator, the clipboard as blocking leaves it.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "layout/layout.h"
#include "tests/win32/program_driver.h"

namespace zanthrel::e2e {

int screenDpi();
std::string describe(const RECT& rect);
// Where a control of the layout should be, in pixels of its container's client area.
RECT expectedRect(const ControlLayout& control, int dpi, POINT origin = {0, 0});
bool sameRect(const RECT& a, const RECT& b);
void checkCentred(HWND window, const std::string& what);
// The window's client area is the layout's, in pixels at `dpi`.
void checkClientArea(HWND window, const FormLayout& layout, int dpi, const std::string& what);

bool startsWith(const std::string& text, std::string_view prefix);
// A timestamped entry: the prefix, a date, one space, a time, and "..." where asked for.
void checkEntry(const std::string& entry, std::string_view prefix, bool ellipsis);
std::size_t countCaptures(const std::vector<std::string>& log);
// The entries one to a line, for a failure's message.
std::string describeLog(const std::vector<std::string>& log);
// Waits until the log has `count` entries, checks that it has no more, and returns it.
std::vector<std::string> waitForLog(const Zanthrel& program, std::size_t count);

bool fillIs(const Zanthrel& program, Colour colour);
// Waits until the indicator has been shown or hidden `changes` times; false when it stood still.
bool indicatorBlinks(const Zanthrel& program, int changes);
// Waits for blocking to empty the clipboard of what was just put on it (`what`, for the message).
void waitUntilEmptied(const char* what);
// Opens "Please Read" with a real click on its label and returns the dialog.
HWND openPleaseRead(const Zanthrel& program);

}  // namespace zanthrel::e2e
