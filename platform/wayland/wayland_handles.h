#pragma once

#include <unistd.h>

#include <memory>
#include <utility>

struct wl_display;
struct wl_proxy;

namespace zanthrel::wayland {

// A file descriptor this process owns, closed exactly once.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

struct DisplayDisconnect {
    void operator()(wl_display* display) const noexcept;
};
// A connection to the compositor; disconnecting frees every proxy still made on it, so proxies go first.
using DisplayConnection = std::unique_ptr<wl_display, DisplayDisconnect>;

// Ends a proxy: with its protocol's destructor request where it has one, so that the compositor frees
// its side too, else only on this side (wl_registry, wl_callback, a wl_seat of version 1).
struct ProxyDestroy {
    static constexpr int kNoRequest = -1;
    int destructorOpcode = kNoRequest;
    void operator()(wl_proxy* proxy) const noexcept;
};
using Proxy = std::unique_ptr<wl_proxy, ProxyDestroy>;

inline Proxy adoptProxy(void* proxy, int destructorOpcode = ProxyDestroy::kNoRequest) noexcept {
    return Proxy(static_cast<wl_proxy*>(proxy), ProxyDestroy{destructorOpcode});
}

}  // namespace zanthrel::wayland
