// The Windows program beside other copies of itself and other programs, under Wine: one guard per
// session, its lines in the system's event log, and the programs it names.

#include "tests/win32/shell_support.h"

using namespace zanthrel;
using namespace zanthrel::shelltest;
using namespace std::chrono_literals;
using zanthrel::testing::waitUntil;

namespace {

int windowsOfClass(const wchar_t* className) {
    int count = 0;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr;) ++count;
    return count;
}

// A start that finds a guard running: it ends with status 0, having handed its options over.
DWORD secondStart(const std::wstring& arguments) {
    Pipe out, err;
    Started program;
    start(program, arguments, out, err);
    const DWORD code = program.waitForExit();
    CHECK_MSG(!windowOf(program.process.dwProcessId, win32::kMainWindowClass), "a second start opened a window");
    return code;
}

}  // namespace

// The autostart entry's start, then one guard per session: a second start hands its options to the
// running guard, which acts on them as on its buttons; a hung guard does not keep a new one from
// guarding, nor does a guard that ended.
TEST_CASE("single-instance") {
    Pipe out, err;
    Started first;
    start(first, L"--echo-log --monitor --minimized", out, err);
    const DWORD id = first.process.dwProcessId;
    HWND main = nullptr;
    HWND tray = nullptr;
    CHECK(waitUntil([&] { return (main = windowOf(id, win32::kMainWindowClass)) != nullptr; }, 30s));
    CHECK(waitUntil([&] { return (tray = windowOf(id, win32::kTrayWindowClass)) != nullptr; }, 10s));
    const std::string launched = std::string(texts::kNotProtected) + "\n" + std::string(texts::kProtectionStarted);
    CHECK_MSG(waitUntil([&] { return out.available().starts_with(launched); }, 10s), "echoed: " + out.available());
    CHECK_MSG(buttonText(main, "cmdStartPause") == texts::kStopCaption, "--monitor is not monitoring");
    CHECK_MSG(!IsWindowVisible(main) || IsIconic(main), "--minimized showed the window");

    CHECK_MSG(secondStart(L"--block") == 0, "the second start did not end with status 0");
    CHECK_MSG(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == texts::kUnblockCaption; }, 10s),
              "the running guard did not block");
    CHECK_MSG(waitUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }, 10s), "the window stayed hidden");
    const std::string log = out.available();
    CHECK_MSG(log.find(texts::kMonitoringStopped) != std::string::npos &&
                  log.find(texts::kClipboardBlocked) > log.find(texts::kMonitoringStopped),
              "echoed: " + log);
    CHECK_MSG(windowsOfClass(win32::kMainWindowClass) == 1, "more than one guard window");
    {
        Pipe out2, err2;
        Started refused;
        start(refused, L"--monitor --block", out2, err2);
        CHECK(refused.waitForExit() == 2);
        CHECK_MSG(err2.available().find('\n') == err2.available().size() - 1, "refusal: " + err2.available());
    }
    // Unblocked from the tray, blocked again by a second start: monitoring is then refused as the button
    // refuses it, with the information box.
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0);
    CHECK(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == texts::kBlockCaption; }, 10s));
    CHECK(secondStart(L"--block --minimized") == 0);
    CHECK(waitUntil([&] { return buttonText(main, "cmdEnableDisable") == texts::kUnblockCaption; }, 10s));
    CHECK(secondStart(L"--monitor --minimized") == 0);
    HWND box = nullptr;
    CHECK_MSG(waitUntil([&] { return (box = windowOf(id, L"#32770")) && IsWindowVisible(box); }, 10s), "no info box");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(waitUntil([&] { return !IsWindow(box); }, 10s));

    // The guard hangs: a new start waits for it no longer than the deadline, then guards itself.
    CHECK(SuspendThread(first.process.hThread) != static_cast<DWORD>(-1));
    const auto hungAt = std::chrono::steady_clock::now();
    Pipe out3, err3;
    Started third;
    start(third, L"--echo-log", out3, err3);
    const auto [thirdMain, thirdTray] = waitForWindows(third.process.dwProcessId);
    std::printf(
        "a start beside a hung guard guarded after %lld ms\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - hungAt).count()));
    ResumeThread(first.process.hThread);
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK(first.waitForExit() == 0);

    // A guard that ended leaves nothing behind that would hold up the next start.
    PostMessageW(thirdTray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK(third.waitForExit() == 0);
    Pipe out4, err4;
    Started fourth;
    start(fourth, L"", out4, err4);
    const auto [fourthMain, fourthTray] = waitForWindows(fourth.process.dwProcessId);
    PostMessageW(fourthTray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK(fourth.waitForExit() == 0);
}

namespace {

// A picture as Print Screen puts one on the clipboard, in a colour of its own for each seed.
void copyPicture(int seed) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 24, 24);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const HBRUSH brush = CreateSolidBrush(RGB(40 * seed, 255 - 50 * seed, 90));
    const RECT all{0, 0, 24, 24};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    CHECK(waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 10s));
    EmptyClipboard();
    SetClipboardData(CF_BITMAP, bitmap);  // the clipboard owns it from now on
    CloseClipboard();
}

// The file Wine writes the guard's debug output to: Wine gives a program's debug channels the Unix
// standard error it inherited, which no Windows pipe replaces; system_log_test.sh names the file.
std::string wineDebugOutput() {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZANTHREL_WINE_DEBUG", path, MAX_PATH) == 0) return {};
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

struct ReportedEvent {
    unsigned type = 0;
    unsigned long id = 0;
    std::string text;
};

// What Wine's debug channels say of ReportEventW (WINEDEBUG=fixme+advapi,+eventlog): the call with
// its type and event id, then each of its strings.
std::vector<ReportedEvent> reportedEvents(const std::string& debugOutput) {
    std::vector<ReportedEvent> events;
    std::size_t at = 0;
    while ((at = debugOutput.find(":ReportEventW ", at)) != std::string::npos) {
        const std::size_t end = debugOutput.find('\n', at);
        const std::string line = debugOutput.substr(at, end - at);
        at = end;
        ReportedEvent event;
        if (std::sscanf(line.c_str(), ":ReportEventW (%*[^,],0x%x,0x%*x,0x%lx", &event.type, &event.id) == 2)
            events.push_back(event);
        else if (line.starts_with(":ReportEventW L\"") && !events.empty())
            events.back().text = line.substr(16, line.size() - 17);
    }
    return events;
}

}  // namespace

// --system-log: each log line goes to the event log with the event id of its kind, the alarm as a
// warning and the rest as information, through a monitoring run that ends in the alarm.
TEST_CASE("system-log") {
    // Wine keeps no event log; its debug output shows each event as the program reports it.
    CHECK_MSG(GetEnvironmentVariableW(L"ZANTHREL_WINE_DEBUG", nullptr, 0) > 0, "run through system_log_test.sh");
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,fixme+advapi,+eventlog");
    Pipe out, err;
    Started program;
    start(program, L"--system-log --monitor --echo-log", out, err);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all");
    const auto [main, tray] = waitForWindows(program.process.dwProcessId);
    CHECK(waitUntil([&] { return out.available().find(texts::kProtectionStarted) != std::string::npos; }, 10s));
    for (int seed = 1; seed <= 4; ++seed) {
        copyPicture(seed);
        const auto counted = [&] {
            std::size_t count = 0;
            for (std::size_t at = 0; (at = out.available().find(texts::kCaptureDetected, at)) != std::string::npos;
                 ++at)
                ++count;
            return count;
        };
        CHECK_MSG(waitUntil([&] { return counted() == static_cast<std::size_t>(seed); }, 10s),
                  "capture " + std::to_string(seed) + " not counted: " + out.available());
    }
    HWND box = nullptr;
    CHECK_MSG(
        waitUntil([&] { return (box = windowOf(program.process.dwProcessId, L"#32770")) && IsWindowVisible(box); },
                  10s),
        "no alarm: " + out.available());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(waitUntil([&] { return !IsWindow(box); }, 10s));
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::EnableDisable, 0);  // unblock
    CHECK(waitUntil([&] { return out.available().find(texts::kClipboardUnblocked) != std::string::npos; }, 10s));

    // Every line the window logged was reported, in order, with its kind's event id.
    std::vector<std::string> logged;
    for (std::size_t at = 0, end = 0; (end = out.available().find('\n', at)) != std::string::npos; at = end + 1)
        logged.push_back(out.available().substr(at, end - at));
    const std::pair<std::string_view, unsigned long> ids[] = {
        {texts::kProtectionStarted, 1},  {texts::kNotProtected, 2}, {texts::kProtectionStopped, 2},
        {texts::kCaptureDetected, 3},    {texts::kAlarmRaised, 4},  {texts::kClipboardBlocked, 5},
        {texts::kClipboardUnblocked, 6},
    };
    std::vector<ReportedEvent> events;
    CHECK_MSG(waitUntil([&] { return (events = reportedEvents(wineDebugOutput())).size() >= logged.size(); }, 10s),
              std::to_string(logged.size()) + " lines logged, " + std::to_string(events.size()) + " reported");
    bool alarmSeen = false;
    for (std::size_t i = 0; i < logged.size(); ++i) {
        CHECK_MSG(events[i].text == logged[i], "reported '" + events[i].text + "' for '" + logged[i] + "'");
        unsigned long expected = 0;
        for (const auto& [prefix, id] : ids)
            if (logged[i].starts_with(prefix)) expected = id;
        CHECK_MSG(events[i].id == expected, "event id " + std::to_string(events[i].id) + " for '" + logged[i] + "'");
        CHECK_MSG(events[i].type == (expected == 4 ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE),
                  "event type of '" + logged[i] + "'");
        alarmSeen = alarmSeen || expected == 4;
    }
    CHECK_MSG(alarmSeen, "no alarm reported");
    PostMessageW(tray, WM_COMMAND, win32::TrayIcon::Quit, 0);
    CHECK(program.waitForExit() == 0);
}

namespace {

// A 16 x 16 packed DIB of one colour, as a program that wrote the picture itself puts it on the clipboard.
void copyDibAs(HWND owner, int seed) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = 16;
    header.biHeight = 16;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const std::size_t pixels = 16 * 16 * 3;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof header + pixels);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    std::memcpy(bytes, &header, sizeof header);
    std::memset(bytes + sizeof header, 30 * seed, pixels);
    GlobalUnlock(block);
    CHECK(waitUntil([&] { return OpenClipboard(owner) != FALSE; }, 10s));
    EmptyClipboard();
    SetClipboardData(CF_DIB, block);
    CloseClipboard();
}

}  // namespace

// Another program copying pictures is named by the image file it runs from and its process id, under each
// capture and at the alarm; a picture put there without an owner window is said to come from an unknown
// program.
TEST_CASE("names-copier") {
    Pipe out, err;
    Started program;
    start(program, L"--monitor --echo-log", out, err);
    waitForWindows(program.process.dwProcessId);
    CHECK(waitUntil([&] { return out.available().find(texts::kProtectionStarted) != std::string::npos; }, 10s));
    const HWND owner = CreateWindowExW(0, L"STATIC", L"copier", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    CHECK(owner != nullptr);
    const std::string us = "zanthrel_shell_test.exe (process " + std::to_string(GetCurrentProcessId()) + ")";
    // The copier answers the messages the guard sends its window, as a live program does.
    const auto pump = [] {
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
    };
    const auto logged = [&](const std::string& line, bool prefix = false) {
        pump();
        return out.available().find("\n" + line + (prefix ? "" : "\n")) != std::string::npos;
    };
    // Alone, an unknown program is not worth a line of its own; beside a known one it is listed.
    copyDibAs(nullptr, 1);
    CHECK_MSG(waitUntil([&] { return logged(std::string(texts::kCaptureDetected), true); }, 10s),
              "echoed: " + out.available());
    for (int seed = 2; seed <= 4; ++seed) {
        copyDibAs(owner, seed);
        CHECK_MSG(waitUntil(
                      [&] {
                          pump();
                          std::size_t count = 0;
                          for (std::size_t at = 0;
                               (at = out.available().find("    Copied by " + us, at)) != std::string::npos; ++at)
                              ++count;
                          return count >= static_cast<std::size_t>(seed - 1);
                      },
                      10s),
                  "capture " + std::to_string(seed) + " not named: " + out.available());
    }
    CHECK_MSG(waitUntil([&] { return logged("    Copied by an unknown program, " + us); }, 10s),
              "no naming line at the alarm: " + out.available());
    const std::string echoed = out.available();
    const std::size_t alarm = echoed.find(texts::kAlarmRaised);
    CHECK_MSG(alarm != std::string::npos &&
                  echoed.find("\n    Copied by an unknown program, " + us, alarm) == echoed.find('\n', alarm),
              "the naming line is not under the alarm's: " + echoed);
    DestroyWindow(owner);
    HWND box = nullptr;
    CHECK(waitUntil([&] { return (box = windowOf(program.process.dwProcessId, L"#32770")) != nullptr; }, 10s));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(waitUntil([&] { return !IsWindow(box); }, 10s));
    std::printf("%s", echoed.c_str());
}
