// The command line both programs share, and what the tray icon makes of the form's state.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/texts.h"
#include "layout/main_window_layout.h"
#include "platform/shell/command_line.h"
#include "platform/shell/tray_status.h"

namespace zanthrel {
namespace {

CommandLine parse(std::vector<std::string_view> arguments) {
    return parseCommandLine(arguments);
}

TEST(CommandLine, HelpAndVersionEndAtOnceWithSuccess) {
    for (const std::string_view help : {"--help", "-h"}) {
        const CommandLine line = parse({help});
        EXPECT_EQ(line.action, CommandLine::Action::ShowHelp) << help;
        EXPECT_EQ(line.exitCode(), 0);
        EXPECT_NE(line.text.find("--echo-log"), std::string::npos) << "the help must list every option";
    }
    const CommandLine version = parse({"--version"});
    EXPECT_EQ(version.action, CommandLine::Action::ShowVersion);
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.text, "zanthrel " ZANTHREL_EXPECTED_VERSION "\n") << "the one version the build defines";
    // The first of them decides, whatever follows.
    EXPECT_EQ(parse({"--echo-log", "--version", "--bogus"}).action, CommandLine::Action::ShowVersion);
}

TEST(CommandLine, RunsWithOrWithoutTheLogEcho) {
    EXPECT_EQ(parse({}).action, CommandLine::Action::Run);
    EXPECT_FALSE(parse({}).echoLog);
    const CommandLine echo = parse({"--echo-log"});
    EXPECT_EQ(echo.action, CommandLine::Action::Run);
    EXPECT_TRUE(echo.echoLog);
    EXPECT_TRUE(parse({"--echo-log", "--echo-log"}).echoLog);
}

TEST(CommandLine, TheClipboardServiceCanBeForcedByNameOnly) {
    EXPECT_EQ(parse({}).clipboard, ClipboardChoice::Automatic);
    EXPECT_EQ(parse({"--clipboard=wayland"}).clipboard, ClipboardChoice::Wayland);
    const CommandLine x11 = parse({"--clipboard=wayland", "--echo-log", "--clipboard=x11"});
    EXPECT_EQ(x11.action, CommandLine::Action::Run);
    EXPECT_EQ(x11.clipboard, ClipboardChoice::X11) << "the last choice wins";
    EXPECT_TRUE(x11.echoLog);
    EXPECT_NE(parse({"--help"}).text.find("--clipboard=wayland|x11"), std::string::npos);
    for (const std::string_view wrong : {"--clipboard=", "--clipboard=X11", "--clipboard=gnome", "--clipboard"}) {
        const CommandLine line = parse({wrong});
        EXPECT_EQ(line.action, CommandLine::Action::Refuse) << wrong;
        EXPECT_EQ(line.exitCode(), 2);
        EXPECT_EQ(line.text.find('\n'), line.text.size() - 1) << "one line: " << line.text;
    }
}

TEST(CommandLine, AnythingElseIsRefusedInOneLineWithStatusTwo) {
    for (const std::string_view wrong : {"--bogus", "-x", "--echo-log=yes", "--Help", "file.txt", "-", ""}) {
        const CommandLine line = parse({"--echo-log", wrong, "--help"});
        EXPECT_EQ(line.action, CommandLine::Action::Refuse) << wrong;
        EXPECT_EQ(line.exitCode(), 2) << wrong;
        ASSERT_FALSE(line.text.empty());
        EXPECT_EQ(line.text.find('\n'), line.text.size() - 1) << "one line: " << line.text;
        EXPECT_NE(line.text.find("'" + std::string(wrong) + "'"), std::string::npos) << line.text;
    }
}

// An argument comes from whoever started the program: echoing it back must not let it write escape
// sequences to the terminal, nor flood it.
TEST(CommandLine, ARefusedArgumentIsEchoedPrintableAndShort) {
    const CommandLine escape = parse({"--\x1b]0;owned\x07\n\r"});
    EXPECT_EQ(escape.text.find_first_of("\x1b\x07\r"), std::string::npos);
    EXPECT_EQ(escape.text.find('\n'), escape.text.size() - 1);

    const std::string huge(100000, 'a');
    EXPECT_LT(parse({"-" + huge}).text.size(), 200u);

    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string argument(random() % 40, '\0');
        for (char& c : argument) c = static_cast<char>(random() % 256);
        const CommandLine line = parse({argument});
        if (line.action != CommandLine::Action::Refuse) continue;
        EXPECT_EQ(line.text.find('\n'), line.text.size() - 1);
        for (const char c : line.text.substr(0, line.text.size() - 1))
            ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << "control character in the echo";
    }
}

GuardState launchState() {
    GuardState state;
    state.monitoring = {std::string(texts::kStartCaptionAtLaunch), false, true};
    state.blocking = {std::string(texts::kBlockCaption), false, true};
    state.indicator.colour = kIndicatorGreen;
    return state;
}

TEST(TrayStatus, FollowsTheIndicatorAndTheButtons) {
    GuardState state = launchState();
    TrayStatus status = trayStatus(state);
    EXPECT_EQ(status.look, TrayLook::Usable);
    EXPECT_EQ(status.tooltip, "Zanthrel: clipboard not protected");
    EXPECT_EQ(status.monitoringCommand.caption, texts::kStartCaption)
        << "the launch caption's trailing blank is dropped";

    // Monitoring: the icon watches, steadily, whichever half of a blink the logic left the indicator in.
    state.monitoring = {std::string(texts::kStopCaption), true, true};
    state.timers[static_cast<std::size_t>(GuardTimer::Sampling)].enabled = true;
    state.indicator.lit = false;
    status = trayStatus(state);
    EXPECT_EQ(status.look, TrayLook::Watching);
    EXPECT_EQ(status.tooltip, "Zanthrel: watching the clipboard for screen captures");

    // After an alarm: monitoring off and its button disabled, the clipboard blocked.
    state.monitoring = {std::string(texts::kStartCaptionAtLaunch), false, false};
    state.blocking = {std::string(texts::kUnblockCaption), true, true};
    state.timers[static_cast<std::size_t>(GuardTimer::Sampling)].enabled = false;
    state.indicator.lit = true;
    state.indicator.colour = kIndicatorRed;
    status = trayStatus(state);
    EXPECT_EQ(status.look, TrayLook::Blocked);
    EXPECT_EQ(status.tooltip, "Zanthrel: clipboard blocked");
    EXPECT_FALSE(status.monitoringCommand.enabled);
    EXPECT_EQ(status.blockingCommand.caption, texts::kUnblockCaption);

    // Where the desktop keeps the clipboard out of reach, "blocked" is never said alone.
    state.cannotWatchClipboard = true;
    status = trayStatus(state);
    EXPECT_TRUE(status.tooltip.starts_with("Zanthrel: clipboard blocked - but "));
    EXPECT_NE(status.tooltip.find("neither watch nor empty"), std::string::npos) << status.tooltip;
}

TEST(TrayStatus, KnowsTheAlarmsLogEntryAndNoOther) {
    EXPECT_TRUE(isAlarmEntry(std::string(texts::kAlarmRaised) + "07/12/2026 16:30:00"));
    EXPECT_FALSE(isAlarmEntry(std::string(texts::kCaptureDetected) + "07/12/2026 16:30:00"));
    EXPECT_FALSE(isAlarmEntry(""));
}

}  // namespace
}  // namespace zanthrel
