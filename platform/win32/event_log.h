#pragma once

#include <windows.h>

#include <string>

#include "platform/shell/system_log_queue.h"

namespace zanthrel::win32 {

inline constexpr wchar_t kEventSourceName[] = L"Zanthrel";

// --system-log on Windows: every log line also goes to the Application event log, from the event
// source "Zanthrel" that the MSI registers with this executable as its message file. Each kind of
// line has an event id of its own (the message table in zanthrel_messages.mc); the alarm is a
// warning, the rest information. Writing runs on a thread of its own, since the event log service is
// another process.
class EventLog {
public:
    EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void add(const std::string& line) noexcept { queue_.add(line); }

    static DWORD eventIdOf(LogKind kind) noexcept;
    static WORD eventTypeOf(LogKind kind) noexcept;

private:
    SystemLogQueue queue_;
};

}  // namespace zanthrel::win32
