// The digest that tells "the same bytes again" from a new picture: SipHash-2-4 with its 128-bit output,
// held against the values its authors published, and against any one changed byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pictures/content_digest.h"

namespace zanthrel {
namespace {

// SipHash-2-4-128 of the bytes 00, 01, ..., n-1 under the key 00, 01, ..., 0f, for n = 0 .. 63: the
// reference implementation's published test values, as the 16 output bytes in order.
constexpr const char* kPublished[64] = {
    "a3817f04ba25a8e66df67214c7550293", "da87c1d86b99af44347659119b22fc45", "8177228da4a45dc7fca38bdef60affe4",
    "9c70b60c5267a94e5f33b6b02985ed51", "f88164c12d9c8faf7d0f6e7c7bcd5579", "1368875980776f8854527a07690e9627",
    "14eeca338b208613485ea0308fd7a15e", "a1f1ebbed8dbc153c0b84aa61ff08239", "3b62a9ba6258f5610f83e264f31497b4",
    "264499060ad9baabc47f8b02bb6d71ed", "00110dc378146956c95447d3f3d0fbba", "0151c568386b6677a2b4dc6f81e5dc18",
    "d626b266905ef35882634df68532c125", "9869e247e9c08b10d029934fc4b952f7", "31fcefac66d7de9c7ec7485fe4494902",
    "5493e99933b0a8117e08ec0f97cfc3d9", "6ee2a4ca67b054bbfd3315bf85230577", "473d06e8738db89854c066c47ae47740",
    "a426e5e423bf4885294da481feaef723", "78017731cf65fab074d5208952512eb1", "9e25fc833f2290733e9344a5e83839eb",
    "568e495abe525a218a2214cd3e071d12", "4a29b54552d16b9a469c10528eff0aae", "c9d184ddd5a9f5e0cf8ce29a9abf691c",
    "2db479ae78bd50d8882a8a178a6132ad", "8ece5f042d5e447b5051b9eacb8d8f6f", "9c0b53b4b3c307e87eaee08678141f66",
    "abf248af69a6eae4bfd3eb2f129eeb94", "0664da1668574b88b935f3027358aef4", "aa4b9dc4bf337de90cd4fd3c467c6ab7",
    "ea5c7f471faf6bde2b1ad7d4686d2287", "2939b0183223fafc1723de4f52c43d35", "7c3956ca5eeafc3e363e9d556546eb68",
    "77c6077146f01c32b6b69d5f4ea9ffcf", "37a6986cb8847edf0925f0f1309b54de", "a705f0e69da9a8f907241a2e923c8cc8",
    "3dc47d1f29c448461e9e76ed904f6711", "0d62bf01e6fc0e1a0d3c4751c5d3692b", "8c03468bca7c669ee4fd5e084bbee7b5",
    "528a5bb93baf2c9c4473cce5d0d22bd9", "df6a301e95c95dad97ae0cc8c6913bd8", "801189902c857f39e73591285e70b6db",
    "e617346ac9c231bb3650ae34ccca0c5b", "27d93437efb721aa401821dcec5adf89", "89237d9ded9c5e78d8b1c9b166cc7342",
    "4a6d8091bf5e7d651189fa94a250b14c", "0e33f96055e7ae893ffc0e3dcf492902", "e61c432b720b19d18ec8d84bdc63151b",
    "f7e5aef549f782cf379055a608269b16", "438d030fd0b7a54fa837f2ad201a6403", "a590d3ee4fbf04e3247e0d27f286423f",
    "5fe2c1a172fe93c4b15cd37caef9f538", "2c97325cbd06b36eb2133dd08b3a017c", "92c814227a6bca949ff0659f002ad39e",
    "dce850110bd8328cfbd50841d6911d87", "67f14984c7da791248e32bb5922583da", "1938f2cf72d54ee97e94166fa91d2a36",
    "74481e9646ed49fe0f6224301604698e", "57fca5de98a9d6d8006438d0583d8a1d", "9fecde1cefdc1cbed4763674d9575359",
    "e3040c00eb28f15366ca73cbd872e740", "7697009a6a831dfecca91c5993670f7a", "5853542321f567a005d547a4f04759bd",
    "5150d1772f50834a503e069a973fbd7c",
};

ContentDigester::Key countingKey() {
    ContentDigester::Key key{};
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i);
    return key;
}

std::string hexOf(PictureDigest digest) {
    std::string text;
    for (const std::uint64_t half : {digest.low, digest.high})
        for (int i = 0; i < 8; ++i) {
            static constexpr char kDigits[] = "0123456789abcdef";
            const auto byte = static_cast<unsigned>(half >> (8 * i)) & 0xFFu;
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0xF];
        }
    return text;
}

std::vector<unsigned char> patterned(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    std::uint32_t state = 0x12345678u;
    for (unsigned char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

TEST(ContentDigest, GivesThePublishedValuesWholeAndInPieces) {
    std::vector<unsigned char> message;
    for (std::size_t n = 0; n < 64; ++n) {
        ContentDigester whole(countingKey());
        whole.add(message.data(), message.size());
        EXPECT_EQ(hexOf(whole.finish()), kPublished[n]) << n << " bytes";
        // Cut in two anywhere, and byte by byte.
        for (std::size_t cut = 0; cut <= n; ++cut) {
            ContentDigester two(countingKey());
            two.add(message.data(), cut);
            two.add(message.data() + cut, n - cut);
            EXPECT_EQ(hexOf(two.finish()), kPublished[n]) << n << " bytes cut at " << cut;
        }
        ContentDigester single(countingKey());
        for (const unsigned char byte : message) single.add(&byte, 1);
        EXPECT_EQ(hexOf(single.finish()), kPublished[n]) << n << " bytes one by one";
        message.push_back(static_cast<unsigned char>(n));
    }
}

// A digest that overlooked any byte (the last ones of an unfinished word above all) would take a
// changed picture for the same one again.
TEST(ContentDigest, AnySingleChangedByteChangesIt) {
    const std::vector<unsigned char> data = patterned(1 << 20);
    const auto everyByteCounts = [&](std::size_t length, std::size_t position) {
        std::vector<unsigned char> changed(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
        const PictureDigest original = digestOf(changed.data(), length);
        for (const unsigned char flip : {0x01, 0x80, 0xFF}) {
            changed[position] ^= flip;
            if (digestOf(changed.data(), length) == original) return false;
            changed[position] ^= flip;
        }
        return true;
    };
    for (std::size_t length = 1; length <= 300; ++length)
        for (std::size_t position = 0; position < length; ++position)
            ASSERT_TRUE(everyByteCounts(length, position)) << length << " bytes, byte " << position;
    // Around word boundaries deep into long data, and in its last words.
    for (const std::size_t length : {4095u, 4096u, 4097u, 65535u, 65536u, 65543u, 1u << 20}) {
        for (std::size_t position = 0; position < 24; ++position)
            ASSERT_TRUE(everyByteCounts(length, position)) << length << " bytes, byte " << position;
        for (std::size_t position = length / 2 - 9; position < length / 2 + 9; ++position)
            ASSERT_TRUE(everyByteCounts(length, position)) << length << " bytes, byte " << position;
        for (std::size_t position = length - 24; position < length; ++position)
            ASSERT_TRUE(everyByteCounts(length, position)) << length << " bytes, byte " << position;
    }
}

TEST(ContentDigest, LengthAndKeyCount) {
    const std::vector<unsigned char> zeros(64, 0);
    for (std::size_t length = 0; length < zeros.size(); ++length)
        EXPECT_NE(digestOf(zeros.data(), length), digestOf(zeros.data(), length + 1)) << length;
    // Lengths alike in their low byte, which is all of the length that enters the last word.
    const std::vector<unsigned char> longZeros(512, 0);
    EXPECT_NE(digestOf(longZeros.data(), 0), digestOf(longZeros.data(), 256));
    EXPECT_NE(digestOf(longZeros.data(), 8), digestOf(longZeros.data(), 264));

    // The process's own key: drawn, not left at zero nor at the published one.
    ContentDigester zeroKey(ContentDigester::Key{});
    ContentDigester published(countingKey());
    EXPECT_NE(digestOf(nullptr, 0), zeroKey.finish());
    EXPECT_NE(digestOf(nullptr, 0), published.finish());
    EXPECT_EQ(digestOf(nullptr, 0), ContentDigester().finish()) << "one key for the whole process";
    EXPECT_TRUE(digestOf(nullptr, 0).known());
}

}  // namespace
}  // namespace zanthrel
