#include "platform/x11/xcb_handles.h"

#include <xcb/xcb.h>

namespace zanthrel::x11 {

void XcbDisconnect::operator()(xcb_connection_t* connection) const noexcept {
    xcb_disconnect(connection);
}

std::uint32_t intern(xcb_connection_t* connection, std::string_view name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : XCB_NONE;
}

}  // namespace zanthrel::x11
