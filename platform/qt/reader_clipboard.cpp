#include "platform/qt/reader_clipboard.h"

#include <algorithm>

#include "core/runtime_error.h"

namespace zanthrel::qt {

template <typename... Args>
std::function<void(Args...)> ReaderClipboard::onUiThread(void (ReaderClipboard::*handle)(Args...)) {
    return [this, handle](Args... args) {
        QMetaObject::invokeMethod(
            this, [this, handle, ... args = std::move(args)]() mutable { (this->*handle)(std::move(args)...); },
            Qt::QueuedConnection);
    };
}

ReaderClipboard::ReaderClipboard(QClipboard& clipboard) : clipboard_(clipboard) {}

std::unique_ptr<ReaderClipboard> ReaderClipboard::start(QClipboard& clipboard, const StartReader& start,
                                                        Options options) {
    std::unique_ptr<ReaderClipboard> self(new ReaderClipboard(clipboard));
    ReaderClipboard& made = *self;
    made.decoder_ = std::make_unique<PictureDecoder>(made.onUiThread(&ReaderClipboard::onAnswer));
    posix::ClipboardReader::Listener listener;
    listener.changed = made.onUiThread(&ReaderClipboard::onChanged);
    listener.delivered = [decoder = made.decoder_.get()](posix::ClipboardDelivery delivery) {
        decoder->submit(std::move(delivery));
    };
    listener.emptied = made.onUiThread(&ReaderClipboard::onEmptied);
    listener.lost = made.onUiThread(&ReaderClipboard::onLost);
    listener.ownerNamed = made.onUiThread(&ReaderClipboard::onOwnerNamed);
    listener.contested = made.onUiThread(&ReaderClipboard::onContested);
    made.reader_ = start(std::move(listener));
    if (!made.reader_) return nullptr;
    if (options.watchReaders)
        made.readRequests_ = x11::X11ReadRequestWatch::start(made.onUiThread(&ReaderClipboard::onReadBy));
    if (options.x11BesideWayland)
        made.x11BesideWayland_ = std::make_unique<X11BesideWayland>(clipboard, std::move(options.x11BesideWayland),
                                                                    [&made] { made.onX11Taken(); });
    return self;
}

ReaderClipboard::~ReaderClipboard() {
    readRequests_.reset();
    reader_.reset();
    decoder_.reset();
}

PictureRef ReaderClipboard::readPicture() {
    ++reads_;
    if (!answer_ || answer_->serial < latestSerial_) {
        if (!requested_) {
            requested_ = true;
            reader_->request();
        }
        if (!answer_) throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner has not answered yet");
    }
    switch (answer_->kind) {
        case posix::ClipboardDelivery::Kind::Refused:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner refused to send its picture");
        case posix::ClipboardDelivery::Kind::Silent:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner did not send its picture in time");
        case posix::ClipboardDelivery::Kind::NoPicture:
        case posix::ClipboardDelivery::Kind::Data: break;
    }
    return answer_->picture;
}

void ReaderClipboard::onChanged(std::uint64_t serial, ClipboardChange change) {
    latestSerial_ = std::max(latestSerial_, serial);
    // The clipboard emptied (by the guard itself or by its owner going away) needs no emptying.
    if (change.taken) mayBeOwned_ = true;
    reportChange(change);
    // Data-control does not say who took the selection.
    if (change.taken && !reader_->namesOwners() && events_.ownerNamed) events_.ownerNamed(ProgramIdentity{});
}

void ReaderClipboard::onOwnerNamed(std::uint64_t serial, ProgramIdentity owner) {
    // A name for a change that another has followed would be taken for the newer owner's.
    if (serial == latestSerial_ && events_.ownerNamed) events_.ownerNamed(std::move(owner));
}

void ReaderClipboard::onReadBy(ProgramIdentity reader) {
    if (events_.readBy) events_.readBy(std::move(reader));
}

void ReaderClipboard::setEmptyingOrder(const EmptyingOrder& order) {
    orderStands_ = order.active;
    reader_->setEmptyingOrder(order);
}

void ReaderClipboard::onX11Taken() {
    if (!orderStands_) {
        mayBeOwned_ = true;
        reportChange({true, false});
        return;
    }
    // Under the order the X11 side is emptied here and now. What reached it through the compositor's
    // bridge is the reader's to empty, at the order's pace: emptying the compositor's clipboard again
    // for every bridged change would answer a fight as fast as it goes.
    x11BesideWayland_->empty();
    reportChange({true, true});
}

void ReaderClipboard::onEmptied(bool emptied) {
    if (emptied) return;
    mayBeOwned_ = true;  // the next change or tick asks again
    reportProblem(ClipboardProblem::NotEmptied);
}

void ReaderClipboard::onLost() {
    reportProblem(ClipboardProblem::CannotWatch);
}

void ReaderClipboard::onContested() {
    reportProblem(ClipboardProblem::Contested);
}

void ReaderClipboard::onAnswer(ClipboardAnswer answer) {
    ++answers_;
    requested_ = false;
    latestSerial_ = std::max(latestSerial_, answer.serial);
    // Answers come in order; one older than what is kept cannot arrive, but would change nothing.
    if (answer_ && answer.serial < answer_->serial) return;
    const bool silent = answer.kind == posix::ClipboardDelivery::Kind::Silent;
    answer_ = std::move(answer);
    if (silent) reportProblem(ClipboardProblem::OwnerSilent);
    if (events_.answered) events_.answered();
}

bool ReaderClipboard::atRest(const PictureRef& held) const noexcept {
    if (!answer_ || answer_->serial < latestSerial_ || requested_) return false;
    switch (answer_->kind) {
        case posix::ClipboardDelivery::Kind::Refused:
        case posix::ClipboardDelivery::Kind::Silent: return true;  // reads fail and leave the holders alone
        case posix::ClipboardDelivery::Kind::NoPicture:
        case posix::ClipboardDelivery::Kind::Data: break;
    }
    return answer_->picture == held;
}

void ReaderClipboard::clear() {
    ++clears_;
    // Nothing has been copied since emptying last found the clipboard empty: no traffic at all. Emptying an
    // empty clipboard would still wake every clipboard watcher on the desktop.
    if (!mayBeOwned_) return;
    mayBeOwned_ = false;
    // Qt must forget data it serves itself (a log line copied with Ctrl+C), or it would keep answering.
    if (clipboard_.ownsClipboard()) clipboard_.clear(QClipboard::Clipboard);
    // The reader empties it from its own thread, which the window never waits for: through the
    // compositor's data-control service, or on X11 by owning the selection with nothing on offer, since
    // merely disowning it does not reach Wayland programs through a bridge.
    reader_->empty();
    if (x11BesideWayland_ && !reader_->emptiesX11Selection()) x11BesideWayland_->empty();
}

}  // namespace zanthrel::qt
