#pragma once

// What a spy does the instant it hears of a change, shared by the race test and the live bench's spy:
// it opens the clipboard, trying again at once a few times while another program has it, and reads the
// text there.

#include <windows.h>

#include <cwchar>
#include <string>

namespace zanthrel::spy {

// The clipboard's text, opened for `window`; empty when the clipboard stayed busy or holds no text.
inline std::wstring readTextAtOnce(HWND window, int tries = 10) {
    bool open = false;
    for (int attempt = 0; attempt < tries && !(open = OpenClipboard(window) != FALSE); ++attempt) SwitchToThread();
    if (!open) return {};
    std::wstring text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text.assign(chars, wcsnlen(chars, GlobalSize(data) / sizeof(wchar_t)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace zanthrel::spy
