#include "platform/wayland/data_control.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace zanthrel::wayland {

// The two protocols are one wire layout under two names: the same requests and events at the same
// opcodes with the same arguments. What is spoken below relies on that; the build checks it.
static_assert(EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE);
static_assert(EXT_DATA_CONTROL_MANAGER_V1_DESTROY == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_OFFER_V1_RECEIVE == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE);
static_assert(EXT_DATA_CONTROL_OFFER_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
static_assert(sizeof(ext_data_control_device_v1_listener) == sizeof(zwlr_data_control_device_v1_listener));
static_assert(sizeof(ext_data_control_offer_v1_listener) == sizeof(zwlr_data_control_offer_v1_listener));

struct DataControlSession::Interfaces {
    std::string_view name;
    const wl_interface* manager;
    const wl_interface* device;
};

struct DataControlSession::Offer {
    Proxy proxy;
    PictureTypeChoice types;
};

namespace {

const DataControlSession::Interfaces* extInterfaces() {
    static const DataControlSession::Interfaces interfaces{
        "ext-data-control-v1", &ext_data_control_manager_v1_interface, &ext_data_control_device_v1_interface};
    return &interfaces;
}

const DataControlSession::Interfaces* wlrInterfaces() {
    static const DataControlSession::Interfaces interfaces{"zwlr-data-control-unstable-v1",
                                                           &zwlr_data_control_manager_v1_interface,
                                                           &zwlr_data_control_device_v1_interface};
    return &interfaces;
}

// The events' handlers in wire order; objects arrive as plain proxy pointers whatever their interface.
struct DeviceListener {
    void (*dataOffer)(void*, void*, void*);
    void (*selection)(void*, void*, void*);
    void (*finished)(void*, void*);
    void (*primarySelection)(void*, void*, void*);
};
struct OfferListener {
    void (*offer)(void*, void*, const char*);
};
static_assert(sizeof(DeviceListener) == sizeof(ext_data_control_device_v1_listener));
static_assert(sizeof(OfferListener) == sizeof(ext_data_control_offer_v1_listener));

// An offer introduced without ever being named as a selection is a compositor's mistake; a few are
// kept in case the naming follows, not an unbounded number.
constexpr std::size_t kMostIntroduced = 8;

}  // namespace

void DisplayDisconnect::operator()(wl_display* display) const noexcept {
    wl_display_disconnect(display);
}

void ProxyDestroy::operator()(wl_proxy* proxy) const noexcept {
    if (destructorOpcode == kNoRequest) {
        wl_proxy_destroy(proxy);
        return;
    }
    wl_proxy_marshal_flags(proxy, static_cast<std::uint32_t>(destructorOpcode), nullptr, wl_proxy_get_version(proxy),
                           WL_MARSHAL_FLAG_DESTROY);
}

std::unique_ptr<DataControlSession> DataControlSession::connect(const char* displayName) {
    std::unique_ptr<DataControlSession> session(new DataControlSession);
    session->display_.reset(wl_display_connect(displayName));
    if (!session->display_) return nullptr;
    wl_display* display = session->display_.get();

    static const wl_registry_listener registryListener{&DataControlSession::onGlobal,
                                                       &DataControlSession::onGlobalRemove};
    session->registry_ = adoptProxy(wl_display_get_registry(display));
    wl_registry* registry = reinterpret_cast<wl_registry*>(session->registry_.get());
    wl_registry_add_listener(registry, &registryListener, session.get());
    if (wl_display_roundtrip(display) < 0 || session->seatName_ == 0) return nullptr;

    std::uint32_t managerName = session->extName_;
    session->interfaces_ = extInterfaces();
    if (managerName == 0) {
        managerName = session->wlrName_;
        session->interfaces_ = wlrInterfaces();
    }
    if (managerName == 0) return nullptr;
    // The primary selection came with version 2 of the older protocol and is in the first of the newer.
    const std::uint32_t version = session->interfaces_ == wlrInterfaces() ? std::min(session->wlrVersion_, 2u) : 1u;
    session->primaryOffered_ = session->interfaces_ == extInterfaces() || version >= 2;
    session->seat_ = adoptProxy(wl_registry_bind(registry, session->seatName_, &wl_seat_interface, 1));
    session->manager_ = adoptProxy(wl_registry_bind(registry, managerName, session->interfaces_->manager, version),
                                   EXT_DATA_CONTROL_MANAGER_V1_DESTROY);
    session->device_ =
        adoptProxy(wl_proxy_marshal_flags(session->manager_.get(), EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE,
                                          session->interfaces_->device, version, 0, nullptr, session->seat_.get()),
                   EXT_DATA_CONTROL_DEVICE_V1_DESTROY);
    if (!session->device_) return nullptr;
    static const DeviceListener deviceListener{
        [](void* data, void* device, void* offer) { onDataOffer(data, device, offer); },
        [](void* data, void* device, void* offer) { onSelection(data, device, offer); },
        [](void* data, void* device) { onFinished(data, device); },
        [](void* data, void* device, void* offer) { onPrimarySelection(data, device, offer); },
    };
    wl_proxy_add_listener(session->device_.get(),
                          reinterpret_cast<void (**)(void)>(const_cast<DeviceListener*>(&deviceListener)),
                          session.get());
    // The compositor names the selection it holds as soon as the device exists.
    if (wl_display_roundtrip(display) < 0) return nullptr;
    return session;
}

DataControlSession::~DataControlSession() {
    // Proxies go before the connection they were made on; members would go in reverse order anyway,
    // but the offers hold proxies too.
    clearCallback_.reset();
    selection_.reset();
    introduced_.clear();
}

std::string_view DataControlSession::protocolName() const noexcept {
    return interfaces_ ? interfaces_->name : std::string_view{};
}

int DataControlSession::fd() const noexcept {
    return wl_display_get_fd(display_.get());
}

bool DataControlSession::flush() {
    const int sent = wl_display_flush(display_.get());
    pendingOutput_ = sent < 0 && errno == EAGAIN;
    return sent >= 0 || errno == EAGAIN;
}

bool DataControlSession::beginWait() {
    wl_display* display = display_.get();
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return false;
    if (!flush()) {
        wl_display_cancel_read(display);
        return false;
    }
    return true;
}

bool DataControlSession::endWait(bool readable) {
    wl_display* display = display_.get();
    if (readable) {
        if (wl_display_read_events(display) < 0) return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0 && flush();
}

const PictureTypeChoice* DataControlSession::selectionTypes() const noexcept {
    return selection_ ? &selection_->types : nullptr;
}

posix::UniqueFd DataControlSession::receive(const std::string& type) {
    if (!selection_) return {};
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return {};
    posix::UniqueFd readEnd(ends[0]);
    const posix::UniqueFd writeEnd(ends[1]);
    if (fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) return {};
    // The library sends a copy of the write end; ours closes here, so that the owner's close is the end.
    wl_proxy_marshal_flags(selection_->proxy.get(), EXT_DATA_CONTROL_OFFER_V1_RECEIVE, nullptr, 1, 0, type.c_str(),
                           writeEnd.get());
    flush();
    return readEnd;
}

void DataControlSession::clearSelection() {
    if (!device_) {
        if (events_.clearAnswered) events_.clearAnswered(false);
        return;
    }
    wl_proxy_marshal_flags(device_.get(), EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION, nullptr, 1, 0, nullptr);
    // Out before anything else is asked: a spy told of the same change is sending its request already.
    flush();
    emptiedSinceClear_ = false;
    // The compositor answers requests in order: when this sync is done, the emptying was handled.
    static const wl_callback_listener syncListener{&DataControlSession::onClearDone};
    clearCallback_ = adoptProxy(wl_display_sync(display_.get()));
    wl_callback_add_listener(reinterpret_cast<wl_callback*>(clearCallback_.get()), &syncListener, this);
    flush();
}

void DataControlSession::clearPrimarySelection() {
    if (!device_ || !primaryOffered_) return;
    wl_proxy_marshal_flags(device_.get(), EXT_DATA_CONTROL_DEVICE_V1_SET_PRIMARY_SELECTION, nullptr,
                           wl_proxy_get_version(device_.get()), 0, nullptr);
    flush();
}

void DataControlSession::onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                  std::uint32_t version) {
    auto* session = static_cast<DataControlSession*>(data);
    const std::string_view named = interface;
    if (named == "wl_seat" && session->seatName_ == 0) session->seatName_ = name;
    if (named == "ext_data_control_manager_v1") session->extName_ = name;
    if (named == "zwlr_data_control_manager_v1") {
        session->wlrName_ = name;
        session->wlrVersion_ = version;
    }
}

void DataControlSession::onDataOffer(void* data, void*, void* offer) {
    auto* session = static_cast<DataControlSession*>(data);
    // Owned at once, so that the offer is let go even when there is no memory to follow it.
    Proxy proxy = adoptProxy(offer, EXT_DATA_CONTROL_OFFER_V1_DESTROY);
    static const OfferListener offerListener{
        [](void* data, void* offer, const char* type) { onOfferType(data, offer, type); }};
    // Called from the library's dispatch, a C caller: nothing may be thrown through it. An offer that
    // cannot be kept is a change whose types are unknown, answered as offering no picture.
    try {
        auto made = std::make_unique<Offer>();
        made->proxy = std::move(proxy);
        wl_proxy_add_listener(made->proxy.get(),
                              reinterpret_cast<void (**)(void)>(const_cast<OfferListener*>(&offerListener)),
                              made.get());
        if (session->introduced_.size() >= kMostIntroduced) session->introduced_.erase(session->introduced_.begin());
        session->introduced_.push_back(std::move(made));
    } catch (...) {
    }
}

void DataControlSession::onOfferType(void* data, void*, const char* mimeType) {
    try {
        if (mimeType) static_cast<Offer*>(data)->types.consider(mimeType);
    } catch (...) {
        // The type is passed over, as a name too long to be one would be.
    }
}

std::unique_ptr<DataControlSession::Offer> DataControlSession::takeIntroduced(void* offer) {
    const auto found = std::find_if(introduced_.begin(), introduced_.end(),
                                    [offer](const auto& known) { return known->proxy.get() == offer; });
    if (found == introduced_.end()) return nullptr;
    std::unique_ptr<Offer> taken = std::move(*found);
    introduced_.erase(found);
    return taken;
}

void DataControlSession::onSelection(void* data, void*, void* offer) {
    auto* session = static_cast<DataControlSession*>(data);
    session->selection_ = offer ? session->takeIntroduced(offer) : nullptr;
    if (!session->selection_) session->emptiedSinceClear_ = true;
    if (session->events_.selectionChanged) session->events_.selectionChanged(offer != nullptr);
}

void DataControlSession::onPrimarySelection(void* data, void*, void* offer) {
    // Introduced like any offer, and let go at once: what it holds is never read.
    auto* session = static_cast<DataControlSession*>(data);
    if (offer) session->takeIntroduced(offer);
    session->hasPrimary_ = offer != nullptr;
    if (session->events_.primaryChanged) session->events_.primaryChanged(offer != nullptr);
}

void DataControlSession::onFinished(void* data, void*) {
    auto* session = static_cast<DataControlSession*>(data);
    session->selection_.reset();
    session->introduced_.clear();
    session->device_.reset();
    if (session->events_.finished) session->events_.finished();
}

void DataControlSession::onClearDone(void* data, wl_callback*, std::uint32_t) {
    auto* session = static_cast<DataControlSession*>(data);
    session->clearCallback_.reset();
    if (session->events_.clearAnswered) session->events_.clearAnswered(session->emptiedSinceClear_);
}

}  // namespace zanthrel::wayland
