#include "platform/posix/transfer_buffer.h"

#include <algorithm>
#include <utility>

namespace zanthrel::posix {

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

}  // namespace zanthrel::posix
