#include "compare/snapshot_comparison.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/runtime_error.h"

namespace zanthrel {
namespace {

[[noreturn]] void throwOverflow() {
    throw RuntimeError(ErrorKind::Overflow, "Overflow");
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

}  // namespace

std::int32_t upperIndexBound(const BitmapInfoHeader& header) {
    const std::int64_t product = std::int64_t{header.biWidth} * header.biHeight;
    if (product > std::numeric_limits<std::int32_t>::max() || product < std::numeric_limits<std::int32_t>::min())
        throwOverflow();
    if (product - 1 < std::numeric_limits<std::int32_t>::min()) throwOverflow();
    return static_cast<std::int32_t>(product - 1);
}

std::int32_t roundToInt32(double value) {
    if (std::isnan(value)) throwOverflow();
    const double rounded = std::nearbyint(value);  // the default rounding mode sends halves to even
    if (rounded < std::numeric_limits<std::int32_t>::min() || rounded > std::numeric_limits<std::int32_t>::max())
        throwOverflow();
    return static_cast<std::int32_t>(rounded);
}

BitmapInfoHeader comparisonRegion(const SnapshotHolder& first, const SnapshotHolder& second) {
    BitmapInfoHeader header{};
    header.biSize = 40;
    header.biPlanes = 1;
    header.biWidth = roundToInt32(first.scaleWidth);
    header.biHeight = roundToInt32(first.scaleHeight);
    header.biBitCount = 32;
    coverLargerPictures(header, first, second);
    return header;
}

bool CoveredPixelComparison::identical(const SnapshotHolder& first, const SnapshotHolder& second) {
    const BitmapInfoHeader header = comparisonRegion(first, second);
    // Reading whole buffers fails here too: a buffer without elements cannot be read into.
    if (upperIndexBound(header) < 0) throw RuntimeError(ErrorKind::SubscriptOutOfRange, "Subscript out of range");
    if (first.picture == second.picture) return true;
    const auto readable = [](const PictureRef& picture) { return !picture || picture->hasPixels(); };
    if (!readable(first.picture) || !readable(second.picture))
        return sameDeliveredContent(first.picture, second.picture);
    return coveredPixelsEqual(first.picture.get(), second.picture.get(), header.biWidth, header.biHeight, bands_);
}

}  // namespace zanthrel
