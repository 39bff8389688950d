#include "platform/win32/win32_picture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/runtime_error.h"

namespace zanthrel::win32 {
namespace {

BITMAPINFO bottomUp32(std::int32_t width, std::int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// Bytes between the start of a packed DIB and its pixels: the header, then the colour table or the
// three channel masks that follow a 40-byte header.
std::size_t pixelOffset(const BITMAPINFOHEADER& header) {
    std::size_t colours = header.biClrUsed;
    if (colours == 0 && header.biBitCount <= 8) colours = std::size_t{1} << header.biBitCount;
    std::size_t offset = header.biSize + colours * sizeof(RGBQUAD);
    if (header.biSize == sizeof(BITMAPINFOHEADER) &&
        (header.biCompression == BI_BITFIELDS || header.biCompression == 6 /* BI_ALPHABITFIELDS */))
        offset += (header.biCompression == BI_BITFIELDS ? 3 : 4) * sizeof(DWORD);
    return offset;
}

}  // namespace

std::shared_ptr<Win32Picture> Win32Picture::blank(std::int32_t width, std::int32_t height) {
    BITMAPINFO info = bottomUp32(width, height);
    void* pixels = nullptr;
    BitmapHandle bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap || !pixels) throw RuntimeError(ErrorKind::OutOfMemory, "CreateDIBSection failed");
    return std::shared_ptr<Win32Picture>(
        new Win32Picture(std::move(bitmap), static_cast<std::uint32_t*>(pixels), width, height));
}

void Win32Picture::clearTopBytes() const noexcept {
    // The source may carry alpha; what GetDIBits gives for a screen bitmap has 0 there, and equal pictures
    // must read as equal whatever their source did with the fourth byte.
    GdiFlush();
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < count; ++i) pixels_[i] &= 0x00FFFFFFu;
}

std::shared_ptr<const Win32Picture> Win32Picture::copyOf(HBITMAP source) {
    BITMAP description{};
    if (!source || !GetObjectW(source, sizeof description, &description))
        throw RuntimeError(ErrorKind::PlatformFailure, "not a bitmap");
    const std::int32_t width = description.bmWidth;
    const std::int32_t height = description.bmHeight < 0 ? -description.bmHeight : description.bmHeight;
    if (width <= 0 || height <= 0) return nullptr;

    std::shared_ptr<Win32Picture> copy = blank(width, height);
    BITMAPINFO info = bottomUp32(width, height);
    ScreenDc screen;
    if (GetDIBits(screen.get(), source, 0, static_cast<UINT>(height), copy->pixels_, &info, DIB_RGB_COLORS) != height)
        throw RuntimeError(ErrorKind::PlatformFailure, "GetDIBits could not read the clipboard's bitmap");
    copy->clearTopBytes();
    return copy;
}

std::shared_ptr<const Win32Picture> Win32Picture::fromPackedDib(const void* block, std::size_t size) {
    if (!block || size < sizeof(BITMAPINFOHEADER)) return nullptr;
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > size || header.biWidth <= 0 ||
        header.biHeight == 0 || header.biHeight == std::numeric_limits<LONG>::min() || header.biPlanes != 1 ||
        header.biBitCount == 0 || header.biBitCount > 32 || header.biClrUsed > 256)
        return nullptr;
    const std::int32_t width = header.biWidth;
    const std::int32_t height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const std::size_t offset = pixelOffset(header);
    if (offset >= size) return nullptr;
    // Uncompressed lines are padded to whole DWORDs; compressed data states its own size.
    const std::uint64_t stride = ((std::uint64_t{static_cast<std::uint32_t>(width)} * header.biBitCount + 31) / 32) * 4;
    const bool compressed = header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4;
    const std::uint64_t needed = compressed ? header.biSizeImage : stride * static_cast<std::uint64_t>(height);
    if (needed == 0 || needed > size - offset) return nullptr;

    std::shared_ptr<Win32Picture> copy = blank(width, height);
    ScreenDc screen;
    const auto* info = static_cast<const BITMAPINFO*>(block);
    const void* pixels = static_cast<const std::uint8_t*>(block) + offset;
    if (SetDIBits(screen.get(), copy->bitmap_.get(), 0, static_cast<UINT>(height), pixels, info, DIB_RGB_COLORS) !=
        height)
        return nullptr;
    copy->clearTopBytes();
    return copy;
}

void Win32Picture::readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                                 std::int32_t* bits) const noexcept {
    if (!bits || header.biBitCount != 32 || header.biCompression != 0 || header.biWidth <= 0 || header.biHeight <= 0)
        return;
    const std::int64_t end = std::min<std::int64_t>({std::int64_t{firstScan} + lines, header.biHeight, height_});
    if (end <= std::int64_t{firstScan}) return;

    // GetDIBits lays a bitmap smaller than the header against the header's top and writes zeros into the
    // rest; we want the bitmap's bottom-left corner on scan line 0 and everything else left alone. So read
    // with a header of the bitmap's own size, which maps scan line s of the request onto its scan line s.
    BITMAPINFO own = bottomUp32(width_, height_);
    ScreenDc screen;
    const std::int64_t dibWidth = header.biWidth;
    if (dibWidth == width_) {
        GetDIBits(screen.get(), bitmap_.get(), firstScan, static_cast<UINT>(end - firstScan), bits, &own,
                  DIB_RGB_COLORS);
        return;
    }
    std::vector<std::int32_t> narrowLine;
    if (dibWidth < width_) {
        try {
            narrowLine.resize(static_cast<std::size_t>(width_));
        } catch (...) {
            return;  // unread elements stay as they were, which the comparison tolerates
        }
    }
    for (std::int64_t scan = firstScan; scan < end; ++scan) {
        std::int32_t* line = bits + (scan - firstScan) * dibWidth;
        std::int32_t* target = narrowLine.empty() ? line : narrowLine.data();
        GetDIBits(screen.get(), bitmap_.get(), static_cast<UINT>(scan), 1, target, &own, DIB_RGB_COLORS);
        if (!narrowLine.empty()) std::copy_n(narrowLine.data(), dibWidth, line);
    }
}

}  // namespace zanthrel::win32
