#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/picture.h"

namespace zanthrel {

// A fast keyed digest of the bytes another program delivered. The key is drawn at random once per
// process, so a program that puts pictures on the clipboard cannot craft a new capture whose digest
// equals the previous one and have it pass as "the same picture again". Not a cryptographic hash:
// it only has to resist inputs made without knowledge of the key, at memory speed.
//
// Bytes may arrive in pieces of any size; the digest depends only on the bytes and their order.
class ContentDigester {
public:
    ContentDigester() noexcept;

    void add(const void* data, std::size_t size) noexcept;
    // The digest of everything added so far; never the unknown (all-zero) value.
    PictureDigest finish() const noexcept;

private:
    static constexpr std::size_t kStripe = 32;
    void consumeStripe(const unsigned char* stripe) noexcept;

    std::array<std::uint64_t, 4> lanes_{};
    std::array<unsigned char, kStripe> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t stripes_ = 0;
    std::uint64_t total_ = 0;
};

PictureDigest digestOf(const void* data, std::size_t size) noexcept;

}  // namespace zanthrel
