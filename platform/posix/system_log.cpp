#include "platform/posix/system_log.h"

#include <syslog.h>

namespace zanthrel::posix {

int SystemLog::priorityOf(LogKind kind) noexcept {
    switch (kind) {
        case LogKind::Alarm: return LOG_WARNING;
        case LogKind::Capture: return LOG_NOTICE;
        default: return LOG_INFO;
    }
}

SystemLog::SystemLog()
    : queue_([](LogKind kind, const std::string& line) {
          // The line is data, never a format.
          syslog(LOG_USER | priorityOf(kind), "%s", line.c_str());
      }) {
    // LOG_PID tells two guards on one machine (two users) apart in the journal. No LOG_CONS: without a
    // log daemon the lines are lost rather than written over the console of whoever sits there.
    openlog("zanthrel", LOG_PID, LOG_USER);
}

SystemLog::~SystemLog() = default;

}  // namespace zanthrel::posix
