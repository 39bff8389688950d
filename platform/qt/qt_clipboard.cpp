#include "platform/qt/qt_clipboard.h"

#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "core/runtime_error.h"
#include "platform/qt/application_x11.h"
#include "platform/qt/qt_picture.h"
#include "platform/x11/x11_clipboard_reader.h"
#include "platform/wayland/wayland_clipboard_reader.h"

namespace zanthrel::qt {

QtClipboard::QtClipboard(QClipboard& clipboard, ClipboardChoice choice)
    : clipboard_(clipboard), selection_(applicationClipboardSelection()) {
    startReader(choice);
    if (!reader_) {
        decoder_.reset();
        connect(&clipboard_, &QClipboard::changed, this, &QtClipboard::onInProcessChange);
    }
}

void QtClipboard::startReader(ClipboardChoice choice) {
    // Qt's offscreen platform keeps the clipboard in this process, whatever session it was started in.
    const bool desktopClipboard = QGuiApplication::platformName() != QLatin1String("offscreen");
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    decoder_ = std::make_unique<PictureDecoder>([this](ClipboardAnswer answer) {
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)] { onAnswer(answer); }, Qt::QueuedConnection);
    });
    posix::ClipboardReader::Listener listener;
    listener.changed = [this](std::uint64_t serial, bool owned) {
        QMetaObject::invokeMethod(
            this, [this, serial, owned] { onChanged(serial, owned); }, Qt::QueuedConnection);
    };
    listener.delivered = [decoder = decoder_.get()](posix::ClipboardDelivery delivery) {
        decoder->submit(std::move(delivery));
    };
    listener.emptied = [this](bool emptied) {
        QMetaObject::invokeMethod(
            this, [this, emptied] { onCleared(emptied); }, Qt::QueuedConnection);
    };
    listener.lost = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emitEvent(Event::CannotWatch); }, Qt::QueuedConnection);
    };
    watchPrograms(listener);
    const bool wantWayland = choice == ClipboardChoice::Wayland ||
                             (choice == ClipboardChoice::Automatic && waylandSession && desktopClipboard);
    if (wantWayland) reader_ = wayland::WaylandClipboardReader::start(listener);
    // Beside the Wayland clipboard the X11 one lives on in XWayland, bridged only while an X11 window has
    // the focus: an X11 program that copies is still emptied away while blocking.
    if (reader_ && selection_)
        connect(&clipboard_, &QClipboard::changed, this, &QtClipboard::onX11ChangeBesideWayland);
    if (!reader_ && choice != ClipboardChoice::Wayland && selection_) {
        reader_ = x11::X11ClipboardReader::start(std::move(listener));
        // Who reads the clipboard can be seen on X11 only, where every client's requests pass one server.
        if (reader_)
            readRequests_ = x11::X11ReadRequestWatch::start([this](ProgramIdentity program) {
                QMetaObject::invokeMethod(
                    this,
                    [this, program = std::move(program)] {
                        if (readerListener_) readerListener_(program);
                    },
                    Qt::QueuedConnection);
            });
    }
    // Without a reader on a Wayland session, Qt's clipboard sees only what is copied while the window has
    // the focus: the guard says so rather than watch in vain. Said once the window's log exists.
    if (!reader_ && (choice == ClipboardChoice::Wayland || (waylandSession && desktopClipboard)))
        QMetaObject::invokeMethod(
            this, [this] { emitEvent(Event::CannotWatch); }, Qt::QueuedConnection);
}

QtClipboard::~QtClipboard() {
    readRequests_.reset();
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
    ++reads_;
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
        case posix::ClipboardDelivery::Kind::Refused:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner refused to send its picture");
        case posix::ClipboardDelivery::Kind::Silent:
            throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner did not send its picture in time");
        case posix::ClipboardDelivery::Kind::NoPicture:
        case posix::ClipboardDelivery::Kind::Data: break;
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
    // Data-control does not say who took the selection.
    if (reader_ && !reader_->namesOwners() && ownerListener_) ownerListener_(ProgramIdentity{});
}

void QtClipboard::watchPrograms(posix::ClipboardReader::Listener& listener) {
    listener.ownerNamed = [this](std::uint64_t serial, ProgramIdentity owner) {
        QMetaObject::invokeMethod(
            this,
            [this, serial, owner = std::move(owner)] {
                // A name for a change that another has followed would be taken for the newer owner's.
                if (serial == latestSerial_ && ownerListener_) ownerListener_(owner);
            },
            Qt::QueuedConnection);
    };
}

void QtClipboard::onX11ChangeBesideWayland(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard || clipboard_.ownsClipboard()) return;
    mayBeOwned_ = true;
    emitEvent(Event::OwnerTaken);
}

void QtClipboard::onCleared(bool emptied) {
    if (emptied) return;
    mayBeOwned_ = true;  // the next change or tick asks again
    emitEvent(Event::NotEmptied);
}

void QtClipboard::onAnswer(ClipboardAnswer answer) {
    ++answers_;
    requested_ = false;
    latestSerial_ = std::max(latestSerial_, answer.serial);
    // Answers come in order; one older than what is kept cannot arrive, but would change nothing.
    if (answer_ && answer.serial < answer_->serial) return;
    const bool silent = answer.kind == posix::ClipboardDelivery::Kind::Silent;
    answer_ = std::move(answer);
    if (silent) emitEvent(Event::OwnerSilent);
    emitEvent(Event::Answered);
}

bool QtClipboard::atRest(const PictureRef& held) const noexcept {
    if (!reader_) return current_.has_value() && *current_ == held;
    if (!answer_ || answer_->serial < latestSerial_ || requested_) return false;
    switch (answer_->kind) {
        case posix::ClipboardDelivery::Kind::Refused:
        case posix::ClipboardDelivery::Kind::Silent: return true;  // reads fail and leave the holders alone
        case posix::ClipboardDelivery::Kind::NoPicture:
        case posix::ClipboardDelivery::Kind::Data: break;
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
    ++clears_;
    if (!reader_ && !selection_) {
        clipboard_.clear(QClipboard::Clipboard);
        current_ = PictureRef{};
        return;
    }
    // Nothing has been copied since emptying last found the clipboard empty: no traffic at all. Emptying an
    // empty clipboard would still wake every clipboard watcher on the desktop.
    if (!mayBeOwned_ && reader_) return;
    mayBeOwned_ = false;
    // Qt must forget data it serves itself (a log line copied with Ctrl+C), or it would keep answering.
    if (clipboard_.ownsClipboard()) clipboard_.clear(QClipboard::Clipboard);
    if (reader_) {
        // The reader empties it from its own thread, which the window never waits for: through the
        // compositor's data-control service, or on X11 by owning the selection with nothing on offer, since
        // merely disowning it does not reach Wayland programs through a bridge.
        reader_->empty();
        // A compositor empties its own clipboard only; sway does not carry that back to X11 programs.
        if (!reader_->emptiesX11Selection() && selection_ && selection_->hasOwner()) selection_->disown();
    } else if (takenByLastChange_ || selection_->hasOwner()) {
        // Just after a program took it, the selection is known to be owned: no round trip before disowning.
        selection_->disown();
    }
    takenByLastChange_ = false;
    current_ = PictureRef{};
}

}  // namespace zanthrel::qt
