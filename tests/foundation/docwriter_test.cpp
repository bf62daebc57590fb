#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"

namespace {

struct sunk_line {
    handle record;
    std::string text;
    int follow;
};
std::vector<sunk_line> text_sunk;
std::vector<sunk_line> grid_sunk;

void text_sink_add(handle record, const char* line, int follow) {
    text_sunk.push_back({record, line, follow});
}
void grid_sink_add(handle record, const char* line, int follow) {
    grid_sunk.push_back({record, line, follow});
}

using lines = std::vector<std::string>;

int columns_of(const std::string& s) {
    return static_cast<int>(s.size());
}

std::string trimmed(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t");
    std::size_t b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

class DocWriter : public ::testing::Test {
protected:
    void SetUp() override {
        text_sunk.clear();
        grid_sunk.clear();
        report_sink t{text_sink_add};
        report_sink g{grid_sink_add};
        set_report_sink(report_text, &t);
        set_report_sink(report_grid, &g);
        text_report(256, 0, 0, report_none, 0, 0);
        clear_report_lines();
    }
    void TearDown() override {
        text_report(256, 0, 0, report_none, 0, 0);
        set_report_sink(report_text, nullptr);
        set_report_sink(report_grid, nullptr);
        set_wrapped_writer(nullptr);
        free_scratch();
    }
    // A report of the given wrap width kept in memory only.
    static void memory_report(int width, int continuation = 0) {
        text_report(256, width, 0, report_none, 0, continuation);
    }
};

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST_F(DocWriter, LinesEndAtLineFeedsAndJoin) {
    EXPECT_EQ(docprintf("%s=%d\n", "a", 1), 4);
    docprintf("b");
    docprintf("c\n\nlast");
    EXPECT_EQ(report_lines(), (lines{"a=1", "bc", ""}));
    EXPECT_EQ(doc_current_line(), "last");
    EXPECT_STREQ(join_report_lines(1), "a=1\nbc\n\nlast");
    EXPECT_STREQ(join_report_lines(0), "a=1 bc  last");
    doc_flush();
    EXPECT_EQ(report_lines().back(), "last");
    doc_flush(); // nothing pending: no empty line
    EXPECT_EQ(report_lines().size(), 4u);
    docprintf("x\r\n"); // carriage returns are dropped
    EXPECT_EQ(report_lines().back(), "x");
}

TEST_F(DocWriter, WrapsAtTheLastBlank) {
    memory_report(20);
    docprintf("the quick brown fox jumps over the lazy dog\n");
    EXPECT_EQ(report_lines(), (lines{"the quick brown fox", "\tjumps over the lazy", "\tdog"}));
    for (const std::string& l : report_lines()) EXPECT_LE(columns_of(l), 20) << l;
}

TEST_F(DocWriter, WrapsAcrossCallsAndCutsWordsOnlyWhenItMust) {
    memory_report(20);
    for (int i = 0; i < 10; ++i) docprintf("w%d ", i);
    docprintf("\n");
    std::string joined;
    for (const std::string& l : report_lines()) {
        EXPECT_LE(columns_of(l), 20) << l;
        joined += (joined.empty() ? "" : " ") + trimmed(l);
    }
    EXPECT_EQ(joined, "w0 w1 w2 w3 w4 w5 w6 w7 w8 w9");

    clear_report_lines();
    docprintf("%s\n", std::string(50, 'x').c_str());
    const lines& got = report_lines();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0], std::string(20, 'x'));
    std::size_t xs = 0;
    for (const std::string& l : got) {
        EXPECT_LE(columns_of(l), 20) << l;
        xs += static_cast<std::size_t>(std::count(l.begin(), l.end(), 'x'));
    }
    EXPECT_EQ(xs, 50u);
}

TEST_F(DocWriter, ContinuationModeMarksCutLines) {
    memory_report(20, 1);
    docprintf("the quick brown fox jumps\n");
    EXPECT_EQ(report_lines(), (lines{"the quick brown fox\\", "\tjumps"}));
}

TEST_F(DocWriter, VeryLongLinesGrowInsteadOfFailing) {
    reset_report_counts();
    text_report(16, 0, 0, report_none, 0, 0);
    std::string big(5000, 'y');
    docprintf("%s%s\n", big.c_str(), big.c_str());
    ASSERT_EQ(report_lines().size(), 1u);
    EXPECT_EQ(report_lines()[0], big + big);
    EXPECT_EQ(report_counts[10], 0);

    // With wrapping the same text is cut into lines of the width.
    text_report(16, 40, 0, report_none, 0, 0);
    docprintf("%s\n", big.c_str());
    EXPECT_GT(report_lines().size(), 100u);
    for (const std::string& l : report_lines()) EXPECT_LE(columns_of(l), 40);
}

TEST_F(DocWriter, IndentWithBlanksAndTabs) {
    out_indent = 3;
    docprintf("abc\n");
    out_indent = -2;
    docprintf("ab");
    out_indent = 4; // applies from the next line on
    docprintf("c\nd\n\n");
    out_indent = 0;
    docprintf("e\n");
    EXPECT_EQ(report_lines(), (lines{"   abc", "\t\tabc", "    d", "", "e"}));

    text_report(256, 0, 5, report_none, 0, 0);
    EXPECT_EQ(out_indent, 5);
    docprintf("x\n");
    EXPECT_EQ(report_lines(), (lines{"     x"}));
}

TEST_F(DocWriter, WrappedLinesKeepTheIndent) {
    memory_report(20);
    out_indent = 4;
    docprintf("alpha beta gamma delta\n");
    EXPECT_EQ(report_lines(), (lines{"    alpha beta gamma", "    \tdelta"}));
}

TEST_F(DocWriter, CompactModeTwoMakesOneLine) {
    docprintf("eq: ");
    doc_compact = 2;
    docprintf("  a  \t b\n\n  c");
    docprintf("\n ");
    doc_compact = 0;
    docprintf("d\n");
    EXPECT_EQ(report_lines(), (lines{"eq: a b c d"}));

    clear_report_lines();
    doc_compact = 2;
    docprintf(" \n\t x"); // none at the start of a line
    doc_compact = 0;
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"x"}));
}

TEST_F(DocWriter, CompactModeOneKeepsBlanksBetweenNames) {
    doc_compact = 1;
    docprintf("birth  rate * x + ( y )\n");
    docprintf("  IF a THEN b ");
    docprintf(" ELSE c");
    doc_compact = 0;
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"birth rate*x+(y)IF a THEN b ELSE c"}));
}

TEST_F(DocWriter, FileDestination) {
    std::string path = testing::TempDir() + "docwriter_report.txt";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    text_report_stream(256, 0, 0, f, 0);
    EXPECT_EQ(doc_kind(), report_file);
    docprintf("one\n\ttwo\n");
    docprintf("three");
    doc_flush();
    EXPECT_FALSE(doc_write_failed());
    text_report(256, 0, 0, report_none, 0, 0);
    std::fclose(f);
    EXPECT_EQ(read_file(path), "one\n\ttwo\nthree\n");
    std::remove(path.c_str());
}

TEST_F(DocWriter, FileWriteFailureIsReportedOnce) {
    std::string path = testing::TempDir() + "docwriter_readonly.txt";
    std::FILE* w = std::fopen(path.c_str(), "w");
    ASSERT_NE(w, nullptr);
    std::fclose(w);
    std::FILE* f = std::fopen(path.c_str(), "r"); // writes to it fail
    ASSERT_NE(f, nullptr);
    reset_report_counts();
    text_report_stream(256, 0, 0, f, 0);
    docprintf("a\nb\nc\n");
    EXPECT_TRUE(doc_write_failed());
    EXPECT_EQ(report_counts[5], 1);
    EXPECT_EQ(report_lines().size(), 3u); // still kept in memory
    text_report(256, 0, 0, report_none, 0, 0);
    std::fclose(f);
    std::remove(path.c_str());
}

TEST_F(DocWriter, WindowsGetLinesThroughTheirSinks) {
    doc_begin(256, 70, 0, doc_to_text, 42, 1);
    EXPECT_EQ(doc_kind(), report_text);
    EXPECT_EQ(doc_wrap_width(), 70);
    EXPECT_EQ(doc_buffer_size(), 256);
    docprintf("first\nsecond\n");
    ASSERT_EQ(text_sunk.size(), 2u);
    EXPECT_EQ(text_sunk[0].record, 42u);
    EXPECT_EQ(text_sunk[0].text, "first");
    EXPECT_EQ(text_sunk[1].follow, 1);

    text_report(512, 0, 0, report_grid, 9, 0);
    docprintf("Runs:\t\\0\\base\n");
    ASSERT_EQ(grid_sunk.size(), 1u);
    EXPECT_EQ(grid_sunk[0].record, 9u);
    EXPECT_EQ(grid_sunk[0].text, "Runs:\t\\0\\base");
    EXPECT_EQ(text_sunk.size(), 2u);

    // Without a sink the lines are only kept.
    set_report_sink(report_grid, nullptr);
    docprintf("kept\n");
    EXPECT_EQ(grid_sunk.size(), 1u);
    EXPECT_EQ(report_lines().back(), "kept");
}

TEST_F(DocWriter, NewReportFinishesThePendingLineWhereItBelongs) {
    doc_begin(256, 0, 0, doc_to_text, 5, 0);
    docprintf("pending");
    text_report(256, 0, 0, report_grid, 6, 0);
    ASSERT_EQ(text_sunk.size(), 1u);
    EXPECT_EQ(text_sunk[0].text, "pending");
    EXPECT_TRUE(grid_sunk.empty());
    EXPECT_TRUE(report_lines().empty()); // kept lines belong to the old report
}

TEST_F(DocWriter, PushAndPopNestAReport) {
    doc_begin(256, 0, 0, doc_to_text, 1, 0);
    out_indent = 2;
    docprintf("outer ");
    doc_push();
    text_report(256, 60, 0, report_grid, 7, 0);
    docprintf("inner");
    doc_pop(); // finishes the inner line in the grid
    docprintf("rest\n");
    ASSERT_EQ(grid_sunk.size(), 1u);
    EXPECT_EQ(grid_sunk[0].text, "inner");
    ASSERT_EQ(text_sunk.size(), 1u);
    EXPECT_EQ(text_sunk[0].text, "  outer rest");
    EXPECT_EQ(out_indent, 2);
    doc_pop(); // unpaired: nothing happens
    EXPECT_EQ(doc_kind(), report_text);
}

TEST_F(DocWriter, WriteWrappedCutsAtBlanksWithTabs) {
    memory_report(20);
    write_wrapped_default(0, "alpha beta gamma delta epsilon", 1, 0);
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"alpha beta gamma", "\tdelta", "\tepsilon"}));

    clear_report_lines();
    write_wrapped_default(0, "alpha beta gamma delta", 2, 1);
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"alpha beta gamma\\", "\t\tdelta"}));

    clear_report_lines();
    write_wrapped_default(15, "short", 1, 0); // fits from column 15
    write_wrapped_default(0, "", 1, 0);
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"short"}));

    // A text that ends exactly at the width stays on its line.
    clear_report_lines();
    write_wrapped_default(0, "alpha beta gamma del", 1, 0); // 20 characters
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"alpha beta gamma del"}));
    clear_report_lines();
    write_wrapped_default(9, "alpha beta!", 1, 0); // columns 9 to 19
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"alpha beta!"}));

    // A word longer than the width is not split by the wrapped writer.
    clear_report_lines();
    memory_report(0);
    text_report(256, 0, 0, report_none, 0, 0);
    write_wrapped_default(0, "abc", 0, 0);
    docprintf("\n");
    EXPECT_EQ(report_lines(), (lines{"abc"}));
}

TEST_F(DocWriter, MultilineWritesStoredLines) {
    docprintf("\t\t");
    doc_multiline("first line\nsecond\r\n", 2, 0);
    docprintf("after\n");
    EXPECT_EQ(report_lines(), (lines{"\t\tfirst line", "\t\tsecond", "\t\tafter"}));

    clear_report_lines();
    doc_multiline(nullptr, 1, 0);
    doc_multiline("", 1, 0);
    EXPECT_TRUE(report_lines().empty());
    EXPECT_EQ(doc_current_line(), "");
}

namespace {
std::vector<std::string> wrapped_calls;
void recording_writer(int start, const char* text, int tabs, int flag) {
    wrapped_calls.push_back(std::to_string(start) + ":" + text + ":" + std::to_string(tabs) + ":" +
                            std::to_string(flag));
    doc_puts(text);
}
} // namespace

TEST_F(DocWriter, MultilineUsesTheRegisteredWrappedWriter) {
    wrapped_calls.clear();
    set_wrapped_writer(recording_writer);
    doc_multiline("a\nb", 1, 1);
    EXPECT_EQ(wrapped_calls, (lines{"0:a:1:1", "0:b:1:1"}));
    EXPECT_EQ(report_lines(), (lines{"a", "\tb"}));
}

TEST_F(DocWriter, MultilineHandsTheWrappedWriterLinesWithoutCarriageReturns) {
    // A stored text with DOS line ends: the writer measures what it is given,
    // so a carriage return left in a line would count as a column.
    wrapped_calls.clear();
    set_wrapped_writer(recording_writer);
    doc_multiline("one\r\ntwo\r\r\nthree\r", 0, 0);
    EXPECT_EQ(wrapped_calls, (lines{"0:one:0:0", "0:two:0:0", "0:three:0:0"}));
    EXPECT_EQ(report_lines(), (lines{"one", "two", "three"}));
    EXPECT_EQ(doc_current_line(), "");
}

TEST_F(DocWriter, CollectingNames) {
    doc_begin(256, 0, 0, doc_to_collect, 0, 0);
    EXPECT_TRUE(doc_collecting());
    doc_collect_name(5);
    doc_collect_name(7);
    doc_collect_name(5);
    EXPECT_EQ(doc_collected_names(), (std::vector<std::uint32_t>{5, 7}));
    docprintf("text is not shown anywhere\n");
    EXPECT_TRUE(text_sunk.empty());

    text_report(256, 0, 0, report_none, 0, 0);
    EXPECT_FALSE(doc_collecting());
    doc_collect_name(9); // ignored while not collecting
    EXPECT_EQ(doc_collected_names().size(), 2u);
    doc_begin(256, 0, 0, doc_to_collect, 0, 0); // a new collection starts empty
    EXPECT_TRUE(doc_collected_names().empty());
}

TEST(SharedBuffer, HoldsOneBitPerItem) {
    size_shared_buffer(0);
    ASSERT_NE(io_buf, nullptr);
    EXPECT_GE(io_buf_size, 1u);
    size_shared_buffer(9);
    EXPECT_GE(io_buf_size, 2u);
    size_shared_buffer(64);
    EXPECT_GE(io_buf_size, 8u);
    io_buf[7] = 0xA5;
    size_shared_buffer(8001);
    EXPECT_GE(io_buf_size, 1001u);
    EXPECT_EQ(io_buf[7], 0xA5); // contents kept
    EXPECT_EQ(io_buf[1000], 0); // new bytes zero
    std::size_t big = io_buf_size;
    size_shared_buffer(8);
    EXPECT_EQ(io_buf_size, big); // never shrinks
}
