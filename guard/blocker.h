#pragma once

#include "core/services.h"

namespace zanthrel {

// Empties the clipboard while blocking is on, on every tick of its clock and whenever another program
// has just taken the clipboard: the service does the latter itself under the standing order, which
// the blocker's clock paces.
class Blocker {
public:
    explicit Blocker(Clipboard& clipboard, int intervalMs) : clipboard_(clipboard), intervalMs_(intervalMs) {}

    // The standing order the clipboard service follows while blocking is on.
    EmptyingOrder order() const noexcept {
        EmptyingOrder order;
        order.active = true;
        order.fightPace = std::chrono::milliseconds(intervalMs_);
        return order;
    }

    // A clipboard held open by another program is simply tried again on the next occasion.
    void empty() noexcept {
        try {
            clipboard_.clear();
        } catch (...) {
        }
    }

private:
    Clipboard& clipboard_;
    int intervalMs_;
};

}  // namespace zanthrel
