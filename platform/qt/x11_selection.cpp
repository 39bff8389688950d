#include "platform/qt/x11_selection.h"

#include <cstdlib>

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QGuiApplication>

namespace zanthrel::qt {
namespace {

struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};

}  // namespace

std::unique_ptr<X11ClipboardSelection> X11ClipboardSelection::forApplication() {
    auto* application = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = application ? application->connection() : nullptr;
    if (!connection) return nullptr;
    constexpr char kName[] = "CLIPBOARD";
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, sizeof kName - 1, kName);
    std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    if (!reply) return nullptr;
    constexpr char kXFixes[] = "XFIXES";
    const xcb_query_extension_cookie_t query = xcb_query_extension(connection, sizeof kXFixes - 1, kXFixes);
    std::unique_ptr<xcb_query_extension_reply_t, FreeReply> extension(
        xcb_query_extension_reply(connection, query, nullptr));
    return std::make_unique<X11ClipboardSelection>(connection, reply->atom, extension && extension->present);
}

X11ClipboardSelection::X11ClipboardSelection(xcb_connection_t* connection, std::uint32_t clipboardAtom,
                                             bool changesReported)
    : connection_(connection), clipboardAtom_(clipboardAtom), changesReported_(changesReported) {}

bool X11ClipboardSelection::hasOwner() const {
    const xcb_get_selection_owner_cookie_t cookie = xcb_get_selection_owner(connection_, clipboardAtom_);
    std::unique_ptr<xcb_get_selection_owner_reply_t, FreeReply> reply(
        xcb_get_selection_owner_reply(connection_, cookie, nullptr));
    // A broken connection counts as owned, so that the caller tries to empty it again.
    return !reply || reply->owner != XCB_NONE;
}

void X11ClipboardSelection::disown() const {
    // CurrentTime makes the change win over any owner set before it reached the server.
    xcb_set_selection_owner(connection_, XCB_NONE, clipboardAtom_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

}  // namespace zanthrel::qt
