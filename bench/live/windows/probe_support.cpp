#include "bench/live/windows/probe_support.h"

#include <cstdio>
#include <cstring>

#include "core/runtime_error.h"

namespace zanthrel::live {

using namespace std::chrono_literals;

void fail(const std::string& what) {
    throw RuntimeError(ErrorKind::PlatformFailure, what);
}

std::int64_t wallNs() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;  // 100-ns steps since 1601 to ns since 1970
}

void print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool clipboardEmpty() {
    return CountClipboardFormats() == 0;
}

HANDLE textBlock(const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) fail("no memory for the text");
    std::memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    return block;
}

ClipboardUser::ClipboardUser(WNDPROC procedure, bool listen)
    : window_(CreateWindowExW(0, L"STATIC", L"zanthrel live probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr)),
      listening_(listen) {
    if (!window_) fail("CreateWindowEx failed");
    if (procedure) SetWindowLongPtrW(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    if (listen) AddClipboardFormatListener(window_.get());
}

ClipboardUser::~ClipboardUser() {
    if (listening_) RemoveClipboardFormatListener(window_.get());
}

std::int64_t ClipboardUser::put(UINT format, HANDLE data) {
    // zanthrel.exe opens the clipboard to empty it; wait for our turn.
    if (!pumpUntil(
            Clock::now() + 2s, [&] { return OpenClipboard(window_.get()) != FALSE; }, 1ms))
        fail("the clipboard stayed open for 2 s");
    EmptyClipboard();
    const bool taken = SetClipboardData(format, data) != nullptr;
    const std::int64_t stamp = wallNs();
    CloseClipboard();
    if (!taken) fail("SetClipboardData refused the data");
    return stamp;
}

std::int64_t ClipboardUser::hold(UINT format, HANDLE data, std::chrono::seconds hold) {
    if (!pumpUntil(
            Clock::now() + 2s, [&] { return OpenClipboard(window_.get()) != FALSE; }, 1ms))
        fail("the clipboard stayed open for 2 s");
    EmptyClipboard();
    const bool taken = SetClipboardData(format, data) != nullptr;
    // Its window answers whoever asks meanwhile, so that only the open clipboard stands in the way.
    pumpUntil(
        Clock::now() + hold, [] { return false; }, std::chrono::milliseconds(hold));
    CloseClipboard();
    const std::int64_t stamp = wallNs();
    if (!taken) fail("SetClipboardData refused the data");
    return stamp;
}

}  // namespace zanthrel::live
