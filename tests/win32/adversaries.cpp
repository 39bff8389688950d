#include "tests/win32/adversaries.h"

#include <cstring>

#include "tests/win32/check.h"

namespace zanthrel::e2e::adversary {
namespace {

bool openWithin(HWND window, std::chrono::milliseconds patience) {
    return testing::waitUntil([&] { return OpenClipboard(window) != FALSE; }, patience);
}

}  // namespace

namespace {

HGLOBAL blockOf(const std::vector<std::uint8_t>& block) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, block.size());
    CHECK_MSG(memory != nullptr, "no memory for the DIB");
    std::memcpy(GlobalLock(memory), block.data(), block.size());
    GlobalUnlock(memory);
    return memory;
}

// On the clipboard this thread has open, in place of what it held.
bool replaceWithDib(HGLOBAL memory) {
    EmptyClipboard();
    const bool set = SetClipboardData(CF_DIB, memory) != nullptr;
    if (!set) GlobalFree(memory);
    return set;
}

}  // namespace

void copyDib(const std::vector<std::uint8_t>& block, std::chrono::milliseconds patience) {
    HGLOBAL memory = blockOf(block);
    if (!openWithin(nullptr, patience)) {
        GlobalFree(memory);
        CHECK_MSG(false, "the clipboard stayed open elsewhere while a DIB waited to be copied");
    }
    const bool set = replaceWithDib(memory);
    CloseClipboard();
    CHECK_MSG(set, "SetClipboardData refused the DIB");
}

void putDib(const std::vector<std::uint8_t>& block) {
    CHECK_MSG(replaceWithDib(blockOf(block)), "SetClipboardData refused the DIB");
}

std::vector<std::uint8_t> dib(std::int32_t width, std::int32_t height, int seed, std::size_t pixelBytes) {
    const std::uint64_t stride = (std::uint64_t(width > 0 ? width : -width) * 24 + 31) / 32 * 4;
    const std::uint64_t rows = height == INT32_MIN ? 1 : std::uint64_t(height > 0 ? height : -height);
    const std::size_t size = pixelBytes != SIZE_MAX ? pixelBytes : static_cast<std::size_t>(stride * rows);
    std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + size);
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(block.data(), &header, sizeof header);
    for (std::size_t i = 0; i < size; ++i) block[sizeof header + i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
    return block;
}

std::vector<std::uint8_t> rle8(std::int32_t width, std::int32_t height) {
    std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * 4);
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), width, height, 1, 8, BI_RLE8, 0, 0, 0, 0, 0};
    std::memcpy(block.data(), &header, sizeof header);
    // Long runs and jumps, then the end: a few kilobytes that would paint a vast area.
    for (int i = 0; i < 800; ++i) block.insert(block.end(), {255, static_cast<std::uint8_t>(i), 0, 2, 255, 255});
    block.insert(block.end(), {0, 1});
    return block;
}

SilentOwner::SilentOwner(Kind kind)
    : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    bool owned = false;
    thread_ = std::thread([this, kind, &owned] {
        const HWND window =
            CreateWindowExW(0, L"STATIC", L"silent owner", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (window && openWithin(window, std::chrono::seconds(5))) {
            EmptyClipboard();
            if (kind == Kind::Promise) {
                SetClipboardData(CF_DIB, nullptr);  // a promise: rendered on WM_RENDERFORMAT, were it answered
                owned = GetClipboardOwner() == window && IsClipboardFormatAvailable(CF_DIB);
            } else {
                static const wchar_t text[] = L"held by a program that will not let go";
                HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
                std::memcpy(GlobalLock(memory), text, sizeof text);
                GlobalUnlock(memory);
                owned = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            CloseClipboard();
        }
        SetEvent(ready_);
        // From here on the thread never looks at its messages: requests to render and news that the
        // clipboard was emptied go unanswered until it is released.
        WaitForSingleObject(release_, INFINITE);
        if (window) DestroyWindow(window);
    });
    WaitForSingleObject(ready_, INFINITE);
    if (!owned) {
        SetEvent(release_);
        thread_.join();
        CloseHandle(ready_);
        CloseHandle(release_);
        CHECK_MSG(false, "the silent owner could not take the clipboard");
    }
}

SilentOwner::~SilentOwner() {
    SetEvent(release_);
    thread_.join();
    CloseHandle(ready_);
    CloseHandle(release_);
}

Flood::Flood(HWND window, int threads) {
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this, window] {
            // Posted messages the window does nothing with; the queue's limit (10 000 on Windows) makes
            // some posts fail, which a flooder does not mind.
            while (!stop_.load())
                if (PostMessageW(window, WM_USER + 77, 0, 0)) posted_.fetch_add(1);
        });
}

Flood::~Flood() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
}

}  // namespace zanthrel::e2e::adversary
