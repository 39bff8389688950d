#include "platform/win32/desktop_services.h"

#include <array>

#include "core/runtime_error.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {

void WindowServices::show(const std::string& text, const std::string& title, MessageBoxIcon icon) {
    {
        const Window::ModalScope modal;
        // The information icon with an OK button is style 64, MB_ICONINFORMATION | MB_OK.
        const UINT style = icon == MessageBoxIcon::Information ? MB_ICONINFORMATION | MB_OK : MB_OK;
        MessageBoxW(window_.hwnd(), toWide(text).c_str(), toWide(title).c_str(), style);
    }
    // A modal loop that the box ran inside (the dialog's) looks at its windows again after each posted
    // message; ticks arrive as sent messages, so one is posted to have it look now.
    PostMessageW(window_.hwnd(), WM_NULL, 0, 0);
}

void WindowServices::bringToFront() {
    const HWND hwnd = window_.hwnd();
    // A warning that waits behind a minimized window would never be seen.
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd);
    // Windows may refuse the foreground to a background program; then the taskbar button flashes until
    // the user comes.
    if (GetForegroundWindow() != hwnd) {
        FLASHWINFO flash{sizeof flash, hwnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

namespace {

std::string formatted(int (*format)(std::array<wchar_t, 128>&)) {
    std::array<wchar_t, 128> buffer{};
    const int length = format(buffer);
    if (length <= 1) throw RuntimeError(ErrorKind::PlatformFailure, "the date or time could not be formatted");
    return toUtf8(std::wstring_view(buffer.data(), static_cast<std::size_t>(length - 1)));
}

}  // namespace

std::string LocalDateTimeText::currentDate() {
    return formatted([](std::array<wchar_t, 128>& buffer) {
        return GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer.data(),
                               static_cast<int>(buffer.size()), nullptr);
    });
}

std::string LocalDateTimeText::currentTime() {
    // Without flags the time comes in the user's long time format (LOCALE_STIMEFORMAT).
    return formatted([](std::array<wchar_t, 128>& buffer) {
        return GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, buffer.data(),
                               static_cast<int>(buffer.size()));
    });
}

}  // namespace zanthrel::win32
