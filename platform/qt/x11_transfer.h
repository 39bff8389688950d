#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pictures/content_digest.h"

namespace zanthrel::qt {

// How much of one clipboard transfer is kept for decoding: an uncompressed 8192 × 8192 bitmap of 32-bit
// pixels with its headers. Larger data are still read to the end, for their digest only.
inline constexpr std::uint64_t kKeptTransferBytes = (256u << 20) + (1u << 20);
// Beyond this the transfer is given up: no screen capture is this large, and an owner that announces or
// sends more is only keeping the reader busy.
inline constexpr std::uint64_t kMaxTransferBytes = std::uint64_t{1} << 30;

// The atoms of a TARGETS answer. Only a list of 32-bit items is one; another item size or a length that
// is not a whole number of items gives an empty list.
std::vector<std::uint32_t> parseAtomList(std::uint8_t format, const void* data, std::size_t bytes);

// The size an INCR announcement promises (a lower bound, by convention), or nothing when the value is not
// one 32-bit item (some owners send none).
std::optional<std::uint32_t> parseIncrAnnouncement(std::uint8_t format, const void* data, std::size_t bytes);

// The first atom of `preferred` that `offered` holds, or 0 (None) when it holds none of them.
std::uint32_t chooseTarget(std::span<const std::uint32_t> offered, std::span<const std::uint32_t> preferred);

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

}  // namespace zanthrel::qt
