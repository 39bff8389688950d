#include "bench/live/test_picture.h"

#include <cstddef>

namespace zanthrel::live {

std::vector<std::uint32_t> desktopLikePixels(int width, int height, std::uint32_t seed) {
    const auto w = static_cast<std::size_t>(width > 0 ? width : 0);
    const auto h = static_cast<std::size_t>(height > 0 ? height : 0);
    std::vector<std::uint32_t> pixels(w * h);
    std::uint32_t state = seed * 2654435761u + 1;
    const auto random = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const std::uint32_t background = 0x205080 + (seed % 64) * 0x010203;
    // A window somewhere on the desktop whose place and "text" differ with the seed.
    const std::size_t left = w / 8 + random() % (w / 4 + 1), top = h / 8 + random() % (h / 4 + 1);
    const std::size_t right = left + w / 2, bottom = top + h / 2;
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t colour = background + static_cast<std::uint32_t>(y * 64 / (h ? h : 1));
            if (y >= h - h / 30) colour = 0x303030;  // a task bar
            if (x >= left && x < right && y >= top && y < bottom) {
                colour = y < top + 24 ? 0x0050A0 : 0xF0F0F0;
                const bool textRow = (y - top) % 18 > 6 && (y - top) % 18 < 16 && y > top + 30;
                if (textRow && (x - left) % 7 < 5 && (random() & 3) == 0) colour = 0x101010;
            }
            pixels[y * w + x] = colour;
        }
    }
    return pixels;
}

}  // namespace zanthrel::live
