#pragma once

#include "compare/covered_pixels.h"
#include "compare/pixel_buffer.h"
#include "compare/snapshot_holder.h"

namespace zanthrel {

enum class ComparisonMode {
    // Reads and compares every pixel on every call.
    Literal,
    // The same verdicts and failures, from the pixels the pictures cover rather than whole buffers: work
    // and memory follow the pictures' sizes, not the region's (see coveredPixelsEqual). Answers True at
    // once when both holders share the very same picture object. A picture known only by its digest is
    // judged by sameDeliveredContent instead of reading as zeros. Never uses the two pixel buffers: they
    // are empty after every call, failed or not. Its memory stays within 64 MB, so where the literal
    // reading would need more it may fail with OutOfMemory instead: for a picture that must be read
    // through scan lines, one of which is longer than 32 MB.
    Fast,
};

// Decides whether two snapshot holders show identical pictures, reading both through two pixel
// buffers of 32-bit elements that live for the whole program.
class SnapshotComparison {
public:
    explicit SnapshotComparison(ComparisonMode mode = ComparisonMode::Fast) : mode_(mode) {}

    // True when the pixels read from both holders are identical. Both are read with the first
    // holder's inner size, enlarged where a picture is bigger so that all of it is compared.
    // Failures (overflow, zero size, no memory) are thrown before any pixel is read; in Literal mode
    // buffers recreated before a failure keep their storage and content until the next call.
    bool CompareSnapshots(const SnapshotHolder& first, const SnapshotHolder& second);

    // True when buffer A equals buffer B element by element, top byte included.
    bool CompareBuffers() const;

    PixelBuffer& bufferA() noexcept { return bufferA_; }
    PixelBuffer& bufferB() noexcept { return bufferB_; }
    const PixelBuffer& bufferA() const noexcept { return bufferA_; }
    const PixelBuffer& bufferB() const noexcept { return bufferB_; }

private:
    bool compareCovered(const SnapshotHolder& first, const SnapshotHolder& second, const BitmapInfoHeader& header);

    ComparisonMode mode_;
    PixelBuffer bufferA_;
    PixelBuffer bufferB_;
    ScanBands bands_;
};

// Rounds to the nearest whole number, an exact half to the even neighbour; Overflow outside int32.
std::int32_t roundToInt32(double value);

}  // namespace zanthrel
