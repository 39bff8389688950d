// A picture's digest is taken over data that arrives in pieces of whatever size the other program and
// the transfer chose: it must depend only on the bytes, never on where the pieces were cut, and on
// every one of them: any single changed byte, the last ones above all, is a different picture.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pictures/content_digest.h"

namespace {

using zanthrel::ContentDigester;
using zanthrel::PictureDigest;

[[noreturn]] void fail(const char* what, std::size_t size) {
    std::fprintf(stderr, "digest of %zu bytes: %s\n", size, what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    // The first bytes choose where to cut; the rest is the data.
    FuzzedDataProvider cuts(bytes, std::min<std::size_t>(size, 64));
    const std::uint8_t* data = bytes + std::min<std::size_t>(size, 64);
    const std::size_t length = size - std::min<std::size_t>(size, 64);

    const PictureDigest whole = zanthrel::digestOf(data, length);
    if (!whole.known()) fail("the unknown digest", length);

    ContentDigester pieces;
    std::size_t done = 0;
    while (done < length) {
        // Empty pieces and a null pointer with no bytes change nothing.
        if (cuts.ConsumeBool()) pieces.add(nullptr, 0);
        const std::size_t piece =
            cuts.remaining_bytes() > 0 ? cuts.ConsumeIntegralInRange<std::size_t>(0, 100) : length - done;
        const std::size_t take = std::min(piece, length - done);
        pieces.add(data + done, take);
        done += take;
        // Looking at the digest on the way does not disturb it.
        if (cuts.ConsumeBool()) static_cast<void>(pieces.finish());
    }
    if (pieces.finish() != whole) fail("depends on the pieces", length);

    ContentDigester byteByByte;
    for (std::size_t i = 0; i < length && i < 4096; ++i) byteByByte.add(data + i, 1);
    if (length <= 4096 && byteByByte.finish() != whole) fail("differs byte by byte", length);

    // One more zero byte is different data.
    std::vector<std::uint8_t> longer(data, data + length);
    longer.push_back(0);
    if (zanthrel::digestOf(longer.data(), longer.size()) == whole) fail("ignores a trailing zero", length);

    // One changed byte: one the input chooses, the first, and each of the last sixteen.
    if (length == 0) return 0;
    std::vector<std::uint8_t> changed(data, data + length);
    const auto flip = cuts.ConsumeIntegralInRange<std::uint8_t>(1, 255);
    std::vector<std::size_t> positions = {cuts.ConsumeIntegralInRange<std::size_t>(0, length - 1), 0};
    for (std::size_t back = 1; back <= 16 && back <= length; ++back) positions.push_back(length - back);
    for (const std::size_t position : positions) {
        changed[position] ^= flip;
        if (zanthrel::digestOf(changed.data(), length) == whole) fail("ignores a changed byte", length);
        changed[position] ^= flip;
    }
    return 0;
}
