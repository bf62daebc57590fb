// A regular file opened as a stream by its mode: "w" starts it over (nothing
// of a longer old text is left behind), "a" adds at its end, "r+" writes over
// its start and keeps the rest.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/openfile.h"
#include "tests/foundation/foundation_fixture.h"

namespace {

using namespace foundation_fixture;

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string through(const std::string& path, const char* mode, const std::string& text) {
    std::FILE* f = open_regular_stream(path.c_str(), mode);
    EXPECT_NE(f, nullptr) << mode;
    if (!f) return {};
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return slurp(path);
}

TEST(OpenStream, EachModeWritesWhereItSays) {
    const std::string dir = fresh_folder("kvstream");
    ASSERT_FALSE(dir.empty());
    const std::string p = dir + "/log.err";
    put(p, "a much longer first text\n");
    EXPECT_EQ(through(p, "w", "short\n"), "short\n");
    EXPECT_EQ(through(p, "a", "more\n"), "short\nmore\n");
    EXPECT_EQ(through(p, "r+", "SH"), "SHort\nmore\n");
    put(p, "0123456789");
    EXPECT_EQ(through(p, "wb", "ab"), "ab");
    // "w" makes the file when it is not there.
    EXPECT_EQ(through(dir + "/new.err", "w", "new"), "new");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
