#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "guard/guard.h"
#include "platform/shell/tray_status.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

inline constexpr wchar_t kTrayWindowClass[] = L"ZanthrelTray";

// The guard in the notification area: the indicator's colour and whether it watches, the state as its tip, the
// window's two commands in its menu, and a balloon at an alarm. It owns a hidden top-level window, the
// kind that hears Explorer's TaskbarCreated broadcast, so the icon comes back after Explorer restarts.
// It keeps nothing of the guard's state: the main window passes on each change, and commands go to the guard.
class TrayIcon final : public Window {
public:
    TrayIcon(HINSTANCE instance, Guard& guard, HWND mainWindow);
    ~TrayIcon() override;

    // Creates the hidden window and adds the icon; without a notification area it waits for one.
    void create();
    // Whether the icon is in a notification area now.
    bool inNotificationArea() const noexcept { return added_; }
    // The icon it shows there, or would show once there is one.
    HICON shownIcon() const noexcept { return icons_[static_cast<std::size_t>(look_)].get(); }
    // The main window showed a change of the guard's state.
    void guardChanged(GuardChange change);

    // Menu command IDs; the hidden window also takes them as WM_COMMAND.
    enum Command : UINT { StartPause = 1, EnableDisable, Show, Quit };

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool notify(DWORD action, UINT flags);
    void drawIcons(int dpi);
    void showLook(TrayLook look);
    void showMenu();
    void run(UINT command);
    void showMainWindow();

    HINSTANCE instance_;
    Guard& guard_;
    HWND mainWindow_;
    UINT taskbarCreated_;
    bool added_ = false;
    TrayLook look_ = TrayLook::Usable;
    std::array<IconHandle, 3> icons_;  // indexed by TrayLook
    std::string shownTip_;
};

}  // namespace zanthrel::win32
