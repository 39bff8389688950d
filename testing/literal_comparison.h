#pragma once

#include <memory>

#include "compare/snapshot_comparison.h"
#include "testing/pixel_buffer.h"

namespace zanthrel {

// The comparison read literally: both holders whole into two pixel buffers that live as long as the
// comparison, element by element. Slow and memory-hungry; tests and benchmarks hold the guard's own
// comparison against it.
class LiteralComparison final : public SnapshotComparison {
public:
    // Buffers recreated before a failure keep their storage and content until the next call; a call that
    // succeeds leaves both empty.
    bool identical(const SnapshotHolder& first, const SnapshotHolder& second) override;

    // True when buffer A equals buffer B element by element, top byte included.
    bool buffersEqual() const;

    PixelBuffer& bufferA() noexcept { return bufferA_; }
    PixelBuffer& bufferB() noexcept { return bufferB_; }

private:
    PixelBuffer bufferA_;
    PixelBuffer bufferB_;
};

enum class ComparisonMode { Literal, Covered };

std::unique_ptr<SnapshotComparison> makeComparison(ComparisonMode mode);

}  // namespace zanthrel
