#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string_view>

#include "platform/shell/command_line.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

inline constexpr wchar_t kHandOverWindowClass[] = L"ZanthrelHandOver";
// In the session's own namespace: one guard per user session, and other sessions' guards are others.
inline constexpr wchar_t kGuardMutexName[] = L"Local\\Zanthrel.Guard";

// One guard per session. The running guard holds a named mutex, which the system closes when its
// process ends however it ends, and a message-only window that takes a second start's options as
// WM_COPYDATA. A second start hands its options over and ends; a guard that does not answer within
// the deadline is taken for hung, and the new start guards in its place. Nothing goes to any file.
struct GuardClaim {
    enum class Outcome { Guard, HandedOver };
    Outcome outcome = Outcome::Guard;
    KernelHandle mutex;  // kept open for the guard's lifetime
};

// The deadline after which the system itself calls a window not responding.
inline constexpr DWORD kHandOverDeadlineMs = 5000;

GuardClaim claimOrHandOver(std::string_view message, DWORD deadlineMs = kHandOverDeadlineMs);

// The guard's side: takes the hand-overs, answers at once, and passes their options on from a posted
// message, after the sender has had its answer, since a click may open a modal box.
class HandOverWindow final : public Window {
public:
    using Receiver = std::function<void(const CommandLine& options)>;
    HandOverWindow(HINSTANCE instance, Receiver receiver);
    ~HandOverWindow() override;

    void create();

    // What a guard answers to a hand-over it took; anything else means it was not taken.
    static constexpr LRESULT kAccepted = 0x5A48;

private:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HINSTANCE instance_;
    Receiver receiver_;
    std::deque<CommandLine> pending_;  // taken, not yet acted on; bounded
};

}  // namespace zanthrel::win32
