// The Windows program's command line, its log echo and its tray icon, under Wine: zanthrel.exe is
// started with pipes for its standard handles, as a shell with a redirect starts it.

#include "tests/win32/shell_support.h"

using namespace zanthrel;
using namespace zanthrel::shelltest;
using namespace std::chrono_literals;
using zanthrel::testing::waitUntil;

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
