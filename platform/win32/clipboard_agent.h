#pragma once

#include <windows.h>

#include <chrono>
#include <memory>

#include "platform/win32/clipboard_job.h"
#include "platform/win32/clipboard_listener.h"

namespace zanthrel::win32 {

// Does the clipboard work that may wait on another program (an owner rendering a format it only
// promised; a previous owner told its data is gone) on a thread of its own, so that the window never
// waits; what to do, and when, is the ClipboardJob's to say, and this thread only does it and hands back
// what came of it. With a listener, change notices reach the job straight from the listener's thread, and
// the listener's window owns the clipboard the agent empties; the standing emptying order is carried out
// there, with no trip through the window. Whenever the job has news the window is sent `message`, which
// the system delivers before any posted message. A thread stuck inside the system when the agent goes
// is left to finish on its own: it holds only state it shares with nobody else.
class ClipboardAgent {
public:
    // `window` is told of news and, without a listener, names the clipboard when the agent opens it. An
    // owner that does not answer within ClipboardJob::kOwnerDeadline is not asked for its picture.
    ClipboardAgent(HWND window, UINT message, bool listen);
    ~ClipboardAgent();
    ClipboardAgent(const ClipboardAgent&) = delete;
    ClipboardAgent& operator=(const ClipboardAgent&) = delete;

    // Whether a listener of its own hears of the clipboard's changes; without one the window must.
    bool listening() const noexcept;

    // Requests from the window's thread, and what it takes in.
    void wantRead(ClipboardSequence sequence);
    void wantEmptying(ClipboardSequence sequence);
    // Returns once the job follows `order`: after a withdrawal, no emptying starts any more.
    void setOrder(const EmptyingOrder& order);
    ClipboardJob::News collect(ClipboardSequence sequence, std::chrono::steady_clock::time_point now);
    ClipboardJob::Status status() const;
    // A change notice that the window heard itself, where no listener could be made.
    void changeNoticed();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<ClipboardListener> listener_;
};

}  // namespace zanthrel::win32
