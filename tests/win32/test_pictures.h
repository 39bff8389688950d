#pragma once

// Pictures in every format a Windows program may put on the clipboard, made as such a program would
// make them: PNG, JPEG and TIFF by the Windows Imaging Component's encoders, GIF and lossless WebP
// written here (the system offers no encoder that takes our pixels as they are), DIBs and metafiles
// through the system's own calls.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zanthrel::testing {

using FileBytes = std::vector<std::uint8_t>;

// A picture of 16 colours at most (so that every lossless format holds it exactly), rows from the top,
// 0x00RRGGBB; it differs with `seed`.
struct TestPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> palette;  // 16 colours
    std::vector<std::uint8_t> indexes;   // one a pixel
    std::uint32_t pixel(int x, int y) const { return palette[indexes[static_cast<std::size_t>(y * width + x)]]; }
};
TestPicture testPicture(int seed, int width = 64, int height = 48);

enum class FileKind { Png, Jpeg, Gif, Tiff, Webp, Bmp };
FileBytes encode(const TestPicture& picture, FileKind kind);
// A packed DIB of the picture: a BITMAPINFOHEADER and 32-bit pixels, bottom-up.
FileBytes packedDib(const TestPicture& picture);
// An enhanced metafile drawing shapes that differ with `seed`; the caller owns it.
HENHMETAFILE testMetafile(int seed);

// What a program puts on the clipboard for one format: bytes in a global block, or a handle of its own.
struct ClipboardItem {
    UINT format = 0;
    FileBytes bytes;
    HANDLE handle = nullptr;  // when set, given to the clipboard as it is
};
UINT registeredFormat(const wchar_t* name);
// Empties the clipboard and puts the items there, in their order, waiting up to 5 s for it to be free.
void putOnClipboard(const std::vector<ClipboardItem>& items);

// The picture as a format of the clipboard names it: "PNG", "image/png", "JFIF", "GIF", "image/webp",
// "CF_TIFF", "CF_ENHMETAFILE", "CF_DIB".
ClipboardItem clipboardItem(const std::string& format, int seed);

}  // namespace zanthrel::testing
