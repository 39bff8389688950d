#include "platform/posix/process_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <system_error>

namespace zanthrel::posix {
namespace {

// Entries of the process table read before the look gives up ordering them: far more than run at once.
constexpr std::size_t kMostProcessesListed = 1u << 16;

struct CloseDirectory {
    void operator()(DIR* directory) const noexcept { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, CloseDirectory>;

// What follows the name in /proc/PID/stat, from the state on. The name in brackets may hold anything,
// brackets and spaces too; the state follows the last one.
std::string statAfterName(const std::string& directory) {
    std::ifstream stat(directory + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return {};
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return {};
    return line.substr(close + 2);
}

bool endedState(const std::string& fields) {
    return !fields.empty() && (fields[0] == 'Z' || fields[0] == 'X' || fields[0] == 'x');
}

// A process that has ended stays in the table as a zombie until its parent collects it.
bool ended(const std::string& directory) {
    return endedState(statAfterName(directory));
}

bool holds(std::uint32_t processId, std::uint64_t inode, std::size_t& budget, const std::string& root) {
    const std::vector<std::uint64_t> sockets = socketsOf(processId, budget, root);
    return std::find(sockets.begin(), sockets.end(), inode) != sockets.end();
}

std::optional<std::uint32_t> processNumber(std::string_view name) {
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc{} || end != name.data() + name.size() || number == 0) return std::nullopt;
    return number;
}

bool ownedByThisUser(const std::string& directory) {
    struct stat status {};
    return stat(directory.c_str(), &status) == 0 && status.st_uid == geteuid();
}

// "socket:[1234]", as a descriptor of a socket reads.
std::optional<std::uint64_t> socketInode(std::string_view link) {
    constexpr std::string_view kPrefix = "socket:[";
    if (!link.starts_with(kPrefix) || !link.ends_with(']')) return std::nullopt;
    link = link.substr(kPrefix.size(), link.size() - kPrefix.size() - 1);
    std::uint64_t inode = 0;
    const auto [end, error] = std::from_chars(link.data(), link.data() + link.size(), inode);
    if (error != std::errc{} || end != link.data() + link.size()) return std::nullopt;
    return inode;
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

std::optional<std::uint64_t> processStartTime(std::uint32_t processId, const std::string& root) {
    if (processId == 0) return std::nullopt;
    std::istringstream fields(statAfterName(root + "/" + std::to_string(processId)));
    // The start time is the twenty-second field; the state, the third, is the first after the name.
    std::string field;
    for (int index = 3; index <= 22; ++index)
        if (!(fields >> field)) return std::nullopt;
    std::uint64_t ticks = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), ticks);
    if (error != std::errc{} || end != field.data() + field.size()) return std::nullopt;
    return ticks;
}

std::vector<std::uint64_t> socketsOf(std::uint32_t processId, std::size_t& budget, const std::string& root) {
    std::vector<std::uint64_t> sockets;
    const std::string directory = root + "/" + std::to_string(processId);
    if (processId == 0 || budget == 0 || !ownedByThisUser(directory)) return sockets;
    const Directory descriptors(opendir((directory + "/fd").c_str()));
    if (!descriptors) return sockets;
    char link[64];
    while (budget > 0) {
        const dirent* entry = readdir(descriptors.get());
        if (!entry) break;
        if (entry->d_name[0] == '.') continue;
        --budget;
        const ssize_t length = readlinkat(dirfd(descriptors.get()), entry->d_name, link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link) continue;
        if (const auto inode = socketInode(std::string_view(link, static_cast<std::size_t>(length))))
            sockets.push_back(*inode);
    }
    return sockets;
}

std::optional<std::uint32_t> socketHolder(std::uint64_t inode, std::uint32_t after, std::size_t& budget,
                                          const std::string& root) {
    std::vector<std::uint32_t> processes;
    if (const Directory table{opendir(root.c_str())}) {
        while (const dirent* entry = readdir(table.get())) {
            if (processes.size() >= kMostProcessesListed) break;
            if (const auto number = processNumber(entry->d_name)) processes.push_back(*number);
        }
    }
    // The first looked at are those given ids after `after`, nearest first; ids wrap round at their limit.
    const auto distance = [after](std::uint32_t process) { return process - after - 1; };
    const std::size_t looked = std::min(processes.size(), kMostProcessesLooked);
    std::partial_sort(processes.begin(), processes.begin() + static_cast<std::ptrdiff_t>(looked), processes.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return distance(a) < distance(b); });
    for (std::size_t index = 0; index < looked && budget > 0; ++index)
        if (holds(processes[index], inode, budget, root) && !ended(root + "/" + std::to_string(processes[index])))
            return processes[index];
    return std::nullopt;
}

std::optional<std::uint32_t> childHolding(std::uint32_t parent, std::uint64_t inode, std::size_t& budget,
                                          const std::string& root) {
    for (std::uint32_t step = 1; step <= kNextProcessIds && budget > 0; ++step) {
        --budget;
        const std::uint32_t child = parent + step;
        std::istringstream fields(statAfterName(root + "/" + std::to_string(child)));
        std::string state;
        std::uint32_t parentOfChild = 0;
        if (!(fields >> state >> parentOfChild) || parentOfChild != parent || endedState(state)) continue;
        if (holds(child, inode, budget, root)) return child;
    }
    return std::nullopt;
}

}  // namespace zanthrel::posix
