#include "platform/win32/clipboard_pictures.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "pictures/content_digest.h"
#include "pictures/digest_only_picture.h"
#include "pictures/packed_dib.h"
#include "pictures/picture_file.h"
#include "pictures/picture_formats.h"
#include "platform/win32/wic_decoder.h"
#include "platform/win32/win32_picture.h"

namespace zanthrel::win32 {
namespace {

// The most of a metafile copied out to be digested. A larger one is known by its size and header.
constexpr std::size_t kLargestMetafileCopy = std::size_t{1} << 30;

class GlobalLockScope {
public:
    explicit GlobalLockScope(HANDLE block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockScope() {
        if (data_) GlobalUnlock(block_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    const unsigned char* data() const noexcept { return static_cast<const unsigned char*>(data_); }
    std::size_t size() const noexcept { return data_ ? GlobalSize(block_) : 0; }

private:
    HANDLE block_;
    void* data_;
};

struct OfferedFormat {
    UINT id = 0;
    std::string registeredName;  // empty for standard formats
};

// A registered format's name as the system spells it. The buffer holds one character more than the
// longest name taken, so that a longer one reads as longer and is passed over, rather than cut to a
// name it is not; a character beyond ASCII becomes one no name may hold.
std::string registeredName(UINT format) {
    wchar_t name[kLongestFormatName + 2] = {};
    const int length = GetClipboardFormatNameW(format, name, static_cast<int>(std::size(name)));
    std::string ascii;
    for (int i = 0; i < length; ++i) ascii.push_back(name[i] < 0x80 ? static_cast<char>(name[i]) : '\x01');
    return ascii;
}

// The owner's formats in the order it offered them; the system's conversions follow its own.
std::vector<OfferedFormat> offeredFormats() {
    std::vector<OfferedFormat> offered;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format))
        offered.push_back({format, format >= windows_format::kFirstRegistered ? registeredName(format) : ""});
    return offered;
}

bool bitmapOfferedBeforeDib(const std::vector<OfferedFormat>& offered) {
    for (const OfferedFormat& format : offered) {
        if (format.id == CF_BITMAP) return true;
        if (format.id == CF_DIB || format.id == CF_DIBV5) return false;
    }
    return false;
}

}  // namespace

ClipboardPictures::ClipboardPictures() : decoder_(std::make_unique<WicDecoder>()) {}
ClipboardPictures::~ClipboardPictures() = default;

template <typename Make>
PictureRef ClipboardPictures::remembered(PictureDigest digest, Make&& make) {
    if (digest == lastDigest_)
        if (PictureRef same = lastPicture_.lock()) return same;
    PictureRef picture = make();
    lastDigest_ = digest;
    lastPicture_ = picture;
    return picture;
}

PictureRef ClipboardPictures::readOpenClipboard() {
    const std::vector<OfferedFormat> offered = offeredFormats();
    std::vector<WindowsClipboardFormat> formats;
    formats.reserve(offered.size());
    for (const OfferedFormat& format : offered) formats.push_back({format.id, format.registeredName});
    const std::optional<std::size_t> best = bestWindowsFormat(formats);
    if (!best) return nullptr;
    const UINT id = offered[*best].id;
    const PictureContent content = classifyWindowsFormat(id, offered[*best].registeredName)->content;

    const HANDLE handle = GetClipboardData(id);
    if (content == PictureContent::Dib) {
        if (handle) return fromDib(handle);
        // An owner that did not render its DIB would only be asked again, for the bitmap made from it.
        if (!bitmapOfferedBeforeDib(offered)) return nullptr;
        const auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
        return bitmap ? Win32Picture::copyOf(bitmap) : nullptr;
    }
    if (!handle) return nullptr;
    switch (content) {
        case PictureContent::SystemBitmap: return Win32Picture::copyOf(static_cast<HBITMAP>(handle));
        case PictureContent::EnhancedMetafile: return fromEnhancedMetafile(static_cast<HENHMETAFILE>(handle));
        case PictureContent::Metafile: return fromMetafilePicture(handle);
        default: return fromFile(handle);
    }
}

PictureRef ClipboardPictures::fromDib(HANDLE handle) {
    const GlobalLockScope block(handle);
    if (!block.data()) return nullptr;
    // Only the bytes the picture uses count: GlobalSize may round up, and what lies beyond is noise.
    std::size_t used = block.size();
    const PackedDibCheck check = inspectPackedDib(block.data(), used);
    if (check.kind != PackedDibKind::Undecodable)
        used = std::min(used, check.layout.pixelOffset + check.layout.pixelBytes);
    const PictureDigest digest = digestOf(block.data(), used);
    return remembered(digest, [&] { return Win32Picture::fromPackedDib(block.data(), used, digest); });
}

PictureRef ClipboardPictures::fromFile(HANDLE handle) {
    const GlobalLockScope block(handle);
    if (!block.data()) return nullptr;
    const PictureFileCheck check = inspectPictureFile(block.data(), block.size());
    const PictureDigest digest = digestOf(block.data(), check.usedBytes);
    return remembered(digest, [&]() -> PictureRef {
        if (check.verdict == PictureFileVerdict::Decodable) {
            if (check.kind == PictureFileKind::Bmp)
                return Win32Picture::fromPackedDib(block.data() + kBmpFileHeaderBytes,
                                                   check.usedBytes - kBmpFileHeaderBytes, digest);
            if (PictureRef picture = decoder_->decode(check.kind, block.data(), check.usedBytes, digest))
                return picture;
        }
        return digestOnlyPicture(digest, check.width, check.height);
    });
}

PictureRef ClipboardPictures::fromEnhancedMetafile(HENHMETAFILE metafile) {
    ENHMETAHEADER header{};
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    if (size == 0 || !GetEnhMetaFileHeader(metafile, sizeof header, &header)) return nullptr;
    ContentDigester digester;
    if (size <= kLargestMetafileCopy) {
        std::vector<unsigned char> bits(size);
        if (GetEnhMetaFileBits(metafile, size, bits.data()) != size) return nullptr;
        digester.add(bits.data(), bits.size());
    } else {
        digester.add(&size, sizeof size);
        digester.add(&header, sizeof header);
    }
    const PictureDigest digest = digester.finish();
    return remembered(digest, [&] { return digestOnlyPicture(digest); });
}

PictureRef ClipboardPictures::fromMetafilePicture(HANDLE handle) {
    METAFILEPICT picture{};
    {
        const GlobalLockScope block(handle);
        if (!block.data() || block.size() < sizeof picture) return nullptr;
        std::memcpy(&picture, block.data(), sizeof picture);
    }
    const UINT size = GetMetaFileBitsEx(picture.hMF, 0, nullptr);
    if (size == 0) return nullptr;
    // The same drawing at another extent is another picture.
    ContentDigester digester;
    for (const LONG field : {picture.mm, picture.xExt, picture.yExt}) digester.add(&field, sizeof field);
    if (size <= kLargestMetafileCopy) {
        std::vector<unsigned char> bits(size);
        if (GetMetaFileBitsEx(picture.hMF, size, bits.data()) != size) return nullptr;
        digester.add(bits.data(), bits.size());
    } else {
        digester.add(&size, sizeof size);
    }
    const PictureDigest digest = digester.finish();
    return remembered(digest, [&] { return digestOnlyPicture(digest); });
}

}  // namespace zanthrel::win32
