#include "pictures/picture_formats.h"

#include <algorithm>
#include <iterator>

namespace zanthrel {
namespace {

using C = PictureContent;
using N = FormatNaming;
namespace wf = windows_format;

// Every picture format, most wanted first; rows of one rank are equally good.
constexpr PictureFormat kFormats[] = {
    // The system's own layout of a bitmap: read as it is, without a decoder.
    {"CF_DIBV5", N::WindowsStandard, wf::kDibV5, C::Dib, 0},
    {"CF_DIB", N::WindowsStandard, wf::kDib, C::Dib, 0},
    {"CF_BITMAP", N::WindowsStandard, wf::kBitmap, C::SystemBitmap, 1},
    // What an owner shows in place of a private format of its own; still a bitmap anyone can read.
    {"CF_DSPBITMAP", N::WindowsStandard, wf::kDisplayBitmap, C::SystemBitmap, 2},
    // Lossless files.
    {"image/png", N::Mime, 0, C::Png, 3},
    {"PNG", N::WindowsRegistered, 0, C::Png, 3},
    {"image/bmp", N::Mime, 0, C::Bmp, 4},
    {"image/x-bmp", N::Mime, 0, C::Bmp, 4},
    {"image/x-ms-bmp", N::Mime, 0, C::Bmp, 4},
    // Wine offers its programs' bitmaps to X11 programs as a pixmap (beside image/bmp).
    {"PIXMAP", N::X11Target, 0, C::ServerPixmap, 5},
    // Decoded by the platform's decoders.
    {"image/jpeg", N::Mime, 0, C::Jpeg, 6},
    {"JFIF", N::WindowsRegistered, 0, C::Jpeg, 6},
    {"image/gif", N::Mime, 0, C::Gif, 7},
    {"GIF", N::WindowsRegistered, 0, C::Gif, 7},
    {"image/tiff", N::Mime, 0, C::Tiff, 8},
    {"CF_TIFF", N::WindowsStandard, wf::kTiff, C::Tiff, 8},
    {"image/x-portable-pixmap", N::Mime, 0, C::PortablePixmap, 9},
    {"image/webp", N::Mime, 0, C::Webp, 10},
    {"application/x-qt-image", N::Mime, 0, C::QtImage, 11},
    // Decoded where a decoder for them is installed (an image plugin, a codec pack), which is not
    // always so; judged by their digest otherwise.
    {"image/avif", N::Mime, 0, C::Avif, 12},
    {"image/jxl", N::Mime, 0, C::JpegXl, 12},
    {"image/heic", N::Mime, 0, C::Heif, 12},
    {"image/heif", N::Mime, 0, C::Heif, 12},
    {"image/x-icon", N::Mime, 0, C::Icon, 12},
    {"image/vnd.microsoft.icon", N::Mime, 0, C::Icon, 12},
    // Judged by their digest: drawings rather than pixels, whose rendering costs whatever their author
    // wants it to.
    {"image/svg+xml", N::Mime, 0, C::Svg, 13},
    {"CF_ENHMETAFILE", N::WindowsStandard, wf::kEnhMetafile, C::EnhancedMetafile, 14},
    {"CF_METAFILEPICT", N::WindowsStandard, wf::kMetafilePict, C::Metafile, 14},
    {"CF_DSPENHMETAFILE", N::WindowsStandard, wf::kDisplayEnhMetafile, C::EnhancedMetafile, 15},
    {"CF_DSPMETAFILEPICT", N::WindowsStandard, wf::kDisplayMetafilePict, C::Metafile, 15},
    // Every other "image/" type: a picture all the same, in a format nobody here decodes.
    {"image/*", N::Mime, 0, C::OtherImage, 16},
};
constexpr const PictureFormat& kOtherImage = kFormats[std::size(kFormats) - 1];
constexpr std::string_view kImagePrefix = "image/";

char lower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// A format's name is printable ASCII without blanks; anything else would only be echoed into a request.
bool plausibleName(std::string_view name) noexcept {
    return !name.empty() && name.size() <= kLongestFormatName &&
           std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

const PictureFormat* rowNamed(FormatNaming naming, std::string_view name, bool ignoreCase) noexcept {
    for (const PictureFormat& row : kFormats)
        if (row.naming == naming && (ignoreCase ? sameIgnoringCase(row.name, name) : row.name == name)) return &row;
    return nullptr;
}

// The offered item whose format ranks first; the first of equals.
template <typename Offered, typename Classify>
std::optional<std::size_t> best(std::span<const Offered> offered, Classify classify) noexcept {
    std::optional<std::size_t> chosen;
    int chosenRank = 0;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const PictureFormat* format = classify(offered[i]);
        if (!format || (chosen && format->rank >= chosenRank)) continue;
        chosen = i;
        chosenRank = format->rank;
    }
    return chosen;
}

}  // namespace

PictureHandling PictureFormat::handling() const noexcept {
    switch (content) {
        case C::Dib:
        case C::SystemBitmap:
        case C::ServerPixmap:
        case C::Png:
        case C::Bmp: return PictureHandling::Lossless;
        case C::Jpeg:
        case C::Gif:
        case C::Tiff:
        case C::PortablePixmap:
        case C::Webp:
        case C::QtImage:
        case C::Avif:
        case C::JpegXl:
        case C::Heif:
        case C::Icon: return PictureHandling::Decoded;
        default: return PictureHandling::DigestOnly;
    }
}

std::span<const PictureFormat> pictureFormats() noexcept {
    return kFormats;
}

const PictureFormat* classifyMimeType(std::string_view mimeType) noexcept {
    if (!plausibleName(mimeType)) return nullptr;
    // Parameters (";charset=...") play no part in a picture's type.
    const std::string_view bare = mimeType.substr(0, mimeType.find(';'));
    if (const PictureFormat* row = rowNamed(N::Mime, bare, true)) return row;
    if (bare.size() > kImagePrefix.size() && sameIgnoringCase(bare.substr(0, kImagePrefix.size()), kImagePrefix))
        return &kOtherImage;
    return nullptr;
}

const PictureFormat* classifyX11Target(std::string_view target) noexcept {
    // X11 names its atoms exactly; only MIME types are matched regardless of case.
    if (const PictureFormat* row = rowNamed(N::X11Target, target, false)) return row;
    return classifyMimeType(target);
}

const PictureFormat* classifyWindowsFormat(std::uint32_t id, std::string_view registeredName) noexcept {
    if (id < windows_format::kFirstRegistered) {
        for (const PictureFormat& row : kFormats)
            if (row.naming == N::WindowsStandard && row.windowsId == id) return &row;
        return nullptr;
    }
    // Registered names are atoms of the system, which ignores their case.
    if (!plausibleName(registeredName)) return nullptr;
    if (const PictureFormat* row = rowNamed(N::WindowsRegistered, registeredName, true)) return row;
    return classifyMimeType(registeredName);
}

std::optional<std::size_t> bestMimeType(std::span<const std::string_view> offered) noexcept {
    return best(offered, classifyMimeType);
}

std::optional<std::size_t> bestX11Target(std::span<const std::string_view> offered) noexcept {
    return best(offered, classifyX11Target);
}

std::optional<std::size_t> bestWindowsFormat(std::span<const WindowsClipboardFormat> offered) noexcept {
    return best(offered, [](const WindowsClipboardFormat& format) {
        return classifyWindowsFormat(format.id, format.registeredName);
    });
}

bool PictureTypeChoice::consider(std::string_view mimeType) {
    const PictureFormat* format = classifyMimeType(mimeType);
    if (!format || (format_ && format->rank >= format_->rank)) return false;
    format_ = format;
    chosen_.assign(mimeType);
    return true;
}

}  // namespace zanthrel
