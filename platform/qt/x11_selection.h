#pragma once

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace zanthrel::qt {

// The CLIPBOARD selection of the X display, reached through the application's own xcb connection.
// Qt cannot take a selection away from another program: QClipboard::clear() only gives up what the
// application itself owns.
class X11ClipboardSelection {
public:
    // Null when the application does not run on X11 (the offscreen platform, say).
    static std::unique_ptr<X11ClipboardSelection> forApplication();

    X11ClipboardSelection(xcb_connection_t* connection, std::uint32_t clipboardAtom, bool changesReported);

    // Whether the server has the XFIXES extension, through which Qt learns that another program
    // copied something. Without it no change is ever reported, and nothing may be kept between reads.
    bool changesReported() const noexcept { return changesReported_; }

    // Asks the server who owns the selection: one round trip.
    bool hasOwner() const;
    // Leaves the selection without an owner, whoever held it; the server tells the old owner, which
    // stops serving its data. No reply is awaited.
    void disown() const;

private:
    xcb_connection_t* connection_;
    std::uint32_t clipboardAtom_;
    bool changesReported_;
};

}  // namespace zanthrel::qt
