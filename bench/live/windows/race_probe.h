#pragma once

// Other programs racing zanthrel.exe's blocking under Wine, for scripts/bench --live --windows.

#include <chrono>

namespace zanthrel::live {

// A spy that reads the clipboard's text the instant it hears of a change, for `duration`: as a format
// listener (WM_CLIPBOARDUPDATE) or as a clipboard viewer (WM_DRAWCLIPBOARD, passed on down the chain).
// Prints `ready` once it listens, then `got <text> <ns>` for each text beginning with "secret" it read,
// with the wall-clock time (as Linux reads it) after it read it.
int spy(bool viewer, std::chrono::seconds duration);

// Copies "secret1" to "secretCOUNT", `spacing` apart, and prints how long each stayed on the clipboard,
// and when it was copied (wall clock, just before the clipboard was closed): `exposed <ms> <ns>`, or
// `kept` when nobody emptied it within a second.
int copySecrets(int count, std::chrono::milliseconds spacing);

// Takes the clipboard back the instant it finds it emptied, for `duration`; prints how often it copied
// and how long its copies stayed.
int fight(std::chrono::seconds duration);

}  // namespace zanthrel::live
