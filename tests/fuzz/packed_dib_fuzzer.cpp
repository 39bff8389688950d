// Any bytes as a clipboard DIB block: the check must never read outside the block, and whatever it lets
// through must decode without writing outside the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pictures/packed_dib.h"

namespace {

constexpr std::uint32_t kGuard = 0xA5A5A5A5;
// The bound itself is checked by the unit test; here only small pictures are decoded, to keep runs fast.
constexpr std::uint64_t kFuzzPixels = std::uint64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past the end is caught by the sanitizer.
    std::vector<std::uint8_t> block(data, data + size);
    const zanthrel::PackedDibCheck check = zanthrel::inspectPackedDib(block.data(), block.size());
    if (check.kind == zanthrel::PackedDibKind::Undecodable) return 0;
    const zanthrel::PackedDibLayout& layout = check.layout;
    if (layout.width <= 0 || layout.height <= 0 || layout.pixelOffset > size ||
        layout.pixelBytes > size - layout.pixelOffset)
        std::abort();
    const std::uint64_t pixels = std::uint64_t(layout.width) * std::uint64_t(layout.height);
    if ((check.kind == zanthrel::PackedDibKind::TooLarge) != (pixels > zanthrel::kMaxDecodedPixels)) std::abort();
    if (check.kind != zanthrel::PackedDibKind::Decodable || pixels > kFuzzPixels) return 0;

    // Bottom-up, as the Windows program decodes, between two guard rows.
    const std::size_t width = static_cast<std::size_t>(layout.width);
    std::vector<std::uint32_t> buffer(width * (static_cast<std::size_t>(layout.height) + 2), kGuard);
    std::uint32_t* topRow = buffer.data() + width * static_cast<std::size_t>(layout.height);
    zanthrel::decodePackedDib(layout, block.data(), topRow, -static_cast<std::ptrdiff_t>(width));
    for (std::size_t i = 0; i < width; ++i)
        if (buffer[i] != kGuard || buffer[buffer.size() - 1 - i] != kGuard) std::abort();
    for (std::size_t i = width; i < buffer.size() - width; ++i)
        if (buffer[i] != kGuard && (buffer[i] >> 24) != 0) std::abort();  // decoded pixels carry no top byte
    return 0;
}
