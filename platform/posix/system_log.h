#pragma once

#include <string>

#include "platform/shell/system_log_queue.h"

namespace zanthrel::posix {

// --system-log on Linux: every log line also goes to syslog(3) under the ident "zanthrel", where
// journald or a syslog daemon collects it. The alarm is a warning, a capture a notice, the rest
// information, so that a filter on priority finds the alarms.
class SystemLog {
public:
    SystemLog();
    ~SystemLog();
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;

    void add(const std::string& line) noexcept { queue_.add(line); }

    // The syslog priority of a kind of line.
    static int priorityOf(LogKind kind) noexcept;

private:
    SystemLogQueue queue_;
};

}  // namespace zanthrel::posix
