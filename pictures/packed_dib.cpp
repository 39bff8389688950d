#include "pictures/packed_dib.h"

#include <bit>
#include <cstring>
#include <limits>

namespace zanthrel {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint32_t read32(const unsigned char* at) noexcept {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

std::uint16_t read16(const unsigned char* at) noexcept {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

bool knownInfoHeaderSize(std::uint32_t size) noexcept {
    // BITMAPINFOHEADER, its two extensions with channel masks, and the V4 and V5 headers.
    return size == kInfoHeaderSize || size == 52 || size == 56 || size == 108 || size == 124;
}

// A channel mask must be one run of set bits that fits the pixel; the three must not share a bit.
bool validMasks(const std::array<std::uint32_t, 3>& masks, std::uint16_t bitCount) noexcept {
    const std::uint64_t pixelBits = (std::uint64_t{1} << bitCount) - 1;
    for (const std::uint32_t mask : masks) {
        if (mask == 0 || mask > pixelBits) return false;
        const std::uint32_t shifted = mask >> std::countr_zero(mask);
        if ((shifted & (shifted + 1)) != 0) return false;
    }
    return (masks[0] & masks[1]) == 0 && (masks[0] & masks[2]) == 0 && (masks[1] & masks[2]) == 0;
}

std::uint64_t strideOf(std::int32_t width, std::uint16_t bitCount) noexcept {
    return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
}

struct Header {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kDibRgb;
    std::uint32_t sizeImage = 0;
    std::uint32_t coloursUsed = 0;
};

bool readHeader(const unsigned char* data, std::size_t size, Header& header) noexcept {
    if (size < 4) return false;
    header.size = read32(data);
    if (header.size == kCoreHeaderSize && size >= kCoreHeaderSize) {
        // The old header: unsigned 16-bit sizes, always bottom-up, never compressed.
        header.width = read16(data + 4);
        header.height = read16(data + 6);
        header.planes = read16(data + 8);
        header.bitCount = read16(data + 10);
        return true;
    }
    if (!knownInfoHeaderSize(header.size) || header.size > size) return false;
    header.width = static_cast<std::int32_t>(read32(data + 4));
    header.height = static_cast<std::int32_t>(read32(data + 8));
    header.planes = read16(data + 12);
    header.bitCount = read16(data + 14);
    header.compression = read32(data + 16);
    header.sizeImage = read32(data + 20);
    header.coloursUsed = read32(data + 32);
    return true;
}

bool validDepth(const Header& header) noexcept {
    switch (header.compression) {
        case kDibRgb: {
            const std::uint16_t b = header.bitCount;
            return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
        }
        case kDibRle8: return header.bitCount == 8;
        case kDibRle4: return header.bitCount == 4;
        case kDibBitFields:
        case kDibAlphaBitFields: return header.bitCount == 16 || header.bitCount == 32;
        default: return false;
    }
}

}  // namespace

PackedDibCheck inspectPackedDib(const void* block, std::size_t size) noexcept {
    PackedDibCheck check;
    const auto* data = static_cast<const unsigned char*>(block);
    Header header;
    if (!data || !readHeader(data, size, header)) return check;
    // Negative heights mean top-down; a negative width, a zero size or INT_MIN (whose negation does not
    // exist) mean nothing.
    if (header.width <= 0 || header.height == 0 || header.height == std::numeric_limits<std::int32_t>::min())
        return check;
    PackedDibLayout& layout = check.layout;
    layout.width = static_cast<std::int32_t>(header.width);
    layout.height = static_cast<std::int32_t>(header.height < 0 ? -header.height : header.height);
    layout.topDown = header.height < 0;
    layout.bitCount = header.bitCount;
    layout.compression = header.compression;
    if (header.planes != 1 || !validDepth(header)) return check;
    const bool runLength = header.compression == kDibRle8 || header.compression == kDibRle4;
    if (runLength && layout.topDown) return check;

    // Channel masks: inside the larger headers, or right after the 40-byte one.
    std::uint64_t offset = header.size;
    if (header.compression == kDibBitFields || header.compression == kDibAlphaBitFields) {
        const unsigned char* masks = data + kInfoHeaderSize;
        if (header.size == kInfoHeaderSize) {
            const std::uint64_t maskBytes = header.compression == kDibBitFields ? 12 : 16;
            if (offset + maskBytes > size) return check;
            offset += maskBytes;
        }
        layout.masks = {read32(masks), read32(masks + 4), read32(masks + 8)};
    } else if (header.bitCount == 16) {
        layout.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (header.bitCount == 32) {
        layout.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    if (header.bitCount >= 16 && header.bitCount != 24 && !validMasks(layout.masks, header.bitCount)) return check;

    // The colour table. Above 8 bits a table may still be there (a hint for palette displays); it is
    // skipped, but must lie within the block.
    const std::uint64_t maxEntries = header.bitCount <= 8 ? std::uint64_t{1} << header.bitCount : 0;
    std::uint64_t entries = header.coloursUsed;
    if (header.bitCount <= 8) {
        if (entries == 0) entries = maxEntries;
        if (entries > maxEntries) return check;
    }
    layout.paletteEntryBytes = header.size == kCoreHeaderSize ? 3 : 4;
    layout.paletteOffset = static_cast<std::size_t>(offset);
    layout.paletteEntries = static_cast<std::uint32_t>(header.bitCount <= 8 ? entries : 0);
    offset += entries * layout.paletteEntryBytes;
    if (offset > size) return check;
    layout.pixelOffset = static_cast<std::size_t>(offset);

    const std::uint64_t available = size - offset;
    if (runLength) {
        // Run-length data says where it ends; it is read no further than the block, nor its stated size.
        layout.pixelBytes = static_cast<std::size_t>(
            header.sizeImage != 0 && header.sizeImage < available ? header.sizeImage : available);
    } else {
        const std::uint64_t needed =
            strideOf(layout.width, header.bitCount) * static_cast<std::uint64_t>(layout.height);
        if (needed > available) return check;
        layout.pixelBytes = static_cast<std::size_t>(needed);
    }
    const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
    check.kind = pixels > kMaxDecodedPixels ? PackedDibKind::TooLarge : PackedDibKind::Decodable;
    return check;
}

}  // namespace zanthrel
