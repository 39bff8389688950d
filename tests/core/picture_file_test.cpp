// Picture files as another program may hand them over, checked before any decoder sees them: sizes
// and depths that exceed the bounds, structures that run off the block or loop, and the bytes a file
// really takes within a block that carries more.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pictures/picture_file.h"

namespace zanthrel::test {
namespace {

using Bytes = std::vector<unsigned char>;
using Verdict = PictureFileVerdict;

void append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}
void be16(Bytes& out, std::uint32_t v) {
    out.insert(out.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
}
void be32(Bytes& out, std::uint32_t v) {
    be16(out, v >> 16);
    be16(out, v & 0xFFFF);
}
void le16(Bytes& out, std::uint32_t v) {
    out.insert(out.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
}
void le32(Bytes& out, std::uint32_t v) {
    le16(out, v & 0xFFFF);
    le16(out, v >> 16);
}

PictureFileCheck check(const Bytes& bytes) {
    // A copy of exactly the file's size, so that a read past its end is caught by the sanitizers.
    const Bytes exact(bytes);
    return inspectPictureFile(exact.data(), exact.size());
}

// Noise a clipboard block may carry after the file.
Bytes withNoise(Bytes file) {
    file.insert(file.end(), 7, 0x5A);
    return file;
}

// `file`, with noise after it, is of `kind` and `width` × `height`, decodable, and takes its own bytes.
void expectDecodable(const Bytes& file, PictureFileKind kind, std::int32_t width, std::int32_t height) {
    const PictureFileCheck result = check(withNoise(file));
    EXPECT_EQ(result.kind, kind);
    EXPECT_EQ(result.verdict, Verdict::Decodable);
    EXPECT_EQ(result.width, width);
    EXPECT_EQ(result.height, height);
    EXPECT_EQ(result.usedBytes, file.size());
}

void pngChunk(Bytes& out, const std::string& type, std::size_t length) {
    be32(out, static_cast<std::uint32_t>(length));
    append(out, type);
    out.insert(out.end(), length, 0x11);
    be32(out, 0);  // the decoder is told to ignore checksums
}

Bytes png(std::uint32_t width, std::uint32_t height, unsigned depth = 8, unsigned colour = 6,
          std::size_t compressedText = 0) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    be32(out, 13);
    append(out, "IHDR");
    be32(out, width);
    be32(out, height);
    out.insert(out.end(), {static_cast<unsigned char>(depth), static_cast<unsigned char>(colour), 0, 0, 0});
    be32(out, 0);
    if (compressedText) pngChunk(out, "zTXt", compressedText);
    pngChunk(out, "IDAT", 20);
    pngChunk(out, "IEND", 0);
    return out;
}

TEST(PictureFile, PngWithinBoundsTakesItsChunksUpToIend) {
    expectDecodable(png(64, 48), PictureFileKind::Png, 64, 48);
}

TEST(PictureFile, PngBeyondThePixelOrMemoryBoundIsTooLarge) {
    EXPECT_EQ(check(png(8192, 8192)).verdict, Verdict::Decodable);  // 8 bits RGBA: two copies of 256 MiB
    EXPECT_EQ(check(png(8193, 8192)).verdict, Verdict::TooLarge);
    const PictureFileCheck huge = check(png(100000, 100000));
    EXPECT_EQ(huge.verdict, Verdict::TooLarge);
    EXPECT_EQ(huge.width, 100000);
    // Sixteen bits a channel: the decoder's copy and the conversion's exceed 512 MiB at half the pixels.
    EXPECT_EQ(check(png(8192, 2048, 16)).verdict, Verdict::Decodable);
    EXPECT_EQ(check(png(8192, 4097, 16)).verdict, Verdict::TooLarge);
    // A compressed text inflated without limit by the decoder.
    EXPECT_EQ(check(png(64, 48, 8, 6, kMaxPngCompressedMetadata)).verdict, Verdict::Decodable);
    EXPECT_EQ(check(png(64, 48, 8, 6, kMaxPngCompressedMetadata + 1)).verdict, Verdict::TooLarge);
}

TEST(PictureFile, MalformedPngIsUnreadable) {
    EXPECT_EQ(check(png(0x80000000u, 1)).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(png(0, 48)).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(png(64, 48, 16, 3)).verdict, Verdict::Unreadable);  // no 16-bit palette
    EXPECT_EQ(check(png(64, 48, 4, 2)).verdict, Verdict::Unreadable);   // no 4-bit colour
    EXPECT_EQ(check(png(64, 48, 8, 5)).verdict, Verdict::Unreadable);
    Bytes truncated = png(64, 48);
    truncated.resize(truncated.size() - 12);  // without IEND
    EXPECT_EQ(check(truncated).verdict, Verdict::Unreadable);
    Bytes runsOff = png(64, 48);
    runsOff[33] = 0x7F;  // IDAT's length far beyond the block
    EXPECT_EQ(check(runsOff).verdict, Verdict::Unreadable);
    Bytes headerLater = png(64, 48);
    std::memcpy(headerLater.data() + 12, "IHDX", 4);
    EXPECT_EQ(check(headerLater).verdict, Verdict::Unreadable);
}

struct JpegFrame {
    std::uint32_t width = 64, height = 48;
    unsigned marker = 0xC0;  // baseline
    unsigned components = 3;
    unsigned precision = 8;
    unsigned scans = 1;
};

void jpegSegment(Bytes& out, unsigned marker, const Bytes& body) {
    out.insert(out.end(), {0xFF, static_cast<unsigned char>(marker)});
    be16(out, static_cast<std::uint32_t>(body.size() + 2));
    out.insert(out.end(), body.begin(), body.end());
}

Bytes jpeg(const JpegFrame& frame) {
    Bytes out{0xFF, 0xD8};
    jpegSegment(out, 0xE0, Bytes(14, 0));  // APP0
    jpegSegment(out, 0xDB, Bytes(65, 0));  // a quantisation table
    Bytes sof{static_cast<unsigned char>(frame.precision)};
    be16(sof, frame.height);
    be16(sof, frame.width);
    sof.push_back(static_cast<unsigned char>(frame.components));
    for (unsigned c = 0; c < frame.components; ++c) sof.insert(sof.end(), {static_cast<unsigned char>(c + 1), 0x11, 0});
    jpegSegment(out, frame.marker, sof);
    for (unsigned scan = 0; scan < frame.scans; ++scan) {
        jpegSegment(out, 0xC4, Bytes(20, 0));  // a Huffman table between scans
        jpegSegment(out, 0xDA, {1, 1, 0, 0, 63, 0});
        // Entropy-coded data with a stuffed 0xFF, a restart marker, and fill bytes before the next marker.
        out.insert(out.end(), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xFF});
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

TEST(PictureFile, JpegMarkersAreWalkedToEoi) {
    expectDecodable(jpeg({}), PictureFileKind::Jpeg, 64, 48);
}

TEST(PictureFile, JpegCoefficientsAndScansCountAgainstTheBounds) {
    // 8000 × 6000: one scan keeps the picture twice (288 MB); a progressive one, or several scans, also
    // its coefficients (as much again).
    EXPECT_EQ(check(jpeg({8000, 6000})).verdict, Verdict::Decodable);
    EXPECT_EQ(check(jpeg({8000, 6000, 0xC2})).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(jpeg({8000, 6000, 0xC0, 3, 8, 2})).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(jpeg({3000, 2000, 0xC2})).verdict, Verdict::Decodable);
    EXPECT_EQ(check(jpeg({65535, 65535})).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(jpeg({64, 48, 0xC2, 3, 8, kMaxJpegScans})).verdict, Verdict::Decodable);
    EXPECT_EQ(check(jpeg({64, 48, 0xC2, 3, 8, kMaxJpegScans + 1})).verdict, Verdict::TooLarge);
    // Each scan a pass over the picture: 4096 × 4096 may have 64 of them.
    EXPECT_EQ(check(jpeg({4096, 4096, 0xC2, 3, 8, 64})).verdict, Verdict::Decodable);
    EXPECT_EQ(check(jpeg({4096, 4096, 0xC2, 3, 8, 65})).verdict, Verdict::TooLarge);
}

TEST(PictureFile, JpegTheDecoderWouldMerelyWarnAboutIsUnreadable) {
    EXPECT_EQ(check(jpeg({64, 0})).verdict, Verdict::Unreadable);  // a height given later, in DNL
    EXPECT_EQ(check(jpeg({64, 48, 0xC0, 3, 12})).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(jpeg({64, 48, 0xC0, 5})).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(jpeg({64, 48, 0xC0, 3, 8, 0})).verdict, Verdict::Unreadable);  // no scan
    Bytes noEnd = jpeg({});
    noEnd.resize(noEnd.size() - 2);
    EXPECT_EQ(check(noEnd).verdict, Verdict::Unreadable);
    Bytes garbage = jpeg({});
    garbage.insert(garbage.begin() + 2, 0x00);  // a byte between SOI and the next marker
    EXPECT_EQ(check(garbage).verdict, Verdict::Unreadable);
    Bytes twoFrames{0xFF, 0xD8};
    const Bytes one = jpeg({});
    twoFrames.insert(twoFrames.end(), one.begin() + 2, one.begin() + 2 + 18 + 69 + 19);  // APP0, DQT, SOF
    twoFrames.insert(twoFrames.end(), one.begin() + 2 + 18 + 69, one.end());             // SOF again, scans
    EXPECT_EQ(check(twoFrames).verdict, Verdict::Unreadable);
    Bytes scanFirst{0xFF, 0xD8};
    jpegSegment(scanFirst, 0xDA, {1, 1, 0, 0, 63, 0});
    scanFirst.insert(scanFirst.end(), {0x12, 0xFF, 0xD9});
    EXPECT_EQ(check(scanFirst).verdict, Verdict::Unreadable);
}

struct GifFrame {
    std::uint32_t width = 8, height = 4;
    unsigned codeSize = 2;
};

Bytes gif(std::uint32_t screenWidth, std::uint32_t screenHeight, const std::vector<GifFrame>& frames,
          unsigned extensionBlocks = 1, bool trailer = true) {
    Bytes out;
    append(out, "GIF89a");
    le16(out, screenWidth);
    le16(out, screenHeight);
    out.insert(out.end(), {0x81, 0, 0});  // a global table of four colours
    out.insert(out.end(), 12, 0x40);
    out.insert(out.end(), {0x21, 0xFE});  // a comment of `extensionBlocks` sub-blocks
    for (unsigned i = 0; i < extensionBlocks; ++i) out.insert(out.end(), {2, 'h', 'i'});
    out.push_back(0);
    for (const GifFrame& frame : frames) {
        out.push_back(0x2C);
        le32(out, 0);
        le16(out, frame.width);
        le16(out, frame.height);
        out.insert(out.end(), {0, static_cast<unsigned char>(frame.codeSize), 3, 0x84, 0x8F, 0x59, 0});
    }
    if (trailer) out.push_back(0x3B);
    return out;
}

TEST(PictureFile, GifBlocksAreWalkedToTheTrailer) {
    expectDecodable(gif(8, 4, {{}, {}}), PictureFileKind::Gif, 8, 4);
    EXPECT_EQ(check(gif(0, 0, {{5, 6}})).width, 5);  // no screen size: the first frame's
}

TEST(PictureFile, EveryGifFrameAndExtensionCountsAgainstTheBounds) {
    EXPECT_EQ(check(gif(1, 1, {{65535, 65535}})).verdict, Verdict::TooLarge);  // a frame beyond its screen
    EXPECT_EQ(check(gif(65535, 65535, {{}})).verdict, Verdict::TooLarge);
    // Frames of 4096 × 4096: each small enough, five together more than one picture's worth.
    EXPECT_EQ(check(gif(4096, 4096, std::vector<GifFrame>(4, {4096, 4096}))).verdict, Verdict::Decodable);
    EXPECT_EQ(check(gif(4096, 4096, std::vector<GifFrame>(5, {4096, 4096}))).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(gif(8, 4, std::vector<GifFrame>(kMaxGifFrames))).verdict, Verdict::Decodable);
    EXPECT_EQ(check(gif(8, 4, std::vector<GifFrame>(kMaxGifFrames + 1))).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(gif(8, 4, {{}}, kMaxGifExtensionBlocks - 1)).verdict, Verdict::Decodable);
    EXPECT_EQ(check(gif(8, 4, {{}}, kMaxGifExtensionBlocks)).verdict, Verdict::TooLarge);
}

TEST(PictureFile, MalformedGifIsUnreadable) {
    const Bytes noTrailer = gif(8, 4, {{}}, 1, false);
    EXPECT_EQ(check(noTrailer).verdict, Verdict::Decodable);  // as many writers leave it
    EXPECT_EQ(check(Bytes(noTrailer.begin(), noTrailer.end() - 1)).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(gif(8, 4, {})).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(gif(8, 4, {{8, 4, 12}})).verdict, Verdict::Unreadable);
    EXPECT_EQ(check(gif(8, 4, {{0, 4}})).verdict, Verdict::Decodable);  // an empty frame harms nobody
    Bytes unknownBlock = gif(8, 4, {{}});
    unknownBlock.insert(unknownBlock.end() - 1, 0x99);
    EXPECT_EQ(check(unknownBlock).verdict, Verdict::Unreadable);
}

struct TiffEntry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

// A TIFF of one or more directories, each with the entries given; values that do not fit in an entry
// (more than two bits-per-sample, all `bits`) follow the directory.
Bytes tiff(const std::vector<std::vector<TiffEntry>>& directories, bool little = true, bool loop = false,
           std::uint32_t bits = 8) {
    Bytes out;
    const auto u16 = [&](std::uint32_t v) { little ? le16(out, v) : be16(out, v); };
    const auto u32 = [&](std::uint32_t v) { little ? le32(out, v) : be32(out, v); };
    append(out, little ? std::string("II*\0", 4) : std::string("MM\0*", 4));
    u32(8);
    for (std::size_t d = 0; d < directories.size(); ++d) {
        const std::size_t start = out.size();
        const auto& entries = directories[d];
        u16(static_cast<std::uint32_t>(entries.size()));
        const std::size_t extra = start + 2 + 12 * entries.size() + 4;
        for (const TiffEntry& entry : entries) {
            u16(entry.tag);
            u16(entry.type);
            u32(entry.count);
            if (entry.type == 3 && entry.count == 1) {  // a short sits first in the entry's value
                u16(entry.value);
                u16(0);
            } else {
                u32(entry.count > 2 ? static_cast<std::uint32_t>(extra) : entry.value);
            }
        }
        const std::size_t next = extra + 2 * 16;
        u32(loop ? 8 : d + 1 < directories.size() ? static_cast<std::uint32_t>(next) : 0);
        for (int i = 0; i < 16; ++i) u16(bits);
    }
    return out;
}

std::vector<TiffEntry> rgbStrips(std::uint32_t width, std::uint32_t height, std::uint32_t rowsPerStrip = 16) {
    return {{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 3, 0},
            {262, 3, 1, 2},     {277, 3, 1, 3},      {278, 4, 1, rowsPerStrip}};
}

TEST(PictureFile, TiffDirectoriesInEitherByteOrder) {
    for (const bool little : {true, false}) {
        const PictureFileCheck result = check(tiff({rgbStrips(64, 48)}, little));
        EXPECT_EQ(result.kind, PictureFileKind::Tiff);
        EXPECT_EQ(result.verdict, Verdict::Decodable) << little;
        EXPECT_EQ(result.width, 64);
        EXPECT_EQ(result.height, 48);
    }
    EXPECT_EQ(check(tiff({rgbStrips(64, 48), rgbStrips(32, 32)})).width, 64);
}

TEST(PictureFile, TiffTilesStripsAndPagesCountAgainstTheBounds) {
    // Sixteen bits a sample: the conversion's copy takes 384 MiB; one strip of the whole picture is a
    // buffer as large again.
    EXPECT_EQ(check(tiff({rgbStrips(8192, 8192)}, true, false, 16)).verdict, Verdict::Decodable);
    EXPECT_EQ(check(tiff({rgbStrips(8192, 8192, 0xFFFFFFFF)}, true, false, 16)).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(tiff({rgbStrips(8192, 8192, 0xFFFFFFFF)})).verdict, Verdict::Decodable);
    auto tiled = rgbStrips(16, 16);
    tiled.push_back({322, 4, 1, 65536});
    tiled.push_back({323, 4, 1, 65536});
    EXPECT_EQ(check(tiff({tiled})).verdict, Verdict::TooLarge);
    // A later page beyond the bounds: the decoder may take it as the first.
    EXPECT_EQ(check(tiff({rgbStrips(64, 48), rgbStrips(100000, 100000)})).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(tiff(std::vector(kMaxTiffDirectories, rgbStrips(8, 8)))).verdict, Verdict::Decodable);
    EXPECT_EQ(check(tiff(std::vector(kMaxTiffDirectories + 1, rgbStrips(8, 8)))).verdict, Verdict::TooLarge);
}

TEST(PictureFile, MalformedTiffIsUnreadable) {
    EXPECT_EQ(check(Bytes{'M', 'M', 0, '*', 0x98, 0xFF}).verdict, Verdict::Unreadable);    // no room for a directory
    EXPECT_EQ(check(tiff({rgbStrips(64, 48)}, true, true)).verdict, Verdict::Unreadable);  // a loop
    EXPECT_EQ(check(tiff({rgbStrips(64, 48, 0)})).verdict, Verdict::Unreadable);           // zero rows a strip
    auto noHeight = rgbStrips(64, 48);
    noHeight.erase(noHeight.begin() + 1);
    EXPECT_EQ(check(tiff({noHeight})).verdict, Verdict::Unreadable);
    auto halfTiled = rgbStrips(64, 48);
    halfTiled.push_back({322, 4, 1, 16});
    EXPECT_EQ(check(tiff({halfTiled})).verdict, Verdict::Unreadable);
    auto manySamples = rgbStrips(64, 48);
    manySamples[4].value = 17;
    EXPECT_EQ(check(tiff({manySamples})).verdict, Verdict::Unreadable);
    Bytes outside = tiff({rgbStrips(64, 48)});
    outside[4] = 0xF0;  // the first directory beyond the block
    EXPECT_EQ(check(outside).verdict, Verdict::Unreadable);
}

Bytes webp(const std::string& chunk, const Bytes& header, std::size_t riffSlack = 0) {
    Bytes out;
    append(out, "RIFF");
    le32(out, static_cast<std::uint32_t>(4 + 8 + 16 + riffSlack));
    append(out, "WEBP");
    append(out, chunk);
    le32(out, 16);
    out.insert(out.end(), header.begin(), header.end());
    out.resize(12 + 8 + 16, 0);
    return out;
}

TEST(PictureFile, WebpSizesOfEachKind) {
    Bytes lossless{0x2F};
    le32(lossless, (64 - 1) | (48 - 1) << 14);
    Bytes lossy{0x10, 0x02, 0x00, 0x9D, 0x01, 0x2A};
    le16(lossy, 64);
    le16(lossy, 48);
    Bytes extended{0x02, 0, 0, 0};
    extended.insert(extended.end(), {63, 0, 0, 47, 0, 0});
    for (const auto& [chunk, header] : {std::pair{"VP8L", lossless}, {"VP8 ", lossy}, {"VP8X", extended}}) {
        SCOPED_TRACE(chunk);
        expectDecodable(webp(chunk, header), PictureFileKind::Webp, 64, 48);
        EXPECT_EQ(check(webp(chunk, header, 1)).verdict, Verdict::Unreadable);  // a RIFF beyond the block
    }
    Bytes vast{0x00, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(check(webp("VP8X", vast)).verdict, Verdict::TooLarge);
    EXPECT_EQ(check(webp("ALPH", lossless)).verdict, Verdict::Unreadable);
}

TEST(PictureFile, BmpIsAPackedDibBehindAFileHeader) {
    Bytes dib;
    le32(dib, 40);
    le32(dib, 2);
    le32(dib, 2);
    le16(dib, 1);
    le16(dib, 24);
    dib.resize(40, 0);
    dib.insert(dib.end(), 16, 0x33);  // two rows of two pixels, each padded to 8 bytes
    Bytes file{'B', 'M'};
    le32(file, static_cast<std::uint32_t>(14 + dib.size()));
    le32(file, 0);
    le32(file, 14 + 40);
    file.insert(file.end(), dib.begin(), dib.end());
    expectDecodable(file, PictureFileKind::Bmp, 2, 2);
    file[10] = 14 + 44;  // pixels elsewhere than the DIB alone says
    EXPECT_EQ(check(file).verdict, Verdict::Unreadable);
}

TEST(PictureFile, AnythingElseIsUnknown) {
    for (const Bytes& bytes : {Bytes{}, Bytes{'B'}, Bytes{0x89, 'P', 'N'}, Bytes(100, 0x00), Bytes{'G', 'I', 'F'}}) {
        const PictureFileCheck result = check(bytes);
        EXPECT_EQ(result.verdict, Verdict::Unreadable);
        EXPECT_EQ(result.usedBytes, bytes.size());
    }
    EXPECT_EQ(check(Bytes(100, 0x00)).kind, PictureFileKind::Unknown);
    EXPECT_EQ(inspectPictureFile(nullptr, 10).verdict, Verdict::Unreadable);
}

}  // namespace
}  // namespace zanthrel::test
