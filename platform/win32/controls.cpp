#include "platform/win32/controls.h"

#include "core/runtime_error.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {

RECT controlBounds(const ControlLayout& control, int dpi, POINT originTwips) {
    const int left = originTwips.x + control.left;
    const int top = originTwips.y + control.top;
    return RECT{twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(left + control.width, dpi),
                twipsToPixels(top + control.height, dpi)};
}

WindowHandle createStandardControl(const ControlLayout& control, HWND parent, int controlId, RECT bounds, HFONT font,
                                   HINSTANCE instance) {
    const wchar_t* className = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (control.kind) {
        case ControlKind::Label:
            className = L"STATIC";
            // Some labels overlap their neighbours by a few pixels; clipping keeps an earlier label (higher
            // in the Z order) from being painted over by the blank end of the next one.
            style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY | WS_CLIPSIBLINGS;
            break;
        case ControlKind::CommandButton:
            className = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::ListBox:
            className = L"LISTBOX";
            // The layout gives the exact height; the system must not shrink it to whole lines.
            style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::TextBox:
            className = L"EDIT";
            // Disabled and read-only: the capture counter must always hold a number that only the
            // program writes, so the user can neither focus nor type into it.
            style |= ES_LEFT | ES_AUTOHSCROLL | ES_READONLY | WS_DISABLED;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Frame:
            className = L"BUTTON";
            style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
            break;
        case ControlKind::PictureBox:
        case ControlKind::Shape: throw RuntimeError(ErrorKind::PlatformFailure, "not a standard control");
    }
    WindowHandle window(CreateWindowExW(exStyle, className, toWide(control.text).c_str(), style, bounds.left,
                                        bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), instance, nullptr));
    if (!window) throw RuntimeError(ErrorKind::PlatformFailure, "a control could not be created");
    SendMessageW(window.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return window;
}

void placeControl(HWND control, RECT bounds, HFONT font) {
    SetWindowPos(control, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

}  // namespace zanthrel::win32
