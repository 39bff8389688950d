#include "platform/x11/x11_client_notes.h"

#include <algorithm>
#include <vector>

#include "core/program_identity.h"
#include "platform/posix/process_table.h"
#include "platform/posix/unix_sockets.h"

namespace zanthrel::x11 {
namespace {

// Descriptors of the connecting process read to tell apart connections that came at once.
constexpr std::size_t kDescriptorsOfOneProcess = 256;

}  // namespace

std::unique_ptr<X11ConnectionSockets> X11ConnectionSockets::start(std::string display) {
    if (display.empty()) return nullptr;
    const auto connections = posix::acceptedConnections(display, kMostConnections);
    if (!connections) return nullptr;
    std::unique_ptr<X11ConnectionSockets> sockets(new X11ConnectionSockets(std::move(display)));
    for (const posix::AcceptedConnection& connection : *connections) sockets->earlier_.insert(connection.served);
    return sockets;
}

std::uint64_t X11ConnectionSockets::claim(std::uint32_t processId, Clock::time_point now) {
    const auto connections = posix::acceptedConnections(display_, kMostConnections);
    if (!connections) return 0;
    // What closed is forgotten, so that all kept stays within what is open.
    std::set<std::uint64_t> open;
    for (const posix::AcceptedConnection& connection : *connections) open.insert(connection.served);
    std::erase_if(claimed_, [&](std::uint64_t served) { return !open.contains(served); });
    std::erase_if(earlier_, [&](std::uint64_t served) { return !open.contains(served); });
    std::erase_if(unclaimed_, [&](const auto& entry) { return !open.contains(entry.first); });

    std::vector<posix::AcceptedConnection> candidates;
    for (const posix::AcceptedConnection& connection : *connections) {
        if (claimed_.contains(connection.served) || earlier_.contains(connection.served)) continue;
        const Clock::time_point seen = unclaimed_.try_emplace(connection.served, now).first->second;
        if (now - seen <= kSetupPeriod) candidates.push_back(connection);
    }
    if (candidates.size() > 1) {
        std::size_t budget = kDescriptorsOfOneProcess;
        const std::vector<std::uint64_t> held = posix::socketsOf(processId, budget);
        std::erase_if(candidates, [&](const posix::AcceptedConnection& connection) {
            return std::find(held.begin(), held.end(), connection.client) == held.end();
        });
    }
    if (candidates.size() != 1) return 0;
    claimed_.insert(candidates[0].served);
    unclaimed_.erase(candidates[0].served);
    return candidates[0].client;
}

std::shared_ptr<X11ClientNotes> X11ClientNotes::ofDisplay(const std::string& display) {
    if (display.empty()) return nullptr;
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<X11ClientNotes>> displays;
    const std::lock_guard lock(mutex);
    std::erase_if(displays, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<X11ClientNotes>& shared = displays[display];
    std::shared_ptr<X11ClientNotes> notes = shared.lock();
    if (!notes) {
        notes = std::make_shared<X11ClientNotes>(display);
        shared = notes;
    }
    return notes;
}

void X11ClientNotes::watchBegan(const std::vector<std::uint32_t>& connectedBefore) {
    const std::lock_guard lock(mutex_);
    if (watches_++ > 0) return;
    sockets_ = X11ConnectionSockets::start(display_);
    connectedBefore_.insert(connectedBefore.begin(), connectedBefore.end());
}

void X11ClientNotes::watchEnded() {
    const std::lock_guard lock(mutex_);
    if (--watches_ > 0) return;
    // Nobody tells of disconnections any more: what is kept would only grow stale.
    sockets_.reset();
    clients_.clear();
    connectedBefore_.clear();
}

std::optional<ClientNote> X11ClientNotes::connected(std::uint32_t idBase, std::uint32_t processId) {
    return noteOf(idBase, processId, true);
}

std::optional<ClientNote> X11ClientNotes::noteOf(std::uint32_t idBase, std::uint32_t processId) {
    return noteOf(idBase, processId, false);
}

std::optional<ClientNote> X11ClientNotes::noteOf(std::uint32_t idBase, std::uint32_t processId, bool newClient) {
    const std::lock_guard lock(mutex_);
    if (newClient) connectedBefore_.erase(idBase);
    const auto found = clients_.find(idBase);
    if (found != clients_.end() && found->second.processId == processId) return found->second;
    if (watches_ == 0) return std::nullopt;
    if (found == clients_.end() && clients_.size() >= kMostClients) clients_.erase(clients_.begin());
    return clients_.insert_or_assign(idBase, make(processId, !connectedBefore_.contains(idBase))).first->second;
}

ClientNote X11ClientNotes::make(std::uint32_t processId, bool newClient) {
    ClientNote note;
    note.processId = processId;
    note.noted = Clock::now();
    // The process first, which may be gone within a millisecond; the kernel keeps the connection's
    // sockets as long as anyone holds them.
    const ProgramIdentity process = posix::processIdentity(processId, ProgramIdentity::Source::System);
    if (process.source == ProgramIdentity::Source::System) {
        note.name = process.name;
        if (const auto state = posix::processState(processId)) note.started = state->started;
    }
    if (sockets_ && newClient) note.socket = sockets_->claim(processId, Clock::now());
    return note;
}

void X11ClientNotes::disconnected(std::uint32_t idBase, std::uint32_t processId) {
    const std::lock_guard lock(mutex_);
    connectedBefore_.erase(idBase);
    const auto found = clients_.find(idBase);
    if (found != clients_.end() && (processId == 0 || found->second.processId == processId)) clients_.erase(found);
}

void X11ClientNotes::holderFound(std::uint32_t idBase, std::uint32_t holder, std::optional<std::uint64_t> started) {
    const std::lock_guard lock(mutex_);
    const auto found = clients_.find(idBase);
    if (found == clients_.end()) return;
    found->second.holder = holder;
    found->second.holderStarted = started;
}

std::size_t X11ClientNotes::size() const {
    const std::lock_guard lock(mutex_);
    return clients_.size();
}

}  // namespace zanthrel::x11
