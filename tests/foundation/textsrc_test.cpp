// Text sources: nesting, line ends, long lines, joined lines, line arrays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::pair<int, std::string>> messages;

int test_hook(int kind, const char*, const char* text) {
    messages.emplace_back(kind, text);
    return 1;
}

class TextSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "kvtextXXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back(0);
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir = buf.data();
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
    std::string file(const std::string& name, const std::string& contents) {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << contents;
        return p;
    }
    // Every line of the current source, as read_line gives them.
    static std::vector<std::string> all_lines() {
        std::vector<std::string> out;
        while (read_line(0) == 1) {
            EXPECT_EQ(line_pos, line_buf);
            out.emplace_back(line_buf);
        }
        return out;
    }
    fs::path dir;
};

using lines = std::vector<std::string>;

TEST_F(TextSourceTest, LineEndsOfEveryKind) {
    std::string p = file("ends.txt", "unix\ndos\r\nmac\rtab\tbyte\n\nlast");
    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    EXPECT_EQ(all_lines(), (lines{"unix\n", "dos\n", "mac\n", "tab\tbyte\n", "\n", "last"}));
    EXPECT_EQ(text_source_refused(), 0);
    EXPECT_EQ(text_line_number(), 6);
    EXPECT_EQ(read_line(0), 0);
    EXPECT_STREQ(line_buf, "last") << "the end leaves the last line in place";
    close_text_source();
    EXPECT_EQ(text_source_depth(), 0);
    EXPECT_EQ(read_line(0), 0);

    std::string empty = file("empty.txt", "");
    ASSERT_EQ(open_text_source(empty.c_str(), 0, 0), 1);
    EXPECT_EQ(read_line(0), 0);
    EXPECT_EQ(text_line_number(), 0);
}

TEST_F(TextSourceTest, CrLfSplitAcrossReadsIsOneLineEnd) {
    // The reader fills 64 KiB at a time: put the CR last in the first fill.
    std::string first(65535, 'a');
    std::string p = file("split.txt", first + "\r\nnext\r\r\nend\r");
    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    lines got = all_lines();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], first + "\n");
    EXPECT_EQ(got[1], "next\n");
    EXPECT_EQ(got[2], "\n");
    EXPECT_EQ(got[3], "end\n");
}

TEST_F(TextSourceTest, VeryLongLinesAreReadWhole) {
    std::string longline;
    for (int i = 0; i < 300000; ++i) longline += static_cast<char>('a' + i % 26);
    std::string p = file("long.dat", "short\n" + longline + "\n" + longline);
    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    ASSERT_EQ(read_line(0), 1);
    char* before = line_buf;
    std::string kept = before;
    ASSERT_EQ(read_line(0), 1) << "a long line is a line, not an error";
    EXPECT_EQ(std::strlen(line_buf), longline.size() + 1);
    EXPECT_EQ(std::string(line_buf), longline + "\n");
    // A pointer taken before the buffer grew still reads its old text. (The
    // one buffer serves the whole process: earlier long lines may have grown
    // it enough already, and then the line is read in place.)
    if (line_buf != before) {
        EXPECT_EQ(std::string(before), kept);
    }
    ASSERT_EQ(read_line(0), 1);
    EXPECT_EQ(std::string(line_buf), longline);
    EXPECT_EQ(read_line(0), 0);
}

TEST_F(TextSourceTest, WhatIsNotTextEndsTheReadingWithAMessage) {
    struct row {
        const char* what;
        std::string name;
        lines read;       // the lines given before the end
        const char* said; // in the one message
    };
    std::string nul_name = file("nul.cin", std::string("a = 1\nb = \0\nc = 3\n", 19));
    // A sparse file is NULs from its first byte.
    std::string sparse = file("sparse.cin", "");
    ASSERT_EQ(::truncate(sparse.c_str(), 1 << 30), 0);
    std::string too_long = file("long.cin", "x = 1\n" + std::string(max_line_bytes + 1, 'y'));
    const row rows[] = {
        {"a NUL byte", nul_name, {"a = 1\n"}, "line 2 holds a NUL byte"},
        {"a sparse file", sparse, {}, "line 1 holds a NUL byte"},
        {"a line over the cap", too_long, {"x = 1\n"}, "Line 2 of file"},
    };
    for (const row& r : rows) {
        messages.clear();
        ASSERT_EQ(open_text_source(r.name.c_str(), 0, 0), 1) << r.what;
        EXPECT_EQ(all_lines(), r.read) << r.what;
        EXPECT_EQ(text_source_refused(), 1) << r.what;
        EXPECT_EQ(read_line(0), 0) << r.what << ": the end stays the end";
        ASSERT_EQ(messages.size(), 1u) << r.what;
        EXPECT_EQ(messages[0].first, 5) << r.what;
        EXPECT_NE(messages[0].second.find(r.name), std::string::npos) << messages[0].second;
        EXPECT_NE(messages[0].second.find(r.said), std::string::npos) << messages[0].second;
        close_text_source();
    }

    // Lines joined by continuation are held to the same bound.
    std::string half(max_line_bytes / 2 + 1, 'z');
    std::string joined = file("joined.cin", half + "\\\n" + half + "\n");
    messages.clear();
    ASSERT_EQ(open_text_source(joined.c_str(), 0, 0), 1);
    EXPECT_EQ(read_joined_line(0, '\\'), 1);
    EXPECT_EQ(text_source_refused(), 1);
    EXPECT_EQ(messages.size(), 1u);
    close_text_source();

    // A line just at the cap is still a line.
    std::string at_cap = file("cap.cin", std::string(max_line_bytes, 'k'));
    messages.clear();
    ASSERT_EQ(open_text_source(at_cap.c_str(), 0, 0), 1);
    EXPECT_EQ(read_line(0), 1);
    EXPECT_EQ(std::strlen(line_buf), max_line_bytes);
    EXPECT_EQ(read_line(0), 0);
    EXPECT_EQ(text_source_refused(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TextSourceTest, ByteOffsetAndBadFiles) {
    std::string p = file("off.txt", "skip me\nfrom here\n");
    ASSERT_EQ(open_text_source(p.c_str(), 0, 8), 1);
    EXPECT_EQ(all_lines(), (lines{"from here\n"}));
    close_text_source();
    EXPECT_EQ(open_text_source((dir / "none.txt").c_str(), 0, 0), 0);
    EXPECT_EQ(open_text_source(p.c_str(), 0, -1), 0);
    EXPECT_EQ(open_text_source(nullptr, 0, 0), 0);
    EXPECT_EQ(text_source_depth(), 0);
    EXPECT_EQ(fh_open_count(), 0);
}

TEST_F(TextSourceTest, AtMostFiveSourcesAndTheEnclosingOneResumes) {
    std::string outer = file("outer.txt", "o1\no2\n");
    ASSERT_EQ(open_text_source(outer.c_str(), 0, 0), 1);
    ASSERT_EQ(read_line(0), 1);
    const char* inner[] = {"i1"};
    for (int i = 2; i <= 5; ++i) {
        ASSERT_EQ(push_text_source(inner, 1, 1), 1);
        EXPECT_EQ(text_source_depth(), i);
    }
    EXPECT_EQ(push_text_source(inner, 1, 1), 0);
    EXPECT_EQ(open_text_source(outer.c_str(), 0, 0), 0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].first, 5);
    EXPECT_EQ(messages[0].second, "Tried to open too many files at the same time");
    EXPECT_EQ(text_source_depth(), 5);
    EXPECT_EQ(text_source_name(), std::string(""));
    ASSERT_EQ(read_line(0), 1);
    EXPECT_STREQ(line_buf, "i1\n");
    for (int i = 0; i < 4; ++i) close_text_source();
    EXPECT_EQ(text_source_name(), outer);
    EXPECT_EQ(text_line_number(), 1);
    EXPECT_STREQ(line_buf, "i1\n") << "closing leaves the last line read";
    ASSERT_EQ(read_line(0), 1);
    EXPECT_STREQ(line_buf, "o2\n");
    EXPECT_EQ(text_line_number(), 2);
    close_text_source();
    close_text_source(); // one too many is harmless
    EXPECT_EQ(fh_open_count(), 0);
}

TEST_F(TextSourceTest, PushedLineArrays) {
    std::string a = "first", b = "two\nlines\r\n", c = "";
    const char* arr[] = {a.c_str(), b.c_str(), c.c_str(), nullptr, "after"};
    ASSERT_EQ(push_text_source(arr, 5, 0), 1);
    a[0] = 'X'; // a copied source does not see later changes
    EXPECT_EQ(all_lines(), (lines{"first\n", "two\n", "lines\n", "\n", "\n", "after\n"}));
    close_text_source();

    ASSERT_EQ(push_text_source(arr, -1, 1), 1) << "count -1: up to the first null";
    EXPECT_EQ(all_lines(), (lines{"Xirst\n", "two\n", "lines\n", "\n"}));
    close_text_source();

    ASSERT_EQ(push_text_source(nullptr, 3, 0), 1);
    EXPECT_EQ(read_line(0), 0);
    close_text_source();
}

TEST_F(TextSourceTest, JoinedLines) {
    std::string p = file("join.cin", "\n   \nA = 1 +\\\n   2 \\  \r\n + 3\nB = 4\\\n\n\t\nC\\");
    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "A = 1 +   2  + 3");
    EXPECT_EQ(line_pos, line_buf);
    EXPECT_EQ(text_line_number(), 5);
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "B = 4") << "a continuation into a blank line joins nothing";
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "C") << "a continuation at the end of the file";
    EXPECT_EQ(read_joined_line(1, '\\'), 0);
    close_text_source();

    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    ASSERT_EQ(read_joined_line(0, 0), 1);
    EXPECT_STREQ(line_buf, "");
    ASSERT_EQ(read_joined_line(0, 0), 1);
    EXPECT_STREQ(line_buf, "   ");
    ASSERT_EQ(read_joined_line(0, 0), 1);
    EXPECT_STREQ(line_buf, "A = 1 +\\");
}

TEST_F(TextSourceTest, ContinuationAppendsAndAssignReplaces) {
    const char* arr[] = {"one", "two"};
    ASSERT_EQ(push_text_source(arr, 2, 1), 1);
    ASSERT_EQ(read_line(0), 1);
    ASSERT_EQ(read_line(1), 1);
    EXPECT_STREQ(line_buf, "one\ntwo\n");
    EXPECT_EQ(read_line(1), 0);
    EXPECT_STREQ(line_buf, "one\ntwo\n");

    line_buf_assign("Times New Roman");
    EXPECT_STREQ(line_buf, "Times New Roman");
    EXPECT_EQ(line_pos, line_buf);
    line_buf_assign(line_buf + 6); // overlapping copies are fine
    EXPECT_STREQ(line_buf, "New Roman");
    std::string big(20000, 'v');
    line_buf_assign(big.c_str());
    EXPECT_EQ(std::string(line_buf), big);
    line_buf_assign(nullptr);
    EXPECT_STREQ(line_buf, "");
}

// Blanks and tabs after the continuation mark are not text: a line ending in
// "\" and a tab is continued as one ending in "\" alone.
TEST_F(TextSourceTest, ATabAfterTheContinuationMarkStillJoins) {
    std::string p = file("tabs.cin", "A = 1 +\\\t\n2\nB = x\\ \t \n y\nC = 3\t\n");
    ASSERT_EQ(open_text_source(p.c_str(), 0, 0), 1);
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "A = 1 +2");
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "B = x y");
    ASSERT_EQ(read_joined_line(1, '\\'), 1);
    EXPECT_STREQ(line_buf, "C = 3\t") << "a tab not after a mark stays";
    EXPECT_EQ(read_joined_line(1, '\\'), 0);
}

} // namespace
