#pragma once

#include <windows.h>

#include <utility>

namespace zanthrel::win32 {

// Owns one handle and gives it back to the system exactly once. Move-only, so that no two owners can
// release the same handle.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }
    // Forgets the handle without releasing it, for when the system has already destroyed it.
    Handle release() noexcept { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) noexcept {
        if (handle_ != Handle{} && handle_ != handle) Traits::close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_{};
};

// What closes a handle of type H: one of the system's own release functions.
template <typename H, auto Close>
struct CloseWith {
    using Handle = H;
    static void close(Handle handle) noexcept { Close(handle); }
};

using BitmapHandle = UniqueHandle<CloseWith<HBITMAP, &DeleteObject>>;
using FontHandle = UniqueHandle<CloseWith<HFONT, &DeleteObject>>;
using BrushHandle = UniqueHandle<CloseWith<HBRUSH, &DeleteObject>>;
using WindowHandle = UniqueHandle<CloseWith<HWND, &DestroyWindow>>;
using IconHandle = UniqueHandle<CloseWith<HICON, &DestroyIcon>>;
using MemoryDc = UniqueHandle<CloseWith<HDC, &DeleteDC>>;
using KernelHandle = UniqueHandle<CloseWith<HANDLE, &CloseHandle>>;

// The screen's device context for the length of one scope.
class ScreenDc {
public:
    ScreenDc() noexcept : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

// Puts a GDI object into a device context and takes it out again at the end of the scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace zanthrel::win32
