#include "layout/main_window_layout.h"

#include <array>

#include "core/texts.h"

namespace zanthrel {
namespace {

constexpr FontSpec kWindowFont{"MS Sans Serif", 8.25, 400};
constexpr FontSpec kBodyFont{"MS Sans Serif", 9.75, 400};
constexpr FontSpec kBodyBold{"MS Sans Serif", 9.75, 700};
constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kDarkGreen = 0x004000;

using K = ControlKind;

constexpr std::string_view kLabel3 =
    "If you want to normally use your clipboard but protect from unusual activities (spyware that may use your "
    "clipboard to record your activities), we recommend you to use this option.";
constexpr std::string_view kLabel4 =
    "If the software finds a suspicious activity in your clipboard, it will block the access to it (you can later "
    "unblock it of course).";
constexpr std::string_view kLabel5 =
    "This option completely blocks the access to the clipboard (whatever is copied to the clipboard is instantly "
    "deleted). We recommend you to use this option only if the previous option detected an unusual activity and/or "
    "when you want to login to different websites (or open files with valuable info). ";
constexpr std::string_view kLabel7 =
    "Important: Any of these options will stop working if you close the app (we recommend you to minimize the "
    "software).";
constexpr std::string_view kLabel2 =
    "To test the protection, move your mouse and press the \"Print Screen\" multiple times (the protection must be "
    "enabled).";

// One control a line, so the table reads as a table.
// clang-format off
// Top to bottom as the user sees them, then the working controls out of sight.
constexpr std::array kControls{
    ControlLayout{"Picture2", K::PictureBox, "", 0, 0, 11595, 915, "", {}, {}, 0x404040, false, 0},
    ControlLayout{"lblAppName", K::Label, "Picture2", 540, 270, 4200, 555, "Zanthrel",
                  FontSpec{"Trebuchet MS", 15.75, 700}, kWhite, {}, true, 2},
    ControlLayout{"lblBy", K::Label, "Picture2", 5085, 405, 2175, 240, kByLine, {}, kWhite, {}, true, 1},
    ControlLayout{"lblPleaseRead", K::Label, "Picture2", 9000, 315, 1365, 240, "Please Read",
                  FontSpec{"MS Sans Serif", 8.25, 700, true}, kWhite, {}, true, 11},
    ControlLayout{"Shape1", K::Shape, "Picture2", 10665, 225, 465, 375, "", {}, {}, kIndicatorGreen, false, -1},
    ControlLayout{"cmdStartPause", K::CommandButton, "", 450, 1035, 10590, 600, texts::kStartCaptionAtLaunch,
                  kBodyBold, {}, {}, false, 12},
    ControlLayout{"Label3", K::Label, "", 450, 1710, 10635, 690, kLabel3, kBodyFont, {}, {}, false, 13},
    ControlLayout{"Label4", K::Label, "", 450, 2295, 10545, 375, kLabel4, kBodyFont, kDarkGreen, {}, false, 9},
    ControlLayout{"cmdEnableDisable", K::CommandButton, "", 450, 2790, 10635, 645, texts::kBlockCaption, kBodyBold,
                  {}, {}, false, 8},
    ControlLayout{"Label5", K::Label, "", 450, 3465, 10635, 870, kLabel5, kBodyFont, 0x000000, {}, false, 10},
    ControlLayout{"Label7", K::Label, "", 450, 4320, 10635, 510, kLabel7, kBodyFont, kDarkGreen, {}, false, 14},
    ControlLayout{"Label1", K::Label, "", 495, 4860, 2220, 240, "Log", kBodyBold, {}, {}, false, 7},
    ControlLayout{"List1", K::ListBox, "", 450, 5265, 10680, 2400, "", FontSpec{"MS Sans Serif", 8.25, 700}, {},
                  0xE0E0E0, false, 6},
    ControlLayout{"Label2", K::Label, "", 450, 7875, 10680, 285, kLabel2, {}, {}, {}, false, 15},
    ControlLayout{"txtCounts", K::TextBox, "", 12825, 8730, 1095, 330, "0", {}, {}, {}, false, 5, false},
    ControlLayout{"Picture1", K::PictureBox, "", 13320, 8100, 4740, 2895, "", {}, {}, {}, false, 3, false},
    ControlLayout{"Picture3", K::PictureBox, "", 13545, 8190, 4740, 2895, "", {}, {}, {}, false, 4, false},
};

// clang-format on

constexpr std::array kTimers{
    TimerLayout{"Timer1", kTimer1IntervalMs, false},
    TimerLayout{"Timer2", kTimer2IntervalMs, false},
    TimerLayout{"Timer3", kTimer3IntervalMs, false},
};

constexpr FormLayout kForm1{"Form1",
                            "Zanthrel",
                            kMainClientWidthTwips,
                            kMainClientHeightTwips,
                            BorderStyle::Sizable,
                            false,
                            true,
                            kWindowFont,
                            kControls,
                            kTimers};

}  // namespace

const FormLayout& mainWindowLayout() {
    return kForm1;
}

const ControlLayout* findControl(const FormLayout& form, std::string_view name) {
    for (const ControlLayout& control : form.controls)
        if (control.name == name) return &control;
    return nullptr;
}

}  // namespace zanthrel
