#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "core/main_form.h"
#include "platform/win32/fonts.h"
#include "platform/win32/guard_events.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// Form1: the main window, built from the main window's layout table. It shows what the MainForm holds
// and hands clicks and timer ticks to it; it keeps no state of the program's own.
class MainWindow final : public Window, public FormObserver {
public:
    MainWindow(HINSTANCE instance, HICON icon);
    ~MainWindow() override;

    // Creates the window and its controls without showing them, and starts showing `form`.
    void create(MainForm& form);
    // First show: centred on the screen.
    void show(int showCommand);

    void controlChanged(FormControl control) override;
    // Ticks and clipboard news reach the form through `events` from now on.
    void setGuardEvents(GuardEvents* events) noexcept { events_ = events; }
    // Called after the window has shown each change of the form's state: the tray icon and the log echo.
    void setChangeListener(std::function<void(FormControl)> listener) { changeListener_ = std::move(listener); }

private:
    struct Label {
        WindowHandle window;
        const ControlLayout* layout;
    };

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onDestroyed() noexcept override;
    void releaseChildren() noexcept;

    void createControls();
    void createControl(std::size_t index);
    std::optional<LRESULT> bannerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    std::optional<LRESULT> shapeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    std::optional<LRESULT> holderMessage(const SnapshotHolder& holder, HWND hwnd, UINT message);
    std::optional<LRESULT> labelColours(HDC dc, HWND label);
    void onCommand(int controlId, int notification);
    void syncLog();
    void showIndicator();
    void restoreFocus();

    HINSTANCE instance_;
    HICON icon_;
    MainForm* form_ = nullptr;
    GuardEvents* events_ = nullptr;
    int dpi_;
    FontSet fonts_;
    BrushHandle bannerBrush_;
    BrushHandle listBrush_;
    int startPauseId_ = 0;
    int enableDisableId_ = 0;
    int pleaseReadId_ = 0;
    HWND lastFocus_ = nullptr;
    std::optional<Colour> shownFill_;
    bool blinking_ = false;  // while monitoring, at the indicator's own pace
    bool lit_ = true;

    Panel banner_;
    Panel shape1_;
    Panel picture1_;
    Panel picture3_;
    WindowHandle cmdStartPause_;
    WindowHandle cmdEnableDisable_;
    WindowHandle list1_;
    WindowHandle txtCounts_;
    std::vector<Label> labels_;
    std::function<void(FormControl)> changeListener_;
};

}  // namespace zanthrel::win32
