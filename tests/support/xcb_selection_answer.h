#pragma once

#include <xcb/xcb.h>

// For the other programs of the tests and benchmarks: tells the client that asked for a selection
// where its answer is (`property`), or that there is none (XCB_NONE), as every selection owner must.
inline void answerSelectionRequest(xcb_connection_t* connection, const xcb_selection_request_event_t& request,
                                   xcb_atom_t property) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(connection);
}
