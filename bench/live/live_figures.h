#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the live measurements compute from what they recorded; no clock and no desktop here, so that
// the arithmetic can be checked on its own.
namespace zanthrel::live {

struct Summary {
    std::size_t count = 0;
    double median = 0;
    double p90 = 0;  // nearest rank: at least 90 % of the samples are at or below it
    double max = 0;
};

Summary summarize(std::vector<double> samples);

// A figure's value: whole numbers as such, others to three significant digits but never with an exponent.
std::string formatFigure(double value);
// One figure as the benchmarks print them: `name value unit`.
std::string figureLine(std::string_view name, double value, std::string_view unit);

// The figures of an exposure run: how long each copied text stayed (samples in ms), and how many
// copies nobody took away within the probe's patience.
std::vector<std::string> exposureFigures(const std::vector<double>& samplesMs, int kept);

// What a clipboard probe was asked to do, from its arguments after the program's name:
//   exposure COUNT SPACING_MS | copy-pictures COUNT SPACING_MS WIDTH HEIGHT SEED [HOLD_S] | do STEP...
//   | hold-picture HOLD_S WIDTH HEIGHT SEED
// Anything else, or a number out of range (0 to 1000000; a picture at least 1x1), is Usage.
struct ProbeCommand {
    enum class Mode { Usage, Exposure, CopyPictures, Steps, HoldPicture };
    Mode mode = Mode::Usage;
    int count = 0, spacingMs = 0, width = 0, height = 0, seed = 0;
    int holdSeconds = 5;  // how long the last picture stays offered unless the clipboard is taken
    std::vector<std::string> steps;
};
ProbeCommand parseProbeCommand(const std::vector<std::string_view>& arguments);

// A line of the program's log as the relay recorded it: `<nanoseconds since the epoch> <text>`.
struct StampedLine {
    std::int64_t ns = 0;
    std::string text;
};
std::optional<StampedLine> parseStampedLine(std::string_view line);
// What a probe recorded: `<word> <nanoseconds since the epoch>`, e.g. `copy 1700000000123456789`.
std::optional<std::int64_t> parseProbeStamp(std::string_view line, std::string_view word);

struct Detections {
    std::vector<double> latenciesMs;  // one for each copy that was detected
    std::size_t missed = 0;           // copies after which no detection came before the next copy
    std::size_t unexplained = 0;      // detections no copy accounts for
    std::size_t unwatched = 0;        // copies made while monitoring was off, which prove nothing
};

// Pairs each copy with the first event after it and before the next copy (the last copy: up to `end`).
Detections pairInOrder(std::vector<std::int64_t> copies, std::vector<std::int64_t> events, std::int64_t end);

// The log lines that mark what the program counted and when it watched.
struct LogMarkers {
    std::string_view detection;             // a capture counted
    std::string_view started;               // monitoring began
    std::vector<std::string_view> stopped;  // monitoring ended
};

// Pairs copies with detections within each span of the log during which monitoring was on. Detections
// after the first one of a copy, or before any copy of their span, are unexplained: the program
// counted a capture twice or one that nobody made. Spans follow the order of the log, not its stamps,
// since a capture and the alarm that stops monitoring are logged in the same instant.
Detections pairDetections(const std::vector<std::int64_t>& copies, const std::vector<StampedLine>& log,
                          const LogMarkers& markers);

// Splits what arrives in chunks into lines, each prefixed with the time at which its end arrived:
// `<ns> <line>\n`. A line counts as written when it is complete, not when its first part came.
class LineStamper {
public:
    std::string feed(std::string_view chunk, std::int64_t ns);
    // What is left without a line end, stamped now; empty when nothing is left.
    std::string finish(std::int64_t ns);

private:
    std::string pending_;
};

// A process's CPU time two ways: the sum over its threads of their time on the CPU in nanoseconds
// (threads that end in between take theirs with them), and the process's utime + stime in clock ticks
// (whole, but in 10 ms steps: too coarse alone for tenths of a percent over 10 s).
struct CpuTime {
    std::uint64_t threadsNs = 0;
    std::uint64_t ticks = 0;
    std::uint64_t runs = 0;   // how often its threads were put on a CPU: wake-ups, for an idle program
    bool threadsRead = true;  // false where the kernel keeps no per-thread figures
};
struct CpuShare {
    double best = 0;  // what to report, in % of one core
    double threads = 0;
    double whole = 0;
    double wakeupsPerSecond = 0;  // summed over its threads
};
CpuShare cpuShare(const CpuTime& before, const CpuTime& after, double elapsedSeconds, double tickSeconds);

// CPU time from /proc: utime + stime in clock ticks from a `/proc/<pid>/stat` line; the time on the CPU
// in nanoseconds and the number of times on it from a `/proc/<pid>/task/<tid>/schedstat` line.
std::optional<std::uint64_t> statCpuTicks(std::string_view statLine);
struct Schedstat {
    std::uint64_t runNs = 0;
    std::uint64_t runs = 0;
};
std::optional<Schedstat> parseSchedstat(std::string_view schedstatLine);

}  // namespace zanthrel::live
