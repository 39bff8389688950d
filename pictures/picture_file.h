#pragma once

#include <cstddef>
#include <cstdint>

#include "pictures/packed_dib.h"

namespace zanthrel {

// A picture file another program put on the clipboard (PNG, JPEG, GIF, TIFF, WebP, BMP), as its own
// header describes it, read before any decoder sees it. The platform's decoders are not all written for
// hostile input: some allocate what a header declares, in 32-bit arithmetic that overflows, and some
// decode the whole file before saying how large it is. So a file is handed to a decoder only when the
// picture, and the memory and work the decoder needs for it, stay within the bounds below; any other is
// judged by the digest of its bytes. Nothing here trusts a field before checking it against the real
// size, and nothing is allocated.

enum class PictureFileKind : std::uint8_t { Unknown, Png, Jpeg, Gif, Tiff, Webp, Bmp };

// A BMP file is a packed DIB behind a file header of this many bytes.
inline constexpr std::size_t kBmpFileHeaderBytes = 14;

enum class PictureFileVerdict : std::uint8_t {
    Decodable,   // within every bound: a decoder may be given the file
    TooLarge,    // well formed, but its picture, the decoder's memory or its work would exceed a bound
    Unreadable,  // of no kind we know, truncated, malformed, or laid out in a way we give no decoder
};

struct PictureFileCheck {
    PictureFileKind kind = PictureFileKind::Unknown;
    PictureFileVerdict verdict = PictureFileVerdict::Unreadable;
    std::int32_t width = 0;  // the picture's size as declared; 0 where unknown, saturated at INT32_MAX
    std::int32_t height = 0;
    // How many bytes from the start the file takes, where its own structure says so (PNG to its IEND,
    // JPEG to its EOI, GIF to its trailer, WebP to its RIFF size, BMP to its pixels); otherwise the whole
    // block. What lies beyond is noise a block may carry, and must not make the same file look new.
    std::size_t usedBytes = 0;
};

// The memory a decoder and the conversion to our pixels may use for one file besides those pixels: the
// picture at the file's own depth, coefficient buffers, every frame kept. 512 MiB, eight bytes for each
// pixel of the largest picture decoded.
inline constexpr std::uint64_t kMaxDecoderBytes = kMaxDecodedPixels * 8;
// Scans of one JPEG, and scans times pixels: each scan is a pass over the whole picture (about 2.5 ns a
// pixel under Wine), and encoders write one, or about ten for a progressive picture.
inline constexpr unsigned kMaxJpegScans = 100;
inline constexpr std::uint64_t kMaxJpegScanPixels = kMaxDecodedPixels * 16;
// Frames and extension sub-blocks of a GIF: the decoder keeps each in a list it grows one at a time.
inline constexpr unsigned kMaxGifFrames = 4096;
inline constexpr unsigned kMaxGifExtensionBlocks = 8192;
// Directories (pages) of a TIFF: the decoder walks the chain from the start for each of them.
inline constexpr unsigned kMaxTiffDirectories = 64;
// Compressed text and colour profiles of a PNG: inflated whole, with no limit of the decoder's own.
inline constexpr std::uint64_t kMaxPngCompressedMetadata = 256 * 1024;

PictureFileCheck inspectPictureFile(const void* data, std::size_t size) noexcept;

}  // namespace zanthrel
