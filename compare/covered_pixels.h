#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/picture.h"

namespace zanthrel {

// Scan-line bands a picture is read into when it cannot show its rows in place. Kept between calls so
// that each comparison does not fault in fresh pages.
struct ScanBands {
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> second;
};

// A band's size in bytes: a few hundred scan lines of a screen capture, small enough that both bands
// stay in the processor's cache while they are compared.
inline constexpr std::size_t kBandBytes = 256 * 1024;
// A band holds at least one whole scan line, but never more than this: two bands stay within 64 MB.
inline constexpr std::size_t kMaxLineBytes = 32 * 1024 * 1024;

// True when `first` and `second` (either may be null) give equal pixels once each is written into its
// own zero-filled width × height buffer the way readScanLines writes it. Only what a picture covers can
// differ from zero, so the work and the memory follow the pictures' sizes, never the region's: per scan
// line, the columns both cover are compared and the columns only one covers are checked against zero.
// Pictures without rows are read band by band, at most max(bandBytes, one scan line) each; a band the
// reader leaves untouched reads as zeros, as it would in a zero-filled buffer. Stops at the first
// difference. Throws RuntimeError(OutOfMemory) when a band cannot be had, or would have to hold a scan
// line longer than kMaxLineBytes (8 million pixels).
bool coveredPixelsEqual(const Picture* first, const Picture* second, std::int32_t width, std::int32_t height,
                        ScanBands& bands, std::size_t bandBytes = kBandBytes);

}  // namespace zanthrel
