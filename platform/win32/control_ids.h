#pragma once

// Names and numbers by which the program's windows and controls can be found from outside, shared by
// the program and its end-to-end test driver. Plain constants only, so the driver needs nothing else.

namespace zanthrel::win32 {

inline constexpr wchar_t kMainWindowClass[] = L"ZanthrelMainWindow";
inline constexpr wchar_t kInformationDialogClass[] = L"ZanthrelInformationDialog";
inline constexpr wchar_t kPanelClass[] = L"ZanthrelPanel";

// A control's ID is its window's base plus the control's index in that window's layout table.
inline constexpr int kMainControlIdBase = 1000;
inline constexpr int kDialogControlIdBase = 2000;

// The message that brings the guard's ticks to the main window (WM_APP + 0x100). The tick thread sends it
// with wParam 0 and keeps the due ticks itself; a driver that must prove a number of ticks sends it with
// the ticks to run in wParam, one bit per GuardTimer (1 << timer), and when SendMessage returns the
// program has run them (the guard ignores those of a clock that is off).
inline constexpr unsigned kTickMessage = 0x8000 + 0x100;
inline constexpr unsigned kTickMessageTimers = 0b111;

// The status indicator publishes its fill colour (0x00BBGGRR) as this window property, so that the
// colour can be read without reading pixels off the screen.
inline constexpr wchar_t kFillColourProperty[] = L"Zanthrel.FillColour";

// Resource IDs.
inline constexpr int kIconGroupId = 1;

}  // namespace zanthrel::win32
