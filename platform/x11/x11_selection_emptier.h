#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/posix/standing_order.h"
#include "platform/x11/x11_empty_owner.h"

struct xcb_connection_t;
struct xcb_selection_clear_event_t;

namespace zanthrel::x11 {

// Empties the CLIPBOARD and PRIMARY selections for the clipboard reader, on its connection and thread:
// CLIPBOARD when the guard asks, and both under the guard's standing order the moment a change arrives,
// with no other thread in between. Each selection is emptied by an X11EmptyOwner; the order's pace puts
// off the emptyings of a fight, which actOnTime() then carries out.
class X11SelectionEmptier {
public:
    using Clock = std::chrono::steady_clock;
    using Decision = posix::StandingOrder::Decision;
    struct Atoms {
        std::uint32_t clipboard = 0, primary = 0, targets = 0, timestamp = 0;
    };

    // `bridged`: the X server is a compositor's bridge to Wayland programs (see X11EmptyOwner).
    X11SelectionEmptier(xcb_connection_t* connection, std::uint32_t window, Atoms atoms, bool bridged) noexcept;

    // Any thread; the reader's thread acts on a new order at its next actOnTime().
    void setOrder(const EmptyingOrder& order) { standing_.set(order); }
    bool ordered() const { return standing_.active(); }

    // Reader thread only, from here on.
    bool ownsWindow(std::uint32_t window) const noexcept { return clipboard_.ownsWindow(window); }
    // Another program, `owner`, took CLIPBOARD: emptied now or at the pace's turn where the order
    // stands (`follow`).
    Decision clipboardTaken(std::uint32_t owner, Clock::time_point now);
    // CLIPBOARD became ours at `serverTime`, as XFIXES reports it.
    void clipboardEmptied(std::uint32_t serverTime) noexcept { clipboard_.noteTaken(serverTime); }
    // PRIMARY changed hands; whether a fight over it began. Nothing is watched of it but that.
    bool primaryChanged(std::uint32_t owner, std::uint32_t serverTime, Clock::time_point now);
    std::uint32_t primaryOwner() const noexcept { return primaryOwner_; }
    // The emptying the guard asked for: whether CLIPBOARD, which `owner` holds, was taken.
    bool emptyClipboard(std::uint32_t owner, Clock::time_point now);

    void answer(const xcb_selection_request_event_t& request, Clock::time_point now);
    void noteLost(const xcb_selection_clear_event_t& clear);
    // Carries out what is due, with CLIPBOARD's owner as the reader last knew it; the time of the next
    // thing to do, or Clock::time_point::max(). Whether a fight over PRIMARY began goes to `fightBegan`.
    Clock::time_point actOnTime(Clock::time_point now, std::uint32_t clipboardOwner, bool& fightBegan);
    bool fighting(posix::Selection selection) { return standing_.fighting(selection); }

    std::uint64_t clipboardEmptyings() const noexcept { return emptyings_[0].load(); }
    std::uint64_t primaryEmptyings() const noexcept { return emptyings_[1].load(); }

private:
    static std::size_t index(posix::Selection selection) { return selection == posix::Selection::Primary ? 1 : 0; }
    X11EmptyOwner& ownerOf(posix::Selection selection) {
        return selection == posix::Selection::Primary ? primary_ : clipboard_;
    }
    Decision follow(posix::Selection selection, std::uint32_t owner, Clock::time_point now);
    // Takes `selection` from `owner` to empty it, sending that at once; whether it did.
    bool take(posix::Selection selection, std::uint32_t owner, Clock::time_point now);

    xcb_connection_t* connection_;
    X11EmptyOwner clipboard_;
    X11EmptyOwner primary_;
    posix::StandingOrder standing_;
    std::uint32_t primaryOwner_ = 0;
    std::array<std::atomic<std::uint64_t>, 2> emptyings_{};
};

}  // namespace zanthrel::x11
