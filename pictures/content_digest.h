#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/picture.h"

namespace zanthrel {

// A keyed digest of the bytes another program delivered: SipHash-2-4 with its 128-bit output. The key
// is drawn at random once per process, so that a program putting pictures on the clipboard cannot
// craft a new capture whose digest equals the previous one and have it pass as "the same picture
// again"; a standard keyed function, rather than one of our own, is what makes that hold. The same
// code runs on every platform.
//
// Bytes may arrive in pieces of any size; the digest depends only on the bytes and their order.
class ContentDigester {
public:
    using Key = std::array<unsigned char, 16>;

    // With the process's key.
    ContentDigester() noexcept;
    // With a key of the caller's: for checking the function against its published values.
    explicit ContentDigester(const Key& key) noexcept;

    void add(const void* data, std::size_t size) noexcept;
    // The digest of everything added so far: SipHash-2-4-128's 16 bytes read as two little-endian
    // halves, `low` first; never the unknown (all-zero) value.
    PictureDigest finish() const noexcept;

private:
    std::array<std::uint64_t, 4> state_{};
    std::uint64_t pending_ = 0;  // the bytes of an unfinished word, the first in the lowest byte
    unsigned pendingSize_ = 0;
    std::uint64_t total_ = 0;
};

PictureDigest digestOf(const void* data, std::size_t size) noexcept;

}  // namespace zanthrel
