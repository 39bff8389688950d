#pragma once

#include <cstdint>
#include <string>

namespace zanthrel {

// Who a program is, as far as the desktop would say. The platform finds out; the guard decides where it
// is shown.
struct ProgramIdentity {
    enum class Source {
        System,       // the window system or the kernel named the process: a program cannot lie about it
        ClientClaim,  // only the program's own word (a window property it set itself) was available
        Exited,       // its process ended; `processId` is what it was, `name` what it ran if that was learnt in time
        OtherHost,    // it talks to the display from another computer
        Unknown,      // the desktop does not say who it is
    };
    Source source = Source::Unknown;
    std::string name;  // the executable's name, for System and ClientClaim (and Exited when known)
    std::uint32_t processId = 0;

    friend bool operator==(const ProgramIdentity&, const ProgramIdentity&) = default;
};

// "flameshot (process 4242)" and the like: how a program is named in the log and the notification.
std::string describeProgram(const ProgramIdentity& program);

}  // namespace zanthrel
