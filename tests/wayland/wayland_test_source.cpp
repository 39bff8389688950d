// The other program in the Wayland tests: a clipboard owner made through the compositor's data-control
// service, so it needs no window and no focus.
//
//   wayland_test_source silent SECONDS     offers image/png and never writes it, saying "asked" on each
//                                          request; leaves when its offer is replaced, or after SECONDS
//   wayland_test_source refuse SECONDS     offers image/png and closes each request unwritten
//   wayland_test_source serve SECONDS FILE offers FILE as image/png, saying "sent" once it has written it
//                                          for a request
//   wayland_test_source measure COUNT      copies COUNT times, each once the previous one was emptied,
//                                          and prints how long each stayed on the clipboard (ms)
//   wayland_test_source offer SECONDS TYPE FILE [TYPE FILE]...
//                                          offers the types in this order, each served from its file, and
//                                          writes "asked TYPE" for each request; leaves as silent does
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
};

struct Source {
    bool cancelled = false;
    bool silent = false;
    bool refuse = false;
    const std::vector<char>* served = nullptr;
    std::vector<int> heldOpen;  // a silent owner keeps the write ends, so the reader sees no end either
    std::vector<std::pair<std::string, std::string>> offers;  // type, bytes
};

std::string readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Tells the test what the owner has done, as it happens.
void say(const char* line) {
    std::puts(line);
    std::fflush(stdout);
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::string_view(interface) == "wl_seat" && !globals->seat)
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::string_view(interface) == "zwlr_data_control_manager_v1")
        globals->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

void onSend(void* data, zwlr_data_control_source_v1*, const char* type, int fd) {
    auto* source = static_cast<Source*>(data);
    for (const auto& [offered, bytes] : source->offers) {
        if (offered != type) continue;
        std::printf("asked %s\n", type);
        std::fflush(stdout);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
    }
    if (!source->offers.empty()) {
        close(fd);
        return;
    }
    if (source->silent) {
        source->heldOpen.push_back(fd);
        say("asked");
        return;
    }
    if (source->refuse) {
        close(fd);
        return;
    }
    if (source->served) {
        const std::vector<char>& data = *source->served;
        for (std::size_t written = 0; written < data.size();) {
            const ssize_t step = write(fd, data.data() + written, data.size() - written);
            if (step <= 0) break;
            written += std::size_t(step);
        }
        close(fd);
        say("sent");
        return;
    }
    static const unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    (void)!write(fd, kPngSignature, sizeof kPngSignature);
    close(fd);
}
void onCancelled(void* data, zwlr_data_control_source_v1*) {
    static_cast<Source*>(data)->cancelled = true;
}
const zwlr_data_control_source_v1_listener kSourceListener{onSend, onCancelled};

// The device's events are not needed; its offers are let go as they come.
void onDataOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    zwlr_data_control_offer_v1_destroy(offer);
}
void onSelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
void onFinished(void*, zwlr_data_control_device_v1*) {}
void onPrimary(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
const zwlr_data_control_device_v1_listener kDeviceListener{onDataOffer, onSelection, onFinished, onPrimary};

// Dispatches until the source is cancelled or the deadline passes; false on a lost connection.
bool waitForCancel(wl_display* display, Source& source, Clock::time_point deadline) {
    while (!source.cancelled && Clock::now() < deadline) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (poll(&fd, 1, static_cast<int>(std::max<long long>(left, 0))) > 0) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const long amount = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    std::signal(SIGPIPE, SIG_IGN);  // a reader that goes away ends a request, not the owner
    const bool serve = mode == "serve" && argc > 3;
    const bool offer = mode == "offer" && argc >= 5 && argc % 2 == 1;
    if ((mode != "silent" && mode != "refuse" && mode != "measure" && !serve && !offer) || amount <= 0) {
        std::fprintf(stderr,
                     "usage: %s silent SECONDS | refuse SECONDS | serve SECONDS FILE | measure COUNT |\n"
                     "       offer SECONDS TYPE FILE [TYPE FILE]...\n",
                     argv[0]);
        return 2;
    }
    std::vector<char> served;
    if (serve) {
        std::ifstream file(argv[3], std::ios::binary);
        served.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Globals globals;
    static const wl_registry_listener registryListener{onGlobal, onGlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || !globals.manager) {
        std::fprintf(stderr, "the compositor offers no zwlr_data_control_manager_v1\n");
        return 1;
    }
    zwlr_data_control_device_v1* device = zwlr_data_control_manager_v1_get_data_device(globals.manager, globals.seat);
    zwlr_data_control_device_v1_add_listener(device, &kDeviceListener, nullptr);
    wl_display_roundtrip(display);

    const bool once = mode != "measure";
    const int copies = once ? 1 : static_cast<int>(amount);
    std::vector<double> stayedMs;
    for (int copy = 0; copy < copies; ++copy) {
        Source state;
        state.silent = mode == "silent";
        state.refuse = mode == "refuse";
        for (int i = 3; offer && i + 1 < argc; i += 2) state.offers.emplace_back(argv[i], readFile(argv[i + 1]));
        state.served = serve ? &served : nullptr;
        zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(globals.manager);
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, &state);
        if (state.offers.empty()) zwlr_data_control_source_v1_offer(source, "image/png");
        for (const auto& [type, bytes] : state.offers) zwlr_data_control_source_v1_offer(source, type.c_str());
        const Clock::time_point copied = Clock::now();
        zwlr_data_control_device_v1_set_selection(device, source);
        const auto deadline = copied + (once ? std::chrono::seconds(amount) : std::chrono::seconds(5));
        if (!waitForCancel(display, state, deadline)) return 1;
        if (!once) {
            if (!state.cancelled) {
                std::fprintf(stderr, "copy %d was still on the clipboard after 5 s\n", copy + 1);
                return 1;
            }
            stayedMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - copied).count());
        }
        for (const int fd : state.heldOpen) close(fd);
        zwlr_data_control_source_v1_destroy(source);
    }
    if (!stayedMs.empty()) {
        std::sort(stayedMs.begin(), stayedMs.end());
        const auto at = [&](double share) {
            return stayedMs[std::min(stayedMs.size() - 1, std::size_t(share * stayedMs.size()))];
        };
        std::printf("copies %zu  p50 %.2f ms  p90 %.2f ms  max %.2f ms\n", stayedMs.size(), at(0.5), at(0.9),
                    stayedMs.back());
    }
    wl_display_disconnect(display);
    // Ends without a leak check: libwayland still holds what it read for the events of offers this owner let
    // go, and the process takes that along.
    std::fflush(stdout);
    std::_Exit(0);
}
