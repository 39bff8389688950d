#pragma once

#include <cstdint>
#include <vector>

namespace zanthrel::live {

// A picture that looks like a capture of a desktop (flat areas, bars, some text-like detail), different
// for every seed, as 0x00RRGGBB pixels row by row from the top.
std::vector<std::uint32_t> desktopLikePixels(int width, int height, std::uint32_t seed);

}  // namespace zanthrel::live
