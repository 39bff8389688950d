#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zanthrel::posix {

// One connection a listening Unix socket accepted, by socket inode: the listener's end (which the
// serving process holds) and the client's end (which whoever connected holds, or a child it left it to).
struct AcceptedConnection {
    std::uint64_t served = 0;
    std::uint64_t client = 0;
};

// What the named socket of `fd` is connected to, as socketAddressName gives it; empty for anything but a
// named Unix socket (a network connection, a socket pair).
std::string connectedAddress(int fd);

// A Unix socket address as one name for both its forms: an abstract address is the same text behind a
// zero byte, and servers such as the X server listen on both, so the zero byte is dropped.
std::string socketAddressName(std::string_view rawPath);

// The connections accepted by listeners named `listener` (socketAddressName), from the kernel's socket
// diagnostics (NETLINK_SOCK_DIAG), for every process on this machine. At most `most` are kept, and the
// kernel's answer is read up to a fixed bound whatever its size. Nullopt where the kernel offers no
// diagnostics of Unix sockets (an older kernel, a sandbox).
std::optional<std::vector<AcceptedConnection>> acceptedConnections(std::string_view listener, std::size_t most);

}  // namespace zanthrel::posix
