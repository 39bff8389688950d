// Decoding a checked packed DIB into 32-bit pixels. inspectPackedDib() has bounded every read made here
// by the block; run-length data is additionally clipped to the picture, since its runs and jumps are
// whatever its author wrote.

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "pictures/packed_dib.h"

namespace zanthrel {
namespace {

using Palette = std::array<std::uint32_t, 256>;

Palette paletteOf(const PackedDibLayout& layout, const unsigned char* data) noexcept {
    Palette palette{};  // indexes beyond the table read as black
    for (std::uint32_t i = 0; i < layout.paletteEntries && i < palette.size(); ++i) {
        const unsigned char* entry = data + layout.paletteOffset + std::size_t{i} * layout.paletteEntryBytes;
        palette[i] = std::uint32_t{entry[2]} << 16 | std::uint32_t{entry[1]} << 8 | entry[0];
    }
    return palette;
}

// One channel of a bit-field pixel widened to 8 bits by repeating its bits, so that full scale stays
// full scale (5-bit 31 becomes 255).
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) noexcept : mask(m), shift(std::countr_zero(m)), bits(std::popcount(m)) {}

    std::uint32_t operator()(std::uint32_t pixel) const noexcept {
        const std::uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8) return value >> (bits - 8);
        std::uint32_t wide = 0;
        int filled = 0;
        while (filled < 8) {
            wide = wide << bits | value;
            filled += bits;
        }
        return wide >> (filled - 8);
    }
};

std::uint32_t readLittle(const unsigned char* at, int bytes) noexcept {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

void decodeRow(const PackedDibLayout& layout, const Palette& palette, const unsigned char* source,
               std::uint32_t* target) noexcept {
    const std::int32_t width = layout.width;
    switch (layout.bitCount) {
        case 1:
        case 4:
        case 8: {
            const int bits = layout.bitCount;
            const int perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (std::int32_t x = 0; x < width; ++x) {
                const unsigned char byte = source[x / perByte];
                const int shift = 8 - bits * (x % perByte + 1);
                target[x] = palette[(byte >> shift) & mask];
            }
            return;
        }
        case 24:
            for (std::int32_t x = 0; x < width; ++x) {
                const unsigned char* p = source + std::size_t(x) * 3;
                target[x] = std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
            }
            return;
        default: break;
    }
    const int bytes = layout.bitCount / 8;
    if (bytes == 4 && layout.masks == std::array<std::uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF}) {
        for (std::int32_t x = 0; x < width; ++x) target[x] = readLittle(source + std::size_t(x) * 4, 4) & 0xFFFFFFu;
        return;
    }
    const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint32_t pixel = readLittle(source + std::size_t(x) * bytes, bytes);
        target[x] = red(pixel) << 16 | green(pixel) << 8 | blue(pixel);
    }
}

// Run-length data: pairs of (count, value), or an escape (0, code): 0 ends the line, 1 the picture, 2
// jumps right and up by the next two bytes, 3 and more start that many literal pixels padded to 16 bits.
// Lines count from the bottom. Anything that would leave the picture or the data ends the decoding;
// what was decoded so far stays.
class RunLengthDecoder {
public:
    RunLengthDecoder(const PackedDibLayout& layout, const Palette& palette, const unsigned char* data,
                     std::uint32_t* topRow, std::ptrdiff_t rowStep) noexcept
        : layout_(layout),
          palette_(palette),
          data_(data),
          end_(data + layout.pixelBytes),
          topRow_(topRow),
          rowStep_(rowStep),
          fourBit_(layout.compression == kDibRle4) {}

    void run() noexcept {
        while (end_ - data_ >= 2 && y_ < layout_.height) {
            const unsigned count = data_[0];
            const unsigned value = data_[1];
            data_ += 2;
            if (count > 0) {
                for (unsigned i = 0; i < count; ++i) put(fourBit_ ? (i % 2 == 0 ? value >> 4 : value & 0xF) : value);
                continue;
            }
            if (value == 0) {
                x_ = 0;
                ++y_;
            } else if (value == 1) {
                return;
            } else if (value == 2) {
                if (end_ - data_ < 2) return;
                x_ += data_[0];
                y_ += data_[1];
                data_ += 2;
            } else if (!literal(value)) {
                return;
            }
        }
    }

private:
    bool literal(unsigned count) noexcept {
        const std::size_t bytes = fourBit_ ? (count + 1) / 2 : count;
        const std::size_t padded = (bytes + 1) & ~std::size_t{1};
        if (static_cast<std::size_t>(end_ - data_) < bytes) return false;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned byte = data_[fourBit_ ? i / 2 : i];
            put(fourBit_ ? (i % 2 == 0 ? byte >> 4 : byte & 0xF) : byte);
        }
        data_ += std::min<std::size_t>(padded, static_cast<std::size_t>(end_ - data_));
        return true;
    }

    void put(unsigned index) noexcept {
        // Pixels past the right edge are dropped rather than wrapped onto the next line.
        if (x_ < layout_.width && y_ < layout_.height)
            topRow_[(layout_.height - 1 - y_) * rowStep_ + x_] = palette_[index & 0xFF];
        ++x_;
    }

    const PackedDibLayout& layout_;
    const Palette& palette_;
    const unsigned char* data_;
    const unsigned char* end_;
    std::uint32_t* topRow_;
    std::ptrdiff_t rowStep_;
    bool fourBit_;
    std::int64_t x_ = 0;
    std::int64_t y_ = 0;
};

}  // namespace

void decodePackedDib(const PackedDibLayout& layout, const void* block, std::uint32_t* topRow,
                     std::ptrdiff_t rowStep) noexcept {
    const auto* data = static_cast<const unsigned char*>(block);
    if (!data || !topRow || layout.width <= 0 || layout.height <= 0) return;
    const Palette palette = paletteOf(layout, data);
    const unsigned char* pixels = data + layout.pixelOffset;
    if (layout.compression == kDibRle8 || layout.compression == kDibRle4) {
        RunLengthDecoder(layout, palette, pixels, topRow, rowStep).run();
        return;
    }
    const std::size_t stride = (static_cast<std::size_t>(layout.width) * layout.bitCount + 31) / 32 * 4;
    for (std::int32_t row = 0; row < layout.height; ++row) {
        // Row `row` of the data is the picture's top row counted down for top-down data, up otherwise.
        const std::int32_t fromTop = layout.topDown ? row : layout.height - 1 - row;
        decodeRow(layout, palette, pixels + static_cast<std::size_t>(row) * stride, topRow + fromTop * rowStep);
    }
}
}  // namespace zanthrel
