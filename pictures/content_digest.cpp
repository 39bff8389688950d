#include "pictures/content_digest.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

namespace zanthrel {
namespace {

struct Key {
    std::array<std::uint64_t, 12> words{};
};

const Key& processKey() noexcept {
    static const Key key = [] {
        Key made;
        try {
            std::random_device device;
            for (std::uint64_t& word : made.words)
                word = (std::uint64_t{device()} << 32) ^ device() ^ 0x9E3779B97F4A7C15ull;
        } catch (...) {
            // No entropy source: fall back to the address of a local and the clock, which still differ
            // from run to run on any system with address-space randomisation.
            const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            std::seed_seq seed{static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&made)),
                               static_cast<unsigned>(now), static_cast<unsigned>(now >> 32)};
            std::mt19937_64 generator(seed);
            for (std::uint64_t& word : made.words) word = generator();
        }
        return made;
    }();
    return key;
}

std::uint64_t load64(const unsigned char* bytes) noexcept {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::uint64_t rotate(std::uint64_t value, int bits) noexcept {
    return (value << bits) | (value >> (64 - bits));
}

// 64×64→128 multiply folded to 64 bits: the strongest cheap mixer there is.
std::uint64_t foldedProduct(std::uint64_t a, std::uint64_t b) noexcept {
    const std::uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32, bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow, lowHigh = aLow * bHigh, highLow = aHigh * bLow;
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
    const std::uint64_t low = (middle << 32) | (lowLow & 0xFFFFFFFFu);
    const std::uint64_t high = aHigh * bHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
    return low ^ high;
}

constexpr std::uint64_t kStripesPerScramble = 16;

}  // namespace

ContentDigester::ContentDigester() noexcept {
    const Key& key = processKey();
    for (std::size_t i = 0; i < lanes_.size(); ++i) lanes_[i] = key.words[i];
}

void ContentDigester::consumeStripe(const unsigned char* stripe) noexcept {
    const Key& key = processKey();
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        const std::uint64_t word = load64(stripe + 8 * i);
        const std::uint64_t keyed = word ^ key.words[4 + i];
        // The word itself is added as well, so that no word can cancel the lane's state.
        lanes_[i] += (keyed & 0xFFFFFFFFu) * (keyed >> 32) + rotate(word, 17 + 8 * static_cast<int>(i));
    }
    if (++stripes_ % kStripesPerScramble == 0) {
        for (std::size_t i = 0; i < lanes_.size(); ++i) {
            lanes_[i] ^= lanes_[i] >> 47;
            lanes_[i] ^= key.words[8 + i];
            lanes_[i] *= 0x9E3779B1u;
        }
    }
}

void ContentDigester::add(const void* data, std::size_t size) noexcept {
    if (!data || size == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, kStripe - pendingSize_);
        std::memcpy(pending_.data() + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < kStripe) return;
        consumeStripe(pending_.data());
        pendingSize_ = 0;
    }
    for (; size >= kStripe; bytes += kStripe, size -= kStripe) consumeStripe(bytes);
    std::memcpy(pending_.data(), bytes, size);
    pendingSize_ = size;
}

PictureDigest ContentDigester::finish() const noexcept {
    const Key& key = processKey();
    std::array<std::uint64_t, 4> lanes = lanes_;
    // The tail, padded with zeros; the length below tells "abc" from "abc\0".
    std::array<unsigned char, kStripe> tail{};
    std::memcpy(tail.data(), pending_.data(), pendingSize_);
    for (std::size_t i = 0; i < lanes.size(); ++i)
        lanes[i] = foldedProduct(lanes[i] ^ load64(tail.data() + 8 * i), key.words[4 + i] | 1);
    const std::uint64_t length = total_ ^ key.words[8];
    std::uint64_t low = foldedProduct(lanes[0] ^ lanes[2] ^ length, key.words[9] | 1);
    std::uint64_t high = foldedProduct(lanes[1] ^ lanes[3] ^ rotate(length, 32), key.words[10] | 1);
    low = foldedProduct(low ^ high, key.words[11] | 1) ^ lanes[0];
    high = foldedProduct(high ^ rotate(low, 29), key.words[0] | 1) ^ lanes[3];
    if (low == 0 && high == 0) low = 1;  // zero means "unknown"
    return PictureDigest{low, high};
}

PictureDigest digestOf(const void* data, std::size_t size) noexcept {
    ContentDigester digester;
    digester.add(data, size);
    return digester.finish();
}

}  // namespace zanthrel
