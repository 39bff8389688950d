#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/program_identity.h"

namespace zanthrel::posix {

// A process on this machine, as the kernel's process table has it: the executable's name (or the
// name the process gave itself in /proc when the executable cannot be read). Exited when no such
// process is running any more. `root` stands for /proc, so that tests can lay out a table of their own.
ProgramIdentity processIdentity(std::uint32_t processId, ProgramIdentity::Source source,
                                const std::string& root = "/proc");

// A process as one read of its entry in the table gives it. Nullopt when there is no such process or its
// entry cannot be read.
struct ProcessState {
    bool ended = false;         // exited, not yet collected by its parent
    bool exiting = false;       // on its way out: the kernel is letting go of what it held
    std::uint32_t parent = 0;   // a child whose parent has exited has another
    std::uint64_t started = 0;  // in clock ticks since boot: tells it from a later process given its id
};
std::optional<ProcessState> processState(std::uint32_t processId, const std::string& root = "/proc");

// The sockets a process of this user holds, by inode, looking at no more than `budget` of its open
// descriptors and taking what it looked at from `budget`.
std::vector<std::uint64_t> socketsOf(std::uint32_t processId, std::size_t& budget, const std::string& root = "/proc");

// A running process of this user other than `after` that holds the socket `inode`. Process ids are
// handed out in rising order, so the processes started after `after` (a parent that left the socket to a
// child) are looked at first; the look stops at kMostProcessesLooked processes or once `budget`
// descriptors were read.
inline constexpr std::size_t kMostProcessesLooked = 1024;
std::optional<std::uint32_t> socketHolder(std::uint64_t inode, std::uint32_t after, std::size_t& budget,
                                          const std::string& root = "/proc");

// A running child of `parent` that holds the socket `inode` too, among the kNextProcessIds ids after the
// parent's, where a child forked soon after the parent started finds itself. Each process looked at
// takes one from `budget`, and each descriptor of a child read one more.
inline constexpr std::uint32_t kNextProcessIds = 16;
std::optional<std::uint32_t> childHolding(std::uint32_t parent, std::uint64_t inode, std::size_t& budget,
                                          const std::string& root = "/proc");

}  // namespace zanthrel::posix
