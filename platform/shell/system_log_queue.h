#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/shell/log_classification.h"

namespace zanthrel {

// Hands log lines to the operating system's log on a thread of its own. The system's log is another
// program (journald, the event log service) and may be slow or stuck; the window's thread must never
// wait for it, and lines it cannot take are counted and reported once it takes lines again, not
// queued without bound.
class SystemLogQueue {
public:
    // Writes one line; runs on the queue's thread only. It must not throw.
    using Writer = std::function<void(LogKind kind, const std::string& line)>;

    explicit SystemLogQueue(Writer writer, std::size_t capacity = 256);
    // Gives the thread a moment to write what is queued; a writer still stuck after that is left
    // behind with what it holds rather than holding up the program's end.
    ~SystemLogQueue();
    SystemLogQueue(const SystemLogQueue&) = delete;
    SystemLogQueue& operator=(const SystemLogQueue&) = delete;

    // Never waits; never throws.
    void add(const std::string& line) noexcept;

    // The line written in place of lines that did not fit, before the next one that does.
    static std::string droppedLine(std::size_t count);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace zanthrel
