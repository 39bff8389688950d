#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <locale.h>
#include <QTimer>

#include "core/services.h"

class QWidget;

namespace zanthrel::qt {

// The main window's three timers, paced for a desktop where nothing is gained by waking more often:
// intervals below kShortestIntervalMs run at that interval, the resolution of the Windows timers the
// logic was made for (64 ticks a second). A timer made on demand has no period at all: it ticks once
// right after it is enabled and then whenever tickNow() says its moment has come (the blocker, when a
// program has taken the clipboard).
class QtTimers final : public TimerService {
public:
    static constexpr int kShortestIntervalMs = 16;

    explicit QtTimers(std::function<void(GuardTimer)> onTick);
    void setTimer(GuardTimer id, bool enabled, int intervalMs) override;
    void setOnDemand(GuardTimer id, bool onDemand);
    // Runs the timer's tick now, if it is enabled.
    void tickNow(GuardTimer id);
    // A timer made on demand has no clock to rest.
    void rest(GuardTimer id) override;
    void wake(GuardTimer id) override;
    bool isResting(GuardTimer id) const { return paused_[static_cast<std::size_t>(id)]; }
    // Enabled, whether it ticks by the clock or on demand.
    bool isActive(GuardTimer id) const;
    int intervalMs(GuardTimer id) const { return timers_[static_cast<std::size_t>(id)].interval(); }
    // Ticks handed to the logic so far, by the clock or on demand.
    std::uint64_t tickCount(GuardTimer id) const { return ticks_[static_cast<std::size_t>(id)]; }

private:
    std::function<void(GuardTimer)> onTick_;
    std::array<QTimer, 3> timers_;
    std::array<bool, 3> enabled_{};
    std::array<bool, 3> onDemand_{};
    std::array<bool, 3> paused_{};
    std::array<int, 3> intervals_{};
    std::array<std::uint64_t, 3> ticks_{};
};

// The system's modal message box. Its nested event loop keeps the timers ticking, as the logic needs.
class QtMessageBox final : public MessageBoxService {
public:
    explicit QtMessageBox(QWidget& owner) : owner_(owner) {}
    void show(const std::string& text, const std::string& title, MessageBoxIcon icon) override;

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
