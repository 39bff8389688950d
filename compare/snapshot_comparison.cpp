#include "compare/snapshot_comparison.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/runtime_error.h"

namespace zanthrel {
namespace {

[[noreturn]] void throwOverflow() {
    throw RuntimeError(ErrorKind::Overflow, "Overflow");
}

// width × height − 1 in signed 32-bit arithmetic, as the buffers' upper index bound.
std::int32_t upperIndexBound(const BitmapInfoHeader& header) {
    const std::int64_t product = std::int64_t{header.biWidth} * header.biHeight;
    if (product > std::numeric_limits<std::int32_t>::max() || product < std::numeric_limits<std::int32_t>::min())
        throwOverflow();
    if (product - 1 < std::numeric_limits<std::int32_t>::min()) throwOverflow();
    return static_cast<std::int32_t>(product - 1);
}

// A screen capture of several monitors is wider than the holders' region; reading only the region
// would let a change in the rest go unseen, so the region grows to cover the larger picture. Pictures
// that fit keep the region and so the layout and results of the holders' own size.
void coverLargerPictures(BitmapInfoHeader& header, const SnapshotHolder& first, const SnapshotHolder& second) {
    if (header.biWidth <= 0 || header.biHeight <= 0) return;
    for (const SnapshotHolder* holder : {&first, &second}) {
        if (!holder->picture) continue;
        header.biWidth = std::max(header.biWidth, holder->picture->width());
        header.biHeight = std::max(header.biHeight, holder->picture->height());
    }
}

void readHolderInto(const SnapshotHolder& holder, const BitmapInfoHeader& header, PixelBuffer& buffer) {
    if (!buffer.hasStorage() || buffer.upperBound() < 0)
        throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    // A holder without a picture has handle 0: the read fails unnoticed and the buffer stays zero.
    if (const PictureRef picture = holder.picture; picture && header.biHeight > 0)
        picture->readScanLines(header, 0, static_cast<std::uint32_t>(header.biHeight), buffer.data());
}

}  // namespace

std::int32_t roundToInt32(double value) {
    if (std::isnan(value)) throwOverflow();
    const double rounded = std::nearbyint(value);  // the default rounding mode sends halves to even
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        throwOverflow();
    return static_cast<std::int32_t>(rounded);
}

bool SnapshotComparison::CompareSnapshots(const SnapshotHolder& first, const SnapshotHolder& second) {
    BitmapInfoHeader headerA{};
    headerA.biSize = 40;
    headerA.biPlanes = 1;
    headerA.biWidth = roundToInt32(first.scaleWidth);
    headerA.biHeight = roundToInt32(first.scaleHeight);
    headerA.biBitCount = 32;
    coverLargerPictures(headerA, first, second);
    if (mode_ == ComparisonMode::Fast) return compareCovered(first, second, headerA);
    const BitmapInfoHeader headerB = headerA;

    bufferA_.recreate(upperIndexBound(headerA));
    bufferB_.recreate(upperIndexBound(headerB));

    readHolderInto(first, headerA, bufferA_);
    readHolderInto(second, headerB, bufferB_);

    const bool result = CompareBuffers();
    bufferA_.free();
    bufferB_.free();
    return result;
}

bool SnapshotComparison::compareCovered(const SnapshotHolder& first, const SnapshotHolder& second,
                                        const BitmapInfoHeader& header) {
    bufferA_.free();
    bufferB_.free();
    // The literal reading fails here too: a buffer without elements cannot be read into.
    if (upperIndexBound(header) < 0) throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    if (first.picture == second.picture) return true;
    const auto readable = [](const PictureRef& picture) { return !picture || picture->hasPixels(); };
    if (!readable(first.picture) || !readable(second.picture))
        return sameDeliveredContent(first.picture, second.picture);
    return coveredPixelsEqual(first.picture.get(), second.picture.get(), header.biWidth, header.biHeight, bands_);
}

bool SnapshotComparison::CompareBuffers() const {
    if (!bufferA_.hasStorage() || !bufferB_.hasStorage())
        throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    if (bufferA_.upperBound() != bufferB_.upperBound()) return false;
    // Equal bounds mean every index of A exists in B; memcmp stops at the first difference like an
    // element loop would, and gives the same verdict.
    return std::memcmp(bufferA_.data(), bufferB_.data(), bufferA_.size() * sizeof(std::int32_t)) == 0;
}

}  // namespace zanthrel
