#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/content_digest.h"

namespace zanthrel::posix {

// How much of one clipboard transfer is kept for decoding: an uncompressed 8192 × 8192 bitmap of 32-bit
// pixels with its headers. Larger data are still read to the end, for their digest only.
inline constexpr std::uint64_t kKeptTransferBytes = (256u << 20) + (1u << 20);
// Beyond this the transfer is given up: no screen capture is this large, and an owner that announces or
// sends more is only keeping the reader busy.
inline constexpr std::uint64_t kMaxTransferBytes = std::uint64_t{1} << 30;

// The bytes of one transfer as they arrive, whole or in the pieces of an INCR transfer: kept up to
// `keptLimit`, digested to the end, refused beyond `totalLimit`.
class TransferBuffer {
public:
    TransferBuffer() noexcept = default;
    TransferBuffer(std::uint64_t keptLimit, std::uint64_t totalLimit) noexcept
        : keptLimit_(keptLimit), totalLimit_(totalLimit) {}

    // False once the transfer would pass the total limit; nothing more is taken then.
    [[nodiscard]] bool add(const void* data, std::size_t size);
    // False when an announced size already passes the total limit.
    [[nodiscard]] bool announce(std::uint64_t size) const noexcept { return size <= totalLimit_; }

    // Whether every byte so far was kept; otherwise only the digest tells the data apart.
    bool kept() const noexcept { return kept_; }
    std::uint64_t size() const noexcept { return total_; }
    PictureDigest digest() const noexcept { return digester_.finish(); }
    // The kept bytes; empty when they outgrew the kept limit.
    std::vector<unsigned char> takeBytes() noexcept;

private:
    std::uint64_t keptLimit_ = kKeptTransferBytes;
    std::uint64_t totalLimit_ = kMaxTransferBytes;
    std::uint64_t total_ = 0;
    bool kept_ = true;
    std::vector<unsigned char> bytes_;
    ContentDigester digester_;
};

}  // namespace zanthrel::posix
