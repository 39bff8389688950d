// The programs that race the guard on X11, for the race tests and the live benchmark: a spy that reads a
// selection the instant it is told of a change, a program that copies secrets into it, and one that takes
// the clipboard back at once whenever it loses it.
//
//   x11_race_client spy clipboard|primary SECONDS
//        on every new owner of the selection (XFIXES), asks it for UTF8_STRING at once; writes "ready"
//        once it watches, then "got TEXT" for every text it received
//   x11_race_client copy clipboard|primary COUNT SPACING_MS
//        takes the selection with "secret1" ... "secretCOUNT", SPACING_MS apart, and serves each text to
//        whoever asks while it owns it; writes "copied N" as it takes it and "taken K of COUNT" at the
//        end: how many copies another program took away before the next
//   x11_race_client fight SECONDS
//        holds CLIPBOARD with a text and takes it back the instant it loses it; then stops fighting and
//        writes "retaken N", and "last taking emptied" or "last taking kept" after up to a second more
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include "tests/support/xcb_selection_answer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* pointer) const noexcept { std::free(pointer); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class Client {
public:
    Client() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        root_ = screen->root;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        utf8_ = atom("UTF8_STRING");
        targets_ = atom("TARGETS");
        property_ = atom("ZANTHREL_RACE");
    }
    ~Client() { xcb_disconnect(connection_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return !xcb_connection_has_error(connection_); }
    xcb_connection_t* connection() const { return connection_; }

    xcb_atom_t atom(const char* name) {
        Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    // Waits for the next event until `deadline`; null when it passed or the connection broke.
    Owned<xcb_generic_event_t> next(Clock::time_point deadline) {
        for (;;) {
            if (Owned<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) return event;
            if (xcb_connection_has_error(connection_)) return nullptr;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return nullptr;
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left));
        }
    }

    void take(xcb_atom_t selection) {
        xcb_set_selection_owner(connection_, window_, selection, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }

    // Answers a request for `text` (or the list of types) while `owned`, and refuses it otherwise.
    void answer(const xcb_selection_request_event_t& request, bool owned, const std::string& text) {
        xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
        if (owned && request.target == utf8_) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, utf8_, 8,
                                static_cast<std::uint32_t>(text.size()), text.data());
        } else if (owned && request.target == targets_) {
            const xcb_atom_t offered[] = {targets_, utf8_};
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 2,
                                offered);
        } else {
            property = XCB_NONE;
        }
        answerSelectionRequest(connection_, request, property);
    }

    // What the spy does: watch the selection, ask every new owner at once, read what comes.
    int spy(xcb_atom_t selection, Clock::time_point until) {
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
        if (!xfixes || !xfixes->present) return 1;
        std::free(xcb_xfixes_query_version_reply(connection_, xcb_xfixes_query_version(connection_, 5, 0), nullptr));
        xcb_xfixes_select_selection_input(connection_, window_, selection,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        say("ready");
        while (Owned<xcb_generic_event_t> event = next(until)) {
            const std::uint8_t type = event->response_type & 0x7F;
            if (type == xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY) {
                const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event.get());
                if (notify->owner == XCB_NONE) continue;
                xcb_convert_selection(connection_, window_, selection, utf8_, property_, XCB_CURRENT_TIME);
                xcb_flush(connection_);
            } else if (type == XCB_SELECTION_NOTIFY) {
                const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
                if (notify->property == XCB_NONE) continue;
                Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
                    connection_,
                    xcb_get_property(connection_, 1, window_, notify->property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                    nullptr));
                if (!reply || xcb_get_property_value_length(reply.get()) <= 0) continue;
                say("got " + std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                         static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))));
            }
        }
        return connected() ? 0 : 1;
    }

    // What the copier does: each text stays offered until the next is due, or until it is taken away.
    int copy(xcb_atom_t selection, int count, std::chrono::milliseconds spacing) {
        const Clock::time_point start = Clock::now();
        int takenAway = 0;
        for (int i = 1; i <= count; ++i) {
            const std::string text = "secret" + std::to_string(i);
            take(selection);
            say("copied " + std::to_string(i));
            bool owned = true;
            while (Owned<xcb_generic_event_t> event = next(start + i * spacing)) {
                const std::uint8_t type = event->response_type & 0x7F;
                if (type == XCB_SELECTION_REQUEST) {
                    answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event.get()), owned, text);
                } else if (type == XCB_SELECTION_CLEAR && owned) {
                    owned = false;
                    ++takenAway;
                }
            }
            if (!connected()) return 1;
        }
        say("taken " + std::to_string(takenAway) + " of " + std::to_string(count));
        return 0;
    }

    // What the fighter does: the clipboard is taken back in the same instant it is lost.
    int fight(xcb_atom_t clipboard, Clock::time_point until) {
        take(clipboard);
        long retaken = 0;
        bool owned = true;
        const auto serve = [&](Clock::time_point deadline, bool retake) {
            while (Owned<xcb_generic_event_t> event = next(deadline)) {
                const std::uint8_t type = event->response_type & 0x7F;
                if (type == XCB_SELECTION_CLEAR && retake) {
                    take(clipboard);
                    ++retaken;
                } else if (type == XCB_SELECTION_CLEAR) {
                    owned = false;
                    return;
                } else if (type == XCB_SELECTION_REQUEST) {
                    answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event.get()), true, "fighter");
                }
            }
        };
        serve(until, true);
        say("retaken " + std::to_string(retaken));
        serve(Clock::now() + std::chrono::seconds(1), false);
        say(owned ? "last taking kept" : "last taking emptied");
        return connected() ? 0 : 1;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0, window_ = 0;
    xcb_atom_t utf8_ = 0, targets_ = 0, property_ = 0;
};

int usage(const char* name) {
    std::fprintf(stderr,
                 "usage: %s spy clipboard|primary SECONDS\n"
                 "       %s copy clipboard|primary COUNT SPACING_MS\n"
                 "       %s fight SECONDS\n",
                 name, name, name);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const std::string_view which = argc > 2 ? argv[2] : "";
    Client client;
    if (!client.connected()) {
        std::fprintf(stderr, "%s: no X display\n", argv[0]);
        return 1;
    }
    const xcb_atom_t selection = which == "primary" ? xcb_atom_t{XCB_ATOM_PRIMARY} : client.atom("CLIPBOARD");
    const bool selectionNamed = which == "clipboard" || which == "primary";
    if (mode == "spy" && argc == 4 && selectionNamed)
        return client.spy(selection, Clock::now() + std::chrono::seconds(std::atoi(argv[3])));
    if (mode == "copy" && argc == 5 && selectionNamed && std::atoi(argv[3]) > 0)
        return client.copy(selection, std::atoi(argv[3]), std::chrono::milliseconds(std::atoi(argv[4])));
    if (mode == "fight" && argc == 3)
        return client.fight(client.atom("CLIPBOARD"), Clock::now() + std::chrono::seconds(std::atoi(argv[2])));
    return usage(argv[0]);
}
