#include "platform/qt/xcb_handles.h"

#include <xcb/xcb.h>

namespace zanthrel::qt {

void XcbDisconnect::operator()(xcb_connection_t* connection) const noexcept {
    xcb_disconnect(connection);
}

}  // namespace zanthrel::qt
