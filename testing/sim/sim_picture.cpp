#include "testing/sim/sim_picture.h"

#include <stdexcept>

#include "pictures/content_digest.h"
#include "pictures/dib_stand_in.h"

namespace zanthrel::sim {

SimPicture::SimPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    if (width < 0 || height < 0 || pixels_.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::invalid_argument("pixel count does not match the picture's size");
    digest_ = digestOf(pixels_.data(), pixels_.size() * sizeof(std::uint32_t));
}

PictureRef SimPicture::solid(std::int32_t width, std::int32_t height, std::uint32_t colour) {
    if (width < 0 || height < 0) throw std::invalid_argument("a picture's size cannot be negative");
    return std::make_shared<SimPicture>(width, height,
                                        std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, colour));
}

PictureRef SimPicture::fromPixels(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels) {
    return std::make_shared<SimPicture>(width, height, std::move(pixels));
}

void SimPicture::readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                               std::int32_t* bits) const noexcept {
    copyIntoBottomUpDib(pixels_.data(), width_, height_, width_, header, firstScan, lines, bits);
}

PictureRef withPixel(const PictureRef& base, std::int32_t x, std::int32_t y, std::uint32_t colour) {
    const auto& source = dynamic_cast<const SimPicture&>(*base);
    if (x < 0 || y < 0 || x >= source.width() || y >= source.height())
        throw std::out_of_range("the pixel lies outside the picture");
    std::vector<std::uint32_t> pixels = source.pixels();
    pixels[static_cast<std::size_t>(y) * source.width() + x] = colour;
    return SimPicture::fromPixels(source.width(), source.height(), std::move(pixels));
}

}  // namespace zanthrel::sim
