// The cache of compiled code on disk: its entries read back only when whole
// and of their key, its folder chosen, written and trimmed, and passes
// compiled again from it giving the loop's values to the bit.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "model/check.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/native/object_cache.h"
#include "sim/run.h"
#include "tests/common/env_override.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/random_world.h"

using namespace native_detail;

namespace {

cache_key key_of(unsigned char first) {
    cache_key k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<unsigned char>(first + i);
    return k;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

// The files of a folder by name, with their bytes.
std::map<std::string, std::string> folder_files(const std::string& folder) {
    std::map<std::string, std::string> files;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") files[name] = read_file(folder + "/" + name);
        }
        closedir(d);
    }
    return files;
}

std::string fresh_folder(const std::string& name) {
    const std::string folder = testing::TempDir() + "/" + name;
    std::system(("rm -rf '" + folder + "'").c_str());
    return folder;
}

// The cache's folder for a test, the environment's choice again after it.
// A folder of the test's own. A compile an earlier test of this process left
// running would file its modules in whatever folder is chosen when it ends:
// it ends first.
struct cache_folder {
    explicit cache_folder(const std::string& folder) {
        native_wait_idle();
        set_native_cache_folder(folder);
    }
    ~cache_folder() { set_native_cache_folder_default(); }
};

} // namespace

// The SHA-256 of "abc" (FIPS 180-2, appendix B.1).
constexpr unsigned char abc_digest[32] = {
    0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
    0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};

TEST(NativeCacheEntry, AnEntryIsReadBackAndAnyDamageOrOtherKeyIsRefused) {
    const cache_key key = key_of(7);
    const std::vector<char> entry = make_cache_entry(key, "abc");
    const std::string bytes(entry.begin(), entry.end());
    // The header as documented: magic, version 1, its size, the key, the
    // object's length and its SHA-256, then the object.
    ASSERT_EQ(bytes.size(), 88u + 3);
    EXPECT_EQ(bytes.substr(0, 8), std::string("KVRLOBJ\x1a"));
    EXPECT_EQ(bytes.substr(8, 8), std::string("\x01\0\0\0\x58\0\0\0", 8));
    EXPECT_EQ(bytes.substr(16, 32), std::string(key.begin(), key.end()));
    EXPECT_EQ(bytes.substr(48, 8), std::string("\x03\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(bytes.substr(56, 32), std::string(std::begin(abc_digest), std::end(abc_digest)));
    EXPECT_EQ(bytes.substr(88), "abc");

    std::string_view object;
    ASSERT_TRUE(read_cache_entry(bytes, key, &object));
    EXPECT_EQ(object, "abc");
    // Another key, every shorter or longer file, every bit changed.
    EXPECT_FALSE(read_cache_entry(bytes, key_of(8), &object));
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(read_cache_entry(bytes.substr(0, n), key, &object)) << n << " bytes";
    EXPECT_FALSE(read_cache_entry(bytes + '\0', key, &object));
    for (std::size_t at = 0; at < bytes.size(); ++at)
        for (int bit = 0; bit < 8; ++bit) {
            std::string changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ (1 << bit));
            EXPECT_FALSE(read_cache_entry(changed, key, &object))
                << "byte " << at << " bit " << bit;
        }
    // An empty object is an entry like any other.
    const std::vector<char> empty = make_cache_entry(key, "");
    ASSERT_TRUE(read_cache_entry(std::string_view(empty.data(), empty.size()), key, &object));
    EXPECT_EQ(object, "");
}

TEST(NativeCacheFolder, TheFolderIsTheEnvironmentsChoiceAndCanBeTurnedOff) {
    env_override env;
    env.set("XDG_CACHE_HOME", "/xdg/cache");
    env.set("HOME", "/home/someone");
    env.set("KAVREL_NATIVE_CACHE", nullptr);
    set_native_cache_folder_default();
    EXPECT_EQ(native_cache_folder(), "/xdg/cache/kavrel/native");
    // A relative $XDG_CACHE_HOME is not used (the XDG rule): the home's.
    env.set("XDG_CACHE_HOME", "relative");
    set_native_cache_folder_default();
    EXPECT_EQ(native_cache_folder(), "/home/someone/.cache/kavrel/native");
    env.set("KAVREL_NATIVE_CACHE", "/elsewhere");
    set_native_cache_folder_default();
    EXPECT_EQ(native_cache_folder(), "/elsewhere");
    for (const char* off : {"0", "off", ""}) {
        env.set("KAVREL_NATIVE_CACHE", off);
        set_native_cache_folder_default();
        EXPECT_EQ(native_cache_folder(), "") << off;
    }
    env.set("KAVREL_NATIVE_CACHE", nullptr);
    env.set("XDG_CACHE_HOME", nullptr);
    env.set("HOME", nullptr);
    set_native_cache_folder_default();
    EXPECT_EQ(native_cache_folder(), "");
    set_native_cache_folder_default();
}

TEST(NativeCacheFolder, EntriesAreWrittenWholeAndPrivateAndFoundOnlyWhenUsable) {
    const std::string folder = fresh_folder("cache-entries") + "/made/on/the/way";
    cache_folder chosen(folder);
    const native_cache_counts before = native_cache_counts_now();
    cache_keep(key_of(1), "first object");
    cache_keep(key_of(2), "second object");
    std::vector<char> object;
    ASSERT_TRUE(cache_find(key_of(1), object));
    EXPECT_EQ(std::string(object.begin(), object.end()), "first object");
    EXPECT_FALSE(cache_find(key_of(3), object));
    // Written by rename: no temporary file is left; the folder and the
    // entries are the user's alone.
    const auto files = folder_files(folder);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& [name, bytes] : files) EXPECT_EQ(name.rfind(".tmp-", 0), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((folder + "/" + files.begin()->first).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(native_cache_size(), 2 * 88u + 12 + 13);

    // Entries not usable: cut short, of another key under this one's name,
    // empty, a folder, a pipe or a link in an entry's place. Each is
    // refused, never read.
    const std::string one = folder + "/" + files.begin()->first; // key 1's
    const std::string whole_one = files.begin()->second,
                      whole_two = std::next(files.begin())->second;
    const native_cache_counts c = native_cache_counts_now();
    for (const std::string& bytes :
         {whole_one.substr(0, whole_one.size() - 1), whole_two, std::string()}) {
        write_file(one, bytes);
        EXPECT_FALSE(cache_find(key_of(1), object));
    }
    unlink(one.c_str());
    ASSERT_EQ(mkdir(one.c_str(), 0700), 0);
    EXPECT_FALSE(cache_find(key_of(1), object));
    rmdir(one.c_str());
    // A pipe with no writer: refused at once, not waited on.
    ASSERT_EQ(mkfifo(one.c_str(), 0600), 0);
    EXPECT_FALSE(cache_find(key_of(1), object));
    unlink(one.c_str());
    // A link to a whole entry of this key elsewhere: not followed (not even
    // opened, so not counted as refused).
    const std::string elsewhere = folder + "/../entry";
    write_file(elsewhere, whole_one);
    ASSERT_EQ(symlink(elsewhere.c_str(), one.c_str()), 0);
    EXPECT_FALSE(cache_find(key_of(1), object));
    unlink(one.c_str());
    EXPECT_EQ(native_cache_counts_now().refused - c.refused, 5u);
    // Written again, it is found again.
    cache_keep(key_of(1), "first object");
    ASSERT_TRUE(cache_find(key_of(1), object));
    EXPECT_EQ(std::string(object.begin(), object.end()), "first object");
    EXPECT_EQ(native_cache_counts_now().written - before.written, 3u);

    // Off: nothing written, nothing found.
    set_native_cache_folder("");
    cache_keep(key_of(4), "not kept");
    EXPECT_FALSE(cache_find(key_of(1), object));
    EXPECT_EQ(folder_files(folder).size(), 2u);
}

namespace {
// Entries the tests below read themselves (not modules of a compile): left
// out of the engine suite's check that its modules were found.
std::size_t entries_read_by_tests = 0;
} // namespace

TEST(NativeCacheFolder, ReadersFindAWholeEntryOrNoneWhileOthersWriteIt) {
    // Two viewers writing the same entry while a third reads it: each
    // writes a file of its own and renames it over the entry, so a reader
    // never finds a part of one.
    cache_folder chosen(fresh_folder("cache-racing"));
    std::string object(1 << 20, '\0');
    for (std::size_t i = 0; i < object.size(); ++i) object[i] = static_cast<char>(i * 7919 >> 3);
    const native_cache_counts before = native_cache_counts_now();
    std::atomic<bool> writing{true};
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w)
        writers.emplace_back([&] {
            for (int k = 0; k < 40; ++k) cache_keep(key_of(9), object);
        });
    std::thread stop([&] {
        for (std::thread& t : writers) t.join();
        writing = false;
    });
    int found = 0;
    std::vector<char> read;
    while (writing || found == 0) {
        if (cache_find(key_of(9), read, false)) { // no compile follows a miss here
            ++found;
            EXPECT_TRUE(read.size() == object.size() &&
                        std::equal(read.begin(), read.end(), object.begin()));
        }
    }
    stop.join();
    entries_read_by_tests += static_cast<std::size_t>(found);
    EXPECT_GT(found, 0);
    EXPECT_EQ(native_cache_counts_now().refused, before.refused);
    // The entry whole, and no writer's file left beside it.
    const std::vector<char> whole = make_cache_entry(key_of(9), object);
    int entries = 0;
    for (const auto& [name, bytes] : folder_files(native_cache_folder())) {
        EXPECT_NE(name.rfind(".tmp-", 0), 0u) << name;
        if (bytes == std::string(whole.begin(), whole.end())) ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(NativeCacheFolder, TheEntriesUsedLeastLatelyGoFirstWhenTheFolderIsOverItsBound) {
    const std::string folder = fresh_folder("cache-trim");
    cache_folder chosen(folder);
    const std::string object(1000, 'x');
    std::vector<std::string> paths;
    for (unsigned char k = 1; k <= 5; ++k) {
        cache_keep(key_of(k), object);
        paths.clear();
        for (const auto& [name, bytes] : folder_files(folder))
            if (bytes.substr(16, 1) == std::string(1, static_cast<char>(k)))
                paths.push_back(folder + "/" + name);
        ASSERT_EQ(paths.size(), 1u);
        // Entry k last used at second k.
        const timeval times[2] = {{k, 0}, {k, 0}};
        ASSERT_EQ(utimes(paths[0].c_str(), times), 0);
    }
    // Entry 1 is read now: used last.
    std::vector<char> read;
    ASSERT_TRUE(cache_find(key_of(1), read));
    // A write another process began a moment ago is left to it; one left
    // long ago by a process that ended goes.
    write_file(folder + "/.tmp-1-0-0", std::string(500, 't'));
    write_file(folder + "/.tmp-2-0-0", std::string(500, 't'));
    const timeval long_ago[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(utimes((folder + "/.tmp-2-0-0").c_str(), long_ago), 0);

    const std::size_t removed = native_cache_counts_now().removed;
    // 5 x 1,088 bytes and two temporary files of 500 over a bound of 3,600:
    // down to 2,700, the stale file and entries 2, 3 and 4 go.
    cache_trim(3600);
    EXPECT_EQ(native_cache_counts_now().removed - removed, 3u);
    std::vector<std::string> left;
    for (const auto& [name, bytes] : folder_files(folder))
        left.push_back(name.rfind(".tmp-", 0) == 0 ? name : std::to_string(bytes[16]));
    EXPECT_EQ(left, (std::vector<std::string>{".tmp-1-0-0", "1", "5"}));
}

namespace {

enum road { flat_loop, tier0, tier1 };

sim_output simulate_on(model_builder& b, road r) {
    set_flat_passes(true);
    set_native_mode(r == tier0 ? nm_tier0 : r == tier1 ? nm_tier1 : nm_off);
    // Nothing compiled kept in memory: each run compiles its passes.
    forget_kept_passes();
    native_wait_idle();
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
    return out;
}

class NativeCache : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
        build_random_world(b, 3, 5, "");
        ASSERT_TRUE(b.finish());
        ASSERT_EQ(check_model(b.symbols()), 0);
        set_native_cache_folder("");
        loop = simulate_on(b, flat_loop);
    }
    void TearDown() override {
        forget_kept_passes();
        native_wait_idle();
        set_native_mode(nm_environment);
        set_native_cache_folder_default();
    }
    model_builder b{"cached"};
    sim_output loop;
};

} // namespace

TEST_F(NativeCache, PassesCompiledAgainAreLinkedFromTheCacheWithTheLoopsValues) {
    for (road r : {tier0, tier1}) {
        SCOPED_TRACE(r == tier0 ? "tier 0" : "tier 1");
        cache_folder chosen(fresh_folder("cache-again"));
        const native_cache_counts c0 = native_cache_counts_now();
        EXPECT_EQ(output_difference(simulate_on(b, r), loop), "");
        const native_cache_counts c1 = native_cache_counts_now();
        // Every module had a key (no address the cache cannot name).
        EXPECT_EQ(c1.unkeyed, c0.unkeyed);
        EXPECT_EQ(c1.found, c0.found);
        ASSERT_GT(c1.written, c0.written);
        EXPECT_EQ(c1.missed - c0.missed, c1.written - c0.written);
        EXPECT_EQ(output_difference(simulate_on(b, r), loop), "");
        const native_cache_counts c2 = native_cache_counts_now();
        EXPECT_EQ(c2.found - c1.found, c1.written - c0.written);
        EXPECT_EQ(c2.missed, c1.missed);
        EXPECT_EQ(c2.written, c1.written);
    }
}

TEST_F(NativeCache, APassCompiledTwiceOnSeveralThreadsWritesTheSameEntries) {
    // The IR passes and the code generator make the same object from the
    // same module: what keying the IR before them rests on.
    std::map<std::string, std::string> first;
    for (const char* name : {"cache-one", "cache-two"}) {
        const std::string folder = fresh_folder(name);
        cache_folder chosen(folder);
        set_native_compile_threads(4);
        for (road r : {tier0, tier1}) EXPECT_EQ(output_difference(simulate_on(b, r), loop), "");
        set_native_compile_threads(0);
        const auto files = folder_files(folder);
        ASSERT_GT(files.size(), 8u);
        if (first.empty())
            first = files;
        else
            EXPECT_TRUE(files == first);
    }
}

TEST_F(NativeCache, DamagedOrForeignEntriesAreCompiledAgainAndWrittenAgain) {
    const std::string folder = fresh_folder("cache-damaged");
    cache_folder chosen(folder);
    EXPECT_EQ(output_difference(simulate_on(b, tier1), loop), "");
    const auto files = folder_files(folder);
    ASSERT_GT(files.size(), 3u);
    // One entry cut short, one with a changed byte in its code, one another
    // entry's, the rest left as they are.
    auto it = files.begin();
    const std::string other = std::next(it)->second;
    write_file(folder + "/" + it->first, it->second.substr(0, it->second.size() / 2));
    ++it;
    std::string changed = it->second;
    changed[changed.size() - 1] = static_cast<char>(changed.back() ^ 0x40);
    write_file(folder + "/" + it->first, changed);
    ++it;
    write_file(folder + "/" + it->first, other);

    const native_cache_counts c0 = native_cache_counts_now();
    EXPECT_EQ(output_difference(simulate_on(b, tier1), loop), "");
    const native_cache_counts c1 = native_cache_counts_now();
    EXPECT_EQ(c1.refused - c0.refused, 3u);
    EXPECT_EQ(c1.missed - c0.missed, 3u);
    EXPECT_EQ(c1.written - c0.written, 3u);
    EXPECT_EQ(c1.found - c0.found, files.size() - 3);
    // Written again as they were.
    EXPECT_TRUE(folder_files(folder) == files);
}

namespace {

std::atomic<int> compiles_at[2];
void count_compile(std::size_t, int level) {
    ++compiles_at[level ? 1 : 0];
}

} // namespace

TEST_F(NativeCache, AModelRunAgainLinksItsTier1FromTheCacheWithoutATier0) {
    cache_folder chosen(fresh_folder("cache-worker"));
    set_native_mode(nm_auto);
    set_native_tier1_when_hot(true);
    set_native_hot_after(std::chrono::hours(1)); // never hot by time
    set_native_compile_hook(&count_compile);
    struct restore {
        ~restore() {
            set_native_compile_hook(nullptr);
            set_native_tier1_when_hot(false);
            set_native_hot_after(native_hot_after);
            set_native_live(false);
        }
    } restored;
    auto run = [&] {
        sim_output out;
        EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
        EXPECT_EQ(output_difference(out, loop), "");
        native_wait_idle();
    };
    // The first time: tier 0 (of the initial pass at the second run, which
    // builds it), then tier 1 once a live mode waits for it.
    forget_kept_passes();
    native_wait_idle();
    compiles_at[0] = compiles_at[1] = 0;
    run();
    run();
    const int passes = compiles_at[0];
    ASSERT_GT(passes, 0);
    EXPECT_EQ(compiles_at[1], 0);
    set_native_live(true);
    native_wait_idle();
    set_native_live(false);
    EXPECT_EQ(compiles_at[1], passes);
    // Opened again: each pass's tier 1 comes from the cache, hot or not.
    forget_kept_passes();
    native_wait_idle();
    compiles_at[0] = compiles_at[1] = 0;
    const native_cache_counts before = native_cache_counts_now();
    run();
    run();
    EXPECT_EQ(compiles_at[0], 0);
    EXPECT_EQ(compiles_at[1], passes);
    EXPECT_EQ(native_cache_counts_now().missed, before.missed);
    EXPECT_GT(native_cache_counts_now().found, before.found);
}

namespace {

// The engine suite run a second time over the cache its first run filled
// (KAVREL_NATIVE_CACHE_WARM=1, see tests/CMakeLists.txt) must have taken
// its code from there: without this, a cache that found nothing would pass
// as well as one that found everything.
class warm_cache_check : public testing::Environment {
public:
    void TearDown() override {
        const char* warm = std::getenv("KAVREL_NATIVE_CACHE_WARM");
        if (!warm || std::string(warm) != "1" || !native_available()) return;
        const native_cache_counts c = native_cache_counts_now();
        const std::size_t found = c.found - entries_read_by_tests;
        std::printf("native object cache: %zu modules found, %zu compiled\n", found, c.missed);
        EXPECT_GT(found, 0u);
        EXPECT_GT(found, 9 * c.missed) << "most of the suite's modules are found";
    }
};

[[maybe_unused]] testing::Environment* const warm_check =
    testing::AddGlobalTestEnvironment(new warm_cache_check);

} // namespace
