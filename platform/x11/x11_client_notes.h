#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zanthrel::x11 {

// What was learnt of one X client as it connected. The X server goes on giving the id of the process
// that connected for as long as the connection lasts, even once that process has left the connection to
// a child and exited (as xclip does, and any program that goes to the background): by then the process
// table no longer knows what it was, nor who serves its clipboard now.
struct ClientNote {
    std::uint32_t processId = 0;                  // as the server gave it
    std::optional<std::uint64_t> started;         // that process's start time, which tells it from a later one
    std::string name;                             // its executable's name, when it could still be read
    std::uint64_t socket = 0;                     // the client's end of the connection, by inode; 0: not known
    std::chrono::steady_clock::time_point noted;  // when the note was made
    // The process found holding that connection once the first had gone, and its start time.
    std::uint32_t holder = 0;
    std::optional<std::uint64_t> holderStarted;

    friend bool operator==(const ClientNote&, const ClientNote&) = default;
};

// Tells which connection a client that has just connected came by, from the kernel's socket diagnostics:
// the server's end of every connection to the display carries the display's name, and a client's is the
// one that is new since the last look. Where several are new (clients connecting at once), the one held
// by the process the server names is taken, if that process is still there to ask. Not thread-safe.
class X11ConnectionSockets {
public:
    using Clock = std::chrono::steady_clock;
    // A connection not claimed within this long of being seen is not taken for a later client's: it came
    // from a client that never finished connecting, which could otherwise make every later client's
    // connection ambiguous.
    static constexpr std::chrono::milliseconds kSetupPeriod{2000};
    // Connections to one display looked at: more than any X server accepts.
    static constexpr std::size_t kMostConnections = 4096;

    // Null where the kernel offers no socket diagnostics. Connections already open are nobody's to claim.
    static std::unique_ptr<X11ConnectionSockets> start(std::string display);

    // The client's end of the connection of a client that has just connected, from process `processId`
    // by the server's word; 0 when it cannot be told.
    std::uint64_t claim(std::uint32_t processId, Clock::time_point now);

private:
    explicit X11ConnectionSockets(std::string display) : display_(std::move(display)) {}

    std::string display_;
    // The server's ends of the connections still open, by inode.
    std::set<std::uint64_t> claimed_;
    std::set<std::uint64_t> earlier_;
    // When each of the others was first seen.
    std::map<std::uint64_t, Clock::time_point> unclaimed_;
};

// The notes on the clients of one X server, by resource-id base, shared by the watch that sees clients
// connect and disconnect and every program lookup of this process: any thread.
//
// Notes are kept only while a watch sees clients come and go, so that they are forgotten again. Whoever
// asks first about a client makes its note: the watch as the client connects, or a lookup that gets
// there first (a client that takes the clipboard within a millisecond of connecting), which finds the
// same connection since the kernel keeps it as long as anyone holds it. The connection of a client that
// was there before the watch is never looked for: a connection new since then is some later client's.
// The oldest-numbered notes go first once kMostClients are kept.
class X11ClientNotes {
public:
    using Clock = X11ConnectionSockets::Clock;
    // A server has at most a few hundred clients at once.
    static constexpr std::size_t kMostClients = 512;

    // The notes on the clients of the server listening at `display` (posix::socketAddressName), the same
    // for every caller while any holds them. Null for an empty name: a server over the network, whose
    // clients' processes are not this machine's.
    static std::shared_ptr<X11ClientNotes> ofDisplay(const std::string& display);
    explicit X11ClientNotes(std::string display) : display_(std::move(display)) {}

    // A watch began seeing clients connect and disconnect, with those of `connectedBefore` (resource-id
    // bases) already there; or it ended.
    void watchBegan(const std::vector<std::uint32_t>& connectedBefore);
    void watchEnded();
    // The client of `idBase` has just connected, from `processId` by the server's word: its note.
    std::optional<ClientNote> connected(std::uint32_t idBase, std::uint32_t processId);
    // The note on the client of `idBase`, which the server says connected from `processId`; made now if
    // there is none yet and a watch is on. A note on an earlier client of the same base is replaced.
    std::optional<ClientNote> noteOf(std::uint32_t idBase, std::uint32_t processId);
    // The client of `idBase` that connected from `processId` (0: whichever) disconnected.
    void disconnected(std::uint32_t idBase, std::uint32_t processId);
    void holderFound(std::uint32_t idBase, std::uint32_t holder, std::optional<std::uint64_t> started);
    std::size_t size() const;

private:
    std::optional<ClientNote> noteOf(std::uint32_t idBase, std::uint32_t processId, bool newClient);
    ClientNote make(std::uint32_t processId, bool newClient);

    const std::string display_;
    mutable std::mutex mutex_;
    int watches_ = 0;
    std::unique_ptr<X11ConnectionSockets> sockets_;  // while watched, where the kernel tells
    std::map<std::uint32_t, ClientNote> clients_;
    std::set<std::uint32_t> connectedBefore_;  // while still connected
};

}  // namespace zanthrel::x11
