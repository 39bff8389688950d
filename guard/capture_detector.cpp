#include "guard/capture_detector.h"

#include "core/texts.h"

namespace zanthrel {

CaptureDetector::CaptureDetector(DetectionState& state, Clipboard& clipboard, ActivityLog& log,
                                 const ChangeNotifier& notify, std::unique_ptr<SnapshotComparison> comparison)
    : state_(state),
      clipboard_(clipboard),
      log_(log),
      notify_(notify),
      comparison_(comparison ? std::move(comparison) : std::make_unique<CoveredPixelComparison>()) {}

void CaptureDetector::takeStartUpSnapshots() {
    state_.nextSample = SnapshotHolderId::First;
    // A clipboard held open by another program at start leaves that holder without a picture. A
    // clipboard whose answer is still on its way leaves it so until startUpAnswerArrived().
    bool answered = true;
    const auto read = [&]() -> PictureRef {
        try {
            answered = false;
            PictureRef picture = clipboard_.readPicture();
            answered = true;
            return picture;
        } catch (...) {
            return nullptr;
        }
    };
    setHolderPicture(state_.firstHolder, GuardChange::FirstHolder, read());
    setHolderPicture(state_.secondHolder, GuardChange::SecondHolder, read());
    startUpSampleOwed_ = !answered;
}

void CaptureDetector::startUpAnswerArrived() {
    // Until a sampling tick has taken a sample of its own, the first answer fills both holders as the
    // start-up reads would have; otherwise a picture copied before start-up would be counted as a
    // capture once monitoring begins.
    if (!startUpSampleOwed_) return;
    PictureRef picture = clipboard_.readPicture();
    startUpSampleOwed_ = false;
    setHolderPicture(state_.firstHolder, GuardChange::FirstHolder, picture);
    setHolderPicture(state_.secondHolder, GuardChange::SecondHolder, std::move(picture));
}

void CaptureDetector::sample() {
    if (!holdersIdentical()) {
        ++state_.captureCount;
        notify_(GuardChange::CaptureCount);
        log_.write(texts::kCaptureDetected);
    }
    // From here on a failing step does not end the tick.
    if (state_.nextSample == SnapshotHolderId::First) {
        takeSample(state_.firstHolder, GuardChange::FirstHolder, state_.secondHolder);
        state_.nextSample = SnapshotHolderId::Second;
    } else {
        takeSample(state_.secondHolder, GuardChange::SecondHolder, state_.firstHolder);
        state_.nextSample = SnapshotHolderId::First;
    }
}

bool CaptureDetector::holdersIdentical() {
    try {
        return comparison_->identical(state_.firstHolder, state_.secondHolder);
    } catch (...) {
        // The pictures could not be compared pixel by pixel (no memory, a size beyond 32 bits). A picture
        // that arrived is still judged, by the digest of the data its owner delivered; and the sample is
        // still taken, or the offending picture would stay in its holder and every later tick would fail
        // the same way, blind to all captures.
        return sameDeliveredContent(state_.firstHolder.picture, state_.secondHolder.picture);
    }
}

void CaptureDetector::resetCount() {
    state_.captureCount = 0;
    notify_(GuardChange::CaptureCount);
}

void CaptureDetector::takeSample(SnapshotHolder& holder, GuardChange change, const SnapshotHolder& other) {
    PictureRef sample;
    try {
        sample = clipboard_.readPicture();
        startUpSampleOwed_ = false;  // a sample taken settles what start-up still owed
    } catch (...) {
        // The clipboard could not be read (held open, or its owner silent). Keeping this holder's older
        // picture would leave the pair that was just counted as it is, and every tick until the clipboard
        // can be read again would count the same capture once more: one picture and a busy clipboard
        // would raise the alarm. The holder takes what the last sample found instead, so the pair agrees
        // until there is something new to read.
        sample = other.picture;
    }
    try {
        setHolderPicture(holder, change, std::move(sample));
    } catch (...) {
        // Only the observer can fail here; the holder already has its picture.
    }
}

void CaptureDetector::setHolderPicture(SnapshotHolder& holder, GuardChange change, PictureRef picture) {
    // An unchanged clipboard hands back the same picture every tick; nothing to show then.
    if (holder.picture == picture) return;
    holder.picture = std::move(picture);
    notify_(change);
}

}  // namespace zanthrel
