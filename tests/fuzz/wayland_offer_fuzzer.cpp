// Any bytes as the types a Wayland clipboard offer names, one per line: the type chosen is one of them,
// is a picture type, and none of the others ranks before it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/wayland/picture_type_choice.h"

using zanthrel::wayland::kNotAPicture;
using zanthrel::wayland::pictureTypeRank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> offered;
    for (std::size_t at = 0; at <= input.size();) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        offered.push_back(input.substr(at, end - at));
        at = end + 1;
    }
    zanthrel::wayland::PictureTypeChoice choice;
    int best = kNotAPicture;
    for (const std::string_view type : offered) {
        choice.consider(type);
        const int rank = pictureTypeRank(type);
        if (rank != kNotAPicture && (best == kNotAPicture || rank < best)) best = rank;
    }
    if (choice.found() != (best != kNotAPicture)) std::abort();
    if (!choice.found()) {
        if (!choice.chosen().empty()) std::abort();
        return 0;
    }
    if (pictureTypeRank(choice.chosen()) != best) std::abort();
    bool named = false;
    for (const std::string_view type : offered) named = named || type == choice.chosen();
    if (!named) std::abort();
    return 0;
}
