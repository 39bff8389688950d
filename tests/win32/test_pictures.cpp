#include "tests/win32/test_pictures.h"

#include <objidl.h>
#include <wincodec.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/win32/com_ref.h"
#include "tests/win32/check.h"

namespace zanthrel::testing {
namespace {

using win32::ComRef;

// Bits in the order both GIF's codes and WebP's stream take them: from the lowest bit of each byte.
class BitWriter {
public:
    void put(std::uint32_t value, unsigned bits) {
        for (unsigned i = 0; i < bits; ++i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            bytes_.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << (used_ % 8));
            ++used_;
        }
    }
    const FileBytes& bytes() const { return bytes_; }

private:
    FileBytes bytes_;
    std::size_t used_ = 0;
};

void le16(FileBytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void le32(FileBytes& out, std::uint32_t value) {
    le16(out, value & 0xFFFF);
    le16(out, value >> 16);
}
void text(FileBytes& out, const char* chars) {
    out.insert(out.end(), chars, chars + std::strlen(chars));
}

// GIF with the picture's palette and codes that never grow past five bits: a clear code before every
// twelve pixels keeps the table from filling, which every decoder reads as it should.
FileBytes gif(const TestPicture& picture) {
    FileBytes out;
    text(out, "GIF89a");
    le16(out, static_cast<std::uint32_t>(picture.width));
    le16(out, static_cast<std::uint32_t>(picture.height));
    out.insert(out.end(), {0xF3, 0, 0});  // a global table of 16 colours
    for (const std::uint32_t colour : picture.palette)
        out.insert(out.end(), {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                               static_cast<std::uint8_t>(colour)});
    out.push_back(0x2C);
    le32(out, 0);
    le16(out, static_cast<std::uint32_t>(picture.width));
    le16(out, static_cast<std::uint32_t>(picture.height));
    out.insert(out.end(), {0, 4});  // no local table; codes for 16 colours
    constexpr unsigned kClear = 16, kEnd = 17, kCodeBits = 5;
    BitWriter codes;
    for (std::size_t i = 0; i < picture.indexes.size(); ++i) {
        if (i % 12 == 0) codes.put(kClear, kCodeBits);
        codes.put(picture.indexes[i], kCodeBits);
    }
    codes.put(kEnd, kCodeBits);
    for (std::size_t at = 0; at < codes.bytes().size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, codes.bytes().size() - at);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), codes.bytes().begin() + at, codes.bytes().begin() + at + length);
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

// Lossless WebP of the picture's pixels reduced to two values a channel, each channel's prefix code a
// "simple" one of at most two symbols: one bit a channel a pixel, no transform, no cache.
FileBytes webp(const TestPicture& picture) {
    BitWriter stream;
    stream.put(0x2F, 8);
    stream.put(static_cast<std::uint32_t>(picture.width - 1), 14);
    stream.put(static_cast<std::uint32_t>(picture.height - 1), 14);
    stream.put(0, 1);  // no alpha
    stream.put(0, 3);  // version
    stream.put(0, 1);  // no transform
    stream.put(0, 1);  // no colour cache
    stream.put(0, 1);  // one group of prefix codes for the whole picture
    // Each channel's two values: the palette's first colour and its complement; green, red, blue.
    const std::uint32_t base = picture.palette[0];
    const unsigned shifts[3] = {8, 16, 0};
    for (const unsigned shift : shifts) {
        const std::uint32_t a = (base >> shift) & 0xFF, b = a ^ 0x80;
        stream.put(1, 1);  // simple code
        stream.put(1, 1);  // two symbols
        stream.put(1, 1);  // the first of eight bits
        stream.put(std::min(a, b), 8);
        stream.put(std::max(a, b), 8);
    }
    for (const std::uint32_t only : {255u, 0u}) {  // alpha: 255 alone; distance: 0 alone
        stream.put(1, 1);
        stream.put(0, 1);
        stream.put(only > 1 ? 1 : 0, 1);
        stream.put(only, only > 1 ? 8 : 1);
    }
    // A channel's bit is 1 where the pixel's value lies nearer its larger value.
    for (std::size_t i = 0; i < picture.indexes.size(); ++i) {
        const std::uint32_t colour = picture.palette[picture.indexes[i]];
        for (const unsigned shift : shifts) {
            const std::uint32_t a = (base >> shift) & 0xFF, b = a ^ 0x80;
            const std::uint32_t value = (colour >> shift) & 0xFF;
            const bool nearerLarger = (value > (std::min(a, b) + std::max(a, b)) / 2);
            stream.put(nearerLarger ? 1 : 0, 1);
        }
    }
    FileBytes out;
    const std::size_t payload = stream.bytes().size();
    const std::size_t padded = payload + payload % 2;
    text(out, "RIFF");
    le32(out, static_cast<std::uint32_t>(4 + 8 + padded));
    text(out, "WEBPVP8L");
    le32(out, static_cast<std::uint32_t>(payload));
    out.insert(out.end(), stream.bytes().begin(), stream.bytes().end());
    out.resize(12 + 8 + padded, 0);
    return out;
}

const GUID& containerOf(FileKind kind) {
    switch (kind) {
        case FileKind::Png: return GUID_ContainerFormatPng;
        case FileKind::Jpeg: return GUID_ContainerFormatJpeg;
        case FileKind::Tiff: return GUID_ContainerFormatTiff;
        default: return GUID_ContainerFormatBmp;
    }
}

// PNG, JPEG, TIFF and BMP by the system's own encoders, from 24-bit rows.
FileBytes encodedBySystem(const TestPicture& picture, FileKind kind) {
    const win32::ComApartment apartment;
    CHECK_MSG(apartment.usable(), "COM could not be used to encode a test picture");
    ComRef<IWICImagingFactory> factory;
    ComRef<IStream> stream;
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    ComRef<IPropertyBag2> options;
    bool made = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IWICImagingFactory, factory.putVoid())) &&
                SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) &&
                SUCCEEDED(factory->CreateEncoder(containerOf(kind), nullptr, encoder.put())) &&
                SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
                SUCCEEDED(encoder->CreateNewFrame(frame.put(), options.put())) &&
                SUCCEEDED(frame->Initialize(options.get())) &&
                SUCCEEDED(frame->SetSize(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height)));
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    made = made && SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR;
    const UINT stride = static_cast<UINT>(picture.width) * 3;
    std::vector<BYTE> rows(static_cast<std::size_t>(stride) * static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            std::memcpy(&rows[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3],
                        &picture.palette[picture.indexes[static_cast<std::size_t>(y * picture.width + x)]], 3);
    made = made &&
           SUCCEEDED(frame->WritePixels(static_cast<UINT>(picture.height), stride, static_cast<UINT>(rows.size()),
                                        rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    STATSTG status{};
    made = made && SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME));
    CHECK_MSG(made, "the system could not encode a test picture");
    FileBytes file(static_cast<std::size_t>(status.cbSize.QuadPart));
    const LARGE_INTEGER start{};
    ULONG read = 0;
    CHECK(SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
          SUCCEEDED(stream->Read(file.data(), static_cast<ULONG>(file.size()), &read)) && read == file.size());
    return file;
}

HGLOBAL globalBlock(const FileBytes& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    CHECK_MSG(block != nullptr, "no memory for a clipboard block");
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

}  // namespace

TestPicture testPicture(int seed, int width, int height) {
    TestPicture picture{width, height, {}, {}};
    for (std::uint32_t i = 0; i < 16; ++i)
        picture.palette.push_back((i * 16 + static_cast<std::uint32_t>(seed) * 37) % 256 << 16 | (255 - i * 15) << 8 |
                                  (i * 40 + static_cast<std::uint32_t>(seed) * 11) % 256);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.indexes.push_back(static_cast<std::uint8_t>(((x / 4) ^ (y / 3)) & 15));
    return picture;
}

FileBytes encode(const TestPicture& picture, FileKind kind) {
    if (kind == FileKind::Gif) return gif(picture);
    if (kind == FileKind::Webp) return webp(picture);
    return encodedBySystem(picture, kind);
}

FileBytes packedDib(const TestPicture& picture) {
    FileBytes out(sizeof(BITMAPINFOHEADER));
    const BITMAPINFOHEADER header{sizeof header, picture.width, picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(out.data(), &header, sizeof header);
    for (int y = picture.height - 1; y >= 0; --y)
        for (int x = 0; x < picture.width; ++x) le32(out, picture.pixel(x, y));
    return out;
}

HENHMETAFILE testMetafile(int seed) {
    const HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    CHECK_MSG(dc != nullptr, "no metafile could be recorded");
    Rectangle(dc, 10 + seed, 10, 200, 120 + 3 * seed);
    Ellipse(dc, 40, 20 + seed, 90 + 2 * seed, 80);
    return CloseEnhMetaFile(dc);
}

UINT registeredFormat(const wchar_t* name) {
    const UINT format = RegisterClipboardFormatW(name);
    CHECK_MSG(format != 0, "the clipboard format could not be registered");
    return format;
}

void putOnClipboard(const std::vector<ClipboardItem>& items) {
    // Wine's bridge to the X selection holds the clipboard for a moment after every change.
    CHECK_MSG(waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, std::chrono::seconds(5)),
              "the clipboard stayed open elsewhere");
    EmptyClipboard();
    bool set = true;
    for (const ClipboardItem& item : items) {
        const HANDLE handle = item.handle ? item.handle : globalBlock(item.bytes);
        if (SetClipboardData(item.format, handle)) continue;
        set = false;
        if (!item.handle) GlobalFree(handle);
    }
    CloseClipboard();
    CHECK_MSG(set, "SetClipboardData refused a test picture");
}

ClipboardItem clipboardItem(const std::string& format, int seed) {
    const TestPicture picture = testPicture(seed);
    if (format == "PNG") return {registeredFormat(L"PNG"), encode(picture, FileKind::Png)};
    if (format == "image/png") return {registeredFormat(L"image/png"), encode(picture, FileKind::Png)};
    if (format == "JFIF") return {registeredFormat(L"JFIF"), encode(picture, FileKind::Jpeg)};
    if (format == "GIF") return {registeredFormat(L"GIF"), encode(picture, FileKind::Gif)};
    if (format == "image/webp") return {registeredFormat(L"image/webp"), encode(picture, FileKind::Webp)};
    if (format == "image/bmp") return {registeredFormat(L"image/bmp"), encode(picture, FileKind::Bmp)};
    if (format == "CF_TIFF") return {CF_TIFF, encode(picture, FileKind::Tiff)};
    if (format == "CF_ENHMETAFILE") return {CF_ENHMETAFILE, {}, testMetafile(seed)};
    CHECK_MSG(format == "CF_DIB", "no test picture in the format " + format);
    return {CF_DIB, packedDib(picture)};
}

}  // namespace zanthrel::testing
