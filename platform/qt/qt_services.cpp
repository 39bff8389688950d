#include "platform/qt/qt_services.h"

#include <algorithm>

#include <langinfo.h>
#include <ctime>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace zanthrel::qt {

QtTimers::QtTimers(std::function<void(GuardTimer)> onTick) : onTick_(std::move(onTick)) {
    const std::array ids{GuardTimer::Sampling, GuardTimer::CountingWindow, GuardTimer::Blocking};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        // Precise: Qt would otherwise let a coarse timer drift by up to 5 % to save wake-ups.
        timers_[i].setTimerType(Qt::PreciseTimer);
        QObject::connect(&timers_[i], &QTimer::timeout, [this, id = ids[i]] {
            ++ticks_[static_cast<std::size_t>(id)];
            onTick_(id);
        });
    }
}

void QtTimers::setTimer(GuardTimer id, bool enabled, int intervalMs) {
    const auto index = static_cast<std::size_t>(id);
    enabled_[index] = enabled;
    paused_[index] = false;
    intervals_[index] = std::max(intervalMs, kShortestIntervalMs);
    QTimer& timer = timers_[index];
    if (!enabled) {
        timer.stop();
        return;
    }
    if (onDemand_[index]) {
        // Queued: the logic that enabled the timer is still running and must finish first.
        QTimer::singleShot(0, &timer, [this, id] { tickNow(id); });
        return;
    }
    timer.start(intervals_[index]);  // restarts, so a fresh interval begins
}

void QtTimers::setOnDemand(GuardTimer id, bool onDemand) {
    onDemand_[static_cast<std::size_t>(id)] = onDemand;
}

void QtTimers::tickNow(GuardTimer id) {
    const auto index = static_cast<std::size_t>(id);
    if (!enabled_[index]) return;
    ++ticks_[index];
    onTick_(id);
}

void QtTimers::rest(GuardTimer id) {
    const auto index = static_cast<std::size_t>(id);
    if (!enabled_[index] || onDemand_[index]) return;
    paused_[index] = true;
    timers_[index].stop();
}

void QtTimers::wake(GuardTimer id) {
    const auto index = static_cast<std::size_t>(id);
    if (!paused_[index]) return;
    paused_[index] = false;
    if (enabled_[index]) timers_[index].start(intervals_[index]);
}

bool QtTimers::isActive(GuardTimer id) const {
    return enabled_[static_cast<std::size_t>(id)];
}

void QtMessageBox::show(const std::string& text, const std::string& title, MessageBoxIcon icon) {
    const QMessageBox::Icon shown = icon == MessageBoxIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon;
    QMessageBox box(shown, QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok, &owner_);
    box.setTextFormat(Qt::PlainText);
    // A box raised over an open "Please Read" dialog (the alarm can fire while it is up) brings the main
    // window to the front; once the box is gone the dialog must come back on top, or the user faces a
    // main window that ignores every click with the dialog hidden behind it.
    const QPointer<QWidget> modalBelow = QApplication::activeModalWidget();
    box.exec();
    if (modalBelow && modalBelow->isVisible()) {
        modalBelow->raise();
        modalBelow->activateWindow();
    }
}

void QtWindowOrder::bringToFront() {
    if (window_.isMinimized()) window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
    QApplication::alert(&window_);
}

namespace {

// True when a strftime pattern prints the seconds (%S, %T, %r, with or without an E/O modifier).
bool showsSeconds(const std::string& pattern) {
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        std::size_t conversion = i + 1;
        if (pattern[conversion] == 'E' || pattern[conversion] == 'O') ++conversion;
        if (conversion < pattern.size()) {
            const char c = pattern[conversion];
            if (c == 'S' || c == 'T' || c == 'r') return true;
        }
        i = conversion;
    }
    return false;
}

}  // namespace

LocaleDateTime::LocaleDateTime(const char* localeName) {
    locale_ = newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(nullptr));
    // A locale named in the environment but not installed falls back to the C library's own.
    if (!locale_) locale_ = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    dateFormat_ = locale_ ? nl_langinfo_l(D_FMT, locale_) : "";
    timeFormat_ = locale_ ? nl_langinfo_l(T_FMT, locale_) : "";
    if (dateFormat_.empty()) dateFormat_ = "%m/%d/%y";
    if (!showsSeconds(timeFormat_)) timeFormat_ = "%H:%M:%S";
}

LocaleDateTime::~LocaleDateTime() {
    if (locale_) freelocale(locale_);
}

std::string LocaleDateTime::format(const std::string& pattern) const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[128];
    const std::size_t length = locale_ ? strftime_l(text, sizeof text, pattern.c_str(), &local, locale_)
                                       : std::strftime(text, sizeof text, pattern.c_str(), &local);
    // The log keeps UTF-8; Qt reads the C library's local 8-bit text as such.
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(length)).toStdString();
}

std::string LocaleDateTime::currentDate() {
    return format(dateFormat_);
}
std::string LocaleDateTime::currentTime() {
    return format(timeFormat_);
}

}  // namespace zanthrel::qt
