// Random clipboard stories run through two desktops side by side, one reading every pixel on every tick
// and one taking the product's shortcut: every tick must reach the same verdict and leave the same
// counter, log and holders.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <random>

#include "compare/covered_pixels.h"
#include "core/runtime_error.h"
#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimDesktop;
using sim::SimPicture;
using sim::withPixel;

enum class Step { NewPicture, SamePictureAgain, SamePixelsNewObject, Text, Empty, HoldOrRelease, WindowEnds, Resume };

TEST(LiteralAndFast, AgreeOnEveryTickOfRandomStories) {
    std::mt19937 random(20261207);
    SimDesktop literal(ComparisonMode::Literal);
    SimDesktop fast(ComparisonMode::Covered);
    const std::array<SimDesktop*, 2> desks{&literal, &fast};
    // Another program that empties the clipboard, one per desktop.
    const std::array emptiers{std::make_unique<sim::SimClipboardService>(literal.clipboard()),
                              std::make_unique<sim::SimClipboardService>(fast.clipboard())};
    for (SimDesktop* desk : desks) {
        // Full-size holders cost a literal tick about 20 ms; a region of a few twips keeps hundreds of
        // ticks quick, and pictures larger than it exercise the region's widening as well.
        GuardState& state = reachIntoState(*desk);
        state.detection.firstHolder.scaleWidth = state.detection.secondHolder.scaleWidth = 6;
        state.detection.firstHolder.scaleHeight = state.detection.secondHolder.scaleHeight = 5;
        desk->start();
        desk->clickStartPause();
    }

    const auto randomPicture = [&] {
        const int width = 3 + static_cast<int>(random() % 6), height = 3 + static_cast<int>(random() % 5);
        // Mostly one colour, so that a fresh picture often repeats an earlier one's pixels.
        constexpr std::uint32_t palette[] = {0, 0x00FFFFFF, 0xFF000000, 0x00123456};
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height));
        for (auto& pixel : pixels) pixel = random() % 5 == 0 ? palette[random() % 4] : 0;
        return SimPicture::fromPixels(width, height, std::move(pixels));
    };
    PictureRef current = randomPicture();
    bool held = false;
    long ticks = 0, verdictsOfChange = 0;

    for (int step = 0; step < 400; ++step) {
        const auto kind = static_cast<Step>(random() % 8);
        if (kind == Step::NewPicture) current = randomPicture();
        if (kind == Step::SamePixelsNewObject)
            current = SimPicture::fromPixels(current->width(), current->height(),
                                             dynamic_cast<const SimPicture&>(*current).pixels());
        for (std::size_t i = 0; i < desks.size(); ++i) {
            SimDesktop& desk = *desks[i];
            desk.timeText = std::to_string(step);
            switch (kind) {
                case Step::NewPicture:
                case Step::SamePictureAgain:
                case Step::SamePixelsNewObject: desk.copyPicture(current); break;
                case Step::Text: desk.copyText("text"); break;
                case Step::Empty: try { emptiers[i]->clear();
                    } catch (const RuntimeError&) {  // held open by the viewer
                    }
                    break;
                case Step::HoldOrRelease:
                    if (held)
                        desk.program("Viewer").close();
                    else
                        desk.program("Viewer").open();
                    break;
                case Step::WindowEnds: desk.guard().onTimer(GuardTimer::CountingWindow); break;
                case Step::Resume:
                    if (desk.state().blocking.on) desk.clickEnableDisable();
                    if (desk.state().monitoring.on == false) desk.clickStartPause();
                    break;
            }
        }
        if (kind == Step::HoldOrRelease) held = !held;

        for (int tick = 1 + static_cast<int>(random() % 2); tick > 0; --tick, ++ticks) {
            const long literalBefore = countCaptures(literal), fastBefore = countCaptures(fast);
            literal.tick();
            fast.tick();
            const bool literalCounted = countCaptures(literal) > literalBefore;
            const bool fastCounted = countCaptures(fast) > fastBefore;
            ASSERT_EQ(literalCounted, fastCounted) << "verdict at step " << step;
            verdictsOfChange += fastCounted;
            ASSERT_EQ(describe(literal), describe(fast)) << "step " << step;
            ASSERT_EQ(literal.log(), fast.log()) << "step " << step;
            ASSERT_EQ(literal.state().detection.firstHolder.picture, fast.state().detection.firstHolder.picture)
                << "step " << step;
            ASSERT_EQ(literal.state().detection.secondHolder.picture, fast.state().detection.secondHolder.picture)
                << "step " << step;
            ASSERT_EQ(literal.state().detection.nextSample, fast.state().detection.nextSample)
                << "step " << step;
            ASSERT_EQ(literal.messageBoxes().size(), fast.messageBoxes().size()) << "step " << step;
        }
    }
    // A story that never counted, or never raised the alarm, would prove little.
    EXPECT_GT(verdictsOfChange, 40) << "of " << ticks << " ticks";
    EXPECT_GE(fast.messageBoxes().size(), 3u);
}

// A picture read only through readScanLines, as a bitmap in graphics memory is. From scan line
// `unreadFrom` on it writes nothing, as a reader that fails part of the way does.
class ScanLinesOnly final : public Picture {
public:
    ScanLinesOnly(PictureRef inner, std::uint32_t unreadFrom) : inner_(std::move(inner)), unreadFrom_(unreadFrom) {}
    std::int32_t width() const override { return inner_->width(); }
    std::int32_t height() const override { return inner_->height(); }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override {
        if (firstScan < unreadFrom_)
            inner_->readScanLines(header, firstScan, std::min(lines, unreadFrom_ - firstScan), bits);
    }

private:
    PictureRef inner_;
    std::uint32_t unreadFrom_;
};

// The verdict, or the kind of failure.
std::string outcome(SnapshotComparison& comparison, const SnapshotHolder& first, const SnapshotHolder& second) {
    try {
        return comparison.identical(first, second) ? "same" : "different";
    } catch (const RuntimeError& error) {
        return "failure " + std::to_string(static_cast<int>(error.kind()));
    }
}

class RandomPictures {
public:
    explicit RandomPictures(std::uint32_t seed) : random_(seed) {}

    int below(int bound) { return static_cast<int>(random_() % static_cast<unsigned>(bound)); }

    // Mostly zeros: pictures that differ only by zeros beyond each other must compare equal.
    std::uint32_t pixel() {
        constexpr std::uint32_t palette[] = {0x00FFFFFF, 0xFF000000, 0x00123456, 0x80000001, 1};
        return below(3) == 0 ? palette[below(5)] : 0;
    }

    // A size smaller than, equal to or larger than the region's side, at least 1.
    int sideNear(int region) {
        if (region <= 0) return 1 + below(8);
        switch (below(3)) {
            case 0: return 1 + below(region);
            case 1: return region;
            default: return region + 1 + below(5);
        }
    }

    PictureRef picture(int width, int height, bool zeros) {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
        if (!zeros)
            for (auto& value : pixels) value = pixel();
        return SimPicture::fromPixels(width, height, std::move(pixels));
    }

    // `base` laid into a width × height picture from the bottom-left corner, where scan lines start;
    // the rest zeros or random.
    PictureRef resized(const PictureRef& base, int width, int height, bool zeroElsewhere) {
        const auto& source = dynamic_cast<const SimPicture&>(*base);
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int scan = height - 1 - y, sourceRow = source.height() - 1 - scan;
                pixels[static_cast<std::size_t>(y) * width + x] =
                    x < source.width() && sourceRow >= 0
                        ? source.pixels()[static_cast<std::size_t>(sourceRow) * source.width() + x]
                    : zeroElsewhere ? 0
                                    : pixel();
            }
        return SimPicture::fromPixels(width, height, std::move(pixels));
    }

    // Half the time read only through scan lines, now and then with a reader that gives up part-way.
    PictureRef shown(const PictureRef& picture) {
        if (!picture || below(2) == 0) return picture;
        const auto unreadFrom = below(4) == 0 ? static_cast<std::uint32_t>(below(picture->height() + 1))
                                              : std::numeric_limits<std::uint32_t>::max();
        return std::make_shared<ScanLinesOnly>(picture, unreadFrom);
    }

private:
    std::mt19937 random_;
};

TEST(LiteralAndFast, AgreeOnEveryPairOfRandomPicturesAndRegions) {
    RandomPictures random(7122026);
    LiteralComparison literal;
    CoveredPixelComparison fast;
    ScanBands bands;
    std::map<std::string, int> outcomes;

    for (int round = 0; round < 20000; ++round) {
        // Regions of a few pixels keep a literal reading cheap; now and then one that cannot be read.
        float regionWidth = static_cast<float>(1 + random.below(20)),
              regionHeight = static_cast<float>(1 + random.below(20));
        if (random.below(25) == 0) regionWidth = static_cast<float>(random.below(3) - 1);  // -1, 0 or 1
        if (random.below(25) == 0) regionHeight = static_cast<float>(random.below(3) - 1);
        if (random.below(40) == 0) regionHeight += 0.5f;

        PictureRef first;
        if (random.below(6) != 0)
            first = random.picture(random.sideNear(static_cast<int>(regionWidth)),
                                   random.sideNear(static_cast<int>(regionHeight)), random.below(5) == 0);
        PictureRef second;
        const int width = first ? first->width() : 1 + random.below(8),
                  height = first ? first->height() : 1 + random.below(8);
        switch (random.below(7)) {
            case 0: break;  // no picture
            case 1: second = first; break;
            case 2: second = first ? random.resized(first, width, height, true) : nullptr; break;  // a copy
            case 3:  // one pixel changed: anywhere, or the last one that scan-line order reaches
                if (first) {
                    const bool last = random.below(3) == 0;
                    second = withPixel(first, last ? width - 1 : random.below(width), last ? 0 : random.below(height),
                                       0x00000100u + static_cast<std::uint32_t>(random.below(256)));
                }
                break;
            case 4:  // another size, equal where both cover
                if (first)
                    second = random.resized(first, random.sideNear(static_cast<int>(regionWidth)),
                                            random.sideNear(static_cast<int>(regionHeight)), random.below(3) != 0);
                break;
            case 5: second = random.picture(width, height, true); break;  // all zeros
            default: second = random.picture(1 + random.below(24), 1 + random.below(24), false); break;
        }
        if (random.below(2) == 0) std::swap(first, second);
        if (random.below(40) == 0) regionWidth = regionHeight = 70000;  // beyond 32 bits
        const SnapshotHolder a{regionWidth, regionHeight, random.shown(first)};
        const SnapshotHolder b{static_cast<float>(random.below(30)), 1,
                               second == first ? a.picture : random.shown(second)};

        const std::string expected = outcome(literal, a, b);
        ASSERT_EQ(outcome(fast, a, b), expected) << "round " << round;
        ++outcomes[expected];

        // The same pictures in bands of a few lines, down to one line at a time.
        if (expected.starts_with("failure") || regionWidth <= 0 || regionHeight <= 0) continue;
        std::int32_t width2 = roundToInt32(regionWidth), height2 = roundToInt32(regionHeight);
        for (const PictureRef& picture : {a.picture, b.picture})
            if (picture) width2 = std::max(width2, picture->width()), height2 = std::max(height2, picture->height());
        const auto bandBytes = static_cast<std::size_t>(1 + random.below(200));
        ASSERT_EQ(coveredPixelsEqual(a.picture.get(), b.picture.get(), width2, height2, bands, bandBytes) ? "same"
                                                                                                          : "different",
                  expected)
            << "round " << round << ", bands of " << bandBytes << " bytes";
    }
    // Each kind of answer turned up often enough to mean something.
    EXPECT_GT(outcomes["same"], 4000);
    EXPECT_GT(outcomes["different"], 4000);
    EXPECT_GT(outcomes["failure " + std::to_string(static_cast<int>(ErrorKind::SubscriptOutOfRange))], 200);
    EXPECT_GT(outcomes["failure " + std::to_string(static_cast<int>(ErrorKind::Overflow))], 200);
}

}  // namespace
}  // namespace zanthrel::test
