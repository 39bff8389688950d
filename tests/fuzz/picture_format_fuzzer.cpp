// Any bytes as the formats a clipboard owner offers, one per line: as MIME types (a Wayland offer, one
// by one), as X11 targets, and as Windows formats (a line's first two bytes its number, the rest its
// registered name). Whatever is chosen is offered, is a picture, and nothing offered ranks before it
// or equals it earlier in the list; the names agree across clipboards, whatever their case.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/picture_formats.h"

namespace {

using zanthrel::PictureFormat;

template <typename Offered, typename Classify>
void checkBest(std::span<const Offered> offered, std::optional<std::size_t> best, Classify classify) {
    if (!best) {
        for (const Offered& format : offered)
            if (classify(format)) std::abort();
        return;
    }
    if (*best >= offered.size()) std::abort();
    const PictureFormat* chosen = classify(offered[*best]);
    if (!chosen) std::abort();
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const PictureFormat* other = classify(offered[i]);
        if (!other) continue;
        if (other->rank < chosen->rank || (other->rank == chosen->rank && i < *best)) std::abort();
    }
}

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> offered;
    std::vector<zanthrel::WindowsClipboardFormat> windows;
    for (std::size_t at = 0; at <= input.size();) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        const std::string_view line = input.substr(at, end - at);
        offered.push_back(line);
        if (line.size() >= 2) {
            const auto id = static_cast<std::uint32_t>(static_cast<unsigned char>(line[0]) |
                                                       static_cast<unsigned char>(line[1]) << 8);
            windows.push_back({id, line.substr(2)});
        }
        at = end + 1;
    }

    zanthrel::PictureTypeChoice choice;
    for (const std::string_view type : offered) choice.consider(type);
    const std::optional<std::size_t> mime = zanthrel::bestMimeType(offered);
    checkBest<std::string_view>(offered, mime, zanthrel::classifyMimeType);
    if (choice.found() != mime.has_value()) std::abort();
    if (mime ? choice.chosen() != offered[*mime] : !choice.chosen().empty()) std::abort();
    if (mime && choice.format() != zanthrel::classifyMimeType(offered[*mime])) std::abort();

    checkBest<std::string_view>(offered, zanthrel::bestX11Target(offered), zanthrel::classifyX11Target);
    checkBest<zanthrel::WindowsClipboardFormat>(
        windows, zanthrel::bestWindowsFormat(windows), [](const zanthrel::WindowsClipboardFormat& format) {
            return zanthrel::classifyWindowsFormat(format.id, format.registeredName);
        });

    for (const std::string_view name : offered) {
        const PictureFormat* asMime = zanthrel::classifyMimeType(name);
        if (zanthrel::classifyMimeType(upper(name)) != asMime) std::abort();
        if (!asMime) continue;
        // A MIME type is the same picture as an X11 target and as a registered Windows name.
        if (zanthrel::classifyX11Target(name) != asMime) std::abort();
        if (zanthrel::classifyWindowsFormat(zanthrel::windows_format::kFirstRegistered, name) != asMime) std::abort();
        const std::string withParameter = std::string(name.substr(0, name.find(';'))) + ";q=1";
        if (withParameter.size() <= zanthrel::kLongestFormatName && zanthrel::classifyMimeType(withParameter) != asMime)
            std::abort();
    }
    return 0;
}
