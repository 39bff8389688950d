#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zanthrel {

// What counts as a picture on a clipboard, on every clipboard the guard watches: one table of formats
// (picture_formats.cpp) with how each is judged and which is asked for when an owner offers several.
// A reader never keeps a list of its own; it asks here.
//
// Preference: what the platform reads without loss and cheaply first (a DIB, a bitmap, PNG, BMP), then
// what it decodes (JPEG, GIF, TIFF, ...), then what it can only tell apart by the digest of its bytes.
// The order in which an owner lists its formats plays no part (browsers and Qt list JPEG first), except
// between formats of the same rank, where the first listed is the owner's own and the others conversions.

// How a platform judges a picture in a format.
enum class PictureHandling : std::uint8_t {
    Lossless,    // read without loss and cheaply: a DIB, a bitmap, PNG, BMP
    Decoded,     // decoded by the platform's decoders; if none decodes it, judged by its digest
    DigestOnly,  // never decoded: judged by a digest of its bytes (a drawing, a metafile, a type unknown)
};

// What the bytes (or the handle) of a format hold, so that a reader knows how to fetch and decode them.
enum class PictureContent : std::uint8_t {
    Dib,           // a packed DIB: header, colours, pixels
    SystemBitmap,  // a handle to a bitmap the system keeps (a GDI bitmap)
    ServerPixmap,  // an X pixmap's id; its pixels are read from the server
    Png,
    Bmp,  // a BMP file: a file header before a packed DIB
    Jpeg,
    Gif,
    Tiff,
    PortablePixmap,
    Webp,
    QtImage,  // Qt's own name for a picture; its bytes say their format (Qt serves PNG)
    Avif,
    JpegXl,
    Heif,
    Svg,
    Icon,
    EnhancedMetafile,  // a handle to an enhanced metafile
    Metafile,          // a METAFILEPICT: a handle to a Windows metafile and its extent
    OtherImage,        // any other "image/" type
};

// Where a format's name is used.
enum class FormatNaming : std::uint8_t {
    Mime,               // a MIME type: a Wayland offer's type, an X11 target, a registered Windows name
    X11Target,          // an X11 target of its own (not a MIME type)
    WindowsRegistered,  // a name registered on the Windows clipboard (not a MIME type)
    WindowsStandard,    // a Windows format by its number
};

// One row of the table.
struct PictureFormat {
    std::string_view name;
    FormatNaming naming;
    std::uint32_t windowsId;  // WindowsStandard rows only
    PictureContent content;
    int rank;  // lower is asked for first
    PictureHandling handling() const noexcept;
};

// The table, most wanted first. Its last row, "image/*", stands for every other "image/" type.
std::span<const PictureFormat> pictureFormats() noexcept;

// Longer names are not names any program offers for a picture; they are passed over.
inline constexpr std::size_t kLongestFormatName = 255;

// The standard Windows clipboard formats that hold pictures, as the system numbers them.
namespace windows_format {
inline constexpr std::uint32_t kBitmap = 2;                  // CF_BITMAP
inline constexpr std::uint32_t kMetafilePict = 3;            // CF_METAFILEPICT
inline constexpr std::uint32_t kTiff = 6;                    // CF_TIFF
inline constexpr std::uint32_t kDib = 8;                     // CF_DIB
inline constexpr std::uint32_t kEnhMetafile = 14;            // CF_ENHMETAFILE
inline constexpr std::uint32_t kDibV5 = 17;                  // CF_DIBV5
inline constexpr std::uint32_t kDisplayBitmap = 0x82;        // CF_DSPBITMAP
inline constexpr std::uint32_t kDisplayMetafilePict = 0x83;  // CF_DSPMETAFILEPICT
inline constexpr std::uint32_t kDisplayEnhMetafile = 0x8E;   // CF_DSPENHMETAFILE
// Formats from here on are registered by name (RegisterClipboardFormat); below, the number says all.
inline constexpr std::uint32_t kFirstRegistered = 0xC000;
}  // namespace windows_format

// The row a format falls under, or null when it is not a picture. Case and MIME parameters (";...") do
// not matter; names no program would honestly send (blanks, control or non-ASCII characters, longer
// than kLongestFormatName) are no picture, so that they are never echoed into a request.
const PictureFormat* classifyMimeType(std::string_view mimeType) noexcept;
// An X11 target: a MIME type, or one of X11's own targets (PIXMAP, spelt exactly).
const PictureFormat* classifyX11Target(std::string_view target) noexcept;
// A Windows format: a standard one by its number, a registered one by its name (any case), as the
// system spells it; `registeredName` is not looked at for standard formats.
const PictureFormat* classifyWindowsFormat(std::uint32_t id, std::string_view registeredName) noexcept;

// The best picture among the formats an owner offers, as an index into `offered`; nothing when none is
// a picture. Between formats of the same rank the first offered wins.
std::optional<std::size_t> bestMimeType(std::span<const std::string_view> offered) noexcept;
std::optional<std::size_t> bestX11Target(std::span<const std::string_view> offered) noexcept;
struct WindowsClipboardFormat {
    std::uint32_t id = 0;
    std::string_view registeredName;  // empty for standard formats
};
std::optional<std::size_t> bestWindowsFormat(std::span<const WindowsClipboardFormat> offered) noexcept;

// The best picture type of one offer whose MIME types arrive one by one (a Wayland offer). Only the
// best so far is kept: an offer may name any number of types, and the reader's memory must not follow.
class PictureTypeChoice {
public:
    // True when `mimeType` is now the best; it is kept as the owner spelt it, to be asked for so.
    bool consider(std::string_view mimeType);
    bool found() const noexcept { return format_ != nullptr; }
    // The type to ask for; empty when none was a picture.
    const std::string& chosen() const noexcept { return chosen_; }
    // Its row; null when none was a picture.
    const PictureFormat* format() const noexcept { return format_; }

private:
    const PictureFormat* format_ = nullptr;
    std::string chosen_;
};

}  // namespace zanthrel
