#include "testing/literal_comparison.h"

#include <cstring>

#include "core/runtime_error.h"

namespace zanthrel {
namespace {

void readHolderInto(const SnapshotHolder& holder, const BitmapInfoHeader& header, PixelBuffer& buffer) {
    if (!buffer.hasStorage() || buffer.upperBound() < 0)
        throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    // A holder without a picture has handle 0: the read fails unnoticed and the buffer stays zero.
    if (const PictureRef picture = holder.picture; picture && header.biHeight > 0)
        picture->readScanLines(header, 0, static_cast<std::uint32_t>(header.biHeight), buffer.data());
}

}  // namespace

bool LiteralComparison::identical(const SnapshotHolder& first, const SnapshotHolder& second) {
    const BitmapInfoHeader header = comparisonRegion(first, second);
    bufferA_.recreate(upperIndexBound(header));
    bufferB_.recreate(upperIndexBound(header));
    readHolderInto(first, header, bufferA_);
    readHolderInto(second, header, bufferB_);
    const bool result = buffersEqual();
    bufferA_.free();
    bufferB_.free();
    return result;
}

bool LiteralComparison::buffersEqual() const {
    if (!bufferA_.hasStorage() || !bufferB_.hasStorage())
        throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    if (bufferA_.upperBound() != bufferB_.upperBound()) return false;
    // Equal bounds mean every index of A exists in B; memcmp stops at the first difference like an
    // element loop would, and gives the same verdict.
    return std::memcmp(bufferA_.data(), bufferB_.data(), bufferA_.size() * sizeof(std::int32_t)) == 0;
}

std::unique_ptr<SnapshotComparison> makeComparison(ComparisonMode mode) {
    if (mode == ComparisonMode::Literal) return std::make_unique<LiteralComparison>();
    return std::make_unique<CoveredPixelComparison>();
}

}  // namespace zanthrel
