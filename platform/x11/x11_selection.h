#pragma once

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace zanthrel::x11 {

// The CLIPBOARD selection of an X display, reached through a connection of the caller's (the one Qt's
// windows use, say). Qt cannot take a selection away from another program: QClipboard::clear() only
// gives up what the application itself owns.
class X11ClipboardSelection {
public:
    // Null when the connection cannot even name the selection.
    static std::unique_ptr<X11ClipboardSelection> on(xcb_connection_t* connection);

    X11ClipboardSelection(xcb_connection_t* connection, std::uint32_t clipboardAtom);

    // Asks the server who owns the selection: one round trip.
    bool hasOwner() const;
    // Leaves the selection without an owner, whoever held it; the server tells the old owner, which
    // stops serving its data. No reply is awaited.
    void disown() const;

private:
    xcb_connection_t* connection_;
    std::uint32_t clipboardAtom_;
};

}  // namespace zanthrel::x11
