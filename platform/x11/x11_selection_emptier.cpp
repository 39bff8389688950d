#include "platform/x11/x11_selection_emptier.h"

#include <xcb/xcb.h>

#include <algorithm>

namespace zanthrel::x11 {

X11SelectionEmptier::X11SelectionEmptier(xcb_connection_t* connection, std::uint32_t window, Atoms atoms,
                                         bool bridged) noexcept
    : connection_(connection),
      clipboard_(connection, window, {atoms.clipboard, atoms.targets, atoms.timestamp}, bridged),
      primary_(connection, window, {atoms.primary, atoms.targets, atoms.timestamp}, bridged) {}

X11SelectionEmptier::Decision X11SelectionEmptier::clipboardTaken(std::uint32_t owner, Clock::time_point now) {
    return follow(posix::Selection::Clipboard, owner, now);
}

bool X11SelectionEmptier::primaryChanged(std::uint32_t owner, std::uint32_t serverTime, Clock::time_point now) {
    primaryOwner_ = owner;
    if (primary_.ownsWindow(owner)) {
        primary_.noteTaken(serverTime);
        return false;
    }
    return owner != XCB_NONE && follow(posix::Selection::Primary, owner, now).fightBegan;
}

bool X11SelectionEmptier::emptyClipboard(std::uint32_t owner, Clock::time_point now) {
    if (!clipboard_.take(owner, now)) return false;
    ++emptyings_[0];
    return true;
}

X11SelectionEmptier::Decision X11SelectionEmptier::follow(posix::Selection selection, std::uint32_t owner,
                                                          Clock::time_point now) {
    // Put off by a fight's pace, it is emptied in actOnTime, whoever owns it then.
    return standing_.follow(selection, owner, now, [&] { return take(selection, owner, now); });
}

bool X11SelectionEmptier::take(posix::Selection selection, std::uint32_t owner, Clock::time_point now) {
    if (!ownerOf(selection).take(owner, now)) return false;
    // Out at once: a spy told of the change in the same instant is asking for the data already.
    xcb_flush(connection_);
    ++emptyings_[index(selection)];
    return true;
}

void X11SelectionEmptier::answer(const xcb_selection_request_event_t& request, Clock::time_point now) {
    for (X11EmptyOwner* owner : {&clipboard_, &primary_})
        if (request.selection == owner->selection()) owner->answer(request, now);
}

void X11SelectionEmptier::noteLost(const xcb_selection_clear_event_t& clear) {
    for (X11EmptyOwner* owner : {&clipboard_, &primary_})
        if (clear.selection == owner->selection() && owner->ownsWindow(clear.owner)) owner->noteLost();
}

X11SelectionEmptier::Clock::time_point X11SelectionEmptier::actOnTime(Clock::time_point now,
                                                                      std::uint32_t clipboardOwner, bool& fightBegan) {
    fightBegan = false;
    // What is selected when blocking starts goes at once; a clipboard another program owns then is the
    // blocker's to empty.
    if (standing_.newlyGiven() && primaryOwner_ != XCB_NONE && !primary_.ownsWindow(primaryOwner_))
        fightBegan = follow(posix::Selection::Primary, primaryOwner_, now).fightBegan;
    const Clock::time_point wake = standing_.takeDue(now, [&](posix::Selection selection) {
        return take(selection, selection == posix::Selection::Primary ? primaryOwner_ : clipboardOwner, now);
    });
    return std::min({wake, clipboard_.actOnTime(now), primary_.actOnTime(now)});
}

}  // namespace zanthrel::x11
