#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

struct xcb_connection_t;

namespace zanthrel::x11 {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const noexcept;
};
// A connection of our own to the X server, as xcb_connect() gives it, even one in error: xcb wants
// those disconnected too. The server destroys the windows made on it when it ends.
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// A reply or event as xcb hands it over: ours to free.
struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

// The atom of `name`, made if the server has none yet; XCB_NONE (0) when the server did not answer.
std::uint32_t intern(xcb_connection_t* connection, std::string_view name);

// Asks the server to serve the connection's requests before those of other clients waiting at the same
// moment: the SYNC extension's SetPriority, which any client may ask for itself. Nothing happens on a
// server without SYNC.
void askToBeServedFirst(xcb_connection_t* connection);

}  // namespace zanthrel::x11
