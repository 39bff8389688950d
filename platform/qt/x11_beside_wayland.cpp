#include "platform/qt/x11_beside_wayland.h"

namespace zanthrel::qt {

X11BesideWayland::X11BesideWayland(QClipboard& clipboard, std::unique_ptr<x11::X11ClipboardSelection> selection,
                                   std::function<void()> taken)
    : clipboard_(clipboard), selection_(std::move(selection)), taken_(std::move(taken)) {
    connect(&clipboard_, &QClipboard::changed, this, &X11BesideWayland::onChange);
}

void X11BesideWayland::onChange(QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard || clipboard_.ownsClipboard()) return;
    if (taken_) taken_();
}

void X11BesideWayland::empty() const {
    if (selection_->hasOwner()) selection_->disown();
}

}  // namespace zanthrel::qt
