#pragma once

#include <memory>

#include "compare/snapshot_comparison.h"
#include "core/services.h"
#include "guard/activity_log.h"
#include "guard/guard_state.h"

namespace zanthrel {

// Counts screen captures: on every sampling tick it compares the two snapshot holders, counts a
// difference as a new capture, then stores the clipboard's picture into one holder, alternating between
// them. A picture that arrives is thus counted on the tick after the one that stored it.
class CaptureDetector {
public:
    // More captures than this within one counting window raise the alarm.
    static constexpr int kAlarmThreshold = 3;

    CaptureDetector(DetectionState& state, Clipboard& clipboard, ActivityLog& log, const ChangeNotifier& notify,
                    std::unique_ptr<SnapshotComparison> comparison);

    // At start-up both holders take what the clipboard holds, so that a picture copied before is no capture.
    void takeStartUpSnapshots();
    // The answer that the start-up reads could not have at once has arrived.
    void startUpAnswerArrived();
    // Compares, counts and logs a capture, and takes the next sample. An error before the sample (the log
    // line could not be made) ends the tick there.
    void sample();
    bool alarmDue() const noexcept { return state_.captureCount > kAlarmThreshold; }
    void resetCount();
    // Both holders hold the same picture, so the next comparison can find no difference.
    bool holdersAgree() const noexcept { return state_.firstHolder.picture == state_.secondHolder.picture; }

    SnapshotComparison& comparison() noexcept { return *comparison_; }

private:
    bool holdersIdentical();
    void takeSample(SnapshotHolder& holder, GuardChange change, const SnapshotHolder& other);
    void setHolderPicture(SnapshotHolder& holder, GuardChange change, PictureRef picture);

    DetectionState& state_;
    Clipboard& clipboard_;
    ActivityLog& log_;
    const ChangeNotifier& notify_;
    std::unique_ptr<SnapshotComparison> comparison_;
    bool startUpSampleOwed_ = false;
};

}  // namespace zanthrel
