#pragma once

#include <stdexcept>
#include <string>

namespace zanthrel {

// The run-time errors the program can meet. They end the current operation and pass to its caller,
// except where a handler chooses to ignore them statement by statement.
enum class ErrorKind {
    Overflow,             // whole-number arithmetic or conversion left the signed 32-bit range
    SubscriptOutOfRange,  // an index outside an array's bounds
    OutOfMemory,          // storage for a pixel buffer could not be had
    ClipboardBusy,        // another program holds the clipboard open
    PlatformFailure,      // anything else the desktop refused
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(ErrorKind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    ErrorKind kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

}  // namespace zanthrel
