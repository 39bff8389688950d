#include "platform/win32/clipboard_agent.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/clipboard_access.h"

namespace zanthrel::win32 {

using Clock = ClipboardJob::Clock;

struct ClipboardAgent::Shared final : ClipboardNotices {
    HWND window = nullptr;  // told of news
    HWND opener = nullptr;  // names the clipboard when the agent opens it: the listener's window, or `window`
    UINT message = 0;
    std::thread thread;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool finished = false;
    bool woken = false;  // an event came from another thread since the agent last looked
    ClipboardJob job;
    // The job's count of withdrawals, for an emptying to look at without the lock once it has the clipboard.
    std::atomic<std::uint64_t> withdrawals{0};

    // The agent thread's own: which format to read, reading and decoding it, and the last picture, so
    // that the same bytes again give the same picture; and the last owner whose copy it emptied.
    ClipboardPictures pictures;
    LastOwner lastOwner;

    // Hands `event` to the job from another thread and wakes the agent.
    ClipboardJob::Step post(const ClipboardJob::Event& event, ClipboardJob::News* news = nullptr,
                            Clock::time_point now = Clock::now()) {
        ClipboardJob::Step step;
        {
            const std::lock_guard lock(mutex);
            step = job.handle(event, now, news);
            withdrawals = job.withdrawals();
            woken = woken || step.wake;
        }
        if (step.wake) wake.notify_all();
        return step;
    }

    void announce(const ClipboardJob::Step& step) const noexcept {
        if (step.announce) SendNotifyMessageW(window, message, 0, 0);
    }

    // The listener's thread: straight to the job, no trip through the window.
    void changed() noexcept override {
        try {
            const DWORD sequence = GetClipboardSequenceNumber();
            {
                // Our own emptying's notice, and in a fight the fighter's: spared the owner's lookup.
                const std::lock_guard lock(mutex);
                if (job.noticeChangesNothing(sequence)) return;
            }
            announce(post(ClipboardJob::ChangeNoticed{sequence, idOf(GetClipboardOwner())}));
        } catch (...) {
            // No memory for the news: the tick thread's look at the sequence number catches the change.
        }
    }
    bool emptiedByAnother(HWND copier) noexcept override {
        try {
            const ClipboardJob::Step step = post(ClipboardJob::CopierEmptying{idOf(copier)});
            announce(step);
            return step.racing;
        } catch (...) {
            return false;  // as above: the change notice that follows the copy is the next chance
        }
    }

    static std::uint64_t idOf(HWND window) noexcept { return reinterpret_cast<std::uintptr_t>(window); }
};

namespace {

using Shared = ClipboardAgent::Shared;
using Step = ClipboardJob::Step;

// Does what the job says, one step at a time, and tells it what came of each.
void run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    Step step = s.job.handle(ClipboardJob::Woke{}, Clock::now());
    while (!s.stop) {
        // Under the lock, but SendNotifyMessage to another thread's window does not wait.
        s.announce(step);
        switch (step.action) {
            case Step::Action::Wait: {
                s.woken = false;
                const auto woken = [&] { return s.stop || s.woken; };
                if (step.until == Clock::time_point::max())
                    s.wake.wait(lock, woken);
                else
                    s.wake.wait_until(lock, step.until, woken);
                if (!s.stop) step = s.job.handle(ClipboardJob::Woke{}, Clock::now());
                break;
            }
            case Step::Action::Read: {
                lock.unlock();
                ClipboardReading reading = readClipboard(s.opener, s.pictures);
                lock.lock();
                step = s.job.handle(ClipboardJob::ReadDone{std::move(reading)}, Clock::now());
                break;
            }
            case Step::Action::Empty: {
                lock.unlock();
                const std::uint64_t withdrawals = step.withdrawals;
                const EmptyingOutcome outcome = emptyClipboard(
                    s.opener, [&] { return s.withdrawals.load() == withdrawals; }, s.lastOwner);
                lock.lock();
                step = s.job.handle(ClipboardJob::EmptyingDone{outcome}, Clock::now());
                break;
            }
            case Step::Action::Look: {
                lock.unlock();
                const bool free = clipboardFree(s.opener);
                lock.lock();
                step = s.job.handle(ClipboardJob::LookDone{free}, Clock::now());
                break;
            }
        }
    }
    s.finished = true;
    s.wake.notify_all();
}

}  // namespace

ClipboardAgent::ClipboardAgent(HWND window, UINT message, bool listen) : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    shared_->opener = window;
    shared_->message = message;
    if (listen) {
        listener_ = std::make_unique<ClipboardListener>(*shared_);
        if (listener_->listening())
            shared_->opener = listener_->window();
        else
            listener_.reset();
    }
    shared_->thread = std::thread([shared = shared_] { run(shared); });
}

ClipboardAgent::~ClipboardAgent() {
    listener_.reset();  // no notices from here on
    std::unique_lock lock(shared_->mutex);
    shared_->stop = true;
    shared_->wake.notify_all();
    // A thread inside GetClipboardData for an owner that never answers comes back only when the system
    // gives up; the program does not wait for that to end.
    const bool finished = shared_->wake.wait_for(lock, std::chrono::seconds(1), [&] { return shared_->finished; });
    lock.unlock();
    if (finished)
        shared_->thread.join();
    else
        shared_->thread.detach();
}

bool ClipboardAgent::listening() const noexcept {
    return listener_ != nullptr;
}

void ClipboardAgent::wantRead(ClipboardSequence sequence) {
    shared_->post(ClipboardJob::ReadWanted{sequence});
}

void ClipboardAgent::wantEmptying(ClipboardSequence sequence) {
    shared_->post(ClipboardJob::EmptyingWanted{sequence});
}

void ClipboardAgent::setOrder(const EmptyingOrder& order) {
    shared_->post(ClipboardJob::OrderGiven{order});
}

ClipboardJob::News ClipboardAgent::collect(ClipboardSequence sequence, Clock::time_point now) {
    ClipboardJob::News news;
    shared_->post(ClipboardJob::Collect{sequence}, &news, now);
    return news;
}

ClipboardJob::Status ClipboardAgent::status() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->job.status();
}

void ClipboardAgent::changeNoticed() {
    // On the window's own thread, which collects right after: no announcement to itself.
    shared_->post(ClipboardJob::ChangeNoticed{GetClipboardSequenceNumber(), Shared::idOf(GetClipboardOwner())});
}

}  // namespace zanthrel::win32
