// A picture's digest is taken over data that arrives in pieces of whatever size the other program and
// the transfer chose: it must depend only on the bytes, never on where the pieces were cut.
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
    return 0;
}
