#pragma once

#include "core/picture.h"

namespace zanthrel {

// A picture box out of the user's sight that keeps one clipboard picture. Its inner size is in
// twips; assigning a picture changes neither the size nor the scale.
struct SnapshotHolder {
    float scaleWidth = 0;   // twips
    float scaleHeight = 0;  // twips
    PictureRef picture;     // null: the box holds no picture (handle 0)
};

}  // namespace zanthrel
