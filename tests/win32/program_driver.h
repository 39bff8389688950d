#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/services.h"
#include "layout/layout.h"
#include "platform/win32/win32_handle.h"
#include "tests/win32/check.h"

namespace zanthrel::e2e {

using namespace std::chrono_literals;

template <typename Condition>
bool waitUntil(Condition&& condition, std::chrono::milliseconds timeout = 10s) {
    return testing::waitUntil(std::forward<Condition>(condition), timeout);
}

std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
std::wstring windowText(HWND window);
RECT clientRectIn(HWND window, HWND container);  // the window's outer rectangle in the container's client area

// Real input through the system's queue: the cursor to a point of the screen, the left button.
void moveMouse(POINT target);
void pressLeftButton(bool down);
POINT centreOf(HWND window);

// The started program's process, ended by force if it still runs when the guard goes: a test that fails
// while starting the program, or that could not close it, must not leave it running into the next test.
class ProcessGuard {
public:
    ProcessGuard() = default;
    ~ProcessGuard();
    ProcessGuard(const ProcessGuard&) = delete;
    ProcessGuard& operator=(const ProcessGuard&) = delete;

    void adopt(HANDLE process) noexcept { handle_.reset(process); }
    HANDLE get() const noexcept { return handle_.get(); }

private:
    win32::KernelHandle handle_;
};

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
    // One tick of a timer, sent as the system delivers it; when this returns the program has run the
    // tick's handler. Proves a number of ticks where waiting for real ones would be a guess at time.
    void timerTick(GuardTimer timer) const;

private:
    // Answers the boxes and closes the dialog as their user would, and waits until all are gone.
    void closeModalWindows() const noexcept;

    ProcessGuard process_;  // first member, so the last to go
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
    // Changes the clipboard's content without letting go of it.
    void putText(const wchar_t* text) const;
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
};
}  // namespace clipboard

}  // namespace zanthrel::e2e
