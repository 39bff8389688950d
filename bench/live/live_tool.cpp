// The Linux side of the live measurements, for either program:
//   relay                      copies standard input to standard output, each line prefixed with the
//                              wall-clock time in nanoseconds at which it arrived
//   cpu SECONDS LABEL=PID...   CPU time of each process over the same SECONDS, in % of one core, as
//                              `LABEL best threads whole wakeups-per-second`
//   join COPIES LOG SPACING_MS detection latencies: copies (`copy <ns>`) against the relayed log

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/live/live_figures.h"
#include "core/runtime_error.h"

namespace {

using namespace zanthrel;

std::int64_t wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int relay() {
    live::LineStamper stamper;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) break;
        if (!writeAll(STDOUT_FILENO, stamper.feed({buffer, static_cast<std::size_t>(got)}, wallNs()))) return 1;
    }
    return writeAll(STDOUT_FILENO, stamper.finish(wallNs())) ? 0 : 1;
}

live::CpuTime cpuTimeOf(const std::string& pid) {
    live::CpuTime time;
    const auto ticks = live::statCpuTicks(readFile("/proc/" + pid + "/stat"));
    if (!ticks) throw RuntimeError(ErrorKind::PlatformFailure, "no process " + pid);
    time.ticks = *ticks;
    const std::string tasks = "/proc/" + pid + "/task";
    time.threadsRead = false;
    if (DIR* directory = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (entry->d_name[0] == '.') continue;
            if (auto stat = live::parseSchedstat(readFile(tasks + '/' + entry->d_name + "/schedstat"))) {
                time.threadsNs += stat->runNs;
                time.runs += stat->runs;
                time.threadsRead = true;
            }
        }
        closedir(directory);
    }
    return time;
}

int cpu(double seconds, const std::vector<std::string>& labelled) {
    std::vector<std::pair<std::string, std::string>> processes;
    for (const std::string& item : labelled) {
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos) throw RuntimeError(ErrorKind::PlatformFailure, "expected LABEL=PID: " + item);
        processes.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    }
    std::vector<live::CpuTime> before;
    for (const auto& process : processes) before.push_back(cpuTimeOf(process.second));
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    std::vector<live::CpuTime> after;
    for (const auto& process : processes) after.push_back(cpuTimeOf(process.second));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double tickSeconds = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const live::CpuShare share = live::cpuShare(before[i], after[i], elapsed, tickSeconds);
        std::printf("%s %s %s %s %s\n", processes[i].first.c_str(), live::formatFigure(share.best).c_str(),
                    live::formatFigure(share.threads).c_str(), live::formatFigure(share.whole).c_str(),
                    live::formatFigure(share.wakeupsPerSecond).c_str());
    }
    return 0;
}

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw RuntimeError(ErrorKind::PlatformFailure, "cannot read " + path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

int join(const std::string& copiesPath, const std::string& logPath, double spacingMs) {
    std::vector<std::int64_t> copies, asked, served;
    for (const std::string& line : lines(copiesPath)) {
        if (auto stamp = live::parseProbeStamp(line, "copy")) copies.push_back(*stamp);
        if (auto stamp = live::parseProbeStamp(line, "asked")) asked.push_back(*stamp);
        if (auto stamp = live::parseProbeStamp(line, "served")) served.push_back(*stamp);
    }
    std::vector<live::StampedLine> log;
    for (const std::string& line : lines(logPath))
        if (auto stamped = live::parseStampedLine(line)) log.push_back(std::move(*stamped));
    const live::LogMarkers markers{"New Screen Capture Detected on ",
                                   "Protection Started on ",
                                   {"Protection Stopped on ", "Monitoring Stopped on "}};
    const live::Detections detections = live::pairDetections(copies, log, markers);
    const live::Summary summary = live::summarize(detections.latenciesMs);
    const std::size_t watched = copies.size() - detections.unwatched;
    for (const std::string& line :
         {live::figureLine("detect_latency_median_ms", summary.median, "ms"),
          live::figureLine("detect_latency_p90_ms", summary.p90, "ms"),
          live::figureLine("detect_latency_max_ms", summary.max, "ms"),
          live::figureLine("detect_missed", static_cast<double>(detections.missed), "of " + std::to_string(watched)),
          live::figureLine("detect_unexplained", static_cast<double>(detections.unexplained), "times")})
        std::printf("%s\n", line.c_str());
    std::fprintf(stderr, "live: %zu copies while monitoring was off were left out\n", detections.unwatched);
    if (summary.max > spacingMs / 2)
        std::fprintf(stderr,
                     "live: WARNING: latencies reach half the %.0f ms between copies; a detection may have "
                     "been paired with the wrong copy (ZANTHREL_LIVE_SPACING_MS)\n",
                     spacingMs);
    // Where the picture probe can tell: when the program first reacted to each copy, and took the picture.
    for (const auto& [events, what] : {std::pair{&asked, "first asked the clipboard"}, {&served, "took the picture"}}) {
        if (events->empty()) continue;
        const live::Summary after =
            live::summarize(live::pairInOrder(copies, *events, std::numeric_limits<std::int64_t>::max()).latenciesMs);
        std::fprintf(stderr, "live: the program %s %.1f ms after a copy (median), %.1f ms (p90)\n", what, after.median,
                     after.p90);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        const std::string_view mode = argc > 1 ? argv[1] : "";
        if (mode == "relay" && argc == 2) return relay();
        if (mode == "cpu" && argc >= 4) return cpu(std::atof(argv[2]), {argv + 3, argv + argc});
        if (mode == "join" && argc == 5) return join(argv[2], argv[3], std::atof(argv[4]));
        std::fprintf(stderr, "usage: %s relay | cpu SECONDS LABEL=PID... | join COPIES LOG SPACING_MS\n", argv[0]);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "live tool: %s\n", error.what());
        return 1;
    }
}
