#include "platform/qt/qt_clipboard.h"

#include <QImage>
#include <QMimeData>

#include "platform/qt/qt_picture.h"
#include "platform/runtime_error.h"

namespace zanthrel::qt {

QtClipboard::QtClipboard(QClipboard& clipboard)
    : clipboard_(clipboard), selection_(X11ClipboardSelection::forApplication()) {
    if (selection_) {
        decoder_ = std::make_unique<PictureDecoder>([this](ClipboardAnswer answer) {
            QMetaObject::invokeMethod(
                this, [this, answer = std::move(answer)] { onAnswer(answer); }, Qt::QueuedConnection);
        });
        X11ClipboardReader::Listener listener;
        listener.changed = [this](std::uint64_t serial, bool owned) {
            QMetaObject::invokeMethod(
                this, [this, serial, owned] { onChanged(serial, owned); }, Qt::QueuedConnection);
        };
        listener.delivered = [decoder = decoder_.get()](ClipboardDelivery delivery) {
            decoder->submit(std::move(delivery));
        };
        reader_ = X11ClipboardReader::start(std::move(listener));
    }
    if (!reader_) {
        decoder_.reset();
        connect(&clipboard_, &QClipboard::changed, this, &QtClipboard::onInProcessChange);
    }
}

QtClipboard::~QtClipboard() {
    reader_.reset();
    decoder_.reset();
}

std::uint64_t QtClipboard::fetchCount() const noexcept {
    return reader_ ? reader_->fetchCount() : inProcessFetches_;
}

std::uint64_t QtClipboard::decodeCount() const {
    return decoder_ ? decoder_->decodeCount() : 0;
}

PictureRef QtClipboard::readPicture() {
    if (!reader_) {
        if (!current_) current_ = fetchInProcess();
        return *current_;
    }
    if (!answer_ || answer_->serial < latestSerial_) {
        if (!requested_) {
            requested_ = true;
            reader_->request();
        }
        if (!answer_) throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner has not answered yet");
    }
    switch (answer_->kind) {
        case ClipboardDelivery::Kind::Refused:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner refused to send its picture");
        case ClipboardDelivery::Kind::Silent:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner did not send its picture in time");
        case ClipboardDelivery::Kind::NoPicture:
        case ClipboardDelivery::Kind::Data: break;
    }
    return answer_->picture;
}

void QtClipboard::onChanged(std::uint64_t serial, bool owned) {
    ++changes_;
    latestSerial_ = std::max(latestSerial_, serial);
    takenByLastChange_ = owned;
    emitEvent(Event::Changed);
    if (!owned) return;  // the clipboard emptied, by the blocker itself or by its owner going away
    mayBeOwned_ = true;
    emitEvent(Event::OwnerTaken);
}

void QtClipboard::onAnswer(ClipboardAnswer answer) {
    ++answers_;
    requested_ = false;
    latestSerial_ = std::max(latestSerial_, answer.serial);
    // Answers come in order; one older than what is kept cannot arrive, but would change nothing.
    if (answer_ && answer.serial < answer_->serial) return;
    const bool silent = answer.kind == ClipboardDelivery::Kind::Silent;
    answer_ = std::move(answer);
    if (silent) emitEvent(Event::OwnerSilent);
    emitEvent(Event::Answered);
}

bool QtClipboard::atRest(const PictureRef& held) const noexcept {
    if (!reader_) return current_.has_value() && *current_ == held;
    if (!answer_ || answer_->serial < latestSerial_ || requested_) return false;
    switch (answer_->kind) {
        case ClipboardDelivery::Kind::Refused:
        case ClipboardDelivery::Kind::Silent: return true;  // reads fail and leave the holders alone
        case ClipboardDelivery::Kind::NoPicture:
        case ClipboardDelivery::Kind::Data: break;
    }
    return answer_->picture == held;
}

void QtClipboard::emitEvent(Event event) {
    if (listener_) listener_(event);
}

void QtClipboard::onInProcessChange(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    current_.reset();
    mayBeOwned_ = true;
    emitEvent(Event::Changed);
}

PictureRef QtClipboard::fetchInProcess() {
    ++inProcessFetches_;
    const QMimeData* data = clipboard_.mimeData(QClipboard::Clipboard);
    if (!data || !data->hasImage()) return nullptr;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard holds no usable picture");
    return std::make_shared<const QtPicture>(image);
}

void QtClipboard::clear() {
    if (!selection_) {
        clipboard_.clear(QClipboard::Clipboard);
        current_ = PictureRef{};
        return;
    }
    // Nothing has been copied since emptying last found the selection unowned: no X traffic at all.
    // Disowning an unowned selection would still wake every clipboard watcher on the desktop.
    if (!mayBeOwned_ && reader_) return;
    mayBeOwned_ = false;
    // Qt must forget data it serves itself (a log line copied with Ctrl+C), or it would keep answering.
    if (clipboard_.ownsClipboard()) clipboard_.clear(QClipboard::Clipboard);
    if (reader_) {
        // Disowning is not enough where X is a bridge to Wayland programs; the reader's thread takes the
        // selection and answers the requests that follow, which the window must never wait for.
        reader_->empty();
    } else if (takenByLastChange_ || selection_->hasOwner()) {
        // Just after a program took it, the selection is known to be owned: no round trip before disowning.
        selection_->disown();
    }
    takenByLastChange_ = false;
    current_ = PictureRef{};
}

}  // namespace zanthrel::qt
