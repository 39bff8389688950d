#include "platform/x11/x11_program_lookup.h"

#include "platform/posix/unix_sockets.h"
#include "platform/x11/xcb_handles.h"

#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <algorithm>
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
    notes_ = X11ClientNotes::ofDisplay(posix::connectedAddress(xcb_get_file_descriptor(connection)));
}

std::optional<X11ProgramLookup::ServerClient> X11ProgramLookup::serverClient(std::uint32_t resource) {
    if (!resources_ || resource == XCB_NONE) return std::nullopt;
    const xcb_res_client_id_spec_t wanted{resource, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    ReplyPtr<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(connection_, xcb_res_query_client_ids(connection_, 1, &wanted), nullptr));
    if (!reply) return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        const auto& [client, length] = *ids.data;
        if (!(client.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || length < 4) continue;
        return ServerClient{client.client, *xcb_res_client_id_value_value(ids.data)};
    }
    return std::nullopt;
}

std::vector<std::uint32_t> X11ProgramLookup::clientBases() {
    std::vector<std::uint32_t> bases;
    if (!resources_) return bases;
    ReplyPtr<xcb_res_query_clients_reply_t> reply(
        xcb_res_query_clients_reply(connection_, xcb_res_query_clients(connection_), nullptr));
    if (!reply) return bases;
    for (auto clients = xcb_res_query_clients_clients_iterator(reply.get()); clients.rem > 0;
         xcb_res_client_next(&clients))
        bases.push_back(clients.data->resource_base);
    return bases;
}

ProgramIdentity X11ProgramLookup::clientOf(std::uint32_t resource) {
    if (resource == XCB_NONE) return {};
    if (const auto client = serverClient(resource)) return processOf(*client);
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

ProgramIdentity X11ProgramLookup::processOf(const ServerClient& client) {
    using Source = ProgramIdentity::Source;
    const std::optional<ClientNote> note = notes_ ? notes_->noteOf(client.idBase, client.processId) : std::nullopt;
    if (!note) return posix::processIdentity(client.processId, Source::System);
    const Presence connected = presenceOf(*note);
    // A process that has just left its connection to a child may still be running for a moment (longer
    // on a busy machine), while its child already serves: for a client that connected lately, the child
    // is looked for even then.
    if (connected != Presence::Running || Clock::now() - note->noted < kLatelyConnected) {
        if (const auto holder = holderOf(client.idBase, *note, connected != Presence::Gone)) {
            ProgramIdentity current = posix::processIdentity(*holder, Source::System);
            if (current.source == Source::System) return current;
        }
        if (presenceOf(*note) == Presence::Gone) return {Source::Exited, note->name, client.processId};
    }
    ProgramIdentity identity = posix::processIdentity(client.processId, Source::System);
    if (identity.source == Source::System) return identity;
    return {Source::Exited, note->name, client.processId};
}

X11ProgramLookup::Presence X11ProgramLookup::presenceOf(const ClientNote& note) {
    const std::optional<posix::ProcessState> process = posix::processState(note.processId);
    // A process running under the id is the one that connected only if it started when that one did.
    if (!process || process->ended || (note.started && process->started != *note.started)) return Presence::Gone;
    return process->exiting ? Presence::Exiting : Presence::Running;
}

std::optional<std::uint32_t> X11ProgramLookup::holderOf(std::uint32_t idBase, const ClientNote& note,
                                                        bool connectedRuns) {
    if (note.socket == 0) return std::nullopt;
    // The holder found before is asked first: a program that copies again and again is looked for once.
    if (note.holder != 0 && note.holderStarted) {
        const std::optional<posix::ProcessState> holder = posix::processState(note.holder);
        if (holder && !holder->ended && holder->started == *note.holderStarted) return note.holder;
    }
    const Clock::time_point now = Clock::now();
    if (now - budgetSince_ >= std::chrono::seconds(1)) {
        descriptorBudget_ = kDescriptorsPerSecond;
        budgetSince_ = now;
    }
    std::size_t look = std::min(descriptorBudget_, kDescriptorsPerLook);
    const std::size_t granted = look;
    // While the process that connected runs, only a child of its, right after its id, is looked for;
    // once it is gone (it may have gone meanwhile, and its child to another parent), whoever holds the
    // connection.
    std::optional<std::uint32_t> holder;
    if (connectedRuns) holder = posix::childHolding(note.processId, note.socket, look);
    if (!holder && (!connectedRuns || presenceOf(note) == Presence::Gone))
        holder = posix::socketHolder(note.socket, note.processId, look);
    descriptorBudget_ -= granted - look;
    if (holder) {
        const std::optional<posix::ProcessState> found = posix::processState(*holder);
        notes_->holderFound(idBase, *holder, found ? std::optional(found->started) : std::nullopt);
    }
    return holder;
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
