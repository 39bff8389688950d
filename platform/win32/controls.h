#pragma once

#include <windows.h>

#include "layout/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// A control's place in pixels at the given density, shifted by `originTwips` (the container's offset where
// the control lives in a container that is not its parent window). Each edge is rounded on its own, so
// none is more than half a pixel from where the layout puts it at any density.
RECT controlBounds(const ControlLayout& control, int dpi, POINT originTwips = {0, 0});

// Creates one of the system's controls for a label, command button, list box, text box or frame of a
// layout. Labels wrap at word boundaries and show '&' as itself; the text box cannot take the focus.
WindowHandle createStandardControl(const ControlLayout& control, HWND parent, int controlId, RECT bounds, HFONT font,
                                   HINSTANCE instance);

// Moves a control to `bounds` in its parent and gives it `font` (none: a panel of ours, which draws no
// text), for a window laid out again at another density; the caller repaints once all have moved.
void placeControl(HWND control, RECT bounds, HFONT font);

}  // namespace zanthrel::win32
