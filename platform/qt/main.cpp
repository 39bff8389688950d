#include <QApplication>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/qt/app_icon.h"
#include "platform/qt/qt_desktop.h"
#include "platform/x11/guard_selection.h"
#include "platform/posix/system_log.h"
#include "platform/qt/tray_icon.h"
#include "platform/shell/command_line.h"
#include "platform/shell/start_options.h"

namespace {

// Every log line to standard output as it is added, flushed at once, for whoever reads it live.
void echoLog(zanthrel::qt::MainWindow& window, const zanthrel::Guard& guard) {
    QObject::connect(&window, &zanthrel::qt::MainWindow::guardStateShown, &window,
                     [&guard](zanthrel::GuardChange change) {
                         if (change != zanthrel::GuardChange::Log || guard.state().log.empty()) return;
                         const std::string& line = guard.state().log.back();
                         std::fwrite(line.data(), 1, line.size(), stdout);
                         std::fputc('\n', stdout);
                         std::fflush(stdout);
                     });
}

// Tiling compositors stretch a window to its tile, which would bare the working controls kept beyond the
// layout's edge. A window whose smallest and largest sizes agree is left floating at that size.
void keepLayoutSizeWhereTiled(QWidget& window) {
    const bool tiling = !qEnvironmentVariableIsEmpty("SWAYSOCK") || !qEnvironmentVariableIsEmpty("I3SOCK") ||
                        !qEnvironmentVariableIsEmpty("HYPRLAND_INSTANCE_SIGNATURE");
    if (tiling) window.setFixedSize(window.size());
}

// Every log line to the system log as well, once `systemLog` holds one.
void followInSystemLog(zanthrel::qt::MainWindow& window, const zanthrel::Guard& guard,
                       const std::unique_ptr<zanthrel::posix::SystemLog>& systemLog) {
    QObject::connect(&window, &zanthrel::qt::MainWindow::guardStateShown, &window,
                     [&guard, &systemLog](zanthrel::GuardChange change) {
                         if (change != zanthrel::GuardChange::Log || !systemLog || guard.state().log.empty())
                             return;
                         systemLog->add(guard.state().log.back());
                     });
}

// A second start's options, as the running guard's user would act on them: the buttons' clicks, unless
// a modal box holds the window (its buttons take no clicks then), and the window brought forward.
void actOnHandOver(zanthrel::qt::QtDesktop& desktop, std::unique_ptr<zanthrel::posix::SystemLog>& systemLog,
                   const zanthrel::CommandLine& options) noexcept {
    try {
        if (options.systemLog && !systemLog) systemLog = std::make_unique<zanthrel::posix::SystemLog>();
    } catch (...) {
        // No thread for the system log: the guard goes on without it, as it was.
    }
    if (!QApplication::activeModalWidget()) zanthrel::applyStartOptions(desktop.guard(), options);
    if (!options.minimized) zanthrel::qt::QtWindowOrder(desktop.window()).bringToFront();
}

}  // namespace

int main(int argc, char* argv[]) {
    // Parsed before Qt sees a display, so that --help and --version need none. Qt's own options are
    // not taken: the environment (DISPLAY, QT_QPA_PLATFORM) chooses the display instead.
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const zanthrel::CommandLine commandLine = zanthrel::parseCommandLine(arguments);
    if (commandLine.action != zanthrel::CommandLine::Action::Run) {
        const bool refused = commandLine.action == zanthrel::CommandLine::Action::Refuse;
        std::fputs(commandLine.text.c_str(), refused ? stderr : stdout);
        return commandLine.exitCode();
    }
    // One guard per display: a second start hands its options over and ends here, before any window.
    zanthrel::x11::GuardSelection::Start guard =
        zanthrel::x11::GuardSelection::claimOrHandOver(zanthrel::handOverMessage(commandLine));
    if (guard.outcome == zanthrel::x11::GuardSelection::Outcome::HandedOver) return 0;

    // The window lives on X11, so a Wayland session runs it on XWayland; the clipboard is watched natively
    // where the compositor allows. Qt's own variable still chooses another platform for those who set it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Zanthrel"));
    QApplication::setApplicationVersion(QString::fromStdString(zanthrel::versionLine()).section(' ', 1));
    QApplication::setDesktopFileName(QStringLiteral("io.github.zanthrel.Zanthrel"));
    QApplication::setWindowIcon(zanthrel::qt::applicationIcon());

    zanthrel::qt::QtDesktop desktop(commandLine.clipboard);
    keepLayoutSizeWhereTiled(desktop.window());
    if (commandLine.echoLog) {
        // A reader that goes away must not take the guard with it: a write to its closed pipe then
        // fails quietly instead of raising SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        echoLog(desktop.window(), desktop.guard());
    }
    std::unique_ptr<zanthrel::posix::SystemLog> systemLog;
    if (commandLine.systemLog) systemLog = std::make_unique<zanthrel::posix::SystemLog>();
    followInSystemLog(desktop.window(), desktop.guard(), systemLog);
    // Without a notification area the program is the window alone, as it always was.
    std::unique_ptr<zanthrel::qt::TrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable()) tray = std::make_unique<zanthrel::qt::TrayIcon>(desktop.window());
    if (commandLine.minimized) {
        // As start() does, but the window stays in the tray, or minimized where there is no tray.
        desktop.guard().start();
        zanthrel::applyStartOptions(desktop.guard(), commandLine);
        desktop.window().centreOnScreen();
        if (!tray) desktop.window().showMinimized();
    } else {
        desktop.start();
        zanthrel::applyStartOptions(desktop.guard(), commandLine);
    }
    if (tray) tray->show();
    // More hand-overs waiting than any user starts between two turns of the event loop are a flood.
    constexpr int kMostPendingHandOvers = 16;
    int pendingHandOvers = 0;
    std::unique_ptr<QSocketNotifier> handOvers;
    if (guard.selection) {
        zanthrel::x11::GuardSelection& selection = *guard.selection;
        handOvers = std::make_unique<QSocketNotifier>(selection.descriptor(), QSocketNotifier::Read);
        QObject::connect(handOvers.get(), &QSocketNotifier::activated, handOvers.get(), [&] {
            if (!selection.readEvents()) handOvers->setEnabled(false);
        });
        selection.serve([&](const zanthrel::CommandLine& options) {
            if (pendingHandOvers >= kMostPendingHandOvers) return;
            ++pendingHandOvers;
            // After the sender has had its answer: a click may open a modal box.
            QTimer::singleShot(0, &desktop.window(), [&, options] {
                --pendingHandOvers;
                actOnHandOver(desktop, systemLog, options);
            });
        });
    }
    const int status = QApplication::exec();
    return status;
}
