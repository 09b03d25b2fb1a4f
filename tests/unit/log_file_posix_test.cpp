#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/diagnostic_log.h"
#include "log_dir_fixture.h"

namespace vexo {
namespace {

using testing::read_file;
using testing::utf8;

class PosixLogFile : public testing::LogDirTest {
protected:
    std::filesystem::path subdir(const char* name) {
        auto p = dir_ / name;
        std::filesystem::create_directory(p);
        return p;
    }
    static std::filesystem::path log_in(const std::filesystem::path& d) { return d / "j2534-0404.log"; }
};

TEST_F(PosixLogFile, TempWinsOverTmpdir) {
    const auto tmpdir = subdir("tmpdir");
    platform::set_environment_value("TMPDIR", utf8(tmpdir));
    log_line("to temp");
    EXPECT_EQ(log_contents(), "to temp\n");
    EXPECT_FALSE(std::filesystem::exists(log_in(tmpdir)));
}

TEST_F(PosixLogFile, TmpdirServesWhenTempIsUnsetOrEmpty) {
    const auto tmpdir = subdir("tmpdir");
    platform::set_environment_value("TMPDIR", utf8(tmpdir));
    platform::set_environment_value("TEMP", std::nullopt);
    log_line("unset");
    platform::set_environment_value("TEMP", std::string());
    log_line("empty");
    EXPECT_EQ(read_file(log_in(tmpdir)), "unset\nempty\n");
}

TEST_F(PosixLogFile, NewFileIsPrivateToItsOwner) {
    log_line("x");
    struct stat st {};
    ASSERT_EQ(::stat(log_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(PosixLogFile, PlantedSymlinkIsNotFollowed) {
    const auto target = dir_ / "victim";
    { std::ofstream(target) << "keep"; }
    std::filesystem::create_symlink(target, log_path());
    log_line("must not land");
    EXPECT_EQ(read_file(target), "keep");
}

TEST_F(PosixLogFile, PlantedFifoNeitherBlocksNorReceives) {
    ASSERT_EQ(::mkfifo(log_path().c_str(), 0600), 0);
    log_line("no reader");  // would hang forever on a blocking open
    EXPECT_EQ(debug_lines_.size(), 1u);
}

TEST_F(PosixLogFile, LinesOfConcurrentWritersArriveWhole) { expect_concurrent_lines_arrive_whole(); }

TEST_F(PosixLogFile, SeveralProcessesRotateOnceAndLoseNoLine) {
    // The writers start together, when the gate's write end closes.
    int gate[2] = {-1, -1};
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> writers;
    for (int w = 0; w < kRotationWriters; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            char byte = 0;
            (void)::read(gate[0], &byte, 1);
            write_rotation_lines(w, utf8(dir_));
            ::_exit(0);
        }
        writers.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : writers) {
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    expect_rotated_once_without_loss();
}

// With neither TEMP nor TMPDIR, <shared>/vexo-<uid>/. The shared directory is a scratch one here:
// the real /tmp is shared with every other test process, whose lines land there too.
class PerUserFallback : public PosixLogFile {
protected:
    void SetUp() override {
        PosixLogFile::SetUp();
        platform::set_environment_value("TEMP", std::nullopt);
        platform::set_environment_value("TMPDIR", std::nullopt);
        shared_ = subdir("shared");
        std::filesystem::permissions(shared_, std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
        platform::set_shared_temp_directory(shared_.string());
        own_ = shared_ / ("vexo-" + std::to_string(::getuid()));
    }
    void TearDown() override {
        platform::set_shared_temp_directory(std::string(platform::kSharedTempDirectory));
        PosixLogFile::TearDown();
    }
    std::filesystem::path shared_;
    std::filesystem::path own_;
};

TEST_F(PerUserFallback, TheSharedDirectoryGivesEachUserADirectoryOfTheirOwn) {
    log_line("first");
    log_line("second");
    struct stat st {};
    ASSERT_EQ(::lstat(own_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(read_file(log_in(own_)), "first\nsecond\n");
    EXPECT_FALSE(std::filesystem::exists(log_in(shared_)));
}

TEST_F(PerUserFallback, APlantedLinkInPlaceOfTheDirectoryIsNotFollowed) {
    const auto elsewhere = subdir("elsewhere");
    std::filesystem::permissions(elsewhere, std::filesystem::perms::owner_all);
    std::filesystem::create_directory_symlink(elsewhere, own_);
    log_line("must not land");
    EXPECT_FALSE(std::filesystem::exists(log_in(elsewhere)));
    EXPECT_EQ(debug_lines_.size(), 1u);
}

TEST_F(PerUserFallback, ADirectoryOthersMayEnterIsNotUsed) {
    ASSERT_EQ(::mkdir(own_.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(own_.c_str(), 0777), 0);
    log_line("must not land");
    EXPECT_FALSE(std::filesystem::exists(log_in(own_)));
}

}  // namespace
}  // namespace vexo
