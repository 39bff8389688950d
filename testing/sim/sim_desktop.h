#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/services.h"
#include "guard/guard.h"
#include "testing/literal_comparison.h"
#include "testing/sim/sim_clipboard.h"
#include "testing/sim/sim_clock.h"

namespace zanthrel::sim {

struct ShownMessageBox {
    std::string text;
    std::string title;
    MessageBoxIcon icon;
    std::int64_t atMs;
};

// The simulated desktop with our program running on it: one clipboard shared by several programs,
// one virtual clock, and scripted answers to message boxes and the information dialog. It is also
// the control panel that tests drive: copy as another program would, click, advance time, read.
class SimDesktop final : private TimerService,
                         private MessageBoxService,
                         private InformationDialogService,
                         private WindowOrder,
                         private DateTimeText {
public:
    explicit SimDesktop(ComparisonMode mode = ComparisonMode::Covered);
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // Creates the main window: runs its start-up, as the program's start does.
    void start();

    Guard& guard() noexcept { return guard_; }
    const GuardState& state() const noexcept { return guard_.state(); }
    const std::vector<std::string>& log() const noexcept { return guard_.state().log; }
    SimClock& clock() noexcept { return clock_; }
    SimClipboard& clipboard() noexcept { return clipboard_; }
    SimClipboardService& clipboardService() noexcept { return clipboardService_; }

    // Another program on the same desktop (created on first use, kept for the desktop's lifetime).
    SimProgram& program(const std::string& name);

    // Makes the clipboard service report every change to the guard, as a desktop's service does, so that
    // the sampling clock may rest while nothing changes.
    void reportClipboardChanges();

    // Control panel.
    void clickStartPause() { guard_.toggleMonitoring(); }
    void clickEnableDisable() { guard_.toggleBlocking(); }
    void clickPleaseRead() { guard_.showInformation(); }
    void advance(std::int64_t ms) { clock_.advance(ms); }
    void tick(int count = 1) { clock_.advance(count); }  // the sampling interval is one millisecond
    bool copyPicture(PictureRef picture) { return program("Snipping Tool").copyPicture(std::move(picture)); }
    bool copyText(std::string text) { return program("Notepad").copyText(std::move(text)); }

    // What a modal box or the dialog does while it is up: by default it is dismissed at once. A script
    // may advance the clock meanwhile; due ticks are delivered as a modal loop would.
    std::function<void(const ShownMessageBox&)> onMessageBox;
    std::function<void()> whileInformationDialogOpen;

    const std::vector<ShownMessageBox>& messageBoxes() const noexcept { return boxes_; }
    int informationDialogOpenings() const noexcept { return dialogOpenings_; }
    bool informationDialogOpen() const noexcept { return dialogOpen_; }
    int bringToFrontCalls() const noexcept { return bringToFront_; }
    // Sampling ticks delivered by the clock, and how often its clock was rested.
    std::uint64_t samplingTicks() const noexcept { return samplingTicks_; }
    int samplingRests() const noexcept { return samplingRests_; }
    bool minimized = false;  // the window's state; bringing it to the front restores it
    std::string dateText = "07/12/2026";
    std::string timeText = "04:29:04";

private:
    void clipboardChanged(bool taken);
    void setTimer(GuardTimer timer, bool enabled, int intervalMs) override;
    void rest(GuardTimer timer) override;
    void wake(GuardTimer timer) override;
    void show(const std::string& text, const std::string& title, MessageBoxIcon icon) override;
    void showModal() override;
    void bringToFront() override;
    std::string currentDate() override { return dateText; }
    std::string currentTime() override { return timeText; }

    SimClock clock_;
    SimClipboard clipboard_;
    SimClipboardService clipboardService_{clipboard_};
    std::vector<std::unique_ptr<SimProgram>> programs_;
    std::array<SimClock::TimerHandle, 3> timerHandles_{};
    std::array<int, 3> intervals_{};
    std::vector<ShownMessageBox> boxes_;
    int dialogOpenings_ = 0;
    bool dialogOpen_ = false;
    int bringToFront_ = 0;
    std::uint64_t samplingTicks_ = 0;
    int samplingRests_ = 0;
    Guard guard_;
};

}  // namespace zanthrel::sim
