#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zanthrel {

// Which clipboard service the Linux program watches: by default the one the session offers.
enum class ClipboardChoice { Automatic, Wayland, X11 };

// What the program was asked to do on its command line. Both front ends parse it here, before they
// touch a display, so that --help and --version work without one.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };

    Action action = Action::Run;
    bool echoLog = false;  // also write each log line to standard output as it is added
    ClipboardChoice clipboard = ClipboardChoice::Automatic;
    // What the user would do once the window is there: a click on the first or the second button.
    bool monitor = false;
    bool block = false;
    bool minimized = false;  // start in the notification area, or minimized where there is none
    bool systemLog = false;  // also write each log line to the operating system's log
    std::string text;        // what to print for ShowHelp, ShowVersion and Refuse (one line), newline-terminated

    // Exit status for the actions that end the program at once: 0, or 2 for a command line refused.
    int exitCode() const noexcept { return action == Action::Refuse ? 2 : 0; }
};

// `arguments` excludes the program's own name. The first --help or --version wins over what follows;
// anything not understood refuses the whole line, since a guard started with options it ignored
// would guard differently from what the user asked.
CommandLine parseCommandLine(const std::vector<std::string_view>& arguments);

// "zanthrel 1.0.0": the one version number the build defines.
std::string versionLine();

}  // namespace zanthrel
