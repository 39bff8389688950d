#include "platform/x11/x11_read_request_watch.h"

#include "platform/x11/xcb_handles.h"

#include <unistd.h>
#include <xcb/record.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <string_view>

namespace zanthrel::x11 {
namespace {

// What a recorded block holds (the protocol's numbering).
enum Category : std::uint8_t {
    FromServer = 0,
    FromClient = 1,
    ClientStarted = 2,
    ClientDied = 3,
    StartOfData = 4,
    EndOfData = 5
};

std::uint32_t word(const unsigned char* at, bool swapped) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return swapped ? __builtin_bswap32(value) : value;
}

std::uint16_t halfWord(const unsigned char* at, bool swapped) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return swapped ? static_cast<std::uint16_t>(__builtin_bswap16(value)) : value;
}

void disconnect(xcb_connection_t* connection) {
    if (connection) xcb_disconnect(connection);
}

}  // namespace

std::unique_ptr<X11ReadRequestWatch> X11ReadRequestWatch::start(std::function<void(ProgramIdentity)> read) {
    xcb_connection_t* control = xcb_connect(nullptr, nullptr);
    xcb_connection_t* data = xcb_connect(nullptr, nullptr);
    const auto fail = [&]() -> std::unique_ptr<X11ReadRequestWatch> {
        disconnect(control);
        disconnect(data);
        return nullptr;
    };
    if (!control || !data || xcb_connection_has_error(control) || xcb_connection_has_error(data)) return fail();
    const xcb_query_extension_reply_t* record = xcb_get_extension_data(control, &xcb_record_id);
    if (!record || !record->present || !X11ProgramLookup(control).serverNamesClients()) return fail();
    ReplyPtr<xcb_record_query_version_reply_t> version(
        xcb_record_query_version_reply(control, xcb_record_query_version(control, 1, 13), nullptr));
    if (!version) return fail();
    ReplyPtr<xcb_intern_atom_reply_t> clipboard(
        xcb_intern_atom_reply(control, xcb_intern_atom(control, 0, 9, "CLIPBOARD"), nullptr));
    if (!clipboard) return fail();

    const std::uint32_t context = xcb_generate_id(control);
    xcb_record_range_t range{};
    range.core_requests.first = XCB_CONVERT_SELECTION;
    range.core_requests.last = XCB_CONVERT_SELECTION;
    range.client_started = 1;  // named while surely still connected
    range.client_died = 1;
    const xcb_record_client_spec_t everyone = XCB_RECORD_CS_ALL_CLIENTS;
    if (ReplyPtr<xcb_generic_error_t> error{xcb_request_check(
            control, xcb_record_create_context_checked(control, context, 0, 1, 1, &everyone, &range))})
        return fail();
    std::unique_ptr<X11ReadRequestWatch> watch(
        new X11ReadRequestWatch(control, data, context, clipboard->atom, std::move(read)));
    std::future<void> seeing = watch->seeing_.get_future();
    watch->thread_ = std::thread([raw = watch.get()] { raw->run(); });
    // Clients that connect once this returns are seen connecting; a server slower than this is still
    // watched, only from a little later.
    seeing.wait_for(kStartPatience);
    return watch;
}

X11ReadRequestWatch::X11ReadRequestWatch(xcb_connection_t* control, xcb_connection_t* data, std::uint32_t context,
                                         std::uint32_t clipboard, std::function<void(ProgramIdentity)> read)
    : control_(control),
      data_(data),
      context_(context),
      clipboard_(clipboard),
      read_(std::move(read)),
      lookup_(control) {}

X11ReadRequestWatch::~X11ReadRequestWatch() {
    stopping_ = true;
    // Ending the context ends the stream of recorded data with a last block, which lets the thread go.
    xcb_record_disable_context(control_, context_);
    xcb_flush(control_);
    if (thread_.joinable()) thread_.join();
    xcb_record_free_context(control_, context_);
    if (began_ && lookup_.notes()) lookup_.notes()->watchEnded();
    xcb_disconnect(data_);
    xcb_disconnect(control_);
}

void X11ReadRequestWatch::run() {
    const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data_, context_);
    xcb_flush(data_);
    // Each reply is one block of what the server recorded; the last says the context was ended.
    while (ReplyPtr<xcb_record_enable_context_reply_t> reply{xcb_record_enable_context_reply(data_, cookie, nullptr)}) {
        if (reply->category == EndOfData) return;
        if (reply->category == StartOfData && !began_) {
            // From here on every client is seen connecting: those there already are noted as such.
            try {
                if (lookup_.notes()) lookup_.notes()->watchBegan(lookup_.clientBases());
            } catch (...) {
                // Out of memory: clients are still named by the server's word.
            }
            began_ = true;
            seeing_.set_value();
        }
        if (stopping_) continue;
        try {
            onRecorded(reply.get());
        } catch (...) {
            // Out of memory for a name: that read goes unreported, the watch goes on.
        }
    }
}

void X11ReadRequestWatch::onRecorded(const void* raw) {
    const auto* reply = static_cast<const xcb_record_enable_context_reply_t*>(raw);
    if (reply->category == ClientStarted) {
        noteConnected(reply->xid_base);
        return;
    }
    if (reply->category == ClientDied) {
        const auto known = clients_.find(reply->xid_base);
        if (lookup_.notes())
            lookup_.notes()->disconnected(reply->xid_base, known == clients_.end() ? 0 : known->second.connected);
        if (known != clients_.end()) clients_.erase(known);
        return;
    }
    if (reply->category != FromClient) return;
    const auto* bytes = xcb_record_enable_context_data(reply);
    const auto length = static_cast<std::size_t>(std::max(0, xcb_record_enable_context_data_length(reply)));
    const bool swapped = reply->client_swapped != 0;
    // ConvertSelection: opcode, unused, length in words, requestor, selection, target, property, time.
    for (std::size_t at = 0; at + 24 <= length;) {
        const std::size_t size = std::size_t{halfWord(bytes + at + 2, swapped)} * 4;
        if (size < 24 || at + size > length) return;
        const bool clipboard = bytes[at] == XCB_CONVERT_SELECTION && word(bytes + at + 8, swapped) == clipboard_;
        at += size;
        if (!clipboard) continue;
        Client& asking = client(reply->xid_base);
        const Clock::time_point now = Clock::now();
        if (asking.program.processId == static_cast<std::uint32_t>(getpid()) &&
            asking.program.source == ProgramIdentity::Source::System)
            continue;  // the guard's own reads
        if (asking.reported != Clock::time_point{} && now - asking.reported < kQuietPeriod) continue;
        asking.reported = now;
        read_(asking.program);
    }
}

void X11ReadRequestWatch::noteConnected(std::uint32_t idBase) {
    Client client;
    if (const auto connected = lookup_.serverClient(idBase)) {
        client.connected = connected->processId;
        const std::optional<ClientNote> note =
            lookup_.notes() ? lookup_.notes()->connected(idBase, connected->processId) : std::nullopt;
        if (note && !note->name.empty())
            client.program = {ProgramIdentity::Source::System, note->name, connected->processId};
        else
            client.program = posix::processIdentity(connected->processId, ProgramIdentity::Source::System);
    }
    remember(idBase, std::move(client));
}

X11ReadRequestWatch::Client& X11ReadRequestWatch::client(std::uint32_t idBase) {
    const auto known = clients_.find(idBase);
    if (known != clients_.end()) return known->second;
    // A client gone before it could be named is one whose process is unknown, not a process that exited.
    Client client;
    if (const auto connected = lookup_.serverClient(idBase)) {
        client.connected = connected->processId;
        client.program = lookup_.processOf(*connected);
    }
    return remember(idBase, std::move(client));
}

X11ReadRequestWatch::Client& X11ReadRequestWatch::remember(std::uint32_t idBase, Client client) {
    if (clients_.size() >= kMostClients && !clients_.contains(idBase)) clients_.erase(clients_.begin());
    return clients_.insert_or_assign(idBase, std::move(client)).first->second;
}

}  // namespace zanthrel::x11
