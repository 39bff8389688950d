#pragma once

#include <cstdint>

#include "core/picture.h"

namespace zanthrel {

// A picture known only by the digest of the bytes delivered for it: one beyond the memory bound, or one
// that cannot be decoded. It writes no pixels; width and height are what its data declared, if anything.
PictureRef digestOnlyPicture(PictureDigest digest, std::int32_t width = 0, std::int32_t height = 0);

}  // namespace zanthrel
