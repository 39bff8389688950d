#include "platform/wayland/picture_type_choice.h"

#include <algorithm>
#include <iterator>

namespace zanthrel::wayland {
namespace {

// The same order as the X11 reader's: lossless and cheap to decode before the rest. Qt programs also
// offer their own name for a picture, served as PNG.
constexpr std::string_view kPictureTypes[] = {"image/png",   "image/bmp",
                                              "image/x-bmp", "image/x-ms-bmp",
                                              "image/jpeg",  "image/gif",
                                              "image/tiff",  "image/x-portable-pixmap",
                                              "image/webp",  "application/x-qt-image"};
constexpr std::string_view kImagePrefix = "image/";

bool sameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// A MIME name is printable ASCII without blanks; anything else would only be echoed into a request.
bool plausibleName(std::string_view name) noexcept {
    return !name.empty() && name.size() <= PictureTypeChoice::kLongestType &&
           std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

}  // namespace

int pictureTypeRank(std::string_view mimeType) noexcept {
    if (!plausibleName(mimeType)) return kNotAPicture;
    // Parameters (";charset=...") play no part in a picture's type.
    const std::string_view bare = mimeType.substr(0, mimeType.find(';'));
    for (std::size_t i = 0; i < std::size(kPictureTypes); ++i)
        if (sameIgnoringCase(bare, kPictureTypes[i])) return static_cast<int>(i);
    if (bare.size() > kImagePrefix.size() && sameIgnoringCase(bare.substr(0, kImagePrefix.size()), kImagePrefix))
        return static_cast<int>(std::size(kPictureTypes));
    return kNotAPicture;
}

void PictureTypeChoice::consider(std::string_view mimeType) {
    const int rank = pictureTypeRank(mimeType);
    if (rank == kNotAPicture || (found() && rank >= rank_)) return;
    rank_ = rank;
    chosen_.assign(mimeType);
}

}  // namespace zanthrel::wayland
