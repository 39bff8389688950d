#include "platform/shell/command_line.h"

#ifndef ZANTHREL_VERSION
#error "the build defines ZANTHREL_VERSION from the project's version"
#endif

namespace zanthrel {
namespace {

constexpr std::string_view kUsage =
    "Usage: zanthrel [--monitor | --block] [--minimized] [--system-log] [--echo-log] [--clipboard=wayland|x11]\n"
    "Guards the clipboard against programs that record what you do through it.\n"
    "\n"
    "  --monitor     start monitoring at once, as a click on the first button does\n"
    "  --block       block the clipboard at once, as a click on the second button does\n"
    "  --minimized   start in the notification area (minimized where there is none)\n"
    "  --system-log  also write each line of the activity log to the system log\n"
    "  --echo-log    also write each line of the activity log to standard output as it is added\n"
    "  --clipboard=wayland|x11\n"
    "                watch this clipboard service (Linux); by default the Wayland one where the\n"
    "                compositor offers it, else X11\n"
    "  --help        print this help and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "One guard runs per user and desktop: a second start hands its options to the running one.\n"
    "Zanthrel reads and writes no files and keeps no settings.\n";

constexpr std::string_view kClipboardOption = "--clipboard=";

// Keeps an argument that is echoed back printable and short, whatever bytes it came with.
std::string quoted(std::string_view argument) {
    constexpr std::size_t kLongest = 64;
    std::string out = "'";
    for (std::size_t i = 0; i < argument.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(argument[i]);
        out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    }
    if (argument.size() > kLongest) out += "...";
    return out + "'";
}

CommandLine refuse(std::string_view why, std::string_view argument) {
    CommandLine line;
    line.action = CommandLine::Action::Refuse;
    line.text = "zanthrel: " + std::string(why) + " " + quoted(argument) + " (try --help)\n";
    return line;
}

}  // namespace

std::string versionLine() {
    return std::string("zanthrel ") + ZANTHREL_VERSION;
}

CommandLine parseCommandLine(const std::vector<std::string_view>& arguments) {
    CommandLine line;
    for (const std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "-?" || argument == "/?") {
            line.action = CommandLine::Action::ShowHelp;
            line.text = std::string(kUsage);
            return line;
        }
        if (argument == "--version") {
            line.action = CommandLine::Action::ShowVersion;
            line.text = versionLine() + "\n";
            return line;
        }
        if (argument == "--echo-log") {
            line.echoLog = true;
        } else if (argument.starts_with(kClipboardOption)) {
            const std::string_view value = argument.substr(kClipboardOption.size());
            if (value == "wayland") {
                line.clipboard = ClipboardChoice::Wayland;
            } else if (value == "x11") {
                line.clipboard = ClipboardChoice::X11;
            } else {
                return refuse("unknown clipboard service", argument);
            }
        } else if (argument == "--monitor") {
            line.monitor = true;
        } else if (argument == "--block") {
            line.block = true;
        } else if (argument == "--minimized") {
            line.minimized = true;
        } else if (argument == "--system-log") {
            line.systemLog = true;
        } else if (argument.starts_with('-')) {
            return refuse("unknown option", argument);
        } else {
            return refuse("unexpected argument", argument);
        }
    }
    // Monitoring is refused while the clipboard is blocked, so the pair could only ever mean one of them.
    if (line.monitor && line.block) {
        CommandLine refused;
        refused.action = CommandLine::Action::Refuse;
        refused.text = "zanthrel: --monitor and --block exclude each other: monitoring is refused while blocked\n";
        return refused;
    }
    return line;
}

}  // namespace zanthrel
