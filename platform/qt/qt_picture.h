#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

#include "core/picture.h"
#include "pictures/picture_formats.h"

namespace zanthrel::qt {

// A clipboard picture decoded by Qt, kept as rows of 0x00RRGGBB pixels from the top: the values a
// 32-bit device-independent bitmap holds, so equal pictures read as equal buffers on every platform.
class QtPicture final : public Picture {
public:
    // Throws std::bad_alloc when the pixels cannot be stored; a null image gives a 0 × 0 picture.
    // `digest`: of the data the owner delivered, when the picture came from another program.
    explicit QtPicture(QImage image, PictureDigest digest = {});

    std::int32_t width() const override { return image_.width(); }
    std::int32_t height() const override { return image_.height(); }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override;
    PictureDigest digest() const noexcept override { return digest_; }
    // The pixels in place, the very values readScanLines copies: comparing needs no copy of its own.
    PixelRows rows() const noexcept override {
        if (image_.isNull()) return {};
        return {reinterpret_cast<const std::uint32_t*>(image_.constBits()), image_.bytesPerLine() / 4};
    }

    // A view on the pixels for painting; valid while this picture lives.
    QImage view() const { return image_; }

private:
    QImage image_;  // Format_RGB32, top byte cleared
    PictureDigest digest_;
};

// The largest picture decoded into pixels: 8192 × 8192. Anything larger is known by its digest only.
inline constexpr std::int64_t kMaxDecodedPixels = std::int64_t{8192} * 8192;
// What Qt may allocate while decoding one picture, in MiB: its largest pixel format (16 bits a channel,
// 8 bytes a pixel) at the pixel bound, with room for the decoder's own buffers.
inline constexpr int kDecodeAllocationLimitMiB = 576;

// The name of Qt's decoder for a picture format (QImageReader's format); null for a format that is never
// decoded (a drawing, a type unknown, a pixmap's raw pixels) or whose format is not known.
const char* qtDecoderName(const PictureFormat* format) noexcept;

// Decodes data another program delivered as a picture in `format`, by the decoder of that format only:
// bytes reach no decoder their owner did not name. Within the bounds the result has pixels and carries
// `digest`; data beyond them, in a format never decoded or without a decoder here, or that the decoder
// does not understand, give a digestOnlyPicture(). Never returns null.
PictureRef decodeDeliveredPicture(const std::vector<unsigned char>& bytes, bool complete, PictureDigest digest,
                                  const PictureFormat* format);

}  // namespace zanthrel::qt
