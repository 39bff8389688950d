#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "core/program_identity.h"
#include "platform/x11/x11_program_lookup.h"

struct xcb_connection_t;

namespace zanthrel::x11 {

// Sees which programs ask for the CLIPBOARD selection's contents (ConvertSelection), by the X server's
// RECORD extension, and names each by the server's word (X-Resource) and the process table. Requests of
// this process are not reported. On a thread and two X connections of its own: one receives the
// recorded requests as they happen, the other asks the server who sent them.
//
// A program that asks many times is reported at most once per kQuietPeriod, so that a client asking in a
// loop cannot flood the user-interface thread.
//
// It also sees every client connect, and notes at once what it was, while the process that connected is
// most likely still there, and which connection it came by (X11ClientNotes), for the lookups that name the
// clipboard's owners later.
class X11ReadRequestWatch {
public:
    static constexpr std::chrono::milliseconds kQuietPeriod{1000};
    // Clients remembered at once; a server has at most a few hundred.
    static constexpr std::size_t kMostClients = 512;
    // How long start() waits for the server to begin recording.
    static constexpr std::chrono::milliseconds kStartPatience{2000};

    // Null when the server has no RECORD (or no X-Resource, without which no reader could be named).
    // `read` is called on the watch's thread.
    static std::unique_ptr<X11ReadRequestWatch> start(std::function<void(ProgramIdentity)> read);
    ~X11ReadRequestWatch();
    X11ReadRequestWatch(const X11ReadRequestWatch&) = delete;
    X11ReadRequestWatch& operator=(const X11ReadRequestWatch&) = delete;

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        ProgramIdentity program;
        Clock::time_point reported{};
        std::uint32_t connected = 0;  // the process that connected, as the server gave it
    };

    X11ReadRequestWatch(xcb_connection_t* control, xcb_connection_t* data, std::uint32_t context,
                        std::uint32_t clipboard, std::function<void(ProgramIdentity)> read);
    void run();
    void onRecorded(const void* reply);
    void noteConnected(std::uint32_t idBase);
    Client& client(std::uint32_t idBase);
    Client& remember(std::uint32_t idBase, Client client);

    xcb_connection_t* control_;
    xcb_connection_t* data_;
    std::uint32_t context_;
    std::uint32_t clipboard_;
    std::function<void(ProgramIdentity)> read_;
    X11ProgramLookup lookup_;                  // on the control connection, watch thread only
    std::map<std::uint32_t, Client> clients_;  // by resource-id base; watch thread only
    std::atomic<bool> stopping_{false};
    bool began_ = false;  // watch thread until joined
    std::promise<void> seeing_;
    std::thread thread_;
};

}  // namespace zanthrel::x11
