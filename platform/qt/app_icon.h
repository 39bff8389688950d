#pragma once

#include <QIcon>

namespace zanthrel::qt {

// The application icon: a small white window drawn in perspective, with a cyan top edge and a grey
// shadow, at 32 × 32 and 16 × 16.
QIcon applicationIcon();

}  // namespace zanthrel::qt
