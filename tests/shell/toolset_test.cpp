// Tool sets: the built-in set, the tool set file's reader with every message,
// placement and growth of the grid, and the text form of option blocks.
#include "foundation/app_strings.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

class Toolset : public ::testing::Test {
protected:
    void SetUp() override {
        message_log::messages.clear();
        message_log::next_answer = 7;
        set_message_hook(message_log::test_hook);
        log_ = std::tmpfile();
        set_report_stream(log_);
        free_toolset(0);
        free_toolset(1);
        message_log::messages.clear();
    }
    void TearDown() override {
        free_toolset(0);
        free_toolset(1);
        set_report_stream(nullptr);
        set_message_hook(nullptr);
        if (log_) std::fclose(log_);
    }

    static std::string file(const std::string& name, const std::string& text) {
        std::string path = ::testing::TempDir() + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // (row, col, display name) of every tool of the palette, in grid order.
    struct placed {
        int row, col;
        std::string name;
        bool operator==(const placed&) const = default;
    };
    static std::vector<placed> tools() {
        std::vector<placed> out;
        for (int r = 0; r < palette_cells.rows; ++r)
            for (int c = 0; c < palette_cells.cols; ++c)
                if (handle t = grid_tool(palette_cells, r, c)) out.push_back({r, c, tool_name(t)});
        return out;
    }
    static int count(const std::string& part) {
        int n = 0;
        for (const auto& m : message_log::messages)
            if (m.text.find(part) != std::string::npos) ++n;
        return n;
    }
    static std::string header(int rows = 4, int cols = 30) {
        return "1.62\n=" + std::to_string(rows) + ",=" + std::to_string(cols) + ",=1,=1,=1,=1\n";
    }
    static std::string place(int row, int col) {
        return "=" + std::to_string(row) + ",=" + std::to_string(col) +
               ",=-1,=-1,=0,=0,=0,=0,=0,\n";
    }

    std::FILE* log_ = nullptr;
};

TEST_F(Toolset, BuiltInSetGivesNineToolsWithTheirDefaults) {
    EXPECT_FALSE(toolset_loaded());
    EXPECT_EQ(read_toolset(nullptr, 0), 9);
    EXPECT_TRUE(toolset_loaded());
    EXPECT_TRUE(message_log::messages.empty());
    EXPECT_EQ(palette_cells.rows, 4);
    EXPECT_EQ(palette_cells.cols, 30);
    std::vector<placed> want = {
        {0, 0, "Causes Tree"}, {0, 2, "Uses Tree"},        {0, 4, "Loops"},
        {0, 6, "Document"},    {0, 9, "Causes Strip"},     {0, 11, "Graph"},
        {0, 13, "Table"},      {0, 15, "Table Time Down"}, {0, 17, "Runs Compare"},
    };
    EXPECT_EQ(tools(), want);

    const std::uint8_t types[] = {1, 1, 13, 2, 3, 5, 6, 6, 8};
    const std::uint32_t icons[] = {0x2D0000, 0x2D0010, 0xF0080,  48, 0x1E0000,
                                   0xF0050,  0x2D0030, 0x2D0070, 32};
    for (std::size_t i = 0; i < want.size(); ++i) {
        handle t = grid_tool(palette_cells, want[i].row, want[i].col);
        tool_record* r = lock_tool(t);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->type, types[i]) << want[i].name;
        EXPECT_EQ(r->icon, icons[i]) << want[i].name;
        EXPECT_EQ(r->text_colour, -1);
        EXPECT_EQ(r->back_colour, -1);
        EXPECT_EQ(r->state, 0u);
        EXPECT_EQ(r->rect[2], 0);
        unlock_tool(t);
    }
    // Option sizes as the rows give them (Loops: 40 for its empty block).
    EXPECT_EQ(tool_option_size(grid_tool(palette_cells, 0, 0)), 224u);
    EXPECT_EQ(tool_option_size(grid_tool(palette_cells, 0, 4)), 40u);
    EXPECT_EQ(tool_option_size(grid_tool(palette_cells, 0, 11)), 280u);

    // The Document line's width and its empty font field: 75 and no face.
    handle doc = grid_tool(palette_cells, 0, 6);
    tool_record* r = lock_tool(doc);
    auto* o = static_cast<unsigned char*>(tool_options(r));
    std::int32_t width;
    std::memcpy(&width, o + 20, 4);
    EXPECT_EQ(width, 75);
    EXPECT_EQ(o[5], 1); // equations
    font_spec f;
    std::memcpy(&f, o + 24, sizeof f);
    EXPECT_EQ(f.face[0], 0);
    unlock_tool(doc);

    // Table Time Down: the widths 10 and 12 and the layout byte 1 after the font.
    handle tdown = grid_tool(palette_cells, 0, 15);
    r = lock_tool(tdown);
    o = static_cast<unsigned char*>(tool_options(r));
    std::int32_t first, col;
    std::memcpy(&first, o + 52, 4);
    std::memcpy(&col, o + 56, 4);
    EXPECT_EQ(first, 10);
    EXPECT_EQ(col, 12);
    EXPECT_EQ(o[60], 1);
    EXPECT_EQ(r->icon, 0x2D0070u);
    EXPECT_EQ(static_cast<signed char>(o[0]), -1);
    unlock_tool(tdown);
}

TEST_F(Toolset, BuiltInLinesFitTheFieldTables) {
    // Each option line of the known kinds has no more fields than its table.
    for (int i = 0; i < builtin_toolset_line_count; ++i) {
        std::string line = builtin_toolset_lines[i];
        std::size_t bar = line.find('|');
        if (bar == std::string::npos || line[0] == '=') continue;
        int row = find_tool_row(line.substr(0, bar).c_str());
        ASSERT_GE(row, 0) << line;
        const toptset_field* fields = standin_field_table(row);
        if (!fields) continue;
        int n = 0;
        while (fields[n].offset != -1) ++n;
        std::string options = builtin_toolset_lines[i + 2];
        int commas = static_cast<int>(std::count(options.begin(), options.end(), ','));
        EXPECT_LE(commas, n) << line;
        // The last field of a line with no trailing comma counts too.
        if (!options.empty() && options.back() != ',') {
            EXPECT_LE(commas + 1, n) << line;
        }
    }
    const int sizes[] = {224, 56, 0, 64, 120, 144, 280, 156, 112, 224, 52, 0, 60};
    const int counts[] = {21, 13, 0, 22, 26};
    for (int row = 0; row < analysis_tool_count; ++row) {
        EXPECT_EQ(analysis_tool_table[row].setup(0, 0, nullptr, nullptr), sizes[row]);
        if (const toptset_field* f = standin_field_table(row)) {
            int n = 0;
            while (f[n].offset != -1) ++n;
            EXPECT_EQ(n, counts[row]) << row;
        }
    }
}

TEST_F(Toolset, WrittenSetReadsBackTheSame) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    std::string first = write_toolset_text(0);
    free_toolset(0);
    std::string path = file("round.kts", first);
    ASSERT_EQ(read_toolset(path.c_str(), 0), 9);
    EXPECT_TRUE(message_log::messages.empty());
    EXPECT_EQ(write_toolset_text(0), first);
    // The Graph tool's three empty text lines survive.
    EXPECT_NE(first.find("0,1,\n\n\n\nTable|Table\n"), std::string::npos) << first;
}

// A tool's own colours and a name typed over two lines: the set written
// and read back has the colours in their places and the name on one line.
TEST_F(Toolset, ColoursAndATwoLineNameSurviveWritingAndReading) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    handle first = grid_tool(palette_cells, 0, 0);
    ASSERT_NE(first, 0u);
    const std::int32_t name_cell = tool_add_text(first, "Main\r\nGraph");
    ASSERT_GT(name_cell, 0);
    if (tool_record* rec = lock_tool(first)) {
        rec->text_colour = 0x0000FF; // red
        rec->back_colour = 0x00FF00; // green
        rec->name = name_cell;
        unlock_tool(first);
    }
    const std::string written = write_toolset_text(0);
    EXPECT_EQ(written.find('\r'), std::string::npos);
    // Row 0, column 0, then the text colour and the background colour.
    EXPECT_NE(written.find("=0,=0,=255,=65280,"), std::string::npos) << written;
    free_toolset(0);
    // A name of this process's own: test programs run side by side.
    const std::string path = file("colours" + std::to_string(getpid()) + ".kts", written);
    ASSERT_EQ(read_toolset(path.c_str(), 0), 9);
    std::remove(path.c_str());
    EXPECT_TRUE(message_log::messages.empty());
    handle back = grid_tool(palette_cells, 0, 0);
    ASSERT_NE(back, 0u);
    EXPECT_EQ(tool_name(back), "Main  Graph");
    if (tool_record* rec = lock_tool(back)) {
        EXPECT_EQ(rec->text_colour, 0x0000FF);
        EXPECT_EQ(rec->back_colour, 0x00FF00);
        unlock_tool(back);
    }
    EXPECT_EQ(write_toolset_text(0), written);
}

// The Document tool's width (75 in the built-in set) is a whole number that
// may pass 255: it is written back as read.
TEST_F(Toolset, TheDocumentToolsWidthIsKeptWhole) {
    const std::string options = "0,0,0,0,0,1,0,0,1,1,0,1,0,1,0,0,0,0,1,0,300,";
    const std::string path =
        file("document" + std::to_string(getpid()) + ".kts",
             header() + "Document|Wide Document\n" + place(0, 6) + options + ",\n");
    ASSERT_EQ(read_toolset(path.c_str(), 0), 1);
    std::remove(path.c_str());
    EXPECT_TRUE(message_log::messages.empty());
    const std::string written = write_toolset_text(0);
    EXPECT_NE(written.find("Document|Wide Document\n"), std::string::npos) << written;
    EXPECT_NE(written.find(options), std::string::npos) << written;
}

TEST_F(Toolset, VersionQuestionBothWays) {
    std::string body = "Loops|Only Loops\n" + place(1, 3);
    std::string path = file("v.kts", "1.5\n=4,=30,=1,=1,=1,=1\n" + body);
    message_log::next_answer = 6; // Yes: the file is read
    EXPECT_EQ(read_toolset(path.c_str(), 0), 1);
    EXPECT_TRUE(message_log::said("Toolset Version Mismatch for " + path +
                                  " - do you want to try anyway?"));
    EXPECT_EQ(tools(), (std::vector<placed>{{1, 3, "Only Loops"}}));
    free_toolset(0);

    // No: the file is not taken, and the tools the palette had stay.
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    const std::string before = write_toolset_text(0);
    message_log::next_answer = 7;
    EXPECT_EQ(read_toolset(path.c_str(), 0), 0);
    EXPECT_EQ(write_toolset_text(0), before);
    free_toolset(0);

    // "1.62" with more after it is accepted without a question.
    message_log::messages.clear();
    path = file("v2.kts", "1.62b\n=4,=30,=1,=1,=1,=1\n" + body);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 1);
    EXPECT_TRUE(message_log::messages.empty());
}

TEST_F(Toolset, GridSizeIsClampedAndPlacesAreChecked) {
    std::string text = "1.62\nrows=70,cols=5,a=1,b=1,c=1,d=1\n";
    text += "Loops|A\n" + place(0, 0);
    text += "Loops|B\n" + place(0, 0);          // repeated: first free place
    text += "Loops|C\n" + place(2, 23);         // column 23 of 24: its pair leaves the row
    text += "Loops|D\n" + place(2, 1);          // free, right of an empty cell
    text += "Loops|E\n" + place(-1, 3);         // negative row
    text += "Loops|F\n=0,=x,\n";                // column does not scan
    text += "Loops|H\n" + place(1, 2147483647); // the largest column (found by fuzzing)
    text += "Loops|G\n";                        // the last group has no placement line
    std::string path = file("grid.kts", text);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 8);
    EXPECT_EQ(palette_cells.rows, 3);
    EXPECT_EQ(palette_cells.cols, 24);
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 0 row 0", 5));
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 23 row 2", 5));
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 3 row -1", 5));
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 2147483647 row 1", 5));
    EXPECT_EQ(count("Bad or repeated tool location"), 6);
    std::vector<placed> want = {{0, 0, "A"}, {0, 2, "B"},  {0, 4, "C"},  {0, 6, "E"},
                                {0, 8, "F"}, {0, 10, "H"}, {0, 12, "G"}, {2, 1, "D"}};
    EXPECT_EQ(tools(), want);
}

TEST_F(Toolset, BuiltInPlusARepeatTakesColumnNineteenAndColumn29Of30IsBad) {
    std::string text;
    for (int i = 0; i < builtin_toolset_line_count; ++i)
        text += builtin_toolset_lines[i] + std::string("\n");
    text += "Loops|Again\n" + place(0, 4);
    text += "Loops|Edge\n" + place(1, 29);
    std::string path = file("repeat.kts", text);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 11);
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 4 row 0"));
    EXPECT_TRUE(message_log::said("Bad or repeated tool location column 29 row 1"));
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 0, 19)), "Again");
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 0, 21)), "Edge");
}

TEST_F(Toolset, FullGridGrowsARowPerTool) {
    // 2 rows of 8 columns hold 8 tools; a ninth adds a row, which the next
    // ones fill before another is added.
    std::string text = header(2, 8);
    for (int i = 0; i < 11; ++i)
        text += "Loops|T" + std::to_string(i) + "\n" + place(i / 4, (i % 4) * 2);
    std::string path = file("grow.kts", text);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 11);
    EXPECT_EQ(palette_cells.rows, 3);
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 2, 0)), "T8");
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 2, 4)), "T10");
    free_toolset(0);
    // Thirteen: the fourth row too.
    text += "Loops|T11\n" + place(0, 0) + "Loops|T12\n" + place(0, 0);
    path = file("grow2.kts", text);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 13);
    EXPECT_EQ(palette_cells.rows, 4);
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 3, 0)), "T12");
}

TEST_F(Toolset, UnknownRowsAndCaseAreRefusedLineByLine) {
    std::string text =
        header() + "graph|Lower\n" + place(0, 0) + "0,0,\n" + "Loops|L\n" + place(0, 2);
    std::string path = file("unknown.kts", text);
    EXPECT_EQ(read_toolset(path.c_str(), 0), 1);
    EXPECT_EQ(count("is not contained in the current system"), 3);
    EXPECT_TRUE(message_log::said("The tool graph is not contained in the current system", 3));
    EXPECT_EQ(tools(), (std::vector<placed>{{0, 2, "L"}}));
}

TEST_F(Toolset, BadFilesGetTheirMessages) {
    // A named file that does not open.
    std::string missing = ::testing::TempDir() + "/none.kts";
    EXPECT_EQ(read_toolset(missing.c_str(), 0), 0);
    EXPECT_TRUE(message_log::said("Unable to open " + missing, 8));
    // Unless its name begins with "default.": the built-in set, no message.
    message_log::messages.clear();
    std::string dflt = ::testing::TempDir() + "/DEFAULT.kts";
    EXPECT_EQ(read_toolset(dflt.c_str(), 0), 9);
    EXPECT_TRUE(message_log::messages.empty());
    free_toolset(0);

    for (const std::string& text :
         {std::string(""), std::string("1.62\n"), std::string("1.62\n=4,=30,=1\n"),
          std::string("1.62\n=4,=x,=1,=1,=1,=1\n")}) {
        message_log::messages.clear();
        std::string path = file("bad.kts", text);
        EXPECT_EQ(read_toolset(path.c_str(), 0), 0) << text;
        EXPECT_TRUE(message_log::said("Bad toolset format in " + path, 8)) << text;
        EXPECT_TRUE(tools().empty());
        free_toolset(0);
    }
    // A good head with no tools.
    message_log::messages.clear();
    std::string empty = file("empty.kts", header());
    EXPECT_EQ(read_toolset(empty.c_str(), 0), 0);
    EXPECT_TRUE(message_log::said("No tools loaded from " + empty, 7));
}

TEST_F(Toolset, ARefusedFileLeavesThePaletteAsItWas) {
    std::string mine =
        file("mine.kts", header() + "Loops|Mine\n" + place(0, 0) + "Stats|Sums\n" + place(1, 2));
    ASSERT_EQ(read_toolset(mine.c_str(), 0), 2);
    const std::string before = write_toolset_text(0);
    const std::vector<placed> had = tools();
    const int name = palette_cells.name;
    ASSERT_NE(name, 0);
    // Each way a named file is refused: the palette keeps its tools and the
    // set's name, and the message says why.
    const std::string missing = ::testing::TempDir() + "/no/such.kts";
    const std::string folder = ::testing::TempDir();
    const std::string bad = file("bad2.kts", "1.62\n=4,=x,=1,=1,=1,=1\n");
    const std::string none = file("none2.kts", header() + "Nonsense|X\n" + place(0, 0));
    const std::string binary = file("bin.kts", std::string("\x7f"
                                                           "ELF\0\0\1\2",
                                                           8));
    struct refusal {
        std::string path, said;
    };
    for (const refusal& r :
         {refusal{missing, "Unable to open " + missing + ": No such file or directory"},
          refusal{folder, "Unable to open " + folder + ":"},
          refusal{bad, "the tools are left as they were"},
          refusal{none, "No tools loaded from " + none + "; the tools are left as they were"},
          refusal{binary, "left as they were"}}) {
        message_log::messages.clear();
        message_log::next_answer = 7; // the version question, where asked: No
        EXPECT_EQ(read_toolset(r.path.c_str(), 0), 0) << r.path;
        EXPECT_TRUE(message_log::said(r.said)) << r.path;
        EXPECT_EQ(tools(), had) << r.path;
        EXPECT_EQ(write_toolset_text(0), before) << r.path;
        EXPECT_EQ(app_string_text(palette_cells.name), mine) << r.path;
    }
    // A good file then replaces them.
    message_log::messages.clear();
    std::string other = file("other.kts", header() + "Loops|Other\n" + place(0, 4));
    EXPECT_EQ(read_toolset(other.c_str(), 0), 1);
    EXPECT_EQ(tools(), (std::vector<placed>{{0, 4, "Other"}}));
    EXPECT_TRUE(message_log::messages.empty());
}

TEST_F(Toolset, ACutFileLoadsWhatItHoldsAndSaysItEndedEarly) {
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    const std::string whole = write_toolset_text(0);
    free_toolset(0);
    // The whole file: no word.
    std::string path = file("whole.kts", whole);
    ASSERT_EQ(read_toolset(path.c_str(), 0), 9);
    EXPECT_EQ(count("ends early"), 0);
    // Cut inside a line anywhere after the grid line: the tools read stay,
    // and a message says the file ended early.
    const std::size_t grid_end = whole.find('\n', whole.find('\n') + 1) + 1;
    int cuts = 0;
    for (std::size_t at = grid_end + 3; at < whole.size(); at += 37) {
        if (whole[at - 1] == '\n') continue;
        message_log::messages.clear();
        path = file("cut.kts", whole.substr(0, at));
        const int n = read_toolset(path.c_str(), 0);
        if (n == 0) continue; // cut inside the first tool: refused, said so
        ++cuts;
        EXPECT_TRUE(message_log::said("The tool set " + path + " ends early", 7)) << at;
        EXPECT_LE(n, 9);
    }
    // Cut after a tool's name, before its placement: the same.
    const std::size_t table = whole.find("Table|Table\n");
    ASSERT_NE(table, std::string::npos);
    message_log::messages.clear();
    path = file("cut.kts", whole.substr(0, table + 12));
    EXPECT_GT(read_toolset(path.c_str(), 0), 0);
    EXPECT_TRUE(message_log::said("ends early", 7));
    // Cut at a line's end, before a tool's option line: the same.
    const std::size_t options = whole.find('\n', whole.find("\n=0,=13,") + 1) + 1;
    message_log::messages.clear();
    path = file("cut.kts", whole.substr(0, options));
    EXPECT_GT(read_toolset(path.c_str(), 0), 0);
    EXPECT_TRUE(message_log::said("ends early", 7));
    // Cut inside a placement line, before the colours: the palette's own
    // colours, as for the tools whose lines say -1.
    const std::size_t place_line = whole.find("\n=0,=13,") + 1;
    path = file("cut.kts", whole.substr(0, place_line + 8));
    ASSERT_GT(read_toolset(path.c_str(), 0), 0);
    handle cut_tool = grid_tool(palette_cells, 0, 13);
    ASSERT_NE(cut_tool, 0u);
    tool_record* rec = lock_tool(cut_tool);
    EXPECT_EQ(rec->text_colour, -1);
    EXPECT_EQ(rec->back_colour, -1);
    unlock_tool(cut_tool);
    EXPECT_GT(cuts, 5);
}

TEST_F(Toolset, EmptyNameReopensTheCurrentSetElseTheBuiltIn) {
    std::string path = file("cur.kts", header() + "Loops|Mine\n" + place(0, 0));
    ASSERT_EQ(read_toolset(path.c_str(), 0), 1);
    // Reading "" again takes the same file (the name is kept by the read).
    int name = palette_cells.name;
    ASSERT_NE(name, 0);
    std::string kept = path;
    auto* cells = static_cast<handle*>(lock_handle(palette_cells.cells));
    handle t = cells[0];
    cells[0] = 0; // take the tool out so the read below does not see it
    unlock_handle(palette_cells.cells);
    free_tool(t);
    EXPECT_EQ(read_toolset("", 0), 1);
    EXPECT_EQ(tools(), (std::vector<placed>{{0, 0, "Mine"}}));
    // A bad current file read by "" falls back to the built-in set.
    free_toolset(0);
    EXPECT_EQ(palette_cells.name, 0);
    EXPECT_EQ(read_toolset("", 0), 9); // no default.kts beside the tests
    EXPECT_TRUE(message_log::messages.empty());
}

// ------------------------------------------------------------ option text ---

struct all_kinds {
    std::int32_t i;
    std::int8_t b;
    std::uint8_t spare[3];
    float f;
    font_spec font;
    std::int32_t l;
    char text[12];
    float na;
};
constexpr toptset_field all_fields[] = {
    {offsetof(all_kinds, i), tf_int},    {offsetof(all_kinds, b), tf_byte},
    {offsetof(all_kinds, f), tf_float},  {offsetof(all_kinds, font), tf_font},
    {offsetof(all_kinds, l), tf_long},   {offsetof(all_kinds, text), 12},
    {offsetof(all_kinds, na), tf_float}, {-1, 0},
};

TEST(ToptsetText, EveryKindWritesAndReadsBack) {
    all_kinds a{};
    a.i = -123456;
    a.b = -5;
    a.f = 2.5f;
    a.font.size = 9;
    a.font.style = font_bold;
    std::strcpy(a.font.face, "Arial, Narrow");
    a.l = 77;
    std::strcpy(a.text, "%8.3f");
    a.na = NA;
    std::string line;
    write_toptset(&line, &a, sizeof a, all_fields);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_NE(line.find(",NA,\n"), std::string::npos) << line;

    all_kinds b{};
    b.na = 7.0f;
    read_toptset(line.c_str(), &b, sizeof b, all_fields);
    EXPECT_EQ(b.i, a.i);
    EXPECT_EQ(b.b, a.b);
    EXPECT_EQ(b.f, a.f);
    EXPECT_EQ(b.font.size, 9);
    EXPECT_EQ(b.font.style, font_bold);
    EXPECT_STREQ(b.font.face, "Arial  Narrow"); // the comma could not stay
    EXPECT_EQ(b.l, 77);
    EXPECT_STREQ(b.text, "%8.3f");
    EXPECT_EQ(b.na, 7.0f); // "NA" does not scan: the default stays
}

TEST(ToptsetText, ShortLinesEmptyFieldsAndLongTexts) {
    all_kinds d{};
    d.i = 1;
    d.b = 2;
    d.f = 3;
    d.font.size = 11;
    std::strcpy(d.font.face, "Serif");
    d.l = 4;
    std::strcpy(d.text, "keep");

    all_kinds a = d;
    read_toptset("9,", &a, sizeof a, all_fields); // short: only the first
    EXPECT_EQ(a.i, 9);
    EXPECT_EQ(a.b, 2);
    EXPECT_STREQ(a.text, "keep");

    a = d;
    read_toptset(",,,,,", &a, sizeof a, all_fields); // empty fields keep all
    EXPECT_EQ(std::memcmp(&a, &d, sizeof a), 0);

    a = d;
    read_toptset("0,0,0,,5,", &a, sizeof a, all_fields); // an empty font keeps the font
    EXPECT_STREQ(a.font.face, "Serif");
    EXPECT_EQ(a.font.size, 11);
    EXPECT_EQ(a.l, 5);

    a = d;
    read_toptset("0,0,0,,0,abcdefghijklmnopqrstuvwxyz,6.5,", &a, sizeof a, all_fields);
    EXPECT_STREQ(a.text, "abcdefghijk"); // kind 12: 11 characters
    EXPECT_EQ(a.na, 6.5f);               // the next field still read

    a = d;
    read_toptset("0,0,0,,0,  last\r\n", &a, sizeof a, all_fields); // stops at the line end
    EXPECT_STREQ(a.text, "last");

    a = d;
    read_toptset("99999999999,300,", &a, sizeof a, all_fields); // saturated, cut to a byte
    EXPECT_EQ(a.i, INT32_MAX);
    EXPECT_EQ(a.b, static_cast<std::int8_t>(300 & 0xFF));
}

TEST(ToptsetText, UnknownKindsAreReportedAndSkipped) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    std::FILE* log = std::tmpfile();
    set_report_stream(log);
    struct {
        std::int32_t a, b;
    } v{1, 2};
    const toptset_field fields[] = {{0, 5}, {4, tf_int}, {0, 6}, {-1, 0}};
    std::string line;
    write_toptset(&line, &v, sizeof v, fields);
    EXPECT_EQ(line, "2,\n");
    EXPECT_TRUE(message_log::said("Unknown type 5 in write_toptset", 10));
    EXPECT_TRUE(message_log::said("Unknown type 6 in write_toptset", 10));
    read_toptset("7,8,9,", &v, sizeof v, fields);
    EXPECT_EQ(v.b, 8); // field 1 is the second of the line
    EXPECT_TRUE(message_log::said("Unknown type 5 in read_toptset", 10));
    // A field outside the block is skipped, not written.
    const toptset_field outside[] = {{6, tf_int}, {-1, 0}};
    read_toptset("5,", &v, sizeof v, outside);
    EXPECT_EQ(v.a, 1);
    EXPECT_EQ(v.b, 8);
    set_report_stream(nullptr);
    set_message_hook(nullptr);
    std::fclose(log);
}

} // namespace

namespace {

TEST_F(Toolset, ReadingOverASetFreesItsTools) {
    // The font dialog reads "" again without freeing first.
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    const std::size_t live = live_handle_count();
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    ASSERT_EQ(read_toolset("", 0), 9);
    EXPECT_EQ(live_handle_count(), live);
    free_toolset(0);
    EXPECT_LT(live_handle_count(), live);
}

} // namespace
