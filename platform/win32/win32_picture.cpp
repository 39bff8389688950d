#include "platform/win32/win32_picture.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/runtime_error.h"
#include "pictures/content_digest.h"
#include "pictures/digest_only_picture.h"
#include "pictures/packed_dib.h"

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

}  // namespace

std::shared_ptr<Win32Picture> Win32Picture::blank(std::int32_t width, std::int32_t height) {
    BITMAPINFO info = bottomUp32(width, height);
    void* pixels = nullptr;
    BitmapHandle bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap || !pixels) throw RuntimeError(ErrorKind::OutOfMemory, "CreateDIBSection failed");
    return std::shared_ptr<Win32Picture>(
        new Win32Picture(std::move(bitmap), static_cast<std::uint32_t*>(pixels), width, height));
}

namespace {

// The source may carry alpha; what GetDIBits gives for a screen bitmap has 0 there, and equal pictures
// must read as equal whatever their source did with the fourth byte.
void clearTopBytesOf(std::uint32_t* pixels, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) pixels[i] &= 0x00FFFFFFu;
}

}  // namespace

void Win32Picture::clearTopBytes() const noexcept {
    GdiFlush();
    clearTopBytesOf(pixels_, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
}

namespace {

// The digest of a bitmap too large to copy, read in bands of at most 16 MB.
PictureDigest digestOfBitmap(HBITMAP source, std::int32_t width, std::int32_t height) {
    const std::int32_t bandLines = std::max<std::int32_t>(1, (std::int32_t{1} << 22) / width);
    std::vector<std::uint32_t> band(static_cast<std::size_t>(width) * static_cast<std::size_t>(bandLines));
    BITMAPINFO info = bottomUp32(width, height);
    ScreenDc screen;
    ContentDigester digester;
    for (std::int32_t first = 0; first < height; first += bandLines) {
        const std::int32_t lines = std::min(bandLines, height - first);
        const int read = GetDIBits(screen.get(), source, static_cast<UINT>(first), static_cast<UINT>(lines),
                                   band.data(), &info, DIB_RGB_COLORS);
        if (read != lines) throw RuntimeError(ErrorKind::PlatformFailure, "GetDIBits could not read the bitmap");
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(lines);
        clearTopBytesOf(band.data(), count);
        digester.add(band.data(), count * 4);
    }
    return digester.finish();
}

}  // namespace

PictureRef Win32Picture::copyOf(HBITMAP source) {
    BITMAP description{};
    if (!source || !GetObjectW(source, sizeof description, &description))
        throw RuntimeError(ErrorKind::PlatformFailure, "not a bitmap");
    const std::int32_t width = description.bmWidth;
    const std::int32_t height = description.bmHeight < 0 ? -description.bmHeight : description.bmHeight;
    if (width <= 0 || height <= 0) return nullptr;
    // The same memory bound as for DIBs: beyond it the picture is known by the digest of its pixels.
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxDecodedPixels)
        return digestOnlyPicture(digestOfBitmap(source, width, height), width, height);

    std::shared_ptr<Win32Picture> copy = blank(width, height);
    BITMAPINFO info = bottomUp32(width, height);
    ScreenDc screen;
    if (GetDIBits(screen.get(), source, 0, static_cast<UINT>(height), copy->pixels_, &info, DIB_RGB_COLORS) != height)
        throw RuntimeError(ErrorKind::PlatformFailure, "GetDIBits could not read the clipboard's bitmap");
    copy->clearTopBytes();
    copy->digest_ = digestOf(copy->pixels_, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    return copy;
}

PictureRef Win32Picture::fromPackedDib(const void* block, std::size_t size, PictureDigest digest) {
    if (!block || size == 0) return nullptr;
    // Checked in full before anything is allocated; GDI never sees the other program's header.
    const PackedDibCheck check = inspectPackedDib(block, size);
    const PackedDibLayout& layout = check.layout;
    if (check.kind != PackedDibKind::Decodable) return digestOnlyPicture(digest, layout.width, layout.height);
    std::shared_ptr<Win32Picture> copy;
    try {
        copy = blank(layout.width, layout.height);
    } catch (const RuntimeError&) {
        return digestOnlyPicture(digest, layout.width, layout.height);
    }
    // The DIB section is bottom-up: the picture's top row is its last.
    const std::ptrdiff_t width = layout.width;
    decodePackedDib(layout, block, copy->pixels_ + (layout.height - 1) * width, -width);
    copy->digest_ = digest;
    return copy;
}

PictureRef Win32Picture::fromTopDownRows(std::int32_t width, std::int32_t height, PictureDigest digest,
                                         const std::function<bool(std::uint32_t* rows)>& fill) {
    if (width <= 0 || height <= 0) return nullptr;
    std::shared_ptr<Win32Picture> copy;
    try {
        copy = blank(width, height);
    } catch (const RuntimeError&) {
        return nullptr;
    }
    if (!fill(copy->pixels_)) return nullptr;
    // The DIB section is bottom-up: turned over in place, a row at a time.
    const std::size_t rowLength = static_cast<std::size_t>(width);
    for (std::int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(copy->pixels_ + top * rowLength, copy->pixels_ + (top + 1) * rowLength,
                         copy->pixels_ + bottom * rowLength);
    clearTopBytesOf(copy->pixels_, rowLength * static_cast<std::size_t>(height));
    copy->digest_ = digest;
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
