#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QClipboard>
#include <QObject>

#include "core/services.h"
#include "platform/posix/clipboard_reader.h"
#include "platform/shell/command_line.h"
#include "platform/qt/picture_decoder.h"
#include "platform/x11/x11_selection.h"
#include "platform/x11/x11_read_request_watch.h"

namespace zanthrel::qt {

// The system clipboard (the X11 CLIPBOARD selection, or the Wayland selection where the compositor offers
// a data-control service) as the main window's logic sees it.
//
// On X11 the picture is fetched by a reader on its own thread and decoded on another, and readPicture()
// answers from the newest result at once: the window never waits for the program that owns the
// clipboard, however slow or hostile. Qt's own clipboard is not asked for pictures there, since it
// would wait up to five seconds per request. Elsewhere (Qt's offscreen platform) the clipboard lives
// in this process and is read directly.
class QtClipboard final : public QObject, public Clipboard {
public:
    enum class Event {
        Changed,      // the clipboard changed, whoever caused it
        OwnerTaken,   // after Changed, when a program took the clipboard (not when it was left without owner)
        Answered,     // the answer to a change arrived; readPicture() now gives it
        OwnerSilent,  // the owner did not deliver its picture in time
        CannotWatch,  // the clipboard cannot be watched here (no way to it, or the way was lost); once
        NotEmptied,   // the compositor did not empty the clipboard when asked
    };

    // `choice` forces one clipboard service; by default the Wayland one where the session is Wayland and
    // the compositor offers it, else X11.
    explicit QtClipboard(QClipboard& clipboard, ClipboardChoice choice = ClipboardChoice::Automatic);
    ~QtClipboard() override;

    // Receives the events above on the user-interface thread.
    void setListener(std::function<void(Event)> listener) { listener_ = std::move(listener); }
    // Receive, on the same thread, who took the clipboard after each OwnerTaken (where the reader can tell,
    // else an unknown program) and who read it (where that can be seen at all).
    void setProgramListeners(std::function<void(ProgramIdentity)> owner, std::function<void(ProgramIdentity)> reader) {
        ownerListener_ = std::move(owner);
        readerListener_ = std::move(reader);
    }

    // Throws ClipboardBusy until the first answer arrives. While the answer to a later change is on its
    // way it gives the previous answer, as the clipboard stood when last known: holders then never
    // keep a picture the clipboard no longer has, and no picture is counted twice. An owner that refused
    // its picture or let its deadline pass reads as busy until the next change.
    PictureRef readPicture() override;
    void clear() override;

    // Whether a read now would give `held` again, or fail without changing anything, until the next
    // Changed event: then a sampling tick whose holders both hold `held` has nothing to do.
    bool atRest(const PictureRef& held) const noexcept;

    // Whether changes of owner are reported as events; without that the blocker has to poll.
    bool reportsOwnerChanges() const noexcept { return reader_ != nullptr; }
    // Fetches begun, and pictures decoded rather than recognised as the previous one.
    std::uint64_t fetchCount() const noexcept;
    std::uint64_t decodeCount() const;
    const posix::ClipboardReader* reader() const noexcept { return reader_.get(); }
    // Reads and emptyings the guard asked for.
    std::uint64_t readCount() const noexcept { return reads_; }
    std::uint64_t clearCount() const noexcept { return clears_; }
    // Changes and answers that reached the user-interface thread.
    std::uint64_t changeCount() const noexcept { return changes_; }
    std::uint64_t answerCount() const noexcept { return answers_; }

private:
    void startReader(ClipboardChoice choice);
    void onChanged(std::uint64_t serial, bool owned);
    void onCleared(bool emptied);
    void watchPrograms(posix::ClipboardReader::Listener& listener);
    void onX11ChangeBesideWayland(QClipboard::Mode mode);
    void onAnswer(ClipboardAnswer answer);
    void emitEvent(Event event);
    void onInProcessChange(QClipboard::Mode mode);
    PictureRef fetchInProcess();

    QClipboard& clipboard_;
    std::unique_ptr<x11::X11ClipboardSelection> selection_;
    std::function<void(Event)> listener_;
    std::function<void(ProgramIdentity)> ownerListener_;
    std::function<void(ProgramIdentity)> readerListener_;
    // The decoder outlives the reader, which hands it deliveries until it stops.
    std::unique_ptr<PictureDecoder> decoder_;
    std::unique_ptr<posix::ClipboardReader> reader_;
    std::unique_ptr<x11::X11ReadRequestWatch> readRequests_;

    std::uint64_t latestSerial_ = 1;  // the reader calls the clipboard it finds at start change 1
    std::optional<ClipboardAnswer> answer_;
    bool requested_ = false;
    std::uint64_t changes_ = 0;
    std::uint64_t answers_ = 0;
    std::uint64_t reads_ = 0;
    std::uint64_t clears_ = 0;
    // Some program may own the selection: set on every change, cleared once emptying found it unowned.
    bool mayBeOwned_ = true;
    // The newest change reported was a program taking the clipboard.
    bool takenByLastChange_ = false;

    // In-process clipboard only.
    std::optional<PictureRef> current_;
    std::uint64_t inProcessFetches_ = 0;
};

}  // namespace zanthrel::qt
