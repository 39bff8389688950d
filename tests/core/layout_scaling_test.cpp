// The layout tables at the densities of scaled displays: the fonts' pixel heights, and a window's client
// size when it moves to a monitor of another scale.

#include <gtest/gtest.h>

#include "layout/information_dialog_layout.h"
#include "layout/main_window_layout.h"

namespace zanthrel {
namespace {

TEST(LayoutScaling, FontHeightsAreTheLayoutsAt96DpiAndNeverOutgrowTheirBoxesElsewhere) {
    struct Case {
        double points;
        int dpi;
        int pixels;
    };
    // The window font, the body text and the title; 19.5 and 16.5 and 31.5 pixels go down, 13.75 goes up.
    const Case cases[] = {{8.25, 96, 11},   {9.75, 96, 13},   {15.75, 96, 21}, {8.25, 120, 14},
                          {9.75, 120, 16},  {15.75, 120, 26}, {8.25, 144, 16}, {9.75, 144, 19},
                          {15.75, 144, 31}, {8.25, 192, 22},  {9.75, 192, 26}, {15.75, 192, 42}};
    for (const Case& c : cases) EXPECT_EQ(pointsToPixels(c.points, c.dpi), c.pixels) << c.points << " pt at " << c.dpi;
    for (int dpi = 72; dpi <= 480; ++dpi) {
        const double exact = 9.75 * dpi / 72.0;
        EXPECT_LE(pointsToPixels(9.75, dpi), exact + 0.5) << dpi;
        EXPECT_GE(pointsToPixels(9.75, dpi), exact - 0.5) << dpi;
    }
}

TEST(LayoutScaling, AWindowOfTheLayoutsSizeTakesTheLayoutsSizeAtTheNewDensity) {
    const FormLayout& main = mainWindowLayout();
    EXPECT_EQ(clientSize(main, 96), (PixelSize{773, 570}));
    EXPECT_EQ(clientSizeAfterMove(main, {773, 570}, 96, 144), (PixelSize{1160, 855}));
    EXPECT_EQ(clientSizeAfterMove(main, {1160, 855}, 144, 120), clientSize(main, 120));
    const FormLayout& dialog = informationDialogLayout();
    EXPECT_EQ(clientSizeAfterMove(dialog, clientSize(dialog, 192), 192, 96), (PixelSize{764, 519}));
}

TEST(LayoutScaling, AWindowTheUserResizedKeepsItsSizeInInches) {
    const FormLayout& main = mainWindowLayout();
    EXPECT_EQ(clientSizeAfterMove(main, {873, 620}, 96, 192), (PixelSize{1746, 1240}));
    EXPECT_EQ(clientSizeAfterMove(main, {1001, 601}, 120, 96), (PixelSize{801, 481}));
    // A density the system could not tell leaves the window as it is.
    EXPECT_EQ(clientSizeAfterMove(main, {873, 620}, 0, 192), (PixelSize{873, 620}));
}

}  // namespace
}  // namespace zanthrel
