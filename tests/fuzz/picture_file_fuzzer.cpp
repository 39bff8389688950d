// Any bytes as a picture file on the clipboard: the check must never read outside the block, and what it
// passes to a decoder must be within the bounds it promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pictures/picture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past the end is caught by the sanitizer.
    const std::vector<std::uint8_t> block(data, data + size);
    const zanthrel::PictureFileCheck check = zanthrel::inspectPictureFile(block.data(), block.size());
    if (check.usedBytes > size || check.width < 0 || check.height < 0) std::abort();
    if (check.verdict != zanthrel::PictureFileVerdict::Decodable) return 0;
    if (check.kind == zanthrel::PictureFileKind::Unknown || check.width == 0 || check.height == 0) std::abort();
    if (std::uint64_t(check.width) * std::uint64_t(check.height) > zanthrel::kMaxDecodedPixels) std::abort();
    return 0;
}
