#include "platform/win32/dpi.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/control_ids.h"

namespace zanthrel::win32 {
namespace {

// The per-monitor functions of the system this runs on, where it has them.
struct PerMonitorFunctions {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    // shcore's GetDpiForMonitor, on Windows 8.1 before the others came: MDT_EFFECTIVE_DPI is 0.
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

    GetDpiForWindowFn dpiForWindow = nullptr;
    GetSystemMetricsForDpiFn metricForDpi = nullptr;
    AdjustWindowRectExForDpiFn adjustForDpi = nullptr;
    GetDpiForMonitorFn dpiForMonitor = nullptr;

    PerMonitorFunctions() {
        if (const HMODULE user = GetModuleHandleW(L"user32.dll")) {
            dpiForWindow =
                reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
            metricForDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(
                reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
            adjustForDpi = reinterpret_cast<AdjustWindowRectExForDpiFn>(
                reinterpret_cast<void*>(GetProcAddress(user, "AdjustWindowRectExForDpi")));
        }
        if (dpiForWindow) return;  // the newer functions answer everything shcore's would
        // From the system folder only: a shcore.dll beside the program must not be loaded in its place.
        wchar_t folder[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        const std::wstring path = std::wstring(folder, length) + L"\\shcore.dll";
        // Kept loaded for the program's life, as the functions found in it are.
        if (const HMODULE shcore = LoadLibraryW(path.c_str()))
            dpiForMonitor = reinterpret_cast<GetDpiForMonitorFn>(
                reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    }
};

const PerMonitorFunctions& perMonitor() {
    static const PerMonitorFunctions functions;
    return functions;
}

// Half the usual density to ten times it: wider than any scale Windows offers (100 to 500 %).
bool plausibleDpi(WPARAM dpi) {
    return dpi >= 48 && dpi <= 960;
}

}  // namespace

int systemDpi() {
    ScreenDc screen;
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

int windowDpi(HWND window) {
    const PerMonitorFunctions& functions = perMonitor();
    if (functions.dpiForWindow && window) {
        if (const UINT dpi = functions.dpiForWindow(window)) return static_cast<int>(dpi);
    }
    if (functions.dpiForMonitor && window) {
        UINT x = 0;
        UINT y = 0;
        const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        if (monitor && SUCCEEDED(functions.dpiForMonitor(monitor, 0, &x, &y)) && y > 0) return static_cast<int>(y);
    }
    return systemDpi();
}

int systemMetric(int index, int dpi) {
    if (const auto metricForDpi = perMonitor().metricForDpi) return metricForDpi(index, static_cast<UINT>(dpi));
    // The system's metrics are at its own density; another density scales them.
    return MulDiv(GetSystemMetrics(index), dpi, systemDpi());
}

PixelSize outerSize(PixelSize client, DWORD style, DWORD exStyle, int dpi) {
    RECT outer{0, 0, client.width, client.height};
    if (const auto adjustForDpi = perMonitor().adjustForDpi)
        adjustForDpi(&outer, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

RECT centredBounds(PixelSize outer) {
    int left = (GetSystemMetrics(SM_CXSCREEN) - outer.width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - outer.height) / 2;
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        left = std::max<int>(left, work.left);
        top = std::max<int>(top, work.top);
    }
    return RECT{left, top, left + outer.width, top + outer.height};
}

void centreWindow(HWND window) {
    RECT outer{};
    GetWindowRect(window, &outer);
    const RECT centred = centredBounds({outer.right - outer.left, outer.bottom - outer.top});
    SetWindowPos(window, nullptr, centred.left, centred.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelSize clientSizeOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}

void setClientSize(HWND window, PixelSize client) {
    const PixelSize now = clientSizeOf(window);
    if (now == client) return;
    RECT outer{};
    GetWindowRect(window, &outer);
    const int width = outer.right - outer.left + client.width - now.width;
    const int height = outer.bottom - outer.top + client.height - now.height;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void takeSuggestedBounds(HWND window, const RECT& suggested, PixelSize client) {
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    setClientSize(window, client);
}

std::optional<DensityChange> densityChange(WPARAM wParam, LPARAM lParam) {
    if (!plausibleDpi(HIWORD(wParam)) || lParam == 0) return std::nullopt;
    return DensityChange{HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)};
}

LRESULT answerScaledSize(HWND window, const FormLayout& form, int fromDpi, DWORD style, DWORD exStyle, WPARAM wParam,
                         LPARAM lParam) {
    if (!plausibleDpi(wParam) || lParam == 0) return FALSE;
    const int toDpi = static_cast<int>(wParam);
    const PixelSize outer =
        outerSize(clientSizeAfterMove(form, clientSizeOf(window), fromDpi, toDpi), style, exStyle, toDpi);
    *reinterpret_cast<SIZE*>(lParam) = SIZE{outer.width, outer.height};
    return TRUE;
}

void TitleIcons::show(HWND window, HINSTANCE instance, int dpi) {
    const auto load = [&](int metric) {
        const int size = systemMetric(metric, dpi);
        return IconHandle(static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(kIconGroupId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    };
    IconHandle small = load(SM_CXSMICON);
    IconHandle large = load(SM_CXICON);
    // The window holds on to the icons it was given; the old ones go only once it has the new ones.
    if (small) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    if (large) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large.get()));
    if (small) small_ = std::move(small);
    if (large) large_ = std::move(large);
}

}  // namespace zanthrel::win32
