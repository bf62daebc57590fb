// Graph sets: the text form read and written, the .kgf reader against files
// made here from the layout, loading and the save question at exit.
#include "foundation/files.h"
#include "foundation/paths.h"
#include "foundation/types.h"
#include "graphs/customgraph.h"
#include "graphs/sets/gdtext.h"
#include "graphs/sets/graphset.h"
#include "graphs/sets/kgf.h"
#include "model/blockfile.h"
#include "shell/upcalls.h"
#include "tests/common/fault_child.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::deque<int> answers;
int answering_hook(int kind, const char* caption, const char* text) {
    int r = message_log::test_hook(kind, caption, text);
    if (kind >= question_yes_no && !answers.empty()) {
        r = answers.front();
        answers.pop_front();
    }
    return r;
}

class GraphSets : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        answers.clear();
        set_message_hook(answering_hook);
        dir_ = fs::temp_directory_path() /
               ("kgs_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        model_dir = dir_.string() + "/";
    }
    void TearDown() override {
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        set_message_hook(nullptr);
        model_dir.clear();
        fs::remove_all(dir_);
    }
    // The set read from a text (the marker line is added).
    graph_set& parse(const std::string& body, int quiet = 0) {
        std::string text = std::string(graph_set_marker_line) + "\n" + body;
        int i = load_graph_set_text(text.c_str(), quiet, 0, 0);
        EXPECT_GT(i, 0);
        return graph_sets()[static_cast<std::size_t>(i)];
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

TEST_F(GraphSets, KeywordsNamesAndScaleGroups) {
    graph_set& s = parse(":GRAPH\n"
                         ":comments are skipped\n"
                         ":cumulative\n"
                         ":VAR Population|People\n"
                         ":3|Base\n"
                         ":VAR Births[north, south],Deaths\n"
                         ":SHAPE circle,3\n"
                         ":LINE-STYLE dot \n"
                         ":GRAPH two words\n"
                         ":SCALE\n"
                         ":VAR a\n"
                         ":VAR b\n"
                         ":SCALE\n"
                         ":VAR c\n");
    ASSERT_EQ(s.defs.size(), 2u);
    const graph_def& g = s.defs[0];
    EXPECT_EQ(g.name, "USER0");
    EXPECT_EQ(g.title, "USER0");
    EXPECT_EQ(g.cumulative, 1);
    ASSERT_EQ(g.vars.size(), 3u);
    EXPECT_EQ(g.vars[0].label, "People");
    EXPECT_EQ(g.vars[0].run, 2);
    EXPECT_EQ(g.vars[0].run_label, "Base");
    EXPECT_EQ(g.vars[1].name, "Births[north, south]");
    EXPECT_EQ(g.vars[1].no_subs, 0);
    EXPECT_EQ(g.vars[2].name, "Deaths");
    EXPECT_EQ(g.vars[2].no_subs, 1);
    // Without SCALE each VAR line is a group; the entries of one line share it.
    EXPECT_EQ(g.vars[0].scale_group, 0);
    EXPECT_EQ(g.vars[1].scale_group, 1);
    EXPECT_EQ(g.vars[2].scale_group, 1);
    EXPECT_EQ(g.vars[2].shape, 3);
    EXPECT_EQ(g.vars[2].shape_size, 3);
    EXPECT_EQ(g.vars[2].line, -2);
    const graph_def& h = s.defs[1];
    EXPECT_EQ(h.name, "two_words");
    ASSERT_EQ(h.vars.size(), 3u);
    EXPECT_EQ(h.vars[0].scale_group, 0);
    EXPECT_EQ(h.vars[1].scale_group, 0);
    EXPECT_EQ(h.vars[2].scale_group, 1);
    EXPECT_FALSE(message_log::said("Unknown keyword"));

    // The writer spells it CUMMULATIVE and reads back the same.
    std::string text = graph_def_text(g, nullptr);
    EXPECT_NE(text.find(":CUMMULATIVE\r\n"), std::string::npos);

    // A width that is not positive would read as a line style: left out
    // (found by fuzzing).
    graph_set& widths = parse(":GRAPH w\n:VAR a\n:LINE-WIDTH -5\n:VAR b\n:LINE-WIDTH 0\n");
    ASSERT_EQ(widths.defs.size(), 1u);
    EXPECT_EQ(widths.defs[0].vars[0].line, 0);
    EXPECT_EQ(widths.defs[0].vars[1].line, 0);
}

TEST_F(GraphSets, BadLinesAreReportedAndSkipped) {
    graph_set& s = parse("GRAPH g\n"
                         ":GRAPH g\n"
                         ":FROB 1\n"
                         ":WIDTH wide\n"
                         ":VAR x\n"
                         ":GRAPH empty\n"
                         ":TITLE nothing\n"
                         ":SENS-XY\n");
    EXPECT_TRUE(message_log::said("Keywords must begin with a : - line ignored"));
    EXPECT_TRUE(message_log::said("Unknown keyword :FROB"));
    EXPECT_TRUE(message_log::said("Bad width in graph"));
    EXPECT_TRUE(message_log::said("bad graph descriptions for empty"));
    ASSERT_EQ(s.defs.size(), 1u);
    EXPECT_EQ(s.defs[0].plot_width, 0.0f);
}

// Line graphs and bar graphs read their shared keywords alike, and each
// names its own kind when a size is bad.
TEST_F(GraphSets, BarAndLineGraphsReadTheSharedKeywordsAlike) {
    graph_set& s = parse(":GRAPH g\n"
                         ":HEIGHT tall\n"
                         ":NO-LEGEND 2\n"
                         ":SOFT-BOUNDS\n"
                         ":X-LABEL across\n"
                         ":VAR x\n"
                         ":BAR-GRAPH b\n"
                         ":WIDTH wide\n"
                         ":HEIGHT tall\n"
                         ":NO-LEGEND 2\n"
                         ":SOFT-BOUNDS\n"
                         ":X-LABEL across\n"
                         ":VAR y\n");
    EXPECT_TRUE(message_log::said("Bad height in graph specification"));
    EXPECT_TRUE(message_log::said("Bad width in bargraph"));
    EXPECT_TRUE(message_log::said("Bad height in bargraph specification"));
    ASSERT_EQ(s.defs.size(), 2u);
    for (const graph_def& d : s.defs) {
        EXPECT_EQ(d.plot_height, 0.0f) << d.name;
        EXPECT_EQ(d.no_legend, 2) << d.name;
        EXPECT_EQ(d.soft_bounds, 1) << d.name;
        EXPECT_EQ(d.x_label, "across") << d.name;
    }
}

// A blank or comment line inside a VAR block used to end it, so a DATASET
// after it was dropped without a word.
TEST_F(GraphSets, BlankLineInsideVarBlockKeepsTheBlock) {
    graph_set& s = parse(":GRAPH g\n"
                         ":VAR Population\n"
                         "\n"
                         "! a comment\n"
                         ":COM another\n"
                         ":DATASET base|Base run\n"
                         ":UNITS people\n");
    ASSERT_EQ(s.defs.size(), 1u);
    ASSERT_EQ(s.defs[0].vars.size(), 1u);
    EXPECT_EQ(s.defs[0].vars[0].dataset, "base");
    EXPECT_EQ(s.defs[0].vars[0].run_label, "Base run");
    EXPECT_EQ(s.defs[0].vars[0].units, "people");
}

TEST_F(GraphSets, ReportKeepsCommentsAndWarnsWithoutEnd) {
    graph_set& s = parse(":REPORT r\n"
                         ":TITLE Totals\n"
                         "Population at the end: \\/\n"
                         "  :COMMENT kept as text\n"
                         ":NEWPAGE\n"
                         ":VAR Population@END\n"
                         ":END-OF-REPORT\n"
                         ":REPORT open\n"
                         "text\n"
                         ":GRAPH swallowed\n"
                         ":VAR x\n");
    ASSERT_EQ(s.defs.size(), 2u);
    const graph_def& r = s.defs[0];
    EXPECT_EQ(r.title, "Totals");
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[1], "  :COMMENT kept as text");
    EXPECT_EQ(r.lines[2], "\f");
    ASSERT_EQ(r.var_texts.size(), 1u);
    // A report without its end takes the rest of the text, and now says so.
    EXPECT_FALSE(message_log::said("The report r has no"));
    EXPECT_TRUE(message_log::said("The report open has no :END-OF-REPORT"));
    ASSERT_EQ(s.defs[1].lines.size(), 2u);
    EXPECT_EQ(s.defs[1].lines[1], ":GRAPH swallowed");
}

TEST_F(GraphSets, SortIsDecodedFromTheStoredByte) {
    graph_set& s = parse(":BAR-GRAPH a\n:SORT 1\n:VAR x\n"
                         ":BAR-GRAPH b\n:SORT -2\n:VAR x\n"
                         ":BAR-GRAPH c\n:FORCE\n:VAR x\n"
                         ":BAR-GRAPH d\n:VAR x\n"
                         ":BAR-GRAPH e\n:SORT\n:VAR x\n");
    ASSERT_EQ(s.defs.size(), 5u);
    EXPECT_EQ(s.defs[0].sort, 2); // stored as before
    EXPECT_EQ(bar_sort_run(s.defs[0].sort), 1);
    EXPECT_EQ(bar_sort_run(s.defs[1].sort), -2);
    EXPECT_EQ(bar_sort_run(s.defs[2].sort), 0);
    EXPECT_EQ(bar_sort_run(s.defs[4].sort), 1);
    // FORCE only for a stored 1; no sort writes neither.
    EXPECT_NE(graph_def_text(s.defs[2], nullptr).find(":FORCE\r\n"), std::string::npos);
    const std::string none = graph_def_text(s.defs[3], nullptr);
    EXPECT_EQ(none.find(":FORCE"), std::string::npos);
    EXPECT_EQ(none.find(":SORT"), std::string::npos);
    EXPECT_NE(graph_def_text(s.defs[0], nullptr).find(":SORT 1\r\n"), std::string::npos);
}

// Every kind, written and read back, gives the same records.
const char* const every_kind = ":GRAPH Growth\n"
                               ":TITLE Growth of \\Population@END/\n"
                               ":LOCATION 10,20\n"
                               ":SIZE 300,200\n"
                               ":WIP\n"
                               ":STAMP footer|note\n"
                               ":X-AXIS Time\n"
                               ":X-LABEL Years\n"
                               ":Y-LABEL 0=none?100=many\n"
                               ":X-DIV ?0=start?10=end\n"
                               ":Y-DIV 4\n"
                               ":X-MIN 0.125\n"
                               ":X-MAX 0.1\n"
                               ":WIDTH 5.5\n"
                               ":STACK-FILL 2\n"
                               ":PORTRAIT\n"
                               ":LABEL-INTERVALS\n"
                               ":GRAPH-STYLE 3\n"
                               ":SOFT-BOUNDS\n"
                               ":NO-LEGEND 2\n"
                               ":MAX-POINTS 500\n"
                               ":Y-MIN -1\n"
                               ":VAR Population|People,Births[a]\n"
                               ":UNITS\n"
                               ":LINE-COLOR 255-0-0\n"
                               ":LINE-WIDTH 3\n"
                               ":SCALE\n"
                               ":VAR Deaths\n"
                               ":SENS-LINES 50,95\n"
                               ":MEAN avg\n"
                               ":LINE-STYLE DASHDOT\n"
                               ":SHAPE X\n"
                               ":Y-MAX 1e+30\n"
                               ":DATASET base|Base\n"
                               "\n"
                               ":BAR-GRAPH Bars\n"
                               ":NO-LEGEND\n"
                               ":X-LABEL Runs\n"
                               ":BAR-TIME 12\n"
                               ":HEIGHT 3\n"
                               ":HORIZONTAL\n"
                               ":BAR-BY-TIME\n"
                               ":SORT -3\n"
                               ":SUBTITLE sub\n"
                               ":OSUBTITLE osub\n"
                               ":VAR a|A\n"
                               ":AS-RUN first\n"
                               ":VAR b\n"
                               ":BAR-VAR-TIME 5\n"
                               ":AS-RUN second\n"
                               ":VAR c,d\n"
                               ":OVAR e|E\n"
                               ":DATASET *2|second\n"
                               ":DATASET base|named\n"
                               "\n"
                               ":TABLE Tab\n"
                               ":PRETTYNUM\n"
                               ":PRINT-EVERY 2\n"
                               ":X-MIN 1\n"
                               ":SPECIAL-TIME 7\n"
                               ":NOTIME\n"
                               ":TIME-DOWN\n"
                               ":FIRST-CELLWIDTH 12\n"
                               ":CELLWIDTH 9\n"
                               ":WIDTH 400\n"
                               ":HEIGHT 300\n"
                               ":FONT Courier|10|B|0-0-255\n"
                               ":COMLINE a comment\n"
                               ":VAR x|X\n"
                               ":3|third\n"
                               ":FORMAT %.2f\n"
                               ":VAR y\n"
                               "\n"
                               ":REPORT Rep\n"
                               ":FONT Times|12||\n"
                               "Line one \\/ and \\\\\\ \n"
                               "\n"
                               ":NEWPAGE\n"
                               ":VAR Population@END\n"
                               ":END-OF-REPORT\n";

void expect_same(const graph_def& a, const graph_def& b) {
    EXPECT_EQ(graph_def_text(a, nullptr), graph_def_text(b, nullptr));
    EXPECT_EQ(a.vars, b.vars);
    EXPECT_EQ(a.bar_vars, b.bar_vars);
    EXPECT_EQ(a.bar_ovars, b.bar_ovars);
    EXPECT_EQ(a.bar_datasets, b.bar_datasets);
    EXPECT_EQ(a.items, b.items);
    EXPECT_EQ(a.lines, b.lines);
    EXPECT_EQ(a.var_texts, b.var_texts);
    EXPECT_EQ(std::memcmp(&a.font, &b.font, sizeof a.font), 0);
    EXPECT_EQ(a.x_div_label, b.x_div_label);
    EXPECT_EQ(a.sort, b.sort);
    EXPECT_EQ(a.plot_width, b.plot_width);
    EXPECT_EQ(a.plot_height, b.plot_height);
    EXPECT_EQ(std::memcmp(&a.x_min, &b.x_min, 4), 0);
}

TEST_F(GraphSets, ParseWriteParseIdentity) {
    const graph_set first = parse(every_kind);
    ASSERT_EQ(first.defs.size(), 4u);
    EXPECT_EQ(first.wip, 1);
    const graph_def& g = first.defs[0];
    EXPECT_EQ(g.vars.size(), 3u);
    EXPECT_EQ(g.vars[0].run, gd_wip_run);
    EXPECT_EQ(g.vars[0].units, " ");
    EXPECT_EQ(g.vars[0].y_min, -1.0f);
    EXPECT_EQ(g.x_div, 0);
    EXPECT_EQ(g.x_div_label, "0=start?10=end");
    EXPECT_EQ(first.defs[1].bar_vars.size(), 4u);
    EXPECT_EQ(first.defs[1].bar_vars[3].as_run_group, 2);
    EXPECT_EQ(first.defs[1].bar_datasets[0].run, 1);
    EXPECT_EQ(first.defs[2].plot_width, 400.0f);
    EXPECT_EQ(first.defs[2].items[1].run, 2);
    EXPECT_EQ(first.defs[3].lines[0], "Line one \\/ and \\\\\\ ");

    std::string error;
    const std::string text = graph_set_text(first, true, &error);
    ASSERT_TRUE(error.empty()) << error;
    const int again = load_graph_set_text(text.c_str(), 0, 0, 0);
    const graph_set& second = graph_sets()[static_cast<std::size_t>(again)];
    ASSERT_EQ(second.defs.size(), first.defs.size());
    for (std::size_t i = 0; i < first.defs.size(); ++i) expect_same(first.defs[i], second.defs[i]);
    EXPECT_EQ(graph_set_text(second, true, nullptr), text);
}

TEST_F(GraphSets, GoldenWriterText) {
    graph_set& s = parse(":GRAPH g\n:TITLE Title\n:X-DIV 5|0=a?5=b\n:Y-MIN 0\n:VAR a,b|B\n"
                         ":TABLE t\n:WIDTH 320\n:HEIGHT 240\n:VAR x\n:DATASET *2\n");
    EXPECT_EQ(graph_set_text(s, true, nullptr), "///---\\\\\\\r\n"
                                                ":GRAPH g\r\n"
                                                ":TITLE Title\r\n"
                                                ":X-DIV 5|0=a?5=b\r\n"
                                                ":SCALE\r\n"
                                                ":VAR a\r\n"
                                                ":Y-MIN 0\r\n"
                                                ":VAR b|B\r\n"
                                                ":Y-MIN 0\r\n"
                                                "\r\n"
                                                ":TABLE t\r\n"
                                                ":WIDTH 320\r\n"
                                                ":HEIGHT 240\r\n"
                                                ":VAR x\r\n"
                                                ":DATASET *2\r\n");
}

TEST_F(GraphSets, ValuesThatWouldNotReadBack) {
    graph_def g = make_graph_def(gd_line);
    g.name = "g";
    g.title = "ends in a backslash \\";
    graph_var v;
    v.name = "x";
    g.vars.push_back(v);
    std::string error;
    std::string text = graph_def_text(g, &error);
    EXPECT_TRUE(error.empty());
    graph_set& back = parse(text);
    ASSERT_EQ(back.defs.size(), 1u);
    EXPECT_EQ(back.defs[0].title, g.title);
    EXPECT_EQ(back.defs[0].vars.size(), 1u);

    g.title = "two\nlines";
    EXPECT_TRUE(graph_def_text(g, &error).empty());
    EXPECT_NE(error.find("The definition g"), std::string::npos);

    // Fonts whose faces the text form writes otherwise (found by fuzzing):
    // kept as they read back, so a saved set reads the same.
    for (const char* font : {":FONT Tim\x01|10||\n", ":FONT \x98|10|B|0-0-255\n"}) {
        SCOPED_TRACE(font);
        const std::string body = std::string(":TABLE t\n") + font + ":VAR x\n";
        const std::string once = graph_set_text(parse(body), true, nullptr);
        EXPECT_EQ(graph_set_text(parse(once.substr(11)), true, nullptr), once);
    }

    graph_def r = make_graph_def(gd_report);
    r.name = "rep";
    r.lines = {"fine", "  :END-OF-REPORT"};
    error.clear();
    EXPECT_TRUE(graph_def_text(r, &error).empty());
    EXPECT_NE(error.find("The report rep"), std::string::npos);

    // A first line ":WIP" would read as the head's WIP (found by fuzzing);
    // after another line, or after a FONT line, it is text.
    r.lines = {":WIP", "text"};
    error.clear();
    EXPECT_TRUE(graph_def_text(r, &error).empty());
    r.lines = {"text", ":WIP"};
    error.clear();
    const std::string ok = graph_def_text(r, &error);
    EXPECT_TRUE(error.empty());
    graph_set& read = parse(ok);
    ASSERT_EQ(read.defs.size(), 1u);
    EXPECT_EQ(read.defs[0].lines, r.lines);
    EXPECT_EQ(read.defs[0].wip, 0);
}

// ------------------------------------------------------------------ .kgf ---

// A .kgf image built from the layout: one line graph with one variable.
struct kgf_image {
    std::string head_name = "g", var_name = "Population";
    std::int16_t count = 1;
    std::uint16_t version = 3100;
    std::uint32_t offset8 = 0;
    std::uint32_t var_cell_override = 0;
    std::uint16_t var_count = 1;
    bool foreign = false; // written in the other byte order

    std::string bytes() const {
        std::string out(164, '\0');
        out[0] = '\x7F';
        out[1] = '\xF7';
        out[2] = '\x17';
        out[3] = 'G';
        put16(out, 80, 101);
        put16(out, 82, 300);
        std::string entry(28, '\0');
        put32(entry, 0, 0xDEADBEEF); // another process's owner word
        put32(entry, 12, 0x12345678);
        put16(entry, 20, static_cast<std::uint16_t>(count));
        put16(entry, 22, version);
        entry[25] = 1;
        out += entry;
        // Definitions block: head (cells 0-4), the head record at cell 5 (30
        // cells), the variable at cell 35 (12 cells), strings after.
        std::string blk(20 + 120 + 48, '\0');
        auto add_string = [&](const std::string& s) {
            std::uint32_t cell = static_cast<std::uint32_t>(blk.size() / 4);
            blk += s;
            blk += '\0';
            while (blk.size() % 4) blk += '\0';
            return cell;
        };
        const std::uint32_t name = add_string(head_name);
        const std::uint32_t var = add_string(var_name);
        const std::size_t h = 20;
        put32(blk, h + 0, name);
        put32(blk, h + 8, offset8);
        put16(blk, h + 14, 40);
        blk[h + 24] = static_cast<char>(gd_line);
        blk[h + 25] = 1;
        put32(blk, h + 28, std::bit_cast<std::uint32_t>(FLT_MAX));
        put32(blk, h + 32, std::bit_cast<std::uint32_t>(-FLT_MAX));
        put32(blk, h + 64, var_cell_override ? var_cell_override : 35);
        put16(blk, h + 76, var_count);
        const std::size_t v = 140;
        put32(blk, v + 0, std::bit_cast<std::uint32_t>(FLT_MAX));
        put32(blk, v + 4, std::bit_cast<std::uint32_t>(-FLT_MAX));
        put32(blk, v + 8, var);
        blk[v + 40] = static_cast<char>(-1);
        block_head(blk);
        std::string list(4, '\0');
        put32(list, 0, 5);
        out += list.substr(0, static_cast<std::size_t>(count > 0 ? 4 : 0));
        out += blk;
        std::string texts(20, '\0');
        block_head(texts);
        out += texts;
        return out;
    }
    void put16(std::string& s, std::size_t at, std::uint16_t v) const {
        if (foreign) v = static_cast<std::uint16_t>(v << 8 | v >> 8);
        std::memcpy(&s[at], &v, 2);
    }
    void put32(std::string& s, std::size_t at, std::uint32_t v) const {
        if (foreign) v = __builtin_bswap32(v);
        std::memcpy(&s[at], &v, 4);
    }
    void block_head(std::string& blk) const {
        const std::uint32_t cells = static_cast<std::uint32_t>(blk.size() / 4);
        put32(blk, 0, 'H');
        put32(blk, 4, block_guard);
        put32(blk, 8, cells);
        put32(blk, 12, cells);
        put32(blk, 16, 100);
    }
};

TEST_F(GraphSets, BinaryFileReadAndChecked) {
    kgf_image good;
    good.offset8 = 0x4242; // another process's output record
    write("good.kgf", good.bytes());
    const int i = load_graph_set("good.kgf", 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    const graph_set& s = graph_sets()[static_cast<std::size_t>(i)];
    EXPECT_EQ(s.owner, 0u); // the file's owner word is not taken over
    EXPECT_EQ(s.is_free, 0);
    EXPECT_EQ(s.wip, 1);
    EXPECT_EQ(s.from_kgf, 1);
    ASSERT_EQ(s.defs.size(), 1u);
    EXPECT_EQ(s.defs[0].window, 0u);
    EXPECT_EQ(s.defs[0].x, 40);
    EXPECT_EQ(s.defs[0].vars[0].name, "Population");
    EXPECT_EQ(s.defs[0].vars[0].run, gd_wip_run);
    // The same file written in the other byte order reads alike.
    kgf_image swapped = good;
    swapped.foreign = true;
    graph_set other;
    message_log::messages.clear();
    const std::string swapped_bytes = swapped.bytes();
    ASSERT_EQ(read_kgf_bytes(swapped_bytes.data(), swapped_bytes.size(), "f.kgf", other, 0),
              kgf_loaded);
    ASSERT_EQ(other.defs.size(), 1u);
    EXPECT_EQ(other.defs[0].x, 40);
    EXPECT_EQ(other.defs[0].vars[0].name, "Population");

    struct bad_case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    kgf_image version = good, negative = good, out_of_range = good, long_chain = good;
    version.version = 3000;
    negative.count = -1;
    out_of_range.var_cell_override = 100000;
    long_chain.var_count = 2; // the chain ends (cell 0) before the count
    const std::string whole = good.bytes();
    const bad_case cases[] = {
        {"version", version.bytes(), "Version mismatch on"},
        {"negative count", negative.bytes(), "Failed to load"},
        {"cell out of range", out_of_range.bytes(), "Failed to load"},
        {"chain shorter than its count", long_chain.bytes(), "Failed to load"},
        {"truncated", whole.substr(0, whole.size() - 30), "Failed to load"},
        {"truncated header", whole.substr(0, 100), "Failed to load"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        message_log::messages.clear();
        graph_set out;
        EXPECT_EQ(read_kgf_bytes(c.bytes.data(), c.bytes.size(), "x.kgf", out, 0), kgf_failed);
        EXPECT_TRUE(message_log::said(c.message));
        EXPECT_TRUE(out.defs.empty());
    }
    std::string platform = whole;
    platform[82] = 1;
    message_log::messages.clear();
    graph_set out;
    EXPECT_EQ(read_kgf_bytes(platform.data(), platform.size(), "x.kgf", out, 0), kgf_failed);
    EXPECT_TRUE(message_log::said("has bad version/platform code"));
}

// A reload that fails keeps the set loaded before.
TEST_F(GraphSets, FailedReloadKeepsTheLoadedSet) {
    write("set.kgf", kgf_image{}.bytes());
    const int i = load_graph_set("set.kgf", 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    EXPECT_EQ(load_graph_set("set.kgf", 0, 0, 1, 0), i); // for the model: at once
    kgf_image bad;
    bad.var_cell_override = 7;
    write("set.kgf", bad.bytes());
    EXPECT_EQ(load_graph_set("set.kgf", 0, 0, 0, 0), 0);
    const graph_set* s = graph_set_at(i);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->defs.size(), 1u);
    EXPECT_EQ(s->defs[0].vars[0].name, "Population");
}

TEST_F(GraphSets, ReloadingAChangedSetAsksFirst) {
    write("g.kgd", ":GRAPH g\n:VAR x\n");
    const int i = load_graph_set("g.kgd", 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    mark_set_modified(i);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].state, 1);
    write("g.kgd", ":GRAPH g\n:VAR x\n:VAR y\n");
    answers = {7}; // No: keep the changes
    EXPECT_EQ(load_graph_set("g.kgd", 0, 0, 0, 0), i);
    EXPECT_TRUE(message_log::said("has been modified interactively"));
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].defs[0].vars.size(), 1u);
    EXPECT_EQ(load_graph_set("g.kgd", 0, 1, 0, 0), i); // quiet: kept without asking
    answers = {6};                                     // Yes: read it again
    EXPECT_EQ(load_graph_set("g.kgd", 0, 0, 0, 0), i);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].defs[0].vars.size(), 2u);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].state, 0);
}

TEST_F(GraphSets, TextFileLoadAndMissingFile) {
    write("g.kgd", ":GRAPH g\r\n:VAR x\r\n");
    const int i = load_graph_set("g.kgd", 0, 0, 1, 0);
    ASSERT_GT(i, 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].state, 255);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].from_text, 1);
    EXPECT_EQ(find_graph_set("g.kgd"), i);
    // Names are matched whatever their case; entry 0 is never a set.
    EXPECT_EQ(find_graph_set("G.KGD"), i);
    EXPECT_EQ(find_graph_set("g.kg"), 0);
    EXPECT_EQ(graph_set_at(0), nullptr);
    EXPECT_EQ(graph_set_at(-1), nullptr);
    EXPECT_EQ(graph_set_at(static_cast<int>(graph_sets().size())), nullptr);
    EXPECT_EQ(load_graph_set("none.kgd", 0, 0, 0, 0), 0);
    EXPECT_TRUE(message_log::said("Unable to open none.kgd to read in user graphs"));
    message_log::messages.clear();
    EXPECT_EQ(load_graph_set("none.kgd", 0, 1, 0, 0), 0);
    EXPECT_FALSE(message_log::said("Unable to open"));
}

TEST_F(GraphSets, SaveWritesTheTextFile) {
    write("g.kgd", ":GRAPH g\n:VAR x\n");
    const int i = load_graph_set("g.kgd", 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    answers = {6}; // overwrite the file that came from text
    EXPECT_EQ(save_graph_set_text(0, i, -1, 0), 1);
    EXPECT_TRUE(message_log::said("came from the Text Editor"));
    std::ifstream in(dir_ / "g.kgd", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, ":GRAPH g\r\n:SCALE\r\n:VAR x\r\n");
    message_log::messages.clear();
    EXPECT_EQ(save_graph_set_text(0, 99, -1, 0), 0);
    EXPECT_TRUE(message_log::said("WU3213"));
}

TEST_F(GraphSets, ACutFileSaysWhatWasLost) {
    // Four graphs written by the program, cut inside the third.
    const std::string whole = ":GRAPH one\r\n:VAR a\r\n\r\n:GRAPH two\r\n:VAR b\r\n\r\n"
                              ":GRAPH three\r\n:TITLE Three\r\n:VAR c\r\n\r\n"
                              ":GRAPH four\r\n:VAR d\r\n";
    write("whole.kgd", whole);
    int i = load_graph_set("whole.kgd", 1, 0, 0, 0);
    ASSERT_GT(i, 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].defs.size(), 4u);
    EXPECT_FALSE(message_log::said("ends early"));
    EXPECT_FALSE(message_log::said("left out"));

    write("cut.kgd", whole.substr(0, whole.find(":TITLE Three") + 5));
    message_log::messages.clear();
    i = load_graph_set("cut.kgd", 1, 0, 0, 0);
    ASSERT_GT(i, 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].defs.size(), 2u);
    EXPECT_TRUE(message_log::said("The graph set cut.kgd ends early (it looks cut short): 2 "
                                  "definitions were read; not read: three; whatever followed "
                                  "the cut is lost",
                                  7));
    // Cut at a line's end inside a section: the section is said to be lost.
    write("cut2.kgd", whole.substr(0, whole.find(":VAR c")));
    message_log::messages.clear();
    i = load_graph_set("cut2.kgd", 1, 0, 0, 0);
    ASSERT_GT(i, 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].defs.size(), 2u);
    EXPECT_TRUE(message_log::said("left out: three", 7));
    // Quiet loads say nothing.
    message_log::messages.clear();
    load_graph_set("cut.kgd", 1, 1, 0, 0);
    EXPECT_FALSE(message_log::said("cut short"));
}

TEST_F(GraphSets, FailedWritesAndReadsNameTheSystemsReason) {
    write("g.kgd", ":GRAPH g\r\n:VAR x\r\n");
    const int i = load_graph_set("g.kgd", 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    // The backup cannot be made: a folder holds its name.
    fs::create_directories(dir_ / "g.kgd.bak" / "in");
    answers = {6};
    EXPECT_EQ(save_graph_set_text(0, i, -1, 0), 0);
    const std::string bak = (dir_ / "g.kgd.bak").string();
    EXPECT_TRUE(message_log::said(
        "Unable to rename " + (dir_ / "g.kgd").string() + " to " + bak + ": ", 8));
    fs::remove_all(dir_ / "g.kgd.bak");
    // A file that cannot be made: its folder is a file.
    write("notdir", "x");
    graph_sets()[static_cast<std::size_t>(i)].name = "notdir/g.kgd";
    graph_sets()[static_cast<std::size_t>(i)].from_text = 0;
    message_log::messages.clear();
    EXPECT_EQ(save_graph_set_text(0, i, -1, 0), 0);
    EXPECT_TRUE(
        message_log::said("Unable to open notdir/g.kgd to write graph file: Not a directory", 8));
    // A full disk (a file-size limit stands in for it): the write says so.
    graph_sets()[static_cast<std::size_t>(i)].name = "big.kgd";
    for (int k = 0; k < 200; ++k) {
        graph_def d = make_graph_def(gd_line);
        d.name = "graph" + std::to_string(k);
        graph_var v;
        v.name = std::string(60, 'v');
        d.vars.push_back(v);
        add_graph_def(graph_sets()[static_cast<std::size_t>(i)], d);
    }
    const auto said =
        fault_child::under_size_limit(2048, [&] { return save_graph_set_text(0, i, -1, 0); });
    bool told = false;
    for (const auto& m : said)
        told = told || (m.kind == 8 && m.text.find("big.kgd") != std::string::npos &&
                        m.text.find("File too large") != std::string::npos);
    EXPECT_TRUE(told);
    // A file that cannot be read says why.
    message_log::messages.clear();
    EXPECT_EQ(load_graph_set("nowhere/none.kgd", 1, 0, 0, 0), 0);
    EXPECT_TRUE(message_log::said(
        "Unable to open nowhere/none.kgd to read in user graphs: No such file or directory", 8));
}

// Cancel at the second question used to leave the first set freed while
// the program went on.
TEST_F(GraphSets, AskSaveFreesNothingOnCancel) {
    const int a = init_graph_set(0, "a.kgd", 0);
    const int b = init_graph_set(0, "b.kgd", 0);
    const int owned = init_graph_set(0, "o.kgd", 1);
    graph_sets()[static_cast<std::size_t>(a)].state = 1;
    graph_sets()[static_cast<std::size_t>(b)].state = 1;
    graph_sets()[static_cast<std::size_t>(owned)].state = 1;
    answers = {7, 2}; // No, then Cancel
    EXPECT_EQ(query_save_graph_sets(1), 0);
    EXPECT_NE(graph_set_at(a), nullptr);
    EXPECT_NE(graph_set_at(b), nullptr);
    answers = {7, 7};
    message_log::messages.clear();
    EXPECT_EQ(query_save_graph_sets(1), 1);
    EXPECT_EQ(graph_set_at(a), nullptr);
    EXPECT_EQ(graph_set_at(b), nullptr);
    EXPECT_NE(graph_set_at(owned), nullptr); // an owner's set is neither asked nor freed
    EXPECT_FALSE(message_log::said("o.kgd"));
    EXPECT_EQ(message_log::messages.size(), 2u);
}

TEST_F(GraphSets, TableGrowsAndReusesFreeEntries) {
    const int a = init_graph_set(0, nullptr, 0);
    const int b = init_graph_set(0, nullptr, 0);
    EXPECT_NE(a, b);
    free_graph_set(a);
    EXPECT_EQ(find_graph_set(nullptr), a);
    graph_set& s = graph_sets()[static_cast<std::size_t>(b)];
    graph_def d = make_graph_def(gd_line);
    d.wip = 1;
    add_graph_def(s, d);
    EXPECT_EQ(s.wip, 1);
    const int c = copy_graph_set(b);
    ASSERT_GT(c, 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(c)].defs.size(), 1u);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(c)].owner, 0u);
}

} // namespace

namespace {

// The fuzz seed of the binary reader is a real file: a WIP line graph and a
// report whose text lines live in the second block.
TEST_F(GraphSets, BinarySeedHoldsAGraphAndAReport) {
    const std::string path = KAVREL_SOURCE_DIR "/fuzz/corpus/graph_set_binary/two.kgf";
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    graph_set s;
    ASSERT_EQ(read_kgf_bytes(bytes.data(), bytes.size(), "two.kgf", s, 0), kgf_loaded);
    ASSERT_EQ(s.defs.size(), 2u);
    EXPECT_EQ(s.defs[1].kind, gd_report);
    ASSERT_EQ(s.defs[1].lines.size(), 1u);
    EXPECT_EQ(s.defs[1].lines[0], "Population \\/");
    ASSERT_EQ(s.defs[1].var_texts.size(), 1u);
    EXPECT_EQ(s.defs[1].var_texts[0], "Population@END");
    // A line-array cell past the end of the report-text block is refused
    // (the array is at byte 308 of the definitions block, after the header,
    // the entry and the two-cell list).
    bytes[164 + 28 + 8 + 308 + 3] = 0x7F;
    graph_set bad;
    EXPECT_EQ(read_kgf_bytes(bytes.data(), bytes.size(), "two.kgf", bad, 1), kgf_failed);
}

} // namespace

// A set saved on another system has CR LF line ends: a line ended by a
// backslash still joins the next one, and no CR is left in what was read.
TEST_F(GraphSets, CrLfLinesJoinAtABackslashAndLoseTheirCr) {
    graph_set& s = parse(":GRAPH joined\r\n"
                         ":TITLE Two \\\r\n"
                         "lines\r\n"
                         ":VAR alpha,\\\r\n"
                         "beta\r\n"
                         ":VAR gamma|Third\r\n");
    ASSERT_EQ(s.defs.size(), 1u);
    const graph_def& g = s.defs[0];
    EXPECT_EQ(g.name, "joined");
    EXPECT_EQ(g.title, "Two lines");
    ASSERT_EQ(g.vars.size(), 3u);
    EXPECT_EQ(g.vars[0].name, "alpha");
    EXPECT_EQ(g.vars[1].name, "beta");
    EXPECT_EQ(g.vars[2].name, "gamma");
    EXPECT_EQ(g.vars[2].label, "Third");
    EXPECT_FALSE(message_log::said("Unknown keyword"));
}

// Every keyword a line graph's definition may carry comes back from the
// writer with the value it was read with.
TEST_F(GraphSets, LineGraphKeywordsComeBackFromTheWriter) {
    graph_set& s = parse(":GRAPH g\n:TITLE Stock\n:STAMP foot|note\n:X-AXIS Month\n"
                         ":X-LABEL Months\n:Y-LABEL Units\n:X-DIV 4\n:Y-DIV 3\n:X-MIN 5\n"
                         ":X-MAX 60\n:WIDTH 300\n:HEIGHT 200\n:PORTRAIT\n:LABEL-INTERVALS\n"
                         ":SOFT-BOUNDS\n:NO-LEGEND 1\n:DOTS\n:MAX-POINTS 40\n:VAR x\n");
    ASSERT_EQ(s.defs.size(), 1u);
    std::string error;
    const std::string text = graph_set_text(s, true, &error);
    ASSERT_TRUE(error.empty()) << error;
    for (const char* line : {":X-MIN 5\r\n", ":X-MAX 60\r\n", ":NO-LEGEND 1\r\n",
                             ":MAX-POINTS 40\r\n", ":Y-DIV 3\r\n", ":PORTRAIT\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    const int again = load_graph_set_text(text.c_str(), 0, 0, 0);
    ASSERT_GT(again, 0);
    const graph_set& back = graph_sets()[static_cast<std::size_t>(again)];
    ASSERT_EQ(back.defs.size(), 1u);
    const graph_def& d = back.defs[0];
    EXPECT_EQ(d.title, "Stock");
    EXPECT_EQ(d.stamp[0], "foot");
    EXPECT_EQ(d.stamp[1], "note");
    EXPECT_EQ(d.x_axis, "Month");
    EXPECT_EQ(d.x_label, "Months");
    EXPECT_EQ(d.y_label, "Units");
    EXPECT_EQ(d.x_div, 4);
    EXPECT_EQ(d.y_div, 3);
    EXPECT_EQ(d.x_min, 5.0f);
    EXPECT_EQ(d.x_max, 60.0f);
    EXPECT_EQ(d.plot_width, 300.0f);
    EXPECT_EQ(d.plot_height, 200.0f);
    EXPECT_EQ(d.portrait, 1);
    EXPECT_EQ(d.label_intervals, 1);
    EXPECT_EQ(d.soft_bounds, 1);
    EXPECT_EQ(d.no_legend, 1);
    EXPECT_EQ(d.dots, 1);
    EXPECT_EQ(d.max_points, 40);
    ASSERT_EQ(d.vars.size(), 1u);
    EXPECT_EQ(d.vars[0].name, "x");
}

// Writing a set into an open file leaves it unchanged (nothing to ask about
// on leaving); entry 0 of the table is no set and is never written.
TEST_F(GraphSets, WritingToAnOpenFileClearsTheChangeAndEntryZeroIsNoSet) {
    parse(":GRAPH g\n:VAR x\n"); // another set in the table
    const int i = load_graph_set_text(
        (std::string(graph_set_marker_line) + "\n:GRAPH h\n:VAR y\n").c_str(), 0, 0, 0);
    ASSERT_GT(i, 0);
    mark_set_modified(i);
    ASSERT_NE(graph_sets()[static_cast<std::size_t>(i)].state, 0);
    const std::string path = (dir_ / "out.kgd").string();
    const file_handle fh = fh_open_write(path.c_str(), 0, 0);
    ASSERT_GE(fh, 0);
    EXPECT_EQ(save_graph_set_text(0, i, fh, 0), 1);
    EXPECT_GE(fh_close(fh), 0);
    EXPECT_EQ(graph_sets()[static_cast<std::size_t>(i)].state, 0);
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find(":GRAPH h\r\n"), std::string::npos) << text;
    // The marker line opens the text, which reads back as the set it was
    // (the form of a set inside a model's settings text).
    EXPECT_EQ(text.rfind(std::string(graph_set_marker_line) + "\r\n", 0), 0u) << text;
    const int back = load_graph_set_text(text.c_str(), 0, 0, 0);
    ASSERT_GT(back, 0);
    ASSERT_NE(back, i);
    const graph_set& read = graph_sets()[static_cast<std::size_t>(back)];
    ASSERT_EQ(read.defs.size(), 1u);
    EXPECT_EQ(read.defs[0].name, "h");
    ASSERT_EQ(read.defs[0].vars.size(), 1u);
    EXPECT_EQ(read.defs[0].vars[0].name, "y");

    message_log::messages.clear();
    const file_handle fh0 = fh_open_write((dir_ / "zero.kgd").string().c_str(), 0, 1);
    ASSERT_GE(fh0, 0);
    EXPECT_EQ(save_graph_set_text(0, 0, fh0, 0), 0);
    EXPECT_TRUE(message_log::said("WU3213"));
    fh_close(fh0);
}
