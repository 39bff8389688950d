#include "platform/win32/information_dialog.h"

#include <utility>

#include "layout/information_dialog_layout.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/controls.h"
#include "platform/win32/dpi.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {
namespace {

// Fixed single border, caption with system menu and close box, no minimize or maximize button. No
// WS_CLIPCHILDREN: the frame does not paint its inside, so the dialog's background must show through it.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_WINDOWEDGE;

const FormLayout& layout() {
    return informationDialogLayout();
}

int controlId(std::size_t index) {
    return kDialogControlIdBase + static_cast<int>(index);
}

// The frame's children are placed on the dialog itself, shifted by the frame's position.
RECT boundsOf(const ControlLayout& control, int dpi) {
    POINT origin{0, 0};
    if (control.container) {
        const ControlLayout& container = layout().control(*control.container);
        origin = POINT{container.left, container.top};
    }
    return controlBounds(control, dpi, origin);
}

}  // namespace

InformationDialog::InformationDialog(HINSTANCE instance, HICON icon, const Window& mainWindow)
    : instance_(instance), icon_(icon), mainWindow_(mainWindow), fonts_(systemDpi()) {}

InformationDialog::~InformationDialog() {
    destroyWindow();
    onDestroyed();
}

void InformationDialog::onDestroyed() noexcept {
    // The system has destroyed the children with the window.
    command1_.release();
    for (WindowHandle& control : controls_) control.release();
    controls_.clear();
    closeId_ = 0;
    open_ = false;
}

void InformationDialog::showModal() {
    if (open_) return;
    build();
    open_ = true;
    const HWND caller = mainWindow_.hwnd();
    if (caller) EnableWindow(caller, FALSE);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SetFocus(command1_.get());
    {
        const ModalScope modal;
        runModalLoop();
    }
    // Enabled again before the dialog goes, so that the system activates the caller rather than
    // some other program's window.
    if (caller) EnableWindow(caller, TRUE);
    destroyWindow();
    onDestroyed();
    if (caller) SetActiveWindow(caller);
}

void InformationDialog::build() {
    int dpi = systemDpi();
    registerClass(instance_, kInformationDialogClass, icon_, GetSysColorBrush(COLOR_BTNFACE));
    const RECT bounds = centredBounds(outerSize(clientSize(layout(), dpi), kStyle, kExStyle, dpi));
    // No owner: the dialog is a window of its own, as the caller shows it.
    createWindow(kExStyle, kInformationDialogClass, toWide(layout().caption).c_str(), kStyle, bounds, nullptr, 0,
                 instance_);
    try {
        // The monitor it came up on may have a density other than the system's.
        if (const int shown = windowDpi(hwnd()); shown != dpi) {
            dpi = shown;
            setClientSize(hwnd(), clientSize(layout(), dpi));
            centreWindow(hwnd());
        }
        if (fonts_.dpi() != dpi) fonts_ = FontSet(dpi);
        icons_.show(hwnd(), instance_, dpi);
        buildControls();
    } catch (...) {
        // A half-built dialog would stay as a hidden window bound to this object, and the next open would
        // build a second one beside it: take it down, so that the next open starts from nothing.
        destroyWindow();
        onDestroyed();
        throw;
    }
}

void InformationDialog::buildControls() {
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(layout().font)), FALSE);
    const auto controls = layout().controls;
    // The frame comes last in the Z order so that it never paints over the labels placed within it.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].kind != ControlKind::Frame) order.push_back(i);
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].kind == ControlKind::Frame) order.push_back(i);

    for (const std::size_t index : order) {
        const ControlLayout& control = controls[index];
        const int id = controlId(index);
        const RECT bounds = boundsOf(control, fonts_.dpi());
        WindowHandle window = createStandardControl(control, hwnd(), id, bounds,
                                                    fonts_.forControl(control, layout().font, bounds), instance_);
        if (control.kind == ControlKind::CommandButton) {
            closeId_ = id;
            command1_ = std::move(window);
        } else {
            controls_.push_back(std::move(window));
        }
    }
}

void InformationDialog::moveToDensity(const DensityChange& change) {
    const int dpi = change.dpi;
    // The old fonts stay until no control uses them.
    const FontSet previous = std::exchange(fonts_, FontSet(dpi));
    takeSuggestedBounds(hwnd(), change.suggested, clientSize(layout(), dpi));
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(layout().font)), FALSE);
    const auto controls = layout().controls;
    for (std::size_t index = 0; index < controls.size(); ++index) {
        const RECT bounds = boundsOf(controls[index], dpi);
        if (const HWND window = GetDlgItem(hwnd(), controlId(index)))
            placeControl(window, bounds, fonts_.forControl(controls[index], layout().font, bounds));
    }
    icons_.show(hwnd(), instance_, dpi);
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void InformationDialog::runModalLoop() {
    MSG message{};
    while (open_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));  // the program is ending: pass it on
            break;
        }
        if (got < 0) break;
        // Enter presses the button that has the focus, the only one there is; Esc does nothing, since
        // the button is not a cancel button. Space is the button's own.
        if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && message.hwnd == command1_.get()) {
            SendMessageW(command1_.get(), BM_CLICK, 0, 0);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (open_) keepCallerDisabled();
    }
}

void InformationDialog::keepCallerDisabled() {
    // A message box that the caller shows while the dialog is open (the alarm's warning) enables its
    // owner, the caller, when it closes, as every modal box does, and activates it. The dialog is still
    // open: the caller goes back to being disabled, and the dialog takes the activation back.
    const HWND caller = mainWindow_.hwnd();
    if (!caller || !IsWindowEnabled(caller)) return;
    EnableWindow(caller, FALSE);
    if (GetActiveWindow() == caller || GetForegroundWindow() == caller) SetForegroundWindow(hwnd());
}

void InformationDialog::endModalLoop() {
    open_ = false;
    // A message sent from another thread is handled inside GetMessage, which would go on waiting; a
    // posted one lets the loop see that it is done.
    PostMessageW(hwnd(), WM_NULL, 0, 0);
}

LRESULT InformationDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == closeId_ && HIWORD(wParam) == BN_CLICKED) endModalLoop();
            return 0;
        case WM_CLOSE: endModalLoop(); return 0;  // the close box: the loop ends and the window goes
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && command1_) SetFocus(command1_.get());
            return 0;
        case kDpiChangedMessage:
            if (const auto change = densityChange(wParam, lParam)) moveToDensity(*change);
            return 0;
        case kGetDpiScaledSizeMessage:
            return answerScaledSize(hwnd(), layout(), fonts_.dpi(), kStyle, kExStyle, wParam, lParam);
        default: return Window::handleMessage(message, wParam, lParam);
    }
}

}  // namespace zanthrel::win32
