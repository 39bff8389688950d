#pragma once

#include <cstdint>

#include "compare/covered_pixels.h"
#include "compare/snapshot_holder.h"

namespace zanthrel {

// Decides whether two snapshot holders show identical pictures.
class SnapshotComparison {
public:
    virtual ~SnapshotComparison() = default;
    // True when the pixels read from both holders are identical. Both are read with the first holder's
    // inner size, enlarged where a picture is bigger so that all of it is compared (comparisonRegion).
    // Failures (overflow, zero size, no memory) are thrown before any pixel is read.
    virtual bool identical(const SnapshotHolder& first, const SnapshotHolder& second) = 0;
};

// The region both holders are read with, as a 32-bit bottom-up DIB header: the first holder's inner size
// in pixels, grown to cover a larger picture in either holder. Overflow when the size leaves 32 bits.
BitmapInfoHeader comparisonRegion(const SnapshotHolder& first, const SnapshotHolder& second);

// width × height − 1 in signed 32-bit arithmetic, as a pixel buffer's upper index bound; Overflow beyond.
std::int32_t upperIndexBound(const BitmapInfoHeader& header);

// Rounds to the nearest whole number, an exact half to the even neighbour; Overflow outside int32.
std::int32_t roundToInt32(double value);

// The comparison the guard runs on every sampling tick. It gives the verdicts and failures of reading
// both holders whole into two buffers and comparing those, from the pixels the pictures cover instead:
// work and memory follow the pictures' sizes, not the region's (see coveredPixelsEqual). It answers at
// once when both holders share the very same picture object, and judges a picture known only by its
// digest by sameDeliveredContent instead of reading it as zeros. Its memory stays within 64 MB, so where
// whole buffers would need more it may fail with OutOfMemory instead: for a picture that must be read
// through scan lines, one of which is longer than 32 MB.
class CoveredPixelComparison final : public SnapshotComparison {
public:
    bool identical(const SnapshotHolder& first, const SnapshotHolder& second) override;

private:
    ScanBands bands_;
};

}  // namespace zanthrel
