#pragma once

#include <string>

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
    // sampling tick costs next to nothing. A service whose first answer was on its way hands
    // FormEvent::ClipboardAnswered to the form once it has arrived.
    virtual PictureRef readPicture() = 0;
    // Removes every format. Throws RuntimeError(ClipboardBusy) while another program holds it open.
    virtual void clear() = 0;
};

enum class TimerId { Timer1, Timer2, Timer3 };

// Periodic timers owned by the main window. Ticks come back through MainForm::onTimer.
class TimerService {
public:
    virtual ~TimerService() = default;
    // Called only when a timer's Enabled changes; enabling starts a fresh interval.
    virtual void setTimer(TimerId id, bool enabled, int intervalMs) = 0;
};

// Style 64 of the system message box: information icon, OK button.
inline constexpr int kMessageBoxInformation = 64;

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal: returns when the user dismisses it; timer ticks keep arriving meanwhile.
    virtual void show(const std::string& text, const std::string& title, int style) = 0;
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
