#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace zanthrel::win32 {

// Owns one reference to a COM object and releases it exactly once. Move-only.
template <typename Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    Interface* get() const noexcept { return object_; }
    Interface* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Where a call that hands out a new reference puts it; what was held before is released first.
    Interface** put() noexcept {
        reset();
        return &object_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }
    void reset() noexcept {
        if (object_) std::exchange(object_, nullptr)->Release();
    }

private:
    Interface* object_ = nullptr;
};

// COM begun on the calling thread, in the multithreaded apartment (the thread pumps no messages), for
// as long as this lives. Ended only on the thread that began it: on any other thread ending it would
// end somebody else's.
class ComApartment {
public:
    ComApartment() noexcept : thread_(GetCurrentThreadId()) {
        const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // Already begun otherwise on this thread: usable all the same, and not ours to end.
        usable_ = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
        mustEnd_ = SUCCEEDED(result);
    }
    ~ComApartment() {
        if (mustEnd_ && GetCurrentThreadId() == thread_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // COM can be used on this thread, begun here or before.
    bool usable() const noexcept { return usable_; }

private:
    bool usable_ = false;
    bool mustEnd_ = false;
    DWORD thread_ = 0;
};

}  // namespace zanthrel::win32
