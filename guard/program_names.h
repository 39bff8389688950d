#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/program_identity.h"
#include "guard/activity_log.h"

namespace zanthrel {

// Which program put each counted capture on the clipboard and which read it, told under the log lines
// they explain: at most one line per counted capture or emptying, and one at the alarm. A clipboard
// manager reads every change, so readers are only gathered, never logged one by one.
//
// Names arrive when the platform has them, which may be long after the change (or never): nothing here
// waits for them, and a name that comes too late for its line is still counted at the alarm.
class ProgramNames {
public:
    // Programs kept per list until the alarm; more are summed up as "and others".
    static constexpr std::size_t kMostListed = 8;

    explicit ProgramNames(ActivityLog& log) : log_(log) {}

    // The clipboard changed; the owner named next is the owner of this change. `emptied`: blocking has
    // just emptied what the new owner put there.
    void clipboardChanged(bool emptied);
    void ownerNamed(ProgramIdentity owner, const std::vector<std::string>& lines);
    // Some program asked for the clipboard's contents. `watching`: monitoring or blocking is on.
    void readBy(ProgramIdentity reader, bool watching);
    // The log line of a counted capture has just been written.
    void captureCounted(const std::vector<std::string>& lines);
    // A counting window began: what the alarm names starts afresh.
    void windowBegan();
    // The line that goes under the alarm's, or empty when no program was seen.
    std::string alarmLine() const;

private:
    void remember(std::vector<ProgramIdentity>& list, bool& overflowed, const ProgramIdentity& program);
    void writeUnder(std::string_view line);

    ActivityLog& log_;
    bool ownerKnown_ = false;
    ProgramIdentity owner_;
    // The line a name is owed to, as the log's size just after it; 0: none owed.
    std::size_t captureAwaitingOwner_ = 0;
    std::size_t emptyingAwaitingOwner_ = 0;
    bool emptiedBeforeNamed_ = false;
    std::vector<ProgramIdentity> copiers_;
    std::vector<ProgramIdentity> readers_;
    bool moreCopiers_ = false;
    bool moreReaders_ = false;
};

}  // namespace zanthrel
