// The clipboard's pictures as the agent reads them, under Wine with the real Windows Imaging Component:
// which of several formats is read, decoded pictures that read exactly as the same picture from a DIB,
// pictures judged by the digest of their bytes, and hostile files that must fail cleanly into such a
// picture without a decoder allocating what their headers declare.

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "pictures/content_digest.h"
#include "platform/win32/clipboard_pictures.h"
#include "tests/win32/check.h"
#include "tests/win32/test_pictures.h"

using namespace zanthrel;
using namespace zanthrel::testing;
using namespace std::chrono_literals;

namespace {

// What the agent reads from the clipboard as it stands, through `pictures`.
PictureRef readClipboard(win32::ClipboardPictures& pictures) {
    CHECK_MSG(waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 5s), "the clipboard stayed open elsewhere");
    PictureRef picture;
    try {
        picture = pictures.readOpenClipboard();
    } catch (...) {
        CloseClipboard();
        throw;
    }
    CloseClipboard();
    return picture;
}

PictureRef readAlone(win32::ClipboardPictures& pictures, const ClipboardItem& item) {
    putOnClipboard({item});
    return readClipboard(pictures);
}

// The picture as the comparison reads it: every scan line of a bottom-up DIB of its size.
std::vector<std::int32_t> scanLines(const PictureRef& picture) {
    const BitmapInfoHeader header{40, picture->width(), picture->height(), 1, 32, 0};
    std::vector<std::int32_t> bits(static_cast<std::size_t>(picture->width()) * picture->height(), 0x7E7E7E7E);
    picture->readScanLines(header, 0, static_cast<std::uint32_t>(picture->height()), bits.data());
    return bits;
}

std::string describe(const std::string& format, const char* what) {
    return format + ": " + what;
}

void checkDigestOnly(const PictureRef& picture, const FileBytes& bytes, const std::string& what) {
    CHECK_MSG(picture != nullptr, describe(what, "no picture"));
    CHECK_MSG(!picture->hasPixels(), describe(what, "decoded, though it should be judged by its digest"));
    CHECK_MSG(picture->digest() == digestOf(bytes.data(), bytes.size()), describe(what, "digest of other bytes"));
}

void putLe32(FileBytes& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t le(const FileBytes& file, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | file[at + i];
    return value;
}

// A little-endian TIFF with every value of `tag` in its first directory replaced; a single short
// becomes a long, to hold any value.
FileBytes withTiffTag(FileBytes file, std::uint16_t tag, std::uint32_t value) {
    const std::size_t directory = le(file, 4, 4);
    const std::uint32_t count = le(file, directory, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (le(file, entry, 2) != tag) continue;
        const std::uint32_t type = le(file, entry + 2, 2), values = le(file, entry + 4, 4);
        CHECK_MSG(type == 3 || type == 4, "an unexpected type in the test TIFF");
        if (values == 1) {
            file[entry + 2] = 4;
            putLe32(file, entry + 8, value);
            continue;
        }
        const std::size_t at = le(file, entry + 8, 4);
        for (std::uint32_t v = 0; v < values; ++v) {
            if (type == 4) putLe32(file, at + 4 * v, value);
            if (type == 3) file[at + 2 * v] = file[at + 2 * v + 1] = 0xFF;
        }
    }
    return file;
}

// Where the data of a PNG's first chunk of `type` lies, and how long it is.
std::pair<std::size_t, std::size_t> pngChunk(const FileBytes& file, const char* type) {
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = std::size_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
        if (std::memcmp(&file[at + 4], type, 4) == 0) return {at + 8, length};
        at += 12 + length;
    }
    CHECK_MSG(false, std::string("the test PNG has no ") + type);
    return {};
}

}  // namespace

TEST_CASE("lossless-files-read-as-the-dib") {
    win32::ClipboardPictures pictures;
    const PictureRef dib = readAlone(pictures, clipboardItem("CF_DIB", 3));
    CHECK(dib && dib->hasPixels() && dib->width() == 64 && dib->height() == 48);
    const std::vector<std::int32_t> expected = scanLines(dib);
    for (const std::string format : {"PNG", "image/png", "GIF", "CF_TIFF", "image/bmp"}) {
        const ClipboardItem item = clipboardItem(format, 3);
        const PictureRef picture = readAlone(pictures, item);
        CHECK_MSG(picture && picture->hasPixels(), describe(format, "not decoded"));
        CHECK_MSG(picture->width() == 64 && picture->height() == 48, describe(format, "of the wrong size"));
        CHECK_MSG(scanLines(picture) == expected, describe(format, "reads otherwise than the same picture as a DIB"));
        CHECK_MSG(picture->rows().top != nullptr, describe(format, "gives no pixels to read in place"));
        CHECK_MSG(picture->digest() == digestOf(item.bytes.data(), item.bytes.size()),
                  describe(format, "digest of other bytes"));
    }
    // JPEG loses a little on the way, but is decoded all the same.
    const PictureRef jpeg = readAlone(pictures, clipboardItem("JFIF", 3));
    CHECK(jpeg && jpeg->hasPixels() && jpeg->width() == 64 && jpeg->height() == 48);
}

TEST_CASE("judged-by-digest") {
    win32::ClipboardPictures pictures;
    // Wine has no WebP decoder; Windows may. Either way the picture is known by its file's bytes.
    const ClipboardItem webp = clipboardItem("image/webp", 1);
    const PictureRef webpPicture = readAlone(pictures, webp);
    CHECK(webpPicture && webpPicture->digest() == digestOf(webp.bytes.data(), webp.bytes.size()));
    CHECK(webpPicture->width() == 64 && webpPicture->height() == 48);

    // A metafile by the bytes of its records; the same drawing again gives the same digest.
    PictureDigest digests[3];
    for (int i = 0; i < 3; ++i) {
        const HENHMETAFILE metafile = testMetafile(i < 2 ? 1 : 2);
        std::vector<BYTE> bits(GetEnhMetaFileBits(metafile, 0, nullptr));
        GetEnhMetaFileBits(metafile, static_cast<UINT>(bits.size()), bits.data());
        const PictureRef picture = readAlone(pictures, {CF_ENHMETAFILE, {}, metafile});
        checkDigestOnly(picture, bits, "CF_ENHMETAFILE");
        digests[i] = picture->digest();
    }
    CHECK_MSG(digests[0] == digests[1] && !(digests[1] == digests[2]), "metafiles told apart by other than drawing");

    // An old metafile with its extent: the same drawing at another size is another picture.
    PictureDigest extents[2];
    for (int i = 0; i < 2; ++i) {
        const HDC dc = CreateMetaFileW(nullptr);
        Rectangle(dc, 1, 1, 50, 40);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
        *static_cast<METAFILEPICT*>(GlobalLock(block)) = {MM_ANISOTROPIC, 1000 + i, 800, CloseMetaFile(dc)};
        GlobalUnlock(block);
        const PictureRef picture = readAlone(pictures, {CF_METAFILEPICT, {}, block});
        CHECK_MSG(picture && !picture->hasPixels() && picture->digest().known(), "CF_METAFILEPICT not judged");
        extents[i] = picture->digest();
    }
    CHECK(!(extents[0] == extents[1]));

    // Text alone is no picture.
    putOnClipboard({{CF_UNICODETEXT, {'h', 0, 'i', 0, 0, 0}}});
    CHECK(readClipboard(pictures) == nullptr);
}

TEST_CASE("one-format-read") {
    // Whatever order the owner lists them in, the cheapest lossless one is read, and only it.
    win32::ClipboardPictures pictures;
    const struct {
        std::vector<std::string> offered;
        std::size_t read;
    } owners[] = {{{"JFIF", "PNG"}, 1},           {{"JFIF", "CF_DIB", "PNG"}, 1}, {{"CF_ENHMETAFILE", "GIF"}, 1},
                  {{"image/webp", "CF_TIFF"}, 1}, {{"GIF", "JFIF"}, 1},           {{"image/png", "JFIF"}, 0}};
    for (const auto& owner : owners) {
        std::vector<ClipboardItem> items;
        for (const std::string& format : owner.offered) items.push_back(clipboardItem(format, 5));
        const ClipboardItem& wanted = items[owner.read];
        putOnClipboard(items);
        const PictureRef picture = readClipboard(pictures);
        CHECK_MSG(picture && picture->digest() == digestOf(wanted.bytes.data(), wanted.bytes.size()),
                  owner.offered[owner.read] + " was not the one read of " + std::to_string(items.size()));
    }
    putOnClipboard({{CF_UNICODETEXT, {'h', 0, 0, 0}}, clipboardItem("image/webp", 2)});
    CHECK(readClipboard(pictures) != nullptr);
}

TEST_CASE("same-bytes-same-picture") {
    win32::ClipboardPictures pictures;
    const ClipboardItem first = clipboardItem("PNG", 1);
    const PictureRef picture = readAlone(pictures, first);
    CHECK(picture && picture->hasPixels());
    CHECK_MSG(readAlone(pictures, first) == picture, "the same bytes again were decoded again");
    FileBytes noisy = first.bytes;
    noisy.insert(noisy.end(), {1, 2, 3});  // beyond IEND: noise the block carries
    CHECK(readAlone(pictures, {first.format, noisy}) == picture);
    const PictureRef second = readAlone(pictures, clipboardItem("PNG", 2));
    CHECK(second && second != picture && !(second->digest() == picture->digest()));
    // The same bytes in another registered name are the same content; only the last picture is kept.
    const PictureRef again = readAlone(pictures, {registeredFormat(L"image/png"), first.bytes});
    CHECK(again && again != picture && again->digest() == picture->digest());
}

TEST_CASE("hostile-files") {
    win32::ClipboardPictures pictures;
    const UINT png = registeredFormat(L"PNG");
    const FileBytes good = clipboardItem("PNG", 1).bytes;

    // Headers declaring what must never be allocated: no decoder sees them.
    for (const auto& [width, height] : {std::pair{1u, 100000000u}, {1000000u, 1000u}, {100000u, 100000u}}) {
        FileBytes header = good;
        for (int i = 0; i < 4; ++i) {
            header[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
            header[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
        }
        checkDigestOnly(readAlone(pictures, {png, header}), header, "a vast PNG");
    }
    // The frame's descriptor follows the header, the screen and 16 colours: 65535 × 65535.
    constexpr std::size_t kGifFrame = 6 + 7 + 48, kGifData = kGifFrame + 10 + 2;
    FileBytes vastGif = clipboardItem("GIF", 1).bytes;
    for (std::size_t i = kGifFrame + 5; i < kGifFrame + 9; ++i) vastGif[i] = 0xFF;
    checkDigestOnly(readAlone(pictures, {registeredFormat(L"GIF"), vastGif}), vastGif, "a vast GIF frame");
    const FileBytes tiff = clipboardItem("CF_TIFF", 1).bytes;
    const FileBytes tall = withTiffTag(tiff, 257, 100000000);
    checkDigestOnly(readAlone(pictures, {CF_TIFF, tall}), tall, "a TIFF 100 million rows tall");

    // Files whose headers pass but whose data is corrupt: the decoder fails, and the file is known by
    // its bytes. Strips that lie beyond the file; strips that claim 2 GB each, of which the decoder
    // reads what there is.
    const FileBytes stripsOutside = withTiffTag(tiff, 273, 0x7FFFFFF0u);
    checkDigestOnly(readAlone(pictures, {CF_TIFF, stripsOutside}), stripsOutside, "a TIFF with strips beyond it");
    const FileBytes vastStrips = withTiffTag(tiff, 279, 0x7FFFFFFFu);
    const PictureRef vastStripsPicture = readAlone(pictures, {CF_TIFF, vastStrips});
    CHECK(vastStripsPicture && vastStripsPicture->digest() == digestOf(vastStrips.data(), vastStrips.size()));
    FileBytes brokenPng = good;
    const auto [data, length] = pngChunk(good, "IDAT");
    for (std::size_t i = data + 2; i < data + length; ++i) brokenPng[i] ^= 0x5A;  // past the stream's header
    checkDigestOnly(readAlone(pictures, {png, brokenPng}), brokenPng, "a PNG of corrupt data");
    FileBytes brokenGif = clipboardItem("GIF", 2).bytes;
    for (std::size_t i = kGifData + 1; i < kGifData + 255; ++i) brokenGif[i] = 0xFF;  // codes beyond the table
    checkDigestOnly(readAlone(pictures, {registeredFormat(L"GIF"), brokenGif}), brokenGif, "a GIF of corrupt codes");

    // The bytes say what they are, whatever the format's name: a JPEG offered as PNG is decoded.
    const FileBytes jpeg = clipboardItem("JFIF", 1).bytes;
    const PictureRef misnamed = readAlone(pictures, {png, jpeg});
    CHECK(misnamed && misnamed->hasPixels() && misnamed->width() == 64);

    // And the next good picture is read as ever.
    const PictureRef after = readAlone(pictures, {png, good});
    CHECK(after && after->hasPixels());
}

int main(int argc, char** argv) {
    return zanthrel::testing::runTests(argc > 1 ? argv[1] : "");
}
