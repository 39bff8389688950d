#include "platform/shell/log_classification.h"

#include <array>
#include <utility>

#include "core/texts.h"

namespace zanthrel {

LogKind classifyLogLine(std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, LogKind>, 10> kPrefixes{{
        {texts::kAlarmRaised, LogKind::Alarm},
        {texts::kCaptureDetected, LogKind::Capture},
        {texts::kClipboardBlocked, LogKind::Block},
        {texts::kClipboardUnblocked, LogKind::Unblock},
        {texts::kProtectionStarted, LogKind::Start},
        {texts::kProtectionStopped, LogKind::Stop},
        {texts::kMonitoringStopped, LogKind::Stop},
        {texts::kNotProtected, LogKind::Stop},
        {texts::kOwnerSilent, LogKind::Problem},
        {texts::kNotEmptied, LogKind::Problem},
    }};
    if (line.starts_with(texts::kDetailIndent)) return LogKind::Detail;
    for (const auto& [prefix, kind] : kPrefixes)
        if (line.starts_with(prefix)) return kind;
    return LogKind::Problem;
}

}  // namespace zanthrel
