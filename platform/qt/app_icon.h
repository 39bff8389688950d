#pragma once

#include <QIcon>

namespace zanthrel::qt {

// The application icon: a small white window drawn in perspective, with a cyan top edge and a grey
// shadow, painted at the sizes title bars and task bars ask for.
QIcon applicationIcon();

}  // namespace zanthrel::qt
