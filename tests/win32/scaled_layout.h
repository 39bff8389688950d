#pragma once

// The windows at the densities of scaled displays: where each control should be, measured against the
// 96-dpi layout scaled, and whether each label's text fits its box in the font it was given.

#include <windows.h>

#include <optional>
#include <string>

#include "layout/layout.h"

namespace zanthrel::e2e {

// The densities of 100, 125, 150 and 200 % scaling.
inline constexpr int kDensities[] = {96, 120, 144, 192};

// A control's rectangle at 96 dpi, in its container's client area shifted by `originAt96`.
RECT rectAt96(const ControlLayout& control, POINT originAt96 = {0, 0});
// Each edge of `actual` lies within a pixel of the same edge of `at96` scaled to `dpi`.
void checkScaled(const RECT& actual, const RECT& at96, int dpi, const std::string& what);
// The window's client area is the layout's at 96 dpi scaled to `dpi`, within a pixel.
void checkScaledClientArea(HWND window, const FormLayout& layout, int dpi, const std::string& what);
// The label's text, wrapped as the label wraps it and drawn in the font the label was given (a window of
// this process), needs no more room than the label has.
void checkTextFits(HWND label, const std::string& what);
// Every control of the main window or the dialog where the 96-dpi layout puts it, scaled to `dpi`, and
// the window's client area. Where the window is this process's own, each label's text is measured too.
enum class LabelTexts { Unmeasured, Measured };
void checkMainWindowAt(HWND main, int dpi, LabelTexts texts);
void checkDialogAt(HWND dialog, int dpi, LabelTexts texts);

// The size of an icon's image, in pixels.
SIZE iconSize(HICON icon);

// Whether this process runs in a desktop large enough for the windows at 200 %. Wine keeps a sizable
// window within the screen, as Windows does, and the tests' usual desktop is 1024 x 768; where this is
// not the large desktop, the case runs again there, in a process of its own, and is checked to pass.
bool inLargeDesktop(const char* caseName);

// The density Wine gives the processes started while this lives: HKCU\Control Panel\Desktop\LogPixels,
// which each process reads once as it starts. The value before comes back when it goes, or as soon as
// the processes that needed it have started, so that whatever runs next starts at the usual density.
class LogPixelsScope {
public:
    explicit LogPixelsScope(int dpi);
    ~LogPixelsScope() { restore(); }
    LogPixelsScope(const LogPixelsScope&) = delete;
    LogPixelsScope& operator=(const LogPixelsScope&) = delete;
    void restore() noexcept;

private:
    std::optional<DWORD> previous_;
    bool restored_ = false;
};

}  // namespace zanthrel::e2e
