#include "tests/win32/program_driver.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "tests/win32/check.h"

namespace zanthrel::e2e {
namespace {

constexpr UINT kSendTimeoutMs = 5000;

LRESULT sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        throw std::runtime_error("the program did not answer a message within 5 seconds");
    return static_cast<LRESULT>(result);
}

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"zanthrel.exe";
}

struct Search {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

// Runs inside EnumWindows, so nothing may throw here. The windows it reads are another process's, for
// which GetWindowText returns the caption the system keeps and sends no message that could hang or fail.
BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) noexcept {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, search.className) != 0) return TRUE;
    if (search.caption) {
        wchar_t caption[256] = {};
        GetWindowTextW(window, caption, 256);
        if (std::wcscmp(caption, search.caption) != 0) return TRUE;
    }
    search.found = window;
    return FALSE;
}

class OpenClipboardScope {
public:
    OpenClipboardScope() {
        // Our program may hold the clipboard for a moment; so may Wine's bridge to the X selection.
        CHECK_MSG(waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 5s),
                  "the driver could not open the clipboard within 5 seconds");
    }
    ~OpenClipboardScope() { CloseClipboard(); }
};

// Puts text on the clipboard that the caller has open and emptied.
void setClipboardText(const wchar_t* text) {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    CHECK_MSG(block != nullptr, "no memory for the clipboard's text");
    std::memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    if (!SetClipboardData(CF_UNICODETEXT, block)) {
        GlobalFree(block);
        CHECK_MSG(false, "SetClipboardData refused the text");
    }
}

}  // namespace

std::wstring widen(std::string_view text) {
    std::wstring wide(text.size() * 2 + 1, L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::string narrow(std::wstring_view text) {
    std::string utf8(text.size() * 3 + 1, '\0');
    utf8.resize(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                     utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

std::wstring windowText(HWND window) {
    const auto length = sendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        sendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

RECT clientRectIn(HWND window, HWND container) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, container, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

ProcessGuard::~ProcessGuard() {
    if (!handle_ || WaitForSingleObject(handle_.get(), 0) != WAIT_TIMEOUT) return;
    TerminateProcess(handle_.get(), 1);
    WaitForSingleObject(handle_.get(), 5000);
}

Zanthrel::Zanthrel() {
    // Every test starts from an empty clipboard.
    {
        OpenClipboardScope open;
        EmptyClipboard();
    }
    std::wstring commandLine = L"\"" + programPath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    CHECK_MSG(
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started),
        "zanthrel.exe could not be started from " + narrow(programPath()));
    CloseHandle(started.hThread);
    process_.adopt(started.hProcess);
    processId_ = started.dwProcessId;
    main_ = waitForWindow(win32::kMainWindowClass, L"Zanthrel", 30s);
    // The window is shown; wait for the load handler's line, which comes before the first show.
    CHECK_MSG(waitUntil([&] { return !log().empty(); }), "the log stayed empty after start");
}

Zanthrel::~Zanthrel() {
    closeModalWindows();
    // Then the main window by its own close command; the process guard ends a program that stays.
    PostMessageW(main_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0)
        std::fprintf(stderr, "zanthrel.exe did not end within 10 seconds of WM_CLOSE; terminating it\n");
}

void Zanthrel::closeModalWindows() const noexcept {
    // Boxes first: a box may run inside the dialog's loop, which can only end after the box has. Each
    // window is asked once; its answer is waited for, since the main window must not be closed while it
    // is disabled under a dialog whose loop still runs.
    HWND askedBox = nullptr;
    HWND askedDialog = nullptr;
    const bool gone = waitUntil(
        [&] {
            const HWND box = findWindow(L"#32770", nullptr);
            const HWND dialog = findWindow(win32::kInformationDialogClass, nullptr);
            if (box && box != askedBox) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                askedBox = box;
            } else if (!box && dialog && dialog != askedDialog) {
                PostMessageW(dialog, WM_CLOSE, 0, 0);
                askedDialog = dialog;
            }
            return !box && !dialog;
        },
        10s);
    if (!gone) std::fprintf(stderr, "a box or the dialog of zanthrel.exe was still open 10 seconds after closing\n");
}

const ControlLayout& Zanthrel::layoutOf(std::string_view name) const {
    // Tests name the controls as another program sees them on screen.
    for (const ControlLayout& control : mainWindowLayout().controls)
        if (control.name == name) return control;
    throw std::logic_error("no control named " + std::string(name));
}

HWND Zanthrel::control(std::string_view name) const {
    const auto controls = mainWindowLayout().controls;
    const ControlLayout& layout = layoutOf(name);
    const HWND container = layout.container ? control(mainWindowLayout().control(*layout.container).name) : main_;
    const int id = win32::kMainControlIdBase + static_cast<int>(&layout - controls.data());
    const HWND window = GetDlgItem(container, id);
    CHECK_MSG(window != nullptr, "no window for control " + std::string(name));
    return window;
}

std::vector<std::string> Zanthrel::log() const {
    const HWND list = control("List1");
    const auto count = sendWithTimeout(list, LB_GETCOUNT, 0, 0);
    std::vector<std::string> entries;
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(static_cast<std::size_t>(sendWithTimeout(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        entry.resize(
            static_cast<std::size_t>(sendWithTimeout(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
        entries.push_back(narrow(entry));
    }
    return entries;
}

void Zanthrel::click(std::string_view buttonName) const {
    PostMessageW(control(buttonName), BM_CLICK, 0, 0);
}

void moveMouse(POINT target) {
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = target.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = target.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // Under Wine the X server's own pointer can pull the cursor back for a moment; a button pressed
    // before the cursor has settled lands elsewhere, so move until it stays where it was sent.
    const bool arrived = waitUntil(
        [&] {
            SendInput(1, &move, sizeof(INPUT));
            POINT now{};
            GetCursorPos(&now);
            return std::abs(now.x - target.x) <= 1 && std::abs(now.y - target.y) <= 1;
        },
        5s);
    CHECK_MSG(arrived, "the mouse cursor did not move to the target");
}

void pressLeftButton(bool down) {
    INPUT press{};
    press.type = INPUT_MOUSE;
    press.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    CHECK_MSG(SendInput(1, &press, sizeof(INPUT)) == 1, "SendInput refused the mouse button");
}

POINT centreOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void Zanthrel::mouseClick(HWND window) const {
    moveMouse(centreOf(window));
    pressLeftButton(true);
    pressLeftButton(false);
}

HWND Zanthrel::findWindow(const wchar_t* className, const wchar_t* caption) const {
    Search search{processId_, className, caption, nullptr};
    EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Zanthrel::waitForWindow(const wchar_t* className, const wchar_t* caption,
                             std::chrono::milliseconds timeout) const {
    HWND found = nullptr;
    const bool shown = waitUntil([&] { return (found = findWindow(className, caption)) != nullptr; }, timeout);
    CHECK_MSG(shown, "no window '" + narrow(caption ? caption : L"") + "' of class " + narrow(className) +
                         " appeared within " + std::to_string(timeout.count()) + " ms");
    return found;
}

HWND Zanthrel::waitForMessageBox(const wchar_t* title, std::string& text) const {
    const HWND box = waitForWindow(L"#32770", title);
    text.clear();
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        if (_wcsicmp(className, L"Static") != 0) continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = sendWithTimeout(child, STM_GETICON, 0, 0) != 0;
        else if (text.empty())
            text = narrow(windowText(child));
    }
    CHECK_MSG(icon, "the message box shows no icon");
    CHECK_MSG(GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) && !GetDlgItem(box, IDYES),
              "the message box should have an OK button only");
    return box;
}

void Zanthrel::pressOk(HWND messageBox) const {
    PostMessageW(GetDlgItem(messageBox, IDOK), BM_CLICK, 0, 0);
    CHECK_MSG(waitUntil([&] { return !IsWindow(messageBox); }), "the message box did not close on OK");
}

void Zanthrel::sync() const {
    sendWithTimeout(main_, WM_NULL, 0, 0);
}

void Zanthrel::timerTick(GuardTimer timer) const {
    sendWithTimeout(main_, win32::kTickMessage, 1u << static_cast<unsigned>(timer), 0);
}

namespace clipboard {

void copyText(const wchar_t* text) {
    OpenClipboardScope open;
    EmptyClipboard();
    setClipboardText(text);
}

void copyPicture(int seed) {
    constexpr int kWidth = 64, kHeight = 48;
    std::vector<std::uint32_t> pixels(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            pixels[y * kWidth + x] = static_cast<std::uint32_t>((x * 4 + seed * 40) << 16 | (y * 5) << 8 | (seed * 17));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    win32::ScreenDc screen;
    HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), kWidth, kHeight);
    SetDIBits(screen.get(), bitmap, 0, kHeight, pixels.data(), &info, DIB_RGB_COLORS);
    OpenClipboardScope open;
    EmptyClipboard();
    if (!SetClipboardData(CF_BITMAP, bitmap)) DeleteObject(bitmap);
}

bool isEmpty() {
    return CountClipboardFormats() == 0;
}
bool hasText() {
    return IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
}
bool hasPicture() {
    return IsClipboardFormatAvailable(CF_BITMAP) != FALSE;
}

Holder::Holder() {
    CHECK_MSG(waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 5s), "could not take the clipboard");
}
Holder::~Holder() {
    CloseClipboard();
}
void Holder::putText(const wchar_t* text) const {
    CHECK_MSG(EmptyClipboard(), "the holder could not empty the clipboard it holds");
    setClipboardText(text);
}

}  // namespace clipboard

}  // namespace zanthrel::e2e
