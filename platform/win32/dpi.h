#pragma once

#include <windows.h>

#include <optional>

#include "layout/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// Densities, per monitor where the system has them. Windows 10 (1607 on) tells each window the density of
// its monitor; Windows 8.1 tells it per monitor only; Windows 7 and older Wine know one density for the
// whole session. The functions of the newer systems are looked up when the program runs, so that it still
// starts where they are missing, and each answer falls back to what the older system knows.

// The messages of per-monitor densities, which the headers for Windows 7 do not name.
inline constexpr UINT kDpiChangedMessage = 0x02E0;        // WM_DPICHANGED: wParam the new density
inline constexpr UINT kGetDpiScaledSizeMessage = 0x02E4;  // WM_GETDPISCALEDSIZE: the size to suggest

// The density the system draws at: the primary monitor's when the user logged on.
int systemDpi();

// The density of the monitor `window` is shown on, or the system's where no monitor has its own.
int windowDpi(HWND window);

// A system metric (SM_CXSMICON, SM_CXICON, ...) as it is at `dpi`.
int systemMetric(int index, int dpi);

// The outer size of a top-level window of this style whose client area is `client`, with its frame as the
// system draws it at `dpi`.
PixelSize outerSize(PixelSize client, DWORD style, DWORD exStyle, int dpi);

// The outer bounds of a window of `outer` size centred on the primary screen; a window larger than the
// work area is kept at its top-left corner, so that its title bar stays within reach.
RECT centredBounds(PixelSize outer);

// Moves `window`, at the size it has now, to where centredBounds puts a window of that size.
void centreWindow(HWND window);

// Gives `window` the client area `client`, its top-left corner staying where it is. The frame is measured
// on the window itself rather than computed, since a system that moves a window to another density may
// still draw the frame at the old one.
void setClientSize(HWND window, PixelSize client);

// The client size of `window` now.
PixelSize clientSizeOf(HWND window);

// Takes the bounds the system suggests for a window that moved to another density (WM_DPICHANGED's), then
// gives it the client area `client` there.
void takeSuggestedBounds(HWND window, const RECT& suggested, PixelSize client);

// What WM_DPICHANGED tells a window that moved to a monitor of another scale, or none where the message
// cannot have come from the system: no rectangle, or a density beyond any scale's (Windows scales from
// 100 to 500 %).
struct DensityChange {
    int dpi;
    RECT suggested;
};
std::optional<DensityChange> densityChange(WPARAM wParam, LPARAM lParam);

// Answers WM_GETDPISCALEDSIZE for a window of `form` shown at `fromDpi`: its outer size at the density
// asked for, so that the rectangle the system suggests next holds the client area it will have there.
// FALSE (the system's own suggestion) for a message the system cannot have sent.
LRESULT answerScaledSize(HWND window, const FormLayout& form, int fromDpi, DWORD style, DWORD exStyle, WPARAM wParam,
                         LPARAM lParam);

// The application icon in a window's title bar and task bar button, at the sizes its density asks for
// (16, 20, 24, 32 pixels and up for the small one), each the icon group's image for that size rather
// than a smaller one stretched.
class TitleIcons {
public:
    void show(HWND window, HINSTANCE instance, int dpi);

private:
    IconHandle small_;
    IconHandle large_;
};

}  // namespace zanthrel::win32
