// Who holds a connection now, as the kernel tells: a process table laid out in a folder of the test's
// own, a listening socket of the test's own for the socket diagnostics, and the notes on X clients
// kept within their bounds.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/program_identity.h"
#include "platform/posix/process_table.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/unix_sockets.h"
#include "platform/x11/x11_client_notes.h"

namespace zanthrel::qt {
namespace {

namespace fs = std::filesystem;
using Source = ProgramIdentity::Source;

class HolderTable : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("zanthrel-holders-" + std::to_string(getpid()));
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    // A process with its parent, its state, its start time and the sockets it holds (beside a file).
    fs::path process(std::uint32_t id, std::uint32_t parent, const std::vector<std::uint64_t>& sockets,
                     char state = 'S', std::uint64_t started = 1000) {
        const fs::path folder = root / std::to_string(id);
        fs::create_directories(folder / "fd");
        std::ofstream stat(folder / "stat");
        stat << id << " (a) b) " << state << ' ' << parent;
        for (int field = 5; field <= 21; ++field) stat << " 0";
        stat << ' ' << started << " 0 0\n";
        std::ofstream(folder / "comm") << "x\n";
        fs::create_symlink("/dev/null", folder / "fd" / "0");
        int descriptor = 3;
        for (const std::uint64_t socket : sockets)
            fs::create_symlink("socket:[" + std::to_string(socket) + "]", folder / "fd" / std::to_string(descriptor++));
        return folder;
    }
    std::optional<std::uint32_t> holder(std::uint64_t socket, std::uint32_t after, std::size_t budget = 1000) {
        return posix::socketHolder(socket, after, budget, root.string());
    }

    fs::path root;
};

TEST_F(HolderTable, TheProcessesGivenIdsAfterTheOneThatConnectedAreLookedAtFirst) {
    process(50, 1, {77});
    process(103, 1, {77});
    process(102, 1, {5, 6});
    EXPECT_EQ(holder(77, 100), 103u) << "a child forked after its parent holds the connection too";
    EXPECT_EQ(holder(77, 200), 50u) << "past the highest id the count starts again from the lowest";
    process(20, 1, {88});
    process(3000, 1, {88});
    EXPECT_EQ(holder(88, 4000), 20u) << "ids wrap round: the lowest come right after the highest";
    EXPECT_EQ(holder(99, 100), std::nullopt);
}

TEST_F(HolderTable, OnlyRunningProcessesOfThisUserAreHolders) {
    process(101, 1, {77}, 'Z');
    EXPECT_EQ(holder(77, 100), std::nullopt) << "an ended process holds nothing";
    process(100, 1, {77});
    EXPECT_EQ(holder(77, 100), std::nullopt) << "the process that connected is not its own successor";
    const fs::path other = process(102, 1, {77});
    ASSERT_EQ(chown(other.c_str(), geteuid() + 1, getegid()), 0);
    EXPECT_EQ(holder(77, 100), std::nullopt) << "another user's process is not looked into";
    process(103, 1, {77});
    EXPECT_EQ(holder(77, 100), 103u);
}

TEST_F(HolderTable, TheLookStopsWithinItsBudgetAndTakesWhatItRead) {
    for (std::uint32_t id = 101; id <= 150; ++id) process(id, 1, {id, id + 1000, id + 2000});
    process(151, 1, {77});
    std::size_t budget = 100;
    EXPECT_EQ(posix::socketHolder(77, 100, budget, root.string()), std::nullopt);
    EXPECT_EQ(budget, 0u) << "4 descriptors read from each of the first 25 processes";
    budget = 1000;
    EXPECT_EQ(posix::socketHolder(77, 100, budget, root.string()), 151u);
    EXPECT_LE(budget, 1000u - 50 * 4 - 1) << "what was read is taken from the budget";
}

TEST_F(HolderTable, NoMoreProcessesAreLookedAtThanTheBound) {
    for (std::uint32_t id = 1; id <= posix::kMostProcessesLooked; ++id) process(id, 1, {});
    process(posix::kMostProcessesLooked + 1, 1, {77});
    std::size_t budget = 1u << 20;
    EXPECT_EQ(posix::socketHolder(77, 0, budget, root.string()), std::nullopt);
    EXPECT_EQ(posix::socketHolder(77, 1, budget, root.string()), posix::kMostProcessesLooked + 1)
        << "looked at first when its id comes nearer after the one that connected";
}

TEST_F(HolderTable, AChildThatHoldsItsParentsConnectionIsFoundAmongTheNextIds) {
    process(200, 1, {77});
    process(203, 1, {77});
    std::size_t budget = 1000;
    EXPECT_EQ(posix::childHolding(200, 77, budget, root.string()), std::nullopt) << "203 is not 200's child";
    process(205, 200, {77});
    EXPECT_EQ(posix::childHolding(200, 77, budget, root.string()), 205u);
    process(300, 1, {88});
    process(300 + posix::kNextProcessIds + 1, 300, {88});
    EXPECT_EQ(posix::childHolding(300, 88, budget, root.string()), std::nullopt) << "too far after its parent";
    budget = 2;
    EXPECT_EQ(posix::childHolding(200, 77, budget, root.string()), std::nullopt) << "past the budget";
}

TEST_F(HolderTable, OneReadOfAProcessesEntryTellsItsParentStartAndWhetherItIsOnItsWayOut) {
    process(400, 7, {}, 'S', 123456);
    const auto running = posix::processState(400, root.string());
    ASSERT_TRUE(running.has_value()) << "read past a name holding \") \"";
    EXPECT_EQ(running->parent, 7u);
    EXPECT_EQ(running->started, 123456u);
    EXPECT_FALSE(running->ended);
    EXPECT_FALSE(running->exiting);
    process(401, 7, {}, 'Z');
    EXPECT_TRUE(posix::processState(401, root.string())->ended);
    EXPECT_EQ(posix::processState(402, root.string()), std::nullopt);
    const auto self = posix::processState(static_cast<std::uint32_t>(getpid()));
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(self->parent, static_cast<std::uint32_t>(getppid()));
    EXPECT_FALSE(self->exiting);
}

// A listening socket of this test's own, under an abstract name no other test shares.
class Listener {
public:
    Listener() : name_("zanthrel-test-" + std::to_string(getpid())) {
        sockaddr_un address = addressOf();
        listening_.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        bound_ = bind(listening_.get(), reinterpret_cast<sockaddr*>(&address), length()) == 0 &&
                 listen(listening_.get(), 16) == 0;
    }
    // Connects a client; returns its end and the listener's.
    std::pair<posix::UniqueFd, posix::UniqueFd> connectOne() {
        posix::UniqueFd client(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address = addressOf();
        EXPECT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&address), length()), 0);
        posix::UniqueFd served(accept4(listening_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return {std::move(client), std::move(served)};
    }
    bool bound() const { return bound_; }
    const std::string& name() const { return name_; }

private:
    sockaddr_un addressOf() const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name_.data(), name_.size());  // abstract: a zero byte first
        return address;
    }
    socklen_t length() const { return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_.size()); }

    std::string name_;
    posix::UniqueFd listening_;
    bool bound_ = false;
};

std::uint64_t inodeOf(const posix::UniqueFd& fd) {
    struct stat status {};
    fstat(fd.get(), &status);
    return status.st_ino;
}

TEST(SocketDiagnostics, AcceptedConnectionsLeadToTheClientsEndAndBothFormsOfANameAreOne) {
    EXPECT_EQ(posix::socketAddressName(std::string_view("\0/tmp/.X11-unix/X0", 18)), "/tmp/.X11-unix/X0");
    EXPECT_EQ(posix::socketAddressName(std::string_view("/tmp/.X11-unix/X0\0", 18)), "/tmp/.X11-unix/X0");
    Listener listener;
    ASSERT_TRUE(listener.bound());
    if (!posix::acceptedConnections(listener.name(), 16)) GTEST_SKIP() << "no socket diagnostics here";
    EXPECT_TRUE(posix::acceptedConnections(listener.name(), 16)->empty());
    const auto [client, served] = listener.connectOne();
    EXPECT_EQ(posix::connectedAddress(client.get()), listener.name());
    const auto connections = posix::acceptedConnections(listener.name(), 16);
    ASSERT_TRUE(connections.has_value());
    ASSERT_EQ(connections->size(), 1u);
    EXPECT_EQ((*connections)[0].served, inodeOf(served));
    EXPECT_EQ((*connections)[0].client, inodeOf(client));
    EXPECT_TRUE(posix::acceptedConnections(listener.name() + "x", 16)->empty()) << "another name";
    std::size_t budget = 1000;
    EXPECT_EQ(posix::socketHolder(inodeOf(client), static_cast<std::uint32_t>(getpid()) - 1, budget),
              static_cast<std::uint32_t>(getpid()));
}

TEST(ConnectionSockets, AClientsConnectionIsTheOneNewSinceTheLastLookAndNeverAnEarlierOne) {
    Listener listener;
    ASSERT_TRUE(listener.bound());
    const auto earlier = listener.connectOne();
    const auto sockets = x11::X11ConnectionSockets::start(listener.name());
    if (!sockets) GTEST_SKIP() << "no socket diagnostics here";
    const auto now = x11::X11ConnectionSockets::Clock::now();
    const auto self = static_cast<std::uint32_t>(getpid());
    constexpr std::uint32_t kGone = 0;  // no process: the holder cannot be asked
    EXPECT_EQ(sockets->claim(kGone, now), 0u) << "the connection there before the look is nobody's";

    const auto first = listener.connectOne();
    EXPECT_EQ(sockets->claim(kGone, now), inodeOf(first.first));
    EXPECT_EQ(sockets->claim(kGone, now), 0u) << "claimed once only";

    const auto second = listener.connectOne();
    const auto third = listener.connectOne();
    EXPECT_EQ(sockets->claim(kGone, now), 0u) << "two new at once, and no process to tell them apart";
    EXPECT_EQ(sockets->claim(self, now), 0u) << "both held by the process named";

    const auto late = now + x11::X11ConnectionSockets::kSetupPeriod + std::chrono::seconds(1);
    const auto fourth = listener.connectOne();
    EXPECT_EQ(sockets->claim(kGone, late), inodeOf(fourth.first))
        << "connections never claimed in their time no longer stand in the way";
}

TEST(ClientNotes, NotesAreMadeOnlyWhileWatchedAndStayWithinTheirBounds) {
    x11::X11ClientNotes notes("zanthrel-test-display-" + std::to_string(getpid()));
    const auto self = static_cast<std::uint32_t>(getpid());
    constexpr std::uint32_t kBase = 1u << 21;
    EXPECT_EQ(notes.noteOf(kBase, self), std::nullopt) << "without a watch nobody would forget the note";

    notes.watchBegan({kBase});
    const auto note = notes.noteOf(kBase, self);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->processId, self);
    EXPECT_EQ(note->name, fs::read_symlink("/proc/self/exe").filename().string());
    EXPECT_EQ(note->started, posix::processState(self)->started);
    EXPECT_EQ(note->socket, 0u);

    const auto other = notes.noteOf(kBase, self + 1);
    ASSERT_TRUE(other.has_value());
    EXPECT_EQ(other->processId, self + 1) << "a later client numbered like an earlier one has a note of its own";
    notes.disconnected(kBase, self);
    EXPECT_EQ(notes.size(), 1u) << "the earlier client's end is not the later one's";
    notes.disconnected(kBase, self + 1);
    EXPECT_EQ(notes.size(), 0u);

    for (std::uint32_t client = 1; client <= x11::X11ClientNotes::kMostClients + 100; ++client)
        notes.connected(client << 21, self);
    EXPECT_EQ(notes.size(), x11::X11ClientNotes::kMostClients);
    notes.watchEnded();
    EXPECT_EQ(notes.size(), 0u);
    EXPECT_EQ(notes.noteOf(kBase, self), std::nullopt);
}

TEST(ClientNotes, AProgramWhoseProcessExitedIsDescribedByWhatWasNoted) {
    EXPECT_EQ(describeProgram({Source::Exited, "xclip", 17715}), "xclip (process 17715, which has since exited)");
    EXPECT_EQ(describeProgram({Source::Exited, "", 17715}), "a program that has exited (process 17715)");
    EXPECT_EQ(describeProgram({Source::Exited, "two\nlines", 1}), "two?lines (process 1, which has since exited)");
}

}  // namespace
}  // namespace zanthrel::qt
