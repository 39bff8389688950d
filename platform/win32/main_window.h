#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

#include "guard/guard.h"
#include "platform/win32/dpi.h"
#include "platform/win32/fonts.h"
#include "platform/win32/guard_events.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// The main window, built from the main window's layout table. It shows what the guard holds and hands
// clicks and timer ticks to it; it keeps no state of the program's own.
class MainWindow final : public Window, public GuardObserver {
public:
    MainWindow(HINSTANCE instance, HICON icon);
    ~MainWindow() override;

    // Creates the window and its controls without showing them, and starts showing `guard`.
    void create(Guard& guard);
    // First show: centred on the screen.
    void show(int showCommand);

    void guardChanged(GuardChange change) override;
    // Ticks and clipboard news reach the guard through `events` from now on.
    void setGuardEvents(GuardEvents* events) noexcept { events_ = events; }
    // Called after the window has shown each change of the guard's state: the tray icon and the log echo.
    void setChangeListener(std::function<void(GuardChange)> listener) { changeListener_ = std::move(listener); }

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
    void moveToDensity(const DensityChange& change);
    void dockBanner(int clientWidth);
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
    Guard* guard_ = nullptr;
    GuardEvents* events_ = nullptr;
    int dpi_;  // the density of the monitor the window is on
    FontSet fonts_;
    TitleIcons icons_;
    BrushHandle bannerBrush_;
    BrushHandle logBrush_;
    int monitoringButtonId_ = 0;
    int blockingButtonId_ = 0;
    int pleaseReadId_ = 0;
    HWND lastFocus_ = nullptr;
    std::optional<Colour> shownFill_;
    bool blinking_ = false;  // while monitoring, at the indicator's own pace
    bool lit_ = true;

    Panel banner_;
    Panel indicator_;
    Panel firstHolder_;
    Panel secondHolder_;
    WindowHandle monitoringButton_;
    WindowHandle blockingButton_;
    WindowHandle log_;
    WindowHandle captureCount_;
    std::vector<Label> labels_;
    std::function<void(GuardChange)> changeListener_;
};

}  // namespace zanthrel::win32
