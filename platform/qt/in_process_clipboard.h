#pragma once

#include <memory>
#include <optional>

#include "platform/qt/qt_clipboard.h"
#include "platform/x11/x11_selection.h"

namespace zanthrel::qt {

// Qt's own clipboard, read in this process: on Qt's offscreen platform the clipboard lives here, and on
// a Wayland session without a data-control service it is all there is (Qt sees only what is copied while
// the window has the focus). Reports changes but never who made them, so blocking polls.
class InProcessClipboard final : public QtClipboard {
public:
    // `selection`: the X11 CLIPBOARD on Qt's own connection, emptied too where there is one.
    // `cannotWatch`: the guard is told, once its window's log exists, that it cannot watch this desktop.
    InProcessClipboard(QClipboard& clipboard, std::unique_ptr<x11::X11ClipboardSelection> selection, bool cannotWatch);

    PictureRef readPicture() override;
    void clear() override;
    bool atRest(const PictureRef& held) const noexcept override { return current_.has_value() && *current_ == held; }

    bool reportsOwnerChanges() const noexcept override { return false; }
    std::uint64_t fetchCount() const noexcept override { return fetches_; }

private:
    void onChange(QClipboard::Mode mode);

    QClipboard& clipboard_;
    std::unique_ptr<x11::X11ClipboardSelection> selection_;
    std::optional<PictureRef> current_;
    std::uint64_t fetches_ = 0;
};

}  // namespace zanthrel::qt
