#pragma once

#include <string_view>

namespace zanthrel {

// The kinds of line the activity log holds, for logs that sort by kind (syslog priorities, event ids).
enum class LogKind {
    Alarm,    // too many captures: the clipboard was blocked
    Capture,  // a new screen capture was counted
    Block,    // the clipboard was blocked
    Unblock,  // the clipboard was unblocked
    Start,    // monitoring started
    Stop,     // the clipboard is not monitored from now on: stopped, or not yet started
    Problem,  // something the guard could not do because another program did not answer
    Detail,   // the programs behind the line before it
};

// Sorted by the fixed text each line begins with; a line of none of them counts as a problem, the
// kind an administrator looks at.
LogKind classifyLogLine(std::string_view line);

}  // namespace zanthrel
