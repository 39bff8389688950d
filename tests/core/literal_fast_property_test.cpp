// Random clipboard stories run through two desktops side by side, one reading every pixel on every tick
// and one taking the product's shortcut: every tick must reach the same verdict and leave the same
// counter, log and holders.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "platform/runtime_error.h"
#include "story_support.h"

namespace zanthrel::test {
namespace {

using sim::SimDesktop;
using sim::SimPicture;

enum class Step { NewPicture, SamePictureAgain, SamePixelsNewObject, Text, Empty, HoldOrRelease, WindowEnds, Resume };

TEST(LiteralAndFast, AgreeOnEveryTickOfRandomStories) {
    std::mt19937 random(20261207);
    SimDesktop literal(ComparisonMode::Literal);
    SimDesktop fast(ComparisonMode::Fast);
    const std::array<SimDesktop*, 2> desks{&literal, &fast};
    // Another program that empties the clipboard, one per desktop.
    const std::array emptiers{std::make_unique<sim::SimClipboardService>(literal.clipboard()),
                              std::make_unique<sim::SimClipboardService>(fast.clipboard())};
    for (SimDesktop* desk : desks) {
        // Full-size holders cost a literal tick about 20 ms; a region of a few twips keeps hundreds of
        // ticks quick, and pictures larger than it exercise the region's widening as well.
        MainFormState& state = reachIntoState(*desk);
        state.picture1.scaleWidth = state.picture3.scaleWidth = 6;
        state.picture1.scaleHeight = state.picture3.scaleHeight = 5;
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
                case Step::WindowEnds: desk.form().onTimer(TimerId::Timer2); break;
                case Step::Resume:
                    if (desk.state().cmdEnableDisable.tag == "1") desk.clickEnableDisable();
                    if (desk.state().cmdStartPause.tag == "0") desk.clickStartPause();
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
            ASSERT_EQ(literal.state().picture1.picture, fast.state().picture1.picture) << "step " << step;
            ASSERT_EQ(literal.state().picture3.picture, fast.state().picture3.picture) << "step " << step;
            ASSERT_EQ(literal.state().snapshotToggle, fast.state().snapshotToggle) << "step " << step;
            ASSERT_EQ(literal.messageBoxes().size(), fast.messageBoxes().size()) << "step " << step;
        }
    }
    // A story that never counted, or never raised the alarm, would prove little.
    EXPECT_GT(verdictsOfChange, 40) << "of " << ticks << " ticks";
    EXPECT_GE(fast.messageBoxes().size(), 3u);
}

}  // namespace
}  // namespace zanthrel::test
