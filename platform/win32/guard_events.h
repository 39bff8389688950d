#pragma once

#include <windows.h>

#include "guard/guard.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/program_lookup.h"
#include "platform/win32/tick_service.h"
#include "platform/win32/win32_clipboard.h"

namespace zanthrel::win32 {

// Messages the main window receives from the program's own threads (kTickMessage, from the tick thread,
// is in control_ids.h: a test driver sends it too).
inline constexpr UINT kClipboardNewsMessage = WM_APP + 0x101;
// WM_APP + 0x103 is the program lookup's (program_lookup.h), WM_APP + 0x200 the hand-over's.
static_assert(kTickMessage == WM_APP + 0x100);

// Turns what the tick thread, the clipboard agent and the system's clipboard notices report into the
// guard's events, on the window's thread.
class GuardEvents {
public:
    GuardEvents(Win32Clipboard& clipboard, TickService& ticks) : clipboard_(clipboard), ticks_(ticks) {}

    // Starts the ticks and hearing of the clipboard's changes.
    void attach(HWND window);
    // Where the owner of each change is to be named; none by default.
    void setProgramLookup(ProgramLookup* programs) noexcept { programs_ = programs; }
    // True for the messages handled here.
    bool handle(Guard& guard, UINT message, WPARAM wParam);

private:
    void run(Guard& guard, unsigned due, bool news);
    void afterClipboardWork(Guard& guard);

    Win32Clipboard& clipboard_;
    TickService& ticks_;
    ProgramLookup* programs_ = nullptr;
    // Work that arrived while a handler waited on another thread's SendMessage, for the next chance.
    unsigned deferredTicks_ = 0;
    bool deferredNews_ = false;
};

}  // namespace zanthrel::win32
