#include "bench/live/live_figures.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zanthrel::live {
namespace {

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || text.empty()) return std::nullopt;
    return value;
}

// The whitespace-separated words of a line; /proc separates its fields by single spaces.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t begin = text.find_first_not_of(" \n", at);
        if (begin == std::string_view::npos) break;
        const std::size_t end = std::min(text.find_first_of(" \n", begin), text.size());
        result.push_back(text.substr(begin, end - begin));
        at = end;
    }
    return result;
}

}  // namespace

Summary summarize(std::vector<double> samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    summary.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.9 * static_cast<double>(n)));
    summary.p90 = samples[std::max<std::size_t>(rank, 1) - 1];
    summary.max = samples.back();
    return summary;
}

std::string formatFigure(double value) {
    char number[64];
    const double size = std::fabs(value);
    const char* format = value == std::floor(value) || size >= 1000 ? "%.0f" : size >= 10 ? "%.1f" : "%.3g";
    std::snprintf(number, sizeof number, format, value);
    return number;
}

std::string figureLine(std::string_view name, double value, std::string_view unit) {
    std::string line(name);
    line += ' ';
    line += formatFigure(value);
    line += ' ';
    line += unit;
    return line;
}

std::vector<std::string> exposureFigures(const std::vector<double>& samplesMs, int kept) {
    const Summary summary = summarize(samplesMs);
    return {figureLine("block_exposure_median_ms", summary.median, "ms"),
            figureLine("block_exposure_p90_ms", summary.p90, "ms"),
            figureLine("block_exposure_max_ms", summary.max, "ms"), figureLine("block_exposure_kept", kept, "times")};
}

ProbeCommand parseProbeCommand(const std::vector<std::string_view>& arguments) {
    const auto numbers = [&](std::initializer_list<int*> into) {
        if (arguments.size() != into.size() + 1) return false;
        std::size_t i = 1;
        for (int* target : into) {
            const auto value = parseNumber<int>(arguments[i++]);
            if (!value || *value < 0 || *value > 1'000'000) return false;
            *target = *value;
        }
        return true;
    };
    ProbeCommand command;
    const std::string_view mode = arguments.empty() ? "" : arguments[0];
    if (mode == "exposure" && numbers({&command.count, &command.spacingMs})) {
        command.mode = ProbeCommand::Mode::Exposure;
    } else if (mode == "copy-pictures" &&
               (numbers({&command.count, &command.spacingMs, &command.width, &command.height, &command.seed}) ||
                numbers({&command.count, &command.spacingMs, &command.width, &command.height, &command.seed,
                         &command.holdSeconds})) &&
               command.width > 0 && command.height > 0) {
        command.mode = ProbeCommand::Mode::CopyPictures;
    } else if (mode == "hold-picture" &&
               numbers({&command.holdSeconds, &command.width, &command.height, &command.seed}) && command.width > 0 &&
               command.height > 0) {
        command.mode = ProbeCommand::Mode::HoldPicture;
    } else if (mode == "do" && arguments.size() > 1) {
        command.mode = ProbeCommand::Mode::Steps;
        command.steps.assign(arguments.begin() + 1, arguments.end());
    }
    return command;
}

std::optional<StampedLine> parseStampedLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const auto ns = parseNumber<std::int64_t>(line.substr(0, space));
    if (!ns) return std::nullopt;
    std::string_view text = line.substr(space + 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return StampedLine{*ns, std::string(text)};
}

std::optional<std::int64_t> parseProbeStamp(std::string_view line, std::string_view word) {
    if (!line.starts_with(word) || line.size() <= word.size() || line[word.size()] != ' ') return std::nullopt;
    line.remove_prefix(word.size() + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return parseNumber<std::int64_t>(line);
}

Detections pairInOrder(std::vector<std::int64_t> copies, std::vector<std::int64_t> events, std::int64_t end) {
    std::sort(copies.begin(), copies.end());
    std::sort(events.begin(), events.end());
    Detections result;
    auto next = events.begin();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        // What came before this copy and after the previous one's first event explains nothing.
        while (next != events.end() && *next < copies[i]) {
            ++result.unexplained;
            ++next;
        }
        // The last copy's event may carry the very stamp of the end: the alarm is logged with it.
        const bool last = i + 1 == copies.size();
        if (next == events.end() || (last ? *next > end : *next >= copies[i + 1])) {
            ++result.missed;
            continue;
        }
        result.latenciesMs.push_back(static_cast<double>(*next - copies[i]) / 1e6);
        ++next;
    }
    result.unexplained += static_cast<std::size_t>(events.end() - next);
    return result;
}

Detections pairDetections(const std::vector<std::int64_t>& copies, const std::vector<StampedLine>& log,
                          const LogMarkers& markers) {
    struct Span {
        std::int64_t begin, end;
        std::vector<std::int64_t> detections;
    };
    constexpr std::int64_t kOpen = std::numeric_limits<std::int64_t>::max();
    std::vector<Span> spans;
    Detections result;
    bool watching = false;
    for (const StampedLine& line : log) {
        if (line.text.starts_with(markers.detection)) {
            if (watching)
                spans.back().detections.push_back(line.ns);
            else
                ++result.unexplained;
        } else if (line.text.starts_with(markers.started) && !watching) {
            spans.push_back({line.ns, kOpen, {}});
            watching = true;
        } else if (watching && std::any_of(markers.stopped.begin(), markers.stopped.end(),
                                           [&](std::string_view stop) { return line.text.starts_with(stop); })) {
            spans.back().end = line.ns;
            watching = false;
        }
    }
    std::size_t inSpans = 0;
    for (const Span& span : spans) {
        std::vector<std::int64_t> inside;
        for (std::int64_t copy : copies)
            if (copy >= span.begin && copy < span.end) inside.push_back(copy);
        inSpans += inside.size();
        if (inside.empty()) {
            result.unexplained += span.detections.size();
            continue;
        }
        const Detections part = pairInOrder(std::move(inside), span.detections, span.end);
        result.latenciesMs.insert(result.latenciesMs.end(), part.latenciesMs.begin(), part.latenciesMs.end());
        result.missed += part.missed;
        result.unexplained += part.unexplained;
    }
    result.unwatched = copies.size() - inSpans;
    return result;
}

std::string LineStamper::feed(std::string_view chunk, std::int64_t ns) {
    pending_.append(chunk);
    const std::string stamp = std::to_string(ns) + ' ';
    std::string out;
    std::size_t begin = 0;
    for (std::size_t end; (end = pending_.find('\n', begin)) != std::string::npos; begin = end + 1)
        out.append(stamp).append(pending_, begin, end + 1 - begin);
    pending_.erase(0, begin);
    return out;
}

std::string LineStamper::finish(std::int64_t ns) {
    if (pending_.empty()) return {};
    std::string out = std::to_string(ns) + ' ' + pending_ + '\n';
    pending_.clear();
    return out;
}

CpuShare cpuShare(const CpuTime& before, const CpuTime& after, double elapsedSeconds, double tickSeconds) {
    CpuShare share;
    if (elapsedSeconds <= 0) return share;
    const auto percent = [elapsedSeconds](double seconds) { return seconds / elapsedSeconds * 100; };
    share.whole =
        after.ticks >= before.ticks ? percent(static_cast<double>(after.ticks - before.ticks) * tickSeconds) : 0;
    // A thread that ended took its time out of the sum, which may even shrink: then only the ticks tell.
    const bool threadsKnown = before.threadsRead && after.threadsRead && after.threadsNs >= before.threadsNs;
    share.threads = threadsKnown ? percent(static_cast<double>(after.threadsNs - before.threadsNs) / 1e9) : 0;
    // The ticks round to whole steps either way; beyond two steps more they saw time the sum lost.
    const bool threadsLost = !threadsKnown || share.whole > share.threads + percent(2 * tickSeconds);
    share.best = threadsLost ? share.whole : share.threads;
    share.wakeupsPerSecond =
        threadsKnown && after.runs >= before.runs ? static_cast<double>(after.runs - before.runs) / elapsedSeconds : 0;
    return share;
}

std::optional<std::uint64_t> statCpuTicks(std::string_view statLine) {
    // The command name in parentheses may itself hold spaces and parentheses; the fields follow the last ')'.
    const std::size_t close = statLine.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    const std::vector<std::string_view> fields = words(statLine.substr(close + 1));
    // fields[0] is the state (field 3 of the line); utime and stime are fields 14 and 15.
    if (fields.size() < 13) return std::nullopt;
    const auto user = parseNumber<std::uint64_t>(fields[11]);
    const auto system = parseNumber<std::uint64_t>(fields[12]);
    if (!user || !system) return std::nullopt;
    return *user + *system;
}

std::optional<Schedstat> parseSchedstat(std::string_view schedstatLine) {
    const std::vector<std::string_view> fields = words(schedstatLine);
    if (fields.size() != 3) return std::nullopt;
    const auto runNs = parseNumber<std::uint64_t>(fields[0]);
    const auto runs = parseNumber<std::uint64_t>(fields[2]);
    if (!runNs || !runs) return std::nullopt;
    return Schedstat{*runNs, *runs};
}

}  // namespace zanthrel::live
