#pragma once

#include "core/services.h"

namespace zanthrel {

// Empties the clipboard while blocking is on, on every tick of its clock and whenever another program
// has just taken the clipboard.
class Blocker {
public:
    explicit Blocker(Clipboard& clipboard) : clipboard_(clipboard) {}

    // A clipboard held open by another program is simply tried again on the next occasion.
    void empty() noexcept {
        try {
            clipboard_.clear();
        } catch (...) {
        }
    }

private:
    Clipboard& clipboard_;
};

}  // namespace zanthrel
