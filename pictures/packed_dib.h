#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/picture.h"

namespace zanthrel {

// A packed DIB is the block another program hands over as a clipboard picture: a bitmap header, an
// optional colour table or channel masks, then the pixels. Every field comes from that other program,
// so nothing here trusts one before it has been checked against the block's real size.

// The largest picture decoded into pixels: 8192 × 8192, 256 MiB at 32 bits. Larger ones are judged by
// the digest of their data; a 3 KB run-length block declaring a gigapixel picture must not cost gigabytes.
inline constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{8192} * 8192;

enum class PackedDibKind {
    Decodable,    // every field checked; decodePackedDib() may run
    TooLarge,     // well formed, but beyond kMaxDecodedPixels
    Undecodable,  // malformed, truncated, or compressed in a way we do not decode (JPEG, PNG, CMYK)
};

struct PackedDibLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // rows, always positive
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::size_t paletteOffset = 0;
    std::uint32_t paletteEntries = 0;
    std::uint32_t paletteEntryBytes = 4;   // 3 for the old 12-byte header's RGB triples
    std::array<std::uint32_t, 3> masks{};  // red, green, blue for 16 and 32 bits
    std::size_t pixelOffset = 0;
    std::size_t pixelBytes = 0;  // how many bytes from pixelOffset the decoder may read
};

struct PackedDibCheck {
    PackedDibKind kind = PackedDibKind::Undecodable;
    PackedDibLayout layout;  // width and height are set for TooLarge too
};

// Compression codes of the header.
inline constexpr std::uint32_t kDibRgb = 0;
inline constexpr std::uint32_t kDibRle8 = 1;
inline constexpr std::uint32_t kDibRle4 = 2;
inline constexpr std::uint32_t kDibBitFields = 3;
inline constexpr std::uint32_t kDibJpeg = 4;
inline constexpr std::uint32_t kDibPng = 5;
inline constexpr std::uint32_t kDibAlphaBitFields = 6;

// Checks the whole block, allocating nothing.
PackedDibCheck inspectPackedDib(const void* block, std::size_t size) noexcept;

// Writes the picture as 0x00RRGGBB pixels: `topRow` is where the picture's top row goes, successive rows
// `rowStep` elements further (negative for a bottom-up buffer). `layout` must come from inspectPackedDib
// of this very block with the kind Decodable. Pixels a run-length block leaves out stay as they were.
void decodePackedDib(const PackedDibLayout& layout, const void* block, std::uint32_t* topRow,
                     std::ptrdiff_t rowStep) noexcept;


}  // namespace zanthrel
