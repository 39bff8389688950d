#include "platform/x11/x11_clipboard_reader.h"

#include "platform/posix/wakeup_latency.h"
#include "platform/x11/x11_pixmap.h"
#include "platform/x11/xcb_handles.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>

namespace zanthrel::x11 {
namespace {

using Kind = posix::ClipboardDelivery::Kind;
using ScheduleStep = posix::ReadingSchedule::Step;

// A Wayland session's X server is its compositor's bridge to the Wayland programs.
bool onWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display && *display;
}

// Words asked for per GetProperty: a few megabytes per reply keeps any one reply's buffer modest.
constexpr std::uint32_t kPropertyWords = 1u << 20;

}  // namespace

std::unique_ptr<X11ClipboardReader> X11ClipboardReader::start(Listener listener, bool useXfixes) {
    XcbConnection owned(xcb_connect(nullptr, nullptr));
    xcb_connection_t* connection = owned.get();
    if (!connection || xcb_connection_has_error(connection)) return nullptr;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    posix::UniqueFd wakeFd(screen ? eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1);
    if (!wakeFd) return nullptr;
    // The window the owners deliver to; it is never mapped.
    const std::uint32_t window = xcb_generate_id(connection);
    const std::uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &eventMask);
    Atoms atoms;
    atoms.clipboard = intern(connection, "CLIPBOARD");
    atoms.primary = XCB_ATOM_PRIMARY;
    atoms.targets = intern(connection, "TARGETS");
    atoms.incr = intern(connection, "INCR");
    atoms.timestamp = intern(connection, "TIMESTAMP");
    atoms.properties[0] = intern(connection, "ZANTHREL_TRANSFER_A");
    atoms.properties[1] = intern(connection, "ZANTHREL_TRANSFER_B");

    std::optional<std::uint8_t> xfixesEventBase;
    const xcb_query_extension_reply_t* xfixes =
        useXfixes ? xcb_get_extension_data(connection, &xcb_xfixes_id) : nullptr;
    if (xfixes && xfixes->present) {
        // The extension answers nothing before its version has been agreed.
        ReplyPtr<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 5, 0), nullptr));
        if (version && version->major_version >= 1) {
            // PRIMARY matters only while blocking, but a notice of the user selecting text costs a wake-up.
            for (const std::uint32_t selection : {atoms.clipboard, atoms.primary})
                xcb_xfixes_select_selection_input(connection, window, selection,
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                                      XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                                      XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
            xfixesEventBase = xfixes->first_event;
        }
    }
    // A spy told of a change in the same instant as the reader loses the race whenever its request and the
    // reader's emptying reach the server together.
    askToBeServedFirst(connection);
    if (atoms.clipboard == XCB_NONE || xcb_connection_has_error(connection)) return nullptr;
    std::unique_ptr<X11ClipboardReader> reader(new X11ClipboardReader(
        std::move(owned), window, std::move(atoms), xfixesEventBase, std::move(wakeFd), std::move(listener)));
    reader->latestOwner_ = reader->queryOwner(reader->atoms_.clipboard);
    reader->schedule_ = posix::ReadingSchedule({reader->latestOwner_ != XCB_NONE, reader->latestOwner_, false});
    reader->emptier_.primaryChanged(reader->queryOwner(reader->atoms_.primary), XCB_CURRENT_TIME, Clock::now());
    reader->thread_ = std::thread([raw = reader.get()] { raw->run(); });
    return reader;
}

X11ClipboardReader::X11ClipboardReader(XcbConnection connection, std::uint32_t window, Atoms atoms,
                                       std::optional<std::uint8_t> xfixesEventBase, posix::UniqueFd wakeFd,
                                       Listener listener)
    : connection_(std::move(connection)),
      window_(window),
      atoms_(std::move(atoms)),
      xfixesEventBase_(xfixesEventBase),
      wakeFd_(std::move(wakeFd)),
      listener_(std::move(listener)),
      emptier_(connection_.get(), window, {atoms_.clipboard, atoms_.primary, atoms_.targets, atoms_.timestamp},
               onWaylandSession()),
      programs_(connection_.get()),
      atomNames_(connection_.get()) {}

X11ClipboardReader::~X11ClipboardReader() {
    stopping_ = true;
    wake();
    if (thread_.joinable()) thread_.join();
}

void X11ClipboardReader::request() {
    wanted_ = true;
    wake();
}

void X11ClipboardReader::empty() {
    emptyWanted_ = true;
    wake();
}

void X11ClipboardReader::setEmptyingOrder(const EmptyingOrder& order) {
    emptier_.setOrder(order);
    wake();
}

void X11ClipboardReader::wake() {
    const std::uint64_t one = 1;
    (void)!write(wakeFd_.get(), &one, sizeof one);
}

std::uint32_t X11ClipboardReader::queryOwner(std::uint32_t selection) {
    ReplyPtr<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection_.get(), xcb_get_selection_owner(connection_.get(), selection), nullptr));
    return reply ? reply->owner : XCB_NONE;
}

void X11ClipboardReader::run() {
    // Every change is answered the moment it is heard of; a spy told in the same instant races it.
    posix::preferQuickWakeups();
    pollfd fds[2] = {{xcb_get_file_descriptor(connection_.get()), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
    while (!stopping_) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_.get())) {
            handleEvent(event);
            std::free(event);
        }
        if (xcb_connection_has_error(connection_.get())) {
            // The display is gone; the program goes with it. Whatever was awaited stays unanswered.
            return;
        }
        const Clock::time_point now = Clock::now();
        const Clock::time_point wake = actOnTime(now);
        xcb_flush(connection_.get());
        // Replies read while acting may have brought events along; they must not wait for the next wake.
        if (xcb_generic_event_t* queued = xcb_poll_for_queued_event(connection_.get())) {
            handleEvent(queued);
            std::free(queued);
            continue;
        }
        int timeoutMs = -1;
        if (wake != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
        }
        fds[0].revents = fds[1].revents = 0;
        if (poll(fds, 2, timeoutMs) > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t count = 0;
            (void)!read(wakeFd_.get(), &count, sizeof count);
        }
    }
}

void X11ClipboardReader::handleEvent(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    const std::uint8_t type = event->response_type & 0x7F;
    if (xfixesEventBase_ && type == *xfixesEventBase_ + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto* notify = static_cast<const xcb_xfixes_selection_notify_event_t*>(raw);
        if (notify->selection == atoms_.clipboard) noteChange(notify->owner, notify->selection_timestamp);
        if (notify->selection == atoms_.primary) notePrimary(notify->owner, notify->selection_timestamp);
        return;
    }
    if (type == XCB_SELECTION_REQUEST) {
        emptier_.answer(*static_cast<const xcb_selection_request_event_t*>(raw), Clock::now());
        return;
    }
    if (type == XCB_SELECTION_CLEAR) {
        emptier_.noteLost(*static_cast<const xcb_selection_clear_event_t*>(raw));
        return;
    }
    if (type == XCB_SELECTION_NOTIFY) {
        const auto* notify = static_cast<const xcb_selection_notify_event_t*>(raw);
        if (notify->requestor == window_ && notify->selection == atoms_.clipboard)
            onSelectionNotify(notify->property, notify->target);
        return;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(raw);
        if (notify->window == window_ && notify->state == XCB_PROPERTY_NEW_VALUE &&
            transfer_.step == Step::Increments && notify->atom == transfer_.property)
            onIncrement();
    }
    // Errors (a property gone, a window destroyed) need no answer: the deadline covers what they stall.
}

void X11ClipboardReader::noteChange(std::uint32_t owner, std::uint32_t time) {
    latestOwner_ = owner;
    latestTime_ = time;
    // Our own emptying leaves a clipboard that holds nothing: no program took it, nothing is fetched.
    const bool ours = emptier_.ownsWindow(owner);
    if (ours) emptier_.clipboardEmptied(time);
    const bool taken = owner != XCB_NONE && !ours;
    // Under the order the emptying goes out before anything else is done, the report included.
    const X11SelectionEmptier::Decision followed =
        taken ? emptier_.clipboardTaken(owner, Clock::now()) : X11SelectionEmptier::Decision{};
    const ScheduleStep step = schedule_.noteChange({taken, owner, ours});
    const std::uint64_t serial = schedule_.latestSerial();
    if (listener_.changed) listener_.changed(serial, {taken, followed.follow});
    if (followed.fightBegan && listener_.contested) listener_.contested();
    // Asked at once, while the owner is surely still connected; the server answers without asking it.
    if (taken && listener_.ownerNamed) {
        if (owner != namedOwner_ || !emptier_.fighting(posix::Selection::Clipboard)) {
            namedOwner_ = owner;
            namedIdentity_ = programs_.clientOf(owner);
        }
        listener_.ownerNamed(serial, namedIdentity_);
    }
    carryOut(step);
}

void X11ClipboardReader::notePrimary(std::uint32_t owner, std::uint32_t time) {
    if (emptier_.primaryChanged(owner, time, Clock::now()) && listener_.contested) listener_.contested();
}

X11ClipboardReader::Clock::time_point X11ClipboardReader::actOnTime(Clock::time_point now) {
    if (emptyWanted_.exchange(false)) {
        // Without change events the owner known may be a poll old.
        emptier_.emptyClipboard(xfixesEventBase_ ? latestOwner_ : queryOwner(atoms_.clipboard), now);
    }
    if (!xfixesEventBase_ && now >= nextPoll_) {
        const std::uint32_t owner = queryOwner(atoms_.clipboard);
        if (owner != latestOwner_) noteChange(owner, XCB_CURRENT_TIME);
        // PRIMARY is asked after only while it is to be emptied.
        if (emptier_.ordered()) {
            const std::uint32_t primary = queryOwner(atoms_.primary);
            if (primary != emptier_.primaryOwner()) notePrimary(primary, XCB_CURRENT_TIME);
        }
        nextPoll_ = now + kFallbackPoll;
    }
    bool fightBegan = false;
    Clock::time_point wake = emptier_.actOnTime(now, latestOwner_, fightBegan);
    if (fightBegan && listener_.contested) listener_.contested();
    if (!xfixesEventBase_) wake = std::min(wake, nextPoll_);
    if (wanted_.exchange(false)) schedule_.request();
    return std::min(wake, schedule_.advance(now, [this](const ScheduleStep& step) { carryOut(step); }));
}

void X11ClipboardReader::carryOut(const ScheduleStep& step) {
    switch (step.kind) {
        case ScheduleStep::Kind::Wait: return;
        case ScheduleStep::Kind::Fetch: return startFetch();
        case ScheduleStep::Kind::NoPicture: return deliver(step.serial, Kind::NoPicture);
        case ScheduleStep::Kind::Abandon:
            // Dropping the transfer also lets go of what it had received, which may be hundreds of megabytes.
            transfer_ = Transfer{};
            return;
        case ScheduleStep::Kind::Silent: transfer_ = Transfer{}; return deliver(step.serial, Kind::Silent);
    }
}

void X11ClipboardReader::startFetch() {
    ++fetches_;
    transfer_ = Transfer{};
    transfer_.time = latestTime_;
    // Two properties in turn: a late answer to an abandoned transfer cannot mix with the next one.
    transfer_.property = atoms_.properties[nextProperty_];
    nextProperty_ ^= 1u;
    xcb_delete_property(connection_.get(), window_, transfer_.property);
    ask(atoms_.targets);
    transfer_.step = Step::Targets;
}

void X11ClipboardReader::ask(std::uint32_t target) {
    transfer_.target = target;
    xcb_convert_selection(connection_.get(), window_, atoms_.clipboard, target, transfer_.property, transfer_.time);
}

void X11ClipboardReader::onSelectionNotify(std::uint32_t property, std::uint32_t target) {
    const bool awaited = (transfer_.step == Step::Targets || transfer_.step == Step::Data) &&
                         target == transfer_.target && (property == transfer_.property || property == XCB_NONE);
    if (!awaited) return;
    if (property == XCB_NONE) {
        // An owner that cannot list its types offers no picture we could name; one that lists a picture
        // and then refuses it has kept it from being judged.
        finish(transfer_.step == Step::Targets ? Kind::NoPicture : Kind::Refused);
        return;
    }
    if (transfer_.step == Step::Targets) return onTargets();
    if (transfer_.format && transfer_.format->content == PictureContent::ServerPixmap) return onPixmap();
    // The first reply tells whether the data come whole or in increments.
    ReplyPtr<xcb_get_property_reply_t> head(xcb_get_property_reply(
        connection_.get(),
        xcb_get_property(connection_.get(), 0, window_, transfer_.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    if (!head) return finish(Kind::Refused);
    if (head->type == atoms_.incr) {
        const auto announced =
            parseIncrAnnouncement(head->format, xcb_get_property_value(head.get()),
                                  static_cast<std::size_t>(xcb_get_property_value_length(head.get())));
        // Some owners (xclip among them) announce no size at all; only a size past the limit is refused.
        if (announced && !transfer_.buffer.announce(*announced)) return finish(Kind::Refused);
        ++incremental_;
        transfer_.step = Step::Increments;
        schedule_.heard(Clock::now());
        // Deleting the announcement is what asks the owner for the first piece.
        xcb_delete_property(connection_.get(), window_, transfer_.property);
        return;
    }
    if (!readProperty()) return finish(Kind::Refused);
    finish(Kind::Data, transfer_.format);
}

void X11ClipboardReader::onTargets() {
    std::vector<std::uint32_t> atoms;
    if (!readProperty(&atoms)) return finish(Kind::Refused);
    const AtomNames::Listed offered = atomNames_.name(atoms);
    const std::optional<std::size_t> chosen = schedule_.typesListed(Clock::now(), offered.names);
    // A list past what is looked up may hide its picture among the atoms left unnamed: not judged, and
    // not taken for a clipboard without a picture either.
    if (!chosen) return finish(offered.unnamed > 0 ? Kind::Refused : Kind::NoPicture);
    transfer_.format = classifyX11Target(offered.names[*chosen]);
    transfer_.step = Step::Data;
    ask(offered.atoms[*chosen]);
}

void X11ClipboardReader::onPixmap() {
    std::vector<std::uint32_t> ids;
    if (!readProperty(&ids) || ids.size() != 1) return finish(Kind::Refused);
    const std::optional<x11::PixmapPixels> read = readPixmap(connection_.get(), ids[0], transfer_.buffer);
    if (!read) return finish(Kind::Refused);
    finish(Kind::Data, *read == PixmapPixels::Bitmap ? classifyMimeType("image/bmp") : transfer_.format);
}

void X11ClipboardReader::onIncrement() {
    const std::uint64_t before = transfer_.buffer.size();
    if (!readProperty()) return finish(Kind::Refused);
    // A piece of no bytes ends the transfer.
    if (transfer_.buffer.size() == before) return finish(Kind::Data, transfer_.format);
    schedule_.heard(Clock::now());
}

bool X11ClipboardReader::readProperty(std::vector<std::uint32_t>* atoms) {
    std::vector<unsigned char> listed;
    std::uint32_t offset = 0;
    for (;;) {
        // Deleting with the last piece read tells an INCR owner to send the next piece.
        ReplyPtr<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection_.get(),
                                   xcb_get_property(connection_.get(), 1, window_, transfer_.property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, offset, kPropertyWords),
                                   nullptr));
        if (!reply) return false;
        const auto* data = static_cast<const unsigned char*>(xcb_get_property_value(reply.get()));
        const auto length = static_cast<std::size_t>(std::max(0, xcb_get_property_value_length(reply.get())));
        if (!atoms) {
            if (!transfer_.buffer.add(data, length)) return false;
        } else if (listed.size() + length <= (std::size_t{1} << 20)) {  // a list of types is never this long
            listed.insert(listed.end(), data, data + length);
        } else {
            return false;
        }
        if (reply->bytes_after == 0) {
            if (atoms) *atoms = parseAtomList(reply->format, listed.data(), listed.size());
            return true;
        }
        if (length == 0 || length % 4 != 0) return false;  // no progress possible: offsets count 32-bit words
        offset += static_cast<std::uint32_t>(length / 4);
    }
}

void X11ClipboardReader::finish(Kind kind, const PictureFormat* format) {
    posix::ClipboardDelivery delivery{schedule_.finished(), kind, {}, false, {}, nullptr};
    if (kind == Kind::Data) {
        delivery.kept = transfer_.buffer.kept();
        delivery.digest = transfer_.buffer.digest();
        delivery.bytes = transfer_.buffer.takeBytes();
        delivery.format = format;
    }
    transfer_ = Transfer{};
    if (listener_.delivered) listener_.delivered(std::move(delivery));
}

void X11ClipboardReader::deliver(std::uint64_t serial, Kind kind) {
    if (listener_.delivered) listener_.delivered({serial, kind, {}, false, {}, nullptr});
}

}  // namespace zanthrel::x11
