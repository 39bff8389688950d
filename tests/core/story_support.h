#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/texts.h"
#include "layout/main_window_layout.h"
#include "testing/sim/sim_desktop.h"
#include "testing/sim/sim_picture.h"

namespace zanthrel::test {

// SimDesktop's clock text unless a story sets another.
inline const std::string kStamp = "07/12/2026 04:29:04";

// The form offers no way to resize or break its snapshot holders; fault injection reaches in. The state
// object itself is not const, so writing through this reference is well defined.
inline GuardState& reachIntoState(sim::SimDesktop& desk) {
    return const_cast<GuardState&>(desk.state());
}

// The window in one line as the user sees it: each button's caption (in brackets, so trailing spaces
// show), its flag and whether it is disabled; the counter; the indicator; which timers run.
inline std::string describe(const sim::SimDesktop& desk) {
    const GuardState& s = desk.state();
    const auto button = [](const CommandState& b) {
        return "[" + b.caption + "] " + (b.on ? "1" : "0") + (b.enabled ? "" : " disabled");
    };
    std::string timers;
    for (const auto& [id, mark] :
         {std::pair{GuardTimer::Sampling, '1'}, {GuardTimer::CountingWindow, '2'}, {GuardTimer::Blocking, '3'}})
        timers += s.timer(id).enabled ? mark : '-';
    const std::string colour = s.indicator.colour == 65280 ? "green"
                               : s.indicator.colour == 255 ? "red"
                                                           : std::to_string(s.indicator.colour);
    return button(s.monitoring) + " | " + button(s.blocking) + " | count " + std::to_string(s.detection.captureCount) +
           " | " + colour + (s.indicator.lit ? "" : " hidden") + " | timers " + timers;
}

inline long countCaptures(const sim::SimDesktop& desk) {
    return std::count_if(desk.log().begin(), desk.log().end(),
                         [](const std::string& line) { return line.starts_with(texts::kCaptureDetected); });
}

// Lowers the address-space limit to what the process already uses plus `headroomBytes`, so that the
// next large allocation fails the way it does on a machine short of memory. Restored on scope exit.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(std::uint64_t headroomBytes) {
        getrlimit(RLIMIT_AS, &saved_);
        std::ifstream status("/proc/self/status");
        std::uint64_t vmSizeKb = 0;
        for (std::string key; status >> key;)
            if (key == "VmSize:") {
                status >> vmSizeKb;
                break;
            }
        rlimit capped = saved_;
        capped.rlim_cur = vmSizeKb * 1024 + headroomBytes;
        applied_ = vmSizeKb > 0 && setrlimit(RLIMIT_AS, &capped) == 0;
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
    bool applied() const noexcept { return applied_; }

private:
    rlimit saved_{};
    bool applied_ = false;
};

}  // namespace zanthrel::test
