#include "platform/x11/xcb_handles.h"

#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <limits>

namespace zanthrel::x11 {

void XcbDisconnect::operator()(xcb_connection_t* connection) const noexcept {
    xcb_disconnect(connection);
}

std::uint32_t intern(xcb_connection_t* connection, std::string_view name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : XCB_NONE;
}

void askToBeServedFirst(xcb_connection_t* connection) {
    static xcb_extension_t sync{"SYNC", 0};
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &sync);
    // A request to an extension the server lacks would end the connection.
    if (!extension || !extension->present) return;
    constexpr std::uint8_t kSetPriority = 12;
    struct {
        std::uint8_t major = 0, minor = 0;  // filled in by xcb
        std::uint16_t length = 0;
        std::uint32_t client = XCB_NONE;  // the requesting client itself
        std::int32_t priority = std::numeric_limits<std::int32_t>::max();
    } request;
    iovec parts[3] = {{}, {}, {&request, sizeof request}};
    const xcb_protocol_request_t protocol{1, &sync, kSetPriority, 1};
    xcb_send_request(connection, 0, parts + 2, &protocol);
}

}  // namespace zanthrel::x11
