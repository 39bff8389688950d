#include "platform/qt/x11_transfer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zanthrel::qt {

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

std::uint32_t chooseTarget(std::span<const std::uint32_t> offered, std::span<const std::uint32_t> preferred) {
    for (const std::uint32_t wanted : preferred)
        if (wanted != 0 && std::find(offered.begin(), offered.end(), wanted) != offered.end()) return wanted;
    return 0;
}

bool TransferBuffer::add(const void* data, std::size_t size) {
    if (size > totalLimit_ - total_) return false;
    if (size == 0) return true;
    digester_.add(data, size);
    total_ += size;
    if (kept_ && total_ > keptLimit_) {
        kept_ = false;
        bytes_ = {};  // gives the memory back at once
    }
    if (kept_) {
        // The vector's own growth would double past the kept limit: a bitmap just over a power of two
        // would then hold twice the memory it needs, and three times during the copy.
        if (total_ > bytes_.capacity()) {
            const std::uint64_t doubled = std::max<std::uint64_t>(total_, 2 * std::uint64_t{bytes_.capacity()});
            bytes_.reserve(static_cast<std::size_t>(std::min(keptLimit_, doubled)));
        }
        const auto* first = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), first, first + size);
    }
    return true;
}

std::vector<unsigned char> TransferBuffer::takeBytes() noexcept {
    return std::exchange(bytes_, {});
}

}  // namespace zanthrel::qt
