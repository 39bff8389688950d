#include "platform/tray_status.h"

#include "app/main_window_layout.h"
#include "app/texts.h"

namespace zanthrel {
namespace {

constexpr std::string_view kOn = "1";

CommandButtonState forMenu(CommandButtonState button) {
    const auto end = button.caption.find_last_not_of(' ');
    button.caption.erase(end == std::string::npos ? 0 : end + 1);
    return button;
}

}  // namespace

TrayStatus trayStatus(const MainFormState& state) {
    TrayStatus status;
    const bool blocking = state.cmdEnableDisable.tag == kOn;
    const bool monitoring = state.cmdStartPause.tag == kOn;
    status.look = state.shape1FillColour == kIndicatorRed ? TrayLook::Blocked : TrayLook::Usable;
    status.blinking = state.timer(TimerId::Timer1).enabled;
    status.tooltip = blocking     ? "Zanthrel: clipboard blocked"
                     : monitoring ? "Zanthrel: watching the clipboard for screen captures"
                                  : "Zanthrel: clipboard not protected";
    // Blocked or watched in name only: the tooltip must not claim what cannot reach the clipboard.
    if (state.clipboardUnreachable)
        status.tooltip += " - but this desktop lets it neither watch nor empty the clipboard";
    status.startPause = forMenu(state.cmdStartPause);
    status.enableDisable = forMenu(state.cmdEnableDisable);
    return status;
}

bool isAlarmEntry(std::string_view entry) noexcept {
    return entry.starts_with(texts::kAlarmRaised);
}

}  // namespace zanthrel
