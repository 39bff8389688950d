#include "pictures/content_digest.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace zanthrel {
namespace {

const ContentDigester::Key& processKey() noexcept {
    static const ContentDigester::Key key = [] {
        ContentDigester::Key made{};
        try {
            std::random_device device;
            for (std::size_t i = 0; i < made.size(); i += 4) {
                const unsigned word = device();
                for (std::size_t j = 0; j < 4; ++j) made[i + j] = static_cast<unsigned char>(word >> (8 * j));
            }
        } catch (...) {
            // No entropy source: fall back to the address of a local and the clock, which still differ
            // from run to run on any system with address-space randomisation.
            const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            std::seed_seq seed{static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&made)),
                               static_cast<unsigned>(now), static_cast<unsigned>(now >> 32)};
            std::mt19937 generator(seed);
            for (unsigned char& byte : made) byte = static_cast<unsigned char>(generator());
        }
        return made;
    }();
    return key;
}

// Little-endian whatever the host, as the function is defined.
std::uint64_t load64(const unsigned char* bytes) noexcept {
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    }
    return value;
}

constexpr std::uint64_t rotate(std::uint64_t value, int bits) noexcept {
    return (value << bits) | (value >> (64 - bits));
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round() noexcept {
        v0 += v1;
        v1 = rotate(v1, 13);
        v1 ^= v0;
        v0 = rotate(v0, 32);
        v2 += v3;
        v3 = rotate(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotate(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotate(v1, 17);
        v1 ^= v2;
        v2 = rotate(v2, 32);
    }
    // Two compression rounds per word: the "2" of SipHash-2-4.
    void compress(std::uint64_t word) noexcept {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    }
    // Four finalisation rounds, then the four words folded into one half of the output.
    std::uint64_t finalHalf(std::uint64_t marker, std::uint64_t& into) noexcept {
        into ^= marker;
        round();
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

}  // namespace

ContentDigester::ContentDigester() noexcept : ContentDigester(processKey()) {}

ContentDigester::ContentDigester(const Key& key) noexcept {
    const std::uint64_t k0 = load64(key.data());
    const std::uint64_t k1 = load64(key.data() + 8);
    // The 128-bit variant marks v1 at the start, so that its first half differs from the 64-bit output.
    state_ = {k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull ^ 0xEE, k0 ^ 0x6c7967656e657261ull,
              k1 ^ 0x7465646279746573ull};
}

void ContentDigester::add(const void* data, std::size_t size) noexcept {
    if (!data || size == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    total_ += size;
    SipState sip{state_[0], state_[1], state_[2], state_[3]};
    // Fill an unfinished word first.
    while (pendingSize_ > 0 && size > 0) {
        pending_ |= std::uint64_t{*bytes++} << (8 * pendingSize_);
        --size;
        if (++pendingSize_ == 8) {
            sip.compress(pending_);
            pending_ = 0;
            pendingSize_ = 0;
        }
    }
    for (; size >= 8; bytes += 8, size -= 8) sip.compress(load64(bytes));
    for (std::size_t i = 0; i < size; ++i) pending_ |= std::uint64_t{bytes[i]} << (8 * i);
    pendingSize_ += static_cast<unsigned>(size);
    state_ = {sip.v0, sip.v1, sip.v2, sip.v3};
}

PictureDigest ContentDigester::finish() const noexcept {
    SipState sip{state_[0], state_[1], state_[2], state_[3]};
    // The last word: the remaining bytes, and the length's low byte in its top byte.
    sip.compress(pending_ | (total_ << 56));
    const std::uint64_t low = sip.finalHalf(0xEE, sip.v2);
    std::uint64_t high = sip.finalHalf(0xDD, sip.v1);
    if (low == 0 && high == 0) high = 1;  // zero means "unknown"
    return PictureDigest{low, high};
}

PictureDigest digestOf(const void* data, std::size_t size) noexcept {
    ContentDigester digester;
    digester.add(data, size);
    return digester.finish();
}

}  // namespace zanthrel
