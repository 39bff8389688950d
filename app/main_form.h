#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/layout.h"
#include "compare/snapshot_comparison.h"
#include "platform/services.h"

namespace zanthrel {

struct CommandButtonState {
    std::string caption;
    std::string tag;  // the state flag: "0" off, "1" on
    bool enabled = true;
};

struct TimerState {
    bool enabled = false;
    int intervalMs = 0;
};

// Everything the main window holds, as plain data. Front ends show it; only MainForm changes it.
struct MainFormState {
    CommandButtonState cmdStartPause;
    CommandButtonState cmdEnableDisable;
    std::string txtCounts = "0";  // the capture counter, as decimal text
    Colour shape1FillColour = 0;
    bool shape1Visible = true;
    std::vector<std::string> list1;      // the activity log, append-only
    std::array<TimerState, 3> timers{};  // indexed by TimerId
    SnapshotHolder picture1;
    SnapshotHolder picture3;
    std::int16_t snapshotToggle = 0;  // 0 or 2: the next sample goes to Picture1; 1: to Picture3
    bool clipboardUnreachable = false;  // the desktop lets the guard neither watch nor empty the clipboard

    const TimerState& timer(TimerId id) const { return timers[static_cast<std::size_t>(id)]; }
};

// The controls whose shown state can change after start-up.
enum class FormControl { cmdStartPause, cmdEnableDisable, txtCounts, Shape1, List1, Picture1, Picture3 };

class FormObserver {
public:
    virtual ~FormObserver() = default;
    // For List1 the change is always one entry appended at the end.
    virtual void controlChanged(FormControl control) = 0;
};

enum class FormEvent {
    Load,
    StartPauseClick,
    EnableDisableClick,
    PleaseReadClick,
    Timer1Tick,
    Timer2Tick,
    Timer3Tick,
    // The clipboard service finished a read it could not answer at once (see Clipboard::readPicture).
    ClipboardAnswered,
};

// What the platform could not do for the guard, said in the log rather than kept silent.
enum class ClipboardProblem {
    OwnerSilent,  // the clipboard's owner did not deliver its picture in time; that change went unjudged
    NotEmptied,   // the clipboard could not be emptied in time (its previous owner did not let go)
    CannotWatch,  // this desktop lets the guard neither watch nor empty the clipboard
};

// The main window's logic: start-up, the monitoring and block commands, the capture detector, the
// blocker and the activity log. It owns the window's state and talks to the desktop only through
// the services it is given.
class MainForm {
public:
    explicit MainForm(const DesktopServices& desktop, ComparisonMode mode = ComparisonMode::Fast);

    void setObserver(FormObserver* observer) noexcept { observer_ = observer; }
    const MainFormState& state() const noexcept { return state_; }
    SnapshotComparison& comparison() noexcept { return comparison_; }

    // The one way in for the shells: runs the handler and keeps any error from ending the program.
    // Returns false when an error ended the handler early.
    bool handle(FormEvent event) noexcept;
    bool onTimer(TimerId id) noexcept;

    void Form_Load();
    void cmdStartPause_Click();
    void cmdEnableDisable_Click();
    void lblPleaseRead_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void clipboardAnswered();
    // Logs the problem with the date and time, once for a run of the same problem.
    void reportClipboardProblem(ClipboardProblem problem);

private:
    void ClearClipboard();
    void log(std::string_view prefix, bool withEllipsis);
    void logLine(std::string line);
    std::int64_t readCounter() const;
    void writeCounter(std::int64_t value);
    void setCaption(CommandButtonState& button, FormControl control, std::string_view caption);
    void setTag(CommandButtonState& button, FormControl control, std::string_view tag);
    void setButtonEnabled(CommandButtonState& button, FormControl control, bool enabled);
    void setTimerEnabled(TimerId id, bool enabled);
    void setShapeVisible(bool visible);
    void setShapeColour(Colour colour);
    void setHolderPicture(SnapshotHolder& holder, FormControl control, PictureRef picture);
    void takeSample(SnapshotHolder& holder, FormControl control, const SnapshotHolder& other);
    void stopMonitoringControls();
    void notify(FormControl control);

    DesktopServices desktop_;
    SnapshotComparison comparison_;
    MainFormState state_;
    FormObserver* observer_ = nullptr;
    bool startupSampleOwed_ = false;
};

}  // namespace zanthrel
