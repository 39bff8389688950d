#pragma once

#include <cstdint>
#include <memory>

namespace zanthrel {

// The 40-byte header that describes the pixel layout a reader is asked for. Only the fields the
// comparison sets are carried; the rest are zero by definition.
struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // positive: bottom-up, scan line 0 is the bottom row
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;  // 0: uncompressed RGB

    bool operator==(const BitmapInfoHeader&) const = default;
};

// A keyed 128-bit digest of the bytes a picture's owner delivered (see pictures/content_digest.h). Zero
// means "not known".
struct PictureDigest {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    bool known() const noexcept { return low != 0 || high != 0; }
    bool operator==(const PictureDigest&) const = default;
};

// A picture's pixels where they already sit in memory: row r from the top starts at top + r × stride.
struct PixelRows {
    const std::uint32_t* top = nullptr;
    std::int64_t stride = 0;
};

// A picture taken from the clipboard. Immutable once made: a platform may hand out the same object
// again for as long as the clipboard has not changed, and holders may share it.
class Picture {
public:
    virtual ~Picture() = default;

    // Size of the bitmap itself, in pixels.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;

    // Writes the picture into `bits` as GDI's GetDIBits would for a 32-bit, uncompressed DIB laid out as
    // `header` asks: scan lines `firstScan` .. firstScan+lines-1 counted from the bottom, each exactly
    // header.biWidth elements long, blue in the low byte. The picture's bottom-left pixel lands on scan
    // line 0, column 0; elements the picture does not cover are left untouched. Failures are not
    // reported, the way the comparison expects.
    virtual void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                               std::int32_t* bits) const noexcept = 0;

    // False for a picture known only by the digest of its data: one too large to decode within the
    // program's memory bound. Such a picture writes no pixels; it is judged by sameDeliveredContent.
    virtual bool hasPixels() const noexcept { return true; }
    // The digest of the data the owner delivered; unknown unless the platform computed one.
    virtual PictureDigest digest() const noexcept { return {}; }
    // Optional: the picture's own pixels, each the very value readScanLines writes for it, so that a
    // reader may look at them in place instead of copying. A picture read only through readScanLines
    // (one that lives in the system's graphics memory) gives none: a null `top`.
    virtual PixelRows rows() const noexcept { return {}; }
};

using PictureRef = std::shared_ptr<const Picture>;

// True when two holders' pictures are known to be the same content without reading a pixel: the very
// same object, or two pictures whose delivered data have the same digest. Pictures whose digest is
// unknown are taken to differ, so that a picture we cannot read is still counted once when it arrives.
inline bool sameDeliveredContent(const PictureRef& first, const PictureRef& second) noexcept {
    if (first == second) return true;
    if (!first || !second) return false;
    const PictureDigest a = first->digest();
    return a.known() && a == second->digest();
}

}  // namespace zanthrel
