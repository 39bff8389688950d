#include "platform/x11/guard_selection.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/x11/xcb_handles.h"
#include "platform/shell/start_options.h"

namespace zanthrel::x11 {
namespace {

std::uint32_t ownerOf(xcb_connection_t* connection, std::uint32_t selection) {
    ReplyPtr<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

constexpr std::uint8_t kEventType = 0x7F;  // the top bit marks events another client sent

}  // namespace

GuardSelection::Start GuardSelection::claimOrHandOver(std::string_view message,
                                                      std::chrono::milliseconds answerDeadline) {
    Connection connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get())) return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    if (!screen) return {};
    // The window the answers and the requests name; it is never mapped.
    const std::uint32_t window = xcb_generate_id(connection.get());
    xcb_create_window(connection.get(), XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    Atoms atoms;
    atoms.guard = intern(connection.get(), "_ZANTHREL_GUARD");
    atoms.handOver = intern(connection.get(), "_ZANTHREL_HAND_OVER");
    atoms.options = intern(connection.get(), "_ZANTHREL_OPTIONS");
    atoms.utf8 = intern(connection.get(), "UTF8_STRING");
    if (atoms.guard == XCB_NONE || atoms.handOver == XCB_NONE || atoms.options == XCB_NONE || atoms.utf8 == XCB_NONE ||
        xcb_connection_has_error(connection.get()))
        return {};

    std::unique_ptr<GuardSelection> selection(new GuardSelection(std::move(connection), window, atoms));
    // Two rounds: a guard that ends while we ask it leaves the selection free for the second.
    for (int round = 0; round < 2; ++round) {
        if (selection->claim(false)) break;
        if (selection->handOver(message, answerDeadline)) return {Outcome::HandedOver, nullptr};
        // No answer, or a refusal: whoever holds the selection does not guard. We do, from now on.
        if (selection->claim(true)) break;
    }
    return {Outcome::Guard, std::move(selection)};
}

GuardSelection::GuardSelection(Connection connection, std::uint32_t window, Atoms atoms)
    : connection_(std::move(connection)), window_(window), atoms_(atoms) {}

GuardSelection::~GuardSelection() = default;

bool GuardSelection::claim(bool takeOver) {
    xcb_connection_t* c = connection_.get();
    // Looking and taking under one grab, so that two guards starting at once cannot both find the
    // selection free and both take it.
    xcb_grab_server(c);
    if (takeOver || ownerOf(c, atoms_.guard) == XCB_NONE)
        xcb_set_selection_owner(c, window_, atoms_.guard, XCB_CURRENT_TIME);
    owner_ = ownerOf(c, atoms_.guard) == window_;
    xcb_ungrab_server(c);
    xcb_flush(c);
    return owner_;
}

bool GuardSelection::handOver(std::string_view message, std::chrono::milliseconds deadline) {
    xcb_connection_t* c = connection_.get();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, atoms_.options, atoms_.utf8, 8,
                        static_cast<std::uint32_t>(message.size()), message.data());
    xcb_convert_selection(c, window_, atoms_.guard, atoms_.handOver, atoms_.options, XCB_CURRENT_TIME);
    xcb_flush(c);
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (xcb_connection_has_error(c)) return false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            std::optional<bool> answered;
            if ((event->response_type & kEventType) == XCB_SELECTION_NOTIFY) {
                const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
                if (notify->requestor == window_ && notify->selection == atoms_.guard)
                    answered = notify->property == atoms_.options;
            }
            std::free(event);
            if (answered) return *answered;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(left.count()));
    }
}

void GuardSelection::serve(std::function<void(const CommandLine&)> received) {
    received_ = std::move(received);
    // Requests that came while the program was starting are already waiting.
    readEvents();
}

int GuardSelection::descriptor() const noexcept {
    return xcb_get_file_descriptor(connection_.get());
}

bool GuardSelection::readEvents() {
    xcb_connection_t* c = connection_.get();
    // Replies read while answering may bring further events into xcb's queue: read until it is empty.
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        const std::uint8_t type = event->response_type & kEventType;
        if (type == XCB_SELECTION_REQUEST) answer(event);
        // A later start took us for hung and guards in our place; it answers the starts after it.
        if (type == XCB_SELECTION_CLEAR) owner_ = false;
        std::free(event);
    }
    return !xcb_connection_has_error(c);
}

void GuardSelection::answer(const void* selectionRequest) {
    const auto& request = *static_cast<const xcb_selection_request_event_t*>(selectionRequest);
    xcb_connection_t* c = connection_.get();
    std::optional<CommandLine> options;
    if (owner_ && request.selection == atoms_.guard && request.target == atoms_.handOver &&
        request.property != XCB_NONE) {
        const std::uint32_t words = (kLongestHandOverMessage + 3) / 4 + 1;
        ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, request.requestor, request.property, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
            nullptr));
        if (reply && reply->format == 8 && reply->bytes_after == 0) {
            const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
            options = parseHandOverMessage(
                std::string_view(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))));
        }
    }
    if (options) {
        constexpr std::string_view kAccepted = "accepted";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, request.property, atoms_.utf8, 8,
                            static_cast<std::uint32_t>(kAccepted.size()), kAccepted.data());
    }
    // SendEvent takes the 32 bytes of a core event.
    char buffer[32] = {};
    auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(buffer);
    notify->response_type = XCB_SELECTION_NOTIFY;
    notify->time = request.time;
    notify->requestor = request.requestor;
    notify->selection = request.selection;
    notify->target = request.target;
    notify->property = options ? request.property : XCB_NONE;
    xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, buffer);
    xcb_flush(c);
    try {
        if (options && received_) received_(*options);
    } catch (...) {
        // The options are lost (no memory to queue them); the sender has its answer, the guard goes on.
    }
}

}  // namespace zanthrel::x11
