#include "platform/posix/process_table.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace zanthrel::posix {
namespace {

// A process that has ended stays in the table as a zombie until its parent collects it.
bool ended(const std::string& directory) {
    std::ifstream stat(directory + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    // The name in brackets may hold anything, brackets and spaces too; the state follows the last one.
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return false;
    const char state = line[close + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

}  // namespace

ProgramIdentity processIdentity(std::uint32_t processId, ProgramIdentity::Source source, const std::string& root) {
    const std::string directory = root + "/" + std::to_string(processId);
    std::ifstream comm(directory + "/comm");
    std::string name;
    if (processId == 0 || !comm || !std::getline(comm, name) || ended(directory))
        return {ProgramIdentity::Source::Exited, {}, processId};
    // The executable's file name is longer than comm's fifteen characters and not the process's to rename;
    // it is readable for processes of the same user only.
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink(directory + "/exe", error);
    if (!error && !executable.filename().empty()) {
        name = executable.filename().string();
        constexpr std::string_view kDeleted = " (deleted)";
        if (name.ends_with(kDeleted)) name.erase(name.size() - kDeleted.size());
    }
    return {source, name, processId};
}

}  // namespace zanthrel::posix
