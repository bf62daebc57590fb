// Names that are not plain files (pipes, devices, folders, links to nothing or
// in a loop, over-long paths and names) and a file-size limit with the signal
// at its default: nothing hangs, nothing is replaced that is not a file, and
// every refusal carries its reason.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "tests/common/fault_child.h"
#include "tests/foundation/foundation_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace foundation_fixture;

class OddFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fresh_folder("kvodd");
        ASSERT_FALSE(dir.empty());
        messages.clear();
        set_message_hook(test_hook);
    }
    void TearDown() override {
        close_all_text_sources();
        set_message_hook(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
        free_scratch();
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
    std::string dir;
};

// A path far longer than PATH_MAX whose folders all exist.
std::string over_long_path(const std::string& base) {
    std::string p = base;
    while (p.size() < 4854) {
        p += "/" + std::string(200, 'd');
        ::mkdir(p.c_str(), 0700); // fails once the path is too long: that is the point
    }
    return p + "/m.kmf";
}

TEST_F(OddFiles, WhatIsNotARegularFileIsRefusedAtOnceWithWhatItIs) {
    ASSERT_EQ(::mkfifo(at("pipe.kmf").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", at("zero.cin"));
    fs::create_directory(at("folder.kdf"));
    fs::create_symlink(at("nowhere.kmf"), at("dangling.kmf"));
    fs::create_symlink(at("loop_b.kmf"), at("loop_a.kmf"));
    fs::create_symlink(at("loop_a.kmf"), at("loop_b.kmf"));
    struct row {
        std::string name;
        const char* reason; // in file_error_text(errno)
    } rows[] = {
        {at("pipe.kmf"), "named pipe"},
        {at("zero.cin"), "character device"},
        {at("folder.kdf"), "Is a directory"},
        {at("dangling.kmf"), "No such file"},
        {at("loop_a.kmf"), "Too many levels of symbolic links"},
        {over_long_path(dir), "File name too long"},
        {at("missing.kpm"), "No such file"},
    };
    for (const row& r : rows) {
        std::string shown = r.name.substr(0, 80);
        errno = 0;
        EXPECT_LT(fh_open_read(r.name.c_str()), 0) << shown;
        EXPECT_NE(file_error_text(errno).find(r.reason), std::string::npos)
            << shown << ": " << file_error_text(errno);
        errno = 0;
        EXPECT_EQ(open_stream(r.name.c_str(), "r"), nullptr) << shown;
        EXPECT_NE(file_error_text(errno).find(r.reason), std::string::npos) << shown;
        if (std::string(r.reason) != "No such file") { // appending makes a missing file
            EXPECT_EQ(open_regular_stream(r.name.c_str(), "a"), nullptr) << shown;
        }
        EXPECT_EQ(open_text_source(r.name.c_str(), 0, 0), 0) << shown;
    }
    EXPECT_EQ(fh_open_count(), 0);
    // Nothing was made or replaced by the attempts.
    EXPECT_TRUE(fs::is_fifo(at("pipe.kmf")));
    EXPECT_TRUE(fs::is_symlink(at("dangling.kmf")));
    EXPECT_FALSE(fs::exists(at("nowhere.kmf")));
    EXPECT_FALSE(fs::exists(at("missing.kpm")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(OddFiles, AWriteNeverReplacesAPipeADeviceLinkOrALinkToNothing) {
    ASSERT_EQ(::mkfifo(at("pipe.kdf").c_str(), 0600), 0);
    fs::create_symlink(at("pipe.kdf"), at("to_pipe.kdf"));
    fs::create_symlink(at("nowhere.kdf"), at("dangling.kdf"));
    fs::create_symlink("/dev/null", at("null.ini"));
    struct row {
        std::string name;
        const char* reason;
    } rows[] = {
        {at("pipe.kdf"), "named pipe"},
        {at("to_pipe.kdf"), "named pipe"},
        {at("dangling.kdf"), "No such file"},
        {at("null.ini"), "character device"},
    };
    for (const row& r : rows) {
        errno = 0;
        EXPECT_EQ(write_whole_file(r.name.c_str(), "x", 1), 0) << r.name;
        EXPECT_NE(file_error_text(errno).find(r.reason), std::string::npos)
            << r.name << ": " << file_error_text(errno);
        EXPECT_LT(fh_open_write(r.name.c_str(), 0, 0), 0) << r.name;
        std::FILE* f = open_stream(r.name.c_str(), "w");
        EXPECT_EQ(f, nullptr) << r.name;
        if (f) abandon_stream(f);
        EXPECT_NE(write_failure_text(r.name.c_str(), errno, "the run file").find(r.reason),
                  std::string::npos);
    }
    EXPECT_TRUE(fs::is_fifo(at("pipe.kdf")));
    EXPECT_TRUE(fs::is_symlink(at("to_pipe.kdf")));
    EXPECT_TRUE(fs::is_symlink(at("dangling.kdf")));
    EXPECT_FALSE(fs::exists(at("nowhere.kdf")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(names(),
              (std::set<std::string>{"pipe.kdf", "to_pipe.kdf", "dangling.kdf", "null.ini"}));
}

TEST_F(OddFiles, TheLongestLegalNamesAreWrittenAndTheirTemporariesSwept) {
    for (std::size_t length : {239u, 250u, static_cast<unsigned>(NAME_MAX)}) {
        std::string leaf = std::string(length - 4, 'r') + ".kdf";
        std::string path = at(leaf);
        file_handle h = fh_open_write(path.c_str(), 0, 0);
        ASSERT_GT(h, 0) << length << ": " << std::strerror(errno);
        // The temporary sits beside the file, within NAME_MAX, in the sweeper's form.
        std::set<std::string> during = names();
        ASSERT_EQ(during.size(), 1u);
        const std::string temp = *during.begin();
        EXPECT_LE(temp.size(), static_cast<std::size_t>(NAME_MAX));
        EXPECT_EQ(temp[0], '.');
        EXPECT_NE(temp.find(".kvtmp" + std::to_string(::getpid()) + "-"), std::string::npos)
            << temp;
        ASSERT_EQ(fh_write(h, "run", 3), 3u);
        ASSERT_EQ(fh_close(h), 1);
        EXPECT_EQ(slurp(path), "run");
        EXPECT_EQ(names(), std::set<std::string>{leaf});

        // A writer killed in the middle leaves its temporary; the next write
        // in the folder takes it away.
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            file_handle k = fh_open_write(path.c_str(), 0, 0);
            fh_write(k, "half", 4);
            ::raise(SIGKILL);
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_EQ(names().size(), 2u) << length;
        ASSERT_EQ(write_whole_file(at("other").c_str(), "o", 1), 1);
        EXPECT_EQ(names(), (std::set<std::string>{leaf, "other"})) << length;
        EXPECT_EQ(slurp(path), "run");
        fs::remove(path);
        fs::remove(at("other"));
    }
    EXPECT_TRUE(messages.empty());
}

// Runs a write past a 4 KiB limit in a child whose SIGXFSZ is at its default;
// the child's wait status.
int write_past_limit(const std::string& path, bool as_the_program) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        if (as_the_program) ignore_file_size_signal();
        rlimit lim{};
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        std::string big(100000, 'b');
        int ok = write_whole_file(path.c_str(), big.data(), big.size());
        ::_exit(ok == 0 && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST_F(OddFiles, AWritePastTheFileSizeLimitFailsWithEfbigInsteadOfKilling) {
    write_file(at("r.kdf"), "old run");
    int killed = write_past_limit(at("r.kdf"), false);
    ASSERT_TRUE(WIFSIGNALED(killed)) << "the limit is not reached: the test proves nothing";
    EXPECT_EQ(WTERMSIG(killed), SIGXFSZ);
    int status = write_past_limit(at("r.kdf"), true);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail with EFBIG";
    EXPECT_EQ(slurp(at("r.kdf")), "old run");
}

} // namespace
