#pragma once

#include <string>
#include <string_view>

#include "app/main_form.h"

namespace zanthrel {

// What a notification-area icon shows of the main window, worked out once for both front ends from
// the form's own state, so that the icon never keeps a second copy of it.
enum class TrayLook {
    Usable,   // the indicator is green: the clipboard is not blocked
    Blocked,  // the indicator is red
    Unlit,    // the indicator is off for this half of its blinking while monitoring
};

struct TrayStatus {
    TrayLook look = TrayLook::Usable;
    std::string tooltip;
    CommandButtonState startPause;  // captions without the trailing blanks the buttons carry
    CommandButtonState enableDisable;
};

TrayStatus trayStatus(const MainFormState& state);

// True when `entry`, a line just added to the log, is the one an alarm writes.
bool isAlarmEntry(std::string_view entry) noexcept;

}  // namespace zanthrel
