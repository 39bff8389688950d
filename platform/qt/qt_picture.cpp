#include "platform/qt/qt_picture.h"

#include "platform/dib_stand_in.h"

namespace zanthrel::qt {

QtPicture::QtPicture(const QImage& image) {
    if (image.isNull()) return;
    // Transparent pixels keep their colour channels; a bitmap on the clipboard has no alpha either.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    width_ = rgb.width();
    height_ = rgb.height();
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        const auto* source = reinterpret_cast<const std::uint32_t*>(rgb.constScanLine(y));
        std::uint32_t* target = pixels_.data() + static_cast<std::size_t>(y) * width_;
        // Qt keeps 0xFF in the top byte of an opaque pixel; a DIB keeps 0 there.
        for (int x = 0; x < width_; ++x) target[x] = source[x] & 0x00FFFFFFu;
    }
}

void QtPicture::readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                              std::int32_t* bits) const noexcept {
    copyIntoBottomUpDib(pixels_.data(), width_, height_, width_, header, firstScan, lines, bits);
}

QImage QtPicture::view() const {
    if (pixels_.empty()) return {};
    // RGB32 ignores the top byte when painting, so the stored values can be shown as they are.
    return QImage(reinterpret_cast<const uchar*>(pixels_.data()), width_, height_, width_ * 4, QImage::Format_RGB32);
}

}  // namespace zanthrel::qt
