// The Windows services under Wine: the picture read through GetDIBits and the clipboard service.

#include <windows.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/runtime_error.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/win32_picture.h"
#include "tests/win32/check.h"
#include "tests/win32/service_support.h"

using namespace zanthrel;
using namespace zanthrel::win32;
using namespace std::chrono_literals;

namespace {

// Wine's bridge to the X selection opens the clipboard for a moment after every change, so whoever
// comes next may find it busy; every use of the clipboard here waits that out.
constexpr auto kClipboardWait = 5s;

constexpr std::int32_t kUntouched = 0x7E7E7E7E;

// A device-dependent bitmap such as a screen capture puts on the clipboard, from rows given top first
// as 0xAARRGGBB.
BitmapHandle screenBitmap(int width, int height, const std::vector<std::uint32_t>& topDown) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ScreenDc screen;
    BitmapHandle bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    SetDIBits(screen.get(), bitmap.get(), 0, static_cast<UINT>(height), topDown.data(), &info, DIB_RGB_COLORS);
    return bitmap;
}

BitmapInfoHeader dibHeader(std::int32_t width, std::int32_t height) {
    return BitmapInfoHeader{40, width, height, 1, 32, 0};
}

// 3 x 2 pixels, top row first; the top bytes carry alpha that the read must not pass on.
const std::vector<std::uint32_t> kSmall{0xFF000001, 0xFF000002, 0xFF000003,   // top row
                                        0x80000004, 0x80000005, 0x80000006};  // bottom row

struct ClipboardSession {
    ClipboardSession() {
        CHECK_MSG(testing::waitUntil([] { return OpenClipboard(nullptr) != FALSE; }, kClipboardWait),
                  "the test could not open the clipboard within 5 seconds");
    }
    ~ClipboardSession() { CloseClipboard(); }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
};

// Runs a clipboard service operation again for as long as it fails only because the clipboard is busy.
template <typename Operation>
auto whenFree(const char* what, Operation&& operation) {
    decltype(operation()) result{};
    const bool done = testing::waitUntil(
        [&] {
            try {
                result = operation();
                return true;
            } catch (const RuntimeError& error) {
                if (error.kind() != ErrorKind::ClipboardBusy) throw;
                return false;
            }
        },
        kClipboardWait);
    CHECK_MSG(done, std::string(what) + ": the clipboard stayed busy for 5 seconds");
    return result;
}

// The service answers from its own thread; here nobody pumps the window it would tell, so the test
// collects the news itself, as the window would on being told, until the answer is the clipboard's now.
PictureRef readPicture(Win32Clipboard& clipboard) {
    return whenFree("reading the picture", [&] {
        clipboard.collect(std::chrono::steady_clock::now());
        PictureRef picture = clipboard.readPicture();
        if (!clipboard.upToDate()) throw RuntimeError(ErrorKind::ClipboardBusy, "an older answer");
        return picture;
    });
}

void clear(Win32Clipboard& clipboard) {
    const bool emptied = testing::waitUntil(
        [&] {
            clipboard.collect(std::chrono::steady_clock::now());
            clipboard.clear();
            return !clipboard.clearOwed();
        },
        kClipboardWait);
    CHECK_MSG(emptied, "emptying the clipboard: not done within 5 seconds");
}

// Puts a packed DIB on the clipboard as its only picture format.
void putDib(const std::vector<std::uint8_t>& dib) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(block), dib.data(), dib.size());
    GlobalUnlock(block);
    ClipboardSession open;
    EmptyClipboard();
    if (SetClipboardData(CF_DIB, block)) return;
    GlobalFree(block);
    CHECK_MSG(false, "SetClipboardData refused the DIB");
}

void putBitmap(const std::vector<std::uint32_t>& pixels) {
    BitmapHandle bitmap = screenBitmap(3, 2, pixels);
    ClipboardSession open;
    EmptyClipboard();
    CHECK(SetClipboardData(CF_BITMAP, bitmap.get()) != nullptr);
    bitmap.release();  // the clipboard owns it now
}

void putText(const wchar_t* text) {
    const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    ClipboardSession open;
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, block)) return;
    GlobalFree(block);
    CHECK_MSG(false, "SetClipboardData refused the text");
}

}  // namespace

TEST_CASE("raw GetDIBits lays a bitmap shorter than the header against its top and zero-fills the rest") {
    // What Win32Picture::readScanLines works around; should GDI ever change this, the workaround is to be
    // looked at again. The top bytes are left out: the pictures clear them anyway.
    BitmapHandle bitmap = screenBitmap(3, 2, kSmall);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 5, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::array<std::int32_t, 20> bits;
    bits.fill(kUntouched);
    ScreenDc screen;
    const int lines = GetDIBits(screen.get(), bitmap.get(), 0, 4, bits.data(), &info, DIB_RGB_COLORS);
    std::string seen = "GetDIBits(3x2 bitmap, 5x4 header) returned " + std::to_string(lines) + ", scan lines from 0:";
    for (std::size_t i = 0; i < bits.size(); ++i) {
        bits[i] &= 0x00FFFFFF;
        seen += (i % 5 == 0 ? " |" : " ") + std::to_string(bits[i]);
    }
    const std::array<std::int32_t, 20> expected{0, 0, 0, 0, 0,   // scan line 0: below the bitmap
                                                0, 0, 0, 0, 0,   //
                                                4, 5, 6, 0, 0,   // the bottom row
                                                1, 2, 3, 0, 0};  // the top row, at the header's top
    CHECK_MSG(bits == expected, seen);
}

TEST_CASE("a picture lays its bottom-left pixel on scan line 0 and leaves the rest of a larger header alone") {
    const auto picture = Win32Picture::copyOf(screenBitmap(3, 2, kSmall).get());
    CHECK(picture && picture->width() == 3 && picture->height() == 2);
    std::array<std::int32_t, 20> bits;
    bits.fill(kUntouched);
    picture->readScanLines(dibHeader(5, 4), 0, 4, bits.data());
    const std::array<std::int32_t, 20> expected{
        4,          5,          6,          kUntouched, kUntouched,  // scan line 0: bottom row
        1,          2,          3,          kUntouched, kUntouched,  // top byte cleared
        kUntouched, kUntouched, kUntouched, kUntouched, kUntouched,
        kUntouched, kUntouched, kUntouched, kUntouched, kUntouched};
    CHECK(bits == expected);

    // A buffer that starts at scan line 1 receives the top row first.
    bits.fill(kUntouched);
    picture->readScanLines(dibHeader(5, 4), 1, 3, bits.data());
    CHECK(bits[0] == 1 && bits[2] == 3 && bits[3] == kUntouched && bits[5] == kUntouched);

    // A header of the picture's own width is read in one go, with the same layout.
    std::array<std::int32_t, 6> exact;
    exact.fill(kUntouched);
    picture->readScanLines(dibHeader(3, 2), 0, 2, exact.data());
    CHECK((exact == std::array<std::int32_t, 6>{4, 5, 6, 1, 2, 3}));

    // A narrower header gets only its own columns of each line.
    std::array<std::int32_t, 4> narrow;
    narrow.fill(kUntouched);
    picture->readScanLines(dibHeader(2, 2), 0, 2, narrow.data());
    CHECK((narrow == std::array<std::int32_t, 4>{4, 5, 1, 2}));
}

TEST_CASE("a packed DIB is decoded, and one too short for its pixels is known by its digest alone") {
    // 2 x 2 at 24 bits, bottom-up: lines of 6 bytes padded to 8.
    std::vector<std::uint8_t> block(sizeof(BITMAPINFOHEADER) + 16, 0);
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
    std::memcpy(block.data(), &header, sizeof header);
    const std::uint8_t pixels[16] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0,   // bottom line
                                     0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0, 0};  // top line
    std::memcpy(block.data() + sizeof header, pixels, sizeof pixels);
    const auto picture = Win32Picture::fromPackedDib(block.data(), block.size(), PictureDigest{1, 1});
    CHECK(picture && picture->width() == 2 && picture->height() == 2 && picture->hasPixels());
    CHECK(picture->digest() == (PictureDigest{1, 1}));
    std::array<std::int32_t, 4> bits{};
    picture->readScanLines(dibHeader(2, 2), 0, 2, bits.data());
    CHECK((bits == std::array<std::int32_t, 4>{0x030201, 0x060504, 0x090807, 0x0C0B0A}));

    // Blocks that cannot be decoded still arrive, known by their digest alone.
    const auto shortBlock = Win32Picture::fromPackedDib(block.data(), block.size() - 1, PictureDigest{2, 2});
    CHECK(shortBlock && !shortBlock->hasPixels() && shortBlock->digest() == (PictureDigest{2, 2}));
    BITMAPINFOHEADER huge = header;
    huge.biHeight = 0x7FFFFFFF;
    std::memcpy(block.data(), &huge, sizeof huge);
    CHECK(!Win32Picture::fromPackedDib(block.data(), block.size(), PictureDigest{3, 3})->hasPixels());
    CHECK(Win32Picture::fromPackedDib(block.data(), 0, PictureDigest{3, 3}) == nullptr);
}

TEST_CASE("a bitmap beyond the memory bound is known by the digest of its pixels, read in bands") {
    // One bit per pixel keeps the test's own bitmaps small: 8193 x 8192 is 8 MB here, 256 MB at 32 bits.
    const BitmapHandle first(CreateBitmap(8193, 8192, 1, 1, nullptr));
    const BitmapHandle second(CreateBitmap(8193, 8192, 1, 1, nullptr));
    CHECK(first && second);
    const PictureRef a = Win32Picture::copyOf(first.get());
    const PictureRef b = Win32Picture::copyOf(second.get());
    CHECK(a && !a->hasPixels() && a->width() == 8193 && a->height() == 8192 && a->digest().known());
    CHECK(sameDeliveredContent(a, b));
}

TEST_CASE(
    "DIBs from another program: malformed ones arrive without pixels, the same bytes again give the same picture") {
    Win32Clipboard clipboard(nullptr, 0);
    std::vector<std::uint8_t> good(sizeof(BITMAPINFOHEADER) + 8, 0);
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), 2, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(good.data(), &header, sizeof header);
    good[sizeof header] = 0x11;
    putDib(good);
    const PictureRef first = readPicture(clipboard);
    CHECK(first && first->hasPixels() && first->width() == 2 && first->digest().known());
    putDib(good);
    CHECK(readPicture(clipboard) == first);

    // Each of these once cost the program its stock bitmap, its memory or its life.
    for (const auto& [width, height] : {std::pair{-2, 1}, {2, 0}, {2, INT_MIN}, {1 << 30, 1 << 30}}) {
        std::vector<std::uint8_t> bad = good;
        BITMAPINFOHEADER broken = header;
        broken.biWidth = width;
        broken.biHeight = height;
        std::memcpy(bad.data(), &broken, sizeof broken);
        putDib(bad);
        const PictureRef picture = readPicture(clipboard);
        CHECK_MSG(
            picture && !picture->hasPixels() && picture->digest().known() && picture->digest() != first->digest(),
            "a DIB of " + std::to_string(width) + " x " + std::to_string(height) + " was not judged by its digest");
    }
    // Asking Wine for the CF_BITMAP it makes of a zero-height DIB hands out the process's stock 1 x 1
    // bitmap, which its clipboard cache then deletes when the clipboard is emptied: every new device
    // context would start with a dead bitmap. Reading the DIB itself leaves the stock bitmap alone.
    clear(clipboard);
    const HDC fresh = CreateCompatibleDC(nullptr);
    BITMAP stock{};
    CHECK_MSG(GetObjectW(GetCurrentObject(fresh, OBJ_BITMAP), sizeof stock, &stock) && stock.bmWidth == 1,
              "the stock bitmap of a new device context is gone");
    DeleteDC(fresh);

    good[sizeof header] = 0x22;
    putDib(good);
    const PictureRef after = readPicture(clipboard);
    std::array<std::int32_t, 2> bits{};
    after->readScanLines(dibHeader(2, 1), 0, 1, bits.data());
    CHECK(after != first && bits[0] == 0x22);
}

TEST_CASE("the clipboard hands out one copy per clipboard change and keeps its own bitmap") {
    Win32Clipboard clipboard(nullptr, 0);
    putBitmap(kSmall);
    const PictureRef first = readPicture(clipboard);
    CHECK(first != nullptr);
    CHECK(readPicture(clipboard) == first);  // unchanged clipboard: the very same object

    {
        // The clipboard still holds a bitmap of its own after our read.
        ClipboardSession open;
        const auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
        BITMAP description{};
        CHECK(bitmap && GetObjectW(bitmap, sizeof description, &description) && description.bmWidth == 3);
    }

    putBitmap(kSmall);  // the same pixels copied again: recognised by their digest, the same picture
    CHECK(readPicture(clipboard) == first);
    std::vector<std::uint32_t> other = kSmall;
    other[0] = 0xFF000009;
    putBitmap(other);
    const PictureRef second = readPicture(clipboard);
    CHECK(second != nullptr && second != first);

    // Our copy outlives the clipboard's bitmap.
    clear(clipboard);
    std::array<std::int32_t, 6> bits{};
    second->readScanLines(dibHeader(3, 2), 0, 2, bits.data());
    CHECK(bits[0] == 4 && bits[3] == 9 && bits[5] == 3);

    CHECK(readPicture(clipboard) == nullptr);  // empty
    putText(L"no picture");
    CHECK(readPicture(clipboard) == nullptr);
}

TEST_CASE("a clipboard that another thread holds open is read and emptied once it is let go") {
    Win32Clipboard clipboard(nullptr, 0);
    win32test::ClipboardHolder holder(L"held");
    CHECK_MSG(holder.holding(), "the other thread could not open the clipboard within 5 seconds");
    auto busy = [](auto&& operation) {
        try {
            operation();
        } catch (const RuntimeError& error) {
            return error.kind() == ErrorKind::ClipboardBusy;
        }
        return false;
    };
    const bool readBusy = busy([&] { clipboard.readPicture(); });
    clipboard.clear();
    // The service's thread tried both and found the clipboard held: the text is still there, the emptying
    // still owed, and the window has nothing to check until the release, however long it takes. The
    // service looks again by itself meanwhile, and tells the window nothing.
    bool told = false;
    const bool waiting = testing::waitUntil(
        [&] {
            const Win32Clipboard::News news = clipboard.collect(std::chrono::steady_clock::now());
            told = told || news.clearAgain || news.answered;
            return clipboard.idle() && !clipboard.needsChecks() && clipboard.status().looksWhileHeld >= 2;
        },
        kClipboardWait);
    const bool stillThere = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    const bool owed = clipboard.clearOwed();
    holder.release();
    CHECK(readBusy && waiting && stillThere && owed);
    CHECK_MSG(!told, "the window was told something while the clipboard was still held");
    // Let go: the read is done by itself, and the window is told to decide on emptying again (blocking
    // may have ended meanwhile) rather than having it done behind its back.
    bool answered = false;
    bool clearAgain = false;
    CHECK_MSG(testing::waitUntil(
                  [&] {
                      const Win32Clipboard::News news = clipboard.collect(std::chrono::steady_clock::now());
                      answered = answered || news.answered;
                      clearAgain = clearAgain || news.clearAgain;
                      return answered && clearAgain;
                  },
                  kClipboardWait),
              "after the release: read " + std::to_string(answered) + ", told to empty " + std::to_string(clearAgain));
    CHECK(IsClipboardFormatAvailable(CF_UNICODETEXT) && !clipboard.clearOwed());
    clear(clipboard);
    CHECK(CountClipboardFormats() == 0);
}

TEST_CASE("while a change is being answered the previous picture is read, and only a settled clipboard is at rest") {
    Win32Clipboard clipboard(nullptr, 0);
    putBitmap(kSmall);
    const PictureRef first = readPicture(clipboard);
    CHECK(clipboard.atRest(first));
    std::vector<std::uint32_t> other = kSmall;
    other[1] = 0xFF000077;
    putBitmap(other);
    // Nothing collected yet: the answer to the change cannot have been taken in. A busy clipboard here
    // would leave a sampling tick's holders half settled and count the new picture twice.
    const PictureRef meanwhile = whenFree("reading during the change", [&] { return clipboard.readPicture(); });
    CHECK(meanwhile == first && !clipboard.upToDate() && !clipboard.atRest(first));
    const PictureRef second = readPicture(clipboard);
    CHECK(second != first && clipboard.atRest(second) && !clipboard.atRest(first));
}

int main(int argc, char** argv) {
    return zanthrel::testing::runTests(argc > 1 ? argv[1] : "");
}
