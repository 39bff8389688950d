#include "core/program_identity.h"

#include <algorithm>

namespace zanthrel {

std::string describeProgram(const ProgramIdentity& program) {
    const std::string pid = std::to_string(program.processId);
    // A name is whatever the program called its executable: it is shown as it is, but never lets a line
    // break or grow the log without bound.
    std::string name = program.name.substr(0, 64);
    std::replace_if(
        name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    switch (program.source) {
        case ProgramIdentity::Source::System: return name + " (process " + pid + ")";
        case ProgramIdentity::Source::ClientClaim:
            return name + " (process " + pid + " by its own word, which the system could not confirm)";
        case ProgramIdentity::Source::Exited:
            if (!name.empty()) return name + " (process " + pid + ", which has since exited)";
            return "a program that has exited (process " + pid + ")";
        case ProgramIdentity::Source::OtherHost: return "a program on another computer";
        case ProgramIdentity::Source::Unknown: break;
    }
    return "an unknown program";
}

}  // namespace zanthrel
