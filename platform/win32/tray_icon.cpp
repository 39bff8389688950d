#include "platform/win32/tray_icon.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "core/texts.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/dpi.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {
namespace {

constexpr UINT kCallbackMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
// A frame like the window's indicator, filled with its colour; while watching, with a white eye in the middle.
RECT rectOf(const IconBox& box) {
    return RECT{box.left, box.top, box.right, box.bottom};
}

// Drawn for the size the notification area shows at `dpi` (16 pixels at 96 dpi, 24 at 144, 32 at 192), so
// that it is never a small icon stretched.
IconHandle drawIcon(TrayLook look, int dpi) {
    const int metric = systemMetric(SM_CXSMICON, dpi);
    const int size = metric > 0 ? metric : 16;
    const TrayIconDrawing drawing = trayIconDrawing(look, size);
    const RECT square = rectOf(drawing.square);
    const ScreenDc screen;
    const MemoryDc dc(CreateCompatibleDC(screen.get()));
    // Colour: black outside the square, so that the mask leaves it transparent.
    const BitmapHandle colour(CreateCompatibleBitmap(screen.get(), size, size));
    {
        const SelectedObject selected(dc.get(), colour.get());
        const RECT all{0, 0, size, size};
        FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        const BrushHandle fill(CreateSolidBrush(drawing.fill));
        FillRect(dc.get(), &square, fill.get());
        // A pixel's frame at 16 pixels, as thick again at 32.
        RECT frame = square;
        for (int line = 0; line < std::max(1, size / 16); ++line) {
            FrameRect(dc.get(), &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            InflateRect(&frame, -1, -1);
        }
        if (drawing.eye) {
            const RECT eye = rectOf(*drawing.eye);
            FillRect(dc.get(), &eye, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        }
    }
    // Mask: white (transparent) everywhere but the square.
    const BitmapHandle mask(CreateBitmap(size, size, 1, 1, nullptr));
    {
        const SelectedObject selected(dc.get(), mask.get());
        const RECT all{0, 0, size, size};
        FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        FillRect(dc.get(), &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    ICONINFO info{TRUE, 0, 0, mask.get(), colour.get()};
    return IconHandle(CreateIconIndirect(&info));
}

template <std::size_t N>
void copyText(wchar_t (&target)[N], std::string_view text) {
    const std::wstring wide = toWide(text);
    wcsncpy(target, wide.c_str(), N - 1);
    target[N - 1] = L'\0';
}

}  // namespace

TrayIcon::TrayIcon(HINSTANCE instance, Guard& guard, HWND mainWindow)
    : instance_(instance),
      guard_(guard),
      mainWindow_(mainWindow),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    drawIcons(systemDpi());
}

void TrayIcon::drawIcons(int dpi) {
    for (const TrayLook look : {TrayLook::Usable, TrayLook::Watching, TrayLook::Blocked})
        icons_[static_cast<std::size_t>(look)] = drawIcon(look, dpi);
}

TrayIcon::~TrayIcon() {
    // Only the icon's identity: the guard may be gone by now.
    if (added_) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = hwnd();
        data.uID = kIconId;
        Shell_NotifyIconW(NIM_DELETE, &data);
    }
    destroyWindow();
}

void TrayIcon::create() {
    registerClass(instance_, kTrayWindowClass, nullptr, nullptr);
    // Top-level but never shown: a message-only window would not hear the TaskbarCreated broadcast.
    createWindow(WS_EX_TOOLWINDOW, kTrayWindowClass, L"Zanthrel tray", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0,
                 instance_);
    // The hidden window lies on the primary monitor, where the taskbar is unless the user moved it.
    if (const int dpi = windowDpi(hwnd()); dpi != systemDpi()) drawIcons(dpi);
    look_ = trayStatus(guard_.state()).look;
    shownTip_ = trayStatus(guard_.state()).tooltip;
    added_ = notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}

bool TrayIcon::notify(DWORD action, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd();
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = icons_[static_cast<std::size_t>(look_)].get();
    copyText(data.szTip, trayStatus(guard_.state()).tooltip);
    if (flags & NIF_INFO) {
        copyText(data.szInfoTitle, texts::kWarningTitle);
        // The programs behind the alarm, as its log line under it names them.
        const std::string& programs = guard_.state().alarmPrograms;
        const auto named = programs.find_first_not_of(' ');
        copyText(data.szInfo, named == std::string::npos
                                  ? std::string(texts::kWarningText)
                                  : std::string(texts::kWarningText) + "\n" + programs.substr(named));
        data.dwInfoFlags = NIIF_WARNING;
    }
    return Shell_NotifyIconW(action, &data) != FALSE;
}

void TrayIcon::guardChanged(GuardChange change) {
    if (!hwnd()) return;
    const GuardState& state = guard_.state();
    if (change == GuardChange::Log && !state.log.empty() && isAlarmEntry(state.log.back()))
        notify(NIM_MODIFY, NIF_INFO);
    if (change == GuardChange::FirstHolder || change == GuardChange::SecondHolder ||
        change == GuardChange::CaptureCount)
        return;
    const TrayStatus status = trayStatus(state);
    showLook(status.look);
    // Every change reaches here, the counter's and the log's too; the notification area is told only of
    // a new tip, since each message to it wakes another process.
    if (status.tooltip != shownTip_) {
        shownTip_ = status.tooltip;
        notify(NIM_MODIFY, NIF_TIP);
    }
}

void TrayIcon::showLook(TrayLook look) {
    if (look == look_) return;
    look_ = look;
    notify(NIM_MODIFY, NIF_ICON);
}

LRESULT TrayIcon::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // Explorer started again with an empty notification area, maybe at another scale.
        drawIcons(windowDpi(hwnd()));
        added_ = notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
        return 0;
    }
    switch (message) {
        case kDpiChangedMessage:
            // The primary monitor's scale changed: the notification area shows its icons at another size.
            if (const auto change = densityChange(wParam, lParam)) {
                drawIcons(change->dpi);
                if (added_) notify(NIM_MODIFY, NIF_ICON);
            }
            return 0;
        case kCallbackMessage:
            if (lParam == WM_LBUTTONUP || lParam == WM_LBUTTONDBLCLK) showMainWindow();
            if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) showMenu();
            return 0;
        case WM_COMMAND:
            // The menu's commands, also as other programs (the tests, accessibility tools) send them.
            if (HIWORD(wParam) == 0) run(LOWORD(wParam));
            return 0;
        default: return Window::handleMessage(message, wParam, lParam);
    }
}

void TrayIcon::showMenu() {
    const TrayStatus status = trayStatus(guard_.state());
    // While a modal box of the main window is open, its commands wait as the window's buttons do.
    const bool commandsAllowed = IsWindowEnabled(mainWindow_) != FALSE;
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const auto item = [&](UINT id, const CommandState& button) {
        const UINT flags = MF_STRING | (button.enabled && commandsAllowed ? MF_ENABLED : MF_GRAYED);
        AppendMenuW(menu, flags, id, toWide(button.caption).c_str());
    };
    item(StartPause, status.monitoringCommand);
    item(EnableDisable, status.blockingCommand);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, Show, L"Show");
    AppendMenuW(menu, MF_STRING, Quit, L"Quit");
    POINT cursor{};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(hwnd());
    UINT chosen = 0;
    {
        // The menu's loop lasts as long as the user leaves it open; blocking must not wait for it.
        const ModalScope modal;
        chosen = static_cast<UINT>(
            TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_RIGHTALIGN | TPM_BOTTOMALIGN,
                           cursor.x, cursor.y, 0, hwnd(), nullptr));
    }
    PostMessageW(hwnd(), WM_NULL, 0, 0);
    DestroyMenu(menu);
    run(chosen);
}

void TrayIcon::run(UINT command) {
    // The commands are the window's buttons: not while they are disabled, nor while a modal box is open.
    const GuardState& state = guard_.state();
    const bool allowed = IsWindowEnabled(mainWindow_) != FALSE;
    if ((command == StartPause && !(allowed && state.monitoring.enabled)) ||
        (command == EnableDisable && !(allowed && state.blocking.enabled)))
        return;
    switch (command) {
        case StartPause: guard_.toggleMonitoring(); break;
        case EnableDisable: guard_.toggleBlocking(); break;
        case Show: showMainWindow(); break;
        case Quit: PostMessageW(mainWindow_, WM_CLOSE, 0, 0); break;
        default: break;
    }
}

void TrayIcon::showMainWindow() {
    ShowWindow(mainWindow_, IsIconic(mainWindow_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(mainWindow_);
}

}  // namespace zanthrel::win32
