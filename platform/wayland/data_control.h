#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pictures/picture_formats.h"
#include "platform/wayland/wayland_handles.h"

struct wl_callback;
struct wl_registry;

namespace zanthrel::wayland {

// One connection to the compositor's data-control service for the first seat: ext-data-control-v1
// where offered, else zwlr-data-control-unstable-v1. Both lay out their requests and events alike, so
// one code path speaks either. The regular selection is followed with its types; of the primary
// selection (where the service offers it: ext, or zwlr from version 2) only whether one is set, so
// that it can be emptied. Not thread-safe: one thread makes it and then uses it alone.
class DataControlSession {
public:
    struct Events {
        // A new selection: `owned` when some program offers data, false when it was emptied.
        std::function<void(bool owned)> selectionChanged;
        // A new primary selection, likewise.
        std::function<void(bool owned)> primaryChanged;
        // The compositor withdrew the data device; nothing more will be seen.
        std::function<void()> finished;
        // The answer to clearSelection(): whether the compositor emptied the selection.
        std::function<void(bool emptied)> clearAnswered;
    };

    // Null when no compositor answers at `displayName` (null: $WAYLAND_DISPLAY) or it offers no
    // data-control service or no seat. The selection found is known at once and is not reported.
    static std::unique_ptr<DataControlSession> connect(const char* displayName = nullptr);
    ~DataControlSession();
    DataControlSession(const DataControlSession&) = delete;
    DataControlSession& operator=(const DataControlSession&) = delete;

    void setEvents(Events events) { events_ = std::move(events); }
    std::string_view protocolName() const noexcept;

    // The event loop's two halves around a poll() of fd(): false once the connection has failed.
    int fd() const noexcept;
    bool beginWait();
    bool endWait(bool readable);
    // Whether requests are still waiting for the socket to take them (poll for POLLOUT then).
    bool pendingOutput() const noexcept { return pendingOutput_; }

    // Whether some program offers data now, and the best picture type among what it offers.
    bool hasSelection() const noexcept { return selection_ != nullptr; }
    const PictureTypeChoice* selectionTypes() const noexcept;
    // Asks the owner of the selection to write it as `type` into a new pipe, whose read end (not
    // blocking) is returned; empty when no pipe could be made or there is no selection.
    posix::UniqueFd receive(const std::string& type);
    // Empties the selection; clearAnswered follows once the compositor has handled it.
    void clearSelection();
    // Whether an emptying asked for has not yet been answered: a selection emptied meanwhile is its work.
    bool clearPending() const noexcept { return clearCallback_ != nullptr; }
    // Whether some program has set the primary selection now.
    bool hasPrimarySelection() const noexcept { return hasPrimary_; }
    // Empties the primary selection, where the service offers it, answering nothing.
    void clearPrimarySelection();

    struct Offer;
    struct Interfaces;

private:
    DataControlSession() = default;
    bool flush();

    static void onGlobal(void* data, struct wl_registry*, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void onGlobalRemove(void*, struct wl_registry*, std::uint32_t) {}
    static void onDataOffer(void* data, void* device, void* offer);
    static void onSelection(void* data, void* device, void* offer);
    static void onFinished(void* data, void* device);
    static void onPrimarySelection(void* data, void* device, void* offer);
    static void onOfferType(void* data, void* offer, const char* mimeType);
    static void onClearDone(void* data, struct wl_callback*, std::uint32_t);
    std::unique_ptr<Offer> takeIntroduced(void* offer);

    // Destroyed in reverse: every proxy before the connection it was made on.
    DisplayConnection display_;
    Proxy registry_;
    Proxy seat_;
    Proxy manager_;
    Proxy device_;
    const Interfaces* interfaces_ = nullptr;
    std::uint32_t seatName_ = 0, extName_ = 0, wlrName_ = 0;
    // Offers the compositor introduced and has not yet named as a selection.
    std::vector<std::unique_ptr<Offer>> introduced_;
    std::unique_ptr<Offer> selection_;
    Proxy clearCallback_;
    bool emptiedSinceClear_ = false;
    bool pendingOutput_ = false;
    std::uint32_t wlrVersion_ = 0;
    bool primaryOffered_ = false;
    bool hasPrimary_ = false;
    Events events_;
};

}  // namespace zanthrel::wayland
