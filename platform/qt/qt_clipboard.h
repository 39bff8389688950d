#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QClipboard>
#include <QObject>

#include "platform/qt/x11_selection.h"
#include "platform/services.h"

namespace zanthrel::qt {

// The system clipboard (the X11 CLIPBOARD selection) as the main window's logic sees it.
//
// Reading asks the owner for its data, which on X11 means a conversation with another program, so the
// result is kept until Qt reports that the clipboard changed: the sampling tick, which runs every
// millisecond, then costs no round trip while nothing happens.
class QtClipboard final : public QObject, public Clipboard {
public:
    explicit QtClipboard(QClipboard& clipboard);

    PictureRef readPicture() override;
    void clear() override;

    // How many times the clipboard's data were really fetched (not answered from the kept result).
    std::uint64_t fetchCount() const noexcept { return fetches_; }

private:
    void onChanged(QClipboard::Mode mode);
    PictureRef fetchPicture();

    QClipboard& clipboard_;
    std::unique_ptr<X11ClipboardSelection> selection_;
    // False on an X server without XFIXES: then every read fetches and every tick empties.
    bool changesReported_;
    // Engaged while it is known what the clipboard holds: the picture, or null for none.
    std::optional<PictureRef> current_;
    // The owner sent no picture we could decode; kept until the clipboard changes, so that an owner that
    // never answers stalls one tick, not every tick.
    bool fetchFailed_ = false;
    // Some program may own the selection: set on every change, cleared once emptying found it unowned.
    bool mayBeOwned_ = true;
    std::uint64_t fetches_ = 0;
};

}  // namespace zanthrel::qt
