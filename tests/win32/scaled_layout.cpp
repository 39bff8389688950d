#include "tests/win32/scaled_layout.h"

#include <cmath>
#include <string>

#include "layout/information_dialog_layout.h"
#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "tests/win32/check.h"
#include "tests/win32/program_driver.h"

namespace zanthrel::e2e {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";

constexpr wchar_t kLargeDesktop[] = L"ZanthrelScaled";
constexpr wchar_t kLargeDesktopSize[] = L"1800x1400";

std::wstring desktopName() {
    wchar_t name[64] = {};
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
    return name;
}

std::string describeRect(const RECT& rect) {
    return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom) + ")";
}

}  // namespace

RECT rectAt96(const ControlLayout& control, POINT originAt96) {
    // Every position of the layouts is a whole number of pixels at 96 dpi: 15 twips each.
    const int left = originAt96.x + control.left / 15;
    const int top = originAt96.y + control.top / 15;
    return RECT{left, top, left + control.width / 15, top + control.height / 15};
}

void checkScaled(const RECT& actual, const RECT& at96, int dpi, const std::string& what) {
    const double scale = dpi / 96.0;
    const LONG edges[] = {actual.left, actual.top, actual.right, actual.bottom};
    const LONG wanted[] = {at96.left, at96.top, at96.right, at96.bottom};
    for (int i = 0; i < 4; ++i)
        CHECK_MSG(std::fabs(edges[i] - wanted[i] * scale) <= 1.0, what + " is at " + describeRect(actual) + " at " +
                                                                      std::to_string(dpi) + " dpi, " +
                                                                      describeRect(at96) + " at 96 dpi");
}

void checkScaledClientArea(HWND window, const FormLayout& layout, int dpi, const std::string& what) {
    RECT client{};
    GetClientRect(window, &client);
    checkScaled(client, RECT{0, 0, layout.clientWidth / 15, layout.clientHeight / 15}, dpi, what + "'s client area");
}

void checkTextFits(HWND label, const std::string& what) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
    RECT box{};
    GetClientRect(label, &box);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    CHECK_MSG(font != nullptr, what + " has no font of its own");
    const HDC dc = GetDC(label);
    const HGDIOBJ previous = SelectObject(dc, font);
    RECT needed{0, 0, box.right, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(label, dc);
    CHECK_MSG(needed.right <= box.right && needed.bottom <= box.bottom,
              what + ": its text needs " + std::to_string(needed.right) + " x " + std::to_string(needed.bottom) +
                  " pixels in a font " + std::to_string(metrics.tmHeight) + " pixels high, its box is " +
                  std::to_string(box.right) + " x " + std::to_string(box.bottom));
}

void checkMainWindowAt(HWND main, int dpi, LabelTexts texts) {
    const FormLayout& layout = mainWindowLayout();
    const std::string at = " at " + std::to_string(dpi) + " dpi";
    checkScaledClientArea(main, layout, dpi, "the main window" + at);
    const HWND banner = GetDlgItem(main, win32::kMainControlIdBase);
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlLayout& control = layout.controls[i];
        const HWND parent = control.container ? banner : main;
        const HWND window = GetDlgItem(parent, win32::kMainControlIdBase + static_cast<int>(i));
        CHECK_MSG(window != nullptr, "no window for " + std::string(control.name));
        checkScaled(clientRectIn(window, parent), rectAt96(control), dpi, std::string(control.name) + at);
        if (control.kind == ControlKind::Label && texts == LabelTexts::Measured)
            checkTextFits(window, std::string(control.name) + at);
    }
}

void checkDialogAt(HWND dialog, int dpi, LabelTexts texts) {
    const FormLayout& layout = informationDialogLayout();
    const std::string at = " at " + std::to_string(dpi) + " dpi";
    checkScaledClientArea(dialog, layout, dpi, "the dialog" + at);
    // The frame's labels lie on the dialog itself, shifted by the frame's place.
    const ControlLayout& frame = layout.control(ControlId::InformationFrame);
    const POINT frameAt96{frame.left / 15, frame.top / 15};
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlLayout& control = layout.controls[i];
        const std::string what = "the dialog's " + std::string(control.name) + at;
        const HWND window = GetDlgItem(dialog, win32::kDialogControlIdBase + static_cast<int>(i));
        CHECK_MSG(window != nullptr, "no window for " + what);
        checkScaled(clientRectIn(window, dialog), rectAt96(control, control.container ? frameAt96 : POINT{0, 0}), dpi,
                    what);
        if (control.kind == ControlKind::Label && texts == LabelTexts::Measured) checkTextFits(window, what);
    }
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return SIZE{0, 0};
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    const bool colour = info.hbmColor != nullptr;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // Without a colour bitmap the mask holds both halves, one above the other.
    return SIZE{bitmap.bmWidth, colour ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

bool inLargeDesktop(const char* caseName) {
    if (desktopName() == kLargeDesktop) return true;
    // Wine makes a desktop of the size its settings give for the name.
    HKEY desktops = nullptr;
    CHECK(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &desktops, nullptr) == ERROR_SUCCESS);
    RegSetValueExW(desktops, kLargeDesktop, 0, REG_SZ, reinterpret_cast<const BYTE*>(kLargeDesktopSize),
                   sizeof kLargeDesktopSize);
    RegCloseKey(desktops);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" " + widen(caseName);
    std::wstring desktop = kLargeDesktop;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION started{};
    // The output handles are inherited, so that its lines go where this process's go.
    CHECK_MSG(
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started),
        "the case could not be started again in a desktop of its own");
    ProcessGuard process;
    process.adopt(started.hProcess);
    CloseHandle(started.hThread);
    CHECK_MSG(WaitForSingleObject(process.get(), 100000) == WAIT_OBJECT_0, "the case did not end within 100 s");
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    CHECK_MSG(exitCode == 0, std::string(caseName) + " failed in a desktop of its own");
    return false;
}

LogPixelsScope::LogPixelsScope(int dpi) {
    HKEY key = nullptr;
    CHECK_MSG(RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                              &key, nullptr) == ERROR_SUCCESS,
              "the desktop's settings could not be opened");
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExW(key, kLogPixels, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
        previous_ = value;
    value = static_cast<DWORD>(dpi);
    const LONG set = RegSetValueExW(key, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    CHECK_MSG(set == ERROR_SUCCESS, "LogPixels could not be set");
}

void LogPixelsScope::restore() noexcept {
    if (restored_) return;
    restored_ = true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (previous_)
        RegSetValueExW(key, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*previous_), sizeof *previous_);
    else
        RegDeleteValueW(key, kLogPixels);
    RegCloseKey(key);
}

}  // namespace zanthrel::e2e
