#include "platform/x11/x11_empty_owner.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace zanthrel::x11 {
namespace {

struct FreeReply {
    void operator()(void* reply) const noexcept { std::free(reply); }
};

}  // namespace

bool X11EmptyOwner::take(std::uint32_t currentOwner, Clock::time_point now) {
    if (currentOwner == XCB_NONE || currentOwner == window_) return false;
    // CurrentTime makes the change win over any owner set before it reached the server.
    xcb_set_selection_owner(connection_, window_, atoms_.selection, XCB_CURRENT_TIME);
    holding_ = true;
    asked_ = false;
    takenAt_ = 0;
    letGoAt_ = bridged_ ? Clock::time_point::max() : now + kUnaskedHold;
    return true;
}

void X11EmptyOwner::noteTaken(std::uint32_t serverTime) noexcept {
    if (holding_) takenAt_ = serverTime;
}

void X11EmptyOwner::answer(const xcb_selection_request_event_t& request, Clock::time_point now) {
    if (request.owner != window_) return;
    xcb_selection_notify_event_t reply{};
    reply.response_type = XCB_SELECTION_NOTIFY;
    reply.time = request.time;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = XCB_NONE;  // refused, unless answered below
    // Requestors from before the convention of naming a property expect the answer under the target's name.
    const std::uint32_t property = request.property == XCB_NONE ? request.target : request.property;
    // A request made for an earlier time than our ownership asks for what someone else held then. Server
    // times wrap around every 49.7 days, so they are compared by their difference.
    const bool current =
        holding_ && request.selection == atoms_.selection &&
        (request.time == XCB_CURRENT_TIME || takenAt_ == 0 || static_cast<std::int32_t>(request.time - takenAt_) >= 0);
    if (current && request.target == atoms_.targets) {
        const std::uint32_t types[] = {atoms_.targets, atoms_.timestamp};
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 2,
                            types);
        reply.property = property;
        // The first to ask is given time to act on the answer; later ones do not extend the hold, so
        // that a program asking again and again cannot keep the selection from being let go.
        if (!asked_) {
            asked_ = true;
            letGoAt_ = std::min(letGoAt_, now + kHoldAfterAsked);
        }
    } else if (current && request.target == atoms_.timestamp && takenAt_ != 0) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32, 1,
                            &takenAt_);
        reply.property = property;
    }
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&reply));
}

X11EmptyOwner::Clock::time_point X11EmptyOwner::actOnTime(Clock::time_point now) {
    if (!holding_) return Clock::time_point::max();
    if (now < letGoAt_) return letGoAt_;
    letGo();
    return Clock::time_point::max();
}

void X11EmptyOwner::letGo() {
    holding_ = false;
    // With the time it was taken at, the server ignores the change if another program has taken the
    // selection since, even when its notice has not reached us yet. Unknown, it is asked first.
    if (takenAt_ == 0) {
        const xcb_get_selection_owner_cookie_t cookie = xcb_get_selection_owner(connection_, atoms_.selection);
        const std::unique_ptr<xcb_get_selection_owner_reply_t, FreeReply> reply(
            xcb_get_selection_owner_reply(connection_, cookie, nullptr));
        if (!reply || reply->owner != window_) return;
    }
    xcb_set_selection_owner(connection_, XCB_NONE, atoms_.selection, takenAt_ == 0 ? XCB_CURRENT_TIME : takenAt_);
}

}  // namespace zanthrel::x11
