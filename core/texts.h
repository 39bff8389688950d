#pragma once

#include <string_view>

namespace zanthrel::texts {

// Every text the main window's logic writes, exactly as the user sees it. Some end in a space.

inline constexpr std::string_view kStartCaptionAtLaunch = "Enable Clipboard Protection From Spyware ";
inline constexpr std::string_view kStartCaption = "Enable Clipboard Protection From Spyware";
inline constexpr std::string_view kStopCaption = "Stop the Protection";
inline constexpr std::string_view kBlockCaption = "Completely Block the Access to The Clipboard";
inline constexpr std::string_view kUnblockCaption = "Unblock the Access to The Clipboard";

inline constexpr std::string_view kNotProtected =
    "Clipboard Not Protected. Please click the first button to enable the protection.";
inline constexpr std::string_view kProtectionStarted = "Protection Started on ";
inline constexpr std::string_view kProtectionStopped = "Protection Stopped on ";
inline constexpr std::string_view kMonitoringStopped = "Monitoring Stopped on ";
inline constexpr std::string_view kClipboardBlocked = "Clipboard Blocked - Action Started on ";
inline constexpr std::string_view kClipboardUnblocked = "Clipboard Unblocked - Started on ";
inline constexpr std::string_view kCaptureDetected = "New Screen Capture Detected on ";
inline constexpr std::string_view kAlarmRaised =
    "Too Many Screen Captures Detected in a Short Period of Time. Alarm Raised on ";
inline constexpr std::string_view kEllipsis = "...";
// What the guard could not do because another program did not answer.
inline constexpr std::string_view kOwnerSilent =
    "Clipboard Owner Did Not Deliver Its Picture in Time - Not Checked on ";
inline constexpr std::string_view kNotEmptied = "Clipboard Could Not Be Emptied in Time on ";
inline constexpr std::string_view kContested =
    "Clipboard Taken Back Again and Again by Another Program - Emptied Every 5 Milliseconds From ";
// Lines that name the programs behind the line above them begin with this.
inline constexpr std::string_view kDetailIndent = "    ";
// What the guard cannot do at all on the desktop it runs on.
inline constexpr std::string_view kCannotWatch = "Clipboard Cannot Be Watched on This Desktop - ";

inline constexpr std::string_view kInfoText = "Please enable the usage of clipboard protection first.";
inline constexpr std::string_view kInfoTitle = "Info";
inline constexpr std::string_view kWarningText =
    "Warning! The clipboard seems to be used to record your activity. The access to the clipboard has been "
    "blocked to fully protect you.";
inline constexpr std::string_view kWarningTitle = "Warning";

}  // namespace zanthrel::texts
