// The file layer: atomic writes, handles, streams, names and paths.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"
#include "tests/common/env_override.h"
#include "tests/foundation/foundation_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace foundation_fixture;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fresh_folder("kvfiles");
        ASSERT_FALSE(dir.empty());
        saved_cwd = fs::current_path();
        model_dir = dir.string();
        messages.clear();
        next_answer = 7;
        set_message_hook(test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        close_package();
        fs::current_path(saved_cwd);
        model_dir.clear();
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
        free_scratch();
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
    // Files in the folder other than the given ones (leftover temporaries).
    std::vector<std::string> others(std::initializer_list<std::string> known) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (std::find(known.begin(), known.end(), n) == known.end()) out.push_back(n);
        }
        return out;
    }
    fs::path dir;
    fs::path saved_cwd;
};

// Lowers the file-size limit for the life of the guard, so that writes past it
// fail as on a full disk.
struct file_size_limit {
    explicit file_size_limit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~file_size_limit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, old_handler);
    }
    rlimit old{};
    void (*old_handler)(int);
};

// ----------------------------------------------------------- atomic writes ---

TEST_F(FilesTest, WriteReplacesTheOldFileOnlyAtClose) {
    write_file(at("a.kdf"), "old contents");
    file_handle h = fh_open_write(at("a.kdf").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    EXPECT_EQ(fh_write(h, "new", 3), 3u);
    EXPECT_EQ(slurp(at("a.kdf")), "old contents") << "the old file must stay until the close";
    EXPECT_EQ(fh_close(h), 1);
    EXPECT_EQ(slurp(at("a.kdf")), "new");
    EXPECT_TRUE(others({"a.kdf"}).empty());
    EXPECT_EQ(fh_open_count(), 0);
}

TEST_F(FilesTest, AbandonedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    write_file(at("a.kdf"), "old contents");
    file_handle h = fh_open_write(at("a.kdf").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    fh_write(h, "half", 4);
    fh_abandon(h);
    EXPECT_EQ(slurp(at("a.kdf")), "old contents");
    EXPECT_TRUE(others({"a.kdf"}).empty());
    {
        // An unwind through a guard abandons too.
        fh_guard g(fh_open_write(at("a.kdf").c_str(), 0, 0));
        fh_write(g.get(), "x", 1);
    }
    EXPECT_EQ(slurp(at("a.kdf")), "old contents");
    EXPECT_TRUE(others({"a.kdf"}).empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(FilesTest, FailedWriteKeepsTheOldFileAndSaysSo) {
    const std::string old(100, 'o');
    write_file(at("big.kdf"), old);
    write_file(at("s.txt"), old);
    std::string data(20000, 'n');
    {
        file_size_limit lim(4096);
        file_handle h = fh_open_write(at("big.kdf").c_str(), 0, 0);
        ASSERT_GT(h, 0);
        EXPECT_LT(fh_write(h, data.data(), data.size()), data.size());
        EXPECT_LT(fh_close(h), 0);

        std::FILE* f = open_stream(at("s.txt").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fwrite(data.data(), 1, data.size(), f);
        EXPECT_LT(close_stream(f), 0);
    }
    EXPECT_EQ(slurp(at("big.kdf")), old);
    EXPECT_EQ(slurp(at("s.txt")), old);
    EXPECT_TRUE(said("Unable to write " + at("big.kdf"), 8));
    EXPECT_TRUE(said("Unable to write " + at("s.txt"), 8));
    EXPECT_TRUE((others({"big.kdf", "s.txt"}).empty()));
}

TEST_F(FilesTest, FailedRenameKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    fs::create_directory(dir / "ro");
    write_file(at("ro/m.kmf"), "old");
    file_handle h = fh_open_write(at("ro/m.kmf").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    fh_write(h, "new", 3);
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_LT(fh_close(h), 0);
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_EQ(slurp(at("ro/m.kmf")), "old");
    EXPECT_TRUE(said("Unable to write", 8));
    // A folder where nothing can be made gives no handle at all.
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_LT(fh_open_write(at("ro/other.kmf").c_str(), 0, 0), 0);
    EXPECT_EQ(open_stream(at("ro/other.txt").c_str(), "w"), nullptr);
    fs::permissions(dir / "ro", fs::perms::owner_all);
    // The temporary file the read-only folder kept goes with the next write
    // there.
    ASSERT_EQ(write_whole_file(at("ro/n.txt").c_str(), "n", 1), 1);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "ro")) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"m.kmf", "n.txt"}));
}

TEST_F(FilesTest, RenameOntoAFolderFailsCleanly) {
    // Something else took the name while the file was written: the close
    // says so and leaves no temporary behind.
    file_handle h = fh_open_write(at("m.kmf").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    fh_write(h, "new", 3);
    fs::create_directory(dir / "m.kmf");
    write_file(at("m.kmf/inside"), "x");
    EXPECT_LT(fh_close(h), 0);
    EXPECT_TRUE(said("Unable to write " + at("m.kmf"), 8));
    EXPECT_TRUE(others({"m.kmf"}).empty());
    EXPECT_LT(fh_open_write(at("m.kmf").c_str(), 0, 0), 0) << "a folder cannot be written over";
}

TEST_F(FilesTest, WriteKeepsModeAndSymbolicLinks) {
    write_file(at("real.txt"), "old");
    fs::permissions(dir / "real.txt",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(dir / "real.txt", dir / "link.txt");
    std::FILE* f = open_stream(at("link.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    EXPECT_EQ(close_stream(f), 1);
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(slurp(at("real.txt")), "new");
    EXPECT_EQ(fs::status(dir / "real.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FilesTest, AbandonedStreamKeepsTheOldFile) {
    write_file(at("t.txt"), "keep me");
    std::FILE* f = open_stream(at("t.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("lost", f);
    abandon_stream(f);
    EXPECT_EQ(slurp(at("t.txt")), "keep me");
    EXPECT_TRUE(others({"t.txt"}).empty());
    // Streams opened for reading and appending go to the disk file directly.
    f = open_stream(at("t.txt").c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs("!", f);
    EXPECT_EQ(close_stream(f), 1);
    EXPECT_EQ(slurp(at("t.txt")), "keep me!");
    EXPECT_EQ(open_stream(at("missing.txt").c_str(), "r"), nullptr);
}

// --------------------------------------------------------------- handles ---

TEST_F(FilesTest, SeekOnDiskFiles) {
    write_file(at("d.dat"), "0123456789");
    file_handle h = fh_open_read(at("d.dat").c_str());
    ASSERT_GT(h, 0);
    char buf[16] = {};
    EXPECT_EQ(fh_seek(h, 3, 0), 3);
    EXPECT_EQ(fh_read(h, buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "34");
    EXPECT_EQ(fh_seek(h, 2, 1), 7);
    EXPECT_EQ(fh_seek(h, -4, 2), 6);
    EXPECT_EQ(fh_seek(h, -20, 1), -1);
    EXPECT_EQ(fh_seek(h, 0, 3), -1);
    EXPECT_EQ(fh_seek(h, 0, 1), 6) << "a failed seek keeps the position";
    EXPECT_EQ(fh_read(h, buf, sizeof buf), 4u);
    EXPECT_EQ(fh_seek(h, 50, 0), 50);
    EXPECT_EQ(fh_read(h, buf, sizeof buf), 0u);
    EXPECT_EQ(fh_size(h), 10);
    EXPECT_EQ(fh_write(h, "x", 1), 0u) << "read handles do not write";
    EXPECT_EQ(fh_close(h), 1);
    EXPECT_EQ(fh_close(h), 0) << "a closed handle is no handle";
    EXPECT_EQ(fh_seek(h, 0, 0), -1);
    EXPECT_EQ(fh_read(h, buf, 1), 0u);
    EXPECT_LT(fh_open_read(at("nothing.dat").c_str()), 0);
    EXPECT_LT(fh_open_read(dir.string().c_str()), 0) << "a folder is not a file";
}

TEST_F(FilesTest, WriteHandlesSeekBackAndFillGapsWithZeros) {
    file_handle h = fh_open_write(at("w.bin").c_str(), 0, 0);
    ASSERT_GT(h, 0);
    fh_write(h, "HEAD", 4);
    EXPECT_EQ(fh_seek(h, 8, 0), 8);
    fh_write(h, "T", 1);
    EXPECT_EQ(fh_seek(h, 0, 0), 0);
    fh_write(h, "he", 2);
    char back[4] = {};
    EXPECT_EQ(fh_read(h, back, 2), 2u);
    EXPECT_EQ(std::string(back, 2), "AD");
    EXPECT_EQ(fh_close(h), 1);
    EXPECT_EQ(slurp(at("w.bin")), std::string("heAD\0\0\0\0T", 9));
}

TEST_F(FilesTest, InMemoryFiles) {
    file_handle h = fh_open_write("clip:one", 0, 1);
    ASSERT_GT(h, 0);
    EXPECT_EQ(fh_write(h, "abcdef", 6), 6u);
    EXPECT_EQ(fh_seek(h, 2, 0), 2);
    EXPECT_EQ(fh_write(h, "XY", 2), 2u);
    EXPECT_EQ(fh_seek(h, 3, 2), 9);
    EXPECT_EQ(fh_write(h, "!", 1), 1u);
    std::size_t n = 0;
    const unsigned char* p = fh_memory_data(h, &n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), std::string("abXYef\0\0\0!", 10));
    EXPECT_EQ(fh_seek(h, -1, 0), -1);
    EXPECT_EQ(fh_seek(h, 1, 0), 1);
    char buf[3] = {};
    EXPECT_EQ(fh_read(h, buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "bXY");
    EXPECT_EQ(fh_close(h), 1);
    EXPECT_FALSE(fs::exists("clip:one"));
    p = memory_file_data("clip:one", &n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(n, 10u);
    memory_file_drop("clip:one");
    EXPECT_EQ(memory_file_data("clip:one", &n), nullptr);
    EXPECT_EQ(n, 0u);

    file_handle b = fh_open_bytes("xyz", 3, "bytes");
    EXPECT_STREQ(fh_name(b), "bytes");
    EXPECT_EQ(fh_size(b), 3);
    EXPECT_EQ(fh_seek(b, -1, 2), 2);
    EXPECT_EQ(fh_read(b, buf, 3), 1u);
    EXPECT_EQ(buf[0], 'z');
    EXPECT_EQ(fh_write(b, "q", 1), 0u);
    fh_close(b);
}

// ------------------------------------------------------------ extensions ---

TEST_F(FilesTest, ExtensionTableNamesEveryKindOnce) {
    for (int k = 0; k < fk_count; ++k) {
        if (k == fk_none) continue;
        std::string name = std::string("m/x.") + kind_extension(k);
        EXPECT_EQ(file_kind_of(name.c_str(), -1), k) << name;
        EXPECT_STREQ(set_extension("m/x", k, 0), name.c_str());
    }
    EXPECT_STREQ(kind_extension(fk_run), "kdf");
    EXPECT_STREQ(kind_extension(fk_changes), "cin");
    EXPECT_STREQ(kind_extension(fk_metafile), "wmf");
    EXPECT_STREQ(kind_extension(fk_gtx), "gtx");
    EXPECT_STREQ(kind_extension(fk_command), "cmd");
    EXPECT_STREQ(kind_extension(fk_none), "");
    EXPECT_STREQ(kind_extension(99), "");
    EXPECT_EQ(file_kind_of("MODEL.KMF", -1), fk_model);
    EXPECT_EQ(file_kind_of("C:\\runs\\Base.Kdf", -1), fk_run);
    EXPECT_EQ(file_kind_of("book.xlsx", -1), fk_xlsx);
    EXPECT_EQ(file_kind_of("book.xls", -1), fk_xls);
    EXPECT_EQ(file_kind_of("noext", 7), 7);
    EXPECT_EQ(file_kind_of("trailing.", 7), 7);
    EXPECT_EQ(file_kind_of("odd.xyz", -3), -3);
    EXPECT_EQ(file_kind_of("dir.kdf/file", -1), -1) << "a dot in a folder name is no extension";
    EXPECT_EQ(file_kind_of(".kdf", -1), -1);
    EXPECT_EQ(file_kind_of(nullptr, 5), 5);
}

TEST_F(FilesTest, SetExtension) {
    EXPECT_STREQ(set_extension("base", fk_run, 0), "base.kdf");
    EXPECT_STREQ(set_extension("base.cin", fk_run, 0), "base.cin");
    EXPECT_STREQ(set_extension("base.cin", fk_run, 1), "base.kdf");
    EXPECT_STREQ(set_extension("a.b/base", fk_changes, 1), "a.b/base.cin");
    EXPECT_STREQ(set_extension("a.b\\base.x.kmt", fk_model, 1), "a.b\\base.x.kmf");
    EXPECT_STREQ(set_extension("base.kdf", fk_none, 0), "base");
    EXPECT_STREQ(set_extension("base", fk_none, 1), "base");
    EXPECT_STREQ(set_extension("run", fk_command, 1), "run.cmd");
    EXPECT_STREQ(set_extension(nullptr, fk_run, 0), ".kdf");
}

// ------------------------------------------------------------------ paths ---

TEST_F(FilesTest, SplitPath) {
    char *d = nullptr, *n = nullptr, *e = nullptr;
    model_dir = "/models/one/";
    EXPECT_STREQ(split_path(nullptr, "data.dat", &d, &n, &e), "/models/one/data.dat");
    EXPECT_STREQ(d, "/models/one/");
    EXPECT_STREQ(n, "data");
    EXPECT_STREQ(e, "dat");
    EXPECT_STREQ(split_path(nullptr, "..\\two\\.\\x.tar.gz", &d, &n, &e), "/models/two/x.tar.gz");
    EXPECT_STREQ(n, "x.tar");
    EXPECT_STREQ(e, "gz");
    EXPECT_STREQ(split_path("/base", "sub/noext", &d, &n, &e), "/base/sub/noext");
    EXPECT_STREQ(d, "/base/sub/");
    EXPECT_STREQ(e, "");
    EXPECT_STREQ(split_path("/base", "/abs/../f.kmf", nullptr, nullptr, nullptr), "/f.kmf");
    EXPECT_STREQ(split_path("/", "../../f", nullptr, nullptr, nullptr), "/f");
    // A folder keeps its closing slash through the dots; the root stays one.
    EXPECT_EQ(full_path("/base", "sub/../other/"), "/base/other/");
    EXPECT_EQ(full_path(nullptr, "/a/./b/../"), "/a/");
    EXPECT_EQ(full_path(nullptr, "/a/../"), "/");
    EXPECT_EQ(full_path(nullptr, "/a/b/.."), "/a");
    {
        env_override env;
        env.set("KV_TEST_HOME", "/home/tester");
        EXPECT_STREQ(split_path(nullptr, "%KV_TEST_HOME%\\m.kmf", nullptr, nullptr, nullptr),
                     "/home/tester/m.kmf");
    }
    model_dir.clear();
    std::string expect = fs::current_path().string() + "/rel.txt";
    EXPECT_EQ(split_path(nullptr, "rel.txt", nullptr, nullptr, nullptr), expect);
}

TEST_F(FilesTest, ModelRelativeNames) {
    model_dir = "/models/one";
    EXPECT_STREQ(strip_model_dir(nullptr, "/models/one/x.dat"), "x.dat");
    EXPECT_STREQ(strip_model_dir(nullptr, "\\models\\one\\sub\\x.dat"), "sub\\x.dat");
    EXPECT_STREQ(strip_model_dir(nullptr, "/models/onex/x.dat"), "/models/onex/x.dat");
    EXPECT_STREQ(strip_model_dir(nullptr, "/models/one"), "/models/one");
    EXPECT_STREQ(strip_model_dir("/other/", "/other/a"), "a");
    EXPECT_STREQ(file_name_part("C:\\a\\b.kmf"), "b.kmf");
    EXPECT_STREQ(file_name_part("C:b.kmf"), "b.kmf");
    EXPECT_STREQ(file_name_part("/a/b/"), "");
    EXPECT_STREQ(file_name_part("plain"), "plain");

    EXPECT_STREQ(model_relative_path("x.kmf", 0), "/models/one/x.kmf");
    EXPECT_STREQ(model_relative_path("/models/one/sub/x.kmf", 0), "sub/x.kmf");
    EXPECT_STREQ(model_relative_path("/elsewhere/x.kmf", 0), "/elsewhere/x.kmf");
    EXPECT_STREQ(model_relative_path("/elsewhere/deep/x.kmf", 8), "ep/x.kmf");
    EXPECT_STREQ(model_relative_path("/models/one/sub/x.kmf", 5), "x.kmf");
    EXPECT_STREQ(model_relative_path("sub/x.kmf", 0), "sub/x.kmf");
    model_dir.clear();
    EXPECT_EQ(std::string(model_relative_path("x.kmf", 0)), fs::current_path().string() + "/x.kmf");
}

TEST_F(FilesTest, ChangeDirTakesTheFoldersOfAPath) {
    fs::create_directory(dir / "sub");
    write_file(at("sub/m.kmf"), "m");
    EXPECT_EQ(change_dir(at("sub/m.kmf").c_str()), 1);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir / "sub"));
    EXPECT_EQ(change_dir(dir.string().c_str()), 1);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir));
    EXPECT_EQ(change_dir(at("none/x.kmf").c_str()), 0);
    EXPECT_EQ(fs::current_path(), fs::canonical(dir));
}

// ------------------------------------------------------- files and names ---

TEST_F(FilesTest, StatusDeleteAndTheBeforeDeleteHook) {
    write_file(at("r.kdf"), "run");
    EXPECT_EQ(file_status(at("r.kdf").c_str(), 0), 1);
    EXPECT_EQ(file_status(at("r.kdf").c_str(), 1), 1);
    EXPECT_EQ(file_status(at("q.kdf").c_str(), 0), 0);
    EXPECT_EQ(file_status(dir.string().c_str(), 0), 0);

    static std::string closed;
    closed.clear();
    set_before_delete_hook([](const char* p) { closed = p; });
    EXPECT_EQ(delete_file(at("r.kdf").c_str(), -2), 0) << "-2 never touches the disk";
    EXPECT_TRUE(fs::exists(dir / "r.kdf"));
    EXPECT_EQ(delete_file(at("r.kdf").c_str(), 1), 1);
    EXPECT_EQ(closed, at("r.kdf"));
    EXPECT_FALSE(fs::exists(dir / "r.kdf"));
    EXPECT_EQ(delete_file(at("r.kdf").c_str(), 1), 0);
    set_before_delete_hook(nullptr);

    if (geteuid() != 0) {
        write_file(at("ro.kdf"), "run");
        fs::permissions(dir / "ro.kdf", fs::perms::owner_read);
        next_answer = 7;
        EXPECT_EQ(delete_file(at("ro.kdf").c_str(), 1), 0);
        EXPECT_TRUE(said("is read only", question_yes_no));
        EXPECT_TRUE(fs::exists(dir / "ro.kdf"));
        next_answer = 6;
        EXPECT_EQ(delete_file(at("ro.kdf").c_str(), 1), 1);
        EXPECT_FALSE(fs::exists(dir / "ro.kdf"));
    }
}

TEST_F(FilesTest, SaveWithBackupKeepsTheFileInPlace) {
    char* backup = nullptr;
    EXPECT_NE(save_with_backup(at("m.kmf").c_str(), &backup), 0) << "no file: nothing to keep";
    EXPECT_EQ(std::string(backup), at("m.kmf") + ".bak");
    EXPECT_FALSE(fs::exists(backup));

    write_file(at("m.kmf"), "version 1");
    ASSERT_NE(save_with_backup(at("m.kmf").c_str(), &backup), 0);
    EXPECT_EQ(slurp(backup), "version 1");
    EXPECT_EQ(slurp(at("m.kmf")), "version 1") << "the model stays until it is replaced";
    // The backup is a file of its own: replacing the model leaves it alone.
    file_handle h = fh_open_write(at("m.kmf").c_str(), 0, 0);
    fh_write(h, "version 2", 9);
    ASSERT_EQ(fh_close(h), 1);
    EXPECT_EQ(slurp(backup), "version 1");
    ASSERT_NE(save_with_backup(at("m.kmf").c_str(), nullptr), 0);
    EXPECT_EQ(slurp(backup), "version 2");

    // A backup that cannot be made (its name is taken by a folder) is a stop.
    fs::create_directory(dir / "n.kmf.bak");
    write_file(at("n.kmf.bak/inside"), "x");
    write_file(at("n.kmf"), "n");
    EXPECT_EQ(save_with_backup(at("n.kmf").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Unable to rename " + at("n.kmf") + " to " + at("n.kmf.bak"), 8));
    EXPECT_EQ(slurp(at("n.kmf")), "n");
}

TEST_F(FilesTest, AskOverwrite) {
    EXPECT_EQ(ask_overwrite(at("new.txt").c_str()), 1);
    EXPECT_TRUE(messages.empty());
    write_file(at("old.txt"), "x");
    next_answer = 7;
    EXPECT_EQ(ask_overwrite(at("old.txt").c_str()), 0);
    EXPECT_TRUE(said("The file " + at("old.txt") + " exists\nDo you want to overwrite it",
                     question_yes_no));
    next_answer = 6;
    EXPECT_EQ(ask_overwrite(at("old.txt").c_str()), 1);
}

TEST_F(FilesTest, WriteCrlf) {
    std::FILE* f = open_stream(at("c.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_crlf(f, "one\ntwo\r\nthree\n\n"), 1);
    EXPECT_EQ(close_stream(f), 1);
    EXPECT_EQ(slurp(at("c.txt")), "one\r\ntwo\r\nthree\r\n\r\n");
}

} // namespace
