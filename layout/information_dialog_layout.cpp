#include "layout/information_dialog_layout.h"

#include <array>

namespace zanthrel {
namespace {

constexpr FontStyle kWindowFont{"MS Sans Serif", 8.25, 400};
constexpr FontStyle kText{"MS Sans Serif", 9.75, 400};
constexpr FontStyle kTextBold{"MS Sans Serif", 9.75, 700};
using K = ControlKind;
using I = ControlId;

constexpr ControlLayout label(ControlId id, std::string_view name, int left, int top, int width, int height, int tab,
                              std::string_view text, FontStyle font = kText) {
    return ControlLayout{id, name,  K::Label, ControlId::InformationFrame, left, top, width, height, text, font, {},
                         {}, false, tab};
}

// One control a line, so the table reads as a table.
// clang-format off
// In reading order, top to bottom.
constexpr std::array kControls{
    ControlLayout{I::InformationFrame, "Frame1", K::Frame, {}, 405, 180, 10590, 6315, "Information   ", kTextBold, {}, {}, false, 0},
    label(I::AlertExplanation, "Label1", 675, 495, 9285, 870, 2,
          "If the software raises an alert, then someone (or a trojan/spyware), may be trying to use your clipboard "
          "to log your activities. If this happens, then your Antivirus / Anti Spyware software may be not working "
          "so well and we recommend you to:"),
    label(I::AdviceUpdate, "Label4", 990, 1350, 9285, 465, 3, "- Check if your Antivirus / Anti Spyware Software is up to date."),
    label(I::AdviceSecondScanner, "Label5", 990, 1800, 9285, 465, 4,
          "- Try to Install Another Antivirus / Anti Spyware to see if it detects the threat."),
    label(I::AdviceBlock, "Label6", 945, 2250, 9285, 465, 5,
          "- Use our software to block the access to the clipboard, until the problem gets solved."),
    label(I::ImportantHeading, "Label11", 585, 2790, 9015, 510, 11, "Important:", kTextBold),
    label(I::Disclaimer, "Label3", 540, 3285, 9285, 870, 1,
          " This software doesn't pretend to replace the usage of a spyware and doesn't protect you against "
          "keyloggers etc and its main function is to protects you against trojans or spyware app that may use your "
          "clipboard to record your activities."),
    label(I::NoCollection, "Label8", 675, 4185, 7260, 285, 10, "- Our app doesn't collect information from you or your computer."),
    label(I::NoWebsites, "Label2", 675, 4590, 6900, 285, 8, "- Our app doesn't communicate with other websites."),
    label(I::NoInternet, "Label7", 675, 4995, 4605, 465, 9, "- Our app doesn't require internet to work."),
    label(I::NoLiability, "Label10", 675, 5445, 8655, 375, 12,
          "- We re not responsible for any loss or damage that may come from your use of this software."),
    ControlLayout{I::CloseButton, "Command1", K::CommandButton, {}, 4500, 6705, 2310, 600, "Close", {}, {}, {}, false, 6},
};

// clang-format on

constexpr FormLayout kInformationDialog{"Form2", "Please Read", 11460, 7785, kWindowFont, kControls};

}  // namespace

const FormLayout& informationDialogLayout() {
    return kInformationDialog;
}

}  // namespace zanthrel
