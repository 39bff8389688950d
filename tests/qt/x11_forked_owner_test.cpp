// Owners that leave their X connection to a child, against the real X server: the lookup names the
// process that holds the connection now where the watch noted the client, says "exited" where nothing
// was noted, and the notes stay within their bounds while clients come and go by the thousand.
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <vector>

#include "platform/x11/x11_program_lookup.h"
#include "platform/x11/x11_read_request_watch.h"
#include "platform/x11/xcb_handles.h"
#include "qt_test_support.h"

namespace zanthrel::qt {
namespace {

using Source = ProgramIdentity::Source;
using testing::waitUntil;

// x11_test_owner writing to a file, which its child goes on writing to once the first process is gone.
class ForkingOwner {
public:
    ForkingOwner(const QTemporaryDir& directory, const QString& mode, const QString& picture)
        : output_(directory.filePath(mode + QString::number(++started_))) {
        process_.setStandardOutputFile(output_);
        process_.start(QStringLiteral(ZANTHREL_TEST_OWNER), {mode, picture});
        process_.waitForStarted(5000);
        parent_ = static_cast<std::uint32_t>(process_.processId());
    }
    ~ForkingOwner() {
        if (child_ != 0) kill(static_cast<pid_t>(child_), SIGKILL);
        process_.waitForFinished(5000);
    }
    // Waits until the child owns the clipboard; false if it never did.
    bool owns() {
        return waitUntil([&] {
            QFile file(output_);
            if (!file.open(QIODevice::ReadOnly)) return false;
            const QList<QByteArray> lines = file.readAll().split('\n');
            for (const QByteArray& line : lines)
                if (line.startsWith("child ")) child_ = line.mid(6).toUInt();
            return lines.contains("owner") && child_ != 0;
        });
    }
    std::uint32_t parent() const { return parent_; }
    std::uint32_t child() const { return child_; }
    void killChild() {
        kill(static_cast<pid_t>(child_), SIGKILL);
        child_ = 0;
    }

private:
    static inline int started_ = 0;
    QString output_;
    QProcess process_;
    std::uint32_t parent_ = 0;
    std::uint32_t child_ = 0;
};

class ForkedOwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(xcb_connection_has_error(connection.get())) << "no X display";
        ASSERT_TRUE(directory.isValid());
        picture = directory.filePath("picture.png");
        QFile file(picture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n");
        ASSERT_TRUE(lookup.serverNamesClients()) << "the server has no X-Resource";
        ASSERT_NE(lookup.notes(), nullptr);
    }
    std::uint32_t owner() {
        x11::ReplyPtr<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
            connection.get(), xcb_get_selection_owner(connection.get(), x11::intern(connection.get(), "CLIPBOARD")),
            nullptr));
        return reply ? reply->owner : 0;
    }
    // The server passes on what it recorded when it next writes to any client: a round trip first.
    std::size_t noteCount() {
        owner();
        return lookup.notes()->size();
    }
    std::unique_ptr<x11::X11ReadRequestWatch> startWatch() {
        auto watch = x11::X11ReadRequestWatch::start([](ProgramIdentity) {});
        EXPECT_NE(watch, nullptr) << "the server has no RECORD";
        return watch;
    }

    x11::XcbConnection connection{xcb_connect(nullptr, nullptr)};
    x11::X11ProgramLookup lookup{connection.get()};
    QTemporaryDir directory;
    QString picture;
};

TEST_F(ForkedOwnerTest, TheChildThatHoldsTheConnectionIsNamedWhereTheClientWasSeenConnecting) {
    ForkingOwner before(directory, "orphan", picture);
    ASSERT_TRUE(before.owns());
    EXPECT_EQ(lookup.clientOf(owner()), (ProgramIdentity{Source::Exited, "", before.parent()}))
        << "without a watch nothing is known beyond the server's word";
    const auto watch = startWatch();
    ASSERT_NE(watch, nullptr);
    EXPECT_EQ(lookup.clientOf(owner()), (ProgramIdentity{Source::Exited, "", before.parent()}))
        << "a client that was there before the watch: no connection new since then is its own";

    ForkingOwner orphan(directory, "orphan", picture);
    ASSERT_TRUE(orphan.owns());
    EXPECT_EQ(lookup.clientOf(owner()), (ProgramIdentity{Source::System, "x11_test_owner", orphan.child()}))
        << "connected, then left the connection to a child, which took the clipboard";

    ForkingOwner forks(directory, "forks", picture);
    ASSERT_TRUE(forks.owns());
    const std::uint32_t window = owner();
    EXPECT_EQ(lookup.clientOf(window), (ProgramIdentity{Source::System, "x11_test_owner", forks.child()}))
        << "asked to take the clipboard, then forked and exited";
    EXPECT_EQ(lookup.clientOf(window), lookup.clientOf(window)) << "asked again, from what was found";

    // Its process really exits: the connection closes, the server forgets the client and the watch its note.
    const std::size_t notes = lookup.notes()->size();
    forks.killChild();
    EXPECT_TRUE(waitUntil([&] { return noteCount() < notes; })) << "the note outlived its client";
    EXPECT_EQ(lookup.clientOf(window).source, Source::Unknown) << "a window of a closed connection names no one";
}

TEST_F(ForkedOwnerTest, AClientNumberedLikeOneThatWentIsNotNamedAfterIt) {
    const auto watch = startWatch();
    ASSERT_NE(watch, nullptr);
    std::uint32_t base = 0;
    {
        ForkingOwner first(directory, "orphan", picture);
        ASSERT_TRUE(first.owns());
        const auto client = lookup.serverClient(owner());
        ASSERT_TRUE(client.has_value());
        base = client->idBase;
        EXPECT_EQ(lookup.processOf(*client).processId, first.child());
    }
    ASSERT_TRUE(waitUntil([&] { return owner() == XCB_NONE; })) << "the first client outlived its process";
    // The server gives the lowest free number to the next client: this one's.
    ForkingOwner next(directory, "forks", picture);
    ASSERT_TRUE(next.owns());
    const auto client = lookup.serverClient(owner());
    ASSERT_TRUE(client.has_value());
    EXPECT_EQ(client->idBase, base) << "the server numbered the next client otherwise; nothing is tested";
    EXPECT_EQ(lookup.processOf(*client), (ProgramIdentity{Source::System, "x11_test_owner", next.child()}));
}

TEST_F(ForkedOwnerTest, NotesStayWithinBoundsWhileClientsComeAndGoByTheThousand) {
    const auto watch = startWatch();
    ASSERT_NE(watch, nullptr);
    const std::size_t before = noteCount();
    std::size_t most = before;
    constexpr int kRounds = 20, kAtOnce = 100;
    std::vector<x11::XcbConnection> clients;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kAtOnce; ++i) clients.emplace_back(xcb_connect(nullptr, nullptr));
        ASSERT_TRUE(waitUntil([&] { return noteCount() >= before + kAtOnce; }, 30000))
            << "round " << round << ": " << noteCount() - before << " of " << kAtOnce << " clients noted";
        most = std::max(most, noteCount());
        clients.clear();
    }
    EXPECT_TRUE(waitUntil([&] { return noteCount() <= before; }, 30000))
        << noteCount() << " notes kept, " << before << " before";
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LE(most, x11::X11ClientNotes::kMostClients);
    std::printf("%d clients, %d at once, noted and forgotten in %lld ms; at most %zu notes\n", kRounds * kAtOnce,
                kAtOnce, static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
                most);

    // What naming costs the reader, per change of owner: the server's word, the note, the look for a
    // holder (its result kept for the next time).
    const auto microsecondsPerLookup = [&](std::uint32_t window) {
        constexpr int kLookups = 500;
        const auto begun = std::chrono::steady_clock::now();
        for (int i = 0; i < kLookups; ++i) lookup.clientOf(window);
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begun).count() /
               kLookups;
    };
    QProcess live;
    live.start(QStringLiteral(ZANTHREL_TEST_OWNER), {"refuses"});
    ASSERT_TRUE(live.waitForReadyRead(5000));
    std::printf("naming an owner that connected lately and runs: %lld us each\n",
                static_cast<long long>(microsecondsPerLookup(owner())));
    live.kill();
    live.waitForFinished(5000);
    ForkingOwner forks(directory, "forks", picture);
    ASSERT_TRUE(forks.owns());
    std::printf("naming an owner whose first process exited: %lld us each\n",
                static_cast<long long>(microsecondsPerLookup(owner())));
}

}  // namespace
}  // namespace zanthrel::qt
