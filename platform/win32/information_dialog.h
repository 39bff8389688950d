#pragma once

#include <windows.h>

#include <vector>

#include "core/services.h"
#include "platform/win32/dpi.h"
#include "platform/win32/fonts.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// The "Please Read" dialog: built afresh from its layout table each time it opens, shown modally without an
// owner, and destroyed when it closes. Its own message loop keeps delivering the main window's timer
// ticks, so protection goes on while it is open.
class InformationDialog final : public Window, public InformationDialogService {
public:
    // `mainWindow` is disabled while the dialog is open, as a modal window's caller is.
    InformationDialog(HINSTANCE instance, HICON icon, const Window& mainWindow);
    ~InformationDialog() override;

    void showModal() override;

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onDestroyed() noexcept override;
    // Creates the window and its controls; on failure leaves no window behind.
    void build();
    void buildControls();
    void moveToDensity(const DensityChange& change);
    void runModalLoop();
    void keepCallerDisabled();
    void endModalLoop();

    HINSTANCE instance_;
    HICON icon_;
    const Window& mainWindow_;
    FontSet fonts_;  // at the density of the monitor the dialog is on
    TitleIcons icons_;
    int closeId_ = 0;
    bool open_ = false;
    WindowHandle command1_;
    std::vector<WindowHandle> controls_;
};

}  // namespace zanthrel::win32
