#pragma once

#include <string>

#include "core/emptying_order.h"
#include "core/picture.h"

namespace zanthrel {

// What the program needs of the desktop. Every call comes from the user-interface thread.

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The picture on the clipboard, or null when it holds none. Never waits for another program: while
    // the answer to a change is still on its way from the clipboard's owner it returns the last answer
    // there was (throwing instead would leave a holder behind and count one capture twice). Throws
    // RuntimeError(ClipboardBusy) before any answer has arrived, while another program holds the
    // clipboard open, and after an owner missed its deadline or refused, until the clipboard changes
    // again. Returns the very same object again while the clipboard has not changed, so that an idle
    // sampling tick costs next to nothing. A service whose answer was on its way tells the guard with
    // Guard::clipboardAnswered() once it has arrived.
    virtual PictureRef readPicture() = 0;
    // Removes every format. Throws RuntimeError(ClipboardBusy) while another program holds it open.
    virtual void clear() = 0;
    // Gives the standing order to empty every change another program makes, or withdraws it (an order
    // that is not active). Once the withdrawal returns, the service starts no further emptying. Each
    // change it emptied is reported as such (ClipboardChange::emptied); each fight it paces, once, as
    // ClipboardProblem::Contested. A service that cannot act on its own ignores the order: the guard then
    // empties on every change it is told of.
    virtual void setEmptyingOrder(const EmptyingOrder& order) { (void)order; }
    // Whether a read now would give `held` again, or fail without changing anything, until the service
    // next reports a change (Guard::clipboardChanged). Only a service that reports every
    // change may say so; the guard then lets its sampling rest. The default never rests.
    virtual bool atRest(const PictureRef& held) const noexcept {
        (void)held;
        return false;
    }
};

// One change of the clipboard, as the service reports it.
struct ClipboardChange {
    bool taken = false;    // a program took the clipboard; false when it was left without an owner
    bool emptied = false;  // the service emptied what it took at once, under the standing emptying order
};

// What a clipboard service could not do for the guard, said in the log rather than kept silent.
enum class ClipboardProblem {
    OwnerSilent,  // the clipboard's owner did not deliver its picture in time; that change went unjudged
    NotEmptied,   // the clipboard could not be emptied in time (its previous owner did not let go)
    CannotWatch,  // this desktop lets the guard neither watch nor empty the clipboard
    Contested,    // a program takes the clipboard back after every emptying: emptied at the blocking pace
};

// The guard's three clocks: sampling the clipboard, the end of a counting window, and emptying the
// clipboard while it is blocked.
enum class GuardTimer { Sampling, CountingWindow, Blocking };

// Periodic timers owned by the main window. Ticks come back through Guard::onTimer.
class TimerService {
public:
    virtual ~TimerService() = default;
    // Called only when a timer's Enabled changes; enabling starts a fresh interval.
    virtual void setTimer(GuardTimer timer, bool enabled, int intervalMs) = 0;
    // Stops the clock of an enabled timer while its ticks would change nothing, and starts it again with
    // a fresh interval. Enabling or disabling the timer ends a rest too. A service that cannot rest a
    // clock may ignore both: the ticks then find nothing to do.
    virtual void rest(GuardTimer timer) { (void)timer; }
    virtual void wake(GuardTimer timer) { (void)timer; }
};

// What a message box shows beside its text. Every box the guard opens has an OK button.
enum class MessageBoxIcon { Information };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal: returns when the user dismisses it; timer ticks keep arriving meanwhile.
    virtual void show(const std::string& text, const std::string& title, MessageBoxIcon icon) = 0;
};

class InformationDialogService {
public:
    virtual ~InformationDialogService() = default;
    // Opens the "Please Read" dialog modally, without an owner; returns once it is closed.
    virtual void showModal() = 0;
};

class WindowOrder {
public:
    virtual ~WindowOrder() = default;
    // Brings the main window to the top of the window order, restoring it if minimized.
    virtual void bringToFront() = 0;
};

class DateTimeText {
public:
    virtual ~DateTimeText() = default;
    virtual std::string currentDate() = 0;  // the user's short date format
    virtual std::string currentTime() = 0;  // the user's long time format
};

struct DesktopServices {
    Clipboard& clipboard;
    TimerService& timers;
    MessageBoxService& messageBox;
    InformationDialogService& informationDialog;
    WindowOrder& windowOrder;
    DateTimeText& dateTime;
};

}  // namespace zanthrel
