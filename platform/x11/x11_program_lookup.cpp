#include "platform/x11/x11_program_lookup.h"

#include "platform/x11/xcb_handles.h"

#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace zanthrel::x11 {
namespace {

std::string thisMachine() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

X11ProgramLookup::X11ProgramLookup(xcb_connection_t* connection) : connection_(connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (extension && extension->present) {
        // Process ids came with version 1.2.
        ReplyPtr<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(connection, xcb_res_query_version(connection, 1, 2), nullptr));
        resources_ =
            version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
    }
    netWmPid_ = intern(connection, "_NET_WM_PID");
    clientLeader_ = intern(connection, "WM_CLIENT_LEADER");
    clientMachine_ = intern(connection, "WM_CLIENT_MACHINE");
}

std::optional<std::uint32_t> X11ProgramLookup::serverProcessId(std::uint32_t resource) {
    if (!resources_ || resource == XCB_NONE) return std::nullopt;
    const xcb_res_client_id_spec_t wanted{resource, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    ReplyPtr<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(connection_, xcb_res_query_client_ids(connection_, 1, &wanted), nullptr));
    if (!reply) return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        const auto& [client, length] = *ids.data;
        if (!(client.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || length < 4) continue;
        return *xcb_res_client_id_value_value(ids.data);
    }
    return std::nullopt;
}

ProgramIdentity X11ProgramLookup::clientOf(std::uint32_t resource) {
    if (resource == XCB_NONE) return {};
    if (const auto processId = serverProcessId(resource))
        return posix::processIdentity(*processId, ProgramIdentity::Source::System);
    // The server does not know the process: a client connected over the network, or a server without
    // X-Resource. Only what the program says of itself remains, and only for this machine.
    const auto claimed = claimedProcessId(resource);
    if (!claimed) return {};
    const std::string machine = machineOf(resource);
    if (!machine.empty() && machine != thisMachine()) return {ProgramIdentity::Source::OtherHost, {}, 0};
    ProgramIdentity identity = posix::processIdentity(*claimed, ProgramIdentity::Source::ClientClaim);
    // A claim naming no running process proves nothing about any process.
    if (identity.source == ProgramIdentity::Source::Exited) return {};
    return identity;
}

std::optional<std::uint32_t> X11ProgramLookup::claimedProcessId(std::uint32_t window) {
    if (const auto own = cardinal(window, netWmPid_, XCB_ATOM_CARDINAL)) return own;
    // A selection is often owned by an unmapped window whose program sets its properties on the leader.
    const auto leader = cardinal(window, clientLeader_, XCB_ATOM_WINDOW);
    if (leader && *leader != window) return cardinal(*leader, netWmPid_, XCB_ATOM_CARDINAL);
    return std::nullopt;
}

std::optional<std::uint32_t> X11ProgramLookup::cardinal(std::uint32_t window, std::uint32_t property,
                                                        std::uint32_t type) {
    if (property == XCB_NONE) return std::nullopt;
    ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, property, type, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return std::nullopt;
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

std::string X11ProgramLookup::machineOf(std::uint32_t window) {
    if (clientMachine_ == XCB_NONE) return {};
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, clientMachine_, XCB_ATOM_STRING, 0, 64), nullptr));
    if (!reply || reply->format != 8) return {};
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(text, static_cast<std::size_t>(std::max(0, xcb_get_property_value_length(reply.get()))));
}

}  // namespace zanthrel::x11
