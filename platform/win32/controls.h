#pragma once

#include <windows.h>

#include "layout/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// A control's place in pixels at the given density, shifted by `origin` (the container's offset
// where the control lives in a container that is not its parent window).
RECT controlBounds(const ControlLayout& control, int dpi, POINT origin = {0, 0});

// Creates one of the system's controls for a label, command button, list box, text box or frame of a
// layout. Labels wrap at word boundaries and show '&' as itself; the text box cannot take the focus.
WindowHandle createStandardControl(const ControlLayout& control, HWND parent, int controlId, RECT bounds, HFONT font,
                                   HINSTANCE instance);

// The outer bounds of a top-level window whose client area is `clientWidth` × `clientHeight` pixels,
// centred on the primary screen.
RECT centredWindowBounds(int clientWidth, int clientHeight, DWORD style, DWORD exStyle);

}  // namespace zanthrel::win32
