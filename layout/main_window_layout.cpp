#include "layout/main_window_layout.h"

#include <array>
#include <cstdlib>

#include "core/texts.h"

namespace zanthrel {
namespace {

constexpr FontStyle kWindowFont{"MS Sans Serif", 8.25, 400};
constexpr FontStyle kBodyFont{"MS Sans Serif", 9.75, 400};
constexpr FontStyle kBodyBold{"MS Sans Serif", 9.75, 700};
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kDarkGreen = 0x004000;

using K = ControlKind;
using I = ControlId;

constexpr std::string_view kMonitoringExplanation =
    "If you want to normally use your clipboard but protect from unusual activities (spyware that may use your "
    "clipboard to record your activities), we recommend you to use this option.";
constexpr std::string_view kAlarmExplanation =
    "If the software finds a suspicious activity in your clipboard, it will block the access to it (you can later "
    "unblock it of course).";
constexpr std::string_view kBlockingExplanation =
    "This option completely blocks the access to the clipboard (whatever is copied to the clipboard is instantly "
    "deleted). We recommend you to use this option only if the previous option detected an unusual activity and/or "
    "when you want to login to different websites (or open files with valuable info). ";
constexpr std::string_view kKeepRunningNote =
    "Important: Any of these options will stop working if you close the app (we recommend you to minimize the "
    "software).";
constexpr std::string_view kTestHint =
    "To test the protection, move your mouse and press the \"Print Screen\" multiple times (the protection must be "
    "enabled).";

// One control a line, so the table reads as a table.
// clang-format off
// Top to bottom as the user sees them, then the working controls out of sight.
constexpr std::array kControls{
    ControlLayout{I::Banner, "Picture2", K::PictureBox, {}, 0, 0, 11595, 915, "", {}, {}, 0x404040, false, 0},
    ControlLayout{I::AppName, "lblAppName", K::Label, I::Banner, 540, 270, 4200, 555, "Zanthrel",
                  FontStyle{"Trebuchet MS", 15.75, 700}, kWhite, {}, true, 2},
    ControlLayout{I::ByLine, "lblBy", K::Label, I::Banner, 5085, 405, 2175, 240, kByLine, {}, kWhite, {}, true, 1},
    ControlLayout{I::PleaseRead, "lblPleaseRead", K::Label, I::Banner, 9000, 315, 1365, 240, "Please Read",
                  FontStyle{"MS Sans Serif", 8.25, 700, true}, kWhite, {}, true, 11},
    ControlLayout{I::StatusIndicator, "Shape1", K::Shape, I::Banner, 10665, 225, 465, 375, "", {}, {}, kIndicatorGreen, false, -1},
    ControlLayout{I::MonitoringButton, "cmdStartPause", K::CommandButton, {}, 450, 1035, 10590, 600, texts::kStartCaptionAtLaunch,
                  kBodyBold, {}, {}, false, 12},
    ControlLayout{I::MonitoringExplanation, "Label3", K::Label, {}, 450, 1710, 10635, 690, kMonitoringExplanation, kBodyFont, {}, {}, false, 13},
    ControlLayout{I::AlarmExplanation, "Label4", K::Label, {}, 450, 2295, 10545, 375, kAlarmExplanation, kBodyFont, kDarkGreen, {}, false, 9},
    ControlLayout{I::BlockingButton, "cmdEnableDisable", K::CommandButton, {}, 450, 2790, 10635, 645, texts::kBlockCaption, kBodyBold,
                  {}, {}, false, 8},
    ControlLayout{I::BlockingExplanation, "Label5", K::Label, {}, 450, 3465, 10635, 870, kBlockingExplanation, kBodyFont, 0x000000, {}, false, 10},
    ControlLayout{I::KeepRunningNote, "Label7", K::Label, {}, 450, 4320, 10635, 510, kKeepRunningNote, kBodyFont, kDarkGreen, {}, false, 14},
    ControlLayout{I::LogCaption, "Label1", K::Label, {}, 495, 4860, 2220, 240, "Log", kBodyBold, {}, {}, false, 7},
    ControlLayout{I::Log, "List1", K::ListBox, {}, 450, 5265, 10680, 2400, "", FontStyle{"MS Sans Serif", 8.25, 700}, {},
                  0xE0E0E0, false, 6},
    ControlLayout{I::TestHint, "Label2", K::Label, {}, 450, 7875, 10680, 285, kTestHint, {}, {}, {}, false, 15},
    ControlLayout{I::CaptureCount, "txtCounts", K::TextBox, {}, 12825, 8730, 1095, 330, "0", {}, {}, {}, false, 5, false},
    ControlLayout{I::FirstHolder, "Picture1", K::PictureBox, {}, 13320, 8100, 4740, 2895, "", {}, {}, {}, false, 3, false},
    ControlLayout{I::SecondHolder, "Picture3", K::PictureBox, {}, 13545, 8190, 4740, 2895, "", {}, {}, {}, false, 4, false},
};

// clang-format on

constexpr FormLayout kMainWindow{"Form1",     "Zanthrel", kMainClientWidthTwips, kMainClientHeightTwips,
                                 kWindowFont, kControls};

}  // namespace

const FormLayout& mainWindowLayout() {
    return kMainWindow;
}

const ControlLayout& FormLayout::control(ControlId id) const {
    for (const ControlLayout& row : controls)
        if (row.id == id) return row;
    // Every lookup names a control of its own window; anything else is a fault in the program itself.
    std::abort();
}

}  // namespace zanthrel
