#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zanthrel::wayland {

// The place of a MIME type among the picture types asked for, most wanted first: PNG, then BMP, JPEG
// and the other types the X11 reader asks for, in its order; then any other "image/" type. Case does
// not matter. Nothing (kNotAPicture) for the rest, and for names no offer would honestly send.
inline constexpr int kNotAPicture = -1;
int pictureTypeRank(std::string_view mimeType) noexcept;

// The best picture type of one clipboard offer, chosen as its types arrive one by one. Only the best
// so far is kept: an offer may name any number of types, and the reader's memory must not follow it.
class PictureTypeChoice {
public:
    // Longer names are not MIME types any program offers for a picture; they are passed over.
    static constexpr std::size_t kLongestType = 255;

    void consider(std::string_view mimeType);
    bool found() const noexcept { return rank_ != kNotAPicture; }
    // The type to ask for; empty when none was a picture.
    const std::string& chosen() const noexcept { return chosen_; }

private:
    int rank_ = kNotAPicture;
    std::string chosen_;
};

}  // namespace zanthrel::wayland
