#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/shell/command_line.h"

namespace zanthrel {

class Guard;

// Carries out --monitor or --block as the user's click on that button would, through the guard's
// commands, once the guard has started. A button that already shows what was asked is not clicked (a
// second start with --monitor must not stop the monitoring the first one started), nor is a disabled
// one; otherwise the click happens and the guard answers it as it answers the user, refusal included.
// Returns true when a click was made.
bool applyStartOptions(Guard& guard, const CommandLine& options);

// What a second start hands to the running guard: its options, one a line. Only the options the
// running guard can act on go across; the log echo stays with the process whose output it is.
std::string handOverMessage(const CommandLine& options);

// The options a hand-over message carries, or nothing when it is not one: the message comes from
// whatever program reached us, so it is held to the same command line, and to a size, as a start is.
std::optional<CommandLine> parseHandOverMessage(std::string_view message);

inline constexpr std::size_t kLongestHandOverMessage = 1024;

}  // namespace zanthrel
