#include "platform/x11/x11_selection.h"

#include <xcb/xcb.h>

#include "platform/x11/xcb_handles.h"

namespace zanthrel::x11 {

std::unique_ptr<X11ClipboardSelection> X11ClipboardSelection::on(xcb_connection_t* connection) {
    if (!connection) return nullptr;
    const std::uint32_t clipboard = intern(connection, "CLIPBOARD");
    if (clipboard == XCB_NONE) return nullptr;
    return std::make_unique<X11ClipboardSelection>(connection, clipboard);
}

X11ClipboardSelection::X11ClipboardSelection(xcb_connection_t* connection, std::uint32_t clipboardAtom)
    : connection_(connection), clipboardAtom_(clipboardAtom) {}

bool X11ClipboardSelection::hasOwner() const {
    ReplyPtr<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboardAtom_), nullptr));
    // A broken connection counts as owned, so that the caller tries to empty it again.
    return !reply || reply->owner != XCB_NONE;
}

void X11ClipboardSelection::disown() const {
    // CurrentTime makes the change win over any owner set before it reached the server.
    xcb_set_selection_owner(connection_, XCB_NONE, clipboardAtom_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

}  // namespace zanthrel::x11
