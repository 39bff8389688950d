#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/program_identity.h"
#include "platform/posix/process_table.h"
#include "platform/x11/x11_client_notes.h"

struct xcb_connection_t;

namespace zanthrel::x11 {

// Names the X clients behind windows and other resources on a connection of the caller's, which it uses
// from the caller's thread only. Every question is answered by the X server or the kernel, which no other
// program can make wait, so a lookup takes a round trip or two and a bounded look into /proc.
//
// The server's word (the X-Resource extension, which knows the process at the other end of each local
// connection) is preferred; a window's _NET_WM_PID, which its program sets as it likes, is used only when
// the server cannot say, and the name then says so.
//
// The server keeps the id of the process that connected, which may since have left the connection to a
// child and exited. Where the client was noted as it connected (X11ClientNotes), the process holding the
// connection now is looked for among this user's, and named instead; failing that, the one that
// connected is named as it was noted.
class X11ProgramLookup {
public:
    using Clock = X11ClientNotes::Clock;
    // A client as the server knows it: its resource-id base and the process that connected.
    struct ServerClient {
        std::uint32_t idBase = 0;
        std::uint32_t processId = 0;
    };
    // Descriptors of other processes read in one look for a connection's holder, and in any one second:
    // a program that keeps handing its connection on cannot make naming slow down the reader.
    static constexpr std::size_t kDescriptorsPerLook = 4096;
    static constexpr std::size_t kDescriptorsPerSecond = 16384;
    // A client that connected this lately may be handing its connection on to a child while its first
    // process still runs (xclip takes the clipboard, forks and exits; `maim -s | xclip` waits for the
    // selection in between).
    static constexpr std::chrono::seconds kLatelyConnected{60};

    explicit X11ProgramLookup(xcb_connection_t* connection);

    // The client that created `resource` (a window, or a client's resource-id base).
    ProgramIdentity clientOf(std::uint32_t resource);
    // The client and process the server knows for `resource`, if local and still connected.
    std::optional<ServerClient> serverClient(std::uint32_t resource);
    // The program behind a client the server named.
    ProgramIdentity processOf(const ServerClient& client);
    // The resource-id bases of every client connected now.
    std::vector<std::uint32_t> clientBases();
    bool serverNamesClients() const noexcept { return resources_; }
    // Shared with every lookup and watch of this process on the same display; null for a display
    // reached over the network.
    const std::shared_ptr<X11ClientNotes>& notes() const noexcept { return notes_; }

private:
    enum class Presence { Running, Exiting, Gone };
    // Whether the process that connected still runs, and whether it is on its way out.
    static Presence presenceOf(const ClientNote& note);
    // The process holding the client's connection now, other than the one that connected.
    std::optional<std::uint32_t> holderOf(std::uint32_t idBase, const ClientNote& note, bool connectedRuns);
    std::optional<std::uint32_t> claimedProcessId(std::uint32_t window);
    std::optional<std::uint32_t> cardinal(std::uint32_t window, std::uint32_t property, std::uint32_t type);
    std::string machineOf(std::uint32_t window);

    xcb_connection_t* connection_;
    bool resources_ = false;
    std::uint32_t netWmPid_ = 0, clientLeader_ = 0, clientMachine_ = 0;
    std::shared_ptr<X11ClientNotes> notes_;
    std::size_t descriptorBudget_ = kDescriptorsPerSecond;
    Clock::time_point budgetSince_{};
};

}  // namespace zanthrel::x11
