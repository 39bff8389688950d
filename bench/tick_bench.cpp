// What one sampling tick costs with a full-HD picture on the clipboard: idle (the picture unchanged),
// read literally and the product's way, and the tick that counts a new capture, with the memory it
// adds at its peak, both ways; the same for a new 8K capture, for pictures that can only be read
// through scan lines, and for a 16384 × 1 picture followed by a 1 × 16384 one, which widen the region
// to 16384 × 16384; and the digest of delivered bytes (digest_bench.cpp). Google Benchmark's own table
// goes to stderr; stdout gets one `name value unit` line per figure, all from this one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testing/sim/sim_desktop.h"
#include "testing/sim/sim_picture.h"

namespace {

using namespace zanthrel;

constexpr std::int32_t kWidth = 1920;
constexpr std::int32_t kHeight = 1080;

PictureRef screenPicture(std::int32_t width, std::int32_t height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] = 0x00101010u + static_cast<std::uint32_t>(x * 7 + y * 13);
    return sim::SimPicture::fromPixels(width, height, std::move(pixels));
}

PictureRef fullHdPicture() {
    return screenPicture(kWidth, kHeight);
}

// A picture that can only be read through readScanLines, as a bitmap in the system's graphics memory.
class ScanLinesOnly final : public Picture {
public:
    explicit ScanLinesOnly(PictureRef inner) : inner_(std::move(inner)) {}
    std::int32_t width() const override { return inner_->width(); }
    std::int32_t height() const override { return inner_->height(); }
    void readScanLines(const BitmapInfoHeader& header, std::uint32_t firstScan, std::uint32_t lines,
                       std::int32_t* bits) const noexcept override {
        inner_->readScanLines(header, firstScan, lines, bits);
    }

private:
    PictureRef inner_;
};

// A picture on the clipboard and the new capture that follows it.
struct CapturePair {
    PictureRef previous;
    PictureRef next;
};

// One pixel changed in the top-right corner: the last pixel of the picture the comparison reaches,
// so the tick reads almost everything before it finds the difference.
CapturePair screenCaptures(std::int32_t width, std::int32_t height) {
    const PictureRef first = screenPicture(width, height);
    return {first, sim::withPixel(first, width - 1, 0, 0x00FFFFFF)};
}

const CapturePair& fullHdCaptures() {
    static const CapturePair pair = screenCaptures(kWidth, kHeight);
    return pair;
}

// The two pictures agree where both cover the region and are zero elsewhere but for the tall one's top
// pixel, so the comparison walks all 16384 scan lines before it finds the difference.
const CapturePair& degeneratePair() {
    static const CapturePair pair = [] {
        std::vector<std::uint32_t> line(16384, 0);
        line.front() = 0x00ABCDEF;
        PictureRef wide = sim::SimPicture::fromPixels(16384, 1, line);
        line.back() = 0x00ABCDEF;  // the tall picture's bottom pixel; its top one stays set as well
        return CapturePair{wide, sim::SimPicture::fromPixels(1, 16384, line)};
    }();
    return pair;
}

// A desktop with monitoring on and both holders settled on `picture`.
void startMonitoring(sim::SimDesktop& desk, const PictureRef& picture) {
    desk.copyPicture(picture);
    desk.start();
    desk.clickStartPause();
    for (int i = 0; i < 3; ++i) desk.guard().onTimer(GuardTimer::Sampling);
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
    for (auto _ : state) desk.guard().onTimer(GuardTimer::Sampling);
    if (desk.state().detection.captureCount != 0) state.SkipWithError("an unchanged picture was counted");
}

void captureTick(benchmark::State& state, ComparisonMode mode, const CapturePair& pair) {
    sim::SimDesktop desk(mode);
    const PictureRef& first = pair.previous;
    const PictureRef& second = pair.next;
    startMonitoring(desk, first);
    std::int64_t peakExtraKb = 0;
    bool next = true;
    for (auto _ : state) {
        desk.copyPicture(next ? second : first);
        next = !next;
        desk.guard().onTimer(GuardTimer::Sampling);  // the holders still agree: one of them takes the new picture
        const std::int64_t residentBefore = statusKb("VmRSS:").value_or(0);
        if (!resetPeakRss()) {
            state.SkipWithError("cannot reset the peak resident size");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        desk.guard().onTimer(GuardTimer::Sampling);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peakExtraKb = std::max(peakExtraKb, statusKb("VmHWM:").value_or(0) - residentBefore);
        if (desk.state().detection.captureCount != 1) {
            state.SkipWithError("the new capture was not counted exactly once");
            break;
        }
        desk.guard().onTimer(GuardTimer::CountingWindow);  // a fresh counting window, so no alarm interrupts the run
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
    benchmark::RegisterBenchmark("idle_tick", idleTick, ComparisonMode::Covered)->Unit(benchmark::kMicrosecond);
    const auto capture = [](const char* name, ComparisonMode mode, auto pair) {
        benchmark::RegisterBenchmark(name, [mode, pair](benchmark::State& state) { captureTick(state, mode, pair()); })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    };
    capture("capture_tick", ComparisonMode::Covered, fullHdCaptures);
    capture("capture_tick_literal", ComparisonMode::Literal, fullHdCaptures);
    capture("capture_tick_scan_lines", ComparisonMode::Covered, [] {
        static const CapturePair pair{std::make_shared<ScanLinesOnly>(fullHdCaptures().previous),
                                      std::make_shared<ScanLinesOnly>(fullHdCaptures().next)};
        return pair;
    });
    capture("capture_8k_tick", ComparisonMode::Covered, [] {
        static const CapturePair pair = screenCaptures(7680, 4320);
        return pair;
    });
    capture("degenerate_pair", ComparisonMode::Covered, degeneratePair);
    benchmark::Initialize(&argc, argv);

    CollectingReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& r = reporter.results;
    const char* names[] = {"idle_tick_literal",       "idle_tick",       "capture_tick",   "capture_tick_literal",
                           "capture_tick_scan_lines", "capture_8k_tick", "degenerate_pair"};
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
    const double captureLiteral = r.at("capture_tick_literal").microseconds;
    std::printf("capture_tick_literal_us %.1f us\n", captureLiteral);
    std::printf("capture_speedup %.1f x\n", captureLiteral / r.at("capture_tick").microseconds);
    std::printf("capture_literal_extra_rss_mb %.1f MB\n", r.at("capture_tick_literal").counters.at("extra_rss_mb"));
    std::printf("capture_tick_scan_lines_us %.1f us\n", r.at("capture_tick_scan_lines").microseconds);
    std::printf("capture_8k_tick_us %.1f us\n", r.at("capture_8k_tick").microseconds);
    std::printf("capture_8k_extra_rss_mb %.1f MB\n", r.at("capture_8k_tick").counters.at("extra_rss_mb"));
    std::printf("degenerate_pair_us %.1f us\n", r.at("degenerate_pair").microseconds);
    std::printf("degenerate_pair_extra_rss_mb %.1f MB\n", r.at("degenerate_pair").counters.at("extra_rss_mb"));
    // The digest of delivered bytes (digest_bench.cpp), where it ran.
    if (r.contains("digest_full_hd")) {
        const double ms = r.at("digest_full_hd").microseconds / 1000.0;
        std::printf("digest_full_hd_ms %.2f ms\n", ms);
        std::printf("digest_full_hd_mb_per_s %.0f MB/s\n", 1920.0 * 1080 * 4 / 1e6 / (ms / 1000.0));
    }
    if (r.contains("digest_1gib")) {
        const double ms = r.at("digest_1gib").microseconds / 1000.0;
        std::printf("digest_1gib_ms %.0f ms\n", ms);
        std::printf("digest_1gib_mb_per_s %.0f MB/s\n", 1073741824.0 / 1e6 / (ms / 1000.0));
    }
    return 0;
}
