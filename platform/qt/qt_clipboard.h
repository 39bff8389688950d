#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QClipboard>
#include <QObject>

#include "core/services.h"
#include "platform/posix/clipboard_reader.h"
#include "platform/shell/command_line.h"

namespace zanthrel::qt {

// The system clipboard as the guard sees it on a Qt desktop: one of two services, chosen once at start.
// Where a reader can watch the desktop's clipboard (the X11 CLIPBOARD selection, or the Wayland selection
// through the compositor's data-control service) it is ReaderClipboard; elsewhere (Qt's offscreen
// platform, or a Wayland session without data-control) InProcessClipboard asks Qt's own clipboard.
class QtClipboard : public QObject, public Clipboard {
public:
    // What the service reports, on the user-interface thread.
    struct Events {
        std::function<void(ClipboardChange)> changed;
        std::function<void()> answered;  // the answer to a change arrived; readPicture() now gives it
        std::function<void(ClipboardProblem)> problem;
        // Who took the clipboard after each change a program made (an unknown program where the service
        // cannot tell), and who read it, where that can be seen at all.
        std::function<void(ProgramIdentity)> ownerNamed;
        std::function<void(ProgramIdentity)> readBy;
    };

    // `choice` forces one clipboard service; by default the Wayland one where the session is Wayland and
    // the compositor offers it, else X11.
    static std::unique_ptr<QtClipboard> choose(QClipboard& clipboard, ClipboardChoice choice);

    void setEvents(Events events) { events_ = std::move(events); }

    // Whether every change of owner is reported; without that the blocker has to poll.
    virtual bool reportsOwnerChanges() const noexcept = 0;
    // Fetches begun, and pictures decoded rather than recognised as the previous one.
    virtual std::uint64_t fetchCount() const noexcept = 0;
    virtual std::uint64_t decodeCount() const { return 0; }
    virtual const posix::ClipboardReader* reader() const noexcept { return nullptr; }
    // Reads and emptyings the guard asked for.
    std::uint64_t readCount() const noexcept { return reads_; }
    std::uint64_t clearCount() const noexcept { return clears_; }
    // Changes and answers that reached the user-interface thread.
    std::uint64_t changeCount() const noexcept { return changes_; }
    std::uint64_t answerCount() const noexcept { return answers_; }

protected:
    void reportChange(ClipboardChange change) {
        ++changes_;
        if (events_.changed) events_.changed(change);
    }
    void reportProblem(ClipboardProblem problem) {
        if (events_.problem) events_.problem(problem);
    }

    Events events_;
    std::uint64_t reads_ = 0;
    std::uint64_t clears_ = 0;
    std::uint64_t changes_ = 0;
    std::uint64_t answers_ = 0;
};

}  // namespace zanthrel::qt
