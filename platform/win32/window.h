#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace zanthrel::win32 {

// A window of one of our own classes. All of them share one window procedure, which hands each message
// to the C++ object that created the window; no exception leaves it.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const noexcept { return hwnd_; }

    // Registers a class of ours with the shared window procedure; registering it again does nothing.
    static void registerClass(HINSTANCE instance, const wchar_t* className, HICON icon, HBRUSH background);

    // How many messages our window procedures are handling at once on this thread, one inside another,
    // and how many of those wait in a modal loop (a message box, the dialog, a menu, or whatever the
    // system's default handling runs). A handler nested under another that is not in a modal loop got
    // there because the outer one waits on a SendMessage to another thread, during which the system
    // delivers sent messages too.
    static int handlerDepth() noexcept;
    static int modalDepth() noexcept;
    // Marks a modal loop for as long as it lives.
    class ModalScope {
    public:
        ModalScope() noexcept;
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;
    };

protected:
    Window() = default;
    // Destroys the window if it still exists; the object no longer receives its last messages.
    virtual ~Window();

    // Creates the window and attaches it to this object before its first message.
    HWND createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, RECT bounds,
                      HWND parent, int controlId, HINSTANCE instance);
    void destroyWindow() noexcept;

    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called once the system has destroyed the window and its children.
    virtual void onDestroyed() noexcept {}

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    HWND hwnd_ = nullptr;
};

// A child window of our panel class whose behaviour its owner supplies: the title banner, the status
// indicator and the snapshot holders. The handler returns a result for the messages it handles.
class Panel final : public Window {
public:
    using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

    Panel() = default;
    ~Panel() override = default;
    void create(HINSTANCE instance, HWND parent, int controlId, RECT bounds, DWORD style, DWORD exStyle,
                Handler handler);
    // The system destroys children with their parent; this forgets the handle without destroying.
    using Window::destroyWindow;

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    Handler handler_;
};

}  // namespace zanthrel::win32
