#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "core/picture.h"
#include "platform/win32/win32_handle.h"

namespace zanthrel::win32 {

// A clipboard picture copied into a 32-bit DIB section of our own, so that the clipboard keeps its
// bitmap and we keep ours whatever happens to the clipboard afterwards. Pixels are read back with
// GetDIBits.
class Win32Picture final : public Picture {
public:
    // Copies any bitmap we may read. Throws RuntimeError(PlatformFailure) when it cannot be read, and
    // returns null for a bitmap without pixels. Its digest is that of the copied pixels; one beyond the
    // memory bound is known by that digest alone.
    static PictureRef copyOf(HBITMAP source);
    // Decodes a packed DIB (a CF_DIB or CF_DIBV5 block) of `size` bytes whose bytes have the digest
    // `digest`. A block that cannot be decoded, or whose picture is beyond the memory bound, becomes a
    // picture known only by that digest; null only for an empty block.
    static PictureRef fromPackedDib(const void* block, std::size_t size, PictureDigest digest);
    // A picture of `width` × `height` (within the memory bound) whose pixels `fill` writes into memory of
    // the picture's own, rows from the top, `width` elements each, blue in the low byte; whatever it
    // leaves in the top byte is cleared. Its digest is `digest`, that of the data it was decoded from.
    // Null when there is no memory for it, or `fill` fails.
    static PictureRef fromTopDownRows(std::int32_t width, std::int32_t height, PictureDigest digest,
                                      const std::function<bool(std::uint32_t* rows)>& fill);

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    HBITMAP handle() const noexcept { return bitmap_.get(); }

    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override;
    PictureDigest digest() const noexcept override { return digest_; }
    // The DIB section's own memory, bottom-up: the comparison reads it in place, without GetDIBits.
    PixelRows rows() const noexcept override {
        return {pixels_ + static_cast<std::ptrdiff_t>(height_ - 1) * width_, -static_cast<std::int64_t>(width_)};
    }

private:
    Win32Picture(BitmapHandle bitmap, std::uint32_t* pixels, std::int32_t width, std::int32_t height)
        : bitmap_(std::move(bitmap)), pixels_(pixels), width_(width), height_(height) {}
    static std::shared_ptr<Win32Picture> blank(std::int32_t width, std::int32_t height);
    void clearTopBytes() const noexcept;

    BitmapHandle bitmap_;
    std::uint32_t* pixels_;  // the DIB section's bottom-up pixels, owned by bitmap_
    std::int32_t width_;
    std::int32_t height_;
    PictureDigest digest_;
};

}  // namespace zanthrel::win32
