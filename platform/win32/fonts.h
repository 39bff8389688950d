#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "layout/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// The fonts of one window, made once at the screen's density and kept while the window lives.
class FontSet {
public:
    explicit FontSet(int dpi) : dpi_(dpi) {}
    HFONT get(const FontStyle& fontStyle);

private:
    struct Entry {
        std::wstring face;
        double points;
        int weight;
        bool underline;
        FontHandle font;
    };
    int dpi_;
    std::vector<Entry> fonts_;
};

// The face itself when it is installed, otherwise the nearest installed one of a list of humanist
// sans-serif faces that ship with Windows and with Wine.
std::wstring installedFace(const std::wstring& face);

// The screen's density in dots per inch.
int screenDpi();

}  // namespace zanthrel::win32
