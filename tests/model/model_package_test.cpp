// Opening packaged models (.kpm, .kpa) through the package layer: the main
// member, password-protected packages (and a protected model inside one),
// corrupt packages refused without disturbing the open model, and the package
// dropped when a model from elsewhere is opened.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/package.h"
#include "foundation/package_write.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

namespace {

using namespace model_fixture;

// Bytes this process has read from files so far (-1 where the system does not
// say).
long long bytes_read_so_far() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

// The largest resident size the process has had, in kilobytes.
long peak_resident_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The password hook answers from a list and counts what it was asked.
std::vector<std::string> answers;
std::vector<std::string> asked;
int answer_from_list(const char* name, char* out, std::size_t size) {
    asked.emplace_back(name);
    if (answers.empty()) return 0;
    std::snprintf(out, size, "%s", answers.front().c_str());
    answers.erase(answers.begin());
    return 1;
}

class ModelPackage : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        dir_ = fresh_dir("pkg");
        answers.clear();
        asked.clear();
        set_password_hook(answer_from_list);
    }
    void TearDown() override {
        set_password_hook(nullptr);
        close_model(0, 0);
        close_package();
    }

    // The bytes of a model file made by the builder.
    std::vector<unsigned char> model_bytes(model_builder& b) {
        std::string p = dir_ + "/tmp_" + std::to_string(serial_++) + ".kmf";
        EXPECT_EQ(b.write(p.c_str()), 1);
        return file_bytes(p);
    }
    std::string make_package(const char* name, const std::vector<package_member>& members,
                             const char* password = nullptr, std::uint32_t flags = 0) {
        std::string p = dir_ + "/" + name;
        EXPECT_EQ(package_write(p.c_str(), members.data(), static_cast<int>(members.size()),
                                password, flags),
                  1);
        return p;
    }
    // A plain package holding the town model as its main member.
    std::string town_package(const char* name, const char* password = nullptr) {
        model_builder b("town");
        build_full(b);
        EXPECT_TRUE(b.finish());
        town_ = describe(b.symbols());
        auto bytes = model_bytes(b);
        const char data[] = "1 2 3\n";
        return make_package(name,
                            {{"notes/readme.txt", data, sizeof data, 0},
                             {"town.kmf", bytes.data(), bytes.size(), member_flag_main}},
                            password);
    }

    std::string dir_;
    std::string town_;
    int serial_ = 0;
};

TEST_F(ModelPackage, OpensTheMainMemberWithEverythingInIt) {
    std::string pkg = town_package("town.kpm");
    captured_reports r;
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1) << r.text();
    EXPECT_TRUE(package_open());
    EXPECT_EQ(describe(cur_model_symbols), town_);
    ASSERT_NE(model_rec, nullptr);
    EXPECT_EQ(model_rec->state, 1);
    // The model's directory is the package's, so its other files are found
    // among the members.
    EXPECT_EQ(model_dir, std::string(package_dir()));
    EXPECT_GE(file_status((dir_ + "/notes/readme.txt").c_str(), 0), 2);
    EXPECT_TRUE(asked.empty()); // no password was asked for
}

TEST_F(ModelPackage, AnApplicationPackageOpensTheFirstModelWhenNoneIsFlagged) {
    model_builder b("app");
    b.constant("speed", 4);
    auto bytes = model_bytes(b);
    const char data[] = "x";
    std::string pkg = make_package(
        "app.kpa",
        {{"data.txt", data, sizeof data, 0}, {"m/app.kmf", bytes.data(), bytes.size(), 0}}, nullptr,
        pkg_flag_application);
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1);
    EXPECT_NE(find_symbol("speed"), 0u);
    EXPECT_EQ(package_flags() & pkg_flag_application, pkg_flag_application);
    EXPECT_EQ(model_dir, dir_ + "/m/");
}

TEST_F(ModelPackage, APasswordProtectedPackageNeedsItsPassword) {
    std::string pkg = town_package("locked.kpm", "red fox");
    // No answer: refused, nothing opened.
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, pkg.c_str(), 0), 0);
        EXPECT_NE(r.text().find("needs a password"), std::string::npos) << r.text();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], pkg);
        EXPECT_FALSE(package_open());
        EXPECT_EQ(cur_model_symbols, 0u);
    }
    // A wrong one.
    {
        answers = {"red cat"};
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, pkg.c_str(), 0), 0);
        EXPECT_NE(r.text().find("not correct"), std::string::npos) << r.text();
        EXPECT_FALSE(package_open());
    }
    // The right one.
    answers = {"red fox"};
    captured_reports r;
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1) << r.text();
    EXPECT_EQ(describe(cur_model_symbols), town_);
    EXPECT_EQ(package_flags() & pkg_flag_password, pkg_flag_password);
}

TEST_F(ModelPackage, AProtectedModelInsideAProtectedPackageAsksTwice) {
    model_builder b("inner");
    b.constant("k", 1);
    b.password("inner word");
    auto bytes = model_bytes(b);
    std::string pkg =
        make_package("both.kpm", {{"inner.kmf", bytes.data(), bytes.size(), 0}}, "outer word");
    answers = {"outer word", "wrong"};
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, pkg.c_str(), 0), 0);
        EXPECT_NE(r.text().find("password for the model"), std::string::npos) << r.text();
        EXPECT_FALSE(package_open()); // the package goes with its model
    }
    answers = {"outer word", "inner word"};
    asked.clear();
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], pkg);
    EXPECT_NE(asked[1].find("inner.kmf"), std::string::npos);
    EXPECT_NE(find_symbol("k"), 0u);
}

TEST_F(ModelPackage, CorruptPackagesAreRefusedAndTheOpenModelStays) {
    std::string good = town_package("good.kpm");
    ASSERT_EQ(open_model(1, -1, good.c_str(), 0), 1);
    handle open_symbols = cur_model_symbols;
    auto bytes = file_bytes(good);
    std::string bad = dir_ + "/bad.kpm";
    std::size_t live = live_handle_count();
    auto refused = [&](const std::vector<unsigned char>& img, const char* why) {
        put_bytes(bad, img);
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, bad.c_str(), 0), 0) << why;
        EXPECT_NE(r.text().find("bad.kpm"), std::string::npos) << why << ": " << r.text();
        // The model and its package are untouched.
        EXPECT_EQ(cur_model_symbols, open_symbols) << why;
        EXPECT_EQ(std::string(package_path()), good) << why;
        return r.text();
    };
    {
        auto img = bytes;
        img.resize(100);
        refused(img, "cut in the head");
    }
    {
        auto img = bytes;
        img.resize(img.size() - 9);
        refused(img, "cut in the data");
    }
    {
        auto img = bytes;
        img[img.size() - 3] ^= 0x40; // a member's bytes no longer match its CRC
        refused(img, "damaged member");
    }
    {
        auto img = bytes;
        img[90] ^= 0x01; // a header word under the header CRC
        std::string t = refused(img, "damaged head");
        EXPECT_NE(t.find("Corrupt package"), std::string::npos) << t;
    }
    // Damage anywhere never crashes; whatever opens is a usable model.
    std::uint32_t seed = 99;
    for (int round = 0; round < 60; ++round) {
        auto img = bytes;
        seed = seed * 1103515245 + 12345;
        img[(seed >> 8) % img.size()] ^= static_cast<unsigned char>(1u << (seed % 8));
        put_bytes(bad, img);
        captured_reports r;
        if (open_model(1, -1, bad.c_str(), 0)) {
            EXPECT_FALSE(describe(cur_model_symbols).empty());
            ASSERT_EQ(open_model(1, -1, good.c_str(), 0), 1);
            open_symbols = cur_model_symbols;
        }
    }
    close_model(0, 0);
    close_package();
    EXPECT_LE(live_handle_count(), live);
}

TEST_F(ModelPackage, APackageWithoutAUsableModelLeavesThePreviousPackageOpen) {
    std::string first = town_package("first.kpm");
    ASSERT_EQ(open_model(1, -1, first.c_str(), 0), 1);
    handle open_symbols = cur_model_symbols;
    const char text[] = "no model here";
    std::string empty = make_package("empty.kpm", {{"readme.txt", text, sizeof text, 0}});
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, empty.c_str(), 0), 0);
        EXPECT_NE(r.text().find("holds no model"), std::string::npos) << r.text();
    }
    EXPECT_EQ(cur_model_symbols, open_symbols);
    EXPECT_EQ(std::string(package_path()), first);
    // A model member that does not read: refused with the member named.
    std::vector<unsigned char> junk(300, 0x5A);
    std::memcpy(junk.data(), kmf_magic, 3);
    junk[3] = 'M';
    std::string broken = make_package("broken.kpm", {{"junk.kmf", junk.data(), junk.size(), 0}});
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, broken.c_str(), 0), 0);
        EXPECT_NE(r.text().find("junk.kmf"), std::string::npos) << r.text();
    }
    EXPECT_EQ(cur_model_symbols, open_symbols);
    EXPECT_EQ(std::string(package_path()), first);
    // A text model member is refused as on disk.
    const char kmt[] = "x = 1\n~~|\n";
    std::string textual = make_package("text.kpm", {{"t.kmt", kmt, sizeof kmt, member_flag_main}});
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, textual.c_str(), 0), 0);
        EXPECT_NE(r.text().find("no equation parser"), std::string::npos) << r.text();
    }
    EXPECT_EQ(cur_model_symbols, open_symbols);
}

TEST_F(ModelPackage, ARunFileMemberOpensItsModelPart) {
    model_builder b("runmodel");
    b.control(0, 4, 1, 1);
    b.constant("k", 2);
    b.level("Stock", "k", "1");
    ASSERT_TRUE(b.finish());
    std::string expected = describe(b.symbols());
    run_builder rb(b.symbols());
    rb.times({0, 1, 2, 3, 4}).series("Stock", {1, 3, 5, 7, 9});
    auto run = rb.bytes();
    ASSERT_FALSE(run.empty()) << rb.error();
    std::string pkg =
        make_package("run.kpm", {{"base.kdf", run.data(), run.size(), member_flag_main}});
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1);
    EXPECT_EQ(describe(cur_model_symbols), expected);
    EXPECT_EQ(get_header_word(cur_model_symbols, mh_flags) & mfl_from_run, mfl_from_run);
}

TEST_F(ModelPackage, AModelFromElsewhereClosesThePackage) {
    std::string pkg = town_package("town.kpm");
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1);
    ASSERT_TRUE(package_open());
    model_builder b("disk");
    b.constant("d", 1);
    std::string other_dir = fresh_dir("pkg_disk");
    std::string disk = other_dir + "/disk.kmf";
    ASSERT_EQ(b.write(disk.c_str()), 1);
    // A failed open changes nothing.
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, (other_dir + "/missing.kmf").c_str(), 0), 0);
        EXPECT_TRUE(package_open());
    }
    ASSERT_EQ(open_model(1, -1, disk.c_str(), 0), 1);
    EXPECT_FALSE(package_open());
    EXPECT_NE(find_symbol("d"), 0u);
}

TEST_F(ModelPackage, ALargeFileThatIsNoPackageIsRefusedWithoutBeingRead) {
    std::string good = town_package("good.kpm");
    ASSERT_EQ(open_model(1, -1, good.c_str(), 0), 1);
    // A sparse file of 1 GB with text at its start, named as a package.
    std::string big = dir_ + "/big.kpm";
    {
        std::FILE* f = std::fopen(big.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("This is a plain text file, not a package at all.\n", f);
        std::fclose(f);
        ASSERT_EQ(::truncate(big.c_str(), 1LL << 30), 0);
    }
    long long read_before = bytes_read_so_far();
    long peak_before = peak_resident_kb();
    {
        captured_reports r;
        EXPECT_EQ(open_model(1, -1, big.c_str(), 0), 0);
        EXPECT_NE(r.text().find("Corrupt package"), std::string::npos) << r.text();
        EXPECT_NE(r.text().find("not a package file"), std::string::npos) << r.text();
        EXPECT_NE(r.text().find("big.kpm"), std::string::npos) << r.text();
    }
    // Only the header was read: neither the reads nor the peak memory come
    // anywhere near the file's size.
    if (read_before >= 0) {
        EXPECT_LT(bytes_read_so_far() - read_before, 1LL << 20);
    }
    EXPECT_LT(peak_resident_kb() - peak_before, 64L * 1024);
    EXPECT_EQ(std::string(package_path()), good);
    ::unlink(big.c_str());
}

TEST_F(ModelPackage, APackageReadsAMemberOnceAndOnlyWhenItIsUsed) {
    if (bytes_read_so_far() < 0) GTEST_SKIP() << "the system does not count bytes read";
    model_builder b("town");
    build_full(b);
    ASSERT_TRUE(b.finish());
    auto model = model_bytes(b);
    // A member of 4 MB makes the package's own reads stand out.
    std::vector<unsigned char> data(4u << 20);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7);
    std::string pkg = make_package("once.kpm",
                                   {{"town.kmf", model.data(), model.size(), member_flag_main},
                                    {"data/big.dat", data.data(), data.size(), 0}},
                                   "secret");
    answers = {"secret"};
    long long before = bytes_read_so_far();
    ASSERT_EQ(open_model(1, -1, pkg.c_str(), 0), 1);
    long long read = bytes_read_so_far() - before;
    // The model was read, the unused member was not.
    EXPECT_LT(read, static_cast<long long>(data.size() / 8));
    EXPECT_EQ(asked.size(), 1u);
    int member = package_find("data/big.dat");
    ASSERT_GE(member, 0);
    before = bytes_read_so_far();
    EXPECT_EQ(*package_member_data(member), data);
    read = bytes_read_so_far() - before;
    EXPECT_GE(read, static_cast<long long>(data.size()));
    EXPECT_LT(read, static_cast<long long>(data.size() + data.size() / 2));
    // Kept once read (the allowance is for reading the count itself).
    before = bytes_read_so_far();
    EXPECT_EQ(package_member_data(member)->size(), data.size());
    EXPECT_LT(bytes_read_so_far() - before, 4096);
}

TEST_F(ModelPackage, ADamagedMemberThatIsNotUsedDoesNotStopThePackageOpening) {
    auto img = file_bytes(town_package("good.kpm"));
    // The readme's first byte, found through the directory and the name area.
    auto le32 = [&](std::size_t at) {
        return img[at] | (img[at + 1] << 8) | (img[at + 2] << 16) |
               (std::uint32_t{img[at + 3]} << 24);
    };
    const std::uint32_t count = le32(88), entries = le32(92), names = le32(96);
    std::size_t readme_at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t e = entries + std::size_t{i} * 32;
        std::string nm(reinterpret_cast<const char*>(img.data()) + names + le32(e), le32(e + 4));
        if (nm == "notes/readme.txt") readme_at = le32(e + 8);
    }
    ASSERT_NE(readme_at, 0u);
    img[readme_at] ^= 0x40;
    std::string bad = dir_ + "/bad.kpm";
    put_bytes(bad, img);
    captured_reports r;
    ASSERT_EQ(open_model(1, -1, bad.c_str(), 0), 1) << r.text();
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(describe(cur_model_symbols), town_);
    EXPECT_EQ(std::string(package_path()), bad);
    // Reading the member gives the damage message, and nothing to read.
    std::string readme = dir_ + "/notes/readme.txt";
    EXPECT_GE(file_status(readme.c_str(), 0), 2);
    EXPECT_LT(fh_open_read(readme.c_str()), 0);
    EXPECT_NE(
        r.text().find("Corrupt package " + bad + ": a member fails its checksum: notes/readme.txt"),
        std::string::npos)
        << r.text();
}

} // namespace
