// Packages: writing and reading back, passwords, corrupt files, and the open
// package as seen through the file layer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
#include "foundation/package_write.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "tests/common/memory_child.h"
#include "tests/foundation/foundation_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace foundation_fixture;

using bytes = std::vector<unsigned char>;

bytes read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}
void write_all(const fs::path& p, const bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
std::string text_of(const fs::path& p) {
    bytes b = read_all(p);
    return std::string(b.begin(), b.end());
}

// A CRC-32 of our own, to seal packages altered by the tests.
std::uint32_t crc(const unsigned char* p, std::size_t n, std::uint32_t c = 0) {
    c = ~c;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}
std::uint32_t get32(const bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void set32(bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
// Recomputes both checksums of a (little-endian) package image.
void reseal(bytes& b) {
    std::uint32_t count = get32(b, 88), dir = get32(b, 92), names = get32(b, 96),
                  names_len = get32(b, 100);
    if (std::uint64_t{dir} + std::uint64_t{count} * 32 <= b.size() &&
        std::uint64_t{names} + names_len <= b.size()) {
        std::uint32_t c = crc(b.data() + dir, std::size_t{count} * 32);
        set32(b, 152, crc(b.data() + names, names_len, c));
    }
    set32(b, 156, crc(b.data(), 156));
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fresh_folder("kvpkg");
        ASSERT_FALSE(dir.empty());
        messages.clear();
        next_answer = 7;
        set_message_hook(test_hook);
    }
    void TearDown() override {
        close_all_text_sources();
        close_package();
        set_message_hook(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
        free_scratch();
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
    // A small package with a model, a data file in a folder and an empty file.
    std::string make_sample(const char* password = nullptr) {
        std::string path = at("sample.kpm");
        const std::string model = "MODEL BYTES: the model's plain text", data = "1 2 3\n4 5 6\n";
        package_member ms[] = {{"model.kmf", model.data(), model.size(), member_flag_main},
                               {"data\\inputs.dat", data.data(), data.size(), 0},
                               {"empty.txt", nullptr, 0, 0}};
        EXPECT_EQ(package_write(path.c_str(), ms, 3, password, 0), 1);
        return path;
    }
    // The checks of an altered image: refused, with a message naming the file.
    void expect_refused(const bytes& image, const std::string& why) {
        messages.clear();
        EXPECT_EQ(package_check_bytes(image.data(), image.size(), "bad.kpm", nullptr), 0) << why;
        ASSERT_FALSE(messages.empty()) << why;
        EXPECT_NE(messages.back().text.find("bad.kpm"), std::string::npos) << messages.back().text;
        if (!why.empty()) {
            EXPECT_NE(messages.back().text.find(why), std::string::npos) << messages.back().text;
        }
    }
    fs::path dir;
};

std::string member_text(const char* name) {
    int i = package_find(name);
    if (i < 0) return "<none>";
    auto d = package_member_data(i);
    return std::string(d->begin(), d->end());
}

// -------------------------------------------------------------- round trip ---

TEST_F(PackageTest, RoundTripWithoutPassword) {
    std::string path = make_sample();
    bytes raw = read_all(path);
    std::string raw_text(raw.begin(), raw.end());
    EXPECT_EQ(raw_text.find("MODEL BYTES"), std::string::npos) << "members are stored scrambled";
    EXPECT_EQ(raw[0], 0x7F);
    EXPECT_EQ(raw[3], 'K');
    EXPECT_EQ(raw[80] | (raw[81] << 8), 101);
    EXPECT_EQ(raw[82] | (raw[83] << 8), 400);
    EXPECT_EQ(get32(raw, 112), raw.size());

    ASSERT_EQ(open_package(path.c_str(), nullptr), 1);
    EXPECT_TRUE(package_open());
    EXPECT_EQ(package_member_count(), 3);
    EXPECT_STREQ(package_member_name(1), "data/inputs.dat");
    EXPECT_EQ(member_text("model.kmf"), "MODEL BYTES: the model's plain text");
    EXPECT_EQ(member_text("DATA\\Inputs.DAT"), "1 2 3\n4 5 6\n");
    EXPECT_EQ(member_text(at("data/inputs.dat").c_str()), "1 2 3\n4 5 6\n");
    EXPECT_EQ(member_text("empty.txt"), "");
    EXPECT_EQ(member_text("/elsewhere/model.kmf"), "<none>");
    EXPECT_EQ(package_main_member(), 0);
    EXPECT_EQ(package_flags(), 0u);
    EXPECT_EQ(std::string(package_dir()), dir.string() + "/");
    EXPECT_TRUE(messages.empty());

    // The rest of the program reads members through the file layer.
    EXPECT_EQ(file_status(at("model.kmf").c_str(), 0), 2);
    EXPECT_EQ(file_status(at("model.kmf").c_str(), 1), 0);
    file_handle h = fh_open_read(at("model.kmf").c_str());
    ASSERT_GT(h, 0);
    char buf[64] = {};
    EXPECT_EQ(fh_read(h, buf, sizeof buf), 35u);
    EXPECT_EQ(std::string(buf, 11), "MODEL BYTES");
    close_package();
    EXPECT_EQ(fh_seek(h, 6, 0), 6) << "an open member outlives its package";
    EXPECT_EQ(fh_read(h, buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "BYTES");
    fh_close(h);
    EXPECT_EQ(file_status(at("model.kmf").c_str(), 0), 0);
}

TEST_F(PackageTest, MembersAsStreamsAndTextSources) {
    ASSERT_EQ(open_package(make_sample().c_str(), nullptr), 1);
    std::FILE* f = open_stream(at("data/inputs.dat").c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[32];
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "1 2 3\n");
    EXPECT_EQ(close_stream(f), 1);
    f = open_stream(at("empty.txt").c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), EOF);
    close_stream(f);

    ASSERT_EQ(open_text_source(at("data/inputs.dat").c_str(), 0, 0), 1);
    EXPECT_STREQ(text_source_name(), at("data/inputs.dat").c_str());
    ASSERT_EQ(read_line(0), 1);
    ASSERT_EQ(read_line(0), 1);
    EXPECT_STREQ(line_buf, "4 5 6\n");
    EXPECT_EQ(read_line(0), 0);
    close_text_source();
}

TEST_F(PackageTest, ListsMembersByKind) {
    std::vector<std::string> names;
    std::vector<package_member> ms;
    for (int i = 0; i < 45; ++i) names.push_back("d" + std::to_string(i) + ".dat");
    names.push_back("m.kmf");
    names.push_back("c.cin");
    for (const std::string& n : names) ms.push_back({n.c_str(), n.data(), n.size(), 0});
    std::string path = at("app.kpa");
    ASSERT_EQ(package_write(path.c_str(), ms.data(), static_cast<int>(ms.size()), nullptr,
                            pkg_flag_application),
              1);
    ASSERT_EQ(open_package(path.c_str(), nullptr), 1);
    EXPECT_EQ(package_flags(), pkg_flag_application);
    char** list = nullptr;
    EXPECT_EQ(list_package_members(fk_data, &list, 20), 45);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list[44], "d44.dat");
    EXPECT_EQ(list_package_members(fk_changes, &list, 20), 1);
    EXPECT_STREQ(list[0], "c.cin");
    EXPECT_EQ(list_package_members(fk_gtx, &list, 20), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(list_package_members(-1, &list, 20), 47);
    EXPECT_EQ(package_main_member(), 45) << "without a flag the first model is the main member";
    close_package();
    EXPECT_EQ(list_package_members(-1, &list, 20), 0);
}

TEST_F(PackageTest, ManyMembersAndForeignByteOrder) {
    std::vector<std::string> names, bodies;
    for (int i = 0; i < 600; ++i) {
        names.push_back("dir" + std::to_string(i % 7) + "/member" + std::to_string(i) + ".txt");
        bodies.push_back(
            std::string(static_cast<std::size_t>(i * 13 % 300), static_cast<char>('a' + i % 26)));
    }
    std::vector<package_member> ms;
    for (int i = 0; i < 600; ++i)
        ms.push_back({names[i].c_str(), bodies[i].data(), bodies[i].size(), 0});
    for (bool big : {false, true}) {
        package_write_big_endian = big;
        std::string path = at(big ? "big.kpm" : "little.kpm");
        ASSERT_EQ(package_write(path.c_str(), ms.data(), 600, nullptr, 0), 1);
        package_write_big_endian = false;
        bytes raw = read_all(path);
        EXPECT_EQ(raw[80], big ? 0 : 101);
        ASSERT_EQ(open_package(path.c_str(), nullptr), 1) << (big ? "big-endian" : "little-endian");
        ASSERT_EQ(package_member_count(), 600);
        for (int i = 0; i < 600; i += 37) EXPECT_EQ(member_text(names[i].c_str()), bodies[i]);
    }
}

TEST_F(PackageTest, WriterRefusesBadNames) {
    const char* bad[] = {"../up.dat", "/abs/x.dat", "C:\\x.dat", "a//b.dat",
                         "a/./b",     "",           "dir/",      "tab\there"};
    for (const char* name : bad) {
        package_member m{name, "x", 1, 0};
        messages.clear();
        EXPECT_EQ(package_write(at("bad.kpm").c_str(), &m, 1, nullptr, 0), 0) << name;
        EXPECT_TRUE(said("not a relative file name", 8)) << name;
    }
    package_member twice[] = {{"a.dat", "x", 1, 0}, {"A.DAT", "y", 1, 0}};
    EXPECT_EQ(package_write(at("bad.kpm").c_str(), twice, 2, nullptr, 0), 0);
    EXPECT_TRUE(said("twice"));
    EXPECT_FALSE(fs::exists(dir / "bad.kpm"));
}

// --------------------------------------------------------------- passwords ---

TEST_F(PackageTest, PasswordProtectedPackages) {
    std::string path = make_sample("sesame");
    bytes raw = read_all(path);
    std::string raw_text(raw.begin(), raw.end());
    EXPECT_EQ(raw_text.find("sesame"), std::string::npos) << "the password is never stored";
    EXPECT_EQ(raw_text.find("MODEL BYTES"), std::string::npos);

    EXPECT_EQ(open_package(path.c_str(), nullptr), 0);
    EXPECT_TRUE(said("The package " + path + " needs a password", 8));
    EXPECT_EQ(open_package(path.c_str(), "Sesame"), 0);
    EXPECT_TRUE(said("The password for package " + path + " is not correct", 8));
    EXPECT_FALSE(package_open());
    ASSERT_EQ(open_package(path.c_str(), "sesame"), 1);
    EXPECT_EQ(package_flags(), pkg_flag_password);
    EXPECT_EQ(member_text("model.kmf"), "MODEL BYTES: the model's plain text");

    // Two packages of the same members and password scramble differently.
    std::string again = at("again.kpm");
    std::rename(path.c_str(), again.c_str());
    std::string second = make_sample("sesame");
    bytes a = read_all(again), b = read_all(second);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_NE(bytes(a.end() - 40, a.end()), bytes(b.end() - 40, b.end()));
}

TEST_F(PackageTest, AlteredVerifierOrKeyParametersAreRefused) {
    bytes img = read_all(make_sample("pw"));
    bytes v = img;
    v[140] ^= 1;
    reseal(v);
    messages.clear();
    EXPECT_EQ(package_check_bytes(v.data(), v.size(), "bad.kpm", "pw"), 0);
    EXPECT_TRUE(said("is not correct"));
    bytes it = img;
    set32(it, 116, 0xFFFFFFFFu);
    reseal(it);
    messages.clear();
    EXPECT_EQ(package_check_bytes(it.data(), it.size(), "bad.kpm", "pw"), 0);
    EXPECT_TRUE(said("Corrupt package bad.kpm: bad key parameters"));
}

// ---------------------------------------------------------------- corrupt ---

TEST_F(PackageTest, EveryTruncationIsRefused) {
    bytes img = read_all(make_sample());
    for (std::size_t n = 0; n < img.size(); ++n) {
        messages.clear();
        ASSERT_EQ(package_check_bytes(img.data(), n, "bad.kpm", nullptr), 0) << n;
        ASSERT_TRUE(said("Corrupt package bad.kpm")) << n;
    }
    bytes longer = img;
    longer.push_back(0);
    expect_refused(longer, "where its header says");
}

TEST_F(PackageTest, EveryFlippedByteIsCaught) {
    bytes img = read_all(make_sample());
    ASSERT_EQ(package_check_bytes(img.data(), img.size(), "bad.kpm", nullptr), 1);
    for (std::size_t i = 0; i < img.size(); ++i) {
        if (i >= 160 && i < 164) continue; // the reserved word is not checked
        bytes b = img;
        b[i] ^= 0x41;
        messages.clear();
        ASSERT_EQ(package_check_bytes(b.data(), b.size(), "bad.kpm", nullptr), 0) << i;
        ASSERT_FALSE(messages.empty()) << i;
    }
}

TEST_F(PackageTest, CraftedDirectoriesAreRefused) {
    bytes img = read_all(make_sample());
    const std::size_t dir0 = get32(img, 92), names = get32(img, 96), data = get32(img, 104);
    auto altered = [&](auto change) {
        bytes b = img;
        change(b);
        reseal(b);
        return b;
    };
    expect_refused(altered([](bytes& b) { b[0] = 'M'; }), "not a package file");
    expect_refused(altered([](bytes& b) { b[80] = 7; }), "unknown byte order");
    expect_refused(altered([](bytes& b) {
                       b[82] = 0x2C;
                       b[83] = 1;
                   }),
                   "version 300");
    expect_refused(altered([](bytes& b) { std::memset(b.data() + 4, 'x', 76); }), "not terminated");
    expect_refused(altered([](bytes& b) { set32(b, 84, 0x80); }), "unknown flags");
    expect_refused(altered([](bytes& b) { set32(b, 88, 0x7FFFFFFF); }), "too many members");
    expect_refused(altered([](bytes& b) { set32(b, 88, 20); }), "");
    expect_refused(altered([&](bytes& b) { set32(b, 92, 0xFFFFFFF0u); }), "past the end");
    expect_refused(altered([&](bytes& b) { set32(b, 100, 0xFFFFFFF0u); }), "past the end");
    expect_refused(altered([&](bytes& b) { set32(b, 108, 0xFFFFFFFFu); }), "past the end");
    expect_refused(altered([&](bytes& b) { set32(b, 104, 100); }), "overlap");
    // Member entries.
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 8, 0xFFFFFFF0u); }),
                   "outside the data area");
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 12, 0xFFFFFFF0u); }),
                   "outside the data area");
    expect_refused(
        altered([&](bytes& b) { set32(b, dir0 + 8, static_cast<std::uint32_t>(data - 4)); }),
        "outside the data area");
    expect_refused(altered([&](bytes& b) { set32(b, dir0, 0xFFFFFFFFu); }),
                   "outside the name area");
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 4, 0xFFFFFFFFu); }),
                   "outside the name area");
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 4, 3); }), "not terminated");
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 24, 0x10); }), "unknown member flags");
    // The second member made to share the first one's bytes.
    expect_refused(altered([&](bytes& b) { set32(b, dir0 + 32 + 8, get32(b, dir0 + 8)); }), "");
    expect_refused(altered([&](bytes& b) { b[dir0 + 32 + 16] ^= 1; }), "fails its checksum");
    // Names that would write outside the package's folder, or that repeat.
    auto renamed = [&](const char* first) {
        return altered([&](bytes& b) { std::memcpy(b.data() + names, first, 9); });
    };
    expect_refused(renamed("../xx.kmf"), "unacceptable name");
    expect_refused(renamed("/etc/pass"), "unacceptable name");
    expect_refused(renamed("c:/x.kmfx"), "unacceptable name");
    expect_refused(altered([&](bytes& b) {
                       // "empty.txt" renamed to the first member's name.
                       std::size_t third = names + get32(b, dir0 + 64);
                       std::memcpy(b.data() + third, "MODEL.KMF", 9);
                   }),
                   "two members are named");
}

TEST_F(PackageTest, NamesAndSpansAtTheirLimitsAreRefused) {
    bytes img = read_all(make_sample());
    const std::size_t dir0 = get32(img, 92), names = get32(img, 96), names_len = get32(img, 100);
    auto altered = [&](auto change) {
        bytes b = img;
        change(b);
        reseal(b);
        return b;
    };
    // The data file made to hold the model's very bytes, its checksum with
    // them: every member sound on its own, the two sharing their bytes.
    expect_refused(altered([&](bytes& b) {
                       for (std::size_t at : {8, 12, 16})
                           set32(b, dir0 + 32 + at, get32(b, dir0 + at));
                   }),
                   "two members overlap");
    // A name whose last byte is the name area's last, with no room for its NUL.
    expect_refused(
        altered([&](bytes& b) { set32(b, dir0 + 64, static_cast<std::uint32_t>(names_len - 9)); }),
        "outside the name area");
    // A name with a control character is shown with '?' for it.
    expect_refused(altered([&](bytes& b) { b[names + 2] = 0x1F; }), "unacceptable name: mo?el.kmf");
    expect_refused(altered([&](bytes& b) { b[names + 2] = 0x01; }), "unacceptable name: mo?el.kmf");
}

TEST_F(PackageTest, CraftedLengthsAreRefusedBeforeMemoryIsTaken) {
    const bytes img = read_all(make_sample());
    const std::uint32_t dir0 = get32(img, 92), data = get32(img, 104);
    // The sample's header and directory, sealed, in a sparse file of size
    // bytes: what a damaged length claims is there, as zeros.
    auto sparse = [&](const char* leaf, std::uint64_t size, auto change) {
        bytes b = img;
        change(b);
        set32(b, 112, static_cast<std::uint32_t>(size));
        reseal(b);
        std::string path = at(leaf);
        write_all(path, b);
        EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
        return path;
    };
    const std::uint32_t mib = 1u << 20;
    struct row {
        const char* what;
        std::string path;
        const char* said;
    } rows[] = {
        {"a name area of 256 MiB for three names",
         sparse("names.kpm", 1024ull * mib,
                [&](bytes& b) {
                    set32(b, 96, 512 * mib);
                    set32(b, 100, 256 * mib);
                }),
         "the name area is larger than its names can be"},
        {"a main member of 1 GiB",
         sparse("huge.kpm", 1025ull * mib,
                [&](bytes& b) {
                    set32(b, 108, 1025 * mib - data);
                    set32(b, dir0 + 8, mib);
                    set32(b, dir0 + 12, 1024 * mib);
                }),
         "a member is larger than"},
        {"a main member of 48 MiB whose checksum fails",
         sparse("big.kpm", 49ull * mib,
                [&](bytes& b) {
                    set32(b, 108, 49 * mib - data);
                    set32(b, dir0 + 8, mib);
                    set32(b, dir0 + 12, 48 * mib);
                }),
         "a member fails its checksum: model.kmf"},
    };
    for (const row& r : rows) {
        messages.clear();
        EXPECT_EQ(open_package(r.path.c_str(), nullptr), 0) << r.what;
        ASSERT_EQ(messages.size(), 1u) << r.what;
        EXPECT_NE(messages[0].text.find(r.path), std::string::npos) << messages[0].text;
        EXPECT_NE(messages[0].text.find(r.said), std::string::npos) << messages[0].text;
        EXPECT_TRUE(memory_child::within(
            24 * mib, [&] { return open_package(r.path.c_str(), nullptr) == 0; }))
            << r.what << ": more memory than the file's checked size allows";
    }
}

TEST_F(PackageTest, OpenPackageNamesTheFileInItsMessages) {
    EXPECT_EQ(open_package(at("none.kpm").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Unable to open package " + at("none.kpm") + ": No such file", 8));
    // What cannot be opened says why, and a pipe does not hold the open up.
    fs::create_directory(dir / "folder.kpm");
    ASSERT_EQ(::mkfifo(at("pipe.kpm").c_str(), 0600), 0);
    fs::create_symlink(dir / "nowhere.kpm", dir / "dangling.kpm");
    EXPECT_EQ(open_package(at("folder.kpm").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Unable to open package " + at("folder.kpm") + ": Is a directory", 8));
    EXPECT_EQ(open_package(at("pipe.kpm").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Unable to open package " + at("pipe.kpm") + ": Is a named pipe", 8));
    EXPECT_EQ(open_package(at("dangling.kpm").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Unable to open package " + at("dangling.kpm") + ": No such file", 8));
    write_all(dir / "junk.kpm", bytes(300, 0x5A));
    EXPECT_EQ(open_package(at("junk.kpm").c_str(), nullptr), 0);
    EXPECT_TRUE(said("Corrupt package " + at("junk.kpm") + ": not a package file", 5));
    EXPECT_FALSE(package_open());
    // A good package stays open until another is opened.
    ASSERT_EQ(open_package(make_sample().c_str(), nullptr), 1);
    EXPECT_EQ(open_package(at("junk.kpm").c_str(), nullptr), 0);
    EXPECT_FALSE(package_open());
}

// ------------------------------------------------- the file layer's view ---

TEST_F(PackageTest, ExtractMember) {
    ASSERT_EQ(open_package(make_sample().c_str(), nullptr), 1);
    // Not a member: the name comes back as it is.
    EXPECT_STREQ(extract_member(at("other.dat").c_str(), 1), at("other.dat").c_str());

    char* p = extract_member("data/inputs.dat", 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p), at("data/inputs.dat"));
    EXPECT_EQ(text_of(p), "1 2 3\n4 5 6\n");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(file_status(p, 0), 3) << "a member that is also on disk";
    EXPECT_EQ(package_member_count(), 3) << "extracting keeps the member";

    // An existing disk file: kept with flag 0, asked about with flag 1.
    std::ofstream(at("model.kmf")) << "user's own";
    EXPECT_STREQ(extract_member(at("model.kmf").c_str(), 0), at("model.kmf").c_str());
    EXPECT_EQ(text_of(at("model.kmf")), "user's own");
    EXPECT_TRUE(messages.empty());
    next_answer = 7;
    EXPECT_STREQ(extract_member(at("model.kmf").c_str(), 1), at("model.kmf").c_str());
    EXPECT_TRUE(
        said("Do you want to overwrite the file " + at("model.kmf") + " with the package file",
             question_yes_no));
    EXPECT_EQ(text_of(at("model.kmf")), "user's own");
    next_answer = 6;
    EXPECT_STREQ(extract_member(at("model.kmf").c_str(), 1), at("model.kmf").c_str());
    EXPECT_EQ(text_of(at("model.kmf")), "MODEL BYTES: the model's plain text");
    EXPECT_EQ(extract_member(nullptr, 1), nullptr);
}

TEST_F(PackageTest, ADamagedMemberIsReportedWhenTheFileLayerFirstReadsIt) {
    bytes img = read_all(make_sample());
    const std::size_t entries = get32(img, 92), names = get32(img, 96);
    std::size_t inputs_at = 0;
    for (std::uint32_t i = 0; i < get32(img, 88); ++i) {
        const std::size_t e = entries + std::size_t{i} * 32;
        if (std::memcmp(img.data() + names + get32(img, e), "data/inputs.dat", 15) == 0)
            inputs_at = get32(img, e + 8);
    }
    ASSERT_NE(inputs_at, 0u);
    img[inputs_at + 2] ^= 0x20;
    write_all(dir / "damaged.kpm", img);
    EXPECT_EQ(package_check_bytes(img.data(), img.size(), "damaged.kpm", nullptr), 0);
    messages.clear();
    // The member is not read when the package opens.
    ASSERT_EQ(open_package(at("damaged.kpm").c_str(), nullptr), 1);
    EXPECT_TRUE(messages.empty());
    const std::string damage =
        "Corrupt package " + at("damaged.kpm") + ": a member fails its checksum: data/inputs.dat";
    const std::string inputs = at("data/inputs.dat");
    EXPECT_EQ(file_status(inputs.c_str(), 0), 2);
    // Each way of reading it fails with the message, every time it is tried.
    EXPECT_LT(fh_open_read(inputs.c_str()), 0);
    EXPECT_TRUE(said(damage, 5));
    messages.clear();
    errno = 0;
    EXPECT_EQ(open_stream(inputs.c_str(), "r"), nullptr);
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(said(damage, 5));
    messages.clear();
    EXPECT_EQ(extract_member(inputs.c_str(), 1), nullptr);
    EXPECT_TRUE(said(damage, 5));
    EXPECT_FALSE(fs::exists(dir / "data")) << "no folder is made for a member that fails";
    // The other members read as they should.
    EXPECT_EQ(member_text("model.kmf"), "MODEL BYTES: the model's plain text");
    EXPECT_EQ(member_text("empty.txt"), "");
}

TEST_F(PackageTest, MembersGiveWayToNewerDiskFiles) {
    ASSERT_EQ(open_package(make_sample().c_str(), nullptr), 1);
    // The file dialog drops a member so that the disk file of that name is used.
    std::ofstream(at("empty.txt")) << "disk";
    EXPECT_EQ(file_status(at("empty.txt").c_str(), 0), 3);
    EXPECT_EQ(delete_file(at("empty.txt").c_str(), -2), 1);
    EXPECT_EQ(file_status(at("empty.txt").c_str(), 0), 1);
    EXPECT_EQ(text_of(at("empty.txt")), "disk");
    EXPECT_EQ(delete_file(at("empty.txt").c_str(), -2), 0);

    // Writing a disk file of a member's name makes the disk file the one read.
    std::FILE* f = open_stream(at("model.kmf").c_str(), "w");
    std::fputs("rewritten", f);
    ASSERT_EQ(close_stream(f), 1);
    EXPECT_EQ(file_status(at("model.kmf").c_str(), 0), 1);
    file_handle h = fh_open_read(at("model.kmf").c_str());
    char buf[16] = {};
    EXPECT_EQ(fh_read(h, buf, sizeof buf), 9u);
    fh_close(h);

    // Deleting drops the member and the disk file alike.
    EXPECT_EQ(delete_file(at("data/inputs.dat").c_str(), 1), 1);
    EXPECT_EQ(file_status(at("data/inputs.dat").c_str(), 0), 0);
    EXPECT_EQ(package_member_count(), 0);
}

// The directory marks the member that opens with the package. A package
// whose model is not its first member relies on that mark alone: the reader
// otherwise takes the first model member.
TEST_F(PackageTest, TheMainMarkIsStoredWithItsMemberAndChoosesTheModel) {
    std::string path = at("two-models.kpm");
    const std::string a = "first model", b = "the model to open";
    package_member ms[] = {{"a.kmf", a.data(), a.size(), 0},
                           {"b.kmf", b.data(), b.size(), member_flag_main}};
    ASSERT_EQ(package_write(path.c_str(), ms, 2, nullptr, 0), 1);
    bytes raw = read_all(path);
    ASSERT_EQ(get32(raw, 88), 2u);
    const std::uint32_t dir_at = get32(raw, 92);
    ASSERT_LE(dir_at + 64u, raw.size());
    // Entry flags sit 24 bytes into each 32-byte entry.
    EXPECT_EQ(get32(raw, dir_at + 24), 0u);
    EXPECT_EQ(get32(raw, dir_at + 32 + 24), member_flag_main);
    // Without a password the header's flags and rounds are zero.
    EXPECT_EQ(get32(raw, 84), 0u);
    EXPECT_EQ(get32(raw, 116), 0u);

    ASSERT_EQ(open_package(path.c_str(), nullptr), 1);
    EXPECT_EQ(package_member_flags(0), 0u);
    EXPECT_EQ(package_member_flags(1), member_flag_main);
    EXPECT_EQ(package_main_member(), 1);
    EXPECT_EQ(member_text("b.kmf"), "the model to open");
    close_package();

    // A password sets the flag and stretches the key 20000 rounds.
    std::string locked = at("locked.kpm");
    ASSERT_EQ(package_write(locked.c_str(), ms, 2, "pw", pkg_flag_application), 1);
    raw = read_all(locked);
    EXPECT_EQ(get32(raw, 84), pkg_flag_password | pkg_flag_application);
    EXPECT_EQ(get32(raw, 116), 20000u);
    ASSERT_EQ(open_package(locked.c_str(), "pw"), 1);
    EXPECT_EQ(package_main_member(), 1);
}

} // namespace

// Without a main mark the package opens its first model, wherever it lies
// among the members; a package without a model has no main member.
TEST_F(PackageTest, WithoutAMainMarkTheFirstModelOpens) {
    const std::string a = "model a", b = "model b", n = "notes";
    struct layout {
        std::vector<package_member> members;
        int main;
    };
    const layout layouts[] = {
        {{{"a.kmf", a.data(), a.size(), 0}, {"b.kmf", b.data(), b.size(), 0}}, 0},
        {{{"notes.txt", n.data(), n.size(), 0}, {"b.kmf", b.data(), b.size(), 0}}, 1},
        {{{"notes.txt", n.data(), n.size(), 0}}, -1},
    };
    for (const layout& l : layouts) {
        const std::string path = at("nomark.kpm");
        ASSERT_EQ(package_write(path.c_str(), l.members.data(), static_cast<int>(l.members.size()),
                                nullptr, 0),
                  1);
        ASSERT_EQ(open_package(path.c_str(), nullptr), 1);
        EXPECT_EQ(package_main_member(), l.main) << l.members[0].name;
        close_package();
    }
}

// The header keeps the package's file name in a 76-byte field that always
// ends with a NUL: a long file name is cut to 75 bytes and the package still
// opens.
TEST_F(PackageTest, ALongFileNameIsCutInTheHeaderAndThePackageOpens) {
    const std::string stem(100, 'n');
    const std::string path = at(stem + ".kpm");
    const std::string model = "model";
    const package_member m{"m.kmf", model.data(), model.size(), member_flag_main};
    ASSERT_EQ(package_write(path.c_str(), &m, 1, nullptr, 0), 1);
    const bytes raw = read_all(path);
    ASSERT_GE(raw.size(), 160u);
    EXPECT_EQ(std::string(raw.begin() + 4, raw.begin() + 79), std::string(75, 'n'));
    EXPECT_EQ(raw[79], 0);
    ASSERT_EQ(open_package(path.c_str(), nullptr), 1);
    EXPECT_EQ(member_text("m.kmf"), "model");
}
