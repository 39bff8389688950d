#pragma once

#include <chrono>
#include <cstdint>

struct xcb_connection_t;
struct xcb_selection_request_event_t;

namespace zanthrel::x11 {

// Empties a selection (CLIPBOARD, or PRIMARY) by owning it for a moment and offering nothing.
//
// Leaving the selection without an owner is not enough where the X server is only a bridge: GNOME's
// compositor keeps what a Wayland program copied when the X11 side is disowned, and passes on only a
// selection some X client owns. So the clipboard is taken with a window of our own that lists no type
// but TARGETS and TIMESTAMP and refuses every other one; the bridge asks for that list, hands the
// Wayland programs an offer with nothing in it, and only then is the selection let go. On a plain X
// server nobody asks, and it is let go after kUnaskedHold. On a bridge it is held until asked, however
// late: let go before, the picture would stay with the Wayland programs, while holding it offers
// nothing to anyone.
//
// Lives on the thread of the connection it is given and never waits for a reply from another program:
// requests are answered with a property and an event, whatever the requestor does with them.
class X11EmptyOwner {
public:
    using Clock = std::chrono::steady_clock;
    // How long the selection is held when nobody asks what it holds.
    static constexpr std::chrono::milliseconds kUnaskedHold{1000};
    // How long it is held after the first request for its types, so that the bridge has made its
    // offer from the answer before the selection goes: letting go earlier cancels the bridge's reading.
    static constexpr std::chrono::milliseconds kHoldAfterAsked{250};

    struct Atoms {
        std::uint32_t selection = 0, targets = 0, timestamp = 0;
    };

    // `bridged`: the X server is a compositor's bridge to Wayland programs.
    X11EmptyOwner(xcb_connection_t* connection, std::uint32_t window, Atoms atoms, bool bridged) noexcept
        : connection_(connection), window_(window), atoms_(atoms), bridged_(bridged) {}

    // Takes the selection from `currentOwner`; nothing to do when it is unowned or already ours.
    bool take(std::uint32_t currentOwner, Clock::time_point now);
    bool holding() const noexcept { return holding_; }
    bool ownsWindow(std::uint32_t window) const noexcept { return window == window_; }
    std::uint32_t selection() const noexcept { return atoms_.selection; }

    // The server time at which the selection became ours, as XFIXES reports it.
    void noteTaken(std::uint32_t serverTime) noexcept;
    // Another owner took the selection: nothing is left to let go.
    void noteLost() noexcept { holding_ = false; }
    // Answers a request made of our window for this selection.
    void answer(const xcb_selection_request_event_t& request, Clock::time_point now);

    // Lets go once due; the time of the next thing to do, or Clock::time_point::max().
    Clock::time_point actOnTime(Clock::time_point now);

private:
    void letGo();

    xcb_connection_t* connection_;
    std::uint32_t window_;
    Atoms atoms_;
    bool bridged_;
    bool holding_ = false;
    bool asked_ = false;
    std::uint32_t takenAt_ = 0;  // server time; 0 until XFIXES reported it
    Clock::time_point letGoAt_{};
};

}  // namespace zanthrel::x11
