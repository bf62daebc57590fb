// The settings file: command-line name, reading, the table, safe writing.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "foundation/ini.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "tests/common/env_override.h"
#include "tests/foundation/foundation_fixture.h"

namespace {

using foundation_fixture::slurp;
using foundation_fixture::write_file;

std::vector<std::string> dir_entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

std::vector<std::string> messages;
int capture_hook(int, const char*, const char* text) {
    messages.push_back(text);
    return 0;
}

class Ini : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "kavrel_ini_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        set_ini_directory(dir.c_str());
        write_ini_file(0);
        messages.clear();
        set_message_hook(capture_hook);
        set_report_stream(nullptr);
        report_message_level = 0;
        report_livesweep_on = false;
    }
    void TearDown() override {
        write_ini_file(0);
        set_ini_directory(nullptr);
        set_message_hook(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
};

// ------------------------------------------------------ command-line name ---

TEST(IniCommandLine, LeadingSettingsNameIsTakenOff) {
    struct cases {
        const char* line;
        const char* name; // "" when none is taken
        const char* rest;
    } table[] = {
        {"my.ini model.kmf", "my.ini", "model.kmf"},
        {"  conf/A.INI\tm.kmf", "conf/A.INI", "m.kmf"},
        {"s.Ini", "s.Ini", ""},
        {"s.iNi \n\t -N", "s.iNi", "-N"},
        {"my settings.ini m.kmf", "my settings.ini", "m.kmf"},
        {"a.inix.ini b", "a.inix.ini", "b"},
        {"\"my dir/s.ini\" m.kmf", "my dir/s.ini", "m.kmf"},
        // not a settings name
        {"x.ini2 model", "", "x.ini2 model"},
        {"model.kmf", "", "model.kmf"},
        {"model.ini.kmf", "", "model.ini.kmf"},
        {"\"C:/a.ini b/m.kmf\"", "", "\"C:/a.ini b/m.kmf\""},
        {"\"s.ini\"-N", "", "\"s.ini\"-N"},
        {"", "", ""},
    };
    for (const auto& c : table) {
        std::string buffer = c.line;
        char* line = buffer.data();
        std::string name = take_ini_name(&line);
        EXPECT_EQ(name, c.name) << "[" << c.line << "]";
        EXPECT_STREQ(line, c.rest) << "[" << c.line << "]";
    }
    EXPECT_EQ(take_ini_name(nullptr), "");
    char* none = nullptr;
    EXPECT_EQ(take_ini_name(&none), "");
}

TEST_F(Ini, CommandLineNamesTheFileThatIsRead) {
    std::string path = dir + "/other.ini";
    write_file(path, "[kavrel]\nModel=pop.kmf\n");
    std::string buffer = path + " start.kmf";
    char* line = buffer.data();
    ASSERT_EQ(read_ini_file(nullptr, &line, 0), 1);
    EXPECT_STREQ(line, "start.kmf");
    EXPECT_EQ(ini_get_string("model", ""), "pop.kmf");
    EXPECT_EQ(std::string(ini_file_path()), path);

    // (0, 0, 0) reads the same file again, with what changed on disk since.
    write_file(path, "[kavrel]\nModel=other.kmf\n");
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_EQ(ini_get_string("Model", ""), "other.kmf");
}

// ------------------------------------------------------- reading, writing ---

TEST_F(Ini, MissingDefaultFileIsWrittenFreshAndRead) {
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_EQ(std::string(ini_file_path()), dir + "/kavread.ini");
    EXPECT_EQ(slurp(dir + "/kavread.ini"), "[kavrel]\n");
    EXPECT_EQ(ini_count(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Ini, RoundTripKeepsOrderAndIgnoresCase) {
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_EQ(ini_set("Model", "C:/models/pop.kmf"), 1);
    EXPECT_EQ(ini_set("StartEmpty", "0"), 1);
    EXPECT_EQ(ini_set("CustomColor 1", "255-0-0"), 1);
    EXPECT_EQ(ini_set("MODEL", "world.kmf"), 1); // same key, keeps its place
    EXPECT_EQ(ini_set("Gone", "x"), 1);
    EXPECT_EQ(ini_set("gone", nullptr), 1);
    EXPECT_EQ(ini_set("never there", nullptr), 1);
    ASSERT_EQ(write_ini_file(1), 1);
    EXPECT_EQ(ini_count(), 0);
    EXPECT_EQ(slurp(dir + "/kavread.ini"),
              "[kavrel]\nModel=world.kmf\nStartEmpty=0\nCustomColor 1=255-0-0\n");

    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_EQ(ini_count(), 3);
    EXPECT_STREQ(ini_value("model"), "world.kmf");
    EXPECT_STREQ(ini_value("customcolor 1"), "255-0-0");
    EXPECT_EQ(ini_value("Gone"), nullptr);
    // Every letter folds, the alphabet's ends too.
    ini_set("Zoom az", "2");
    EXPECT_STREQ(ini_value("zOOM AZ"), "2");
    ini_set("ZOOM AZ", nullptr);

    // Mode 2 writes and keeps the table.
    ini_set("Model", "");
    ASSERT_EQ(write_ini_file(2), 1);
    EXPECT_EQ(ini_count(), 3);
    EXPECT_NE(slurp(dir + "/kavread.ini").find("Model=\n"), std::string::npos);
}

TEST_F(Ini, GetCopiesIntoTheLineBuffer) {
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    ini_set("Model", "pop.kmf");
    ini_set("Empty", "");
    EXPECT_EQ(ini_get("model", "default.kmf"), 1);
    EXPECT_STREQ(line_buf, "pop.kmf");
    EXPECT_EQ(ini_get("Empty", "ignored"), 0);
    EXPECT_STREQ(line_buf, "");
    EXPECT_EQ(ini_get("Absent", "fallback"), 1);
    EXPECT_STREQ(line_buf, "fallback");
    EXPECT_EQ(ini_get("Absent", nullptr), 0);
    EXPECT_STREQ(line_buf, "");
    std::string long_value(20000, 'v');
    ini_set("Long", long_value.c_str());
    EXPECT_EQ(ini_get("Long", ""), 1);
    EXPECT_EQ(std::string(line_buf), long_value);
    EXPECT_EQ(ini_get_string("Absent", "d"), "d");
}

TEST_F(Ini, KeysThatCannotBeLinesAreRefused) {
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_EQ(ini_set("", "x"), 0);
    EXPECT_EQ(ini_set("a=b", "x"), 0);
    EXPECT_EQ(ini_set("[kavrel]", "x"), 0);
    EXPECT_EQ(ini_set("; note", "x"), 0);
    EXPECT_EQ(ini_set("two\nlines", "x"), 0);
    EXPECT_EQ(ini_set(nullptr, "x"), 0);
    EXPECT_EQ(ini_count(), 0);
    EXPECT_EQ(ini_set("  Padded  ", "line one\r\nline two"), 1);
    EXPECT_STREQ(ini_value("padded"), "line one  line two");
    ASSERT_EQ(write_ini_file(1), 1);
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 0), 1);
    EXPECT_STREQ(ini_value("Padded"), "line one  line two");
}

TEST_F(Ini, ToleratesUntidyFiles) {
    std::string path = dir + "/untidy.ini";
    std::string text = "Early=before any section\r\n"
                       "no equals sign here\r\n"
                       "; a comment=not a key\n"
                       "[Kavrel]\n"
                       "  Spaced Key  =   value with trailing blanks  \r\n"
                       "Dup=first\n"
                       "dup=second\n"
                       "=no key\n"
                       "[other]\n"
                       "Theirs=kept\n"
                       "[kavrel]\n"
                       "Back=again\n";
    text += std::string("Nul=a\0b\n", 8);
    text += "Last=no line end";
    write_file(path, text);
    ASSERT_EQ(read_ini_file(path.c_str(), nullptr, 0), 1);
    EXPECT_EQ(ini_count(), 5);
    EXPECT_STREQ(ini_value("early"), "before any section");
    EXPECT_STREQ(ini_value("spaced key"), "value with trailing blanks  ");
    EXPECT_STREQ(ini_value("DUP"), "first");
    EXPECT_EQ(ini_value("Theirs"), nullptr);
    EXPECT_EQ(ini_value("Nul"), nullptr);
    EXPECT_STREQ(ini_value("Back"), "again");
    EXPECT_STREQ(ini_value("Last"), "no line end");

    // Another program's section survives our rewrite.
    ASSERT_EQ(write_ini_file(2), 1);
    EXPECT_EQ(slurp(path), "[kavrel]\nEarly=before any section\n"
                           "Spaced Key=value with trailing blanks  \nDup=first\nBack=again\n"
                           "Last=no line end\n[other]\nTheirs=kept\n");
    EXPECT_TRUE(messages.empty());
}

// Lines starting with ';' or '#' (after blanks) are comments, never keys:
// they are not read, not counted and not written back. Removing a key keeps
// every other key and its value, before and after it.
TEST_F(Ini, CommentsAreNotKeysAndRemovingAKeyKeepsTheOthers) {
    std::string path = dir + "/comments.ini";
    write_file(path, "[kavrel]\n# Hash=comment\n  #Indented=comment\n; Semi=comment\n"
                     "First=1\nSecond=2\nThird=3\nFourth=4\n");
    ASSERT_EQ(read_ini_file(path.c_str(), nullptr, 0), 1);
    EXPECT_EQ(ini_count(), 4);
    EXPECT_EQ(ini_value("# Hash"), nullptr);
    EXPECT_EQ(ini_value("#Indented"), nullptr);
    EXPECT_EQ(ini_value("; Semi"), nullptr);
    EXPECT_EQ(ini_set("#Hash", "x"), 0);
    ASSERT_EQ(ini_set("second", nullptr), 1);
    EXPECT_EQ(ini_count(), 3);
    EXPECT_EQ(ini_value("Second"), nullptr);
    EXPECT_STREQ(ini_value("First"), "1");
    EXPECT_STREQ(ini_value("Third"), "3");
    EXPECT_STREQ(ini_value("Fourth"), "4");
    ASSERT_EQ(ini_set("Fourth", "four"), 1);
    EXPECT_STREQ(ini_value("Fourth"), "four");
    ASSERT_EQ(ini_set("Fifth", "5"), 1);
    ASSERT_EQ(write_ini_file(2), 1);
    EXPECT_EQ(slurp(path), "[kavrel]\nFirst=1\nThird=3\nFourth=four\nFifth=5\n");
}

TEST_F(Ini, HugeLinesAndBinaryGarbage) {
    std::string path = dir + "/huge.ini";
    std::string big(3 << 20, 'x');
    std::string text = "[kavrel]\nBig=" + big + "\n" + big + "\n";
    for (int i = 0; i < 4096; ++i) text += static_cast<char>((i * 7919) & 0xFF);
    text += "\n[kavrel]\nAfter=ok\n"; // the garbage may have opened another section
    write_file(path, text);
    ASSERT_EQ(read_ini_file(path.c_str(), nullptr, 0), 1);
    ASSERT_NE(ini_value("Big"), nullptr);
    EXPECT_EQ(std::string(ini_value("Big")).size(), big.size());
    EXPECT_STREQ(ini_value("After"), "ok");
}

TEST_F(Ini, UnreadableFileGivesAMessageWithItsName) {
    std::string path = dir + "/a_folder.ini";
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    ini_set("Stale", "1");
    EXPECT_LT(read_ini_file(path.c_str(), nullptr, 0), 0);
    EXPECT_EQ(ini_count(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];

    messages.clear();
    EXPECT_LT(read_ini_file(path.c_str(), nullptr, 1), 0);
    EXPECT_TRUE(messages.empty());

    // A missing file that cannot be created (its folder does not exist).
    std::string orphan = dir + "/no_such_folder/k.ini";
    EXPECT_EQ(read_ini_file(orphan.c_str(), nullptr, 0), -2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(orphan), std::string::npos);
}

TEST_F(Ini, AFileThatCouldNotBeReadIsNeverWrittenOver) {
    std::string path = dir + "/big.ini";
    write_file(path, "[kavrel]\nModel=precious.kmf\n");
    ASSERT_EQ(::truncate(path.c_str(), (64LL << 20) + 1), 0); // sparse, over the limit
    EXPECT_EQ(read_ini_file(path.c_str(), nullptr, 1), -1);
    EXPECT_NE(std::string(ini_read_failure()).find(path), std::string::npos);
    ini_set("Fresh", "1");
    EXPECT_EQ(write_ini_file(2), 0);
    EXPECT_EQ(write_ini_file(1), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, (64LL << 20) + 1);
    EXPECT_TRUE(messages.empty()) << "said by the read, not again by each write";

    // Once it can be read, it is the settings file again.
    ASSERT_EQ(::truncate(path.c_str(), 28), 0);
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    EXPECT_STREQ(ini_read_failure(), "");
    EXPECT_STREQ(ini_value("Model"), "precious.kmf");
    ini_set("Fresh", "1");
    EXPECT_EQ(write_ini_file(2), 1);
    EXPECT_EQ(slurp(path), "[kavrel]\nModel=precious.kmf\nFresh=1\n");
}

TEST_F(Ini, FailedWriteKeepsTheOldFile) {
    std::string path = dir + "/keep.ini";
    std::string old_text = "[kavrel]\nModel=precious.kmf\n";
    write_file(path, old_text);
    ASSERT_EQ(read_ini_file(path.c_str(), nullptr, 0), 1);
    ini_set("Padding", std::string(100000, 'p').c_str());

    // A file-size limit makes the write fail part way, whoever runs the test.
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = write_ini_file(2);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_LT(result, 0);
    EXPECT_EQ(slurp(path), old_text);
    EXPECT_EQ(dir_entries(dir), std::vector<std::string>{"keep.ini"}); // no temporary left
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(path), std::string::npos);

    // With room again the same table is written.
    ASSERT_EQ(write_ini_file(2), 1);
    EXPECT_NE(slurp(path).find("Padding=ppp"), std::string::npos);
}

TEST_F(Ini, WriteKeepsModeAndFollowsLinks) {
    std::string real = dir + "/real.ini";
    write_file(real, "[kavrel]\nA=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    std::string link = dir + "/link.ini";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_EQ(read_ini_file(link.c_str(), nullptr, 0), 1);
    ini_set("B", "2");
    ASSERT_EQ(write_ini_file(1), 1);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(slurp(real), "[kavrel]\nA=1\nB=2\n");
}

// ------------------------------------------------------------- locations ---

TEST_F(Ini, PathMayBeginWithAnEnvironmentVariable) {
    env_override env;
    env.set("KAVREL_INI_TEST_DIR", dir.c_str());
    EXPECT_EQ(expand_env_prefix("%KAVREL_INI_TEST_DIR%/x.ini"), dir + "/x.ini");
    EXPECT_EQ(expand_env_prefix("%KAVREL_NO_SUCH_VARIABLE_%/x.ini"),
              "%KAVREL_NO_SUCH_VARIABLE_%/x.ini");
    EXPECT_EQ(expand_env_prefix("plain%KAVREL_INI_TEST_DIR%"), "plain%KAVREL_INI_TEST_DIR%");
    EXPECT_EQ(expand_env_prefix("%unclosed"), "%unclosed");
    ASSERT_EQ(read_ini_file("%KAVREL_INI_TEST_DIR%/x.ini", nullptr, 0), 1);
    EXPECT_EQ(slurp(dir + "/x.ini"), "[kavrel]\n");
}

TEST_F(Ini, DefaultDirectoryFallsBackWhenConfigIsUnusable) {
    env_override env;
    set_ini_directory(nullptr);

    env.set("XDG_CONFIG_HOME", (dir + "/cfg").c_str());
    EXPECT_EQ(ini_directory(), dir + "/cfg/kavrel");
    struct stat st {};
    EXPECT_EQ(::stat((dir + "/cfg/kavrel").c_str(), &st), 0); // made on demand

    std::string blocker = dir + "/plain";
    write_file(blocker, "x");
    env.set("XDG_CONFIG_HOME", (blocker + "/cfg").c_str());
    env.set("HOMEDRIVE", "/drive");
    env.set("HOMEPATH", "/users/me");
    EXPECT_EQ(ini_directory(), "/drive/users/me");
    env.set("HOMEPATH", nullptr);
    env.set("HOME", (dir + "/home").c_str());
    EXPECT_EQ(ini_directory(), dir + "/home");

    set_ini_directory(dir.c_str());
}

} // namespace
