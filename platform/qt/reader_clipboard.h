#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/qt/picture_decoder.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/x11_beside_wayland.h"
#include "platform/x11/x11_read_request_watch.h"

namespace zanthrel::qt {

// The desktop's clipboard watched by a reader on its own thread, its pictures decoded on another, and
// readPicture() answered from the newest result at once: the window never waits for the program that
// owns the clipboard, however slow or hostile. (Qt's own clipboard is not asked for pictures, since it
// would wait up to five seconds per request.) Blocking's standing order goes to the reader, which empties
// each change where it hears of it.
class ReaderClipboard final : public QtClipboard {
public:
    using StartReader = std::function<std::unique_ptr<posix::ClipboardReader>(posix::ClipboardReader::Listener)>;
    struct Options {
        // The X11 clipboard in XWayland beside a Wayland reader, whose emptying does not reach it.
        std::unique_ptr<x11::X11ClipboardSelection> x11BesideWayland;
        // Who reads the clipboard can be seen on X11 only, where every client's requests pass one server.
        bool watchReaders = false;
    };

    // Null when `start` gives no reader.
    static std::unique_ptr<ReaderClipboard> start(QClipboard& clipboard, const StartReader& start, Options options);
    ~ReaderClipboard() override;

    // Throws ClipboardBusy until the first answer arrives. While the answer to a later change is on its
    // way it gives the previous answer, as the clipboard stood when last known: holders then never
    // keep a picture the clipboard no longer has, and no picture is counted twice. An owner that refused
    // its picture or let its deadline pass reads as busy until the next change.
    PictureRef readPicture() override;
    void clear() override;
    void setEmptyingOrder(const EmptyingOrder& order) override;
    // Whether a read now would give `held` again, or fail without changing anything, until the next
    // change: then a sampling tick whose holders both hold `held` has nothing to do.
    bool atRest(const PictureRef& held) const noexcept override;

    bool reportsOwnerChanges() const noexcept override { return true; }
    std::uint64_t fetchCount() const noexcept override { return reader_->fetchCount(); }
    std::uint64_t decodeCount() const override { return decoder_->decodeCount(); }
    const posix::ClipboardReader* reader() const noexcept override { return reader_.get(); }

private:
    explicit ReaderClipboard(QClipboard& clipboard);
    // A report the reader (or the decoder) makes on its own thread, handed to `handle` on this object's
    // thread, in the order made; none arrives once this object is gone.
    template <typename... Args>
    std::function<void(Args...)> onUiThread(void (ReaderClipboard::*handle)(Args...));

    void onChanged(std::uint64_t serial, ClipboardChange change);
    void onOwnerNamed(std::uint64_t serial, ProgramIdentity owner);
    void onReadBy(ProgramIdentity reader);
    void onEmptied(bool emptied);
    void onLost();
    void onContested();
    void onAnswer(ClipboardAnswer answer);
    void onX11Taken();

    QClipboard& clipboard_;
    // The decoder outlives the reader, which hands it deliveries until it stops.
    std::unique_ptr<PictureDecoder> decoder_;
    std::unique_ptr<posix::ClipboardReader> reader_;
    std::unique_ptr<x11::X11ReadRequestWatch> readRequests_;
    std::unique_ptr<X11BesideWayland> x11BesideWayland_;

    std::uint64_t latestSerial_ = 1;  // the reader calls the clipboard it finds at start change 1
    std::optional<ClipboardAnswer> answer_;
    bool requested_ = false;
    // Some program may own the clipboard: set on every change, cleared once emptying found it unowned.
    bool mayBeOwned_ = true;
    bool orderStands_ = false;
};

}  // namespace zanthrel::qt
