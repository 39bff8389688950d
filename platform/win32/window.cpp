#include "platform/win32/window.h"

#include "core/runtime_error.h"
#include "platform/win32/control_ids.h"

namespace zanthrel::win32 {

void Window::registerClass(HINSTANCE instance, const wchar_t* className, HICON icon, HBRUSH background) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, className, &existing)) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Window::procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = nullptr;  // the system picks the small image out of the same icon resource
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    if (!RegisterClassExW(&windowClass)) throw RuntimeError(ErrorKind::PlatformFailure, "RegisterClassExW failed");
}

Window::~Window() {
    destroyWindow();
}

void Window::destroyWindow() noexcept {
    if (!hwnd_) return;
    const HWND hwnd = hwnd_;
    // Detach first: a derived object being destroyed must not see the window's last messages.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
}

HWND Window::createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, RECT bounds,
                          HWND parent, int controlId, HINSTANCE instance) {
    const HMENU menuOrId = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)) : nullptr;
    const HWND hwnd =
        CreateWindowExW(exStyle, className, title, style, bounds.left, bounds.top, bounds.right - bounds.left,
                        bounds.bottom - bounds.top, parent, menuOrId, instance, this);
    if (!hwnd) throw RuntimeError(ErrorKind::PlatformFailure, "CreateWindowExW failed");
    return hwnd;
}

LRESULT Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The system's handling may run a modal loop of its own (moving or sizing the window, its menu) for as
    // long as the user keeps it open, and none of our code is half way through anything under it.
    const ModalScope modal;
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

namespace {
// The user-interface thread's nesting, read and changed on that thread only.
int handlers = 0;
int modals = 0;
}  // namespace

int Window::handlerDepth() noexcept {
    return handlers;
}
int Window::modalDepth() noexcept {
    return modals;
}
Window::ModalScope::ModalScope() noexcept {
    ++modals;
}
Window::ModalScope::~ModalScope() {
    --modals;
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    ++handlers;
    try {
        result = self->handleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system's code; the message gets its default treatment.
        result = DefWindowProcW(hwnd, message, wParam, lParam);
    }
    --handlers;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->onDestroyed();
    }
    return result;
}

void Panel::create(HINSTANCE instance, HWND parent, int controlId, RECT bounds, DWORD style, DWORD exStyle,
                   Handler handler) {
    handler_ = std::move(handler);
    registerClass(instance, kPanelClass, nullptr, nullptr);
    createWindow(exStyle, kPanelClass, L"", style | WS_CHILD, bounds, parent, controlId, instance);
}

LRESULT Panel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handler_)
        if (const std::optional<LRESULT> result = handler_(hwnd(), message, wParam, lParam)) return *result;
    return Window::handleMessage(message, wParam, lParam);
}

}  // namespace zanthrel::win32
