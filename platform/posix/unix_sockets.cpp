#include "platform/posix/unix_sockets.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <cstring>

#include "platform/posix/unique_fd.h"

namespace zanthrel::posix {
namespace {

// Sockets of every kind the kernel's answer may list before the look gives up: far more than a desktop has.
constexpr std::size_t kMostSocketsRead = 1u << 16;

struct DumpRequest {
    nlmsghdr header;
    unix_diag_req request;
};

}  // namespace

std::string socketAddressName(std::string_view rawPath) {
    if (!rawPath.empty() && rawPath.front() == '\0') rawPath.remove_prefix(1);
    // A path given with its terminating zero names the same socket as one without it.
    if (const auto end = rawPath.find('\0'); end != std::string_view::npos) rawPath = rawPath.substr(0, end);
    return std::string(rawPath);
}

std::string connectedAddress(int fd) {
    sockaddr_un address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX)
        return {};
    const std::size_t pathLength =
        length > offsetof(sockaddr_un, sun_path) ? length - offsetof(sockaddr_un, sun_path) : 0;
    return socketAddressName(std::string_view(address.sun_path, std::min(pathLength, sizeof address.sun_path)));
}

std::optional<std::vector<AcceptedConnection>> acceptedConnections(std::string_view listener, std::size_t most) {
    UniqueFd diagnostics(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!diagnostics) return std::nullopt;
    // The kernel answers a dump as it is read; the timeout only guards against a kernel that never does.
    const timeval patience{1, 0};
    setsockopt(diagnostics.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

    DumpRequest dump{};
    dump.header.nlmsg_len = sizeof dump;
    dump.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    dump.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    dump.request.sdiag_family = AF_UNIX;
    dump.request.udiag_states = 1u << TCP_ESTABLISHED;  // connections only, no listeners
    dump.request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(diagnostics.get(), &dump, sizeof dump, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) !=
        static_cast<ssize_t>(sizeof dump))
        return std::nullopt;

    std::vector<AcceptedConnection> connections;
    alignas(nlmsghdr) char buffer[32768];
    for (std::size_t read = 0; read < kMostSocketsRead;) {
        const ssize_t received = recv(diagnostics.get(), buffer, sizeof buffer, 0);
        if (received <= 0) return std::nullopt;
        int left = static_cast<int>(received);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
             message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == NLMSG_DONE) return connections;
            if (message->nlmsg_type == NLMSG_ERROR || message->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;
            if (message->nlmsg_len < NLMSG_LENGTH(sizeof(unix_diag_msg))) continue;
            ++read;
            const auto* socketMessage = static_cast<const unix_diag_msg*>(NLMSG_DATA(message));
            std::string_view name;
            std::uint32_t peer = 0;
            int attributesLeft = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(unix_diag_msg)));
            for (auto* attribute = reinterpret_cast<rtattr*>(static_cast<char*>(NLMSG_DATA(message)) +
                                                             NLMSG_ALIGN(sizeof(unix_diag_msg)));
                 RTA_OK(attribute, attributesLeft); attribute = RTA_NEXT(attribute, attributesLeft)) {
                const auto* data = static_cast<const char*>(RTA_DATA(attribute));
                const std::size_t length = RTA_PAYLOAD(attribute);
                if (attribute->rta_type == UNIX_DIAG_NAME) name = std::string_view(data, length);
                if (attribute->rta_type == UNIX_DIAG_PEER && length >= sizeof peer)
                    std::memcpy(&peer, data, sizeof peer);
            }
            // An accepted connection carries its listener's name; the client's end has none.
            if (peer == 0 || name.empty() || socketAddressName(name) != listener) continue;
            if (connections.size() < most) connections.push_back({socketMessage->udiag_ino, peer});
        }
    }
    return std::nullopt;  // more sockets than any desktop has: the answer is not trusted
}

}  // namespace zanthrel::posix
