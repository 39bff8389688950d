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

// Linux's flag of a task that has begun to exit (PF_EXITING in the kernel's sched.h).
constexpr std::uint64_t kExiting = 0x4;

// What follows the name in /proc/PID/stat, from the state on. The name in brackets may hold anything,
// brackets and spaces too; the state follows the last one.
std::string statAfterName(const std::string& directory) {
    // Read at once, without a stream: the holder looks read it for many processes in a row.
    char line[1024];
    const int fd = open((directory + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t length = read(fd, line, sizeof line);
    close(fd);
    if (length <= 0) return {};
    const std::string_view text(line, static_cast<std::size_t>(length));
    const auto end = text.rfind(')');
    if (end == std::string_view::npos || end + 2 >= text.size()) return {};
    return std::string(text.substr(end + 2));
}

std::optional<ProcessState> stateOf(const std::string& directory) {
    const std::string fields = statAfterName(directory);
    // The state is the third field, the first after the name; the parent, flags and start time are the
    // fourth, ninth and twenty-second. The state alone tells that a process ended.
    if (fields.empty()) return std::nullopt;
    ProcessState process;
    process.ended = fields[0] == 'Z' || fields[0] == 'X' || fields[0] == 'x';
    std::uint64_t flags = 0;
    std::string_view rest(fields);
    for (int index = 3; index <= 22 && !rest.empty(); ++index) {
        const std::size_t space = rest.find(' ');
        const std::string_view field = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
        if (error != std::errc{} || end != field.data() + field.size()) value = 0;
        if (index == 4) process.parent = static_cast<std::uint32_t>(value);
        if (index == 9) flags = value;
        if (index == 22) process.started = value;
    }
    process.exiting = (flags & kExiting) != 0;
    return process;
}

// A process that has ended stays in the table as a zombie until its parent collects it.
bool ended(const std::string& directory) {
    const std::optional<ProcessState> process = stateOf(directory);
    return process && process->ended;
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

std::optional<ProcessState> processState(std::uint32_t processId, const std::string& root) {
    if (processId == 0) return std::nullopt;
    return stateOf(root + "/" + std::to_string(processId));
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
        if (processes[index] != after && holds(processes[index], inode, budget, root) &&
            !ended(root + "/" + std::to_string(processes[index])))
            return processes[index];
    return std::nullopt;
}

std::optional<std::uint32_t> childHolding(std::uint32_t parent, std::uint64_t inode, std::size_t& budget,
                                          const std::string& root) {
    for (std::uint32_t step = 1; step <= kNextProcessIds && budget > 0; ++step) {
        --budget;
        const std::uint32_t child = parent + step;
        const std::optional<ProcessState> process = processState(child, root);
        if (process && process->parent == parent && !process->ended && holds(child, inode, budget, root)) return child;
    }
    return std::nullopt;
}

}  // namespace zanthrel::posix
