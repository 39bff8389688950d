#pragma once

#include <cstdint>
#include <string>

#include "core/program_identity.h"

namespace zanthrel::posix {

// A process on this machine, as the kernel's process table has it: the executable's name (or the
// name the process gave itself in /proc when the executable cannot be read). Exited when no such
// process is running any more. `root` stands for /proc, so that tests can lay out a table of their own.
ProgramIdentity processIdentity(std::uint32_t processId, ProgramIdentity::Source source,
                                const std::string& root = "/proc");

}  // namespace zanthrel::posix
