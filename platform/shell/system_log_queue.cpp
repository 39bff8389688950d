#include "platform/shell/system_log_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace zanthrel {

struct SystemLogQueue::Shared {
    Writer writer;
    std::size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> lines;
    std::size_t dropped = 0;
    bool stopping = false;
    bool idle = true;
    bool threadless = false;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || !lines.empty() || dropped != 0; });
            if (lines.empty() && dropped == 0) return;  // stopping, with everything written
            std::string line;
            if (!lines.empty()) {
                line = std::move(lines.front());
                lines.pop_front();
            }
            // The gap is told where it happened: after the lines that were queued before it.
            const std::size_t gap = lines.empty() ? std::exchange(dropped, 0) : 0;
            idle = false;
            lock.unlock();
            if (!line.empty()) writer(classifyLogLine(line), line);
            if (gap != 0) writer(LogKind::Problem, droppedLine(gap));
            lock.lock();
            idle = true;
            changed.notify_all();
        }
    }
};

SystemLogQueue::SystemLogQueue(Writer writer, std::size_t capacity) : shared_(std::make_shared<Shared>()) {
    shared_->writer = std::move(writer);
    shared_->capacity = capacity;
    // The thread holds the shared state itself, so that one left behind at the end never reads freed memory.
    try {
        std::thread([shared = shared_] { shared->run(); }).detach();
    } catch (...) {
        // No thread to be had: the lines go nowhere but the window's log, and the guard goes on.
        shared_->threadless = true;
    }
}

SystemLogQueue::~SystemLogQueue() {
    std::unique_lock lock(shared_->mutex);
    if (shared_->threadless) return;
    shared_->stopping = true;
    shared_->changed.notify_all();
    shared_->changed.wait_for(lock, std::chrono::seconds(1),
                              [this] { return shared_->lines.empty() && shared_->dropped == 0 && shared_->idle; });
}

void SystemLogQueue::add(const std::string& line) noexcept {
    try {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->threadless) return;
        if (shared_->lines.size() >= shared_->capacity) {
            ++shared_->dropped;
            return;
        }
        shared_->lines.push_back(line);
        shared_->changed.notify_all();
    } catch (...) {
        // No memory for the line: it is lost to the system log only; the window still has it.
    }
}

std::string SystemLogQueue::droppedLine(std::size_t count) {
    return "The system log did not keep up: " + std::to_string(count) + " log lines were not written to it";
}

}  // namespace zanthrel
