#include "platform/shell/start_options.h"

#include <vector>

#include "guard/guard.h"

namespace zanthrel {
namespace {

bool wouldClick(const CommandState& command) {
    return command.enabled && !command.on;
}

}  // namespace

bool applyStartOptions(Guard& guard, const CommandLine& options) {
    const GuardState& state = guard.state();
    if (options.monitor && wouldClick(state.monitoring)) {
        guard.toggleMonitoring();
        return true;
    }
    if (options.block && wouldClick(state.blocking)) {
        guard.toggleBlocking();
        return true;
    }
    return false;
}

std::string handOverMessage(const CommandLine& options) {
    std::string message;
    if (options.monitor) message += "--monitor\n";
    if (options.block) message += "--block\n";
    if (options.minimized) message += "--minimized\n";
    if (options.systemLog) message += "--system-log\n";
    return message;
}

std::optional<CommandLine> parseHandOverMessage(std::string_view message) {
    if (message.size() > kLongestHandOverMessage) return std::nullopt;
    std::vector<std::string_view> arguments;
    while (!message.empty()) {
        const std::size_t end = message.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // every option ends its line
        arguments.push_back(message.substr(0, end));
        message.remove_prefix(end + 1);
    }
    CommandLine options = parseCommandLine(arguments);
    if (options.action != CommandLine::Action::Run || options.echoLog) return std::nullopt;
    return options;
}

}  // namespace zanthrel
