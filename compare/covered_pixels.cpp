#include "compare/covered_pixels.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/runtime_error.h"

namespace zanthrel {
namespace {

[[noreturn]] void throwOutOfMemory() {
    throw RuntimeError(ErrorKind::OutOfMemory, "Out of memory");
}

bool allZero(const std::uint32_t* pixels, std::size_t count) noexcept {
    // OR-ing a block at a time vectorises; checking between blocks still stops soon after a set pixel.
    constexpr std::size_t kBlock = 1024;
    for (std::size_t done = 0; done < count; done += kBlock) {
        const std::size_t end = std::min(count, done + kBlock);
        std::uint32_t any = 0;
        for (std::size_t i = done; i < end; ++i) any |= pixels[i];
        if (any != 0) return false;
    }
    return true;
}

// The scan lines one picture writes into a width × height region, bottom line first.
class ScanLineSource {
public:
    ScanLineSource(const Picture* picture, std::int32_t regionWidth, std::int32_t regionHeight,
                   std::vector<std::int32_t>& band, std::size_t bandBytes)
        : picture_(picture), band_(band) {
        if (!picture) return;
        const std::int32_t pictureWidth = picture->width(), pictureHeight = picture->height();
        if (pictureWidth <= 0 || pictureHeight <= 0) return;
        width_ = std::min(pictureWidth, regionWidth);
        height_ = std::min(pictureHeight, regionHeight);
        pictureHeight_ = pictureHeight;
        rows_ = picture->rows();
        if (rows_.top && rows_.stride >= pictureWidth) return;
        rows_ = {};
        const std::size_t lineBytes = static_cast<std::size_t>(width_) * sizeof(std::int32_t);
        if (lineBytes > kMaxLineBytes) throwOutOfMemory();
        bandLines_ = static_cast<std::int32_t>(std::clamp<std::size_t>(bandBytes / lineBytes, 1, height_));
        const std::size_t elements = static_cast<std::size_t>(bandLines_) * static_cast<std::size_t>(width_);
        try {
            // From empty, so that the band gets exactly its size rather than the vector's growth margin.
            if (band_.size() < elements) std::vector<std::int32_t>().swap(band_);
            band_.resize(std::max(band_.size(), elements));
        } catch (const std::bad_alloc&) {
            throwOutOfMemory();
        }
    }

    // Columns covered on `scan`; 0 above the picture.
    std::int32_t widthOn(std::int32_t scan) const noexcept { return scan < height_ ? width_ : 0; }
    std::int32_t height() const noexcept { return height_; }

    // Scan line `scan` (< height()), valid until a line outside the current band is asked for.
    const std::uint32_t* line(std::int32_t scan) noexcept {
        if (rows_.top) return rows_.top + (pictureHeight_ - 1 - std::int64_t{scan}) * rows_.stride;
        if (scan < bandFirst_ || scan >= bandEnd_) readBand(scan);
        return reinterpret_cast<const std::uint32_t*>(band_.data()) +
               static_cast<std::size_t>(scan - bandFirst_) * static_cast<std::size_t>(width_);
    }

private:
    void readBand(std::int32_t scan) noexcept {
        const std::int32_t lines = std::min(bandLines_, height_ - scan);
        // Whatever the reader leaves untouched reads as zero, as in a freshly zero-filled buffer.
        std::fill_n(band_.begin(), static_cast<std::size_t>(lines) * static_cast<std::size_t>(width_), 0);
        // The picture's own width clipped to the region lays out the covered columns of each scan line
        // exactly as the region's full width would, without the columns nobody covers.
        const BitmapInfoHeader header{40, width_, height_, 1, 32, 0};
        picture_->readScanLines(header, static_cast<std::uint32_t>(scan), static_cast<std::uint32_t>(lines),
                                band_.data());
        bandFirst_ = scan;
        bandEnd_ = scan + lines;
    }

    const Picture* picture_;
    std::vector<std::int32_t>& band_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t pictureHeight_ = 0;
    PixelRows rows_;
    std::int32_t bandLines_ = 0;  // lines a band holds
    std::int32_t bandFirst_ = 0;  // the lines read into it, none at first
    std::int32_t bandEnd_ = 0;
};

// One scan line of both pictures: equal where both cover it, zero where only one does.
bool linesAgree(const std::uint32_t* first, std::int32_t firstWidth, const std::uint32_t* second,
                std::int32_t secondWidth) noexcept {
    const std::int32_t common = std::min(firstWidth, secondWidth);
    if (common > 0 && std::memcmp(first, second, static_cast<std::size_t>(common) * sizeof(std::uint32_t)) != 0)
        return false;
    if (firstWidth > common) return allZero(first + common, static_cast<std::size_t>(firstWidth - common));
    if (secondWidth > common) return allZero(second + common, static_cast<std::size_t>(secondWidth - common));
    return true;
}

// A band that had to hold one very wide scan line is not kept for the whole program.
void trim(std::vector<std::int32_t>& band, std::size_t bandBytes) noexcept {
    if (band.capacity() * sizeof(std::int32_t) > bandBytes) std::vector<std::int32_t>().swap(band);
}

}  // namespace

bool coveredPixelsEqual(const Picture* first, const Picture* second, std::int32_t width, std::int32_t height,
                        ScanBands& bands, std::size_t bandBytes) {
    if (width <= 0 || height <= 0) return true;  // nothing is written into such a region
    struct Trim {
        ScanBands& bands;
        std::size_t bytes;
        ~Trim() {
            trim(bands.first, bytes);
            trim(bands.second, bytes);
        }
    } trimAfterwards{bands, bandBytes};

    ScanLineSource a(first, width, height, bands.first, bandBytes);
    ScanLineSource b(second, width, height, bands.second, bandBytes);
    const std::int32_t lines = std::max(a.height(), b.height());
    for (std::int32_t scan = 0; scan < lines; ++scan) {
        const std::int32_t widthA = a.widthOn(scan), widthB = b.widthOn(scan);
        const std::uint32_t* lineA = widthA > 0 ? a.line(scan) : nullptr;
        const std::uint32_t* lineB = widthB > 0 ? b.line(scan) : nullptr;
        if (!linesAgree(lineA, widthA, lineB, widthB)) return false;
    }
    return true;
}

}  // namespace zanthrel
