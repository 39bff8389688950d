#include "platform/win32/single_instance.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/shell/start_options.h"

namespace zanthrel::win32 {
namespace {

// Tells our hand-overs from any other WM_COPYDATA a window of that class might be sent.
constexpr ULONG_PTR kHandOverTag = 0x5A414E48;  // "ZANH"
constexpr UINT kActMessage = WM_APP + 0x200;
constexpr DWORD kLookAgainMs = 50;
// More hand-overs than any user starts between two messages are a flood, not starts.
constexpr std::size_t kMostPending = 16;

std::vector<HWND> handOverWindows() {
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, kHandOverWindowClass, nullptr)) != nullptr)
        windows.push_back(window);
    return windows;
}

bool handTo(HWND window, std::string_view message, DWORD deadlineMs) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // The running guard brings its window forward, which the system allows a process only if the
    // foreground process (this one, just started by the user) lets it.
    AllowSetForegroundWindow(process);
    COPYDATASTRUCT data{kHandOverTag, static_cast<DWORD>(message.size()), const_cast<char*>(message.data())};
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               deadlineMs, &answer) != 0 &&
           static_cast<LRESULT>(answer) == HandOverWindow::kAccepted;
}

}  // namespace

GuardClaim claimOrHandOver(std::string_view message, DWORD deadlineMs) {
    GuardClaim claim;
    claim.mutex.reset(CreateMutexW(nullptr, FALSE, kGuardMutexName));
    // Without the mutex there is no telling; guarding twice is better than not guarding.
    if (!claim.mutex || GetLastError() != ERROR_ALREADY_EXISTS) return claim;
    // A guard is running or starting: its window may not be there yet.
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    do {
        const std::vector<HWND> windows = handOverWindows();
        // Each gets the whole deadline: one hung guard must not cost the next its chance to answer.
        for (const HWND window : windows) {
            if (handTo(window, message, deadlineMs)) {
                claim.outcome = GuardClaim::Outcome::HandedOver;
                return claim;
            }
        }
        // A guard that has its window and did not take the options is hung, or is not ours.
        if (!windows.empty()) return claim;
        Sleep(kLookAgainMs);
    } while (GetTickCount64() < end);
    return claim;
}

HandOverWindow::HandOverWindow(HINSTANCE instance, Receiver receiver)
    : instance_(instance), receiver_(std::move(receiver)) {}

HandOverWindow::~HandOverWindow() = default;

void HandOverWindow::create() {
    registerClass(instance_, kHandOverWindowClass, nullptr, nullptr);
    // Message-only: never shown, never in the way of the broadcasts other windows hear.
    createWindow(0, kHandOverWindowClass, L"Zanthrel hand-over", 0, RECT{0, 0, 0, 0}, HWND_MESSAGE, 0, instance_);
}

LRESULT HandOverWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COPYDATA: {
            // From whatever process found the window: held to the same command line as a start.
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (!data || data->dwData != kHandOverTag || data->cbData > kLongestHandOverMessage ||
                (data->cbData != 0 && !data->lpData))
                return FALSE;
            const std::string_view text(static_cast<const char*>(data->lpData), data->cbData);
            std::optional<CommandLine> options = parseHandOverMessage(text);
            if (!options || pending_.size() >= kMostPending) return FALSE;
            pending_.push_back(std::move(*options));
            PostMessageW(hwnd(), kActMessage, 0, 0);
            return kAccepted;
        }
        case kActMessage:
            if (!pending_.empty()) {
                const CommandLine options = std::move(pending_.front());
                pending_.pop_front();
                if (receiver_) receiver_(options);
            }
            return 0;
        default: return Window::handleMessage(message, wParam, lParam);
    }
}

}  // namespace zanthrel::win32
