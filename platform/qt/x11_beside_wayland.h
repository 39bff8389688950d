#pragma once

#include <functional>
#include <memory>

#include <QClipboard>
#include <QObject>

#include "platform/x11/x11_selection.h"

namespace zanthrel::qt {

// The X11 clipboard that lives on in XWayland beside the Wayland one the reader watches. The compositor
// bridges it only while an X11 window has the focus, and its own emptying does not reach X11 programs
// (sway does not carry it back), so an X11 program's copy is seen through Qt's connection and emptied
// there.
class X11BesideWayland final : public QObject {
public:
    // `taken` runs on the user-interface thread whenever another X11 program took the clipboard.
    X11BesideWayland(QClipboard& clipboard, std::unique_ptr<x11::X11ClipboardSelection> selection,
                     std::function<void()> taken);

    // Leaves the X11 clipboard without owner, if it has one (one round trip to ask).
    void empty() const;

private:
    void onChange(QClipboard::Mode mode);

    QClipboard& clipboard_;
    std::unique_ptr<x11::X11ClipboardSelection> selection_;
    std::function<void()> taken_;
};

}  // namespace zanthrel::qt
