// The real zanthrel.exe while one of its menus is open: a menu runs a loop of the system's own until the
// user closes it, and the guard must go on blocking under it, as it does under a message box.

#include <windows.h>

#include <string>

#include "platform/win32/tray_icon.h"
#include "tests/win32/check.h"
#include "tests/win32/e2e_checks.h"
#include "tests/win32/program_driver.h"

using namespace zanthrel;
using namespace zanthrel::e2e;

namespace {

// The tray icon's callback message, as the notification area sends it on a click.
constexpr UINT kTrayCallback = WM_APP + 1;
constexpr wchar_t kMenuClass[] = L"#32768";

// The tray icon's window is never shown, so the driver's search for visible windows does not find it.
HWND trayWindowOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner != s.processId || std::wstring(name) != win32::kTrayWindowClass) return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Copies text while the menu is open and waits for blocking to empty it, then closes the menu.
void checkBlockingUnder(const Zanthrel& program, HWND menuOwner, const char* what) {
    const HWND menu = program.waitForWindow(kMenuClass, nullptr);
    clipboard::copyText(L"copied while a menu is open");
    waitUntilEmptied(what);
    PostMessageW(menuOwner, WM_KEYDOWN, VK_ESCAPE, 0);
    CHECK_MSG(waitUntil([&] { return !IsWindowVisible(menu); }), std::string(what) + ": the menu did not close");
    program.sync();
}

}  // namespace

TEST_CASE("menus-open") {
    Zanthrel program;
    program.click("cmdEnableDisable");
    waitForLog(program, 2);

    HWND tray = nullptr;
    CHECK_MSG(waitUntil([&] { return (tray = trayWindowOf(program.processId())) != nullptr; }), "no tray window");
    PostMessageW(tray, kTrayCallback, 0, WM_RBUTTONUP);
    checkBlockingUnder(program, tray, "text copied while the tray menu was open");

    // The window's own menu, as Alt+Space opens it.
    PostMessageW(program.mainWindow(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
    checkBlockingUnder(program, program.mainWindow(), "text copied while the window menu was open");
    CHECK(program.log().size() == 2);
}
