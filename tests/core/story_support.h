#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "layout/main_window_layout.h"
#include "core/texts.h"
#include "testing/sim/sim_desktop.h"
#include "testing/sim/sim_picture.h"

namespace zanthrel::test {

// SimDesktop's clock text unless a story sets another.
inline const std::string kStamp = "07/12/2026 04:29:04";

// The form offers no way to resize or break its snapshot holders; fault injection reaches in. The state
// object itself is not const, so writing through this reference is well defined.
inline MainFormState& reachIntoState(sim::SimDesktop& desk) {
    return const_cast<MainFormState&>(desk.state());
}

// The window in one line as the user sees it: each button's caption (in brackets, so trailing spaces
// show), its flag and whether it is disabled; the counter; the indicator; which timers run.
inline std::string describe(const sim::SimDesktop& desk) {
    const MainFormState& s = desk.state();
    const auto button = [](const CommandButtonState& b) {
        return "[" + b.caption + "] " + b.tag + (b.enabled ? "" : " disabled");
    };
    std::string timers;
    for (const auto& [id, mark] : {std::pair{TimerId::Timer1, '1'}, {TimerId::Timer2, '2'}, {TimerId::Timer3, '3'}})
        timers += s.timer(id).enabled ? mark : '-';
    const std::string colour = s.shape1FillColour == 65280 ? "green"
                               : s.shape1FillColour == 255 ? "red"
                                                           : std::to_string(s.shape1FillColour);
    return button(s.cmdStartPause) + " | " + button(s.cmdEnableDisable) + " | count " + s.txtCounts + " | " + colour +
           (s.shape1Visible ? "" : " hidden") + " | timers " + timers;
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
