// Any bytes as what an X11 clipboard owner sends: a list of types, an INCR announcement, and picture data
// in pieces of any size. The list is read only as whole 32-bit items; the data are kept exactly up to
// their limit, digested to the end, and refused past the total limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pictures/content_digest.h"
#include "platform/posix/transfer_buffer.h"
#include "platform/x11/x11_transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t format = data[0];
    // Small limits taken from the input, so that every boundary is reached with short inputs.
    const std::uint64_t keptLimit = data[1];
    const std::uint64_t totalLimit = keptLimit + data[2];
    const std::vector<std::uint8_t> body(data + 3, data + size);

    const std::vector<std::uint32_t> atoms = zanthrel::x11::parseAtomList(format, body.data(), body.size());
    if (!atoms.empty() && (format != 32 || atoms.size() * 4 != body.size())) std::abort();
    if (!atoms.empty() && std::memcmp(atoms.data(), body.data(), body.size()) != 0) std::abort();
    if (zanthrel::x11::parseIncrAnnouncement(format, body.data(), body.size()).has_value() !=
        (format == 32 && body.size() == 4))
        std::abort();

    // The body in pieces whose sizes the body's own bytes choose.
    zanthrel::posix::TransferBuffer buffer(keptLimit, totalLimit);
    std::vector<std::uint8_t> accepted;
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t piece = std::min<std::size_t>(body.size() - at, 1 + body[at] % 37);
        const bool fits = accepted.size() + piece <= totalLimit;
        if (buffer.add(body.data() + at, piece) != fits) std::abort();
        if (!fits) break;
        accepted.insert(accepted.end(), body.begin() + at, body.begin() + at + piece);
        at += piece;
    }
    if (buffer.size() != accepted.size()) std::abort();
    if (buffer.kept() != (accepted.size() <= keptLimit)) std::abort();
    if (!(buffer.digest() == zanthrel::digestOf(accepted.data(), accepted.size()))) std::abort();
    const std::vector<unsigned char> kept = buffer.takeBytes();
    if (buffer.kept() ? kept != accepted : !kept.empty()) std::abort();
    return 0;
}
