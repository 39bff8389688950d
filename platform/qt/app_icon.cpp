#include "platform/qt/app_icon.h"

namespace zanthrel::qt {

QIcon applicationIcon() {
    // The very icon file the Windows program carries (32 × 32 in 2 and 16 colours, 16 × 16 in 16 colours),
    // compiled in as a Qt resource and read by Qt's own ICO reader.
    return QIcon(QStringLiteral(":/zanthrel/zanthrel.ico"));
}

}  // namespace zanthrel::qt
