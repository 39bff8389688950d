#include "platform/win32/console_output.h"

#include <string>

#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {
namespace {

bool usable(HANDLE handle) {
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

ConsoleOutput::ConsoleOutput(DWORD which, bool attachToParent) {
    const HANDLE inherited = GetStdHandle(which);
    if (usable(inherited)) {
        handle_ = inherited;
        console_ = isConsole(inherited);
        return;
    }
    if (!attachToParent || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    const HANDLE conout = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (conout == INVALID_HANDLE_VALUE) return;
    handle_ = conout;
    console_ = true;
    ownsHandle_ = true;
}

ConsoleOutput::~ConsoleOutput() {
    if (ownsHandle_) CloseHandle(handle_);
}

bool ConsoleOutput::write(std::string_view text) const {
    if (!handle_) return false;
    if (console_) {
        std::wstring wide;
        for (const wchar_t c : toWide(text)) {
            if (c == L'\n') wide += L'\r';
            wide += c;
        }
        DWORD written = 0;
        return WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    // A file or a pipe gets the UTF-8 as it is. WriteFile keeps nothing back, so a reader sees each line
    // as soon as it is written.
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

void reportToUser(std::string_view text, bool isError) {
    const ConsoleOutput output(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, true);
    if (output.write(text)) return;
    MessageBoxW(nullptr, toWide(text).c_str(), L"Zanthrel", MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace zanthrel::win32
