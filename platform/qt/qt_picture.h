#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

#include "platform/picture.h"

namespace zanthrel::qt {

// A clipboard picture decoded by Qt, kept as rows of 0x00RRGGBB pixels from the top: the values a
// 32-bit device-independent bitmap holds, so equal pictures read as equal buffers on every platform.
class QtPicture final : public Picture {
public:
    // Throws std::bad_alloc when the pixels cannot be stored; a null image gives a 0 × 0 picture.
    explicit QtPicture(const QImage& image);

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override;

    // A view on the pixels for painting; valid while this picture lives.
    QImage view() const;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace zanthrel::qt
