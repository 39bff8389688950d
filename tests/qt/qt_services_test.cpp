// The services that need no X server: the picture's pixel read, the clipboard's kept result on Qt's
// in-process clipboard, and the date and time formats.
#include <regex>

#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_picture.h"
#include "platform/qt/qt_services.h"

namespace zanthrel::qt {
namespace {

BitmapInfoHeader dibHeader(std::int32_t width, std::int32_t height) {
    return BitmapInfoHeader{40, width, height, 1, 32, 0};
}

TEST(QtPictureTest, ReadsBottomUpWithoutAlphaAndLeavesTheRestUntouched) {
    QImage image(2, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0x11, 0x22, 0x33, 0xFF));  // top left
    image.setPixel(1, 0, qRgba(0x44, 0x55, 0x66, 0xFF));
    image.setPixel(0, 1, qRgba(0x77, 0x88, 0x99, 0xFF));  // bottom left
    image.setPixel(1, 1, qRgba(0xAA, 0xBB, 0xCC, 0x80));  // half transparent
    const QtPicture picture(image);
    ASSERT_EQ(picture.width(), 2);
    ASSERT_EQ(picture.height(), 2);

    constexpr std::int32_t kUntouched = 0x5A5A5A5A;
    std::vector<std::int32_t> bits(3 * 3, kUntouched);  // a region larger than the picture
    picture.readScanLines(dibHeader(3, 3), 0, 3, bits.data());
    EXPECT_EQ(bits[0], 0x778899);  // scan line 0 is the bottom row
    EXPECT_EQ(bits[1] & 0xFF000000, 0) << "the top byte carries no colour";
    EXPECT_EQ(bits[3], 0x112233);
    EXPECT_EQ(bits[4], 0x445566);
    for (const int untouched : {2, 5, 6, 7, 8}) EXPECT_EQ(bits[untouched], kUntouched) << untouched;
}

TEST(QtPictureTest, NullImageReadsNothing) {
    const QtPicture picture{QImage()};
    std::vector<std::int32_t> bits(4, 7);
    picture.readScanLines(dibHeader(2, 2), 0, 2, bits.data());
    EXPECT_EQ(bits, std::vector<std::int32_t>(4, 7));
}

TEST(QtClipboardTest, KeepsThePictureUntilTheClipboardChanges) {
    QClipboard& system = *QGuiApplication::clipboard();
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(0x10, 0x20, 0x30));
    system.setImage(image);
    // Qt's offscreen platform keeps the clipboard in this process, whatever session the test runs in.
    const std::unique_ptr<QtClipboard> chosen = QtClipboard::choose(system, ClipboardChoice::Automatic);
    QtClipboard& clipboard = *chosen;
    EXPECT_EQ(clipboard.reader(), nullptr);
    EXPECT_FALSE(clipboard.reportsOwnerChanges()) << "blocking must poll a clipboard that does not say who took it";
    std::vector<ClipboardChange> changes;
    clipboard.setEvents({[&](ClipboardChange change) { changes.push_back(change); }, {}, {}, {}, {}});

    const PictureRef first = clipboard.readPicture();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width(), 4);
    const std::uint64_t fetches = clipboard.fetchCount();
    EXPECT_EQ(clipboard.readPicture(), first) << "an unchanged clipboard must give the same picture object";
    EXPECT_EQ(clipboard.fetchCount(), fetches);

    system.setImage(image);  // the same pixels, copied again
    const PictureRef second = clipboard.readPicture();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(clipboard.fetchCount(), fetches + 1);

    system.setText(QStringLiteral("no picture"));
    EXPECT_EQ(clipboard.readPicture(), nullptr);
    ASSERT_EQ(changes.size(), 2u) << "one event per change";
    EXPECT_FALSE(changes[0].taken) << "Qt does not say another program took it";
    EXPECT_FALSE(changes[1].emptied);

    clipboard.clear();
    EXPECT_TRUE(system.text().isEmpty()) << "emptying left the text";
    EXPECT_EQ(clipboard.readPicture(), nullptr);
}

TEST(LocaleDateTimeTest, CLocaleGivesNumericDateAndTimeWithSeconds) {
    LocaleDateTime dateTime("C");
    EXPECT_EQ(dateTime.dateFormat(), "%m/%d/%y");
    EXPECT_EQ(dateTime.timeFormat(), "%H:%M:%S");
    EXPECT_TRUE(std::regex_match(dateTime.currentDate(), std::regex(R"(\d\d/\d\d/\d\d)"))) << dateTime.currentDate();
    EXPECT_TRUE(std::regex_match(dateTime.currentTime(), std::regex(R"(\d\d:\d\d:\d\d)"))) << dateTime.currentTime();
}

TEST(LocaleDateTimeTest, UnknownLocaleFallsBackToC) {
    LocaleDateTime dateTime("xx_NOWHERE.UTF-8");
    EXPECT_EQ(dateTime.timeFormat(), "%H:%M:%S");
}

}  // namespace
}  // namespace zanthrel::qt
