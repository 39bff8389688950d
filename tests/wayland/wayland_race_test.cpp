// The Wayland reader under blocking's standing order, against programs that race it on a real compositor
// (run through with_sway.sh): a spy that asks for each copy at its selection event, a program that copies
// again the instant it is replaced, and the primary selection. The other programs are
// wayland_test_source processes.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/wayland/wayland_clipboard_reader.h"

namespace zanthrel::wayland {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A wayland_test_source running beside the test, ended with it.
class Source {
public:
    explicit Source(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), ZANTHREL_TEST_SOURCE);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        int ends[2];
        if (pipe(ends) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        output_ = ends[0];
    }
    ~Source() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        end();
        if (output_ >= 0) close(output_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Waits for the line `wanted`; false when the program ended or 10 s passed without it.
    bool saw(const std::string& wanted) {
        const auto deadline = Clock::now() + 10s;
        for (;;) {
            for (const std::string& line : lines_)
                if (line == wanted) return true;
            if (!readFor(deadline)) return false;
        }
    }
    // Reads what comes for `patience`.
    void collect(std::chrono::milliseconds patience) {
        const auto deadline = Clock::now() + patience;
        while (readFor(deadline)) {
        }
    }
    // Waits until it ended by itself: whether it ended well.
    bool finished() {
        while (readFor(Clock::now() + 30s)) {
        }
        return end() == 0;
    }
    const std::vector<std::string>& lines() const { return lines_; }
    std::string last() const { return lines_.empty() ? std::string() : lines_.back(); }
    int secretsGot() const {
        std::set<std::string> secrets;
        for (const std::string& line : lines_)
            if (line.starts_with("got secret")) secrets.insert(line);
        return static_cast<int>(secrets.size());
    }

private:
    // Reads what has come, waiting until `deadline` for more; false at the end of the output.
    bool readFor(Clock::time_point deadline) {
        pollfd fd{output_, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (output_ < 0 || poll(&fd, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) return false;
        char chunk[512];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0) return false;
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                pending_ += chunk[i];
                continue;
            }
            lines_.push_back(pending_);
            pending_.clear();
        }
        return true;
    }
    int end() {
        if (pid_ <= 0) return status_;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    int status_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
};

constexpr int kCopies = 15;

class WaylandRace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("wl-copy --clear && wl-copy --primary --clear"), 0);
        posix::ClipboardReader::Listener listener;
        listener.changed = [this](std::uint64_t, ClipboardChange change) {
            if (change.emptied) ++emptiedAtOnce;
        };
        listener.contested = [this] { ++fights; };
        reader = WaylandClipboardReader::start(std::move(listener));
        ASSERT_NE(reader, nullptr) << "the compositor offers no data-control service";
    }
    void block(bool on) {
        EmptyingOrder order;
        order.active = on;
        reader->setEmptyingOrder(order);
    }
    // Copies the secrets into `selection` 100 ms apart while a spy reads them: what the spy got. The
    // copier's last line says how many copies another program took away ("taken K of N").
    int spyGets(const std::string& selection) {
        Source spy({"spy", selection, "30"});
        EXPECT_TRUE(spy.saw("ready")) << "the spy did not start";
        Source copier({"copy", selection, std::to_string(kCopies), "100"});
        EXPECT_TRUE(copier.finished()) << "the copier failed";
        copiersReport = copier.last();
        spy.collect(300ms);  // a transfer asked for at the last copy may still be on its way
        return spy.secretsGot();
    }
    static std::string taken(int copies) {
        return "taken " + std::to_string(copies) + " of " + std::to_string(kCopies);
    }

    std::string copiersReport;
    std::atomic<int> emptiedAtOnce{0};
    std::atomic<int> fights{0};
    std::unique_ptr<WaylandClipboardReader> reader;
};

TEST_F(WaylandRace, ASpyThatAsksAtTheSelectionEventGetsFewCopiesWhileBlocking) {
    // Without the order the spy gets every copy: it is a spy that works.
    EXPECT_EQ(spyGets("clipboard"), kCopies);
    EXPECT_EQ(copiersReport, taken(0));

    block(true);
    // Loose enough never to fail on a busy machine; the live benchmark says how few it really gets.
    EXPECT_LE(spyGets("clipboard"), 7) << "the emptying does not win the race";
    EXPECT_EQ(copiersReport, taken(kCopies));
    EXPECT_EQ(emptiedAtOnce, kCopies) << "each copy is reported as emptied at once";
    EXPECT_EQ(fights, 0) << "copies 100 ms apart are no fight";
}

TEST_F(WaylandRace, ThePrimarySelectionIsEmptiedTooAndNothingOnceTheOrderIsWithdrawn) {
    block(true);
    EXPECT_LE(spyGets("primary"), 7);
    EXPECT_EQ(copiersReport, taken(kCopies));
    EXPECT_EQ(emptiedAtOnce, 0) << "primary selections are not reported";

    block(false);
    for (const char* selection : {"clipboard", "primary"}) {
        SCOPED_TRACE(selection);
        EXPECT_EQ(spyGets(selection), kCopies);
        EXPECT_EQ(copiersReport, taken(0));
    }
    EXPECT_EQ(emptiedAtOnce, 0);
}

TEST_F(WaylandRace, AProgramThatCopiesAgainAtOnceIsPacedAndSaidOnce) {
    block(true);
    const auto started = Clock::now();
    Source fighter({"fight", "2"});
    ASSERT_TRUE(fighter.finished());
    const auto fought = Clock::now() - started;
    ASSERT_EQ(fighter.lines().size(), 2u);
    EXPECT_GE(std::atol(fighter.lines()[0].c_str() + std::string("retaken ").size()), EmptyingOrder{}.fightTakings);
    const auto paced = std::chrono::duration_cast<std::chrono::milliseconds>(fought) / EmptyingOrder{}.fightPace;
    EXPECT_LE(emptiedAtOnce, EmptyingOrder{}.fightTakings + paced + 2);
    EXPECT_EQ(fights, 1) << "the fight is said once";
    // Its last copy, which nobody fights for any more, is still emptied at the next turn of the pace.
    EXPECT_EQ(fighter.last(), "last taking emptied");
}

}  // namespace
}  // namespace zanthrel::wayland
