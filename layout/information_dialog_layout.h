#pragma once

#include "layout/layout.h"

namespace zanthrel {

// The modal "Please Read" dialog: a frame of ten labels and a "Close" button. Label positions are
// relative to the frame's inner area.
const FormLayout& informationDialogLayout();

}  // namespace zanthrel
