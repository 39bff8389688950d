// The fast comparison must reach the literal one's verdict, or fail the same way, for any pictures and
// any region: pictures smaller or larger than the region, missing, read in place or through scan lines
// by a reader that may give up part-way, equal where both cover the region or not, in bands of any size.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "compare/covered_pixels.h"
#include "compare/snapshot_comparison.h"
#include "core/runtime_error.h"
#include "pictures/dib_stand_in.h"
#include "testing/literal_comparison.h"

namespace {

using namespace zanthrel;

// The literal reading fills two buffers of the whole region; beyond this many pixels it is not run.
constexpr std::int64_t kLiteralPixelCap = std::int64_t{1} << 18;

class FuzzPicture final : public Picture {
public:
    FuzzPicture(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels, bool showsRows,
                std::uint32_t unreadFrom)
        : width_(width), height_(height), pixels_(std::move(pixels)), showsRows_(showsRows), unreadFrom_(unreadFrom) {}
    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override {
        // A reader that gives up from scan line `unreadFrom` on leaves those lines as they were.
        if (firstScan >= unreadFrom_) return;
        lines = std::min(lines, unreadFrom_ - firstScan);
        copyIntoBottomUpDib(pixels_.data(), width_, height_, width_, header, firstScan, lines, bits);
    }
    PixelRows rows() const noexcept override {
        return showsRows_ && unreadFrom_ == UINT32_MAX ? PixelRows{pixels_.data(), width_} : PixelRows{};
    }
    const std::vector<std::uint32_t>& pixels() const noexcept { return pixels_; }

private:
    std::int32_t width_, height_;
    std::vector<std::uint32_t> pixels_;
    bool showsRows_;
    std::uint32_t unreadFrom_;
};

std::uint32_t pixel(FuzzedDataProvider& data) {
    // Mostly zeros and a few values, so that equal and zero areas are common.
    switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1: return 0;
        case 2: return data.PickValueInArray({0x00FFFFFFu, 0xFF000000u, 0x80000001u, 1u});
        default: return data.ConsumeIntegral<std::uint32_t>();
    }
}

std::shared_ptr<const FuzzPicture> picture(FuzzedDataProvider& data, std::int32_t width, std::int32_t height,
                                           const FuzzPicture* base) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const bool zeroElsewhere = data.ConsumeBool();
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            // From a base picture: its pixel on the same scan line and column, where it has one.
            const std::int32_t baseRow = base ? base->height() - height + y : -1;
            auto& value = pixels[static_cast<std::size_t>(y) * width + x];
            if (base && baseRow >= 0 && x < base->width())
                value = base->pixels()[static_cast<std::size_t>(baseRow) * base->width() + x];
            else if (!(base && zeroElsewhere) && data.remaining_bytes() > 0)
                value = pixel(data);
        }
    for (int edits = data.ConsumeIntegralInRange(0, 2); edits > 0 && !pixels.empty(); --edits)
        pixels[data.ConsumeIntegralInRange<std::size_t>(0, pixels.size() - 1)] ^= data.ConsumeIntegral<std::uint32_t>();
    const bool showsRows = data.ConsumeBool();
    const auto unreadFrom = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::uint32_t>(0, height) : UINT32_MAX;
    return std::make_shared<FuzzPicture>(width, height, std::move(pixels), showsRows, unreadFrom);
}

std::string outcome(SnapshotComparison& comparison, const SnapshotHolder& first, const SnapshotHolder& second) {
    try {
        return comparison.identical(first, second) ? "same" : "different";
    } catch (const RuntimeError& error) {
        return "failure " + std::to_string(static_cast<int>(error.kind()));
    }
}

[[noreturn]] void mismatch(const char* what, const std::string& literal, const std::string& fast) {
    std::fprintf(stderr, "%s: literal %s, fast %s\n", what, literal.c_str(), fast.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    // Regions from a few negative sizes to beyond 32 bits; pictures mostly of a few dozen pixels a side, a
    // band holding anything from part of a scan line to many lines.
    const auto side = [&data] {
        return data.ConsumeBool() ? static_cast<float>(data.ConsumeIntegralInRange(-2, 300))
                                  : data.ConsumeFloatingPointInRange(-1e10f, 1e10f);
    };
    const float regionWidth = side(), regionHeight = side();
    const auto pictureSide = [&data] {
        return data.ConsumeIntegralInRange<std::int32_t>(0, data.ConsumeBool() ? 40 : 300);
    };

    std::shared_ptr<const FuzzPicture> first, second;
    if (data.ConsumeBool()) {
        const std::int32_t width = pictureSide(), height = pictureSide();
        first = picture(data, width, height, nullptr);
    }
    switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0: break;
        case 1: second = first; break;
        case 2: {  // from the first picture: same or other size, same pixels where both cover
            const std::int32_t width = pictureSide(), height = pictureSide();
            second = picture(data, width, height, first.get());
            break;
        }
        default: {
            const std::int32_t width = pictureSide(), height = pictureSide();
            second = picture(data, width, height, nullptr);
        }
    }
    if (data.ConsumeBool()) std::swap(first, second);
    const SnapshotHolder a{regionWidth, regionHeight, first};
    const SnapshotHolder b{0, 0, second};

    // The region the literal reading would fill: the first holder's, widened to cover larger pictures.
    std::int64_t width = 0, height = 0;
    try {
        width = roundToInt32(regionWidth);
        height = roundToInt32(regionHeight);
    } catch (const RuntimeError&) {
    }
    if (width > 0 && height > 0)
        for (const auto* p : {first.get(), second.get()})
            if (p)
                width = std::max<std::int64_t>(width, p->width()), height = std::max<std::int64_t>(height, p->height());

    CoveredPixelComparison fast;
    const std::string fastOutcome = outcome(fast, a, b);
    if (std::abs(width * height) > kLiteralPixelCap) return 0;
    LiteralComparison literal;
    const std::string literalOutcome = outcome(literal, a, b);
    if (fastOutcome != literalOutcome) mismatch("comparison", literalOutcome, fastOutcome);

    if (literalOutcome.starts_with("failure") || width <= 0 || height <= 0) return 0;
    ScanBands bands;
    const auto bandBytes = data.ConsumeIntegralInRange<std::size_t>(1, 4096);
    const std::string banded = coveredPixelsEqual(first.get(), second.get(), static_cast<std::int32_t>(width),
                                                  static_cast<std::int32_t>(height), bands, bandBytes)
                                   ? "same"
                                   : "different";
    if (banded != literalOutcome) mismatch("bands", literalOutcome, banded);
    return 0;
}
