#pragma once

#include <memory>

#include "platform/x11/x11_selection.h"

namespace zanthrel::qt {

// The CLIPBOARD selection on the X connection Qt's own windows use; null when the application does
// not run on X11 (Qt's offscreen platform, say).
std::unique_ptr<x11::X11ClipboardSelection> applicationClipboardSelection();

}  // namespace zanthrel::qt
