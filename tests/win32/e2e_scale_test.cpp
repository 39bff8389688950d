// The real zanthrel.exe started at the densities of scaled displays: the main window and the dialog laid
// out as at 96 dpi, scaled.

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/control_ids.h"
#include "tests/win32/check.h"
#include "tests/win32/program_driver.h"
#include "tests/win32/scaled_layout.h"

using namespace zanthrel;
using namespace zanthrel::e2e;

namespace {

// However large the window, its title bar is within the work area's reach.
void checkTitleBarReachable(HWND main) {
    RECT outer{};
    GetWindowRect(main, &outer);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    CHECK_MSG(outer.top >= work.top && outer.left >= work.left, "the main window's title bar is off the screen");
}

// Opens "Please Read" as a click on its label does, without the mouse: at 200 % the label may lie beyond
// the edge of the test's small screen.
HWND openPleaseRead(const Zanthrel& program) {
    const HWND label = program.control("lblPleaseRead");
    PostMessageW(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_CLICKED),
                 reinterpret_cast<LPARAM>(label));
    HWND dialog = nullptr;
    CHECK_MSG(waitUntil([&] { return (dialog = program.findWindow(win32::kInformationDialogClass, L"Please Read")); }),
              "Please Read opened no dialog");
    return dialog;
}

}  // namespace

TEST_CASE("scaled-layout") {
    if (!inLargeDesktop("scaled-layout")) {
        // Here, in the usual small desktop, the window at 200 % is larger than the screen.
        LogPixelsScope density(192);
        Zanthrel program;
        density.restore();
        checkTitleBarReachable(program.mainWindow());
        return;
    }
    for (const int dpi : kDensities) {
        std::printf("zanthrel.exe started at %d dpi\n", dpi);
        std::fflush(stdout);
        LogPixelsScope density(dpi);
        Zanthrel program;
        // It has read the density by the time its window shows; whatever starts next starts as usual.
        density.restore();
        checkMainWindowAt(program.mainWindow(), dpi, LabelTexts::Unmeasured);
        const HWND dialog = openPleaseRead(program);
        checkDialogAt(dialog, dpi, LabelTexts::Unmeasured);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        CHECK(waitUntil([&] { return !IsWindow(dialog); }));
    }
}
