#include "platform/x11/x11_transfer.h"

#include <cstring>

namespace zanthrel::x11 {

std::vector<std::uint32_t> parseAtomList(std::uint8_t format, const void* data, std::size_t bytes) {
    if (format != 32 || !data || bytes % 4 != 0) return {};
    std::vector<std::uint32_t> atoms(bytes / 4);
    // The bytes come from another program: copied, never read in place through a cast.
    std::memcpy(atoms.data(), data, bytes);
    return atoms;
}

std::optional<std::uint32_t> parseIncrAnnouncement(std::uint8_t format, const void* data, std::size_t bytes) {
    if (format != 32 || !data || bytes != 4) return std::nullopt;
    std::uint32_t size = 0;
    std::memcpy(&size, data, sizeof size);
    return size;
}

}  // namespace zanthrel::x11
