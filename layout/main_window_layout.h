#pragma once

#include "layout/layout.h"

namespace zanthrel {

// The main window "Zanthrel" and every control on it, including the working controls that lie beyond
// the client area (the capture counter and the two snapshot holders).
const FormLayout& mainWindowLayout();

inline constexpr int kMainClientWidthTwips = 11595;
inline constexpr int kMainClientHeightTwips = 8550;

// A snapshot holder's inner area: its outer size less a 2-pixel 3-D border a side.
inline constexpr float kHolderScaleWidthTwips = 4680;
inline constexpr float kHolderScaleHeightTwips = 2835;

// The guard's clocks: a sample of the clipboard every millisecond, counting windows of 30 seconds, and an
// emptying every 5 milliseconds while blocked.
inline constexpr int kSamplingIntervalMs = 1;
inline constexpr int kCountingWindowMs = 30000;
inline constexpr int kBlockingIntervalMs = 5;

inline constexpr Colour kIndicatorGreen = 65280;  // 0x00FF00
inline constexpr Colour kIndicatorRed = 255;      // 0x0000FF

// While monitoring runs the indicator blinks. The logic flips it on every sampling tick, which would show
// as a flicker at best and pauses while the clipboard is at rest, so the windows flip it at this pace of
// their own, in milliseconds: a text cursor's, which reads as "alive" without drawing the eye, and each
// flip costs a repaint.
inline constexpr int kIndicatorBlinkMs = 500;

// The by-line names the publisher.
inline constexpr std::string_view kByLine = "by www.zanthrel.com";

}  // namespace zanthrel
