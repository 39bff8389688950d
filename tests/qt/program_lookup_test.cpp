// The process table as the owner lookup reads it, laid out in a folder of the test's own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/x11/x11_program_lookup.h"

namespace zanthrel::qt {
namespace {

namespace fs = std::filesystem;
using Source = ProgramIdentity::Source;

class ProcessTable : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("zanthrel-proc-" + std::to_string(getpid()));
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    void process(int id, const std::string& comm, const std::string& exe, char state = 'S') {
        const fs::path folder = root / std::to_string(id);
        fs::create_directories(folder);
        std::ofstream(folder / "comm") << comm << "\n";
        std::ofstream(folder / "stat") << id << " (" << comm << ") " << state << " 1 2 3\n";
        if (!exe.empty()) fs::create_symlink(exe, folder / "exe");
    }
    ProgramIdentity look(std::uint32_t id) { return posix::processIdentity(id, Source::System, root.string()); }

    fs::path root;
};

TEST_F(ProcessTable, TheExecutablesNameIsPreferredToTheNameAProcessGivesItself) {
    process(10, "innocent", "/usr/bin/flameshot");
    EXPECT_EQ(look(10), (ProgramIdentity{Source::System, "flameshot", 10}));
    process(11, "screen-grabber-", "/tmp/screen-grabber-with-a-long-name (deleted)");
    EXPECT_EQ(look(11).name, "screen-grabber-with-a-long-name") << "an executable deleted after it started";
    process(12, "kworker", "");
    EXPECT_EQ(look(12).name, "kworker") << "another user's process: only its own name can be read";
}

TEST_F(ProcessTable, AProcessNoLongerInTheTableHasExited) {
    EXPECT_EQ(look(99), (ProgramIdentity{Source::Exited, "", 99}));
    EXPECT_EQ(look(0).source, Source::Exited) << "no process has the id 0";
    process(13, "a) R (b", "/usr/bin/xclip", 'Z');
    EXPECT_EQ(look(13), (ProgramIdentity{Source::Exited, "", 13})) << "ended, not yet collected by its parent";
    process(14, "a) Z (b", "/usr/bin/xclip", 'R');
    EXPECT_EQ(look(14).source, Source::System) << "a name that looks like a state";
}

TEST(ProcessTableOfThisMachine, NamesThisTestByItsExecutable) {
    const ProgramIdentity self = posix::processIdentity(static_cast<std::uint32_t>(getpid()), Source::System);
    EXPECT_EQ(self.name, fs::read_symlink("/proc/self/exe").filename().string());
}

}  // namespace
}  // namespace zanthrel::qt
