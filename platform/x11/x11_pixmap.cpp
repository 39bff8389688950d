#include "platform/x11/x11_pixmap.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <vector>

#include "platform/x11/xcb_handles.h"

namespace zanthrel::x11 {
namespace {

// Rows asked for per GetImage: a few megabytes per reply keeps any one reply's buffer modest.
constexpr std::uint64_t kBandBytes = std::uint64_t{4} << 20;

void put(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A BMP file's headers for 32-bit pixels, rows from the top down (a negative height).
std::vector<unsigned char> bitmapHeaders(std::uint32_t width, std::uint32_t height, std::uint32_t pixelBytes) {
    constexpr std::uint32_t kHeadersBytes = 14 + 40;
    std::vector<unsigned char> out = {'B', 'M'};
    put(out, kHeadersBytes + pixelBytes, 4);
    put(out, 0, 4);  // reserved
    put(out, kHeadersBytes, 4);
    put(out, 40, 4);
    put(out, width, 4);
    put(out, static_cast<std::uint32_t>(-static_cast<std::int32_t>(height)), 4);
    put(out, 1, 2);   // planes
    put(out, 32, 2);  // bits a pixel
    put(out, 0, 4);   // uncompressed
    put(out, pixelBytes, 4);
    put(out, 2835, 4);  // 72 dpi, as pixels a metre
    put(out, 2835, 4);
    put(out, 0, 4);
    put(out, 0, 4);
    return out;
}

}  // namespace

std::optional<PixmapPixels> readPixmap(xcb_connection_t* connection, std::uint32_t pixmap,
                                       posix::TransferBuffer& buffer) {
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, pixmap), nullptr));
    if (!geometry || geometry->width == 0 || geometry->height == 0 || geometry->width > kMostPixmapSide ||
        geometry->height > kMostPixmapSide)
        return std::nullopt;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_format_t* layout = nullptr;
    for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == geometry->depth) layout = it.data;
    if (!layout || layout->bits_per_pixel == 0 || layout->scanline_pad == 0) return std::nullopt;

    const std::uint32_t width = geometry->width, height = geometry->height, depth = geometry->depth;
    const std::uint64_t padBits = layout->scanline_pad;
    const std::uint64_t rowBytes =
        (width * std::uint64_t{layout->bits_per_pixel} + padBits - 1) / padBits * padBits / 8;
    // What every screen capture is: 24 or 32 bits of colour in 32-bit pixels, blue first, as a BMP's.
    const bool trueColour = (depth == 24 || depth == 32) && layout->bits_per_pixel == 32 &&
                            setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    std::vector<unsigned char> header;
    if (trueColour) {
        header = bitmapHeaders(width, height, static_cast<std::uint32_t>(rowBytes * height));
    } else {
        for (const std::uint32_t value : {width, height, depth, std::uint32_t{layout->bits_per_pixel}})
            put(header, value, 4);
    }
    if (!buffer.announce(header.size() + rowBytes * height) || !buffer.add(header.data(), header.size()))
        return std::nullopt;

    const auto bandRows = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, kBandBytes / rowBytes));
    std::vector<unsigned char> band;
    for (std::uint32_t top = 0; top < height; top += bandRows) {
        const std::uint32_t rows = std::min(bandRows, height - top);
        const ReplyPtr<xcb_get_image_reply_t> image(xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, static_cast<std::int16_t>(top),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(rows), ~0u),
            nullptr));
        if (!image || static_cast<std::uint64_t>(xcb_get_image_data_length(image.get())) != rowBytes * rows)
            return std::nullopt;
        const std::uint8_t* data = xcb_get_image_data(image.get());
        band.assign(data, data + rowBytes * rows);
        // At depth 24 the top byte of a pixel holds whatever the server left there: the same picture
        // must give the same bytes.
        if (trueColour && depth == 24)
            for (std::size_t i = 3; i < band.size(); i += 4) band[i] = 0;
        if (!buffer.add(band.data(), band.size())) return std::nullopt;
    }
    return trueColour ? PixmapPixels::Bitmap : PixmapPixels::Raw;
}

}  // namespace zanthrel::x11
