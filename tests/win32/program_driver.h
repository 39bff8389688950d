#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::e2e {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` passes; true when it held.
template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(5);
    }
    return true;
}

std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
std::wstring windowText(HWND window);
RECT clientRectIn(HWND window, HWND container);  // the window's outer rectangle in the container's client area

// Real input through the system's queue: the cursor to a point of the screen, the left button.
void moveMouse(POINT target);
void pressLeftButton(bool down);
POINT centreOf(HWND window);

// The real zanthrel.exe, started fresh for one test and closed at its end, driven from outside as a
// user and other programs would.
class Zanthrel {
public:
    Zanthrel();
    ~Zanthrel();
    Zanthrel(const Zanthrel&) = delete;
    Zanthrel& operator=(const Zanthrel&) = delete;

    HWND mainWindow() const noexcept { return main_; }
    DWORD processId() const noexcept { return processId_; }
    // A control of the main window by its layout name, found by its control ID in its container.
    HWND control(std::string_view name) const;
    const ControlLayout& layoutOf(std::string_view name) const;

    std::vector<std::string> log() const;
    std::string text(std::string_view controlName) const { return narrow(windowText(control(controlName))); }
    // BM_CLICK, posted: a click may open a modal box, and the driver must not wait inside it.
    void click(std::string_view buttonName) const;
    // A real mouse click through the system's input queue, at the centre of the control.
    void mouseClick(HWND window) const;

    // A top-level window of the program with this class and caption, once it is visible.
    HWND waitForWindow(const wchar_t* className, const wchar_t* caption, std::chrono::milliseconds timeout = 10s) const;
    HWND findWindow(const wchar_t* className, const wchar_t* caption) const;
    // Waits for a message box of the program, checks that it is an information box with only an OK
    // button, and returns it with its text.
    HWND waitForMessageBox(const wchar_t* title, std::string& text) const;
    void pressOk(HWND messageBox) const;
    // One message round trip: everything the program was sent before has been handled.
    void sync() const;

private:
    win32::KernelHandle process_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// Another program's use of the clipboard.
namespace clipboard {
void copyText(const wchar_t* text);
// A device-dependent bitmap, as Print Screen would put on it, of a pattern that differs with `seed`.
void copyPicture(int seed);
bool isEmpty();
bool hasText();
bool hasPicture();

// Holds the clipboard open for as long as it lives, as a slow or hostile program might.
class Holder {
public:
    Holder();
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
};
}  // namespace clipboard

}  // namespace zanthrel::e2e
