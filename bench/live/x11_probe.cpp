// Another program on the X11 clipboard, for the live measurements: it takes the CLIPBOARD selection
// with a text and times how long it stays the owner (`exposure`), or offers pictures under image/png
// and writes down when it took the selection for each (`copy-pictures`).

#include <poll.h>
#include <xcb/xcb.h>

#include <QBuffer>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/live/live_figures.h"
#include "bench/live/test_picture.h"
#include "core/runtime_error.h"
#include "tests/support/xcb_selection_answer.h"

namespace {

using namespace zanthrel;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int64_t wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

[[noreturn]] void fail(const std::string& what) {
    throw RuntimeError(ErrorKind::PlatformFailure, what);
}

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

class SelectionOwner {
public:
    SelectionOwner() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_)) fail("cannot connect to the X display");
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
        clipboard_ = atom("CLIPBOARD");
        targets_ = atom("TARGETS");
        timestamp_ = atom("TIMESTAMP");
        clock_ = atom("ZANTHREL_PROBE_CLOCK");
        maxRequestBytes_ = std::size_t{xcb_get_maximum_request_length(connection_)} * 4;
    }
    ~SelectionOwner() { xcb_disconnect(connection_); }
    SelectionOwner(const SelectionOwner&) = delete;
    SelectionOwner& operator=(const SelectionOwner&) = delete;

    xcb_atom_t atom(const char* name) {
        XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        if (!reply) fail(std::string("cannot intern the atom ") + name);
        return reply->atom;
    }

    // Takes the selection offering `data` under `target` (of type `type`) and returns the wall-clock time
    // just before asking for it: the moment the copy happened, seen from outside.
    std::int64_t own(xcb_atom_t target, xcb_atom_t type, std::vector<std::uint8_t> data) {
        if (data.size() + 64 > maxRequestBytes_) fail("the data exceeds one X request and INCR is not offered");
        const xcb_timestamp_t time = serverTime();
        target_ = target;
        type_ = type;
        data_ = std::move(data);
        ownedSince_ = time;
        lost_ = false;
        const std::int64_t stamp = wallNs();
        xcb_set_selection_owner(connection_, window_, clipboard_, time);
        XcbPtr<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
        if (!reply) fail("the X connection broke");
        drainQueued();
        // Taken away again already, or never given: only the first means the copy happened.
        if (reply->owner != window_ && !lost_) fail("the X server refused the selection");
        return stamp;
    }

    bool lost() const noexcept { return lost_; }
    // Called with the wall-clock time of every request, and whether it was one for the data itself that
    // was handed out.
    void onRequest(std::function<void(std::int64_t, bool)> callback) { onRequest_ = std::move(callback); }
    std::int64_t lostAtNs() const noexcept { return lostAtNs_; }

    // Serves requests for the data until the deadline, or until the selection is lost if asked to.
    void serveUntil(Clock::time_point deadline, bool stopWhenLost) {
        for (;;) {
            drainQueued();
            while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) handle(*event);
            if (xcb_connection_has_error(connection_)) fail("the X connection broke");
            if (stopWhenLost && lost_) return;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return;
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left));
        }
    }

private:
    void drainQueued() {
        while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_queued_event(connection_)}) handle(*event);
    }

    // A timestamp from the server, as the conventions ask of a new owner: a property change reports one.
    xcb_timestamp_t serverTime() {
        propertyTime_ = 0;
        xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, clock_, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(connection_);
        const auto deadline = Clock::now() + 5s;
        while (propertyTime_ == 0) {
            XcbPtr<xcb_generic_event_t> event{xcb_wait_for_event(connection_)};
            if (!event) fail("the X connection broke");
            handle(*event);
            if (Clock::now() > deadline) fail("the X server reported no property change");
        }
        return propertyTime_;
    }

    void handle(const xcb_generic_event_t& event) {
        switch (event.response_type & 0x7F) {
            case XCB_PROPERTY_NOTIFY: {
                const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
                if (notify.window == window_ && notify.atom == clock_) propertyTime_ = notify.time;
                break;
            }
            case XCB_SELECTION_CLEAR: {
                const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
                if (clear.selection == clipboard_ && !lost_) {
                    lostAtNs_ = wallNs();
                    lost_ = true;
                }
                break;
            }
            case XCB_SELECTION_REQUEST: {
                const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
                const bool served = answer(request) && request.target == target_;
                if (onRequest_) onRequest_(wallNs(), served);
                break;
            }
            default: break;
        }
    }

    // Whether the data asked for was given.
    bool answer(const xcb_selection_request_event_t& request) {
        xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
        const bool current = !lost_ && request.selection == clipboard_ &&
                             (request.time == XCB_CURRENT_TIME || request.time >= ownedSince_);
        if (current && request.target == targets_) {
            const xcb_atom_t offered[] = {targets_, timestamp_, target_};
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 3,
                                offered);
        } else if (current && request.target == timestamp_) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32,
                                1, &ownedSince_);
        } else if (current && request.target == target_) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, type_, 8,
                                static_cast<std::uint32_t>(data_.size()), data_.data());
        } else {
            property = XCB_ATOM_NONE;  // refused
        }
        answerSelectionRequest(connection_, request, property);
        return property != XCB_ATOM_NONE;
    }

    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = 0, targets_ = 0, timestamp_ = 0, clock_ = 0;
    std::size_t maxRequestBytes_ = 0;
    xcb_atom_t target_ = 0, type_ = 0;
    std::vector<std::uint8_t> data_;
    xcb_timestamp_t ownedSince_ = 0, propertyTime_ = 0;
    bool lost_ = false;
    std::int64_t lostAtNs_ = 0;
    std::function<void(std::int64_t, bool)> onRequest_;
};

// The picture as a screenshot tool offers it under image/png.
std::vector<std::uint8_t> pngOf(int width, int height, std::uint32_t seed) {
    const std::vector<std::uint32_t> pixels = live::desktopLikePixels(width, height, seed);
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), width, height, width * 4, QImage::Format_RGB32);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG")) fail("Qt could not write a PNG");
    return {png.data().begin(), png.data().end()};
}

void print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Takes the selection with a text `count` times, `spacing` apart, and prints how long it kept it.
int exposure(int count, std::chrono::milliseconds spacing) {
    SelectionOwner owner;
    const xcb_atom_t utf8 = owner.atom("UTF8_STRING");
    constexpr auto kGiveUp = 1s;
    std::vector<double> samples;
    int kept = 0;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        owner.serveUntil(start + i * spacing, false);
        const std::string text = "exposure probe " + std::to_string(i);
        const std::int64_t copied = owner.own(utf8, utf8, {text.begin(), text.end()});
        owner.serveUntil(Clock::now() + kGiveUp, true);
        if (!owner.lost()) {
            ++kept;
            continue;
        }
        samples.push_back(static_cast<double>(owner.lostAtNs() - copied) / 1e6);
    }
    for (const std::string& line : live::exposureFigures(samples, kept)) print(line);
    return 0;
}

// Offers up to `count` different pictures under image/png, `spacing` apart; prints `copy <ns>` for each,
// `asked <ns>` at the first request after it and `served <ns>` when the picture was first handed out.
// Stops when the selection is taken away (the alarm blocks the clipboard), or `hold` after the last.
int copyPictures(int count, std::chrono::milliseconds spacing, int width, int height, int seed,
                 std::chrono::seconds hold) {
    std::vector<std::vector<std::uint8_t>> pictures;
    for (int i = 0; i < count; ++i) pictures.push_back(pngOf(width, height, static_cast<std::uint32_t>(seed + i)));
    SelectionOwner owner;
    const xcb_atom_t png = owner.atom("image/png");
    // Only the first request of each kind after a copy counts: when the program first reacted to it
    // (usually asking for TARGETS), and when it took the picture.
    bool asked = false, served = false;
    owner.onRequest([&](std::int64_t at, bool picture) {
        if (!std::exchange(asked, true)) print("asked " + std::to_string(at));
        if (picture && !std::exchange(served, true)) print("served " + std::to_string(at));
    });
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        // Taken away before the next copy: the alarm blocked the clipboard, so further copies prove nothing.
        owner.serveUntil(start + i * spacing, true);
        if (i > 0 && owner.lost()) {
            std::fprintf(stderr, "x11 probe: the clipboard was taken away after %d copies\n", i);
            return 0;
        }
        asked = served = false;
        print("copy " + std::to_string(owner.own(png, png, std::move(pictures[static_cast<std::size_t>(i)]))));
    }
    owner.serveUntil(Clock::now() + hold, true);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        const live::ProbeCommand command = live::parseProbeCommand({argv + (argc > 0 ? 1 : 0), argv + argc});
        const std::chrono::milliseconds spacing(command.spacingMs);
        switch (command.mode) {
            case live::ProbeCommand::Mode::Exposure: return exposure(command.count, spacing);
            case live::ProbeCommand::Mode::CopyPictures:
                return copyPictures(command.count, spacing, command.width, command.height, command.seed,
                                    std::chrono::seconds(command.holdSeconds));
            default: break;
        }
        std::fprintf(stderr,
                     "usage: zanthrel_live_x11 exposure COUNT SPACING_MS\n"
                     "       zanthrel_live_x11 copy-pictures COUNT SPACING_MS WIDTH HEIGHT SEED [HOLD_S]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zanthrel_live_x11: %s\n", error.what());
        return 1;
    }
}
