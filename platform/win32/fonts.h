#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "layout/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// The fonts of one window at one density, made on first use and kept until the window moves to another
// density or goes.
class FontSet {
public:
    explicit FontSet(int dpi) : dpi_(dpi) {}
    int dpi() const noexcept { return dpi_; }

    HFONT get(const FontStyle& fontStyle);
    // The font in which a label shows `text` within a box of `box` pixels, wrapping at word boundaries: the
    // style's own where the text fits, otherwise the largest smaller one that fits. A face standing in for a
    // missing one may run wider than the box was made for (under Wine "MS Sans Serif" is drawn in a face
    // with Arial's wider letters); the box and the other labels keep their size.
    HFONT fitting(const FontStyle& fontStyle, std::wstring_view text, PixelSize box);
    // The font of a control of a layout placed at `bounds`: its own style or the window's, and for a label
    // the one its text fits in.
    HFONT forControl(const ControlLayout& control, const FontStyle& windowFont, RECT bounds);

private:
    HFONT withHeight(const FontStyle& fontStyle, int pixels);

    struct Entry {
        std::wstring face;
        int pixels;
        int weight;
        bool underline;
        FontHandle font;
    };
    int dpi_;
    std::vector<Entry> fonts_;
};

// The face itself when it is installed and can be drawn at `pixels` (a bitmap face only at the heights it
// has), otherwise the nearest installed one of a list of sans-serif faces that ship with Windows and
// with Wine.
std::wstring installedFace(const std::wstring& face, int pixels);

// Whether `text` drawn in `font`, wrapped at word boundaries as a label wraps it, stays within `box`.
bool textFits(HFONT font, std::wstring_view text, PixelSize box);

}  // namespace zanthrel::win32
