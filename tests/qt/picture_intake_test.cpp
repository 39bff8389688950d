// What the Linux program does with the data another program delivers, before any X server is involved:
// the choice of type, the decode bound, and the decoder thread's reuse of an identical picture (the
// transfer limits are fuzzed). Also the indicator's blink, which must not cost a repaint per tick.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QImage>
#include <QWidget>

#include <condition_variable>
#include <mutex>

#include "platform/qt/form_widgets.h"
#include "platform/qt/picture_decoder.h"
#include "platform/qt/qt_picture.h"
#include "platform/posix/transfer_buffer.h"
#include "platform/x11/x11_transfer.h"
#include "qt_test_support.h"

namespace zanthrel::qt {
namespace {

using testing::waitUntil;

std::vector<unsigned char> encoded(QSize size, QColor colour, const char* format) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return {bytes.begin(), bytes.end()};
}

std::vector<unsigned char> pngOf(QSize size, QColor colour) {
    return encoded(size, colour, "PNG");
}

const PictureFormat* const kPng = classifyMimeType("image/png");

// A PNG signature and header chunk claiming `width` × `height`, with nothing after it.
std::vector<unsigned char> pngHeaderClaiming(std::uint32_t width, std::uint32_t height) {
    std::vector<unsigned char> bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (const std::uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<unsigned char>(value >> shift));
    for (const unsigned char field : {8, 6, 0, 0, 0}) bytes.push_back(field);
    const QByteArray chunk(reinterpret_cast<const char*>(bytes.data()) + 12, 17);
    const std::uint32_t crc = [&] {
        std::uint32_t c = 0xFFFFFFFFu;
        for (const char byte : chunk) {
            c ^= static_cast<unsigned char>(byte);
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    }();
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<unsigned char>(crc >> shift));
    return bytes;
}

TEST(X11TransferTest, TypeListsAreWhole32BitItems) {
    const std::uint32_t list[] = {11, 22, 33};
    EXPECT_EQ(x11::parseAtomList(32, list, sizeof list), std::vector<std::uint32_t>({11, 22, 33}));
    EXPECT_TRUE(x11::parseAtomList(8, list, sizeof list).empty()) << "bytes are no list of types";
    EXPECT_TRUE(x11::parseAtomList(32, list, sizeof list - 1).empty()) << "a ragged list";
    EXPECT_FALSE(x11::parseIncrAnnouncement(32, list, sizeof list).has_value()) << "an announcement is one item";
    EXPECT_EQ(x11::parseIncrAnnouncement(32, list, 4), 11u);
}

TEST(X11TransferTest, KeptBytesNeverHoldMoreMemoryThanTheKeptLimit) {
    // The pieces of a bitmap whose size lies just past a power of two, as an INCR owner sends them.
    posix::TransferBuffer buffer(1000, 4000);
    const std::vector<unsigned char> piece(256, 7);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(buffer.add(piece.data(), piece.size()));
    ASSERT_TRUE(buffer.add(piece.data(), 232));
    ASSERT_TRUE(buffer.kept());
    const std::vector<unsigned char> bytes = buffer.takeBytes();
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_LE(bytes.capacity(), 1000u);
}

TEST(DeliveredPictureTest, DecodesWithinTheBoundAndKnowsEverythingElseByItsDigest) {
    const std::vector<unsigned char> png = pngOf(QSize(5, 3), QColor(0x10, 0x20, 0x30));
    const PictureDigest digest = digestOf(png.data(), png.size());
    const PictureRef decoded = decodeDeliveredPicture(png, true, digest, kPng);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(decoded->hasPixels());
    EXPECT_EQ(decoded->width(), 5);
    EXPECT_EQ(decoded->digest(), digest);
    std::vector<std::int32_t> bits(15, 0);
    decoded->readScanLines(BitmapInfoHeader{40, 5, 3, 1, 32, 0}, 0, 3, bits.data());
    EXPECT_EQ(bits[0], 0x102030) << "DIB values, without Qt's top byte";

    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool complete;
    };
    const Case unreadable[] = {
        {"a header beyond 8192 x 8192", pngHeaderClaiming(8192, 8193), true},
        {"a header of 30000 x 30000", pngHeaderClaiming(30000, 30000), true},
        {"a header at the bound, without its pixels", pngHeaderClaiming(8192, 8192), true},
        {"bytes no decoder knows", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}, true},
        {"nothing at all", {}, true},
        {"data too large to keep", {}, false},
    };
    for (const Case& c : unreadable) {
        const PictureDigest known{1, 2};
        const PictureRef picture = decodeDeliveredPicture(c.bytes, c.complete, known, kPng);
        ASSERT_NE(picture, nullptr) << c.what << ": a picture arrived and must be judged";
        EXPECT_FALSE(picture->hasPixels()) << c.what;
        EXPECT_EQ(picture->digest(), known) << c.what;
    }
}

// Bytes reach only the decoder of the format their owner named; a drawing, a type nobody here decodes or
// a decoder that is not installed leaves the picture to its digest.
TEST(DeliveredPictureTest, DecodesByTheFormatItsOwnerNamedOnly) {
    const QSize size(6, 4);
    const std::vector<unsigned char> png = pngOf(size, Qt::red), jpeg = encoded(size, Qt::red, "JPEG");
    const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='6' height='4'/>";
    struct Case {
        const char* type;
        std::vector<unsigned char> bytes;
        bool pixels;
    };
    const Case cases[] = {
        {"image/png", png, true},
        {"image/jpeg", jpeg, true},
        {"image/bmp", encoded(size, Qt::red, "BMP"), true},
        {"image/x-icon", encoded(size, Qt::red, "ICO"), true},
        {"application/x-qt-image", png, true},
        {"image/jpeg", png, false},
        {"image/png", jpeg, false},
        {"image/svg+xml", {svg.begin(), svg.end()}, false},
        {"image/x-portable-anymap", encoded(size, Qt::red, "PPM"), false},
        {"text/plain", png, false},
    };
    for (const Case& c : cases) {
        const PictureDigest known{3, 4};
        const PictureRef picture = decodeDeliveredPicture(c.bytes, true, known, classifyMimeType(c.type));
        ASSERT_NE(picture, nullptr) << c.type;
        EXPECT_EQ(picture->hasPixels(), c.pixels) << c.type << ", " << c.bytes.size() << " bytes";
        EXPECT_EQ(picture->digest(), known) << c.type;
        if (c.pixels) {
            EXPECT_EQ(picture->width(), size.width()) << c.type;
        }
    }
    // Every format the table would have decoded names a decoder, present or not.
    for (const PictureFormat& format : pictureFormats()) {
        if (format.naming == FormatNaming::Mime && format.handling() != PictureHandling::DigestOnly) {
            EXPECT_NE(qtDecoderName(&format), nullptr) << format.name;
        }
    }
}

// Collects what the decoder thread answers.
class Answers {
public:
    std::function<void(ClipboardAnswer)> sink() {
        return [this](ClipboardAnswer answer) {
            const std::lock_guard lock(mutex_);
            answers_.push_back(std::move(answer));
            arrived_.notify_all();
        };
    }
    // Waits (for at most five seconds) until `count` answers have come.
    std::vector<ClipboardAnswer> first(std::size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return answers_.size() >= count; });
        return answers_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<ClipboardAnswer> answers_;
};

posix::ClipboardDelivery dataDelivery(std::uint64_t serial, const std::vector<unsigned char>& bytes) {
    return {serial, posix::ClipboardDelivery::Kind::Data, bytes, true, digestOf(bytes.data(), bytes.size()), kPng};
}

TEST(PictureDecoderTest, IdenticalDataGiveBackThePreviousPictureUndecoded) {
    Answers answers;
    PictureDecoder decoder(answers.sink());
    const std::vector<unsigned char> red = pngOf(QSize(4, 4), Qt::red), blue = pngOf(QSize(4, 4), Qt::blue);
    const posix::ClipboardDelivery steps[] = {
        dataDelivery(1, red),  dataDelivery(2, red),
        dataDelivery(3, blue), {4, posix::ClipboardDelivery::Kind::Silent, {}, false, {}, nullptr},
        dataDelivery(5, blue), {6, posix::ClipboardDelivery::Kind::NoPicture, {}, false, {}, nullptr},
        dataDelivery(7, blue)};
    std::vector<ClipboardAnswer> got;
    for (const posix::ClipboardDelivery& step : steps) {
        decoder.submit(step);  // one at a time: a delivery still waiting would give way to a newer one
        got = answers.first(got.size() + 1);
    }
    ASSERT_EQ(got.size(), std::size(steps));
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].serial, i + 1);
    EXPECT_EQ(got[1].picture, got[0].picture) << "the same data again: the very same picture";
    EXPECT_NE(got[2].picture, got[0].picture);
    EXPECT_EQ(got[3].kind, posix::ClipboardDelivery::Kind::Silent);
    EXPECT_EQ(got[3].picture, nullptr);
    EXPECT_EQ(got[4].picture, got[2].picture) << "a silent owner in between changes nothing";
    EXPECT_EQ(got[5].picture, nullptr);
    EXPECT_NE(got[6].picture, got[2].picture) << "after an empty clipboard the picture is decoded anew";
    EXPECT_EQ(decoder.decodeCount(), 3u);
}

TEST(StatusIndicatorTest, BlinksAtItsOwnPaceWhileMonitoringAndShowsTheLogicsStateOtherwise) {
    QWidget parent;
    StatusIndicator indicator(&parent);
    indicator.setLit(false);
    EXPECT_FALSE(indicator.isShownLit());
    indicator.setBlinking(true);
    int flips = 0;
    bool shown = indicator.isShownLit();
    ASSERT_TRUE(waitUntil([&] {
        // Ticks toggling the logic's state meanwhile set nothing on screen.
        indicator.setLit(!indicator.isLit());
        if (indicator.isShownLit() != shown) {
            shown = !shown;
            ++flips;
        }
        return flips >= 2;
    })) << "no visible blink";
    indicator.setLit(true);
    indicator.setBlinking(false);
    EXPECT_TRUE(indicator.isShownLit()) << "stopped, it shows the logic's state at once";
    EXPECT_FALSE(indicator.isBlinking());
}

}  // namespace
}  // namespace zanthrel::qt
