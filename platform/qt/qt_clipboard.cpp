#include "platform/qt/qt_clipboard.h"

#include <QImage>
#include <QMimeData>

#include "platform/qt/qt_picture.h"
#include "platform/runtime_error.h"

namespace zanthrel::qt {

QtClipboard::QtClipboard(QClipboard& clipboard)
    : clipboard_(clipboard),
      selection_(X11ClipboardSelection::forApplication()),
      changesReported_(!selection_ || selection_->changesReported()) {
    connect(&clipboard_, &QClipboard::changed, this, &QtClipboard::onChanged);
}

void QtClipboard::onChanged(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    current_.reset();
    fetchFailed_ = false;
    mayBeOwned_ = true;
}

PictureRef QtClipboard::readPicture() {
    if (!current_ || !changesReported_) {
        fetchFailed_ = false;
        current_ = fetchPicture();
    }
    if (fetchFailed_) throw RuntimeError(ErrorKind::ClipboardBusy, "The clipboard's owner sent no usable picture");
    return *current_;
}

PictureRef QtClipboard::fetchPicture() {
    ++fetches_;
    const QMimeData* data = clipboard_.mimeData(QClipboard::Clipboard);
    if (!data || !data->hasImage()) return nullptr;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    // The owner offered a picture but did not deliver one Qt can decode, within Qt's clipboard timeout:
    // the nearest thing X11 has to a clipboard held open by another program.
    if (image.isNull()) {
        fetchFailed_ = true;
        return nullptr;
    }
    return std::make_shared<const QtPicture>(image);
}

void QtClipboard::clear() {
    if (!selection_) {
        clipboard_.clear(QClipboard::Clipboard);
        current_ = PictureRef{};
        fetchFailed_ = false;
        return;
    }
    // Nothing has been copied since the last tick found the selection unowned: no X traffic at all.
    // Disowning an unowned selection would still wake every clipboard watcher on the desktop.
    if (!mayBeOwned_ && changesReported_) return;
    mayBeOwned_ = false;
    // Qt must forget data it serves itself (a log line copied with Ctrl+C), or it would keep answering.
    if (clipboard_.ownsClipboard()) clipboard_.clear(QClipboard::Clipboard);
    if (selection_->hasOwner()) selection_->disown();
    current_ = PictureRef{};
    fetchFailed_ = false;
}

}  // namespace zanthrel::qt
