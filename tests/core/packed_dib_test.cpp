// The packed-DIB reader against blocks another program might hand over: malformed headers, pixels
// that stop short, run-length data that runs off the picture, every bit depth, and the memory bound.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "pictures/digest_only_picture.h"
#include "pictures/packed_dib.h"

namespace zanthrel::test {
namespace {

constexpr std::uint32_t kGuard = 0xDEADBEEF;

struct DibFields {
    std::uint32_t headerSize = 40;
    std::int32_t width = 3;
    std::int32_t height = 2;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = kDibRgb;
    std::uint32_t sizeImage = 0;
    std::uint32_t coloursUsed = 0;
};

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
void put16(std::vector<unsigned char>& out, std::uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

// The header, padded to its size, then `tail` (masks, colour table, pixels) as given.
std::vector<unsigned char> block(const DibFields& fields, const std::vector<unsigned char>& tail = {}) {
    std::vector<unsigned char> out;
    put32(out, fields.headerSize);
    put32(out, static_cast<std::uint32_t>(fields.width));
    put32(out, static_cast<std::uint32_t>(fields.height));
    put16(out, fields.planes);
    put16(out, fields.bitCount);
    put32(out, fields.compression);
    put32(out, fields.sizeImage);
    put32(out, 0);
    put32(out, 0);
    put32(out, fields.coloursUsed);
    put32(out, 0);
    out.resize(fields.headerSize, 0);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

PackedDibKind kindOf(const std::vector<unsigned char>& data) {
    return inspectPackedDib(data.data(), data.size()).kind;
}

// Decodes into a top-down buffer with a guard row on either side; checks that the guards survived.
std::vector<std::uint32_t> decode(const std::vector<unsigned char>& data, std::uint32_t fill = 0) {
    const PackedDibCheck check = inspectPackedDib(data.data(), data.size());
    EXPECT_EQ(check.kind, PackedDibKind::Decodable);
    if (check.kind != PackedDibKind::Decodable) return {};
    const std::size_t width = static_cast<std::size_t>(check.layout.width);
    const std::size_t height = static_cast<std::size_t>(check.layout.height);
    std::vector<std::uint32_t> buffer(width * (height + 2), kGuard);
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(width), buffer.end() - static_cast<std::ptrdiff_t>(width),
              fill);
    decodePackedDib(check.layout, data.data(), buffer.data() + width, static_cast<std::ptrdiff_t>(width));
    for (std::size_t i = 0; i < width; ++i) {
        EXPECT_EQ(buffer[i], kGuard) << "wrote above the picture";
        EXPECT_EQ(buffer[buffer.size() - 1 - i], kGuard) << "wrote below the picture";
    }
    return {buffer.begin() + static_cast<std::ptrdiff_t>(width), buffer.end() - static_cast<std::ptrdiff_t>(width)};
}

std::vector<unsigned char> bytes(std::initializer_list<int> values) {
    std::vector<unsigned char> out;
    for (const int v : values) out.push_back(static_cast<unsigned char>(v));
    return out;
}

// 3×2, 24 bits: rows padded to 12 bytes, bottom row first.
const std::vector<unsigned char> kRgb24Pixels = bytes({1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,  //
                                                       10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0});
const std::vector<std::uint32_t> kRgb24Expected = {0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807};

TEST(PackedDib, MalformedHeadersAreNotDecoded) {
    const DibFields good;
    ASSERT_EQ(kindOf(block(good, kRgb24Pixels)), PackedDibKind::Decodable);
    auto with = [&](auto change) {
        DibFields fields = good;
        change(fields);
        return kindOf(block(fields, kRgb24Pixels));
    };
    EXPECT_EQ(with([](DibFields& s) { s.width = -3; }), PackedDibKind::Undecodable);
    EXPECT_EQ(with([](DibFields& s) { s.width = 0; }), PackedDibKind::Undecodable);
    EXPECT_EQ(with([](DibFields& s) { s.height = 0; }), PackedDibKind::Undecodable);
    EXPECT_EQ(with([](DibFields& s) { s.height = INT_MIN; }), PackedDibKind::Undecodable);
    EXPECT_EQ(with([](DibFields& s) { s.planes = 2; }), PackedDibKind::Undecodable);
    for (const std::uint16_t depth : {0, 2, 3, 12, 48, 64})
        EXPECT_EQ(with([&](DibFields& s) { s.bitCount = depth; }), PackedDibKind::Undecodable) << depth;
    for (const std::uint32_t compression : {kDibJpeg, kDibPng, 11u, 0xFFFFFFFFu})
        EXPECT_EQ(with([&](DibFields& s) { s.compression = compression; }), PackedDibKind::Undecodable) << compression;
    EXPECT_EQ(with([](DibFields& s) { s.compression = kDibRle8; }), PackedDibKind::Undecodable) << "RLE8 at 24 bits";
    EXPECT_EQ(with([](DibFields& s) { s.compression = kDibBitFields; }), PackedDibKind::Undecodable);
    for (const std::uint32_t size : {0u, 16u, 39u, 41u, 64u, 0xFFFFFFFFu}) {
        auto patched = block(good, kRgb24Pixels);
        std::memcpy(patched.data(), &size, 4);
        EXPECT_EQ(kindOf(patched), PackedDibKind::Undecodable) << "header size " << size;
    }

    // A header size the block cannot hold, and blocks too short for any header.
    auto header = block(good);
    header[0] = 124;
    EXPECT_EQ(kindOf(header), PackedDibKind::Undecodable);
    EXPECT_EQ(inspectPackedDib(header.data(), 3).kind, PackedDibKind::Undecodable);
    EXPECT_EQ(inspectPackedDib(nullptr, 100).kind, PackedDibKind::Undecodable);

    // Run-length data is bottom-up only.
    DibFields rle{40, 4, -2, 1, 8, kDibRle8};
    EXPECT_EQ(kindOf(block(rle, std::vector<unsigned char>(1024 + 4, 0))), PackedDibKind::Undecodable);
    rle.height = 2;
    EXPECT_EQ(kindOf(block(rle, std::vector<unsigned char>(1024 + 4, 0))), PackedDibKind::Decodable);
}

TEST(PackedDib, ColourTablesAndMasksMustFitAndMakeSense) {
    // More colours than the depth can index, and a table that runs past the block.
    EXPECT_EQ(kindOf(block({40, 3, 2, 1, 1, kDibRgb, 0, 3}, std::vector<unsigned char>(12 + 8, 0))),
              PackedDibKind::Undecodable);
    EXPECT_EQ(kindOf(block({40, 3, 2, 1, 8, kDibRgb, 0, 0}, std::vector<unsigned char>(255 * 4, 0))),
              PackedDibKind::Undecodable);
    // A table above 8 bits is skipped, but must still be inside the block.
    EXPECT_EQ(kindOf(block({40, 3, 2, 1, 24, kDibRgb, 0, 0x40000000}, kRgb24Pixels)), PackedDibKind::Undecodable);

    auto bitFields = [](std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint16_t depth = 16) {
        std::vector<unsigned char> tail;
        put32(tail, r);
        put32(tail, g);
        put32(tail, b);
        tail.resize(tail.size() + 16, 0);
        return kindOf(block({40, 3, 2, 1, depth, kDibBitFields}, tail));
    };
    EXPECT_EQ(bitFields(0xF800, 0x07E0, 0x001F), PackedDibKind::Decodable);
    EXPECT_EQ(bitFields(0, 0x07E0, 0x001F), PackedDibKind::Undecodable) << "empty mask";
    EXPECT_EQ(bitFields(0xF800, 0x0FE0, 0x001F), PackedDibKind::Undecodable) << "overlapping masks";
    EXPECT_EQ(bitFields(0xF100, 0x07E0, 0x001F), PackedDibKind::Undecodable) << "mask with a gap";
    EXPECT_EQ(bitFields(0xF0000, 0x07E0, 0x001F), PackedDibKind::Undecodable) << "mask beyond 16 bits";
    // The masks themselves cut off by the end of the block.
    EXPECT_EQ(kindOf(block({40, 1, 1, 1, 32, kDibBitFields}, bytes({0, 0, 0xFF, 0, 0, 0xFF}))),
              PackedDibKind::Undecodable);
}

TEST(PackedDib, PixelsMustBeWithinTheBlock) {
    auto shortBy = [](std::size_t missing) {
        std::vector<unsigned char> pixels = kRgb24Pixels;
        pixels.resize(pixels.size() - missing);
        return kindOf(block(DibFields{}, pixels));
    };
    EXPECT_EQ(shortBy(0), PackedDibKind::Decodable);
    EXPECT_EQ(shortBy(1), PackedDibKind::Undecodable);
    // Strides and sizes that overflow 32 bits must not wrap round to something small.
    EXPECT_EQ(kindOf(block({40, INT_MAX, INT_MAX, 1, 32}, kRgb24Pixels)), PackedDibKind::Undecodable);
    EXPECT_EQ(kindOf(block({40, 0x40000001, -4, 1, 32}, kRgb24Pixels)), PackedDibKind::Undecodable);
    EXPECT_EQ(kindOf(block({40, 0x08000000, 2, 1, 32}, kRgb24Pixels)), PackedDibKind::Undecodable);
}

TEST(PackedDib, PicturesBeyondTheBoundAreKnownOnlyBySize) {
    // A few bytes of run-length data may declare any size; past the bound nothing is decoded.
    const std::vector<unsigned char> tiny(1024 + 2, 0);
    const PackedDibCheck huge =
        inspectPackedDib(block({40, 8193, 8192, 1, 8, kDibRle8}, tiny).data(), 40 + tiny.size());
    EXPECT_EQ(huge.kind, PackedDibKind::TooLarge);
    EXPECT_EQ(huge.layout.width, 8193);
    EXPECT_EQ(huge.layout.height, 8192);
    EXPECT_EQ(kindOf(block({40, 8192, 8192, 1, 8, kDibRle8}, tiny)), PackedDibKind::Decodable);
    EXPECT_EQ(kindOf(block({40, 60000, 60000, 1, 4, kDibRle4}, std::vector<unsigned char>(64 + 2, 0))),
              PackedDibKind::TooLarge);

    const auto only = digestOnlyPicture(PictureDigest{1, 2}, 8193, 8192);
    EXPECT_FALSE(only->hasPixels());
    EXPECT_EQ(only->digest(), (PictureDigest{1, 2}));
    EXPECT_EQ(only->width(), 8193);
}

TEST(PackedDib, EveryDepthDecodesToTheSamePixels) {
    // 24 bits, bottom-up and top-down, and the old 12-byte header.
    EXPECT_EQ(decode(block(DibFields{}, kRgb24Pixels)), kRgb24Expected);
    std::vector<unsigned char> topDown(kRgb24Pixels.begin() + 12, kRgb24Pixels.end());
    topDown.insert(topDown.end(), kRgb24Pixels.begin(), kRgb24Pixels.begin() + 12);
    EXPECT_EQ(decode(block({40, 3, -2, 1, 24}, topDown)), kRgb24Expected);
    std::vector<unsigned char> core = bytes({12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 24, 0});
    core.insert(core.end(), kRgb24Pixels.begin(), kRgb24Pixels.end());
    EXPECT_EQ(decode(core), kRgb24Expected);

    // Palettes: 1, 4 and 8 bits, with an index past a short table reading as black.
    const std::vector<unsigned char> palette = bytes({0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0});
    auto withPalette = [&](std::uint16_t depth, std::uint32_t used, std::vector<unsigned char> rows) {
        std::vector<unsigned char> tail = palette;
        tail.resize(std::size_t{used ? used : (1u << depth)} * 4, 0);
        tail.insert(tail.end(), rows.begin(), rows.end());
        return decode(block({40, 3, 2, 1, depth, kDibRgb, 0, used}, tail));
    };
    const std::uint32_t c0 = 0x302010, c1 = 0x605040;
    EXPECT_EQ(withPalette(1, 0, bytes({0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0})),
              (std::vector<std::uint32_t>{c0, c1, c0, c1, c0, c1}));
    EXPECT_EQ(withPalette(4, 0, bytes({0x10, 0x00, 0, 0, 0x01, 0x10, 0, 0})),
              (std::vector<std::uint32_t>{c0, c1, c1, c1, c0, c0}));
    EXPECT_EQ(withPalette(8, 2, bytes({1, 0, 9, 0, 0, 1, 0, 0})), (std::vector<std::uint32_t>{c0, c1, c0, c1, c0, 0}));

    // 16 bits: 5-5-5 by default, 5-6-5 by masks; full scale stays full scale.
    EXPECT_EQ(decode(block({40, 2, 1, 1, 16}, bytes({0x00, 0x7C, 0x1F, 0x00}))),
              (std::vector<std::uint32_t>{0xFF0000, 0x0000FF}));
    std::vector<unsigned char> masks565;
    for (const std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) put32(masks565, m);
    masks565.insert(masks565.end(), {0xE0, 0x07, 0x10, 0x84});  // full green; 10000 100000 10000
    EXPECT_EQ(decode(block({40, 2, 1, 1, 16, kDibBitFields}, masks565)),
              (std::vector<std::uint32_t>{0x00FF00, 0x848284}));

    // 32 bits: alpha dropped; masks in a V5 header's own fields.
    EXPECT_EQ(decode(block({40, 1, 1, 1, 32}, bytes({0x11, 0x22, 0x33, 0xFF}))),
              (std::vector<std::uint32_t>{0x332211}));
    std::vector<unsigned char> v5 = block({124, 1, 1, 1, 32, kDibBitFields}, bytes({0x11, 0x22, 0x33, 0x44}));
    const std::uint32_t v5Masks[] = {0x000000FF, 0x0000FF00, 0x00FF0000};
    std::memcpy(v5.data() + 40, v5Masks, sizeof v5Masks);
    EXPECT_EQ(decode(v5), (std::vector<std::uint32_t>{0x112233}));
}

std::vector<unsigned char> rlePalette() {
    std::vector<unsigned char> table(256 * 4, 0);
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i) * 4] = static_cast<unsigned char>(i);  // blue = index
    return table;
}

TEST(PackedDib, RunLengthDataStaysInsideThePicture) {
    auto rle8 = [](std::int32_t width, std::int32_t height, std::vector<unsigned char> runs,
                   std::uint32_t sizeImage = 0) {
        std::vector<unsigned char> tail = rlePalette();
        tail.insert(tail.end(), runs.begin(), runs.end());
        return block({40, width, height, 1, 8, kDibRle8, sizeImage}, tail);
    };
    // A run, end of line, a literal of three (padded), end of line, a jump, a run, end of picture. Bottom line first.
    const auto pixels = decode(rle8(4, 3, bytes({2, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 1, 9, 0, 1})), 0xAA);
    EXPECT_EQ(pixels, (std::vector<std::uint32_t>{0xAA, 0xAA, 9, 0xAA, 1, 2, 3, 0xAA, 7, 7, 0xAA, 0xAA}));

    // Runs and literals past the right edge are dropped, not wrapped; jumps past the top end decoding.
    EXPECT_EQ(decode(rle8(2, 1, bytes({200, 5, 0, 4, 1, 2, 3, 4}))), (std::vector<std::uint32_t>{5, 5}));
    EXPECT_EQ(decode(rle8(2, 2, bytes({0, 2, 0, 200, 9, 9})), 0xAA), (std::vector<std::uint32_t>(4, 0xAA)));
    EXPECT_EQ(decode(rle8(2, 2, bytes({0, 2, 255, 0, 9, 9})), 0xAA), (std::vector<std::uint32_t>(4, 0xAA)));
    // A literal longer than the data that is left, a jump cut off, a lone byte: decoding stops there.
    EXPECT_EQ(decode(rle8(4, 1, bytes({1, 6, 0, 5, 1, 2})), 0xAA), (std::vector<std::uint32_t>{6, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(decode(rle8(4, 1, bytes({1, 6, 0, 2, 1})), 0xAA), (std::vector<std::uint32_t>{6, 0xAA, 0xAA, 0xAA}));
    // The stated data size ends the data before the block does.
    EXPECT_EQ(decode(rle8(2, 1, bytes({1, 6, 1, 8}), 2), 0xAA), (std::vector<std::uint32_t>{6, 0xAA}));
    // Many end-of-line codes climb past the top without writing above it (the guard rows check that).
    std::vector<unsigned char> lines(400, 0);
    lines.insert(lines.end(), {4, 1});
    EXPECT_EQ(decode(rle8(2, 2, lines), 0xAA), (std::vector<std::uint32_t>(4, 0xAA)));

    // RLE4: runs alternate the two nibbles; literals read nibble by nibble.
    std::vector<unsigned char> tail = rlePalette();
    tail.resize(16 * 4);
    tail.insert(tail.end(), {5, 0x12, 0, 3, 0x34, 0x50, 0, 1});
    EXPECT_EQ(decode(block({40, 8, 1, 1, 4, kDibRle4}, tail), 0xAA),
              (std::vector<std::uint32_t>{1, 2, 1, 2, 1, 3, 4, 5}));
}

}  // namespace
}  // namespace zanthrel::test
