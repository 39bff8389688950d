#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>

#include "core/services.h"
#include "platform/win32/clipboard_agent.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// The system clipboard as the main window uses it, from the window's thread. Nothing here waits for
// another program, and nothing here decides: reads and emptying are the ClipboardJob's, done by a
// ClipboardAgent, and this passes requests to it and takes in what it did. A read whose answer is not
// there yet gives the previous answer, the clipboard as it stood when last known; it throws ClipboardBusy
// only before the first answer, while another program holds the clipboard open, and for an owner that
// missed its deadline (until the next change). While the clipboard's sequence number stands still the
// last answer is handed out again without asking anybody, which keeps an idle sampling tick cheap.
class Win32Clipboard final : public Clipboard {
public:
    // `owner` is the window told of news by `newsMessage`; it must exist whenever the clipboard is used.
    // `listen`: hear of the clipboard's changes on a thread of our own (ClipboardListener), which then
    // carries out the standing emptying order by itself.
    Win32Clipboard(const Window* owner, UINT newsMessage, bool listen = false)
        : owner_(owner), newsMessage_(newsMessage), listen_(listen) {}

    PictureRef readPicture() override;
    void clear() override;
    void setEmptyingOrder(const EmptyingOrder& order) override;

    // What the window learns when the agent has news or a check is due: the job's news, whose answer is
    // kept here as the clipboard's last known picture and taken out.
    using News = ClipboardJob::News;
    News collect(std::chrono::steady_clock::time_point now);
    // Whether our own listener hears of the clipboard's changes; if not, the window must, and pass them on.
    bool listening();
    // The system told the window itself that the clipboard changed.
    void changeNoticed();
    // True from a request to empty the clipboard until the next outcome of an emptying is collected (one
    // under way, or waiting for another program to let go of the clipboard, keeps it true).
    bool clearOwed() const;
    // True while something needs checking again soon: a job under way, or work owed.
    bool needsChecks() const;
    // True when the service's thread has nothing under way or waiting.
    bool idle() const;
    // True when the last answer belongs to the clipboard as it is now.
    bool upToDate() const;
    // Whether a read now would give `held` again, or fail without changing anything, until the clipboard
    // changes or an answer arrives: then a sampling tick whose holders both hold `held` has nothing to do.
    bool atRest(const PictureRef& held) const noexcept override;
    // What the job is doing, as the queries above see it.
    ClipboardJob::Status status() const;

private:
    ClipboardAgent& agent();

    const Window* owner_;
    UINT newsMessage_;
    bool listen_;
    std::unique_ptr<ClipboardAgent> agent_;
    std::optional<ClipboardReading> answer_;  // the last reading, for its sequence number
};

}  // namespace zanthrel::win32
