// Which of the types a Wayland clipboard offer names is asked for.
#include <gtest/gtest.h>

#include <string>

#include "platform/wayland/picture_type_choice.h"

namespace zanthrel::wayland {
namespace {

std::string choose(std::initializer_list<std::string_view> offered) {
    PictureTypeChoice choice;
    for (const std::string_view type : offered) choice.consider(type);
    EXPECT_EQ(choice.found(), !choice.chosen().empty());
    return choice.chosen();
}

TEST(PictureTypeChoice, PrefersPngThenBmpThenJpegThenAnyPicture) {
    EXPECT_EQ(choose({"text/plain", "image/jpeg", "image/bmp", "image/png", "TARGETS"}), "image/png");
    EXPECT_EQ(choose({"image/jpeg", "image/x-MS-bmp"}), "image/x-MS-bmp") << "sent back as the owner spelt it";
    EXPECT_EQ(choose({"image/avif", "image/jpeg", "image/webp"}), "image/jpeg");
    EXPECT_EQ(choose({"image/avif", "text/uri-list"}), "image/avif") << "an unlisted picture type still counts";
    EXPECT_EQ(choose({"application/x-qt-image", "image/avif"}), "application/x-qt-image");
    EXPECT_EQ(choose({"IMAGE/PNG;x=1", "image/bmp"}), "IMAGE/PNG;x=1");
}

TEST(PictureTypeChoice, OffersWithoutAPictureChooseNothing) {
    EXPECT_EQ(choose({}), "");
    EXPECT_EQ(choose({"text/plain;charset=utf-8", "UTF8_STRING", "image/", "imagery/png", "x-image/png"}), "");
}

// An offer's types come from another program: names no program would honestly send are passed over
// rather than echoed into a request, and only the best one is ever kept.
TEST(PictureTypeChoice, ImplausibleNamesArePassedOver) {
    EXPECT_EQ(pictureTypeRank("image/png "), kNotAPicture);
    EXPECT_EQ(pictureTypeRank(std::string_view("image/png\0x", 11)), kNotAPicture);
    EXPECT_EQ(pictureTypeRank("image/p\xC3\xA9g"), kNotAPicture);
    const std::string longest = "image/" + std::string(PictureTypeChoice::kLongestType - 6, 'x');
    EXPECT_NE(pictureTypeRank(longest), kNotAPicture);
    EXPECT_EQ(pictureTypeRank(longest + "x"), kNotAPicture);

    PictureTypeChoice choice;
    for (int i = 0; i < 100000; ++i) choice.consider("image/x-" + std::to_string(i));
    choice.consider("image/bmp");
    for (int i = 0; i < 1000; ++i) choice.consider("image/jpeg");
    EXPECT_EQ(choice.chosen(), "image/bmp");
    EXPECT_LT(choice.chosen().capacity(), 64u) << "only the best type is kept";
}

}  // namespace
}  // namespace zanthrel::wayland
