#pragma once

#include <memory>

struct xcb_connection_t;

namespace zanthrel::qt {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const noexcept;
};
// A connection of our own to the X server, as xcb_connect() gives it, even one in error: xcb wants
// those disconnected too. The server destroys the windows made on it when it ends.
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

}  // namespace zanthrel::qt
