#pragma once

// What the shell tests of zanthrel.exe share: starting it with pipes for its standard handles, as a shell
// with a redirect starts it, and finding its windows.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/texts.h"
#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/tray_icon.h"
#include "tests/win32/check.h"

namespace zanthrel::shelltest {

using namespace std::chrono_literals;
using zanthrel::testing::waitUntil;

// The zanthrel.exe next to this program, or the one ZANTHREL_EXE names (an installed copy).
inline std::wstring programPath() {
    wchar_t chosen[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZANTHREL_EXE", chosen, MAX_PATH) > 0) return chosen;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"zanthrel.exe";
}

// One end of an anonymous pipe that the program inherits as its standard output or error.
class Pipe {
public:
    Pipe() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        CHECK(CreatePipe(&read_, &write_, &inherit, 0));
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
    }
    ~Pipe() {
        closeReadEnd();
        closeWriteEnd();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    HANDLE writeEnd() const { return write_; }
    void closeWriteEnd() {
        if (write_) CloseHandle(write_);
        write_ = nullptr;
    }
    void closeReadEnd() {
        if (read_) CloseHandle(read_);
        read_ = nullptr;
    }
    // What has arrived so far, without waiting.
    std::string available() {
        DWORD waiting = 0;
        while (PeekNamedPipe(read_, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            std::string chunk(waiting, '\0');
            DWORD got = 0;
            if (!ReadFile(read_, chunk.data(), waiting, &got, nullptr)) break;
            text_.append(chunk, 0, got);
        }
        return text_;
    }

private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    std::string text_;
};

struct Started {
    PROCESS_INFORMATION process{};
    ~Started() {
        if (!process.hProcess) return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    DWORD waitForExit() const {
        CHECK_MSG(WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0, "zanthrel.exe did not end");
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
};

inline void start(Started& started, const std::wstring& arguments, Pipe& out, Pipe& err) {
    std::wstring commandLine = L"\"" + programPath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.writeEnd();
    startup.hStdError = err.writeEnd();
    CHECK_MSG(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &started.process),
              "zanthrel.exe could not be started");
    // Only the child keeps the write ends, so the pipes end when it does.
    out.closeWriteEnd();
    err.closeWriteEnd();
}

// A top-level window of the given class that belongs to the process.
inline HWND windowOf(DWORD processId, const wchar_t* className) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        HWND found;
    } search{processId, className, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner != s.processId || std::wstring(name) != s.className) return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The program's main window, once shown, and its tray icon's hidden window.
inline std::pair<HWND, HWND> waitForWindows(DWORD processId) {
    HWND main = nullptr;
    HWND tray = nullptr;
    CHECK_MSG(
        waitUntil([&] { return (main = windowOf(processId, win32::kMainWindowClass)) && IsWindowVisible(main); }, 30s),
        "no main window");
    CHECK_MSG(waitUntil([&] { return (tray = windowOf(processId, win32::kTrayWindowClass)) != nullptr; }, 10s),
              "no tray window");
    return {main, tray};
}

inline std::string buttonText(HWND main, std::string_view name) {
    const auto controls = mainWindowLayout().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].name != name) continue;
        wchar_t text[256] = {};
        GetDlgItemTextW(main, win32::kMainControlIdBase + static_cast<int>(i), text, 256);
        std::string narrow;
        for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);  // the captions are ASCII
        return narrow;
    }
    return {};
}

}  // namespace zanthrel::shelltest
