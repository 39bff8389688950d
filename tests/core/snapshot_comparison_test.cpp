// The comparison's verdicts and failures, the guard's own against the literal reading: the guard's may
// skip work but must never answer differently or fail differently.
#include <gtest/gtest.h>

#include <limits>

#include "compare/snapshot_comparison.h"
#include "core/runtime_error.h"
#include "story_support.h"
#include "testing/literal_comparison.h"

#if defined(__SANITIZE_ADDRESS__)
// The allocation-failure cases need malloc to report failure instead of aborting the run.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace zanthrel {
void PrintTo(ComparisonMode mode, std::ostream* out) {
    *out << (mode == ComparisonMode::Literal ? "Literal" : "Covered");
}
}  // namespace zanthrel

namespace zanthrel::test {
namespace {

using sim::SimPicture;
using sim::withPixel;

// A picture that remembers every header and scan-line range it was read with. It shows no rows, so the
// fast mode has to read it as it reads a bitmap in the system's graphics memory.
class RecordingPicture final : public Picture {
public:
    explicit RecordingPicture(PictureRef inner) : inner_(std::move(inner)) { headers.reserve(16); }
    std::int32_t width() const override { return inner_->width(); }
    std::int32_t height() const override { return inner_->height(); }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override {
        headers.push_back(header);
        ranges.emplace_back(firstScan, lines);
        inner_->readScanLines(header, firstScan, lines, bits);
    }
    mutable std::vector<BitmapInfoHeader> headers;
    mutable std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;  // first scan line, count

private:
    PictureRef inner_;
};

BitmapInfoHeader headerFor(std::int32_t width, std::int32_t height) {
    return {40, width, height, 1, 32, 0};
}

SnapshotHolder holder(PictureRef picture, float width = kHolderScaleWidthTwips,
                      float height = kHolderScaleHeightTwips) {
    return {width, height, std::move(picture)};
}

class Comparison : public ::testing::TestWithParam<ComparisonMode> {
protected:
    bool compare(const SnapshotHolder& first, const SnapshotHolder& second) {
        const bool same = comparison->identical(first, second);
        if (LiteralComparison* literal = this->literal()) {
            EXPECT_FALSE(literal->bufferA().hasStorage() || literal->bufferB().hasStorage())
                << "a successful call leaves both buffers empty";
        }
        return same;
    }
    ErrorKind failureOf(const SnapshotHolder& first, const SnapshotHolder& second) {
        try {
            comparison->identical(first, second);
        } catch (const RuntimeError& error) {
            return error.kind();
        }
        ADD_FAILURE() << "the comparison did not fail";
        return ErrorKind::PlatformFailure;
    }
    LiteralComparison* literal() { return dynamic_cast<LiteralComparison*>(comparison.get()); }
    std::unique_ptr<SnapshotComparison> comparison = makeComparison(GetParam());
};

TEST_P(Comparison, VerdictsFollowThePixelsRead) {
    std::vector<std::uint32_t> pixels(12);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x00101010u * static_cast<std::uint32_t>(i + 1);
    const PictureRef picture = SimPicture::fromPixels(4, 3, pixels);

    EXPECT_TRUE(compare(holder(picture), holder(picture)));
    EXPECT_TRUE(compare(holder(picture), holder(SimPicture::fromPixels(4, 3, pixels))));
    EXPECT_FALSE(compare(holder(picture), holder(withPixel(picture, 2, 1, pixels[6] | 0xFF000000u))))
        << "the top byte counts";
    // With a region exactly the picture's size, its top-right pixel is the buffers' last element.
    EXPECT_FALSE(compare(holder(picture, 4, 3), holder(withPixel(picture, 3, 0, 0), 4, 3)));
    EXPECT_TRUE(compare(holder(nullptr), holder(nullptr)));
    EXPECT_TRUE(compare(holder(nullptr), holder(SimPicture::solid(4, 3, 0)))) << "no picture reads as all-zero pixels";
}

TEST_P(Comparison, BothHoldersAreReadWithTheFirstHoldersRegionWidenedOnlyForLargerPictures) {
    const PictureRef pixels = SimPicture::solid(4, 3, 0x112233);
    auto first = std::make_shared<RecordingPicture>(pixels);
    auto second = std::make_shared<RecordingPicture>(pixels);
    EXPECT_TRUE(compare(holder(first, 4, 3), holder(second, 0, 0))) << "the second holder's size plays no part";
    EXPECT_TRUE(compare(holder(first), holder(second, 9000, 9000)));
    auto wide = std::make_shared<RecordingPicture>(SimPicture::solid(4700, 2, 0x112233));
    EXPECT_FALSE(compare(holder(first), holder(wide)));

    if (GetParam() == ComparisonMode::Literal) {
        const std::vector expected{headerFor(4, 3), headerFor(4680, 2835), headerFor(4700, 2835)};
        EXPECT_EQ(first->headers, expected);
        EXPECT_EQ(second->headers, std::vector(expected.begin(), expected.end() - 1));
        EXPECT_EQ(wide->headers.back(), headerFor(4700, 2835)) << "one header for both reads";
    } else {
        // The covered columns sit where the region's header puts them, read with each picture's own size.
        EXPECT_EQ(first->headers, std::vector(3, headerFor(4, 3)));
        EXPECT_EQ(second->headers, std::vector(2, headerFor(4, 3)));
        EXPECT_EQ(wide->headers, std::vector{headerFor(4700, 2)});
    }
}

TEST_P(Comparison, FailuresComeBeforeAnyPixelIsReadAndLeaveTheBuffersAsTheFailureFoundThem) {
    auto spy = std::make_shared<RecordingPicture>(SimPicture::solid(4, 3, 1));
    struct Case {
        float width, height;
        ErrorKind kind;
    };
    for (const Case c : {Case{0, 3, ErrorKind::SubscriptOutOfRange}, Case{4, 0.4f, ErrorKind::SubscriptOutOfRange},
                         Case{3e9f, 1, ErrorKind::Overflow}, Case{1, -3e9f, ErrorKind::Overflow},
                         Case{46341, 46341, ErrorKind::Overflow}, Case{-65536, 32768, ErrorKind::Overflow}}) {
        EXPECT_EQ(failureOf(holder(spy, c.width, c.height), holder(spy)), c.kind) << c.width << "x" << c.height;
    }
    EXPECT_TRUE(spy->headers.empty());
    if (GetParam() == ComparisonMode::Covered) {
        // No pixel buffer is ever made, so none can be missing: the region's 53 MB are not needed.
        AddressSpaceCap cap(16 << 20);
        ASSERT_TRUE(cap.applied());
        EXPECT_FALSE(compare(holder(spy), holder(nullptr)));
        EXPECT_TRUE(compare(holder(spy), holder(spy)));
        return;
    }
    // The zero-size failures recreated both buffers without elements; the overflows came before any
    // buffer was touched, so those buffers are still there.
    LiteralComparison& buffers = *literal();
    EXPECT_TRUE(buffers.bufferA().hasStorage() && buffers.bufferB().hasStorage());
    EXPECT_EQ(buffers.bufferA().upperBound(), -1);

    // Memory for one buffer but not two: A keeps what the failed call gave it, B keeps its old state.
    buffers.bufferB().free();
    {
        AddressSpaceCap cap(80 << 20);  // one buffer of the holders' region needs about 53 MB
        ASSERT_TRUE(cap.applied());
        EXPECT_EQ(failureOf(holder(spy), holder(nullptr)), ErrorKind::OutOfMemory);
    }
    EXPECT_EQ(buffers.bufferA().upperBound(), 4680 * 2835 - 1);
    EXPECT_FALSE(buffers.bufferB().hasStorage());
    EXPECT_TRUE(spy->headers.empty());
    EXPECT_TRUE(compare(holder(spy), holder(spy)));
}

INSTANTIATE_TEST_SUITE_P(BothModes, Comparison, ::testing::Values(ComparisonMode::Literal, ComparisonMode::Covered),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

// A 640-pixel line is 2560 bytes: a band holds this many of them.
constexpr std::uint32_t kLinesPerBand = kBandBytes / 2560;

TEST(FastComparison, ReadsPicturesWithoutRowsInCacheSizedBandsAndStopsAtTheFirstDifferentBand) {
    std::vector<std::uint32_t> pixels(640 * 1000);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) >> 8;
    const PictureRef base = SimPicture::fromPixels(640, 1000, pixels);
    CoveredPixelComparison comparison;

    // Top-right is the last pixel in scan-line order: every band is read, each once, in order.
    auto first = std::make_shared<RecordingPicture>(base);
    auto lastDiffers = std::make_shared<RecordingPicture>(withPixel(base, 639, 0, 0));
    EXPECT_FALSE(comparison.identical(holder(first), holder(lastDiffers)));
    for (const auto* picture : {first.get(), lastDiffers.get()}) {
        EXPECT_EQ(picture->headers, std::vector(picture->headers.size(), headerFor(640, 1000)));
        std::uint32_t next = 0;
        for (const auto& [firstScan, lines] : picture->ranges) {
            EXPECT_EQ(firstScan, next);
            EXPECT_TRUE(lines >= 1 && lines <= kLinesPerBand) << lines;
            next = firstScan + lines;
        }
        EXPECT_EQ(next, 1000u);
    }

    // Bottom-left is the first: one band each.
    auto again = std::make_shared<RecordingPicture>(base);
    auto firstDiffers = std::make_shared<RecordingPicture>(withPixel(base, 0, 999, 0));
    EXPECT_FALSE(comparison.identical(holder(again), holder(firstDiffers)));
    EXPECT_EQ(again->ranges, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, kLinesPerBand}}));
    EXPECT_EQ(firstDiffers->ranges, again->ranges);
    EXPECT_TRUE(comparison.identical(holder(again), holder(SimPicture::fromPixels(640, 1000, pixels))));
}

TEST(FastComparison, MemoryFollowsThePicturesNotTheRegionTheyWiden) {
    // 16384 × 1 against 1 × 16384 widens the region to 16384 × 16384: 1 GB per buffer if it were filled.
    std::vector<std::uint32_t> line(16384, 0);
    line[0] = 0x00ABCDEF;
    const PictureRef wide = SimPicture::fromPixels(16384, 1, line);
    line.front() = 0;
    line.back() = 0x00ABCDEF;  // the bottom pixel of the tall picture, where the wide one has its own
    const PictureRef tall = SimPicture::fromPixels(1, 16384, line);
    line.front() = 1;
    const PictureRef tallTopDiffers = SimPicture::fromPixels(1, 16384, line);

    CoveredPixelComparison comparison;
    AddressSpaceCap cap(32 << 20);
    ASSERT_TRUE(cap.applied());
    for (const bool throughScanLines : {false, true}) {
        const auto shown = [&](const PictureRef& picture) -> PictureRef {
            return throughScanLines ? std::make_shared<RecordingPicture>(picture) : picture;
        };
        EXPECT_TRUE(comparison.identical(holder(shown(wide)), holder(shown(tall)))) << throughScanLines;
        EXPECT_FALSE(comparison.identical(holder(shown(wide)), holder(shown(tallTopDiffers))));
        EXPECT_FALSE(comparison.identical(holder(shown(tall)), holder(shown(withPixel(wide, 16383, 0, 2)))));
    }
}

// A picture in graphics memory with one scan line longer than any band may be.
class EndlessLine final : public Picture {
public:
    std::int32_t width() const override { return static_cast<std::int32_t>(kMaxLineBytes / 4 + 1); }
    std::int32_t height() const override { return 1; }
    void readScanLines(const BitmapInfoHeader&, std::uint32_t, std::uint32_t, std::int32_t*) const noexcept override {
        ADD_FAILURE() << "read into a band beyond the bound";
    }
};

TEST(FastComparison, RefusesABandBeyondItsBoundRatherThanGrowWithOneScanLine) {
    CoveredPixelComparison fast;
    try {
        fast.identical(holder(std::make_shared<EndlessLine>(), 1, 1), holder(nullptr));
        ADD_FAILURE() << "compared";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::OutOfMemory);
    }
}

// A picture too large to decode: no pixels, only the digest of what its owner delivered.
class DigestOnlyPicture final : public Picture {
public:
    explicit DigestOnlyPicture(std::uint64_t digest) : digest_{digest, 1} {}
    std::int32_t width() const override { return 40000; }
    std::int32_t height() const override { return 30000; }
    void readScanLines(const BitmapInfoHeader&, std::uint32_t, std::uint32_t, std::int32_t*) const noexcept override {}
    bool hasPixels() const noexcept override { return false; }
    PictureDigest digest() const noexcept override { return digest_; }

private:
    PictureDigest digest_;
};

TEST(FastComparison, JudgesAPictureKnownOnlyByItsDigestByThatDigest) {
    const auto one = std::make_shared<DigestOnlyPicture>(1);
    CoveredPixelComparison fast;
    EXPECT_TRUE(fast.identical(holder(one), holder(std::make_shared<DigestOnlyPicture>(1))));
    EXPECT_FALSE(fast.identical(holder(one), holder(std::make_shared<DigestOnlyPicture>(2))));
    // Read literally it is all zeros, the same as no picture; it arrived all the same.
    EXPECT_FALSE(fast.identical(holder(one), holder(nullptr)));
    EXPECT_FALSE(fast.identical(holder(SimPicture::solid(2, 2, 0)), holder(one)));
}

TEST(CompareBuffers, NeedsEqualUpperBoundsAndEqualElements) {
    LiteralComparison comparison;
    comparison.bufferA().recreate(3);
    comparison.bufferB().recreate(4);
    EXPECT_FALSE(comparison.buffersEqual()) << "different upper bounds, though every shared element is 0";
    comparison.bufferB().recreate(3);
    EXPECT_TRUE(comparison.buffersEqual());
    comparison.bufferB().data()[3] = std::numeric_limits<std::int32_t>::min();
    EXPECT_FALSE(comparison.buffersEqual()) << "last element, top bit only";
}

}  // namespace
}  // namespace zanthrel::test
