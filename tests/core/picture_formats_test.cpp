// What counts as a picture on each clipboard, and which of an owner's formats is asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pictures/picture_formats.h"

namespace zanthrel {
namespace {

namespace wf = windows_format;

std::string choose(std::initializer_list<std::string_view> offered) {
    PictureTypeChoice choice;
    for (const std::string_view type : offered) choice.consider(type);
    EXPECT_EQ(choice.found(), !choice.chosen().empty());
    // Arriving one by one or as a list, an offer gets the same answer.
    const std::vector<std::string_view> list(offered);
    const std::optional<std::size_t> best = bestMimeType(list);
    EXPECT_EQ(best ? std::string(list[*best]) : std::string(), choice.chosen());
    return choice.chosen();
}

std::optional<std::string_view> handlingOf(const PictureFormat* format) {
    if (!format) return std::nullopt;
    switch (format->handling()) {
        case PictureHandling::Lossless: return "lossless";
        case PictureHandling::Decoded: return "decoded";
        case PictureHandling::DigestOnly: return "digest";
    }
    return std::nullopt;
}

TEST(PictureFormats, PrefersPngThenBmpThenJpegThenAnyPicture) {
    EXPECT_EQ(choose({"text/plain", "image/jpeg", "image/bmp", "image/png", "TARGETS"}), "image/png");
    EXPECT_EQ(choose({"image/jpeg", "image/x-MS-bmp"}), "image/x-MS-bmp") << "sent back as the owner spelt it";
    EXPECT_EQ(choose({"image/avif", "image/jpeg", "image/webp"}), "image/jpeg");
    EXPECT_EQ(choose({"image/avif", "text/uri-list"}), "image/avif") << "an unlisted picture type still counts";
    EXPECT_EQ(choose({"image/x-unheard-of", "image/svg+xml"}), "image/svg+xml");
    EXPECT_EQ(choose({"application/x-qt-image", "image/avif"}), "application/x-qt-image");
    EXPECT_EQ(choose({"IMAGE/PNG;x=1", "image/bmp"}), "IMAGE/PNG;x=1");
}

TEST(PictureFormats, OffersWithoutAPictureChooseNothing) {
    EXPECT_EQ(choose({}), "");
    EXPECT_EQ(choose({"text/plain;charset=utf-8", "UTF8_STRING", "image/", "imagery/png", "x-image/png", "PIXMAP"}),
              "");
    EXPECT_EQ(classifyWindowsFormat(13, ""), nullptr) << "CF_UNICODETEXT";
    EXPECT_EQ(classifyWindowsFormat(0xC123, "HTML Format"), nullptr);
    EXPECT_EQ(classifyWindowsFormat(0, ""), nullptr);
}

// An offer's names come from another program: names no program would honestly send are passed over
// rather than echoed into a request, and only the best one is ever kept.
TEST(PictureFormats, ImplausibleNamesArePassedOver) {
    EXPECT_EQ(classifyMimeType("image/png "), nullptr);
    EXPECT_EQ(classifyMimeType(std::string_view("image/png\0x", 11)), nullptr);
    EXPECT_EQ(classifyMimeType("image/p\xC3\xA9g"), nullptr);
    EXPECT_EQ(classifyWindowsFormat(0xC001, std::string_view("PNG\0", 4)), nullptr);
    const std::string longest = "image/" + std::string(kLongestFormatName - 6, 'x');
    EXPECT_NE(classifyMimeType(longest), nullptr);
    EXPECT_EQ(classifyMimeType(longest + "x"), nullptr);

    PictureTypeChoice choice;
    for (int i = 0; i < 100000; ++i) choice.consider("image/x-" + std::to_string(i));
    choice.consider("image/bmp");
    for (int i = 0; i < 1000; ++i) choice.consider("image/jpeg");
    EXPECT_EQ(choice.chosen(), "image/bmp");
    EXPECT_LT(choice.chosen().capacity(), 64u) << "only the best type is kept";
}

// Browsers and Qt list JPEG before PNG; the owner is asked for what is read without loss.
TEST(PictureFormats, AnX11OwnerIsAskedForItsBestPictureWhateverItsOrder) {
    const std::vector<std::string_view> qt = {"TARGETS",      "MULTIPLE",   "TIMESTAMP",
                                              "SAVE_TARGETS", "image/jpeg", "image/gif",
                                              "image/png",    "image/bmp",  "application/x-qt-image"};
    EXPECT_EQ(bestX11Target(qt), 6u);
    const std::vector<std::string_view> wine = {"TARGETS", "PIXMAP", "image/bmp", "WCF_ENHMETAFILE"};
    EXPECT_EQ(bestX11Target(wine), 2u) << "a file of bytes before a pixmap on the server";
    const std::vector<std::string_view> pixmapOnly = {"PIXMAP", "image/jpeg", "pixmap"};
    EXPECT_EQ(bestX11Target(pixmapOnly), 0u);
    EXPECT_EQ(classifyX11Target("pixmap"), nullptr) << "X11 atoms are named exactly";
    EXPECT_EQ(classifyMimeType("PIXMAP"), nullptr) << "not a type a Wayland offer could serve";
}

TEST(PictureFormats, AWindowsOwnerIsAskedForItsBestPicture) {
    using F = WindowsClipboardFormat;
    // A browser's copied picture: text and HTML, a DIB and PNG beside it.
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{13, ""}, {0xC0A1, "HTML Format"}, {wf::kDib, ""}, {0xC0B2, "PNG"}}),
              2u);
    // An office suite's: files first, a metafile, the DIB and bitmap last.
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{0xC0B2, "PNG"},
                                               {0xC0B3, "JFIF"},
                                               {0xC0B4, "GIF"},
                                               {wf::kEnhMetafile, ""},
                                               {wf::kMetafilePict, ""},
                                               {wf::kBitmap, ""},
                                               {wf::kDib, ""}}),
              6u);
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{0xC0B3, "JFIF"}, {0xC0C0, "image/png"}}), 1u);
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{0xC0B3, "jfif"}, {0xC0C0, "Png"}}), 1u) << "names in any case";
    // The owner's own DIB is listed before those the system makes from it: asked for as it is.
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{wf::kDibV5, ""}, {wf::kBitmap, ""}, {wf::kDib, ""}}), 0u);
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{wf::kBitmap, ""}, {wf::kDib, ""}, {wf::kDibV5, ""}}), 1u);
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{wf::kEnhMetafile, ""}, {0xC0D0, "image/svg+xml"}}), 1u);
    EXPECT_EQ(bestWindowsFormat(std::vector<F>{{13, ""}, {0xC0A1, "HTML Format"}}), std::nullopt);
    // A registered name is never a standard format, and a standard format's name is the system's.
    EXPECT_EQ(classifyWindowsFormat(0xC0E0, "CF_DIB"), nullptr);
    EXPECT_EQ(classifyWindowsFormat(wf::kDib, "image/jpeg")->content, PictureContent::Dib);
}

// Every format a program was seen to slip past a reader with, on each clipboard, is a picture, and
// says how it is judged.
TEST(PictureFormats, EveryPictureFormatIsJudgedOneWayOrAnother) {
    for (const char* type : {"image/png", "image/bmp", "image/x-ms-bmp"})
        EXPECT_EQ(handlingOf(classifyMimeType(type)), "lossless") << type;
    // Decoded where a decoder is installed: AVIF, JPEG XL and HEIF seldom are, Qt's icon plugin may be missing.
    for (const char* type : {"image/jpeg", "image/gif", "image/tiff", "image/webp", "application/x-qt-image",
                             "image/avif", "image/jxl", "image/heic", "image/x-icon", "image/vnd.microsoft.icon"})
        EXPECT_EQ(handlingOf(classifyMimeType(type)), "decoded") << type;
    for (const char* type : {"image/svg+xml", "image/x-never-seen"})
        EXPECT_EQ(handlingOf(classifyMimeType(type)), "digest") << type;
    EXPECT_EQ(handlingOf(classifyX11Target("PIXMAP")), "lossless");

    for (const std::uint32_t id : {wf::kDibV5, wf::kDib, wf::kBitmap, wf::kDisplayBitmap})
        EXPECT_EQ(handlingOf(classifyWindowsFormat(id, "")), "lossless") << id;
    EXPECT_EQ(handlingOf(classifyWindowsFormat(wf::kTiff, "")), "decoded");
    for (const std::uint32_t id : {wf::kEnhMetafile, wf::kMetafilePict, wf::kDisplayEnhMetafile})
        EXPECT_EQ(handlingOf(classifyWindowsFormat(id, "")), "digest") << id;
    for (const char* name : {"PNG", "image/png"})
        EXPECT_EQ(handlingOf(classifyWindowsFormat(0xC100, name)), "lossless");
    for (const char* name : {"JFIF", "GIF", "image/webp", "image/avif"})
        EXPECT_EQ(handlingOf(classifyWindowsFormat(0xC100, name)), "decoded") << name;
    for (const char* name : {"image/svg+xml", "image/whatever"})
        EXPECT_EQ(handlingOf(classifyWindowsFormat(0xC100, name)), "digest") << name;
}

// The table itself: each row is found under its own name, rows come most wanted first, and whatever
// is read without loss ranks before whatever must be decoded, which ranks before digests.
TEST(PictureFormats, TheTableKeepsItsOwnOrder) {
    const auto formats = pictureFormats();
    ASSERT_FALSE(formats.empty());
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const PictureFormat& row = formats[i];
        const PictureFormat* found = nullptr;
        switch (row.naming) {
            case FormatNaming::Mime: found = classifyMimeType(row.name); break;
            case FormatNaming::X11Target: found = classifyX11Target(row.name); break;
            case FormatNaming::WindowsRegistered: found = classifyWindowsFormat(wf::kFirstRegistered, row.name); break;
            case FormatNaming::WindowsStandard: found = classifyWindowsFormat(row.windowsId, ""); break;
        }
        EXPECT_EQ(found, &row) << row.name;
        if (i == 0) continue;
        const PictureFormat& before = formats[i - 1];
        EXPECT_LE(before.rank, row.rank) << row.name;
        EXPECT_LE(static_cast<int>(before.handling()), static_cast<int>(row.handling())) << row.name;
        if (before.handling() != row.handling()) {
            EXPECT_LT(before.rank, row.rank) << row.name;
        }
    }
    EXPECT_EQ(formats.back().content, PictureContent::OtherImage);
}

}  // namespace
}  // namespace zanthrel
