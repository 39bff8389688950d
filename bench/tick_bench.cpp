// What one sampling tick costs with a full-HD picture on the clipboard: idle (the picture unchanged),
// read literally and the product's way, and the tick that counts a new capture, with the memory it
// adds at its peak. Google Benchmark's own table goes to stderr; stdout gets one `name value unit`
// line per figure, all from this one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_picture.h"

namespace {

using namespace zanthrel;

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;

PictureRef fullHdPicture() {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            pixels[static_cast<std::size_t>(y) * kWidth + x] = 0x00101010u + static_cast<std::uint32_t>(x * 7 + y * 13);
    return sim::SimPicture::fromPixels(kWidth, kHeight, std::move(pixels));
}

// A desktop with monitoring on and both holders settled on `picture`.
void startMonitoring(sim::SimDesktop& desk, const PictureRef& picture) {
    desk.copyPicture(picture);
    desk.start();
    desk.clickStartPause();
    for (int i = 0; i < 3; ++i) desk.form().onTimer(TimerId::Timer1);
}

std::optional<std::int64_t> statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word;)
        if (word == key) {
            std::int64_t kb = 0;
            status >> kb;
            return kb;
        }
    return std::nullopt;
}

// Peak memory of one tick: writing 5 to /proc/self/clear_refs sets the kernel's high-water mark of
// resident memory (VmHWM) back to the present resident size; after the tick, VmHWM less the resident
// size before it is the most the tick had resident at any instant, page faults of the pixel buffers
// included, however briefly they lived. Pages only read (zero-filled storage never written) share the
// kernel's zero page and rightly count nothing.
bool resetPeakRss() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

void idleTick(benchmark::State& state, ComparisonMode mode) {
    sim::SimDesktop desk(mode);
    startMonitoring(desk, fullHdPicture());
    for (auto _ : state) desk.form().onTimer(TimerId::Timer1);
    if (desk.state().txtCounts != "0") state.SkipWithError("an unchanged picture was counted");
}

void captureTick(benchmark::State& state) {
    sim::SimDesktop desk(ComparisonMode::Fast);
    const PictureRef first = fullHdPicture();
    // One pixel changed in the top-right corner: the last pixel of the picture the comparison reaches,
    // so the tick reads almost everything before it finds the difference.
    const PictureRef second = sim::withPixel(first, kWidth - 1, 0, 0x00FFFFFF);
    startMonitoring(desk, first);
    std::int64_t peakExtraKb = 0;
    bool next = true;
    for (auto _ : state) {
        desk.copyPicture(next ? second : first);
        next = !next;
        desk.form().onTimer(TimerId::Timer1);  // the holders still agree: one of them takes the new picture
        const std::int64_t residentBefore = statusKb("VmRSS:").value_or(0);
        if (!resetPeakRss()) {
            state.SkipWithError("cannot reset the peak resident size");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        desk.form().onTimer(TimerId::Timer1);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakExtraKb = std::max(peakExtraKb, statusKb("VmHWM:").value_or(0) - residentBefore);
        if (desk.state().txtCounts != "1") {
            state.SkipWithError("the new capture was not counted exactly once");
            break;
        }
        desk.form().onTimer(TimerId::Timer2);  // a fresh counting window, so no alarm interrupts the run
    }
    state.counters["extra_rss_mb"] = static_cast<double>(peakExtraKb) / 1024.0;
}

// Keeps Google Benchmark's table and remembers each benchmark's time per iteration and counters.
class CollectingReporter final : public benchmark::ConsoleReporter {
public:
    CollectingReporter() : ConsoleReporter(OO_Tabular) {}
    struct Figures {
        double microseconds = 0;
        std::map<std::string, double> counters;
    };
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            Figures& figures = results[run.run_name.function_name];
            figures.microseconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
            for (const auto& [name, counter] : run.counters) figures.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Figures> results;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("idle_tick_literal", idleTick, ComparisonMode::Literal)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("idle_tick", idleTick, ComparisonMode::Fast)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("capture_tick", captureTick)->UseManualTime()->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);

    CollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& r = reporter.results;
    const char* names[] = {"idle_tick_literal", "idle_tick", "capture_tick"};
    for (const char* name : names)
        if (!r.contains(name)) {
            std::fprintf(stderr, "no figures for %s\n", name);
            return 1;
        }
    const double literal = r.at("idle_tick_literal").microseconds;
    const double fast = r.at("idle_tick").microseconds;
    std::printf("idle_tick_literal_us %.1f us\n", literal);
    std::printf("idle_tick_us %.4f us\n", fast);
    std::printf("idle_tick_speedup %.0f x\n", literal / fast);
    std::printf("capture_tick_us %.1f us\n", r.at("capture_tick").microseconds);
    std::printf("capture_extra_rss_mb %.1f MB\n", r.at("capture_tick").counters.at("extra_rss_mb"));
    return 0;
}
