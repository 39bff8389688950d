#pragma once

#include "compare/pixel_buffer.h"
#include "compare/snapshot_holder.h"

namespace zanthrel {

enum class ComparisonMode {
    // Reads and compares every pixel on every call.
    Literal,
    // Answers True at once when both holders share the very same picture object (reading one picture
    // twice with one header gives equal buffers), after the same size and overflow checks.
    Fast,
};

// Decides whether two snapshot holders show identical pictures, reading both through two pixel
// buffers of 32-bit elements that live for the whole program.
class SnapshotComparison {
public:
    explicit SnapshotComparison(ComparisonMode mode = ComparisonMode::Fast) : mode_(mode) {}

    // True when the pixels read from both holders are identical. Both are read with the first
    // holder's inner size, enlarged where a picture is bigger so that all of it is compared.
    // Failures (overflow, zero size, no memory) are thrown; buffers recreated before a failure keep
    // their storage and content until the next call.
    bool CompareSnapshots(const SnapshotHolder& first, const SnapshotHolder& second);

    // True when buffer A equals buffer B element by element, top byte included.
    bool CompareBuffers() const;

    PixelBuffer& bufferA() noexcept { return bufferA_; }
    PixelBuffer& bufferB() noexcept { return bufferB_; }
    const PixelBuffer& bufferA() const noexcept { return bufferA_; }
    const PixelBuffer& bufferB() const noexcept { return bufferB_; }

private:
    ComparisonMode mode_;
    PixelBuffer bufferA_;
    PixelBuffer bufferB_;
};

// Rounds to the nearest whole number, an exact half to the even neighbour; Overflow outside int32.
std::int32_t roundToInt32(double value);

}  // namespace zanthrel
