// Writes under real faults: every writer tells a failure in one wording,
// temporary files of ended writers are cleared away, and a read-only file is
// asked about before it is replaced.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/package_write.h"
#include "foundation/report.h"
#include "tests/common/fault_child.h"
#include "tests/foundation/foundation_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace foundation_fixture;

class WriteFaults : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fresh_folder("kvwfaults");
        ASSERT_FALSE(dir.empty());
        messages.clear();
        next_answer = 7;
        set_message_hook(test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
        free_scratch();
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
    std::set<std::string> names(const fs::path& in) const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(in)) out.insert(e.path().filename().string());
        return out;
    }
    std::set<std::string> names() const { return names(dir); }
    fs::path dir;
};

std::string reason(int error) {
    return std::string(": ") + std::strerror(error);
}

// Bytes that no writer can squeeze below the size limit.
std::string noise(std::size_t n) {
    std::mt19937 gen(7);
    std::string s(n, 0);
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

// ------------------------------------------------------ one wording ---

TEST_F(WriteFaults, EveryWriterSaysTheFileTheReasonAndThatTheOldFileIsKept) {
    const std::string old = "old contents";
    for (const char* n : {"h.kdf", "s.txt", "p.kpm", "k.ini"}) write_file(at(n), old);
    const std::string data = noise(20000);
    auto said = fault_child::under_size_limit(4096, [&] {
        int ok = 0;
        file_handle h = fh_open_write(at("h.kdf").c_str(), 0, 0);
        fh_write(h, data.data(), data.size());
        ok += fh_close(h) > 0;
        std::FILE* f = open_stream(at("s.txt").c_str(), "w");
        std::fwrite(data.data(), 1, data.size(), f);
        ok += close_stream(f) > 0;
        package_member m{"model.kmf", data.data(), data.size(), member_flag_main};
        ok += package_write(at("p.kpm").c_str(), &m, 1, nullptr, 0);
        set_ini_directory(dir.c_str());
        read_ini_file(at("k.ini").c_str(), nullptr, 0);
        ini_set("Padding", std::string(10000, 'p').c_str());
        ok += write_ini_file(2) > 0;
        return ok;
    });
    const std::string tail = reason(EFBIG) + "; the old file is kept";
    std::vector<std::string> expected = {
        "Unable to write " + at("h.kdf") + tail,
        "Unable to write " + at("s.txt") + tail,
        "Unable to write the package " + at("p.kpm") + tail,
        "Unable to write the settings file " + at("k.ini") + tail,
    };
    ASSERT_EQ(said.size(), expected.size());
    for (std::size_t i = 0; i < said.size(); ++i) {
        EXPECT_EQ(said[i].text, expected[i]);
        EXPECT_EQ(said[i].kind, 8) << "a box the user sees: " << said[i].text;
    }
    for (const char* n : {"h.kdf", "s.txt", "p.kpm", "k.ini"}) EXPECT_EQ(slurp(at(n)), old) << n;
    EXPECT_EQ(names(), (std::set<std::string>{"h.kdf", "s.txt", "p.kpm", "k.ini"}));
}

TEST_F(WriteFaults, AWriteThatCannotStartSaysWhyAndThatNoFileWasWritten) {
    std::string p = at("none/p.kpm");
    package_member m{"model.kmf", "x", 1, member_flag_main};
    EXPECT_EQ(package_write(p.c_str(), &m, 1, nullptr, 0), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Unable to write the package " + p + reason(ENOENT) + "; no file was written");
    EXPECT_EQ(messages[0].kind, 8);

    // A folder where the file should be: the system's own word for it.
    fs::create_directory(dir / "taken.kdf");
    errno = 0;
    EXPECT_LT(fh_open_write(at("taken.kdf").c_str(), 0, 0), 0);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(write_whole_file(at("taken.kdf").c_str(), "x", 1), 0);
    EXPECT_EQ(errno, EISDIR);

    // Without a system error there is no reason to give, only the file.
    write_file(at("w.kdf"), "x");
    EXPECT_EQ(write_failure_text(at("w.kdf").c_str(), 0, "the run file"),
              "Unable to write the run file " + at("w.kdf") + "; the old file is kept");
}

// ------------------------------------------------- stale temporaries ---

// A settings file that cannot be made (a full disk) is said once, by the
// first read or write that meets it, not again by every later read (each
// tries to make it anew) or write; once it is written, a new failure to make
// it is said again.
TEST_F(WriteFaults, ASettingsFileThatCannotBeMadeIsSaidOnce) {
    const std::string k = at("k.ini"), other = at("other.ini");
    int result = 0;
    auto said = fault_child::under_size_limit(
        4,
        [&] {
            set_ini_directory(dir.c_str());
            int fails = 0;
            // As start-up does: a quiet read, then the settings written.
            fails += read_ini_file(k.c_str(), nullptr, 1) == -2;
            fails += write_ini_file(2) < 0;
            // Later reads (the exit's, a model's save) and writes.
            for (int i = 0; i < 3; ++i) {
                fails += read_ini_file(k.c_str(), nullptr, 1) == -2;
                fails += report_ini_make_failure() == 0;
                fails += write_ini_file(2) < 0;
            }
            // Another file's failure is its own.
            fails += read_ini_file(other.c_str(), nullptr, 1) == -2;
            fails += report_ini_make_failure() == 1;
            fails += report_ini_make_failure() == 0;
            set_ini_directory(nullptr);
            return fails;
        },
        &result);
    EXPECT_EQ(result, 2 + 3 * 3 + 3);
    const std::string tail = reason(EFBIG) + "; no file was written";
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0].text, "Unable to write the settings file " + k + tail);
    EXPECT_EQ(said[1].text, "Unable to write the settings file " + other + tail);
    for (const auto& m : said) EXPECT_EQ(m.kind, 8);
    EXPECT_EQ(names(), std::set<std::string>{}) << "no file, no temporary";

    // Once written, a new failure to make it is said again.
    said = fault_child::under_size_limit(
        4,
        [&] {
            set_ini_directory(dir.c_str());
            auto limit = [](rlim_t bytes) {
                rlimit lim{};
                ::getrlimit(RLIMIT_FSIZE, &lim);
                lim.rlim_cur = bytes;
                ::setrlimit(RLIMIT_FSIZE, &lim);
            };
            int steps = read_ini_file(k.c_str(), nullptr, 1) == -2;
            steps += write_ini_file(2) < 0; // said
            limit(RLIM_INFINITY);
            steps += write_ini_file(2) == 1;
            ::unlink(k.c_str());
            limit(4);
            steps += read_ini_file(k.c_str(), nullptr, 1) == -2;
            steps += report_ini_make_failure() == 1; // said again
            set_ini_directory(nullptr);
            return steps;
        },
        &result);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(said.size(), 2u);
}

TEST_F(WriteFaults, ATemporaryLeftByAKilledWriterGoesWhenItsFolderIsNextWritten) {
    write_file(at("a.kdf"), "old run");
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        file_handle h = fh_open_write(at("a.kdf").c_str(), 0, 0);
        fh_write(h, "half a run", 10);
        ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::set<std::string> left = names();
    ASSERT_EQ(left.size(), 2u);
    std::string temp = *left.begin() == "a.kdf" ? *left.rbegin() : *left.begin();
    EXPECT_EQ(temp.rfind(".a.kdf.kvtmp" + std::to_string(pid) + "-", 0), 0u) << temp;
    EXPECT_EQ(slurp(at("a.kdf")), "old run");

    // Any write in the folder clears it; the old run is untouched.
    ASSERT_EQ(write_whole_file(at("b.txt").c_str(), "b", 1), 1);
    EXPECT_EQ(names(), (std::set<std::string>{"a.kdf", "b.txt"}));
    EXPECT_EQ(slurp(at("a.kdf")), "old run");
    EXPECT_TRUE(messages.empty());
}

TEST_F(WriteFaults, OnlyOurOwnNamingOfEndedWritersIsRemoved) {
    const std::string dead = std::to_string(fault_child::ended_pid());
    const std::string self = std::to_string(::getpid());
    const std::string alive = std::to_string(::getppid());
    const std::vector<std::string> stale = {
        ".r.kdf.kvtmp" + dead + "-3", ".k.ini.kvtmp" + dead + "-12",
        ".o.kdf.kvtmp" + self + "-99999", // ours, but no write holds it
    };
    const std::vector<std::string> foreign = {
        "r.kdf.kvtmp" + dead + "-3",    ".r.kdf.kvtmp" + dead + "-3.bak",
        ".r.kdf.kvtmp" + dead + "x-3",  ".kvtmp" + dead + "-3",
        ".r.kdf.kvtmp" + dead + "-",    ".r.kdf.kvtmp-3",
        ".r.kdf.kvtmp" + alive + "-1",  ".r.kdf.kvtmp1-1",
        ".r.kdf.kvtmp99999999999999-1",
    };
    // A write of this process in progress keeps its temporary file.
    file_handle h = fh_open_write(at("x.kdf").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    ASSERT_EQ(fh_write(h, "x run", 5), 5u);

    for (const auto& n : stale) write_file(at(n), "stale");
    for (const auto& n : foreign) write_file(at(n), "someone else's");
    fs::create_directory(dir / (".d.kvtmp" + dead + "-1"));
    write_file(at("target"), "linked");
    fs::create_symlink(dir / "target", dir / (".l.kvtmp" + dead + "-1"));
    fs::create_directory(dir / "sub");
    write_file(at("sub/.r.kdf.kvtmp" + dead + "-3"), "stale below");

    EXPECT_EQ(remove_stale_temporaries(at("any.kdf").c_str()), 3);
    std::set<std::string> left = names();
    for (const auto& n : stale) EXPECT_EQ(left.count(n), 0u) << n;
    for (const auto& n : foreign) EXPECT_EQ(left.count(n), 1u) << n;
    EXPECT_EQ(left.count(".d.kvtmp" + dead + "-1"), 1u);
    EXPECT_EQ(left.count(".l.kvtmp" + dead + "-1"), 1u);
    EXPECT_EQ(slurp(at("target")), "linked");
    EXPECT_EQ(names(dir / "sub").size(), 1u) << "only the folder written to is cleared";

    EXPECT_EQ(fh_close(h), 1);
    EXPECT_EQ(slurp(at("x.kdf")), "x run");
    std::FILE* f = open_stream(at("sub/y.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(close_stream(f), 1);
    EXPECT_EQ(names(dir / "sub"), std::set<std::string>{"y.txt"});
}

// ---------------------------------------------------- read-only files ---

TEST_F(WriteFaults, AReadOnlyFileIsAskedAboutBeforeItIsReplacedOrDeleted) {
    // The mode bits decide, so this holds for the superuser as well.
    write_file(at("ro.kdf"), "kept run");
    fs::permissions(dir / "ro.kdf", fs::perms::owner_read | fs::perms::group_read);
    write_file(at("rw.kdf"), "run");
    EXPECT_TRUE(file_is_read_only(at("ro.kdf").c_str()));
    EXPECT_FALSE(file_is_read_only(at("rw.kdf").c_str()));
    EXPECT_FALSE(file_is_read_only(at("none.kdf").c_str()));
    EXPECT_FALSE(file_is_read_only(dir.string().c_str()));

    EXPECT_EQ(ask_replace_read_only(at("rw.kdf").c_str()), 1);
    EXPECT_EQ(ask_replace_read_only(at("none.kdf").c_str()), 1);
    EXPECT_TRUE(messages.empty());

    const std::string q = "The file " + at("ro.kdf") + " is read only\nDo you want to ";
    next_answer = 7;
    EXPECT_EQ(ask_replace_read_only(at("ro.kdf").c_str()), 0);
    EXPECT_EQ(ask_overwrite(at("ro.kdf").c_str()), 0);
    ASSERT_EQ(messages.size(), 2u) << "one question each, not the plain overwrite one too";
    for (const message& m : messages) {
        EXPECT_EQ(m.kind, question_yes_no);
        EXPECT_EQ(m.text, q + "overwrite it anyway");
    }
    next_answer = 6;
    EXPECT_EQ(ask_overwrite(at("ro.kdf").c_str()), 1);

    messages.clear();
    next_answer = 7;
    EXPECT_EQ(delete_file(at("ro.kdf").c_str(), 1), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, q + "delete it anyway");
    EXPECT_EQ(slurp(at("ro.kdf")), "kept run");
    next_answer = 6;
    EXPECT_EQ(delete_file(at("ro.kdf").c_str(), 1), 1);
    EXPECT_FALSE(fs::exists(dir / "ro.kdf"));
}

} // namespace
