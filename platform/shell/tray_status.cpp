#include "platform/shell/tray_status.h"

#include "core/texts.h"
#include "layout/main_window_layout.h"

namespace zanthrel {
namespace {

CommandState forMenu(CommandState button) {
    const auto end = button.caption.find_last_not_of(' ');
    button.caption.erase(end == std::string::npos ? 0 : end + 1);
    return button;
}

}  // namespace

TrayStatus trayStatus(const GuardState& state) {
    TrayStatus status;
    const bool blocking = state.blocking.on;
    const bool monitoring = state.monitoring.on;
    // The indicator's colour first: it is what the window shows, whichever flag got there before it.
    status.look = state.indicator.colour == kIndicatorRed     ? TrayLook::Blocked
                  : state.timer(GuardTimer::Sampling).enabled ? TrayLook::Watching
                                                              : TrayLook::Usable;
    status.tooltip = blocking     ? "Zanthrel: clipboard blocked"
                     : monitoring ? "Zanthrel: watching the clipboard for screen captures"
                                  : "Zanthrel: clipboard not protected";
    // Blocked or watched in name only: the tooltip must not claim what cannot reach the clipboard.
    if (state.cannotWatchClipboard)
        status.tooltip += " - but this desktop lets it neither watch nor empty the clipboard";
    status.monitoringCommand = forMenu(state.monitoring);
    status.blockingCommand = forMenu(state.blocking);
    return status;
}

TrayIconDrawing trayIconDrawing(TrayLook look, int size) noexcept {
    const int margin = size / 8;
    TrayIconDrawing drawing{{margin, margin, size - margin, size - margin},
                            look == TrayLook::Blocked ? kIndicatorRed : kIndicatorGreen,
                            std::nullopt};
    if (look == TrayLook::Watching) {
        const int eye = size / 4;
        const int from = size / 2 - eye / 2;
        drawing.eye = IconBox{from, from, from + eye, from + eye};
    }
    return drawing;
}

bool isAlarmEntry(std::string_view entry) noexcept {
    return entry.starts_with(texts::kAlarmRaised);
}

}  // namespace zanthrel
