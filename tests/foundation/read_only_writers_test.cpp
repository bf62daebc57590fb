// The settings and package writers ask before they replace a read-only file,
// as the run writer does: "no" keeps the file as it was, "yes" replaces it
// and keeps its mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/package_write.h"
#include "foundation/report.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string>& asked() {
    static std::vector<std::string> a;
    return a;
}
int& answer() {
    static int a = 7;
    return a;
}
int hook(int kind, const char*, const char* text) {
    if (kind == question_yes_no) asked().push_back(text ? text : "");
    return kind >= question_yes_no ? answer() : 0;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ReadOnlyWriters : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(testing::TempDir()) / ("kavrel_ro_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        old_hook_ = current_message_hook();
        set_message_hook(&hook);
        sink_ = std::tmpfile();
        set_report_stream(sink_);
        asked().clear();
    }
    void TearDown() override {
        set_message_hook(old_hook_);
        set_report_stream(nullptr);
        if (sink_) std::fclose(sink_);
        write_ini_file(0);
        set_ini_directory(nullptr);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void make_read_only(const fs::path& p) { ASSERT_EQ(::chmod(p.c_str(), 0444), 0); }
    unsigned mode_of(const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    fs::path dir_;
    message_hook old_hook_ = nullptr;
    std::FILE* sink_ = nullptr;
};

TEST_F(ReadOnlyWriters, TheSettingsFileIsAskedAbout) {
    set_ini_directory(dir_.c_str());
    const fs::path path = dir_ / "kavrel.ini";
    ASSERT_GE(read_ini_file(path.c_str(), nullptr, 1), 0);
    ASSERT_EQ(ini_set("Key", "one"), 1);
    ASSERT_EQ(write_ini_file(2), 1);
    make_read_only(path);
    const std::string before = slurp(path);
    ASSERT_EQ(ini_set("Key", "two"), 1);
    answer() = 7;
    EXPECT_EQ(write_ini_file(2), 0);
    ASSERT_EQ(asked().size(), 1u);
    EXPECT_NE(asked()[0].find("is read only"), std::string::npos) << asked()[0];
    EXPECT_EQ(slurp(path), before);
    answer() = 6;
    EXPECT_EQ(write_ini_file(2), 1);
    EXPECT_NE(slurp(path).find("Key=two"), std::string::npos);
    EXPECT_EQ(mode_of(path), 0444u);
}

TEST_F(ReadOnlyWriters, APackageIsAskedAbout) {
    const fs::path path = dir_ / "model.kpk";
    const char body[] = "model";
    package_member m{"model.kmf", body, sizeof body, 0};
    ASSERT_EQ(package_write(path.c_str(), &m, 1, nullptr, 0), 1);
    make_read_only(path);
    const std::string before = slurp(path);
    answer() = 7;
    EXPECT_EQ(package_write(path.c_str(), &m, 1, "secret", 0), 0);
    EXPECT_EQ(asked().size(), 1u);
    EXPECT_EQ(slurp(path), before);
    answer() = 6;
    EXPECT_EQ(package_write(path.c_str(), &m, 1, "secret", 0), 1);
    EXPECT_NE(slurp(path), before);
    EXPECT_EQ(mode_of(path), 0444u);
    // No temporary left beside it.
    int files = 0;
    for (const auto& f : fs::directory_iterator(dir_)) files += f.is_regular_file();
    EXPECT_EQ(files, 1);
}

// A file is read-only when no one may write it, whoever runs the program;
// one that only its group or others may write is not (the superuser may
// write it, and so may they).
TEST_F(ReadOnlyWriters, ReadOnlyMeansNoWriteBitAtAll) {
    const fs::path p = dir_ / "modes.txt";
    std::ofstream(p) << "x";
    const struct {
        unsigned mode;
        bool read_only;
    } cases[] = {{0644, false}, {0444, true}, {0464, false},
                 {0446, false}, {0400, true}, {0000, true}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(p.c_str(), c.mode), 0);
        EXPECT_EQ(file_is_read_only(p.c_str()), c.read_only) << std::oct << c.mode;
    }
    ASSERT_EQ(::chmod(p.c_str(), 0644), 0);
    EXPECT_FALSE(file_is_read_only((dir_ / "missing.txt").c_str()));
    EXPECT_FALSE(file_is_read_only(dir_.c_str())) << "a folder is no read-only file";
}

} // namespace
