#pragma once

#include <string>
#include <string_view>

#include "core/guard_state.h"

namespace zanthrel {

// What a notification-area icon shows of the main window, worked out once for both front ends from
// the guard's own state, so that the icon never keeps a second copy of it.
enum class TrayLook {
    Usable,   // the indicator is green: the clipboard is not blocked
    Blocked,  // the indicator is red
    Unlit,    // the indicator is off, in the other half of its blinking
};

struct TrayStatus {
    TrayLook look = TrayLook::Usable;  // Usable or Blocked: the indicator's colour
    // While monitoring runs the indicator blinks. The logic flips it on sampling ticks, which come
    // too fast for a tray host to show and pause while the clipboard is at rest, so an icon blinks at
    // a pace of its own while this holds.
    bool blinking = false;
    std::string tooltip;
    CommandState monitoringCommand;  // captions without the trailing blanks the buttons carry
    CommandState blockingCommand;
};

TrayStatus trayStatus(const GuardState& state);

// True when `entry`, a line just added to the log, is the one an alarm writes.
bool isAlarmEntry(std::string_view entry) noexcept;

}  // namespace zanthrel
