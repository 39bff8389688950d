#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/x11/xcb_handles.h"
#include "platform/shell/command_line.h"

namespace zanthrel::x11 {

// One guard per X display. The running guard owns the selection _ZANTHREL_GUARD on its display; a
// second start asks that owner to convert it, with its options in the property it names, and ends
// once the owner has said yes. The X server drops the selection when its owner's connection ends,
// so a guard that died leaves nothing behind; one that does not answer within the deadline is taken
// for hung and the new start takes the selection over. Nothing is written to any file.
class GuardSelection {
public:
    // A hung owner is given as long as Windows gives a window before calling it not responding.
    static constexpr std::chrono::milliseconds kAnswerDeadline{5000};

    enum class Outcome {
        Guard,       // this process is the guard of its display (or there is no display to share)
        HandedOver,  // the running guard took the message: this process ends
    };
    struct Start {
        Outcome outcome = Outcome::Guard;
        std::unique_ptr<GuardSelection> selection;  // with Guard on a reachable display
    };

    // Before Qt starts: on the display DISPLAY names, hands `message` to the running guard or
    // becomes the guard. Returns Guard without a selection when the display cannot be reached.
    static Start claimOrHandOver(std::string_view message, std::chrono::milliseconds answerDeadline = kAnswerDeadline);

    ~GuardSelection();
    GuardSelection(const GuardSelection&) = delete;
    GuardSelection& operator=(const GuardSelection&) = delete;

    // Answers second starts from now on, whenever readEvents() is called: the options of each message
    // accepted go to `received` after its sender has been answered, so that no sender waits on what it
    // asked for. Answers those that came while the program was starting at once.
    void serve(std::function<void(const CommandLine& options)> received);
    // The connection's descriptor: readable when a second start is waiting for readEvents().
    int descriptor() const noexcept;
    // Answers what has arrived; false once the connection to the display is broken.
    bool readEvents();

private:
    struct Atoms {
        std::uint32_t guard = 0;
        std::uint32_t handOver = 0;
        std::uint32_t options = 0;
        std::uint32_t utf8 = 0;
    };
    using Connection = XcbConnection;

    GuardSelection(Connection connection, std::uint32_t window, Atoms atoms);
    // True when the running guard took `message` before the deadline.
    bool handOver(std::string_view message, std::chrono::milliseconds deadline);
    // Owner of the guard selection from now on; false when another process got there first.
    bool claim(bool takeOver);
    void answer(const void* selectionRequest);

    Connection connection_;
    std::uint32_t window_;
    Atoms atoms_;
    bool owner_ = false;
    std::function<void(const CommandLine&)> received_;
};

}  // namespace zanthrel::x11
