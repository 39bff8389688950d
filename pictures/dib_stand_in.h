#pragma once

#include <cstdint>

#include "core/picture.h"

namespace zanthrel {

// Where there is no GDI, this fills a pixel buffer the way GetDIBits fills a 32-bit bottom-up DIB:
// `topDown` holds the picture's rows from the top, `stride` elements apart, each pixel 0x00RRGGBB
// (blue in the low byte). The picture's bottom row lands on scan line 0; columns and scan lines
// beyond the picture or the header are left untouched.
void copyIntoBottomUpDib(const std::uint32_t* topDown, std::int32_t width, std::int32_t height, std::int64_t stride,
                         const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                         std::int32_t* bits) noexcept;

}  // namespace zanthrel
