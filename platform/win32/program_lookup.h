#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "guard/guard.h"

namespace zanthrel::win32 {

// The message a ProgramLookup posts to its window when a name is ready.
inline constexpr UINT kProgramNamedMessage = WM_APP + 0x103;

// Names the program that owns the clipboard after each change: the owner window's process, by the image
// file the system loaded it from. The window and the process id are taken at the notice, or by the
// emptying that blocking did before the window heard of the change; opening the process and reading its image name
// happen on a thread of its own, so that the window never waits for them. Windows tells no one which programs read the
// clipboard.
class ProgramLookup {
public:
    explicit ProgramLookup(HWND window);
    ~ProgramLookup();
    ProgramLookup(const ProgramLookup&) = delete;
    ProgramLookup& operator=(const ProgramLookup&) = delete;

    // The clipboard changed: starts naming its owner, the process given if the change was emptied before
    // the window heard of it (0: none known), or else the clipboard's owner now. Window thread.
    void clipboardChanged(std::optional<std::uint32_t> ownerProcess = std::nullopt);
    // On kProgramNamedMessage: tells the guard the name of the newest change's owner, if it has come.
    void deliver(Guard& guard);

    // The image file name of process `processId`, or how it could not be had (exited, not ours to open).
    static ProgramIdentity identify(DWORD processId);

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::uint64_t notice_ = 0;
};

}  // namespace zanthrel::win32
