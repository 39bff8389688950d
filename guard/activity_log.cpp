#include "guard/activity_log.h"

#include "core/texts.h"

namespace zanthrel {

void ActivityLog::write(std::string_view prefix, bool withEllipsis) {
    std::string line(prefix);
    line += dateTime_.currentDate();
    line += ' ';
    line += dateTime_.currentTime();
    if (withEllipsis) line += texts::kEllipsis;
    writeLine(std::move(line));
}

void ActivityLog::writeUnlessRepeated(std::string_view prefix) {
    // Lines naming the programs behind the one above them are no line of their own here.
    auto last = lines_.rbegin();
    while (last != lines_.rend() && last->starts_with(texts::kDetailIndent)) ++last;
    if (last != lines_.rend() && last->starts_with(prefix)) return;
    write(prefix);
}

void ActivityLog::writeLine(std::string line) {
    lines_.push_back(std::move(line));
    notify_(GuardChange::Log);
}

}  // namespace zanthrel
