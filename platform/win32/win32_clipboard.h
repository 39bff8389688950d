#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "core/services.h"
#include "platform/win32/clipboard_agent.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// How long the clipboard's owner may take to answer a message before it is not asked for its picture, and
// how long an emptying may wait on the previous owner before it is reported. The window never waits
// either way; these only decide what is reported.
inline constexpr std::chrono::milliseconds kOwnerDeadline{1000};
// How long a read may take from start to finish before the change counts as unanswered: the owner
// rendering, the system passing the data over (a gigabyte takes seconds under Wine), our digest and
// decoding.
inline constexpr std::chrono::milliseconds kDeliveryDeadline{10000};

// The system clipboard as the main window uses it, from the window's thread. Nothing here waits for
// another program: reads and emptying run on a ClipboardAgent. A read whose answer is not there yet
// gives the previous answer, the clipboard as it stood when last known; it throws ClipboardBusy only
// before the first answer, while another program holds the clipboard open, and for an owner that
// missed its deadline (until the next change). While the clipboard's sequence number stands still the
// last answer is handed out again without asking anybody, which keeps an idle sampling tick cheap.
class Win32Clipboard final : public Clipboard {
public:
    // `owner` is the window told of finished work by `answerMessage`; it must exist whenever the
    // clipboard is used.
    Win32Clipboard(const Window* owner, UINT answerMessage) : owner_(owner), answerMessage_(answerMessage) {}

    PictureRef readPicture() override;
    void clear() override;

    // What the window learns when the agent has finished something or a check is due.
    struct News {
        bool answered = false;  // a picture for the clipboard as it is now has arrived
        // An emptying has finished, or found the clipboard held and seen it let go, and the clipboard is not
        // empty as we left it: the guard says whether to empty it again, as blocking may have ended.
        bool clearAgain = false;
        std::vector<ClipboardProblem> problems;
    };
    News collect(std::chrono::steady_clock::time_point now);
    // The system said the clipboard changed: a read waiting for another program to let go looks at once.
    void changeNoticed();
    // True from a request to empty the clipboard until the next outcome of an emptying is collected (one
    // under way, or waiting for another program to let go of the clipboard, keeps it true).
    bool clearOwed() const noexcept { return clearOwed_; }
    // True while something needs checking again soon: a job under way, or work owed.
    bool needsChecks() const;
    // True when the service's thread has nothing under way or waiting.
    bool idle() const;
    // True when the last answer belongs to the clipboard as it is now.
    bool upToDate() const;
    // Whether a read now would give `held` again, or fail without changing anything, until the clipboard
    // changes or an answer arrives: then a sampling tick whose holders both hold `held` has nothing to do.
    bool atRest(const PictureRef& held) const noexcept override;

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
