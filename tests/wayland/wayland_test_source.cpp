// The other program in the Wayland tests: a clipboard owner made through the compositor's data-control
// service, so it needs no window and no focus; and the programs that race the guard for what is copied.
//
//   wayland_test_source silent SECONDS     offers image/png and never writes it, saying "asked" on each
//                                          request; leaves when its offer is replaced, or after SECONDS
//   wayland_test_source refuse SECONDS     offers image/png and closes each request unwritten
//   wayland_test_source serve SECONDS FILE offers FILE as image/png, saying "sent" once it has written it
//                                          for a request
//   wayland_test_source offer SECONDS TYPE FILE [TYPE FILE]...
//                                          offers the types in this order, each served from its file, and
//                                          writes "asked TYPE" for each request; leaves as silent does
//   wayland_test_source measure COUNT [SPACING_MS]
//                                          copies COUNT times, each once the previous one was emptied (and
//                                          SPACING_MS after the previous copy), and prints how long each
//                                          stayed on the clipboard (ms)
//   wayland_test_source copy clipboard|primary COUNT SPACING_MS
//                                          copies "secret1" ... "secretCOUNT" as text, SPACING_MS apart,
//                                          serving each while it is offered; prints "copied N" as it
//                                          copies and "taken K of COUNT" at the end
//   wayland_test_source spy clipboard|primary SECONDS
//                                          asks for the text at every selection event, at once; prints
//                                          "ready" once it watches, then "got TEXT" for every text
//   wayland_test_source paste clipboard|primary
//                                          prints "got TEXT" when the selection offers a text now, as the
//                                          compositor names it to a new data-control client
//   wayland_test_source fight SECONDS      copies a text and copies it again the instant it is replaced;
//                                          then stops and prints "retaken N", and "last taking emptied"
//                                          or "last taking kept" after up to a second more
#include <fcntl.h>
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
constexpr const char* kTextType = "text/plain;charset=utf-8";

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
};

struct Source {
    bool cancelled = false;
    bool letGoWhenCancelled = false;  // the offer is destroyed in the notice that it was replaced
    bool letGo = false;
    bool silent = false;
    bool refuse = false;
    std::string text;                           // written whole to every request, when set
    const std::vector<char>* served = nullptr;  // likewise, and said once written
    std::vector<int> heldOpen;                  // a silent owner keeps the write ends, so the reader sees no end either
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

void writeAll(int fd, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::string_view(interface) == "wl_seat" && !globals->seat)
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    // Version 2 adds the primary selection.
    if (std::string_view(interface) == "zwlr_data_control_manager_v1")
        globals->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2u)));
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

void onSend(void* data, zwlr_data_control_source_v1*, const char* type, int fd) {
    auto* source = static_cast<Source*>(data);
    if (!source->offers.empty()) {
        for (const auto& [offered, bytes] : source->offers) {
            if (offered != type) continue;
            std::printf("asked %s\n", type);
            std::fflush(stdout);
            writeAll(fd, bytes.data(), bytes.size());
        }
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
        writeAll(fd, source->served->data(), source->served->size());
        close(fd);
        say("sent");
        return;
    }
    static const unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (source->text.empty())
        (void)!write(fd, kPngSignature, sizeof kPngSignature);
    else
        (void)!write(fd, source->text.data(), source->text.size());
    close(fd);
}
void onCancelled(void* data, zwlr_data_control_source_v1* proxy) {
    auto* source = static_cast<Source*>(data);
    source->cancelled = true;
    if (source->letGoWhenCancelled && !source->letGo) {
        zwlr_data_control_source_v1_destroy(proxy);
        source->letGo = true;
    }
}
const zwlr_data_control_source_v1_listener kSourceListener{onSend, onCancelled};

// What the device saw: the spy asks for the text of each new selection as soon as it is named.
struct Device {
    wl_display* display = nullptr;
    zwlr_data_control_device_v1* proxy = nullptr;
    bool spying = false;
    bool primary = false;        // which selection the spy reads
    std::vector<int> transfers;  // pipes the owners write the text into
    // The newest offer of each selection, kept until the next replaces it.
    zwlr_data_control_offer_v1* latest[2] = {nullptr, nullptr};

    void named(bool primarySelection, zwlr_data_control_offer_v1* offer) {
        zwlr_data_control_offer_v1*& kept = latest[primarySelection ? 1 : 0];
        if (kept && kept != offer) zwlr_data_control_offer_v1_destroy(kept);
        kept = offer;
        int ends[2];
        if (!spying || primary != primarySelection || !offer || pipe2(ends, O_CLOEXEC) != 0) return;
        zwlr_data_control_offer_v1_receive(offer, kTextType, ends[1]);
        wl_display_flush(display);
        close(ends[1]);
        transfers.push_back(ends[0]);
    }
};

void onDataOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
void onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Device*>(data)->named(false, offer);
}
void onFinished(void*, zwlr_data_control_device_v1*) {}
void onPrimary(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Device*>(data)->named(true, offer);
}
const zwlr_data_control_device_v1_listener kDeviceListener{onDataOffer, onSelection, onFinished, onPrimary};

// Dispatches until `done` holds or the deadline passes, reading the spy's transfers as they come;
// false on a lost connection.
template <typename Done>
bool dispatchUntil(wl_display* display, Device& device, Clock::time_point deadline, Done done) {
    while (!done() && Clock::now() < deadline) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        std::vector<pollfd> fds{{wl_display_get_fd(display), POLLIN, 0}};
        for (const int fd : device.transfers) fds.push_back({fd, POLLIN, 0});
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(left, 0))) > 0 &&
            (fds[0].revents & POLLIN)) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return false;
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            std::string text;
            char chunk[256];
            ssize_t got;
            while ((got = read(fds[i].fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(got));
            close(fds[i].fd);
            device.transfers.erase(std::find(device.transfers.begin(), device.transfers.end(), fds[i].fd));
            if (!text.empty()) {
                std::printf("got %s\n", text.c_str());
                std::fflush(stdout);
            }
        }
    }
    return true;
}

struct Session {
    wl_display* display = nullptr;
    Globals globals;
    Device device;

    zwlr_data_control_source_v1* offerText(Source& state, bool primary) {
        zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(globals.manager);
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, &state);
        for (const char* type : {kTextType, "text/plain", "UTF8_STRING", "STRING", "TEXT"})
            zwlr_data_control_source_v1_offer(source, type);
        if (primary)
            zwlr_data_control_device_v1_set_primary_selection(device.proxy, source);
        else
            zwlr_data_control_device_v1_set_selection(device.proxy, source);
        wl_display_flush(display);
        return source;
    }
};

int copyTexts(Session& session, bool primary, int count, std::chrono::milliseconds spacing) {
    const Clock::time_point start = Clock::now();
    int taken = 0;
    for (int i = 1; i <= count; ++i) {
        Source state;
        state.text = "secret" + std::to_string(i);
        // Programs people copy from let go of their offer in the notice that it was replaced, as wl-copy, Qt
        // and GTK do. KWin still hands a request for a replaced offer to its program, and a request that
        // comes with the notice would otherwise be answered.
        state.letGoWhenCancelled = true;
        zwlr_data_control_source_v1* source = session.offerText(state, primary);
        std::printf("copied %d\n", i);
        std::fflush(stdout);
        const Clock::time_point next = start + i * spacing;
        if (!dispatchUntil(session.display, session.device, next, [&] { return state.cancelled; })) return 1;
        // Replaced by the next copy only once the deadline passed: cancelled before means another program.
        if (state.cancelled) ++taken;
        if (!state.letGo) zwlr_data_control_source_v1_destroy(source);
        wl_display_flush(session.display);
        if (!dispatchUntil(session.display, session.device, next, [] { return false; })) return 1;
    }
    std::printf("taken %d of %d\n", taken, count);
    return 0;
}

int fight(Session& session, Clock::time_point until) {
    long retaken = 0;
    Source state;
    zwlr_data_control_source_v1* source = nullptr;
    for (;;) {
        state = Source{};
        state.text = "fighter";
        source = session.offerText(state, false);
        if (!dispatchUntil(session.display, session.device, until, [&] { return state.cancelled; })) return 1;
        if (!state.cancelled) break;
        zwlr_data_control_source_v1_destroy(source);
        ++retaken;
    }
    std::printf("retaken %ld\n", retaken);
    // The last copy stays offered, fought for no more.
    if (!dispatchUntil(session.display, session.device, Clock::now() + std::chrono::seconds(1),
                       [&] { return state.cancelled; }))
        return 1;
    std::printf("last taking %s\n", state.cancelled ? "emptied" : "kept");
    zwlr_data_control_source_v1_destroy(source);
    return 0;
}

int measure(Session& session, const std::string_view mode, long amount, std::chrono::milliseconds spacing,
            const std::vector<char>* served, const std::vector<std::pair<std::string, std::string>>& offers) {
    const bool once = mode != "measure";
    const int copies = once ? 1 : static_cast<int>(amount);
    std::vector<double> stayedMs;
    const Clock::time_point start = Clock::now();
    for (int copy = 0; copy < copies; ++copy) {
        if (!dispatchUntil(session.display, session.device, start + copy * spacing, [] { return false; })) return 1;
        Source state;
        state.silent = mode == "silent";
        state.refuse = mode == "refuse";
        state.served = served;
        state.offers = offers;
        zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(session.globals.manager);
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, &state);
        if (state.offers.empty()) zwlr_data_control_source_v1_offer(source, "image/png");
        for (const auto& [type, bytes] : state.offers) zwlr_data_control_source_v1_offer(source, type.c_str());
        const Clock::time_point copied = Clock::now();
        zwlr_data_control_device_v1_set_selection(session.device.proxy, source);
        const auto deadline = copied + (once ? std::chrono::seconds(amount) : std::chrono::seconds(5));
        if (!dispatchUntil(session.display, session.device, deadline, [&] { return state.cancelled; })) return 1;
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
    return 0;
}

int usage(const char* name) {
    std::fprintf(stderr,
                 "usage: %s silent SECONDS | refuse SECONDS | serve SECONDS FILE | measure COUNT [SPACING_MS] |\n"
                 "       offer SECONDS TYPE FILE [TYPE FILE]... |\n"
                 "       copy clipboard|primary COUNT SPACING_MS | spy clipboard|primary SECONDS | fight SECONDS |\n"
                 "       paste clipboard|primary\n",
                 name);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGPIPE, SIG_IGN);  // a reader that goes away ends a request, not the owner
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const std::string_view which = argc > 2 ? argv[2] : "";
    const bool racing = mode == "copy" || mode == "spy";
    if ((racing || mode == "paste") && which != "clipboard" && which != "primary") return usage(argv[0]);
    const long amount =
        mode == "paste" ? 1 : std::strtol(argc > (racing ? 3 : 2) ? argv[racing ? 3 : 2] : "0", nullptr, 10);
    const bool offer = mode == "offer" && argc >= 5 && argc % 2 == 1;
    const bool known = mode == "silent" || mode == "refuse" || (mode == "measure" && argc <= 4) || mode == "fight" ||
                       (mode == "serve" && argc == 4) || offer || (mode == "spy" && argc == 4) ||
                       (mode == "copy" && argc == 5) || (mode == "paste" && argc == 3);
    if (!known || amount <= 0) return usage(argv[0]);
    Session session;
    session.display = wl_display_connect(nullptr);
    if (!session.display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    static const wl_registry_listener registryListener{onGlobal, onGlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(session.display), &registryListener, &session.globals);
    wl_display_roundtrip(session.display);
    if (!session.globals.seat || !session.globals.manager) {
        std::fprintf(stderr, "the compositor offers no zwlr_data_control_manager_v1\n");
        return 1;
    }
    const bool primary = which == "primary";
    if (primary && zwlr_data_control_manager_v1_get_version(session.globals.manager) < 2) {
        std::fprintf(stderr, "the compositor's data-control service offers no primary selection\n");
        return 1;
    }
    session.device.display = session.display;
    session.device.proxy = zwlr_data_control_manager_v1_get_data_device(session.globals.manager, session.globals.seat);
    zwlr_data_control_device_v1_add_listener(session.device.proxy, &kDeviceListener, &session.device);
    wl_display_roundtrip(session.display);

    int status = 0;
    if (mode == "copy") {
        status = copyTexts(session, primary, static_cast<int>(amount), std::chrono::milliseconds(std::atoi(argv[4])));
    } else if (mode == "spy") {
        // What was on the clipboard before does not count: only what is copied from now on.
        session.device.spying = true;
        session.device.primary = primary;
        std::printf("ready\n");
        std::fflush(stdout);
        const Clock::time_point until = Clock::now() + std::chrono::seconds(amount);
        status = dispatchUntil(session.display, session.device, until, [] { return false; }) ? 0 : 1;
    } else if (mode == "paste") {
        // The selection found is the one the compositor named as the device was made.
        session.device.spying = true;
        session.device.primary = primary;
        session.device.named(primary, session.device.latest[primary ? 1 : 0]);
        status = dispatchUntil(session.display, session.device, Clock::now() + std::chrono::seconds(2),
                               [&] { return session.device.transfers.empty(); })
                     ? 0
                     : 1;
    } else if (mode == "fight") {
        status = fight(session, Clock::now() + std::chrono::seconds(amount));
    } else if (mode == "serve") {
        const std::string bytes = readFile(argv[3]);
        const std::vector<char> served(bytes.begin(), bytes.end());
        status = measure(session, mode, amount, {}, &served, {});
    } else {
        std::vector<std::pair<std::string, std::string>> offers;
        for (int i = 3; offer && i + 1 < argc; i += 2) offers.emplace_back(argv[i], readFile(argv[i + 1]));
        const auto spacing = std::chrono::milliseconds(mode == "measure" && argc > 3 ? std::atoi(argv[3]) : 0);
        status = measure(session, mode, amount, spacing, nullptr, offers);
    }
    wl_display_disconnect(session.display);
    // Ends without a leak check: libwayland still holds what it read for the events of offers this owner let
    // go, and the process takes that along.
    std::fflush(stdout);
    std::_Exit(status);
}
