#pragma once

#include <windows.h>

#include <string>

#include "core/services.h"
#include "platform/win32/window.h"

namespace zanthrel::win32 {

// The services that act on the main window: its message boxes and its place in the window order. The
// window must exist whenever one of them is used.
class WindowServices final : public MessageBoxService, public WindowOrder {
public:
    explicit WindowServices(const Window& window) : window_(window) {}

    void show(const std::string& text, const std::string& title, MessageBoxIcon icon) override;
    void bringToFront() override;

private:
    const Window& window_;
};

// The date and time as the user has chosen to see them: the short date and the long time format.
class LocalDateTimeText final : public DateTimeText {
public:
    std::string currentDate() override;
    std::string currentTime() override;
};

}  // namespace zanthrel::win32
