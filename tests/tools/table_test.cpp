// The grid window and the Table tool in the workbench, through the test
// driver: rows followed and drawn in their run colours, a click selecting a
// name as the workbench variable, copy as text and as a BIFF2 worksheet,
// save, lock and close; the Table tool on two runs of the population sample
// (its header, its rows by run, the kept axis of a second table, causes).
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/global.h"
#include "platform/print.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "resources/options.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "runs/sens.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/shot.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"
#include "tests/tools/grid_fixture.h"
#include "tests/tools/table_fixture.h"
#include "tools/document.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/liveruns.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/statstool.h"
#include "tools/table.h"
#include "tools/texttools.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace td = test_driver;

namespace {

using test_driver::count_colour;

int dark_pixels(const QImage& img, int y0, int y1) {
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 96) ++n;
    return n;
}

class GridWindow : public GridWindowTest {};

TEST_F(GridWindow, FollowsRowsScrollsAndDrawsRunColours) {
    handle rec = open_spread_window("Grid", 10, 10, 500, 200, nullptr, 10, 8, 0);
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(cur_output, rec);
    HWND w = outwin_window(rec);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(spread_rows(rec)->rows.size(), 0u);
    EXPECT_EQ(spread_add_row(0, "x", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0), 0)
        << "not a grid: nothing";
    const int lh = spread_line_height(rec);
    ASSERT_GT(lh, 0);
    RECT rc;
    GetClientRect(w, &rc);
    const int visible = rc.bottom / lh;
    ASSERT_GT(visible, 3);

    // Without a scroll limit the view stays at the top; with one it follows.
    const float v[3] = {1, 2, 3};
    for (int i = 0; i < visible + 5; ++i)
        spread_add_row(rec, "row", nullptr, v, nullptr, 3, false, nullptr, 0, i % 2 + 1);
    EXPECT_EQ(spread_top(rec), 0);
    set_spread_scroll_limit(rec);
    spread_add_row(rec, "last", nullptr, v, nullptr, 3, false, nullptr, 0, 0);
    const int rows = visible + 6;
    EXPECT_EQ(spread_top(rec), rows - visible) << "the new row shows";
    SendMessage(w, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(spread_top(rec), 0);
    SendMessage(w, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(spread_top(rec), 1);
    SendMessage(w, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(spread_top(rec), std::min(visible, rows - visible));
    SendMessage(w, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(spread_top(rec), rows - visible) << "the last page stays full";
    SendMessage(w, WM_VSCROLL, SB_TOP, 0);

    // Drawn: rows of the first and second run colour, the label column
    // before the first tab only.
    td::run_until_idle();
    QImage img = td::image(w);
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(count_colour(img, colour_table[0]), 20);
    EXPECT_GT(count_colour(img, colour_table[1]), 20);
    EXPECT_GT(dark_pixels(img.copy(0, 0, spread_first_tab(rec), img.height()), 0, lh), 0)
        << "ink of the label";
}

TEST_F(GridWindow, AClickSelectsTheNameCopiesCarryTextAndTheWorksheet) {
    handle rec = open_spread_window("Grid", 10, 10, 600, 200, nullptr, 12, 8, 0);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    const float v[3] = {1.5f, NA, 3};
    spread_add_row(rec, "\"Pop\" and its causes\tRuns:\t\\0\\base", nullptr, nullptr, nullptr, 0,
                   false, nullptr, 0, 0);
    spread_add_row(rec, "birth rate", nullptr, v, nullptr, 3, false, nullptr, 0, 1);
    td::run_until_idle();
    const int lh = spread_line_height(rec);
    // A click on "rate" selects the name "birth rate" of the second row.
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, lh + lh / 2));
    int row, s, e;
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 10);
    // A click past the text of a row with cells (in the cells) selects nothing.
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(30, lh + lh / 2));
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, -1) << "the selection ends with the button";
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spread_first_tab(rec) + 5, lh + 2));
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, -1);
    SendMessage(w, WM_LBUTTONUP, 0, 0);

    ASSERT_EQ(spread_copy(rec), 1);
    std::string text;
    std::vector<std::uint8_t> biff;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    if (HANDLE h = GetClipboardData(RegisterClipboardFormat("Biff"))) {
        auto* p = static_cast<const std::uint8_t*>(GlobalLock(static_cast<HGLOBAL>(h)));
        biff.assign(p, p + GlobalSize(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    EXPECT_EQ(text, "\"Pop\" and its causes\tRuns:\tbase\t\r\nbirth rate\t1.5\t--\t3\t\r\n");
    ASSERT_FALSE(biff.empty());
    int rows = 0, columns = 0;
    std::vector<biff_cell> cells;
    std::string why;
    // The global block may be larger than the worksheet: check up to EOF.
    std::size_t size = biff.size();
    while (size >= 4 && !(biff[size - 4] == 0x0A && biff[size - 3] == 0 && biff[size - 2] == 0 &&
                          biff[size - 1] == 0))
        --size;
    ASSERT_TRUE(check_biff2(biff.data(), size, &rows, &columns, &cells, &why)) << why;
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 4);
    int numbers = 0;
    for (const biff_cell& c : cells) numbers += c.number;
    EXPECT_EQ(numbers, 2) << "the NA leaves its cell empty";

    // While another window holds the clipboard open, the copy fails and
    // says so instead of reporting success.
    HWND other = make_test_window("Kavrel_test_holder", DefWindowProc);
    ASSERT_TRUE(OpenClipboard(other));
    answerer::box("Stop from Kavrel").text("Cannot copy the table to the clipboard").press(IDOK);
    EXPECT_EQ(spread_copy(rec), 0);
    EXPECT_EQ(answerer::pending(), 0u);
    CloseClipboard();
    DestroyWindow(other);

    // Save writes LF lines; a path that cannot be written says so.
    const std::string path = dir + "/grid.txt";
    ASSERT_EQ(spread_save(rec, path.c_str()), 1);
    std::ifstream in(path, std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "\"Pop\" and its causes\tRuns:\tbase\t\nbirth rate\t1.5\t--\t3\t\n");
    answerer::box("Stop from Kavrel").press(IDOK);
    EXPECT_EQ(spread_save(rec, (dir + "/no/such/dir/x.txt").c_str()), 0);
    EXPECT_EQ(answerer::pending(), 0u) << "the failed save is said";

    // Locked, Close leaves it; unlocked, Close frees it.
    SendMessage(w, WM_COMMAND, cmd_lock_output, 0);
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    EXPECT_NE(spread_rows(rec), nullptr);
    SendMessage(w, WM_COMMAND, cmd_unlock_output, 0);
    SendMessage(w, WM_COMMAND, cmd_close_output, 0);
    td::run_until_idle();
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(GridWindow, TheTextReportWritesLinesAsLabelRows) {
    handle rec = open_spread_window("Report", 10, 10, 400, 200, nullptr, 0, 0, 0);
    ASSERT_NE(rec, 0u);
    text_report(512, 0, 0, report_grid, static_cast<std::uintptr_t>(rec), 0);
    docprintf("first\tline\n");
    docprintf("second");
    doc_flush();
    text_report(0, 0, 0, report_none, 0, 0);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 2u);
    EXPECT_EQ(g->rows[0].label, "first\tline");
    EXPECT_FALSE(g->rows[0].has_cells);
    EXPECT_EQ(g->rows[1].label, "second");
}

TEST_F(TableTool, PopulationOverTwoRunsInTheirColoursAndASecondTableKeepsTheAxis) {
    handle t = tool("Table");
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->rows.size(), 4u);
    // The time header: 0 to 200 every saved time.
    const grid_row& head = g->rows[0];
    EXPECT_EQ(head.label.rfind("Time", 0), 0u) << head.label;
    ASSERT_EQ(head.cells.size(), 201u);
    EXPECT_EQ(head.cells[0].value, 0.0f);
    EXPECT_EQ(head.cells[200].value, 200.0f);
    // The newest run is the first.
    EXPECT_EQ(g->rows[1].label, "\"Population\"  Runs:\t\\0\\slow\t\\1\\base");
    const grid_row& slow = g->rows[2];
    const grid_row& base = g->rows[3];
    EXPECT_EQ(slow.label, "Population");
    EXPECT_EQ(base.label, " : base");
    EXPECT_EQ(slow.colour, 1);
    EXPECT_EQ(base.colour, 2);
    ASSERT_EQ(base.cells.size(), 201u);
    ASSERT_EQ(slow.cells.size(), 201u);
    EXPECT_FLOAT_EQ(base.cells[0].value, 1000.0f);
    EXPECT_FLOAT_EQ(slow.cells[0].value, 1000.0f);
    EXPECT_GT(base.cells[100].value, slow.cells[100].value) << "the slower births grow less";

    // On screen: both run colours, the header in the default colour.
    HWND w = outwin_window(rec);
    td::run_until_idle();
    const QImage img = save_shot(w, "table_population.png");
    ASSERT_FALSE(img.isNull());
    const int lh = spread_line_height(rec);
    EXPECT_GT(count_colour(img.copy(0, 2 * lh, img.width(), lh), colour_table[0]), 20);
    EXPECT_GT(count_colour(img.copy(0, 3 * lh, img.width(), lh), colour_table[1]), 20);
    EXPECT_GT(dark_pixels(img, 0, lh), 20);

    // A second table in the same window: no new header, the same times.
    choose("births");
    EXPECT_EQ(run(t), rec);
    ASSERT_EQ(g->rows.size(), 7u);
    EXPECT_EQ(g->rows[4].label.rfind("\"births\"", 0), 0u);
    EXPECT_EQ(g->rows[5].label, "births");
    EXPECT_EQ(g->rows[5].cells.size(), 201u);
}

// Two runs of different ranges and saving steps: the first from 0 to 100
// every 0.5, the second from 0 to 200 every 1. The table runs over the times
// of both (0 to 100 every 0.5, then 101 to 200), each run's values under
// their own times and "--" where the run saved nothing, on screen, in the
// copy, the saved file and the print alike.
// In place of the fixture's runs, two built ones of Population: "half"
// from 0 to 100 every 0.5 (1000 + 2 t, and last_half at 100) and "long"
// from 0 to 200 every 1 (5000 + t); "half" first.
void load_mixed_runs(const std::string& dir, float last_half = 1200) {
    const char* old[] = {"slow", "base"};
    ASSERT_EQ(set_runs1(-2, old, 2), 1);
    auto write = [&](const char* name, float step, float last, float base, float slope) {
        std::vector<float> times, pop;
        for (int k = 0; k * step <= last; ++k) {
            times.push_back(k * step);
            pop.push_back(base + slope * k * step);
        }
        if (step < 1) pop.back() = last_half;
        run_builder rb(cur_model_symbols);
        rb.times(times).series("Population", pop);
        ASSERT_EQ(rb.write(dir + "/" + name + ".kdf"), 1) << rb.error();
    };
    write("long", 1, 200, 5000, 1);
    write("half", 0.5f, 100, 1000, 2);
    ASSERT_EQ(load_runs(model_rec, -1, "long", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, -1, "half", 1, 0), 1);
    ASSERT_EQ(loaded_run_names(1), 2);
    ASSERT_STREQ(selected_run_names[0], "half");
}

// Where pdftotext -bbox finds a word: the left edge of its first match on
// the page, -1 when absent.
double word_x(const std::string& bbox, const std::string& word, std::size_t from = 0) {
    const std::string tail = ">" + word + "</word>";
    const std::size_t at = bbox.find(tail, from);
    if (at == std::string::npos) return -1;
    const std::size_t x = bbox.rfind("xMin=\"", at);
    return x == std::string::npos ? -1 : std::atof(bbox.c_str() + x + 6);
}

// The clipboard's text.
std::string clipboard_text() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    return text;
}

// The tab-separated fields of each line of a text.
std::vector<std::vector<std::string>> text_fields(const std::string& all) {
    std::vector<std::vector<std::string>> out;
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t nl = all.find('\n', at);
        if (nl == std::string::npos) nl = all.size();
        std::string line = all.substr(at, nl - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::size_t p = 0;
        for (std::size_t q; (q = line.find('\t', p)) != std::string::npos; p = q + 1)
            f.push_back(line.substr(p, q - p));
        if (p < line.size()) f.push_back(line.substr(p));
        out.push_back(std::move(f));
        at = nl + 1;
    }
    return out;
}

TEST_F(TableTool, RunsOfDifferentRangesAndStepsShowEveryTimeOfEach) {
    ASSERT_NO_FATAL_FAILURE(load_mixed_runs(dir));

    handle t = tool("Table");
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    const grid_row& head = g->rows[0];
    const grid_row& half = g->rows[2];
    const grid_row& longer = g->rows[3];
    ASSERT_EQ(head.cells.size(), 301u);
    ASSERT_EQ(half.cells.size(), 301u);
    ASSERT_EQ(longer.cells.size(), 301u);
    EXPECT_EQ(longer.label, " : long");
    for (int k = 0; k < 301; ++k) {
        const float time = k <= 200 ? 0.5f * k : static_cast<float>(k - 100);
        ASSERT_EQ(head.cells[static_cast<std::size_t>(k)].value, time) << k;
        // A time a run did not save is the missing-value cell "--".
        auto shown = [&](const grid_row& row) {
            const grid_cell& c = row.cells[static_cast<std::size_t>(k)];
            return c.kind == cell_short_text ? c.text : std::to_string(c.value);
        };
        if (k <= 200)
            EXPECT_EQ(shown(half), std::to_string(1000 + 2 * time)) << "half at " << time;
        else
            EXPECT_EQ(shown(half), "--") << "half has nothing at " << time;
        if (k <= 200 && k % 2)
            EXPECT_EQ(shown(longer), "--") << "long saved nothing at " << time;
        else
            EXPECT_EQ(shown(longer), std::to_string(5000 + time)) << "long at " << time;
    }

    // The copy and the saved file hold the same columns (the worksheet
    // beside the text holds 256 of them, and says so).
    answerer::box("Message from Kavrel")
        .text("The spreadsheet copy holds only the first 256 of 302 columns")
        .press(IDOK);
    ASSERT_EQ(spread_copy(rec), 1);
    EXPECT_EQ(answerer::pending(), 0u);
    std::string text;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(h)));
        GlobalUnlock(static_cast<HGLOBAL>(h));
    }
    CloseClipboard();
    auto fields_of_line = [](const std::string& all, int line, const char* end) {
        std::size_t at = 0;
        for (int i = 0; i < line; ++i) at = all.find(end, at) + std::strlen(end);
        const std::string l = all.substr(at, all.find(end, at) - at);
        std::vector<std::string> f;
        std::size_t p = 0;
        for (std::size_t q; (q = l.find('\t', p)) != std::string::npos; p = q + 1)
            f.push_back(l.substr(p, q - p));
        return f;
    };
    const std::string path = dir + "/mixed.txt";
    ASSERT_EQ(spread_save(rec, path.c_str()), 1);
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const auto& [all, end] : {std::pair{text, "\r\n"}, std::pair{saved, "\n"}}) {
        const std::vector<std::string> times = fields_of_line(all, 0, end);
        const std::vector<std::string> h = fields_of_line(all, 2, end);
        const std::vector<std::string> l = fields_of_line(all, 3, end);
        ASSERT_EQ(times.size(), 302u);
        ASSERT_EQ(h.size(), 302u);
        ASSERT_EQ(l.size(), 302u);
        EXPECT_EQ(times[2], "0.5");
        EXPECT_EQ(times[301], "200");
        EXPECT_EQ(h[2], "1001");
        EXPECT_EQ(h[201], "1200");
        EXPECT_EQ(h[202], "--");
        EXPECT_EQ(l[2], "--");
        EXPECT_EQ(l[3], "5001");
        EXPECT_EQ(l[301], "5200");
    }

    // The print holds the last time and the second run's last value.
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/mixed.pdf";
    const pdf_printer to_pdf(pdf);
    ASSERT_EQ(spread_print(rec), 1);
    const std::string printed = pdf_text(pdf);
    EXPECT_NE(printed.find("5200"), std::string::npos) << printed.substr(0, 2000);
    EXPECT_NE(printed.find("200"), std::string::npos);
}

// Stats over the two runs: the numbers as the runs give them, the copy and
// the saved file with every digit a number needs, and the run names in the
// label column only (never under a statistic's heading).
TEST_F(TableTool, StatsOverTwoRunsKeepsEveryDigitAndTheRunNamesOutOfItsColumns) {
    ASSERT_NO_FATAL_FAILURE(load_mixed_runs(dir, 12204.7148f));
    handle rec = run(tool("Stats"));
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_EQ(g->rows[1].label.find('\t'), std::string::npos) << g->rows[1].label;
    EXPECT_NE(g->rows[1].label.find("Runs: half, long"), std::string::npos) << g->rows[1].label;
    ASSERT_EQ(spread_copy(rec), 1);
    const std::string path = dir + "/stats.txt";
    ASSERT_EQ(spread_save(rec, path.c_str()), 1);
    std::ifstream in(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& text : {clipboard_text(), saved}) {
        const auto lines = text_fields(text);
        ASSERT_EQ(lines.size(), 4u) << text;
        EXPECT_EQ(lines[0][1], "Count");
        EXPECT_EQ(lines[0][2], "Min");
        EXPECT_EQ(lines[0][3], "Max");
        EXPECT_EQ(lines[1].size(), 1u) << "the title line is one field";
        // half: 201 values 1000 + 2 t for t = 0 .. 99.5 and 12204.7148 at 100.
        EXPECT_EQ(lines[2][0], "Population");
        EXPECT_EQ(lines[2][1], "201");
        EXPECT_EQ(lines[2][2], "1000");
        EXPECT_EQ(lines[2][3], "12204.7148");
        // long: 201 values 5000 + t for t = 0 .. 200; mean 5100.
        EXPECT_EQ(lines[3][0], " : long");
        EXPECT_EQ(lines[3][1], "201");
        EXPECT_EQ(lines[3][2], "5000");
        EXPECT_EQ(lines[3][3], "5200");
        EXPECT_EQ(lines[3][4], "5100");
        for (std::size_t l = 0; l < lines.size(); ++l)
            for (std::size_t f = 1; f < lines[l].size(); ++f)
                EXPECT_TRUE(lines[l][f].find("half") == std::string::npos &&
                            lines[l][f].find("long") == std::string::npos)
                    << "line " << l << " field " << f << ": " << lines[l][f];
    }
}

// A table laid out time down over the two runs: each run's column headed by
// the variable and its run, no run name among the values, and the print in
// fixed columns however long the values before.
TEST_F(TableTool, TimeDownHeadsEachRunsColumnAndPrintsInColumns) {
    ASSERT_NO_FATAL_FAILURE(load_mixed_runs(dir, 12204.7148f));
    handle t = tool("Table");
    change_table_options(t, [](table_tool_options& o) { o.layout = 1; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_EQ(g->rows[2].label, "Population : half");
    EXPECT_EQ(g->rows[3].label, "Population : long");
    // Its columns are wide enough for these headings: 18 characters
    // ("Population" and " : long" and a margin) where the tool asks for 14,
    // the label column keeping its 30.
    EXPECT_EQ(spread_tab_width(rec) * 30, spread_first_tab(rec) * 18);
    EXPECT_EQ(g->rows[1].label.find('\t'), std::string::npos) << g->rows[1].label;
    answerer::box("Message from Kavrel").press(IDOK); // the worksheet's row limit is no issue
    ASSERT_EQ(spread_copy(rec), 1);
    answerer::clear();
    const auto lines = text_fields(clipboard_text());
    ASSERT_EQ(lines.size(), 302u);
    EXPECT_EQ(lines[0][2], "Population : half");
    EXPECT_EQ(lines[0][3], "Population : long");
    EXPECT_EQ(lines[1], (std::vector<std::string>{"0", "", "1000", "5000"}));
    EXPECT_EQ(lines[2], (std::vector<std::string>{"0.5", "", "1001", "--"}));
    EXPECT_EQ(lines[201], (std::vector<std::string>{"100", "", "12204.7148", "5100"}));
    EXPECT_EQ(lines[301], (std::vector<std::string>{"200", "", "--", "5200"}));
    for (std::size_t l = 1; l < lines.size(); ++l)
        for (const std::string& f : lines[l])
            ASSERT_TRUE(f.find("half") == std::string::npos && f.find("long") == std::string::npos)
                << "line " << l;

    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/timedown.pdf";
    const pdf_printer to_pdf(pdf);
    opts.print_selection = 0;
    ASSERT_EQ(spread_print(rec), 1);
    const std::string bbox = pdf_text_bbox(pdf);
    // The long run's values stand in one column, after a short or a long
    // value of the first run alike; so do the first run's.
    const double l1 = word_x(bbox, "5001"), l100 = word_x(bbox, "5100");
    const double h1 = word_x(bbox, "1002"), h100 = word_x(bbox, "12204.7");
    ASSERT_GT(l1, 0) << bbox.substr(0, 3000);
    ASSERT_GT(l100, 0);
    ASSERT_GT(h1, 0);
    ASSERT_GT(h100, 0);
    EXPECT_NEAR(l1, l100, 3.0);
    EXPECT_NEAR(h1, h100, 3.0);
    EXPECT_GT(l1, h1 + 20);
}

// Highlighting a run on the Datasets page makes it active: it comes first,
// and the table still shows every loaded run, the active one first.
TEST_F(TableTool, TheActiveRunComesFirstAndEveryLoadedRunStays) {
    ASSERT_NO_FATAL_FAILURE(load_mixed_runs(dir));
    const char* active[] = {"long"};
    ASSERT_EQ(set_runs1(1, active, 1), 1);
    EXPECT_EQ(model_rec->active_count, 1);
    handle rec = run(tool("Table"));
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_EQ(g->rows[1].label, "\"Population\"  Runs:\t\\0\\long\t\\1\\half");
    EXPECT_EQ(g->rows[2].label, "Population");
    EXPECT_EQ(g->rows[3].label, " : half");
    ASSERT_EQ(g->rows[2].cells.size(), 301u);
    EXPECT_EQ(grid_cell_text(g->rows[2], g->rows[2].cells[300]), "5200");
    EXPECT_EQ(grid_cell_text(g->rows[3], g->rows[3].cells[1]), "1001"); // time 0.5
}

TEST_F(TableTool, CausesFollowTheVariableAndSingleValuesTakeOneCell) {
    handle t = tool("Table");
    // related variables 0: the variable and its causes.
    change_table_options(t, [](table_tool_options& o) { o.related = 0; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    std::vector<std::string> labels;
    for (const grid_row& row : g->rows)
        if (row.colour == 1) labels.push_back(grid_label_fields(row.label).front());
    // Population, then its causes; the constant's row has one value.
    ASSERT_GE(labels.size(), 4u);
    EXPECT_EQ(labels[0], "Population");
    EXPECT_NE(std::find(labels.begin(), labels.end(), "births"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "deaths"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "initial population"), labels.end());
    for (const grid_row& row : g->rows)
        if (row.label.rfind("initial population\t", 0) == 0) {
            EXPECT_FALSE(row.has_cells);
            EXPECT_EQ(grid_label_fields(row.label)[1], "1000") << row.label;
        }
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "Population"), 1)
        << "the variable is not listed again among its causes";
}

TEST_F(TableTool, TheOptionLineReadsBackAndSetsTheIcon) {
    handle t =
        tool("Table", "0,1,1,1,1,1,1,1,1,1,0,0,Arial|10||0-0-0,30,14,1,0,0,0,0,0,0,0,2,40,%.2f,\n");
    tool_record* r = lock_tool(t);
    const table_tool_options o = *static_cast<table_tool_options*>(tool_options(r));
    const std::uint32_t icon = r->icon;
    unlock_tool(t);
    EXPECT_EQ(o.related, 0);
    EXPECT_EQ(o.layout, 1);
    EXPECT_EQ(icon, 0x2D0070u) << "the transposed layout's picture";
    EXPECT_EQ(o.spectral, 2);
    EXPECT_STREQ(o.number_format, "%.2f");
    std::string out;
    analysis_tool_table[find_tool_row("Table")].setup(1, t, &out, nullptr);
    EXPECT_NE(out.find(",2,40,%.2f,"), std::string::npos) << out;
}

TEST_F(TableTool, TheStatsOptionLineReadsBackWithItsOwnIconAndAction) {
    handle t = tool("Stats", "1,1,0,1,1,1,1,1,1,1,0,0,Arial|10||0-0-0,32,12,1,1,3,12.5,975,25,0,0,"
                             "0,0,0,0,2,%.3f,\n");
    tool_record* r = lock_tool(t);
    const stats_tool_options o = *static_cast<stats_tool_options*>(tool_options(r));
    const std::uint32_t icon = r->icon;
    const tool_action action = tool_action_of(r->action);
    unlock_tool(t);
    EXPECT_EQ(icon, 0x2D0040u);
    EXPECT_EQ(action, &stats_tool_run);
    EXPECT_EQ(o.variable_set, 1);
    EXPECT_EQ(o.print_switch[1], 0);
    EXPECT_EQ(o.first_tab, 32);
    EXPECT_EQ(o.tab_width, 12);
    EXPECT_EQ(o.time_choice, 3);
    EXPECT_FLOAT_EQ(o.time, 12.5f);
    EXPECT_EQ(o.percentiles[0], 975);
    EXPECT_EQ(o.percentiles[1], 25);
    EXPECT_EQ(o.mode, 2);
    EXPECT_STREQ(o.number_format, "%.3f");
    std::string out;
    analysis_tool_table[find_tool_row("Stats")].setup(1, t, &out, nullptr);
    std::string again;
    handle u = tool("Stats", out.c_str());
    analysis_tool_table[find_tool_row("Stats")].setup(1, u, &again, nullptr);
    EXPECT_EQ(again, out) << "the written line reads back to the same options";
    EXPECT_NE(out.find(",975,25,"), std::string::npos) << out;
}

} // namespace

namespace {

TEST_F(TableTool, StatsGivesItsHeadingsAndARowPerRunWithRSquareAgainstTheFirst) {
    // Percentiles 975 and 25 (packed and sorted), R-square on.
    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) {
        o.percentiles[3] = 975;
        o.percentiles[6] = 25;
        o.r_square = 1;
    });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    const grid_row& head = g->rows[0];
    EXPECT_EQ(head.label, "Variable");
    std::vector<std::string> headings;
    for (const grid_cell& c : head.cells) headings.push_back(c.text);
    EXPECT_EQ(headings, (std::vector<std::string>{"Count", "Min", "Max", "Mean", "Median", "StDev",
                                                  "(Norm)", "3%", "98%", "R-square", "#points"}));
    EXPECT_EQ(g->rows[1].label.rfind("\"Population\" for Time from 0 to 200 Runs:", 0), 0u)
        << g->rows[1].label;
    const grid_row& first = g->rows[2];
    const grid_row& second = g->rows[3];
    EXPECT_EQ(first.label, "Population");
    EXPECT_EQ(second.label, " : base");
    EXPECT_EQ(first.colour, 1);
    EXPECT_EQ(second.colour, 2);
    ASSERT_EQ(first.cells.size(), 11u);
    ASSERT_EQ(second.cells.size(), 11u);
    EXPECT_FLOAT_EQ(first.cells[0].value, 201) << "every saved time from 0 to 200";
    EXPECT_FLOAT_EQ(first.cells[1].value, 1000) << "the minimum is the initial population";
    EXPECT_LE(first.cells[1].value, first.cells[4].value);
    EXPECT_LE(first.cells[4].value, first.cells[2].value);
    EXPECT_LE(first.cells[7].value, first.cells[8].value) << "3 % below 98 %";
    EXPECT_FLOAT_EQ(first.cells[9].value, 1) << "the first run against itself";
    // The second run: an R-square below 1 and an integer count of points.
    EXPECT_LT(second.cells[9].value, 1);
    EXPECT_EQ(second.cells[10].kind, cell_integer);
    EXPECT_EQ(second.cells[10].integer, 201);
}

TEST_F(TableTool, StatsAcrossSubscriptsOfAScalarGivesOneValue) {
    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) {
        o.mode = 2;
        o.time_choice = 1; // the start: the initial population
    });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_NE(g->rows[1].label.find("results across subscripts at time 0 "), std::string::npos)
        << g->rows[1].label;
    const grid_row& row = g->rows[2];
    ASSERT_EQ(row.cells.size(), 7u);
    EXPECT_FLOAT_EQ(row.cells[0].value, 1);
    EXPECT_FLOAT_EQ(row.cells[1].value, 1000);
    EXPECT_FLOAT_EQ(row.cells[5].value, 0) << "one value: no deviation";
    EXPECT_FLOAT_EQ(row.cells[6].value, 0) << "(Norm) 0 for a mean that is not 0";
}

} // namespace

namespace {

TEST_F(TableTool, DocumentShowsTheFirstRunsValuesOfTheVariableAndItsCauses) {
    document_options o;
    o.values = 1;
    o.cause_constants = 1;
    o.cause_values = 1;
    model_rec->special = 0; // the values at the start
    text_report(512, 75, 0, report_none, 0, 0);
    lock_model(0);
    const symbol_id pop = find_symbol("Population");
    unlock_model(0);
    ASSERT_EQ(document_variable(pop, o), 1);
    const std::string text = join_report_lines(1);
    text_report(0, 0, 0, report_none, 0, 0);
    // Its own value, then each cause with its value (constants and flows).
    EXPECT_NE(text.find("\n           =1000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("     initial population - \n           =1000\n"), std::string::npos)
        << text;
    // births at time 0 in the first run ("slow", birth rate 0.02).
    EXPECT_NE(text.find("     births - \n           =2"), std::string::npos) << text;
    // Without a run nothing but the names.
    o.values = 0;
    o.cause_values = 0;
    text_report(512, 75, 0, report_none, 0, 0);
    ASSERT_EQ(document_variable(pop, o), 1);
    const std::string bare = join_report_lines(1);
    text_report(0, 0, 0, report_none, 0, 0);
    EXPECT_EQ(bare.find("     births - \n      "), std::string::npos) << bare;
    EXPECT_NE(bare.find("     initial population - \n           =1000\n"), std::string::npos)
        << "cause constants still show";
}

// The last row of the grid with this label: a second table in a window
// follows the first.
const grid_row* last_row(const grid_rows* g, const std::string& label) {
    const grid_row* found = nullptr;
    for (const grid_row& r : g->rows)
        if (r.label == label) found = &r;
    return found;
}

TEST_F(TableTool, ASeriesValueAtATimeIsChosenAsTheRunAccessorsChooseIt) {
    // The re-runs' values are picked at a time by the tools' own code; it
    // must agree with the run files' reading at and between saved times,
    // outside the run and with no time.
    const int run = model_rec->runs[0].run;
    std::vector<float> values, times;
    ASSERT_EQ(read_run_values("births", "Time", run, values, times), 201);
    for (int mode : {-1, 0, 1})
        for (float at :
             {-1.0f, -0.4f, 0.0f, 0.25f, 0.5f, 0.75f, 99.5f, 150.0f, 200.0f, 200.4f, 201.0f, NA}) {
            float want = 0;
            ASSERT_EQ(run_value_at_time("births", "Time", run, &want, &at, mode), 1);
            const float got = series_value_at(times.data(), values.data(), 201, &at, mode);
            if (is_na(want))
                EXPECT_TRUE(is_na(got)) << at << " mode " << mode;
            else
                EXPECT_FLOAT_EQ(got, want) << at << " mode " << mode;
        }
    const float one = 7, at = 3;
    EXPECT_EQ(series_value_at(&at, &one, 1, &at, 0), 7.0f) << "a single value at any time";
    EXPECT_TRUE(is_na(series_value_at(&at, &one, 0, &at, 0)));
    // Interpolating next to a missing value takes the nearer saved value as
    // it stands (NA included), never a number made from NA.
    const float ts[] = {0, 1, 2}, vs[] = {10, NA, 30};
    const float near_first = 0.25f, near_gap = 0.75f;
    EXPECT_EQ(series_value_at(ts, vs, 3, &near_first, 1), 10.0f);
    EXPECT_TRUE(is_na(series_value_at(ts, vs, 3, &near_gap, 1)));
}

TEST_F(TableTool, DuringLivesweepTablesStatsAndDocumentShowTheReRunsOfTheShownRun) {
    // The re-runs write the shown run's values into the value cache only;
    // its run file keeps the values it was simulated with (birth rate 0.02).
    model_opened(); // as on opening the model: the value cache
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    install_cache_livesweep_hook();
    ASSERT_EQ(menu_command(cmd_livesweep), 1);
    ASSERT_EQ(livesweep_state, ls_on);
    ASSERT_EQ(shown_run_index(), model_rec->runs[0].run) << "the run being made: slow";
    const int slow = model_rec->runs[0].run, base = model_rec->runs[1].run;
    std::vector<float> file_slow, file_base, times;
    ASSERT_EQ(read_run_values("Population", "Time", slow, file_slow, times), 201);
    ASSERT_EQ(read_run_values("Population", "Time", base, file_base, times), 201);
    model_rec->special = 0;
    document_options o;
    o.values = 1;
    o.cause_values = 1;
    lock_model(0);
    const symbol_id pop = find_symbol("Population");
    const std::int32_t rate = sym(find_symbol("birth rate"))->slot;
    unlock_model(0);
    auto document = [&] {
        text_report(512, 75, 0, report_none, 0, 0);
        EXPECT_EQ(document_variable(pop, o), 1);
        const std::string text = join_report_lines(1);
        text_report(0, 0, 0, report_none, 0, 0);
        return text;
    };
    // Each tool once before a re-run: the values the run was made with (and
    // the variables the sketch would show are in the cache).
    handle table = tool("Table"), stats = tool("Stats");
    handle rec = run(table);
    ASSERT_NE(rec, 0u);
    ASSERT_NE(last_row(spread_rows(rec), "Population"), nullptr);
    EXPECT_FLOAT_EQ(last_row(spread_rows(rec), "Population")->cells[100].value, file_slow[100]);
    ASSERT_NE(run(stats), 0u);
    std::vector<float> file_births;
    ASSERT_GT(read_run_values("births", "Time", slow, file_births, times), 0);
    auto births_line = [](float v) {
        char text[64];
        std::snprintf(text, sizeof text, "     births - \n           =%g\n",
                      static_cast<double>(v));
        return std::string(text);
    };
    EXPECT_NE(document().find(births_line(file_births[0])), std::string::npos);

    // A faster birth rate, re-run as a slider would ask.
    ASSERT_EQ(set_setup_value(rate, 0.05f), 1);
    ASSERT_EQ(livesweep_rerun(0, 2, 0), 1);
    td::run_until_idle();

    // The table: the shown run's row is the re-run's, the other run's its file.
    run(table);
    const grid_rows* g = spread_rows(rec);
    const grid_row* live = last_row(g, "Population");
    const grid_row* fixed = last_row(g, " : base");
    ASSERT_NE(live, nullptr);
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(live->cells.size(), 201u);
    ASSERT_EQ(fixed->cells.size(), 201u);
    EXPECT_FLOAT_EQ(live->cells[0].value, 1000.0f);
    EXPECT_GT(live->cells[100].value, file_slow[100] * 1.5f) << "births outgrow deaths faster";
    EXPECT_GT(live->cells[200].value, live->cells[100].value);
    EXPECT_FLOAT_EQ(fixed->cells[100].value, file_base[100]);

    // Stats: the shown run's maximum is the re-run's last value.
    handle srec = run(stats);
    ASSERT_NE(srec, 0u);
    const grid_row* s_live = last_row(spread_rows(srec), "Population");
    const grid_row* s_fixed = last_row(spread_rows(srec), " : base");
    ASSERT_NE(s_live, nullptr);
    ASSERT_NE(s_fixed, nullptr);
    EXPECT_GT(s_live->cells[2].value, *std::max_element(file_slow.begin(), file_slow.end()) * 1.5f);
    EXPECT_FLOAT_EQ(s_live->cells[2].value, live->cells[200].value);
    EXPECT_FLOAT_EQ(s_fixed->cells[2].value, *std::max_element(file_base.begin(), file_base.end()));

    // Document: births at time 0 as the re-run made them (the first point of
    // the re-run changes with the birth rate).
    {
        lock_model(0);
        const std::int32_t births = sym(find_symbol("births"))->slot;
        unlock_model(0);
        const float *t = nullptr, *v = nullptr;
        ASSERT_GT(cached_series(births, &t, &v, shown_run_slot()), 0);
        EXPECT_GT(v[0], file_births[0] * 2);
        const std::string text = document();
        EXPECT_NE(text.find(births_line(v[0])), std::string::npos) << text;
    }

    ASSERT_EQ(menu_command(cmd_livesweep), 1);
    EXPECT_EQ(livesweep_state, ls_off);
    set_livesweep_refresh_hook(nullptr);
    set_livesweep_save_hook(nullptr);
    // Outside Livesweep the tools read the run file again.
    run(table);
    EXPECT_FLOAT_EQ(last_row(spread_rows(rec), "Population")->cells[100].value, file_slow[100]);
}

} // namespace

namespace {

std::vector<run_name> parsed_names(const std::vector<std::string>& names) {
    std::vector<run_name> out;
    for (const std::string& n : names) {
        run_name p;
        EXPECT_TRUE(parse_run_name(n.c_str(), p)) << n;
        out.push_back(p);
    }
    return out;
}

TEST(ArrayOutput, ATwoDimensionalVariableGivesOneHeaderAndARowPerFirstSubscript) {
    const std::vector<run_name> x =
        parsed_names({"x[a1,b1]", "x[a1,b2]", "x[a1,b3]", "x[a2,b1]", "x[a2,b2]", "x[a2,b3]"});
    const std::vector<array_row> rows = array_output_layout(x);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].elements, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(rows[1].elements, (std::vector<int>{3, 4, 5}));
    for (const array_row& r : rows) {
        EXPECT_EQ(r.varying, 1);
        EXPECT_EQ(r.outer, 0);
    }
    EXPECT_TRUE(rows[0].header);
    EXPECT_FALSE(rows[1].header) << "nothing changed: no second header";
    EXPECT_EQ(subscript_label(x[4]), "x[a2,b2]");
}

TEST(ArrayOutput, ScalarsStandAloneAndOtherColumnsTakeANewHeader) {
    const std::vector<run_name> x =
        parsed_names({"s", "y[a1,b1]", "y[a1,b2]", "y[a2,b1]", "y[a2,b3]", "t[c1]"});
    const std::vector<array_row> rows = array_output_layout(x);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].varying, -1) << "a scalar is written alone";
    EXPECT_EQ(rows[1].elements, (std::vector<int>{1, 2}));
    EXPECT_TRUE(rows[1].header);
    EXPECT_EQ(rows[2].elements, (std::vector<int>{3, 4}));
    EXPECT_TRUE(rows[2].header) << "b1, b3 are other columns than b1, b2";
    EXPECT_EQ(rows[2].outer, 0) << "the last row keeps the outer position";
    EXPECT_EQ(rows[3].varying, -1) << "a last element with no follower stands alone";
    EXPECT_EQ(subscript_label(x[0]), "s");
}

TEST_F(ArrayTable, DemandIsLaidOutByRegionAndProduct) {
    change_table_options(tool_, [](table_tool_options& o) { o.array_output = 1; });
    run_palette_tool(tool_);
    td::run_until_idle();
    tool_record* r = lock_tool(tool_);
    const handle rec = r->output;
    unlock_tool(tool_);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 7u);
    EXPECT_EQ(g->rows[0].label, "Array output format");
    EXPECT_NE(g->rows[1].label.find("Runs:\t\\0\\one"), std::string::npos) << g->rows[1].label;
    const grid_row& head = g->rows[2];
    EXPECT_EQ(head.label, "demand[region,product]");
    ASSERT_EQ(head.cells.size(), 3u);
    EXPECT_EQ(head.cells[0].text, "food");
    EXPECT_EQ(head.cells[2].text, "cloth");
    const char* regions[] = {"north", "south", "east", "west"};
    const float values[4][3] = {{10, 5, 2}, {8, 4, 3}, {12, 6, 1}, {9, 3, 4}};
    for (int i = 0; i < 4; ++i) {
        const grid_row& row = g->rows[static_cast<std::size_t>(3 + i)];
        EXPECT_EQ(row.label, regions[i]);
        ASSERT_EQ(row.cells.size(), 3u);
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(row.cells[static_cast<std::size_t>(k)].value, values[i][k]);
    }
}

} // namespace

namespace {

TEST_F(GridWindow, AThumbReachesTheLastOf40000Rows) {
    handle rec = open_spread_window("Long", 10, 10, 500, 200, nullptr, 10, 8, 0);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    const float v[2] = {1, 2};
    for (int i = 0; i < 40000; ++i)
        spread_add_row(rec, "row", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    td::run_until_idle();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE;
    GetScrollInfo(w, SB_VERT, &si);
    EXPECT_LE(si.nMax, 32767);
    SendMessage(w, WM_VSCROLL, SB_BOTTOM, 0);
    const int last_top = spread_top(rec);
    EXPECT_GT(last_top, 39900);
    const int end_thumb = GetScrollPos(w, SB_VERT);
    SendMessage(w, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 0), 0);
    EXPECT_EQ(spread_top(rec), 0);
    SendMessage(w, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, end_thumb), 0);
    EXPECT_GE(spread_top(rec), last_top - 2);
}

} // namespace

namespace {

TEST_F(GridWindow, PrintsItsRowsOrTheClickedRow) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/grid.pdf";
    const pdf_printer to_pdf(pdf);
    handle rec = open_spread_window("Stats of births", 10, 10, 500, 200, nullptr, 12, 8, 0);
    const float a[2] = {1.5f, 2.5f}, b[2] = {7, 8};
    spread_add_row(rec, "alpha", nullptr, a, nullptr, 2, false, nullptr, 0, 1);
    spread_add_row(rec, "beta", nullptr, b, nullptr, 2, false, nullptr, 0, 2);
    HWND w = outwin_window(rec);
    SendMessage(w, WM_COMMAND, cmd_print_output, 0);
    const std::string all = pdf_text(pdf);
    EXPECT_NE(all.find("Stats of births"), std::string::npos) << all;
    EXPECT_NE(all.find("alpha"), std::string::npos) << all;
    EXPECT_NE(all.find("2.5"), std::string::npos) << all;
    EXPECT_NE(all.find("beta"), std::string::npos) << all;

    // A row clicked, but Selection left on by another window's Print
    // Options: this grid still prints every row.
    std::filesystem::remove(pdf);
    opts.print_selection = 1;
    print_choice_record = static_cast<int>(rec) + 1;
    const int lh = spread_line_height(rec);
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, lh + 2));
    SendMessage(w, WM_LBUTTONUP, 0, MAKELPARAM(3, lh + 2));
    ASSERT_EQ(spread_print(rec), 1);
    std::string part = pdf_text(pdf);
    EXPECT_NE(part.find("alpha"), std::string::npos) << part;

    // Print Options for this grid offers Selection and checks it; printed,
    // the row clicked last.
    opts.print_selection = 0;
    bool offered = false, checked = false;
    answerer::dialog(dlg_print_options)
        .call([&](HWND d) {
            offered = IsWindowEnabled(GetDlgItem(d, idp_selection));
            checked = IsDlgButtonChecked(d, idp_selection) == BST_CHECKED;
        })
        .press(IDOK);
    ASSERT_EQ(print_options_dialog(static_cast<int>(rec)), 1);
    EXPECT_TRUE(offered);
    EXPECT_TRUE(checked);
    EXPECT_EQ(opts.print_selection, 1);
    std::filesystem::remove(pdf);
    ASSERT_EQ(spread_print(rec), 1);
    part = pdf_text(pdf);
    EXPECT_NE(part.find("beta"), std::string::npos) << part;
    EXPECT_EQ(part.find("alpha"), std::string::npos) << part;
    print_choice_record = 0;
}

// The printed table follows the screen's columns: a long row label does not
// push its values a column on (each value stands under its time), and a
// table wider than the page goes on, columns 11 onwards, on further pages
// that say which columns they hold.
TEST_F(GridWindow, PrintsInTheScreensColumnsAndEveryColumnOfAWideTable) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/columns.pdf";
    const pdf_printer to_pdf(pdf);
    opts.print_selection = 0;
    handle rec = open_spread_window("Table", 10, 10, 500, 200, nullptr, 12, 8, 0);
    std::string head = "Time";
    std::vector<float> a, b;
    for (int t = 0; t <= 200; ++t) {
        head += "\t" + std::to_string(t * 5);
        a.push_back(static_cast<float>(1000 + t));
        b.push_back(static_cast<float>(7000 + t));
    }
    spread_add_row(rec, head.c_str(), nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    spread_add_row(rec, "short", nullptr, a.data(), nullptr, 201, false, nullptr, 0, 1);
    spread_add_row(rec, "a variable with a long name : base", nullptr, b.data(), nullptr, 201,
                   false, nullptr, 0, 2);
    ASSERT_EQ(spread_print(rec), 1);
    const std::string bbox = pdf_text_bbox(pdf);
    // Time 5 and its values: one column.
    const double t5 = word_x(bbox, "5"), a5 = word_x(bbox, "1001"), b5 = word_x(bbox, "7001");
    ASSERT_GT(t5, 0) << bbox.substr(0, 2000);
    EXPECT_NEAR(a5, t5, 3.0);
    EXPECT_NEAR(b5, t5, 3.0);
    // Every column is printed, the last on a page of its own band.
    const std::string all = pdf_text(pdf);
    EXPECT_NE(all.find("7200"), std::string::npos);
    EXPECT_NE(all.find("1200"), std::string::npos);
    // Each column exactly once: the second row's values (7000 to 7200, which
    // no time or other value shares) each stand on the paper once.
    std::map<std::string, int> seen;
    {
        std::istringstream words(all);
        for (std::string w; words >> w;) ++seen[w];
    }
    for (int t = 0; t <= 200; ++t) EXPECT_EQ(seen[std::to_string(7000 + t)], 1) << 7000 + t;
    EXPECT_NE(all.find("Columns 1 to "), std::string::npos) << all.substr(0, 400);
    EXPECT_NE(all.find(" of 201"), std::string::npos);
    EXPECT_GT(std::count(all.begin(), all.end(), '\f'), 5);
}

} // namespace

namespace {

// A table of x[r] over 300 elements, one run: the question at the 256th.
class WideTable : public ToolsWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        show_tools_workbench();
        model_builder b("wide");
        b.control(0, 2, 1, 1);
        std::vector<std::string> names;
        for (int i = 0; i < 300; ++i) names.push_back("e" + std::to_string(i));
        std::vector<const char*> elements;
        for (const std::string& n : names) elements.push_back(n.c_str());
        b.range("r", elements);
        b.aux("x[r]", "Time * 2");
        ASSERT_TRUE(b.finish());
        const std::string model = dir + "/wide.kmf";
        ASSERT_EQ(b.write(model.c_str()), 1);
        ASSERT_NO_FATAL_FAILURE(open_and_simulate(model, "w", "x"));
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        td::run_until_idle();
        for (handle t : tools_) free_tool(t);
        for (const char* row : {"Loops", "Outline", "Document", "Table", "Stats", "Tree Diagram"})
            set_tool_setup(find_tool_row(row), nullptr);
        set_report_sink(report_text, nullptr);
        set_report_sink(report_grid, nullptr);
        spread_window_hook = nullptr;
        workbench_var = {};
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    // A new Table tool run once; its grid's element rows (run colour 1).
    std::vector<std::string> element_rows() {
        const int r = find_tool_row("Table");
        handle t = new_tool(r, "Table", analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
        analysis_tool_table[r].setup(0, t, nullptr, nullptr);
        tools_.push_back(t);
        run_palette_tool(t);
        td::run_until_idle();
        tool_record* rec = lock_tool(t);
        const handle out = rec->output;
        unlock_tool(t);
        std::vector<std::string> labels;
        if (const grid_rows* g = spread_rows(out))
            for (const grid_row& row : g->rows)
                if (row.colour == 1) labels.push_back(row.label);
        return labels;
    }
    std::vector<handle> tools_;
};

TEST_F(WideTable, TheQuestionAtThe256thElementStopsAt255OrGoesOnWithoutAskingAgain) {
    answerer::box("Question from Kavrel")
        .text("Current subscript selection would require the display of 300 elements.  Do you "
              "want to continue (answer no to truncate at 256).")
        .press(IDNO);
    std::vector<std::string> rows = element_rows();
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_EQ(rows.size(), 255u);
    EXPECT_EQ(rows.front(), "[e0]");
    EXPECT_EQ(rows.back(), "[e254]");
    close_framed_tool_windows(1);
    td::run_until_idle();
    answerer::box("Question from Kavrel").press(IDYES);
    rows = element_rows();
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_EQ(rows.size(), 300u) << "asked once, then all of them";
    EXPECT_EQ(rows.back(), "[e299]");
}

} // namespace

namespace {

TEST_F(GridWindow, TransposedRowsAreColumnsWithHeaderBoxesAndClickableNames) {
    handle rec = open_spread_window("Columns", 10, 10, 600, 300, nullptr, 6, 10, 1);
    ASSERT_NE(rec, 0u);
    HWND w = outwin_window(rec);
    spread_add_row(rec, "Time\tyear", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    const float a[3] = {1, 2, 3};
    const float b[2] = {10, 20};
    spread_add_row(rec, "births", nullptr, a, nullptr, 3, false, nullptr, 0, 1);
    spread_add_row(rec, "deaths", nullptr, b, nullptr, 2, false, nullptr, 0, 2);
    td::run_until_idle();
    const QImage img = save_shot(w, "grid_columns.png");
    ASSERT_FALSE(img.isNull());
    const int lh = spread_line_height(rec);
    const int x0 = spread_first_tab(rec), tw = spread_tab_width(rec);
    // Each row its column: the header box's two fields, the runs' values in
    // their colours under their names.
    EXPECT_GT(dark_pixels(img.copy(x0, 0, tw, 2 * lh + 4), 0, 2 * lh + 4), 10);
    EXPECT_GT(count_colour(img.copy(x0 + tw, 0, tw, 4 * lh), colour_table[0]), 10);
    EXPECT_GT(count_colour(img.copy(x0 + 2 * tw, 0, tw, 3 * lh), colour_table[1]), 10);
    EXPECT_EQ(count_colour(img.copy(x0 + 2 * tw, 3 * lh, tw, lh), colour_table[1]), 0)
        << "deaths has two values";
    // The text export goes column by column too.
    EXPECT_EQ(grid_export_text(*spread_rows(rec), "\n"),
              "Time\tbirths\tdeaths\t\nyear\t1\t10\t\n\t2\t20\t\n\t3\t\t\n");
    // A click on a column's name selects that row; the release makes it the
    // workbench variable when the model knows it (here none is open).
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0 + tw + 3, lh / 2));
    int row, s, e;
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(e - s, 6);
    SendMessage(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0 + tw + 3, 2 * lh + lh / 2));
    spread_selection(rec, &row, &s, &e);
    EXPECT_EQ(row, -1) << "a value is no name";
    SendMessage(w, WM_LBUTTONUP, 0, 0);
}

} // namespace

namespace {

TEST_F(TableTool, StatsAcrossSensitivityRunsTakesEachSimulationAtTheTime) {
    // A sensitivity run of three simulations of Population over times 0-3,
    // loaded first; the two simulated runs are no sensitivity runs.
    sens_spec s;
    s.rows = 3;
    s.times = 4;
    s.series = {"Population"};
    for (int r = 0; r < 3; ++r)
        for (int t = 0; t < 4; ++t) s.matrix.push_back(static_cast<float>(1000 * (r + 1) + t));
    run_builder rb(cur_model_symbols, 'S');
    rb.times({0, 1, 2, 3}).series("Population", {0, 1, 2, 3}).sensitivity(s);
    const std::string path = dir + "/sens.kdf";
    ASSERT_EQ(rb.write(path), 1) << rb.error();
    ASSERT_EQ(load_runs(model_rec, 1, path.c_str(), 1, 0), 1);
    ASSERT_EQ(loaded_run_names(1), 3);
    ASSERT_STREQ(selected_run_names[0], "sens");

    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) {
        o.mode = 1;
        o.time_choice = 3;
        o.time = 2;
        o.percentiles[0] = 500;
    });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 5u);
    EXPECT_NE(g->rows[1].label.find("sensitivity results at time 2 "), std::string::npos)
        << g->rows[1].label;
    const grid_row& sens = g->rows[2];
    ASSERT_EQ(sens.cells.size(), 8u);
    EXPECT_FLOAT_EQ(sens.cells[0].value, 3) << "three simulations";
    EXPECT_FLOAT_EQ(sens.cells[1].value, 1002);
    EXPECT_FLOAT_EQ(sens.cells[2].value, 3002);
    EXPECT_FLOAT_EQ(sens.cells[4].value, 2002) << "the median";
    EXPECT_FLOAT_EQ(sens.cells[7].value, 2002) << "the 50th percentile";
    // The simulated runs have no simulations to take: "--".
    for (int i = 3; i < 5; ++i) {
        EXPECT_FALSE(g->rows[static_cast<std::size_t>(i)].has_cells);
        EXPECT_EQ(grid_label_fields(g->rows[static_cast<std::size_t>(i)].label).back(), "--");
    }
}

} // namespace

namespace {

TEST_F(TableTool, ChangingLevelsListTheLevelsOfTheFirstRunThatMove) {
    handle t = tool("Table");
    change_table_options(t, [](table_tool_options& o) { o.changing_levels = 1; });
    choose(nullptr); // the workbench variable plays no part
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_EQ(g->rows[1].label.rfind("Changing levels for error threshold Rel:0 Abs:0 Runs:", 0),
              0u)
        << g->rows[1].label;
    EXPECT_EQ(g->rows[2].label, "Population");
    EXPECT_EQ(g->rows[2].cells.size(), 201u);
    EXPECT_EQ(g->rows[3].label, " : base");

    // A threshold above every change of the first steps leaves none.
    close_framed_tool_windows(1);
    td::run_until_idle();
    change_table_options(t, [](table_tool_options& o) { o.absolute_threshold = 1e6f; });
    answerer::box("Message from Kavrel").text("No levels are changing").press(IDOK);
    EXPECT_EQ(run(t), 0u);
    EXPECT_EQ(answerer::pending(), 0u);
}

} // namespace

namespace {

TEST_F(TableTool, SpectralColumnsReplaceASeriesByLagsAndAutocorrelation) {
    handle t = tool("Table");
    change_table_options(t, [](table_tool_options& o) {
        o.spectral = 2;
        o.max_lag = 10;
    });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    const grid_row* lags = nullptr;
    const grid_row* acf = nullptr;
    for (const grid_row& row : g->rows) {
        if (!lags && row.label == "Lag time") lags = &row;
        if (!acf && row.label == "Autocorrelation") acf = &row;
    }
    ASSERT_NE(lags, nullptr);
    ASSERT_NE(acf, nullptr);
    // Lags 0 to 10 of a run saved every 1: eleven columns, r(0) = 1, and a
    // growing population stays strongly correlated with itself.
    ASSERT_EQ(lags->cells.size(), 11u);
    EXPECT_FLOAT_EQ(lags->cells[10].value, 10);
    ASSERT_EQ(acf->cells.size(), 11u);
    EXPECT_FLOAT_EQ(acf->cells[0].value, 1);
    EXPECT_GT(acf->cells[1].value, 0.9f);
    EXPECT_LT(acf->cells[10].value, acf->cells[1].value);

    // The power spectrum: frequencies from 0 in steps of 1 / (N dt).
    close_framed_tool_windows(1);
    td::run_until_idle();
    change_table_options(t, [](table_tool_options& o) { o.spectral = 1; });
    rec = run(t);
    g = spread_rows(rec);
    const grid_row* freq = nullptr;
    for (const grid_row& row : g->rows)
        if (!freq && row.label == "Frequency") freq = &row;
    ASSERT_NE(freq, nullptr);
    ASSERT_EQ(freq->cells.size(), 128u) << "201 values: N = 256, half of it";
    EXPECT_FLOAT_EQ(freq->cells[0].value, 0);
    EXPECT_NEAR(freq->cells[1].value, 1.0 / 256, 1e-6);
}

} // namespace

namespace {

// A number wider than its column is printed as the same number with fewer
// digits, never cut into another one ("-1.25e+30" is never "-1.25e+3").
TEST_F(GridWindow, NumbersWiderThanTheirColumnKeepTheirValueOnPaper) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    const std::string pdf = dir + "/narrow.pdf";
    const pdf_printer to_pdf(pdf);
    opts.print_selection = 0;
    handle rec = open_spread_window("Narrow", 10, 10, 500, 200, nullptr, 8, 8, 0);
    const float v[2] = {-1.25e30f, 2.5f};
    spread_add_row(rec, "x", nullptr, v, nullptr, 2, false, nullptr, 0, 1);
    ASSERT_EQ(spread_print(rec), 1);
    const std::string all = pdf_text(pdf);
    EXPECT_EQ(all.find("e+3\n"), std::string::npos) << all;
    EXPECT_EQ(all.find("e+3 "), std::string::npos) << all;
    EXPECT_NE(all.find("e+30"), std::string::npos) << all;
    EXPECT_NE(all.find("2.5"), std::string::npos) << all;
}

} // namespace

namespace {

// At the end time across subscripts each run gives its final population; the
// R-square columns belong to series only, so they are left out even when
// asked for.
TEST_F(TableTool, StatsAtTheEndTimeAcrossSubscriptsHasNoRSquare) {
    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) {
        o.mode = 2;
        o.time_choice = 2;
        o.r_square = 1;
    });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    EXPECT_EQ(g->rows[0].cells.size(), 7u) << "no R-square or #points heading";
    EXPECT_NE(g->rows[1].label.find("results across subscripts at time 200 "), std::string::npos)
        << g->rows[1].label;
    for (int i = 0; i < 2; ++i) {
        float v = NA;
        const float end = 200;
        ASSERT_EQ(run_value_at_time("Population", nullptr, model_rec->runs[i].run, &v, &end, 1), 1);
        ASSERT_GT(v, 1000) << "the population grows in both runs";
        const grid_row& row = g->rows[2 + static_cast<std::size_t>(i)];
        ASSERT_EQ(row.cells.size(), 7u);
        EXPECT_FLOAT_EQ(row.cells[0].value, 1);
        EXPECT_FLOAT_EQ(row.cells[1].value, v) << "run " << i;
    }
}

// The first run is what the others are compared with: its R-square is 1 and
// it has no count of matched points of its own ("--"), where the second run
// counts every one of its 201 saved times.
TEST_F(TableTool, StatsFirstRunShowsNoPointCount) {
    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) { o.r_square = 1; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    ASSERT_EQ(g->rows[2].cells.size(), 9u);
    ASSERT_EQ(g->rows[3].cells.size(), 9u);
    EXPECT_EQ(grid_cell_text(g->rows[2], g->rows[2].cells[8]), "--");
    EXPECT_EQ(grid_cell_text(g->rows[3], g->rows[3].cells[8]), "201");
}

} // namespace

namespace {

// Laid out time down, a column widens for its heading (the element and its
// run) but never past 40 characters, however long the run's name; the label
// column keeps its 30.
TEST_F(TableTool, TimeDownColumnsWidenForTheirHeadingUpTo40Characters) {
    set_run_name("a run whose name runs on and on and on"); // 38 characters
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    handle t = tool("Table");
    change_table_options(t, [](table_tool_options& o) { o.layout = 1; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    ASSERT_GT(spread_first_tab(rec), 0);
    EXPECT_EQ(spread_tab_width(rec) * 30, spread_first_tab(rec) * 40);
}

} // namespace

namespace {

// R-square pairs each point of the first run with the second run's nearest
// time within half the second run's saving step: every one of the 201 points
// of "half" (0 to 100 every 0.5) lies within 0.5 of a time of "long" (every 1),
// so none is dropped though only 101 times are shared.
TEST_F(TableTool, StatsPairsEveryPointOfTheFirstRunWithinHalfAStep) {
    ASSERT_NO_FATAL_FAILURE(load_mixed_runs(dir));
    handle t = tool("Stats");
    change_options<stats_tool_options>(t, [](stats_tool_options& o) { o.r_square = 1; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 4u);
    const grid_row& second = g->rows[3];
    EXPECT_EQ(second.label, " : long");
    ASSERT_EQ(second.cells.size(), 9u);
    EXPECT_FLOAT_EQ(second.cells[0].value, 201) << "every saved time of the long run";
    EXPECT_EQ(second.cells[8].kind, cell_integer);
    EXPECT_EQ(second.cells[8].integer, 201);
}

} // namespace
