#pragma once

#include <windows.h>

#include <memory>

#include "guard/guard.h"
#include "platform/win32/clipboard_listener.h"
#include "platform/win32/program_lookup.h"
#include "platform/win32/tick_service.h"
#include "platform/win32/win32_clipboard.h"

namespace zanthrel::win32 {

// Messages the main window receives from the program's own threads.
inline constexpr UINT kTickMessage = WM_APP + 0x100;
inline constexpr UINT kClipboardAnswerMessage = WM_APP + 0x101;
inline constexpr UINT kClipboardChangeMessage = WM_APP + 0x102;
// WM_APP + 0x103 is the program lookup's (program_lookup.h), WM_APP + 0x200 the hand-over's.

// Turns what the tick thread, the clipboard agent and the system's clipboard notices report into the
// guard's events, on the window's thread.
class GuardEvents {
public:
    GuardEvents(Win32Clipboard& clipboard, TickService& ticks) : clipboard_(clipboard), ticks_(ticks) {}

    // Starts the ticks and the listener for the clipboard's changes.
    void attach(HWND window);
    // Where the owner of each change is to be named; none by default.
    void setProgramLookup(ProgramLookup* programs) noexcept { programs_ = programs; }
    // True for the messages handled here.
    bool handle(Guard& guard, UINT message);

private:
    void run(Guard& guard, unsigned due, bool clipboardChanged);
    void afterClipboardWork(Guard& guard);

    Win32Clipboard& clipboard_;
    TickService& ticks_;
    std::unique_ptr<ClipboardListener> listener_;
    ProgramLookup* programs_ = nullptr;
    // Work that arrived while a handler waited on another thread's SendMessage, for the next chance.
    unsigned deferredTicks_ = 0;
    bool deferredChange_ = false;
};

}  // namespace zanthrel::win32
