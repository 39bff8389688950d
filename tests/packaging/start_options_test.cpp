// The start options on the simulated desktop: each is the click it stands for, with the same log lines
// in the same order; a second start's options act on the running guard as its buttons would. And the
// sorting of log lines for the system log.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/texts.h"
#include "platform/shell/log_classification.h"
#include "testing/sim/sim_desktop.h"
#include "testing/sim/sim_picture.h"
#include "platform/shell/start_options.h"
#include "platform/shell/system_log_queue.h"

namespace zanthrel {
namespace {

CommandLine options(std::vector<std::string_view> arguments) {
    return parseCommandLine(arguments);
}

// Everything the window shows, for comparing two desktops.
void expectSameWindow(sim::SimDesktop& left, sim::SimDesktop& right) {
    EXPECT_EQ(left.log(), right.log());
    EXPECT_EQ(left.state().monitoring.caption, right.state().monitoring.caption);
    EXPECT_EQ(left.state().monitoring.enabled, right.state().monitoring.enabled);
    EXPECT_EQ(left.state().blocking.caption, right.state().blocking.caption);
    EXPECT_EQ(left.state().indicator.colour, right.state().indicator.colour);
    for (const GuardTimer id : {GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking})
        EXPECT_EQ(left.state().timer(id).enabled, right.state().timer(id).enabled);
    EXPECT_EQ(left.messageBoxes().size(), right.messageBoxes().size());
}

TEST(StartOptions, EachIsTheClickItStandsForAndGuardsAsTheClickDoes) {
    for (const bool monitor : {true, false}) {
        sim::SimDesktop started, clicked;
        started.start();
        EXPECT_TRUE(applyStartOptions(started.guard(), options({monitor ? "--monitor" : "--block", "--minimized"})));
        clicked.start();
        monitor ? clicked.clickStartPause() : clicked.clickEnableDisable();
        expectSameWindow(started, clicked);
        ASSERT_EQ(started.log().size(), 2u);
        EXPECT_TRUE(started.log()[1].starts_with(monitor ? texts::kProtectionStarted : texts::kClipboardBlocked));
        // And it goes on as the clicked one does: four captures raise the alarm; a copy is emptied.
        for (sim::SimDesktop* desk : {&started, &clicked}) {
            desk->tick(3);
            for (std::uint32_t i = 1; i <= 4; ++i) {
                desk->copyPicture(sim::SimPicture::solid(4, 4, 0x102030u + i));
                desk->tick(2);
            }
            desk->copyText("secret");
            desk->advance(300);
        }
        expectSameWindow(started, clicked);
        EXPECT_EQ(started.state().blocking.caption, texts::kUnblockCaption)
            << "alarm, or blocked from the start";
        EXPECT_TRUE(started.clipboard().empty()) << "the copy was emptied";
    }
    // Without either option nothing is clicked: the start stays as it always was.
    sim::SimDesktop plain;
    plain.start();
    EXPECT_FALSE(applyStartOptions(plain.guard(), options({"--minimized", "--system-log"})));
    EXPECT_EQ(plain.log().size(), 1u);
}

TEST(StartOptions, BothAtOnceAreRefusedAndTheOthersCombine) {
    const CommandLine both = options({"--monitor", "--minimized", "--block"});
    EXPECT_EQ(both.action, CommandLine::Action::Refuse);
    EXPECT_EQ(both.exitCode(), 2);
    EXPECT_EQ(both.text.find('\n'), both.text.size() - 1) << "one line";
    const CommandLine all = options({"--block", "--minimized", "--system-log", "--echo-log"});
    EXPECT_EQ(all.action, CommandLine::Action::Run);
    EXPECT_TRUE(all.block && all.minimized && all.systemLog && all.echoLog && !all.monitor);
    const std::string help = options({"--help"}).text;
    for (const char* option : {"--monitor", "--block", "--minimized", "--system-log"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

// What a second start asks of the running guard, in each state the guard may be in.
TEST(StartOptions, AHandOverActsAsTheButtonsWouldInTheGuardsState) {
    const CommandLine monitor = options({"--monitor"});
    const CommandLine block = options({"--block"});

    sim::SimDesktop desk;
    desk.start();
    applyStartOptions(desk.guard(), monitor);
    // Already monitoring: a second --monitor must not be the click that stops it.
    EXPECT_FALSE(applyStartOptions(desk.guard(), monitor));
    EXPECT_EQ(desk.state().monitoring.caption, texts::kStopCaption);
    // Monitoring, then --block: monitoring stops and the clipboard is blocked, as the click does.
    EXPECT_TRUE(applyStartOptions(desk.guard(), block));
    ASSERT_GE(desk.log().size(), 2u);
    EXPECT_TRUE(desk.log().back().starts_with(texts::kClipboardBlocked));
    EXPECT_TRUE(desk.log()[desk.log().size() - 2].starts_with(texts::kMonitoringStopped));
    // Blocked: --block again does not unblock; --monitor is refused as the button refuses it.
    const std::size_t lines = desk.log().size();
    EXPECT_FALSE(applyStartOptions(desk.guard(), block));
    EXPECT_EQ(desk.state().blocking.caption, texts::kUnblockCaption);
    EXPECT_EQ(desk.log().size(), lines) << "blocking is disabled: nothing happens, nothing is logged";
    EXPECT_FALSE(applyStartOptions(desk.guard(), monitor)) << "the first button is disabled while blocked by it";

    // Blocked by hand (the first button still enabled): --monitor shows the information box.
    sim::SimDesktop manual;
    manual.start();
    manual.clickEnableDisable();
    EXPECT_TRUE(applyStartOptions(manual.guard(), monitor));
    ASSERT_EQ(manual.messageBoxes().size(), 1u);
    EXPECT_EQ(manual.messageBoxes()[0].text, texts::kInfoText);
    EXPECT_EQ(manual.state().monitoring.caption, texts::kStartCaptionAtLaunch);
}

TEST(StartOptions, AHandOverMessageCarriesTheOptionsAndNothingElse) {
    const CommandLine sent = options({"--monitor", "--minimized", "--system-log", "--echo-log"});
    const std::string message = handOverMessage(sent);
    EXPECT_EQ(message.find("--echo-log"), std::string::npos) << "the echo belongs to the starting process";
    const std::optional<CommandLine> received = parseHandOverMessage(message);
    ASSERT_TRUE(received);
    EXPECT_TRUE(received->monitor && received->minimized && received->systemLog && !received->block);
    ASSERT_TRUE(parseHandOverMessage(""));  // a plain second start: only the window comes forward
    EXPECT_FALSE(parseHandOverMessage("")->monitor);

    // Whatever else reaches the running guard is refused whole.
    for (const std::string_view wrong : {"--monitor", "--monitor\n--block\n", "--help\n", "--version\n", "--echo-log\n",
                                         "--bogus\n", "\n", "--monitor\n\n", "--monitor\0\n"})
        EXPECT_FALSE(parseHandOverMessage(wrong)) << wrong;
    std::string flood;
    while (flood.size() <= kLongestHandOverMessage) flood += "--monitor\n";
    EXPECT_FALSE(parseHandOverMessage(flood));
}

TEST(LogClassification, EveryLineTheFormWritesHasItsKind) {
    const std::string when = "07/12/2026 16:30:00";
    const std::pair<std::string_view, LogKind> lines[] = {
        {texts::kAlarmRaised, LogKind::Alarm},       {texts::kCaptureDetected, LogKind::Capture},
        {texts::kClipboardBlocked, LogKind::Block},  {texts::kClipboardUnblocked, LogKind::Unblock},
        {texts::kProtectionStarted, LogKind::Start}, {texts::kProtectionStopped, LogKind::Stop},
        {texts::kMonitoringStopped, LogKind::Stop},  {texts::kNotProtected, LogKind::Stop},
        {texts::kOwnerSilent, LogKind::Problem},     {texts::kNotEmptied, LogKind::Problem},
        {"    Copied by xclip (process 7)", LogKind::Detail},
    };
    for (const auto& [prefix, kind] : lines) EXPECT_EQ(classifyLogLine(std::string(prefix) + when), kind) << prefix;
    EXPECT_EQ(classifyLogLine(SystemLogQueue::droppedLine(3)), LogKind::Problem);
}

TEST(SystemLogQueue, WritesInOrderOffTheCallersThreadAndBoundsWhatAStuckLogCosts) {
    std::mutex mutex;
    std::vector<std::pair<LogKind, std::string>> written;
    std::thread::id writerThread;
    bool stuck = true;
    std::condition_variable release;
    {
        SystemLogQueue queue(
            [&](LogKind kind, const std::string& line) {
                std::unique_lock lock(mutex);
                writerThread = std::this_thread::get_id();
                release.wait(lock, [&] { return !stuck; });
                written.emplace_back(kind, line);
            },
            4);
        // The first line holds the writer; four more fill the queue; the rest are counted, not kept.
        const std::string capture = std::string(texts::kCaptureDetected) + "x";
        for (int i = 0; i < 10; ++i) queue.add(capture + std::to_string(i));
        queue.add(std::string(texts::kAlarmRaised) + "x");
        {
            std::lock_guard lock(mutex);
            stuck = false;
        }
        release.notify_all();
    }  // the end waits for what was queued
    std::lock_guard lock(mutex);
    EXPECT_NE(writerThread, std::this_thread::get_id());
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.back().first, LogKind::Problem);
    EXPECT_EQ(written.back().second, SystemLogQueue::droppedLine(11 - (written.size() - 1)));
    for (std::size_t i = 0; i + 1 < written.size(); ++i) {
        EXPECT_EQ(written[i].second, std::string(texts::kCaptureDetected) + "x" + std::to_string(i));
        EXPECT_EQ(written[i].first, LogKind::Capture);
    }
}

}  // namespace
}  // namespace zanthrel
