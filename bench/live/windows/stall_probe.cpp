// Where the time goes while another program copies a huge picture under Wine:
//   zanthrel_stall_probe WIDTH HEIGHT [AFTER_S]
//   zanthrel_stall_probe watch SECONDS       the same timing alone, from a process that copies nothing
// copies a WIDTH x HEIGHT 32-bit CF_DIB as one block and meanwhile, every 10 ms, times two things on
// threads of its own: a call to Wine's server that touches no window and no clipboard data
// (GetClipboardSequenceNumber), and a message round trip to zanthrel.exe's main window, if one runs. It
// prints how long each step of the copy took, and the longest gap between two answers of each kind
// (10 ms when nothing stalls) during the copy and during the AFTER_S seconds (default 15) that follow,
// while the guard reads the picture. A server that stalls as long as the window does is where the
// window's seconds went.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/control_ids.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Calls that were timed: when each began and how long it took.
class Timeline {
public:
    void add(Clock::time_point start, Clock::time_point end) {
        const std::lock_guard lock(mutex_);
        calls_.push_back({start, end});
    }
    // The longest gap that overlapped [from, to].
    double longestDuring(Clock::time_point from, Clock::time_point to) const {
        return longest([&](const Call& call) { return call.end >= from && call.start <= to; });
    }
    // The longest gap that began at `from` or later.
    double longestFrom(Clock::time_point from) const {
        return longest([&](const Call& call) { return call.start >= from; });
    }

private:
    struct Call {
        Clock::time_point start, end;
    };
    template <typename Chosen>
    double longest(Chosen&& chosen) const {
        const std::lock_guard lock(mutex_);
        double longest = 0;
        for (const Call& call : calls_)
            if (chosen(call)) longest = std::max(longest, msBetween(call.start, call.end));
        return longest;
    }
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};

// Each entry runs from the end of one call to the end of the next: under Wine even the 10 ms sleep in
// between is a request to the server, so a stalled server shows as a long gap, not as a long call.
template <typename Call>
std::thread timeEvery10ms(std::atomic<bool>& stop, Timeline& timeline, Call call) {
    return std::thread([&stop, &timeline, call] {
        auto previous = Clock::now();
        while (!stop) {
            std::this_thread::sleep_for(10ms);
            call();
            const auto now = Clock::now();
            timeline.add(previous, now);
            previous = now;
        }
    });
}

void figure(const char* name, double value) {
    std::printf("%s %.1f ms\n", name, value);
    std::fflush(stdout);
}

}  // namespace

// Starts timing the server and, if it runs, zanthrel.exe's window; stops when it goes.
class Timers {
public:
    Timers() : guard_(FindWindowW(zanthrel::win32::kMainWindowClass, nullptr)) {
        server_ = timeEvery10ms(stop_, serverGaps, [] { GetClipboardSequenceNumber(); });
        if (!guard_) {
            std::fprintf(stderr, "stall probe: no zanthrel.exe window; timing the server alone\n");
            return;
        }
        window_ = timeEvery10ms(stop_, windowGaps, [guard = guard_] {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(guard, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        });
    }
    ~Timers() {
        stop_ = true;
        server_.join();
        if (window_.joinable()) window_.join();
    }
    Timers(const Timers&) = delete;
    Timers& operator=(const Timers&) = delete;
    bool guard() const noexcept { return guard_ != nullptr; }

    Timeline serverGaps, windowGaps;

private:
    HWND guard_;
    std::atomic<bool> stop_{false};
    std::thread server_, window_;
};

int watch(std::chrono::seconds span) {
    const auto start = Clock::now();
    Timers timers;
    std::this_thread::sleep_for(span);
    const auto end = Clock::now();
    figure("stall_watch_server_longest_ms", timers.serverGaps.longestDuring(start, end));
    if (timers.guard()) figure("stall_watch_window_longest_ms", timers.windowGaps.longestDuring(start, end));
    return 0;
}

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "watch") == 0) return watch(std::chrono::seconds(std::atol(argv[2])));
    if (argc < 3) {
        std::fprintf(stderr, "usage: zanthrel_stall_probe WIDTH HEIGHT [AFTER_S] | watch SECONDS\n");
        return 2;
    }
    const long width = std::atol(argv[1]), height = std::atol(argv[2]);
    const auto after = std::chrono::seconds(argc > 3 ? std::atol(argv[3]) : 15);
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536) return 2;
    const SIZE_T pixels = static_cast<SIZE_T>(width) * static_cast<SIZE_T>(height) * 4;

    Timers timers;
    const auto making = Clock::now();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixels);
    if (!block) {
        std::fprintf(stderr, "stall probe: no memory for %zu bytes\n", static_cast<size_t>(pixels));
        return 1;
    }
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    const BITMAPINFOHEADER header{sizeof header, width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(bytes, &header, sizeof header);
    for (SIZE_T i = 0; i < pixels; i += 4096) bytes[sizeof header + i] = static_cast<unsigned char>(i >> 12);
    GlobalUnlock(block);

    const auto opening = Clock::now();
    while (!OpenClipboard(nullptr)) std::this_thread::sleep_for(10ms);
    EmptyClipboard();
    const auto setting = Clock::now();
    const bool set = SetClipboardData(CF_DIB, block) != nullptr;
    const auto closing = Clock::now();
    CloseClipboard();
    const auto closed = Clock::now();
    if (!set) GlobalFree(block);
    std::this_thread::sleep_for(after);

    figure("stall_make_block_ms", msBetween(making, opening));
    figure("stall_set_clipboard_data_ms", msBetween(setting, closing));
    figure("stall_close_clipboard_ms", msBetween(closing, closed));
    figure("stall_server_longest_during_copy_ms", timers.serverGaps.longestDuring(setting, closed));
    figure("stall_server_longest_after_copy_ms", timers.serverGaps.longestFrom(closed));
    if (timers.guard()) {
        figure("stall_window_longest_during_copy_ms", timers.windowGaps.longestDuring(setting, closed));
        figure("stall_window_longest_after_copy_ms", timers.windowGaps.longestFrom(closed));
    }
    return set ? 0 : 1;
}
