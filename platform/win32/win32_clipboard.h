#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_form.h"
#include "platform/services.h"
#include "platform/win32/clipboard_agent.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// How long another program may take to render a promised format, or to let go when the clipboard is
// emptied, before the change counts as unanswered. Legitimate owners render in milliseconds; the window
// never waits either way, so this only decides when a silent owner is reported.
inline constexpr std::chrono::milliseconds kOwnerDeadline{1000};

// The system clipboard as the main window uses it, from the window's thread. Nothing here waits for
// another program: reads and emptying run on a ClipboardAgent, and a read whose answer is not there yet
// throws ClipboardBusy. While the clipboard's sequence number stands still the last answer is handed
// out again without asking anybody, which keeps an idle sampling tick cheap.
class Win32Clipboard final : public Clipboard {
public:
    // `owner` is the window told of finished work by `answerMessage`; it must exist whenever the
    // clipboard is used.
    Win32Clipboard(const Window* owner, UINT answerMessage) : owner_(owner), answerMessage_(answerMessage) {}

    PictureRef readPicture() override;
    void clear() override;

    // What the window learns when the agent has finished something or a check is due.
    struct News {
        bool answered = false;      // a picture for the clipboard as it is now has arrived
        bool emptyingDone = false;  // an emptying has finished, done or not
        std::vector<ClipboardProblem> problems;
    };
    News collect(std::chrono::steady_clock::time_point now);
    // True while an emptying is owed (the clipboard was held open, or changed again meanwhile).
    bool clearOwed() const noexcept { return clearOwed_; }
    // True while something needs checking again soon: a job under way, or work owed.
    bool needsChecks() const;
    // True when the service's thread has nothing under way or waiting.
    bool idle() const;

private:
    ClipboardAgent& agent();

    const Window* owner_;
    UINT answerMessage_;
    std::unique_ptr<ClipboardAgent> agent_;
    std::optional<ClipboardReading> answer_;  // the last reading, for its sequence number
    std::optional<DWORD> silentSequence_;     // the change whose owner missed its deadline
    std::optional<DWORD> emptiedSequence_;    // the clipboard's number when we last left it empty
    bool readOwed_ = false;
    bool clearOwed_ = false;
    std::uint64_t reportedJob_ = 0;  // the late job already reported
};

}  // namespace zanthrel::win32
