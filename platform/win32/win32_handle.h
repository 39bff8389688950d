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

template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static void close(Handle handle) noexcept { DeleteObject(handle); }
};

struct WindowTraits {
    using Handle = HWND;
    static void close(Handle handle) noexcept { DestroyWindow(handle); }
};

struct IconTraits {
    using Handle = HICON;
    static void close(Handle handle) noexcept { DestroyIcon(handle); }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static void close(Handle handle) noexcept { DeleteDC(handle); }
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static void close(Handle handle) noexcept { CloseHandle(handle); }
};

using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BrushHandle = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using WindowHandle = UniqueHandle<WindowTraits>;
using IconHandle = UniqueHandle<IconTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;
using KernelHandle = UniqueHandle<KernelHandleTraits>;

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
