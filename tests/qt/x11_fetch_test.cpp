// How the program fetches a picture over X11 from owners that take their time or hand over a pixmap:
// the deadline of an incremental transfer runs from each piece, and a pixmap is read from the server.
#include <gtest/gtest.h>
#include <QRandomGenerator>

#include "platform/x11/x11_clipboard_reader.h"
#include "x11_fixture.h"

namespace zanthrel::qt {
namespace {

using testing::TestOwner;
using testing::waitUntil;
using testing::X11ClipboardTest;

class FetchTest : public X11ClipboardTest {
protected:
    // A PNG of noise, which does not compress: `side` × `side` pixels.
    QString noisePng(const char* name, int side) {
        QImage noise(side, side, QImage::Format_RGB32);
        QRandomGenerator random(side);
        for (int y = 0; y < noise.height(); ++y)
            random.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
        const QString file = directory.filePath(name);
        EXPECT_TRUE(noise.save(file, "PNG"));
        return file;
    }
};

// Ten pieces 300 ms apart: three seconds in all, each piece well within a second of the one before.
TEST_F(FetchTest, PiecesOfAnIncrementalTransferAPartAreOnePictureInTime) {
    click("cmdStartPause");
    TestOwner owner({"incr", "image/png", noisePng("slow.png", 120), "10", "300"});
    ASSERT_TRUE(owner.ready());
    ASSERT_TRUE(owner.saw("done", 15000)) << "the reader stopped asking for pieces";
    ASSERT_TRUE(waitUntil([&] { return captures() == 1; })) << "the picture was not counted";
    EXPECT_EQ(silentLines(), 0) << "a lively owner was taken for a silent one";
    const PictureRef picture = desktop->clipboard().readPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->hasPixels());
    EXPECT_EQ(picture->width(), 120);
    const auto* reader = dynamic_cast<const x11::X11ClipboardReader*>(desktop->clipboard().reader());
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->incrementalCount(), 1u);
}

TEST_F(FetchTest, APieceMoreThanASecondLateIsASilentOwner) {
    click("cmdStartPause");
    // The fourth piece two seconds after the third.
    TestOwner owner({"incr", "image/png", noisePng("late.png", 120), "4", "300", "2000"});
    ASSERT_TRUE(owner.ready());
    ASSERT_TRUE(waitUntil([&] { return silentLines() == 1; }, 10000)) << "the late piece was not taken for silence";
    EXPECT_EQ(captures(), 0);
}

// An owner that offers nothing but a pixmap (older X11 programs; Wine beside image/bmp) is read from the
// server, picture by picture.
TEST_F(FetchTest, PixmapOfferedAloneIsCountedWithItsPixels) {
    click("cmdStartPause");
    TestOwner red({"pixmap", "40", "30", "ff0000"});
    ASSERT_TRUE(red.ready());
    ASSERT_TRUE(red.saw("asked PIXMAP"));
    ASSERT_TRUE(waitUntil([&] { return captures() == 1; })) << "the pixmap was not counted";
    const PictureRef picture = desktop->clipboard().readPicture();
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(picture->hasPixels());
    EXPECT_EQ(picture->width(), 40);
    EXPECT_EQ(picture->height(), 30);
    std::vector<std::int32_t> pixels(40 * 30, 0);
    picture->readScanLines(BitmapInfoHeader{40, 40, 30, 1, 32, 0}, 0, 30, pixels.data());
    EXPECT_EQ(pixels[0], 0xFF0000);

    TestOwner blue({"pixmap", "40", "30", "0000ff"});
    ASSERT_TRUE(blue.ready());
    EXPECT_TRUE(waitUntil([&] { return captures() == 2; })) << "a second pixmap was not counted";
    // A pixmap of one bit a pixel: no true colour, judged by the digest of its pixels.
    TestOwner bits({"pixmap", "40", "30", "1", "1"});
    ASSERT_TRUE(bits.ready());
    ASSERT_TRUE(waitUntil([&] { return captures() == 3; })) << "a pixmap of another depth was not counted";
    const PictureRef judged = desktop->clipboard().readPicture();
    ASSERT_NE(judged, nullptr);
    EXPECT_FALSE(judged->hasPixels());
    EXPECT_TRUE(judged->digest().known());
    EXPECT_EQ(silentLines(), 0);
}

}  // namespace
}  // namespace zanthrel::qt
