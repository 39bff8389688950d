#pragma once

#include <cstdint>
#include <optional>

#include "platform/posix/transfer_buffer.h"

struct xcb_connection_t;

namespace zanthrel::x11 {

// What an owner that offers its picture as a PIXMAP hands over: the id of a pixmap on the server, whose
// pixels are then read from the server (GetImage), never from the owner, which cannot stall that.
enum class PixmapPixels {
    Bitmap,  // a BMP file, 32 bits a pixel from the top row down: a true-colour pixmap, decoded as such
    Raw,     // the server's own layout of another depth, after its size and depth: judged by its digest
};

// The largest pixmap read: what is decoded at most. Reading one takes the reader's thread for as long
// as the server sends it; a larger one is refused rather than read for a digest.
inline constexpr std::uint32_t kMostPixmapSide = 8192;

// Reads `pixmap` into `buffer`; nothing when it is no pixmap (any more), is larger than kMostPixmapSide
// a side, or the buffer refuses it.
std::optional<PixmapPixels> readPixmap(xcb_connection_t* connection, std::uint32_t pixmap,
                                       posix::TransferBuffer& buffer);

}  // namespace zanthrel::x11
