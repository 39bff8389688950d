#include <gtest/gtest.h>

#include <tuple>

#include "bench/live/live_figures.h"
#include "bench/live/test_picture.h"

namespace zanthrel::live {
namespace {

TEST(LiveFigures, SummaryUsesNearestRankAndTheMiddleOfAnEvenCount) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);  // unsorted on purpose
    const Summary big = summarize(hundred);
    EXPECT_EQ(big.count, 100u);
    EXPECT_DOUBLE_EQ(big.median, 50.5);
    EXPECT_DOUBLE_EQ(big.p90, 90);
    EXPECT_DOUBLE_EQ(big.max, 100);

    const Summary few = summarize({3, 1, 2});
    EXPECT_DOUBLE_EQ(few.median, 2);
    EXPECT_DOUBLE_EQ(few.p90, 3);  // 2.7 ranks up to the third

    const Summary one = summarize({7});
    EXPECT_DOUBLE_EQ(one.p90, 7);
    EXPECT_EQ(summarize({}).count, 0u);
}

TEST(LiveFigures, FigureLinesNeverUseExponents) {
    EXPECT_EQ(figureLine("a", 0.0336, "ms"), "a 0.0336 ms");
    EXPECT_EQ(figureLine("b", 31186.5, "us"), "b 31186 us");
    EXPECT_EQ(figureLine("c", 12.34, "%"), "c 12.3 %");
    EXPECT_EQ(figureLine("d", 0, "times"), "d 0 times");
    EXPECT_EQ(figureLine("e", 16, "of 19"), "e 16 of 19");
    EXPECT_EQ(formatFigure(0.00012345), "0.000123");
}

TEST(LiveFigures, StampedLinesAndCopiesParseOnlyWhenWellFormed) {
    const auto line = parseStampedLine("1700000000123456789 New Screen Capture Detected on 12/7/2026 16:00:01\r");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->ns, 1700000000123456789);
    EXPECT_EQ(line->text, "New Screen Capture Detected on 12/7/2026 16:00:01");
    EXPECT_FALSE(parseStampedLine("no stamp here"));
    EXPECT_FALSE(parseStampedLine("12x3 text"));
    EXPECT_FALSE(parseStampedLine("123"));

    EXPECT_EQ(parseProbeStamp("copy 42\n", "copy"), 42);
    EXPECT_EQ(parseProbeStamp("served 7", "served"), 7);
    EXPECT_FALSE(parseProbeStamp("copy", "copy"));
    EXPECT_FALSE(parseProbeStamp("copy 4 2", "copy"));
    EXPECT_FALSE(parseProbeStamp("copying 42", "copy"));
    EXPECT_FALSE(parseProbeStamp("served 42", "copy"));
}

constexpr std::int64_t ms(std::int64_t value) {
    return value * 1'000'000;
}

TEST(LiveFigures, EachCopyPairsWithTheFirstEventBeforeTheNextCopy) {
    const std::vector<std::int64_t> copies{ms(1000), ms(1300), ms(1600), ms(1900)};
    // The second copy is never answered; the third twice; the last one late but before the end.
    const Detections d = pairInOrder(copies, {ms(1012), ms(1605), ms(1610), ms(2400)}, ms(3000));
    EXPECT_EQ(d.latenciesMs, (std::vector<double>{12, 5, 500}));
    EXPECT_EQ(d.missed, 1u);
    EXPECT_EQ(d.unexplained, 1u);

    // Events before any copy, copies given out of order, an event after the end.
    const Detections early = pairInOrder({ms(2000), ms(1000)}, {ms(900), ms(1001), ms(2002), ms(2600)}, ms(2500));
    EXPECT_EQ(early.latenciesMs, (std::vector<double>{1, 2}));
    EXPECT_EQ(early.unexplained, 2u);
    EXPECT_EQ(early.missed, 0u);

    const Detections none = pairInOrder(copies, {}, ms(3000));
    EXPECT_EQ(none.missed, 4u);
    EXPECT_TRUE(none.latenciesMs.empty());
}

TEST(LiveFigures, DetectionsCountOnlyWhileMonitoringWasOn) {
    const LogMarkers markers{"Detected", "Started", {"Stopped", "Halted"}};
    // Monitoring on, three captures and the alarm stamped with the third; a copy while it is off; on
    // again, a capture nobody made (the emptied clipboard), one copy detected, monitoring halted.
    const std::vector<StampedLine> log{
        {ms(0), "Not protected"}, {ms(100), "Started"},   {ms(1050), "Detected"}, {ms(1340), "Detected"},
        {ms(1620), "Detected"},   {ms(1620), "Alarm"},    {ms(1620), "Stopped"},  {ms(2500), "Started"},
        {ms(2530), "Detected"},   {ms(3040), "Detected"}, {ms(3500), "Halted"},   {ms(3600), "Detected"},
    };
    const std::vector<std::int64_t> copies{ms(1000), ms(1300), ms(1600), ms(1900), ms(3000), ms(3550)};
    const Detections d = pairDetections(copies, log, markers);
    EXPECT_EQ(d.latenciesMs, (std::vector<double>{50, 40, 20, 40}));
    EXPECT_EQ(d.missed, 0u);
    EXPECT_EQ(d.unwatched, 2u);    // at 1900 and 3550
    EXPECT_EQ(d.unexplained, 2u);  // at 2530 and 3600

    // A copy whose detection never came is missed, not paired with the next span's first line.
    const Detections lost = pairDetections(
        {ms(1000)}, {{ms(0), "Started"}, {ms(1500), "Stopped"}, {ms(1600), "Started"}, {ms(1650), "Detected"}},
        markers);
    EXPECT_EQ(lost.missed, 1u);
    EXPECT_EQ(lost.unexplained, 1u);
    EXPECT_TRUE(lost.latenciesMs.empty());
}

TEST(LiveFigures, ProcFieldsAreFoundPastAnyCommandName) {
    // utime 250 and stime 17 are fields 14 and 15; the command name holds spaces and a parenthesis.
    const std::string stat = "4321 (zan thr) el.exe) S 1 4321 4321 0 -1 4194560 1234 0 0 0 250 17 0 0 20 0 3 0 99";
    EXPECT_EQ(statCpuTicks(stat), 267u);
    EXPECT_FALSE(statCpuTicks("4321 (short) S 1 2 3"));
    EXPECT_FALSE(statCpuTicks("no parenthesis at all"));

    const auto schedstat = parseSchedstat("123456789 5000 42\n");
    ASSERT_TRUE(schedstat);
    EXPECT_EQ(schedstat->runNs, 123456789u);
    EXPECT_EQ(schedstat->runs, 42u);
    EXPECT_FALSE(parseSchedstat("123456789 5000"));
    EXPECT_FALSE(parseSchedstat("123456789 5000 x"));
    EXPECT_FALSE(parseSchedstat(""));
}

TEST(LiveFigures, LinesAreStampedWhenTheirEndArrives) {
    LineStamper stamper;
    EXPECT_EQ(stamper.feed("Protection Sta", 100), "");
    EXPECT_EQ(stamper.feed("rted\nNew Screen\n\nNew", 250), "250 Protection Started\n250 New Screen\n250 \n");
    EXPECT_EQ(stamper.feed("", 300), "");
    EXPECT_EQ(stamper.feed(" again\r\n", 400), "400 New again\r\n");
    EXPECT_EQ(stamper.finish(500), "");
    EXPECT_EQ(stamper.feed("cut off", 600), "");
    EXPECT_EQ(stamper.finish(700), "700 cut off\n");
    // Every stamped line parses back to its text.
    const auto parsed = parseStampedLine("400 New again\r\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->text, "New again");
}

TEST(LiveFigures, CpuShareTrustsTheThreadSumUnlessThreadsEnded) {
    constexpr double kTick = 0.01;
    // 60 ms of 10 s on the threads; the ticks saw 5 steps of 10 ms: the finer sum wins.
    CpuShare share = cpuShare({1'000'000'000, 700, 50}, {1'060'000'000, 705, 1050}, 10, kTick);
    EXPECT_NEAR(share.best, 0.6, 1e-9);
    EXPECT_NEAR(share.whole, 0.5, 1e-9);
    EXPECT_NEAR(share.wakeupsPerSecond, 100, 1e-9);

    // A thread that used 300 ms ended in between: the sum lost it, the ticks did not.
    share = cpuShare({1'000'000'000, 700}, {1'010'000'000, 731}, 10, kTick);
    EXPECT_NEAR(share.best, 3.1, 1e-9);

    // The sum even shrank: it must not wrap round to an absurd figure.
    share = cpuShare({5'000'000'000, 700}, {1'000'000'000, 702}, 10, kTick);
    EXPECT_NEAR(share.best, 0.2, 1e-9);
    EXPECT_LT(share.threads, 100);

    // No per-thread figures at all: the ticks are all there is.
    share = cpuShare({0, 700, 0, false}, {0, 701, 0, false}, 10, kTick);
    EXPECT_NEAR(share.best, 0.1, 1e-9);
    EXPECT_EQ(share.wakeupsPerSecond, 0);

    // Nothing at all, and no time elapsed.
    EXPECT_EQ(cpuShare({7, 7}, {7, 7}, 10, kTick).best, 0);
    EXPECT_EQ(cpuShare({0, 0}, {1'000'000, 1}, 0, kTick).best, 0);
}

TEST(LiveFigures, ProbeCommandsTakeOnlyWholeNumbersInRange) {
    using Mode = ProbeCommand::Mode;
    const ProbeCommand copy = parseProbeCommand({"copy-pictures", "4", "300", "1920", "1080", "10"});
    EXPECT_EQ(copy.mode, Mode::CopyPictures);
    EXPECT_EQ(copy.count, 4);
    EXPECT_EQ(copy.spacingMs, 300);
    EXPECT_EQ(copy.width, 1920);
    EXPECT_EQ(copy.height, 1080);
    EXPECT_EQ(copy.seed, 10);
    EXPECT_EQ(copy.holdSeconds, 5);
    EXPECT_EQ(parseProbeCommand({"copy-pictures", "1", "0", "8", "8", "1", "30"}).holdSeconds, 30);
    const ProbeCommand hold = parseProbeCommand({"hold-picture", "30", "640", "480", "3"});
    EXPECT_EQ(hold.mode, Mode::HoldPicture);
    EXPECT_EQ(std::tie(hold.holdSeconds, hold.width, hold.height, hold.seed), std::tuple(30, 640, 480, 3));
    EXPECT_EQ(parseProbeCommand({"exposure", "100", "50"}).mode, Mode::Exposure);
    EXPECT_EQ(parseProbeCommand({"do", "ok-warning", "unblock"}).steps,
              (std::vector<std::string>{"ok-warning", "unblock"}));

    for (const std::vector<std::string_view>& refused :
         std::vector<std::vector<std::string_view>>{{},
                                                    {"exposure", "100"},
                                                    {"exposure", "100", "50", "1"},
                                                    {"exposure", "-1", "50"},
                                                    {"exposure", "1e3", "50"},
                                                    {"exposure", "2000000", "50"},
                                                    {"exposure", "99999999999999999999", "50"},
                                                    {"copy-pictures", "4", "300", "0", "1080", "1"},
                                                    {"copy-pictures", "4", "300", "1920", "1080", "1", "30", "2"},
                                                    {"hold-picture", "30", "640", "0", "3"},
                                                    {"hold-picture", "30", "640", "480"},
                                                    {"do"},
                                                    {"paste", "1", "2"}})
        EXPECT_EQ(parseProbeCommand(refused).mode, Mode::Usage) << refused.size();
}

TEST(LiveFigures, ExposureFiguresSayHowManyCopiesWereNeverTakenAway) {
    EXPECT_EQ(exposureFigures({2, 1, 3}, 0),
              (std::vector<std::string>{"block_exposure_median_ms 2 ms", "block_exposure_p90_ms 3 ms",
                                        "block_exposure_max_ms 3 ms", "block_exposure_kept 0 times"}));
    EXPECT_EQ(exposureFigures({}, 5).back(), "block_exposure_kept 5 times");
}

TEST(LivePictures, EverySeedGivesAnotherPictureOfTheSize) {
    constexpr int kWidth = 320, kHeight = 200;
    for (std::uint32_t seed = 1; seed < 25; ++seed) {
        const std::vector<std::uint32_t> pixels = desktopLikePixels(kWidth, kHeight, seed);
        ASSERT_EQ(pixels.size(), std::size_t{kWidth} * kHeight);
        EXPECT_NE(pixels, desktopLikePixels(kWidth, kHeight, seed - 1)) << seed;
    }
    EXPECT_TRUE(desktopLikePixels(0, 10, 1).empty());
    EXPECT_TRUE(desktopLikePixels(-5, 10, 1).empty());
}

}  // namespace
}  // namespace zanthrel::live
