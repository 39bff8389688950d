// zanthrel.exe: the main window on the portable core, with the Windows clipboard, GDI and timers.

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "guard/guard.h"
#include "platform/shell/command_line.h"
#include "platform/shell/start_options.h"
#include "platform/win32/console_output.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/desktop_services.h"
#include "platform/win32/event_log.h"
#include "platform/win32/guard_events.h"
#include "platform/win32/information_dialog.h"
#include "platform/win32/main_window.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/text_encoding.h"
#include "platform/win32/tray_icon.h"
#include "platform/win32/win32_clipboard.h"

namespace {

using namespace zanthrel;
using namespace zanthrel::win32;

// Everything the running program consists of, wired together once.
class Application {
public:
    Application(HINSTANCE instance, HICON icon, const CommandLine& commandLine)
        : instance_(instance),
          options_(commandLine),
          echoLog_(commandLine.echoLog),
          window_(instance, icon),
          clipboard_(&window_, kClipboardNewsMessage, true),
          ticks_(kTickMessage),
          events_(clipboard_, ticks_),
          windowServices_(window_),
          dialog_(instance, icon, window_),
          guard_(DesktopServices{clipboard_, ticks_, windowServices_, dialog_, windowServices_, dateTime_}) {}

    int run(int showCommand) {
        window_.create(guard_);
        window_.setGuardEvents(&events_);
        events_.attach(window_.hwnd());
        programs_ = std::make_unique<ProgramLookup>(window_.hwnd());
        events_.setProgramLookup(programs_.get());
        followChanges();
        guard_.setObserver(&window_);
        guard_.start();  // before the window is first shown
        applyStartOptions(guard_, options_);
        // Minimized: in the notification area, or where there is none, minimized without the focus.
        if (options_.minimized) showCommand = tray_->inNotificationArea() ? SW_HIDE : SW_SHOWMINNOACTIVE;
        window_.show(showCommand);
        try {
            handOver_.create();
        } catch (...) {
            // Second starts cannot reach this guard and guard themselves after the deadline; this one goes on.
        }

        MSG message{};
        BOOL got = 0;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
            // The dialog manager's keyboard handling gives the main window Tab between its controls.
            if (window_.hwnd() && IsDialogMessageW(window_.hwnd(), &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        guard_.setObserver(nullptr);
        // Removing the tray icon waits on the shell, and messages sent to the tray meanwhile still read
        // the guard: the tray goes while the guard is still there, not after it as members would.
        window_.setChangeListener(nullptr);
        tray_.reset();
        eventLog_.reset();
        return got < 0 ? 1 : static_cast<int>(message.wParam);
    }

private:
    // The tray icon and the log echo follow what the window shows.
    void followChanges() {
        tray_ = std::make_unique<TrayIcon>(instance_, guard_, window_.hwnd());
        tray_->create();
        if (echoLog_) echo_ = std::make_unique<ConsoleOutput>(STD_OUTPUT_HANDLE, false);
        if (options_.systemLog) eventLog_ = std::make_unique<EventLog>();
        window_.setChangeListener([this](GuardChange change) {
            tray_->guardChanged(change);
            if (change != GuardChange::Log || guard_.state().log.empty()) return;
            if (echo_) echo_->write(guard_.state().log.back() + "\n");
            if (eventLog_) eventLog_->add(guard_.state().log.back());
        });
    }

    // A second start's options, as this guard's user would act on them: the buttons' clicks unless a
    // modal box holds the window (its buttons take no clicks then), and the window brought forward.
    void actOnHandOver(const CommandLine& options) noexcept {
        try {
            if (options.systemLog && !eventLog_) eventLog_ = std::make_unique<EventLog>();
        } catch (...) {
            // No thread for the event log: the guard goes on without it, as it was.
        }
        const HWND main = window_.hwnd();
        if (IsWindowEnabled(main) && Window::handlerDepth() - 1 <= Window::modalDepth())
            applyStartOptions(guard_, options);
        if (options.minimized) return;
        ShowWindow(main, IsIconic(main) ? SW_RESTORE : SW_SHOW);
        // The box that holds the window, if one does, is what comes forward.
        SetForegroundWindow(GetLastActivePopup(main));
    }

    HINSTANCE instance_;
    CommandLine options_;
    bool echoLog_;
    std::unique_ptr<ConsoleOutput> echo_;
    std::unique_ptr<EventLog> eventLog_;
    std::unique_ptr<TrayIcon> tray_;
    MainWindow window_;
    Win32Clipboard clipboard_;
    TickService ticks_;
    GuardEvents events_;
    std::unique_ptr<ProgramLookup> programs_;
    WindowServices windowServices_;
    LocalDateTimeText dateTime_;
    InformationDialog dialog_;
    Guard guard_;
    HandOverWindow handOver_{instance_, [this](const CommandLine& options) { actOnHandOver(options); }};
};

}  // namespace

namespace {

CommandLine readCommandLine() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) arguments.push_back(toUtf8(wide[i]));
    if (wide) LocalFree(wide);
    return parseCommandLine(std::vector<std::string_view>(arguments.begin(), arguments.end()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const CommandLine commandLine = readCommandLine();
    if (commandLine.action != CommandLine::Action::Run) {
        reportToUser(commandLine.text, commandLine.action == CommandLine::Action::Refuse);
        return commandLine.exitCode();
    }
    // One guard per session: a second start hands its options over and ends here, before any window.
    const GuardClaim guard = claimOrHandOver(handOverMessage(commandLine));
    if (guard.outcome == GuardClaim::Outcome::HandedOver) return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const auto icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconGroupId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    try {
        Application application(instance, icon, commandLine);
        return application.run(showCommand);
    } catch (...) {
        return 1;  // the window could not be made; there is nothing to show the user in
    }
}
