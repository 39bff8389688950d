#pragma once

#include <memory>

#include "platform/posix/unique_fd.h"

struct wl_display;
struct wl_proxy;

namespace zanthrel::wayland {

using posix::UniqueFd;

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
