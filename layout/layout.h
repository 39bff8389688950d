#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zanthrel {

// Window layouts as data, in twips (1/1440 inch; 15 twips make a pixel at 96 dpi). Both front ends
// build their windows from these tables, so a position or text is written down exactly once.

inline constexpr int kTwipsPerInch = 1440;

enum class ControlKind { PictureBox, Label, Shape, CommandButton, ListBox, TextBox, Frame };

// Every control of both windows, by what it is for. Front ends find controls by these, never by name.
enum class ControlId {
    // The main window, top to bottom, then the working controls out of sight.
    Banner,
    AppName,
    ByLine,
    PleaseRead,
    StatusIndicator,
    MonitoringButton,
    MonitoringExplanation,
    AlarmExplanation,
    BlockingButton,
    BlockingExplanation,
    KeepRunningNote,
    LogCaption,
    Log,
    TestHint,
    CaptureCount,
    FirstHolder,
    SecondHolder,
    // The "Please Read" dialog.
    InformationFrame,
    AlertExplanation,
    AdviceUpdate,
    AdviceSecondScanner,
    AdviceBlock,
    ImportantHeading,
    Disclaimer,
    NoCollection,
    NoWebsites,
    NoInternet,
    NoLiability,
    CloseButton,
};

struct FontStyle {
    std::string_view face;
    double points;
    int weight;  // 400 regular, 700 bold
    bool underline = false;
};

// 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

struct ControlLayout {
    ControlId id;
    std::string_view name;  // the control's own name, as other programs and tests find it on screen
    ControlKind kind;
    std::optional<ControlId> container;  // none: the window itself
    int left, top, width, height;        // twips, outer size; left/top from the container's inner area
    std::string_view text;
    std::optional<FontStyle> font;     // none: the window's font
    std::optional<Colour> foreColour;  // none: the system's text colour
    std::optional<Colour> backColour;  // none: the system's dialog or control colour
    bool transparentBackground = false;
    int tabIndex = -1;          // -1: takes no part in the tab order
    bool visibleToUser = true;  // false: a working control placed beyond the client area
};

struct FormLayout {
    std::string_view name;
    std::string_view caption;
    int clientWidth, clientHeight;  // twips
    FontStyle font;
    std::span<const ControlLayout> controls;

    // The row of `id`; every control a front end looks up is in its window's table.
    const ControlLayout& control(ControlId id) const;
};

// Twips to pixels at a given density, rounded to the nearest pixel.
constexpr int twipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + (scaled >= 0 ? kTwipsPerInch / 2 : -kTwipsPerInch / 2)) / kTwipsPerInch);
}

// A font's character height in pixels at a given density: the nearest, but a half goes down. The boxes
// around the text scale exactly, so a font rounded up grows faster than its box, and a line that just
// fits at 96 dpi would wrap at 144 (9.75 points: 13 pixels at 96 dpi, 16 at 120, 19 at 144, 26 at 192).
constexpr int pointsToPixels(double points, int dpi) {
    const double exact = points * dpi / 72.0;
    const int whole = static_cast<int>(exact);
    return exact - whole > 0.5 ? whole + 1 : whole;
}

struct PixelSize {
    int width, height;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// A window's client size at a density, rounded to the nearest pixel.
constexpr PixelSize clientSize(const FormLayout& form, int dpi) {
    return {twipsToPixels(form.clientWidth, dpi), twipsToPixels(form.clientHeight, dpi)};
}

// A window's client size after it moved from one density to another (dragged to a monitor of another
// scale): the layout's own at the new density when it had the layout's size, otherwise the size the
// user gave it, in the same inches.
constexpr PixelSize clientSizeAfterMove(const FormLayout& form, PixelSize now, int fromDpi, int toDpi) {
    if (fromDpi <= 0 || toDpi <= 0) return now;
    if (now == clientSize(form, fromDpi)) return clientSize(form, toDpi);
    const auto scale = [&](int pixels) {
        return static_cast<int>((static_cast<long long>(pixels) * toDpi + fromDpi / 2) / fromDpi);
    };
    return {scale(now.width), scale(now.height)};
}

}  // namespace zanthrel
