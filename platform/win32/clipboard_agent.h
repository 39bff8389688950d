#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>

#include "core/picture.h"

namespace zanthrel::win32 {

// What one visit to the clipboard found. `held`: another program had it open, nothing was done.
// `silent`: the clipboard's owner did not answer at all, so it was not asked for its picture.
struct ClipboardReading {
    DWORD sequence = 0;
    PictureRef picture;
    bool held = false;
    bool silent = false;
};

// What an emptying did. `held`: another program held the clipboard open; the agent waited for it to let
// go and emptied nothing.
struct ClearOutcome {
    DWORD sequence = 0;  // the clipboard's number as we left it, when emptied
    bool held = false;
    bool emptied = false;
};

enum class AgentJob { None, Read, Clear };

struct AgentStatus {
    AgentJob job = AgentJob::None;
    std::uint64_t jobNumber = 0;  // tells one job from the next
    DWORD sequence = 0;           // the clipboard's number as the job began
    std::chrono::steady_clock::time_point started;
    bool requested = false;  // a job is waiting to run
    // A read or an emptying found the clipboard held open by another program. The agent looks again by
    // itself until the clipboard is let go; then a read is done and announced, and an emptying is
    // announced as held, with nothing emptied, for the window to ask for again.
    bool readWaitsForRelease = false;
    bool clearWaitsForRelease = false;
};

// Does the clipboard work that may wait on another program (an owner rendering a format it only
// promised; a previous owner told its data is gone) on a thread of its own, so that the window never
// waits. Requests are coalesced; each finished job is announced by sending `message` to `window`, which
// the system delivers before any posted message. A read or an emptying that finds the clipboard held open
// by another program is not announced: the agent waits for the release, looking again at a growing
// interval; then a read is done, and an emptying is announced as held, to be asked for again. A
// thread stuck inside the system when the agent goes is left to finish on its own: it holds only state
// it shares with nobody else.
class ClipboardAgent {
public:
    // `deadline`: how long an owner may take to answer before it is not asked for its picture.
    ClipboardAgent(HWND window, UINT message, std::chrono::milliseconds deadline);
    ~ClipboardAgent();
    ClipboardAgent(const ClipboardAgent&) = delete;
    ClipboardAgent& operator=(const ClipboardAgent&) = delete;

    void requestRead();
    void requestClear();
    AgentStatus status() const;
    std::optional<ClipboardReading> takeReading();
    std::optional<ClearOutcome> takeClearOutcome();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace zanthrel::win32
