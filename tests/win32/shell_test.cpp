// The Windows program's command line, its log echo and its tray icon, under Wine: zanthrel.exe is
// started with pipes for its standard handles, as a shell with a redirect starts it.

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

#include "layout/main_window_layout.h"
#include "core/texts.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/tray_icon.h"
#include "tests/win32/check.h"

using namespace zanthrel;
using namespace std::chrono_literals;
using zanthrel::testing::waitUntil;

namespace {

// The zanthrel.exe next to this program, or the one ZANTHREL_EXE names (an installed copy).
std::wstring programPath() {
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

void start(Started& started, const std::wstring& arguments, Pipe& out, Pipe& err) {
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
HWND windowOf(DWORD processId, const wchar_t* className) {
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
std::pair<HWND, HWND> waitForWindows(DWORD processId) {
    HWND main = nullptr;
    HWND tray = nullptr;
    CHECK_MSG(
        waitUntil([&] { return (main = windowOf(processId, win32::kMainWindowClass)) && IsWindowVisible(main); }, 30s),
        "no main window");
    CHECK_MSG(waitUntil([&] { return (tray = windowOf(processId, win32::kTrayWindowClass)) != nullptr; }, 10s),
              "no tray window");
    return {main, tray};
}

std::string buttonText(HWND main, std::string_view name) {
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

}  // namespace

TEST_CASE("command-line") {
    {
        Pipe out, err;
        Started program;
        start(program, L"--version", out, err);
        CHECK(program.waitForExit() == 0);
        CHECK_MSG(out.available() == "zanthrel " ZANTHREL_EXPECTED_VERSION "\n", "printed '" + out.available() + "'");
    }
    {
        Pipe out, err;
        Started program;
        start(program, L"--help", out, err);
        CHECK(program.waitForExit() == 0);
        CHECK_MSG(out.available().find("--echo-log") != std::string::npos, "help: '" + out.available() + "'");
    }
    {
        Pipe out, err;
        Started program;
        start(program, L"--no-such-option", out, err);
        CHECK(program.waitForExit() == 2);
        const std::string error = err.available();
        CHECK_MSG(error.find("'--no-such-option'") != std::string::npos && error.find('\n') == error.size() - 1,
                  "the error must be one line naming the option: '" + error + "'");
        CHECK(out.available().empty());
        CHECK_MSG(!windowOf(program.process.dwProcessId, win32::kMainWindowClass), "a refused start opened a window");
    }
}

TEST_CASE("echo-log-and-tray") {
    Pipe out, err;
    Started program;
    start(program, L"--echo-log", out, err);
    const DWORD id = program.process.dwProcessId;
    const auto [main, tray] = waitForWindows(id);
    const std::string first = std::string(texts::kNotProtected) + "\n";
    CHECK_MSG(waitUntil([&] { return out.available() == first; }, 10s), "echoed: '" + out.available() + "'");

    // The tray's block command: the window's button follows, the log line is echoed at once.
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0);
    CHECK_MSG(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == texts::kUnblockCaption; }, 10s),
              "blocking from the tray did not reach the window");
    CHECK_MSG(waitUntil([&] { return out.available().find(texts::kClipboardBlocked) == first.size(); }, 10s),
              "echoed: '" + out.available() + "'");
    // Monitoring while blocked opens the information box, as the window's button does; while that modal
    // box is open the tray's commands wait, as the window's buttons do.
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::StartPause, 0);
    HWND box = nullptr;
    CHECK_MSG(waitUntil([&] { return (box = windowOf(id, L"#32770")) && IsWindowVisible(box); }, 10s), "no info box");
    // Sent rather than posted: it has been handled once the call returns.
    SendMessageTimeoutW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    CHECK_MSG(buttonText(main, "cmdEnableDisable") == texts::kUnblockCaption, "a command ran past a modal box");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(waitUntil([&] { return !IsWindow(box); }, 10s));
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0);
    CHECK_MSG(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == texts::kBlockCaption; }, 10s),
              "unblocking from the tray did not reach the window");

    // Explorer restarting: the icon is added again and the window keeps working.
    SendMessageTimeoutW(tray, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    ShowWindow(main, SW_MINIMIZE);
    CHECK(waitUntil([&] { return IsIconic(main) != FALSE; }, 5s));
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::Show, 0);
    CHECK_MSG(waitUntil([&] { return !IsIconic(main) && IsWindowVisible(main); }, 10s), "Show did not restore");

    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK_MSG(program.waitForExit() == 0, "Quit must end the program normally");
}

// A reader of the log that goes away must not end the guard or stop it.
TEST_CASE("echo-reader-gone") {
    Pipe out, err;
    Started program;
    start(program, L"--echo-log", out, err);
    const auto [main, tray] = waitForWindows(program.process.dwProcessId);
    CHECK(waitUntil([&] { return !out.available().empty(); }, 10s));
    out.closeReadEnd();
    for (const std::string_view caption : {texts::kUnblockCaption, texts::kBlockCaption}) {
        PostMessageW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0);
        CHECK_MSG(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == caption; }, 10s),
                  "the program stopped following commands once its log reader was gone");
    }
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK(program.waitForExit() == 0);
}

int main(int argc, char** argv) {
    return zanthrel::testing::runTests(argc > 1 ? argv[1] : "");
}
