#include "platform/qt/qt_picture.h"

#include <new>

#include <QBuffer>
#include <QImageReader>

#include "pictures/dib_stand_in.h"
#include "pictures/digest_only_picture.h"

namespace zanthrel::qt {

QtPicture::QtPicture(QImage image, PictureDigest digest) : image_(std::move(image)), digest_(digest) {
    if (image_.isNull()) return;
    // Transparent pixels keep their colour channels; a bitmap on the clipboard has no alpha either.
    // Converting in place spares a second copy of a large picture where the depth stays the same.
    image_.convertTo(QImage::Format_RGB32);
    if (image_.isNull()) throw std::bad_alloc();
    // Qt keeps 0xFF in the top byte of an opaque pixel; a DIB keeps 0 there. Painting ignores it.
    for (int y = 0; y < image_.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
        for (int x = 0; x < image_.width(); ++x) row[x] &= 0x00FFFFFFu;
    }
}

void QtPicture::readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                              std::int32_t* bits) const noexcept {
    if (image_.isNull()) return;
    copyIntoBottomUpDib(reinterpret_cast<const std::uint32_t*>(image_.constBits()), image_.width(), image_.height(),
                        image_.bytesPerLine() / 4, header, firstScan, lines, bits);
}

const char* qtDecoderName(const PictureFormat* format) noexcept {
    if (!format || format->handling() == PictureHandling::DigestOnly) return nullptr;
    switch (format->content) {
        case PictureContent::Png:
        case PictureContent::QtImage: return "png";  // what Qt serves under its own name
        case PictureContent::Bmp: return "bmp";
        case PictureContent::Jpeg: return "jpeg";
        case PictureContent::Gif: return "gif";
        case PictureContent::Tiff: return "tiff";
        case PictureContent::PortablePixmap: return "ppm";
        case PictureContent::Webp: return "webp";
        case PictureContent::Avif: return "avif";
        case PictureContent::JpegXl: return "jxl";
        case PictureContent::Heif: return "heif";
        case PictureContent::Icon: return "ico";
        default: return nullptr;
    }
}

PictureRef decodeDeliveredPicture(const std::vector<unsigned char>& bytes, bool complete, PictureDigest digest,
                                  const PictureFormat* format) {
    const char* decoder = qtDecoderName(format);
    if (!complete || !decoder) return digestOnlyPicture(digest);
    // Wraps the bytes without copying them; the reader only reads.
    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, decoder);
    // Looking for another decoder that takes the bytes would hand them to every plugin installed, a
    // drawing's renderer among them.
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kDecodeAllocationLimitMiB);
    // The header's size, where the format tells it, rules out a picture beyond the bound before any
    // pixel is allocated.
    const QSize size = reader.size();
    if (size.isValid() && std::int64_t{size.width()} * size.height() > kMaxDecodedPixels)
        return digestOnlyPicture(digest);
    QImage image;
    try {
        if (!reader.read(&image) || image.isNull() || std::int64_t{image.width()} * image.height() > kMaxDecodedPixels)
            return digestOnlyPicture(digest);
        return std::make_shared<const QtPicture>(std::move(image), digest);
    } catch (const std::bad_alloc&) {
        // No memory for the pixels now: still a picture that arrived, judged by its data.
        return digestOnlyPicture(digest);
    }
}

}  // namespace zanthrel::qt
