#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/program_identity.h"
#include "platform/posix/process_table.h"

struct xcb_connection_t;

namespace zanthrel::x11 {

// Names the X clients behind windows and other resources on a connection of the caller's, which it uses
// from the caller's thread only. Every question is answered by the X server itself, which no other client
// can make wait, so a lookup takes a round trip or two.
//
// The server's word (the X-Resource extension, which knows the process at the other end of each local
// connection) is preferred; a window's _NET_WM_PID, which its program sets as it likes, is used only when
// the server cannot say, and the name then says so.
class X11ProgramLookup {
public:
    explicit X11ProgramLookup(xcb_connection_t* connection);

    // The client that created `resource` (a window, or a client's resource-id base).
    ProgramIdentity clientOf(std::uint32_t resource);
    // The process id the server knows for that client, if it is local and still connected.
    std::optional<std::uint32_t> serverProcessId(std::uint32_t resource);
    bool serverNamesClients() const noexcept { return resources_; }

private:
    std::optional<std::uint32_t> claimedProcessId(std::uint32_t window);
    std::optional<std::uint32_t> cardinal(std::uint32_t window, std::uint32_t property, std::uint32_t type);
    std::string machineOf(std::uint32_t window);

    xcb_connection_t* connection_;
    bool resources_ = false;
    std::uint32_t netWmPid_ = 0, clientLeader_ = 0, clientMachine_ = 0;
};

}  // namespace zanthrel::x11
