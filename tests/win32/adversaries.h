#pragma once

// Other programs that make the guard's life hard: owners that never answer, a flood of posted messages,
// and malformed pictures.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace zanthrel::e2e::adversary {

// Puts `block` on the clipboard as a CF_DIB, as a program that wrote it itself would; waits up to
// `patience` for the clipboard to be free.
void copyDib(const std::vector<std::uint8_t>& block, std::chrono::milliseconds patience = std::chrono::seconds(5));
// The same on the clipboard this thread already holds open, in place of what it held.
void putDib(const std::vector<std::uint8_t>& block);

// A packed DIB of `width` × `height` at 24 bits, with the header as given and the pixels a pattern of
// `seed`; `pixelBytes` overrides the size of the pixel data (short or long blocks).
std::vector<std::uint8_t> dib(std::int32_t width, std::int32_t height, int seed, std::size_t pixelBytes = SIZE_MAX);
// A few bytes of RLE8 data that declare a picture of `width` × `height`.
std::vector<std::uint8_t> rle8(std::int32_t width, std::int32_t height);

// A program whose window owns the clipboard and then stops answering messages: its thread waits and
// never pumps. As `Promise`, it offers a CF_DIB it never renders; as `Text`, it put text there and will
// not handle WM_DESTROYCLIPBOARD when someone empties the clipboard.
class SilentOwner {
public:
    enum class Kind { Promise, Text };
    explicit SilentOwner(Kind kind);
    ~SilentOwner();
    SilentOwner(const SilentOwner&) = delete;
    SilentOwner& operator=(const SilentOwner&) = delete;

private:
    HANDLE ready_;
    HANDLE release_;
    std::thread thread_;
};

// Posts messages to `window` from `threads` threads as fast as it can for as long as it lives.
class Flood {
public:
    explicit Flood(HWND window, int threads = 1);
    ~Flood();
    Flood(const Flood&) = delete;
    Flood& operator=(const Flood&) = delete;
    std::uint64_t posted() const noexcept { return posted_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> posted_{0};
    std::vector<std::thread> threads_;
};

}  // namespace zanthrel::e2e::adversary
