#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/picture.h"

namespace zanthrel::sim {

// A picture made from a pixel array: rows from the top, each pixel 0x00RRGGBB.
class SimPicture final : public Picture {
public:
    SimPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);

    static PictureRef solid(std::int32_t width, std::int32_t height, std::uint32_t colour);
    static PictureRef fromPixels(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override;
    // Of the pixels: a simulated owner delivers exactly them.
    PictureDigest digest() const noexcept override { return digest_; }
    PixelRows rows() const noexcept override { return {pixels_.data(), width_}; }

    const std::vector<std::uint32_t>& pixels() const noexcept { return pixels_; }

private:
    std::int32_t width_;
    std::int32_t height_;
    std::vector<std::uint32_t> pixels_;
    PictureDigest digest_;
};

// The same picture with one pixel changed: a new capture that differs from `base` in one place.
PictureRef withPixel(const PictureRef& base, std::int32_t x, std::int32_t y, std::uint32_t colour);

}  // namespace zanthrel::sim
