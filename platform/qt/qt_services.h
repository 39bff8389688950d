#pragma once

#include <array>
#include <functional>
#include <string>

#include <locale.h>
#include <QTimer>

#include "platform/services.h"

class QWidget;

namespace zanthrel::qt {

// The main window's three timers. Intervals of a few milliseconds need precise timers: Qt would
// otherwise let a coarse timer drift by up to 5 % to save wake-ups.
class QtTimers final : public TimerService {
public:
    explicit QtTimers(std::function<void(TimerId)> onTick);
    void setTimer(TimerId id, bool enabled, int intervalMs) override;
    bool isActive(TimerId id) const;

private:
    std::array<QTimer, 3> timers_;
};

// The system's modal message box. Its nested event loop keeps the timers ticking, as the logic needs.
class QtMessageBox final : public MessageBoxService {
public:
    explicit QtMessageBox(QWidget& owner) : owner_(owner) {}
    void show(const std::string& text, const std::string& title, int style) override;

private:
    QWidget& owner_;
};

class QtWindowOrder final : public WindowOrder {
public:
    explicit QtWindowOrder(QWidget& window) : window_(window) {}
    // Restores a minimized window; where the window manager refuses to hand over the focus, the
    // urgency hint still makes the task bar call for the user.
    void bringToFront() override;

private:
    QWidget& window_;
};

// Date and time in the formats of the user's LC_TIME locale (D_FMT and T_FMT), the same the C library
// and the shell's `date +%x %X` use; the time always shows seconds.
class LocaleDateTime final : public DateTimeText {
public:
    // `localeName` as for newlocale(3): "" means the user's environment.
    explicit LocaleDateTime(const char* localeName = "");
    ~LocaleDateTime() override;
    LocaleDateTime(const LocaleDateTime&) = delete;
    LocaleDateTime& operator=(const LocaleDateTime&) = delete;

    std::string currentDate() override;
    std::string currentTime() override;

    const std::string& dateFormat() const noexcept { return dateFormat_; }
    const std::string& timeFormat() const noexcept { return timeFormat_; }

private:
    std::string format(const std::string& pattern) const;

    locale_t locale_ = nullptr;
    std::string dateFormat_;
    std::string timeFormat_;
};

}  // namespace zanthrel::qt
