#include "pictures/digest_only_picture.h"

namespace zanthrel {
namespace {

class DigestOnlyPicture final : public Picture {
public:
    DigestOnlyPicture(PictureDigest digest, std::int32_t width, std::int32_t height) noexcept
        : digest_(digest), width_(width), height_(height) {}
    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void readScanLines(const BitmapInfoHeader&, std::uint32_t, std::uint32_t, std::int32_t*) const noexcept override {}
    bool hasPixels() const noexcept override { return false; }
    PictureDigest digest() const noexcept override { return digest_; }

private:
    PictureDigest digest_;
    std::int32_t width_;
    std::int32_t height_;
};

}  // namespace

PictureRef digestOnlyPicture(PictureDigest digest, std::int32_t width, std::int32_t height) {
    return std::make_shared<DigestOnlyPicture>(digest, width < 0 ? 0 : width, height < 0 ? 0 : height);
}

}  // namespace zanthrel
