// The Wayland clipboard reader against a real compositor (run through with_sway.sh), with wl-clipboard
// and wayland_test_source as the other programs.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <wayland-client.h>

#include "pictures/content_digest.h"
#include "platform/wayland/wayland_clipboard_reader.h"

namespace zanthrel::wayland {
namespace {

using namespace std::chrono_literals;
using Kind = posix::ClipboardDelivery::Kind;

// What the reader reported, from its own thread.
struct Seen {
    std::vector<std::pair<std::uint64_t, bool>> changes;
    std::vector<posix::ClipboardDelivery> deliveries;
    std::vector<bool> emptied;
    bool lost = false;
};

class Reports {
public:
    posix::ClipboardReader::Listener listener() {
        return {
            [this](std::uint64_t serial, ClipboardChange change) {
                add([&](Seen& s) { s.changes.emplace_back(serial, change.taken); });
            },
            [this](posix::ClipboardDelivery delivery) {
                add([&](Seen& s) { s.deliveries.push_back(std::move(delivery)); });
            },
            [this](bool emptied) { add([&](Seen& s) { s.emptied.push_back(emptied); }); },
            [this] { add([](Seen& s) { s.lost = true; }); },
            {},  // the Wayland reader names no owners
            {}};
    }
    // Waits until `done` holds, for at most `patience`; what was seen then.
    template <typename Condition>
    Seen await(Condition done, std::chrono::milliseconds patience = 20s) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, patience, [&] { return done(seen_); })) << "waited in vain";
        return seen_;
    }
    Seen now() {
        const std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    template <typename Change>
    void add(Change change) {
        {
            const std::lock_guard lock(mutex_);
            change(seen_);
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    Seen seen_;
};

void run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The interfaces the compositor offers, by name.
std::set<std::string> offeredInterfaces() {
    std::set<std::string> names;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return names;
    static const wl_registry_listener listener{
        [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
            static_cast<std::set<std::string>*>(data)->insert(interface);
        },
        [](void*, wl_registry*, std::uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &names);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return names;
}

class WaylandReader : public ::testing::Test {
protected:
    void SetUp() override {
        run("wl-copy --clear");
        reader = WaylandClipboardReader::start(reports.listener());
        ASSERT_NE(reader, nullptr) << "the compositor offers no data-control service";
    }
    // Copies with wl-copy, waits for the reader to see it, and gives that change's serial.
    std::uint64_t copy(const std::string& arguments) {
        const std::size_t before = reports.now().changes.size();
        run("printf 'some bytes' | wl-copy " + arguments);
        const Seen seen = reports.await([&](const Seen& s) { return s.changes.size() > before; });
        return seen.changes.empty() ? 0 : seen.changes.back().first;
    }
    // Asks for the newest change and waits for the answer to `serial`.
    posix::ClipboardDelivery fetch(std::uint64_t serial) {
        reader->request();
        const auto answer = [serial](const Seen& s) {
            for (const auto& delivery : s.deliveries)
                if (delivery.serial == serial) return &delivery;
            return static_cast<const posix::ClipboardDelivery*>(nullptr);
        };
        const Seen seen = reports.await([&](const Seen& s) { return answer(s) != nullptr; });
        return answer(seen) ? *answer(seen) : posix::ClipboardDelivery{};
    }

    Reports reports;
    std::unique_ptr<WaylandClipboardReader> reader;
};

TEST_F(WaylandReader, ReadsThePictureAndAnswersOtherChangesWithoutAskingTheirOwner) {
    // The newer protocol where the compositor offers it, else the older one; the reads below work on it.
    const std::set<std::string> offered = offeredInterfaces();
    ASSERT_TRUE(offered.count("ext_data_control_manager_v1") || offered.count("zwlr_data_control_manager_v1"));
    EXPECT_EQ(reader->protocolName(),
              offered.count("ext_data_control_manager_v1") ? "ext-data-control-v1" : "zwlr-data-control-unstable-v1");
    const std::uint64_t picture = copy("--type image/png");
    EXPECT_GT(picture, 1u) << "the clipboard found at start is change 1 and is not reported";
    const posix::ClipboardDelivery data = fetch(picture);
    EXPECT_EQ(data.kind, Kind::Data);
    EXPECT_TRUE(data.kept);
    EXPECT_EQ(std::string(data.bytes.begin(), data.bytes.end()), "some bytes");
    EXPECT_EQ(data.digest, digestOf(data.bytes.data(), data.bytes.size()));
    EXPECT_EQ(data.format, classifyMimeType("image/png")) << "the decoder is told the format asked for";
    EXPECT_EQ(reader->fetchCount(), 1u);

    const std::uint64_t text = copy("--type text/plain");
    EXPECT_EQ(fetch(text).kind, Kind::NoPicture);
    EXPECT_EQ(reader->fetchCount(), 1u) << "an offer without a picture type needs no transfer";
}

TEST_F(WaylandReader, AnOwnerThatNeverWritesIsSilentAfterItsDeadlineAndTheNextChangeIsRead) {
    // The owner stays until it is replaced below, far beyond the reader's deadline: the answer comes from
    // the deadline, not from the owner going away.
    std::thread owner([] { (void)std::system(ZANTHREL_TEST_SOURCE " silent 60 >/dev/null"); });
    const Seen seen = reports.await([](const Seen& s) { return !s.changes.empty(); });
    ASSERT_FALSE(seen.changes.empty());
    const auto asked = std::chrono::steady_clock::now();
    const posix::ClipboardDelivery silent = fetch(seen.changes.back().first);
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_EQ(silent.kind, Kind::Silent);
    EXPECT_GE(waited, posix::ReadingSchedule::kAnswerDeadline) << "judged silent before its deadline";
    std::printf("[ figures ] a silent owner judged %lld ms after being asked (deadline %lld ms)\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()),
                static_cast<long long>(posix::ReadingSchedule::kAnswerDeadline.count()));
    EXPECT_EQ(reports.now().changes.size(), seen.changes.size()) << "the owner went away before it was judged";

    const std::uint64_t next = copy("--type image/bmp");  // replaces the silent owner, which then leaves
    EXPECT_EQ(fetch(next).kind, Kind::Data);
    owner.join();
}

TEST_F(WaylandReader, AnOwnerThatClosesUnwrittenRefusedItsPicture) {
    std::thread owner([] { (void)std::system(ZANTHREL_TEST_SOURCE " refuse 5"); });
    const Seen seen = reports.await([](const Seen& s) { return !s.changes.empty(); });
    ASSERT_FALSE(seen.changes.empty());
    EXPECT_EQ(fetch(seen.changes.back().first).kind, Kind::Refused);
    copy("--type text/plain");  // replaces the owner, which then leaves
    owner.join();
}

TEST_F(WaylandReader, ClearEmptiesTheClipboardForEveryProgramAndSaysSo) {
    const std::uint64_t copied = copy("--type image/png");
    reader->empty();
    Seen seen = reports.await(
        [&](const Seen& s) { return !s.emptied.empty() && !s.changes.empty() && s.changes.back().first > copied; });
    ASSERT_FALSE(seen.emptied.empty());
    EXPECT_TRUE(seen.emptied.back());
    EXPECT_FALSE(seen.changes.back().second) << "its own emptying is reported as a change to no owner";
    EXPECT_NE(std::system("timeout 2 wl-paste >/dev/null 2>&1"), 0) << "another program still pastes";

    // Nothing left to empty: answered at once, without asking the compositor.
    reader->empty();
    seen = reports.await([](const Seen& s) { return s.emptied.size() == 2; });
    ASSERT_EQ(seen.emptied.size(), 2u);
    EXPECT_TRUE(seen.emptied.back());
    EXPECT_EQ(seen.changes.size(), 2u) << "nothing was asked of the compositor";
    EXPECT_FALSE(seen.lost);
}

}  // namespace
}  // namespace zanthrel::wayland
