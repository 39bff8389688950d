#include "platform/qt/in_process_clipboard.h"

#include <QImage>
#include <QMimeData>

#include "core/runtime_error.h"
#include "platform/qt/qt_picture.h"

namespace zanthrel::qt {

InProcessClipboard::InProcessClipboard(QClipboard& clipboard, std::unique_ptr<x11::X11ClipboardSelection> selection,
                                       bool cannotWatch)
    : clipboard_(clipboard), selection_(std::move(selection)) {
    connect(&clipboard_, &QClipboard::changed, this, &InProcessClipboard::onChange);
    // Said once the window's log exists: the events are set after construction.
    if (cannotWatch)
        QMetaObject::invokeMethod(
            this, [this] { reportProblem(ClipboardProblem::CannotWatch); }, Qt::QueuedConnection);
}

void InProcessClipboard::onChange(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    current_.reset();
    // Qt does not say who changed it: the change is reported as no program's taking.
    reportChange({});
}

PictureRef InProcessClipboard::readPicture() {
    ++reads_;
    if (current_) return *current_;
    ++fetches_;
    const QMimeData* data = clipboard_.mimeData(QClipboard::Clipboard);
    if (!data || !data->hasImage()) {
        current_ = PictureRef{};
        return nullptr;
    }
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull()) throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard holds no usable picture");
    current_ = std::make_shared<const QtPicture>(image);
    return *current_;
}

void InProcessClipboard::clear() {
    ++clears_;
    if (!selection_) {
        clipboard_.clear(QClipboard::Clipboard);
        current_ = PictureRef{};
        return;
    }
    // Qt must forget data it serves itself (a log line copied with Ctrl+C), or it would keep answering.
    if (clipboard_.ownsClipboard()) clipboard_.clear(QClipboard::Clipboard);
    if (selection_->hasOwner()) selection_->disown();
    current_ = PictureRef{};
}

}  // namespace zanthrel::qt
