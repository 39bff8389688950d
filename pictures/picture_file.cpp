#include "pictures/picture_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace zanthrel {
namespace {

using Kind = PictureFileKind;
using Verdict = PictureFileVerdict;

// The block as bytes; every read is checked against its end by the caller, through has().
class Bytes {
public:
    Bytes(const void* data, std::size_t size) noexcept : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    const std::uint8_t* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool has(std::uint64_t offset, std::uint64_t count) const noexcept {
        return offset <= size_ && count <= size_ - offset;
    }
    bool holds(std::size_t offset, const char* text, std::size_t count) const noexcept {
        return has(offset, count) && std::memcmp(data_ + offset, text, count) == 0;
    }
    std::uint32_t at(std::size_t offset) const noexcept { return data_[offset]; }
    std::uint32_t be16(std::size_t offset) const noexcept { return at(offset) << 8 | at(offset + 1); }
    std::uint32_t be32(std::size_t offset) const noexcept { return be16(offset) << 16 | be16(offset + 2); }
    std::uint32_t le16(std::size_t offset) const noexcept { return at(offset) | at(offset + 1) << 8; }
    std::uint32_t le24(std::size_t offset) const noexcept { return le16(offset) | at(offset + 2) << 16; }
    std::uint32_t le32(std::size_t offset) const noexcept { return le16(offset) | le16(offset + 2) << 16; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

std::int32_t saturated(std::uint64_t value) noexcept {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

PictureFileCheck unreadable(Kind kind, const Bytes& bytes) noexcept {
    return {kind, Verdict::Unreadable, 0, 0, bytes.size()};
}

// The verdict on a picture of `width` × `height` of which the decoder and the conversion to our pixels
// keep `copies` at `bitsPerPixel`, besides `extraBytes`; `withinOtherBounds` false for a file beyond a
// bound of its own kind.
PictureFileCheck judged(Kind kind, std::uint64_t width, std::uint64_t height, unsigned bitsPerPixel, unsigned copies,
                        std::uint64_t extraBytes, std::size_t usedBytes, bool withinOtherBounds = true) noexcept {
    PictureFileCheck check{kind, Verdict::Unreadable, saturated(width), saturated(height), usedBytes};
    if (width == 0 || height == 0) return check;
    // Width and height are below 2^32 each, so their product fits; past the pixel bound nothing else is
    // computed, which keeps every product below 2^64.
    const std::uint64_t pixels = width * height;
    const bool fits = pixels <= kMaxDecodedPixels &&
                      (width * bitsPerPixel + 7) / 8 * height * copies + extraBytes <= kMaxDecoderBytes;
    check.verdict = fits && withinOtherBounds ? Verdict::Decodable : Verdict::TooLarge;
    return check;
}

// PNG: the header chunk first, as the decoder insists; then every chunk up to IEND.
PictureFileCheck inspectPng(const Bytes& bytes) noexcept {
    if (!bytes.has(8, 25) || bytes.be32(8) != 13 || !bytes.holds(12, "IHDR", 4)) return unreadable(Kind::Png, bytes);
    const std::uint32_t width = bytes.be32(16);
    const std::uint32_t height = bytes.be32(20);
    const unsigned depth = bytes.at(24);
    const unsigned colour = bytes.at(25);
    const bool anyDepth = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    const bool valid = width <= 0x7FFFFFFFu && height <= 0x7FFFFFFFu &&
                       ((colour == 0 && anyDepth) || (colour == 3 && anyDepth && depth <= 8) ||
                        ((colour == 2 || colour == 4 || colour == 6) && (depth == 8 || depth == 16)));
    if (!valid) return unreadable(Kind::Png, bytes);
    // The decoder may widen grey with alpha, or a colour key, to four channels.
    const unsigned bitsPerPixel = colour == 3 ? depth : 4 * depth;

    std::uint64_t position = 8;
    std::uint64_t compressedMetadata = 0;
    while (true) {
        if (!bytes.has(position, 12)) return unreadable(Kind::Png, bytes);
        const std::uint32_t length = bytes.be32(position);
        if (length > 0x7FFFFFFFu || !bytes.has(position, 12 + std::uint64_t{length}))
            return unreadable(Kind::Png, bytes);
        const auto type = static_cast<std::size_t>(position + 4);
        if (bytes.holds(type, "zTXt", 4) || bytes.holds(type, "iTXt", 4) || bytes.holds(type, "iCCP", 4))
            compressedMetadata += length;
        position += 12 + std::uint64_t{length};
        if (bytes.holds(type, "IEND", 4)) break;
    }
    // The decoder keeps the whole picture, and the conversion to our pixels a copy of it.
    return judged(Kind::Png, width, height, bitsPerPixel, 2, 0, static_cast<std::size_t>(position),
                  compressedMetadata <= kMaxPngCompressedMetadata);
}

bool isStartOfFrame(unsigned marker) noexcept {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// From the first byte after a scan's header to the marker that ends its entropy-coded data. Within the
// data 0xFF is followed by 0 (a stuffed byte) or a restart marker; any other code is the next marker.
bool skipEntropyCodedData(const Bytes& bytes, std::size_t& position) noexcept {
    while (true) {
        const void* found = std::memchr(bytes.data() + position, 0xFF, bytes.size() - position);
        if (!found) return false;
        const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
        if (!bytes.has(at, 2)) return false;
        const unsigned next = bytes.at(at + 1);
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
            position = next == 0xFF ? at + 1 : at + 2;
            continue;
        }
        position = at;
        return true;
    }
}

// JPEG: markers from SOI to EOI, as the decoder reads them; anything it would merely skip with a warning
// (bytes between segments, a second frame header) is not handed to it.
PictureFileCheck inspectJpeg(const Bytes& bytes) noexcept {
    std::size_t position = 2;
    std::uint32_t width = 0, height = 0, components = 0;
    bool frame = false, progressive = false;
    unsigned scans = 0;
    while (true) {
        if (!bytes.has(position, 1) || bytes.at(position) != 0xFF) return unreadable(Kind::Jpeg, bytes);
        while (bytes.has(position, 1) && bytes.at(position) == 0xFF) ++position;  // fill bytes
        if (!bytes.has(position, 1)) return unreadable(Kind::Jpeg, bytes);
        const unsigned marker = bytes.at(position++);
        if (marker == 0xD9) break;                                           // EOI
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0x00 || marker == 0xD8 || !bytes.has(position, 2)) return unreadable(Kind::Jpeg, bytes);
        const std::size_t length = bytes.be16(position);
        if (length < 2 || !bytes.has(position, length)) return unreadable(Kind::Jpeg, bytes);
        const std::size_t body = position + 2;
        position += length;
        if (isStartOfFrame(marker)) {
            if (frame || length < 8) return unreadable(Kind::Jpeg, bytes);
            height = bytes.be16(body + 1);
            width = bytes.be16(body + 3);
            components = bytes.at(body + 5);
            if (bytes.at(body) != 8 || components == 0 || components > 4 || length != 8 + 3 * components)
                return unreadable(Kind::Jpeg, bytes);
            for (std::size_t c = 0; c < components; ++c) {
                const unsigned sampling = bytes.at(body + 6 + 3 * c + 1);
                if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1 || (sampling & 15) > 4)
                    return unreadable(Kind::Jpeg, bytes);
            }
            frame = true;
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        } else if (marker == 0xDA) {  // SOS
            if (!frame || !skipEntropyCodedData(bytes, position)) return unreadable(Kind::Jpeg, bytes);
            ++scans;
        }
    }
    if (!frame || scans == 0) return unreadable(Kind::Jpeg, bytes);
    // The decoder keeps the whole picture, a byte a component, and the conversion a copy of it. With
    // several scans, or a progressive one, it also keeps every coefficient, two bytes each, padded to
    // whole blocks of the largest sampling.
    const std::uint64_t coefficients =
        progressive || scans > 1 ? (std::uint64_t{width} + 32) * (std::uint64_t{height} + 32) * components * 2 : 0;
    const bool fewScans = scans <= kMaxJpegScans && std::uint64_t{width} * height * scans <= kMaxJpegScanPixels;
    return judged(Kind::Jpeg, width, height, 8 * components, 2, coefficients, position, fewScans);
}

std::size_t gifColourTableBytes(unsigned flags) noexcept {
    return flags & 0x80 ? std::size_t{3} << ((flags & 7) + 1) : 0;
}

// Data sub-blocks up to the empty one that ends them; `count` grows by one for each.
bool skipSubBlocks(const Bytes& bytes, std::size_t& position, std::uint64_t& count) noexcept {
    while (true) {
        if (!bytes.has(position, 1)) return false;
        const std::size_t length = bytes.at(position++);
        if (length == 0) return true;
        if (!bytes.has(position, length)) return false;
        position += length;
        ++count;
    }
}

// What the decoder keeps for each frame and each extension sub-block beyond their bytes.
constexpr std::uint64_t kGifFrameBookkeeping = 1024;
constexpr std::uint64_t kGifBlockBookkeeping = 64;

// GIF: every block up to the trailer. The decoder reads all frames at once and keeps each whole.
PictureFileCheck inspectGif(const Bytes& bytes) noexcept {
    if (!bytes.has(0, 13)) return unreadable(Kind::Gif, bytes);
    std::size_t position = 13 + gifColourTableBytes(bytes.at(10));
    std::uint64_t frames = 0, extensionBlocks = 0, framePixels = 0, largestFrame = 0, imageBlocks = 0;
    std::uint32_t firstWidth = 0, firstHeight = 0;
    while (true) {
        // Many writers leave out the trailer; decoders forgive it after a whole block.
        if (position == bytes.size() && frames != 0) break;
        if (!bytes.has(position, 1)) return unreadable(Kind::Gif, bytes);
        const unsigned introducer = bytes.at(position++);
        if (introducer == 0x3B) break;  // trailer
        if (introducer == 0x21) {       // extension: its label, then sub-blocks, each kept with the end
            ++extensionBlocks;
            if (!bytes.has(position, 1) || !skipSubBlocks(bytes, ++position, extensionBlocks))
                return unreadable(Kind::Gif, bytes);
        } else if (introducer == 0x2C) {  // image: descriptor, colours, code size, sub-blocks
            if (!bytes.has(position, 9)) return unreadable(Kind::Gif, bytes);
            const std::uint32_t width = bytes.le16(position + 4);
            const std::uint32_t height = bytes.le16(position + 6);
            position += 9 + gifColourTableBytes(bytes.at(position + 8));
            if (!bytes.has(position, 1) || bytes.at(position) == 0 || bytes.at(position) > 11)
                return unreadable(Kind::Gif, bytes);
            if (!skipSubBlocks(bytes, ++position, imageBlocks)) return unreadable(Kind::Gif, bytes);
            if (frames++ == 0) {
                firstWidth = width;
                firstHeight = height;
            }
            largestFrame = std::max<std::uint64_t>(largestFrame, std::uint64_t{width} * height);
            framePixels += std::uint64_t{width} * height;
        } else {
            return unreadable(Kind::Gif, bytes);
        }
    }
    if (frames == 0) return unreadable(Kind::Gif, bytes);
    const std::uint32_t screenWidth = bytes.le16(6);
    const std::uint32_t screenHeight = bytes.le16(8);
    const bool screen = screenWidth != 0 && screenHeight != 0;
    // The decoder decodes every frame, a byte a pixel, as it opens the file: all of them together are
    // held to the bound of one picture, for the time it takes as much as for the memory.
    const bool within =
        frames <= kMaxGifFrames && extensionBlocks <= kMaxGifExtensionBlocks && framePixels <= kMaxDecodedPixels;
    // Every frame and its bookkeeping, and the conversion of one of them.
    return judged(Kind::Gif, screen ? screenWidth : firstWidth, screen ? screenHeight : firstHeight, 0, 0,
                  framePixels + frames * kGifFrameBookkeeping + largestFrame + extensionBlocks * kGifBlockBookkeeping,
                  position, within);
}

// One directory's fields that decide what the TIFF decoder allocates; 0 where a field is absent.
struct TiffDirectory {
    std::uint64_t width = 0, height = 0, tileWidth = 0, tileHeight = 0, rowsPerStrip = 0, planar = 0;
    unsigned bitsPerSample = 1, samples = 1;
};

class TiffReader {
public:
    TiffReader(const Bytes& bytes, bool little) noexcept : bytes_(bytes), little_(little) {}
    std::uint32_t u16(std::size_t at) const noexcept { return little_ ? bytes_.le16(at) : bytes_.be16(at); }
    std::uint32_t u32(std::size_t at) const noexcept { return little_ ? bytes_.le32(at) : bytes_.be32(at); }

    // The directory's entries of interest; false for one malformed or beyond what we decode. A field
    // given twice counts at its larger value, whichever of them the decoder keeps.
    bool read(std::size_t entries, std::size_t count, TiffDirectory& directory) const noexcept {
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = entries + 12 * i;
            const std::uint32_t tag = u16(entry);
            const std::uint32_t type = u16(entry + 2);
            const std::uint32_t values = u32(entry + 4);
            if (tag == 258) {  // BitsPerSample, one a sample
                if (type != 3 || values == 0 || values > 16) return false;
                const std::size_t at = values <= 2 ? entry + 8 : u32(entry + 8);
                if (!bytes_.has(at, 2 * std::uint64_t{values})) return false;
                for (std::size_t v = 0; v < values; ++v) {
                    const unsigned bits = u16(at + 2 * v);
                    if (bits == 0 || bits > 64) return false;
                    directory.bitsPerSample = std::max(directory.bitsPerSample, bits);
                }
                continue;
            }
            std::uint64_t* field = tag == 256   ? &directory.width
                                   : tag == 257 ? &directory.height
                                   : tag == 278 ? &directory.rowsPerStrip
                                   : tag == 322 ? &directory.tileWidth
                                   : tag == 323 ? &directory.tileHeight
                                   : tag == 284 ? &directory.planar
                                                : nullptr;
            if (!field && tag != 277) continue;
            if (values != 1 || (type != 3 && type != 4)) return false;
            const std::uint32_t value = type == 3 ? u16(entry + 8) : u32(entry + 8);
            // A zero size or strip height would divide by zero in the decoder.
            if (value == 0 || (tag == 277 && value > 16)) return false;
            if (field)
                *field = std::max<std::uint64_t>(*field, value);
            else
                directory.samples = std::max(directory.samples, static_cast<unsigned>(value));
        }
        return true;
    }

private:
    const Bytes& bytes_;
    bool little_;
};

// Whether one directory's picture, its tiles or strips and the buffers the decoder makes of them stay
// within the bounds. The decoder may take any directory as the first page, so each is held to them.
PictureFileCheck judgedTiff(const TiffDirectory& d, const Bytes& bytes) noexcept {
    const bool tiled = d.tileWidth != 0 || d.tileHeight != 0;
    if (d.width == 0 || d.height == 0 || (tiled && (d.tileWidth == 0 || d.tileHeight == 0)))
        return unreadable(Kind::Tiff, bytes);
    const unsigned bitsPerPixel = std::max(d.bitsPerSample, 8u) * d.samples;
    const std::uint64_t tileWidth = tiled ? d.tileWidth : d.width;
    const std::uint64_t tileHeight = tiled            ? d.tileHeight
                                     : d.rowsPerStrip ? std::min(d.rowsPerStrip, d.height)
                                                      : d.height;
    const bool tileFits = tileWidth <= kMaxDecodedPixels && tileHeight <= kMaxDecodedPixels;
    // A tile and, for samples kept in planes of their own, one buffer for all the planes.
    const std::uint64_t buffers = d.planar == 2 ? 1 + d.samples : 1;
    const std::uint64_t tileBytes = tileFits ? (tileWidth * bitsPerPixel + 7) / 8 * tileHeight * buffers : 0;
    // The decoder keeps one tile, and the conversion the picture.
    return judged(Kind::Tiff, d.width, d.height, bitsPerPixel, 1, tileBytes, bytes.size(), tileFits);
}

PictureFileCheck inspectTiff(const Bytes& bytes, bool little) noexcept {
    const TiffReader reader(bytes, little);
    std::array<std::uint64_t, kMaxTiffDirectories> seen{};
    unsigned directories = 0;
    PictureFileCheck first = unreadable(Kind::Tiff, bytes);
    if (!bytes.has(4, 4)) return first;
    for (std::uint64_t offset = reader.u32(4); offset != 0;) {
        if (directories == kMaxTiffDirectories) {
            first.verdict = Verdict::TooLarge;
            return first;
        }
        if (std::find(seen.begin(), seen.begin() + directories, offset) != seen.begin() + directories ||
            !bytes.has(offset, 2))
            return unreadable(Kind::Tiff, bytes);  // a chain that loops, or leaves the file
        seen[directories++] = offset;
        const std::uint32_t count = reader.u16(static_cast<std::size_t>(offset));
        const std::uint64_t entries = offset + 2;
        TiffDirectory directory;
        if (!bytes.has(entries, 12 * std::uint64_t{count} + 4) ||
            !reader.read(static_cast<std::size_t>(entries), count, directory))
            return unreadable(Kind::Tiff, bytes);
        const PictureFileCheck check = judgedTiff(directory, bytes);
        if (check.verdict == Verdict::Unreadable) return check;
        if (directories == 1) first = check;
        if (check.verdict == Verdict::TooLarge) first.verdict = Verdict::TooLarge;
        offset = reader.u32(static_cast<std::size_t>(entries + 12 * std::uint64_t{count}));
    }
    return first;
}

// WebP: the RIFF container and the size its first chunk declares (lossy, lossless or extended).
PictureFileCheck inspectWebp(const Bytes& bytes) noexcept {
    const std::uint64_t used = 8 + std::uint64_t{bytes.le32(4)};
    if (!bytes.has(12, 18) || used < 30 || !bytes.has(0, used)) return unreadable(Kind::Webp, bytes);
    const auto size = static_cast<std::size_t>(used);
    if (bytes.holds(12, "VP8X", 4)) {
        const bool animated = bytes.at(20) & 0x02;  // a canvas and the frame drawn onto it
        return judged(Kind::Webp, bytes.le24(24) + 1u, bytes.le24(27) + 1u, 32, animated ? 3 : 2, 0, size);
    }
    if (bytes.holds(12, "VP8L", 4) && bytes.at(20) == 0x2F) {
        const std::uint32_t sizes = bytes.le32(21);
        return judged(Kind::Webp, (sizes & 0x3FFF) + 1u, (sizes >> 14 & 0x3FFF) + 1u, 32, 2, 0, size);
    }
    if (bytes.holds(12, "VP8 ", 4) && bytes.holds(23, "\x9D\x01\x2A", 3))
        return judged(Kind::Webp, bytes.le16(26) & 0x3FFF, bytes.le16(28) & 0x3FFF, 32, 2, 0, size);
    return unreadable(Kind::Webp, bytes);
}

// BMP: a file header before a packed DIB, whose pixels must sit where the DIB alone would put them.
PictureFileCheck inspectBmp(const Bytes& bytes) noexcept {
    if (!bytes.has(0, kBmpFileHeaderBytes)) return unreadable(Kind::Bmp, bytes);
    const PackedDibCheck dib = inspectPackedDib(bytes.data() + kBmpFileHeaderBytes, bytes.size() - kBmpFileHeaderBytes);
    const PackedDibLayout& layout = dib.layout;
    if (dib.kind == PackedDibKind::Undecodable || bytes.le32(10) != kBmpFileHeaderBytes + layout.pixelOffset)
        return unreadable(Kind::Bmp, bytes);
    const Verdict verdict = dib.kind == PackedDibKind::Decodable ? Verdict::Decodable : Verdict::TooLarge;
    return {Kind::Bmp, verdict, layout.width, layout.height,
            kBmpFileHeaderBytes + layout.pixelOffset + layout.pixelBytes};
}

}  // namespace

PictureFileCheck inspectPictureFile(const void* data, std::size_t size) noexcept {
    const Bytes bytes(data, data ? size : 0);
    if (bytes.holds(0, "\x89PNG\r\n\x1A\n", 8)) return inspectPng(bytes);
    if (bytes.holds(0, "\xFF\xD8\xFF", 3)) return inspectJpeg(bytes);
    if (bytes.holds(0, "GIF87a", 6) || bytes.holds(0, "GIF89a", 6)) return inspectGif(bytes);
    if (bytes.holds(0, "II*\0", 4)) return inspectTiff(bytes, true);
    if (bytes.holds(0, "MM\0*", 4)) return inspectTiff(bytes, false);
    if (bytes.holds(0, "RIFF", 4) && bytes.holds(8, "WEBP", 4)) return inspectWebp(bytes);
    if (bytes.holds(0, "BM", 2)) return inspectBmp(bytes);
    return unreadable(Kind::Unknown, bytes);
}

}  // namespace zanthrel
