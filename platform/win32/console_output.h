#pragma once

#include <windows.h>

#include <string_view>

namespace zanthrel::win32 {

// Standard output for a program of the GUI subsystem, which starts without a console: the handle it
// inherited (a redirect or a pipe) if there is one, otherwise, when `attachToParent` allows, the console
// of the program that started it. A long-running program should not attach: closing that console would
// end it too.
class ConsoleOutput {
public:
    // `which`: STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
    ConsoleOutput(DWORD which, bool attachToParent);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    bool available() const noexcept { return handle_ != nullptr; }
    // Writes UTF-8 text; lines end in "\n" and reach a console as "\r\n". Returns false when it could not.
    bool write(std::string_view text) const;

private:
    HANDLE handle_ = nullptr;
    bool console_ = false;     // a console wants UTF-16 through WriteConsoleW
    bool ownsHandle_ = false;  // CONOUT$ opened here, after attaching to the parent's console
};

// Shows `text` where a user started the program from: its standard output or console, else a message
// box, for --help, --version and a refused command line.
void reportToUser(std::string_view text, bool isError);

}  // namespace zanthrel::win32
