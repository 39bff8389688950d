#include "pictures/dib_stand_in.h"

#include <algorithm>
#include <cstring>

namespace zanthrel {

void copyIntoBottomUpDib(const std::uint32_t* topDown, std::int32_t width, std::int32_t height, std::int64_t stride,
                         const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                         std::int32_t* bits) noexcept {
    if (!topDown || !bits || header.biBitCount != 32 || header.biWidth <= 0 || header.biHeight <= 0) return;
    const std::int64_t dibWidth = header.biWidth;
    const std::int64_t columns = std::min<std::int64_t>(width, dibWidth);
    const std::int64_t lastScan = std::min<std::int64_t>({std::int64_t{firstScan} + lines, header.biHeight, height});
    // `bits` starts at scan line firstScan, as GetDIBits' buffer does.
    for (std::int64_t scan = firstScan; scan < lastScan; ++scan) {
        const std::uint32_t* source = topDown + (height - 1 - scan) * stride;
        std::memcpy(bits + (scan - firstScan) * dibWidth, source, static_cast<std::size_t>(columns) * 4);
    }
}

}  // namespace zanthrel
