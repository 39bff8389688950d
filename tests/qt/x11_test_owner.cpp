// A small X client that plays the other program in the X11 tests, including the hostile ones Qt's own
// clipboard could not cope with. It writes "owner" on a line of its own once it holds CLIPBOARD and
// "asked" whenever it is asked for picture data, so the tests wait on what it has done, not on time.
//
//   x11_test_owner silent                 takes the clipboard and never answers anything
//   x11_test_owner targets-only TYPE      lists TYPE among its types, never sends the data
//   x11_test_owner refuses                lists image/png, then refuses to convert to it
//   x11_test_owner incr-huge              lists image/png, announces 2 GB in increments, sends none
//   x11_test_owner swap RATE SECONDS      two windows take the clipboard from each other RATE times a
//                                         second for SECONDS, answering nothing, then the last keeps it
//   x11_test_owner flood RATE SECONDS TYPE FILE...
//                                         takes the clipboard RATE times a second for SECONDS, serving
//                                         the files in turn (one file: the same picture re-offered),
//                                         then keeps the last offer until ended
//   x11_test_owner claims PID FILE        sets _NET_WM_PID to PID, a process it is not, and serves FILE
//                                         as image/png
//   x11_test_owner orphan FILE            connects, then leaves the connection to a child and exits; the
//                                         child says "child PID", takes the clipboard once its parent is
//                                         gone and serves FILE
//   x11_test_owner forks FILE             as xclip does: asks to take the clipboard and forks before the
//                                         request has left; the parent exits, the child says "child PID",
//                                         sends the request and serves FILE
//   x11_test_owner offer TYPE FILE [TYPE FILE]...
//                                         lists the types in this order and serves each its file, writing
//                                         "asked TYPE" for each type asked for
//   x11_test_owner pixmap WIDTH HEIGHT RRGGBB [DEPTH]
//                                         offers nothing but a pixmap of that size and colour (PIXMAP), of
//                                         the screen's depth or DEPTH
//   x11_test_owner incr TYPE FILE PIECES GAP_MS [LATE_MS]
//                                         serves FILE in PIECES increments, each GAP_MS after the reader
//                                         asked for it (the last one LATE_MS), then writes "done"
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include "tests/support/xcb_selection_answer.h"

namespace {

xcb_atom_t intern(xcb_connection_t* connection, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

void say(const char* line) {
    std::puts(line);
    std::fflush(stdout);
}

struct Owner {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t clipboard = 0, targets = 0, atom = 0, type = 0;
    enum class Data { Silent, Send, Refuse, HugeIncr, Increments };
    bool answerTargets = false;
    Data answerData = Data::Silent;
    xcb_atom_t incr = 0;
    const std::vector<char>* data = nullptr;
    // The offer mode's types, in the order listed, with what each property holds.
    struct Offered {
        std::string name;
        xcb_atom_t target = 0, propertyType = 0;
        std::uint8_t format = 8;
        std::vector<char> bytes;
    };
    std::vector<Offered> offers;
    // The increments mode's pace.
    int pieces = 1;
    std::chrono::milliseconds gap{0}, late{0};

    void take() {
        xcb_set_selection_owner(connection, window, clipboard, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }

    void answer(const xcb_selection_request_event_t& request) {
        xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
        if (!offers.empty()) return answerOffers(request, property);
        if (request.target == type) say("asked");
        if (request.target == type && answerData == Data::Increments) {
            // Watching the reader's property before it learns of the transfer: its first deletion asks.
            const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(connection, request.requestor, XCB_CW_EVENT_MASK, &mask);
            const auto size = static_cast<std::uint32_t>(data->size());
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1, &size);
            notify(request, property);
            return sendIncrements(request.requestor, property);
        }
        if (request.target == targets && answerTargets) {
            const xcb_atom_t list[] = {targets, type};
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, atom, 32, 2, list);
        } else if (request.target == type && answerData == Data::Send && data &&
                   data->size() / 4 < xcb_get_maximum_request_length(connection) - 64) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                                static_cast<std::uint32_t>(data->size()), data->data());
        } else if (request.target == type && answerData == Data::HugeIncr) {
            const std::uint32_t announced = 2u << 30;
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1,
                                &announced);
        } else if (request.target == type && answerData == Data::Refuse) {
            property = XCB_NONE;
        } else if (request.target == type || request.target == targets) {
            return;  // silent: the request is left unanswered
        } else {
            property = XCB_NONE;
        }
        notify(request, property);
    }

    void answerOffers(const xcb_selection_request_event_t& request, xcb_atom_t property) {
        if (request.target == targets) {
            std::vector<xcb_atom_t> list = {targets};
            for (const Offered& offered : offers) list.push_back(offered.target);
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, atom, 32,
                                static_cast<std::uint32_t>(list.size()), list.data());
            return notify(request, property);
        }
        for (const Offered& offered : offers) {
            if (offered.target != request.target) continue;
            say(("asked " + offered.name).c_str());
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, offered.propertyType,
                                offered.format, static_cast<std::uint32_t>(offered.bytes.size() * 8 / offered.format),
                                offered.bytes.data());
            return notify(request, property);
        }
        notify(request, XCB_NONE);
    }

    // Each piece once the reader has deleted the one before (the announcement first), after its gap;
    // an empty piece ends the transfer.
    void sendIncrements(xcb_window_t requestor, xcb_atom_t property) {
        const std::size_t pieceBytes = (data->size() + pieces - 1) / pieces;
        for (int piece = 0; piece <= pieces; ++piece) {
            if (!awaitDeletion(requestor, property)) return;
            std::this_thread::sleep_for(piece == pieces - 1 && late.count() > 0 ? late : gap);
            const std::size_t from = std::min(data->size(), piece * pieceBytes);
            const std::size_t bytes = std::min(pieceBytes, data->size() - from);
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                                static_cast<std::uint32_t>(bytes), data->data() + from);
            xcb_flush(connection);
        }
        say("done");
    }

    bool awaitDeletion(xcb_window_t window, xcb_atom_t property) {
        xcb_flush(connection);
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
            const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            const bool deleted = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY && change->window == window &&
                                 change->atom == property && change->state == XCB_PROPERTY_DELETE;
            std::free(event);
            if (deleted) return true;
        }
        return false;
    }

    void notify(const xcb_selection_request_event_t& request, xcb_atom_t property) {
        answerSelectionRequest(connection, request, property);
    }

    // Takes the clipboard and tells the test so once the ownership is in place (after a round trip).
    void takeAndTell() {
        take();
        tell();
    }
    void tell() {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        say("owner");
    }

    void serveUntilEnded() {
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
            if ((event->response_type & 0x7F) == XCB_SELECTION_REQUEST)
                answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
            std::free(event);
        }
    }

    void handlePending() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7F) == XCB_SELECTION_REQUEST)
                answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
            std::free(event);
        }
    }
};

std::vector<char> readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Offers a file's bytes until ended; `take` false: the request to take the clipboard was made already.
int serveFile(Owner& owner, const char* path, bool take = true) {
    const std::vector<char> file = readFile(path);
    owner.data = &file;
    owner.answerTargets = true;
    owner.answerData = Owner::Data::Send;
    if (take)
        owner.takeAndTell();
    else
        owner.tell();
    owner.serveUntilEnded();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    Owner owner;
    owner.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(owner.connection)) return 2;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(owner.connection)).data;
    owner.window = xcb_generate_id(owner.connection);
    xcb_create_window(owner.connection, XCB_COPY_FROM_PARENT, owner.window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    owner.clipboard = intern(owner.connection, "CLIPBOARD");
    owner.targets = intern(owner.connection, "TARGETS");
    owner.atom = intern(owner.connection, "ATOM");
    owner.type = intern(owner.connection, argc > 2 && mode == "targets-only" ? argv[2] : "image/png");

    owner.incr = intern(owner.connection, "INCR");
    if (mode == "silent" || mode == "targets-only" || mode == "refuses" || mode == "incr-huge") {
        owner.answerTargets = mode != "silent";
        owner.answerData = mode == "refuses"     ? Owner::Data::Refuse
                           : mode == "incr-huge" ? Owner::Data::HugeIncr
                                                 : Owner::Data::Silent;
        owner.takeAndTell();
        if (mode == "silent") {
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));  // reads nothing, answers nothing
        }
        owner.serveUntilEnded();
        return 0;
    }
    if (mode == "swap" && argc > 3) {
        const auto period = std::chrono::duration<double>(1.0 / std::atof(argv[2]));
        const auto seconds = std::chrono::duration<double>(std::atof(argv[3]));
        const xcb_window_t windows[] = {owner.window, xcb_generate_id(owner.connection)};
        xcb_create_window(owner.connection, XCB_COPY_FROM_PARENT, windows[1], screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t takes = 0; std::chrono::steady_clock::now() - start < seconds; ++takes) {
            owner.window = windows[takes % 2];
            owner.take();
            if (takes == 0) say("owner");
            std::this_thread::sleep_for(period);
        }
        say("done");
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    if (mode == "flood" && argc > 5) {
        const double rate = std::atof(argv[2]);
        const double seconds = std::atof(argv[3]);
        owner.type = intern(owner.connection, argv[4]);
        std::vector<std::vector<char>> files;
        for (int i = 5; i < argc; ++i) files.push_back(readFile(argv[i]));
        owner.answerTargets = true;
        owner.answerData = Owner::Data::Send;
        const auto period = std::chrono::duration<double>(1.0 / rate);
        const auto start = std::chrono::steady_clock::now();
        auto next = start;
        std::size_t offers = 0;
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            owner.data = &files[offers % files.size()];
            owner.take();
            if (offers++ == 0) say("owner");
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
            // Answers requests until the next offer is due.
            while (std::chrono::steady_clock::now() < next) {
                owner.handlePending();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        say("done");
        // Keeps the last offer until ended, so that the clipboard does not go empty under the test.
        owner.serveUntilEnded();
        return 0;
    }
    if (mode == "orphan" && argc > 2) {
        const pid_t parent = getpid();
        // The connection is the child's now: the parent ends without tearing anything down, or a leak
        // checker would call it lost.
        if (fork() != 0) std::_Exit(0);
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        while (getppid() == parent) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return serveFile(owner, argv[2]);
    }
    if (mode == "forks" && argc > 2) {
        xcb_set_selection_owner(owner.connection, owner.window, owner.clipboard, XCB_CURRENT_TIME);
        if (fork() != 0) return 0;
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        return serveFile(owner, argv[2], false);
    }
    if (mode == "offer" && argc > 3 && argc % 2 == 0) {
        for (int i = 2; i + 1 < argc; i += 2) {
            const xcb_atom_t target = intern(owner.connection, argv[i]);
            owner.offers.push_back({argv[i], target, target, 8, readFile(argv[i + 1])});
        }
        owner.takeAndTell();
        owner.serveUntilEnded();
        return 0;
    }
    if (mode == "pixmap" && argc > 4) {
        const auto depth = static_cast<std::uint8_t>(argc > 5 ? std::atoi(argv[5]) : screen->root_depth);
        const auto width = static_cast<std::uint16_t>(std::atoi(argv[2]));
        const auto height = static_cast<std::uint16_t>(std::atoi(argv[3]));
        const auto colour = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 16));
        const xcb_pixmap_t pixmap = xcb_generate_id(owner.connection);
        xcb_create_pixmap(owner.connection, depth, pixmap, screen->root, width, height);
        const xcb_gcontext_t gc = xcb_generate_id(owner.connection);
        xcb_create_gc(owner.connection, gc, pixmap, XCB_GC_FOREGROUND, &colour);
        const xcb_rectangle_t whole{0, 0, width, height};
        xcb_poly_fill_rectangle(owner.connection, pixmap, gc, 1, &whole);
        std::vector<char> id(sizeof pixmap);
        std::memcpy(id.data(), &pixmap, sizeof pixmap);
        owner.offers.push_back({"PIXMAP", intern(owner.connection, "PIXMAP"), XCB_ATOM_PIXMAP, 32, id});
        owner.takeAndTell();
        owner.serveUntilEnded();
        return 0;
    }
    if (mode == "incr" && argc > 5) {
        owner.type = intern(owner.connection, argv[2]);
        const std::vector<char> file = readFile(argv[3]);
        owner.data = &file;
        owner.pieces = std::max(1, std::atoi(argv[4]));
        owner.gap = std::chrono::milliseconds(std::atoi(argv[5]));
        owner.late = std::chrono::milliseconds(argc > 6 ? std::atoi(argv[6]) : 0);
        owner.answerTargets = true;
        owner.answerData = Owner::Data::Increments;
        owner.takeAndTell();
        owner.serveUntilEnded();
        return 0;
    }
    if (mode == "claims" && argc > 3) {
        const auto claimed = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
        xcb_change_property(owner.connection, XCB_PROP_MODE_REPLACE, owner.window,
                            intern(owner.connection, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &claimed);
        return serveFile(owner, argv[3]);
    }
    std::fprintf(stderr,
                 "usage: %s silent | targets-only TYPE | refuses | incr-huge | swap RATE SECONDS |\n"
                 "       flood RATE SECONDS TYPE FILE... | claims PID FILE | orphan FILE | forks FILE |\n"
                 "       offer TYPE FILE [TYPE FILE]... | pixmap WIDTH HEIGHT RRGGBB [DEPTH] |\n"
                 "       incr TYPE FILE PIECES GAP_MS [LATE_MS]\n",
                 argv[0]);
    return 2;
}
