#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compare/snapshot_holder.h"
#include "core/services.h"
#include "layout/layout.h"

namespace zanthrel {

// One of the two commands, as its button shows it.
struct CommandState {
    std::string caption;
    bool on = false;
    bool enabled = true;
};

struct TimerState {
    bool enabled = false;
    int intervalMs = 0;
};

// The status indicator: green while the clipboard is usable, red while it is blocked; it blinks while
// monitoring runs (lit flips on every sampling tick).
struct IndicatorState {
    Colour colour = 0;
    bool lit = true;
};

enum class SnapshotHolderId { First, Second };

// What the capture detector keeps: the two snapshot holders, which of them takes the next sample, and the
// captures counted in the current counting window.
struct DetectionState {
    SnapshotHolder firstHolder;
    SnapshotHolder secondHolder;
    SnapshotHolderId nextSample = SnapshotHolderId::First;  // the holder the next sample goes to
    int captureCount = 0;
};

// Everything the guard's window holds, as plain data. Front ends show it; only the guard changes it.
struct GuardState {
    CommandState monitoring;
    CommandState blocking;
    IndicatorState indicator;
    DetectionState detection;
    std::vector<std::string> log;  // the activity log, append-only
    std::array<TimerState, 3> timers{};
    bool cannotWatchClipboard = false;  // the desktop lets the guard neither watch nor empty the clipboard
    // The line under the last alarm's that names the programs which put and read the pictures it counted
    // (indented as in the log); empty when none was named.
    std::string alarmPrograms;

    const TimerState& timer(GuardTimer id) const { return timers[static_cast<std::size_t>(id)]; }
};

// The parts of the state a window shows that can change after start-up.
enum class GuardChange { MonitoringCommand, BlockingCommand, CaptureCount, Indicator, Log, FirstHolder, SecondHolder };

class GuardObserver {
public:
    virtual ~GuardObserver() = default;
    // For the log the change is always one line appended at the end.
    virtual void guardChanged(GuardChange change) = 0;
};

// Tells the observer, if there is one; shared by the guard's parts.
class ChangeNotifier {
public:
    void setObserver(GuardObserver* observer) noexcept { observer_ = observer; }
    void operator()(GuardChange change) const {
        if (observer_) observer_->guardChanged(change);
    }

private:
    GuardObserver* observer_ = nullptr;
};

}  // namespace zanthrel
