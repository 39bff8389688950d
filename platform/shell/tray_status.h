#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "guard/guard_state.h"

namespace zanthrel {

// What a notification-area icon shows of the main window, worked out once for both front ends from
// the guard's own state, so that the icon never keeps a second copy of it.
// The icon stands still: where the window's indicator blinks while monitoring, the icon shows a look of its
// own. A blinking icon would wake the notification area's process, and with it the display server, twice a
// second for as long as the guard watches, which is from login to logout; and it would tug at the eye all
// day from the corner of the screen.
enum class TrayLook {
    Usable,    // the indicator is green and steady: the clipboard is neither watched nor blocked
    Watching,  // the indicator is green and blinks: monitoring runs
    Blocked,   // the indicator is red
};

struct TrayStatus {
    TrayLook look = TrayLook::Usable;
    std::string tooltip;
    CommandState monitoringCommand;  // captions without the trailing blanks the buttons carry
    CommandState blockingCommand;
};

TrayStatus trayStatus(const GuardState& state);

// A box of an icon's pixels: columns [left, right), rows [top, bottom).
struct IconBox {
    int left, top, right, bottom;
};

// How an icon of `size` × `size` pixels shows a look, for both front ends to draw alike: the indicator's
// square in its colour, framed in black, with a white eye in its middle while watching; transparent around.
struct TrayIconDrawing {
    IconBox square;
    Colour fill;
    std::optional<IconBox> eye;
};
TrayIconDrawing trayIconDrawing(TrayLook look, int size) noexcept;

// True when `entry`, a line just added to the log, is the one an alarm writes.
bool isAlarmEntry(std::string_view entry) noexcept;

}  // namespace zanthrel
