#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/services.h"
#include "guard/guard_state.h"

namespace zanthrel {

// The activity log: every change of state, with the date and time, one line each, append-only.
class ActivityLog {
public:
    ActivityLog(std::vector<std::string>& lines, DateTimeText& dateTime, const ChangeNotifier& notify)
        : lines_(lines), dateTime_(dateTime), notify_(notify) {}

    // `prefix`, the date, a space, the time, and "..." when asked for.
    void write(std::string_view prefix, bool withEllipsis = false);
    // As write(), unless the last line already says the same: for problems another program can provoke in a
    // loop, which must not grow the log without bound. Any other line in between lets the next one through.
    void writeUnlessRepeated(std::string_view prefix);
    void writeLine(std::string line);

private:
    std::vector<std::string>& lines_;
    DateTimeText& dateTime_;
    const ChangeNotifier& notify_;
};

}  // namespace zanthrel
