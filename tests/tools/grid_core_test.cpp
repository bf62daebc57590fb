// The grid's rows and exports: cell kinds from the adder, golden BIFF2 bytes
// of a 2 x 3 grid with an NA, an empty field and a 300-byte label, columns
// counted with label fields, the transposed layout, and the sheet's limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "tests/common/report_log.h"
#include "tools/grid_core.h"

namespace {

class Grid : public testing::Test {
protected:
    void TearDown() override { free_scratch(); }
    std::string messages() { return log_.text(); }
    report_log log_;
};

void add(std::vector<std::uint8_t>& b, std::initializer_list<int> bytes) {
    for (int x : bytes) b.push_back(static_cast<std::uint8_t>(x));
}

TEST_F(Grid, CellKindsFromTheAdder) {
    grid_rows g;
    const float v[] = {2.5f, 0, NA};
    const int stats_idx[] = {-1, 5};
    grid_add_row(g, "stats", nullptr, v, stats_idx, 2, false, nullptr, 0, 3);
    const int pick[] = {2, -1, 0};
    grid_add_row(g, "picked", nullptr, v, pick, 3, true, nullptr, 1, 0);
    grid_add_row(g, "formatted", nullptr, v, nullptr, 1, false, "%.2f", 0, 0);
    const char* texts[] = {"b1", "b2"};
    grid_add_row(g, "texts", texts, nullptr, nullptr, 2, false, nullptr, 0, 0);
    EXPECT_EQ(grid_add_row(g, "Title\tmore", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0),
              5);
    EXPECT_EQ(g.max_cells, 3);

    const grid_row& s = g.rows[0];
    ASSERT_EQ(s.cells.size(), 2u);
    EXPECT_EQ(s.cells[0].kind, cell_number);
    EXPECT_EQ(s.cells[1].kind, cell_integer);
    EXPECT_EQ(grid_cell_text(s, s.cells[0]), "2.5");
    EXPECT_EQ(grid_cell_text(s, s.cells[1]), "5");
    EXPECT_EQ(s.colour, 3);
    const grid_row& p = g.rows[1];
    EXPECT_EQ(p.cells[0].kind, cell_short_text); // values[2] is NA
    EXPECT_EQ(p.cells[1].kind, cell_short_text); // index -1
    EXPECT_EQ(p.cells[2].kind, cell_display);
    EXPECT_EQ(grid_cell_text(p, p.cells[0]), "--");
    EXPECT_EQ(grid_cell_text(p, p.cells[2]), "2.5");
    EXPECT_EQ(grid_cell_text(g.rows[2], g.rows[2].cells[0]), "2.50");
    EXPECT_EQ(g.rows[3].cells[1].kind, cell_text);
    EXPECT_FALSE(g.rows[4].has_cells);

    EXPECT_EQ(grid_export_text(g, "\n"), "stats\t2.5\t5\t\n"
                                         "picked\t--\t--\t2.5\t\n"
                                         "formatted\t2.50\t\n"
                                         "texts\tb1\tb2\t\n"
                                         "Title\tmore\t\n");
    // Colour escapes after a tab are not part of the text.
    EXPECT_EQ(grid_label_fields("Runs:\t\\0\\base\t\\;\\other"),
              (std::vector<std::string>{"Runs:", "base", "other"}));
}

TEST_F(Grid, GoldenBiffOfTwoByThree) {
    grid_rows g;
    const float first[] = {1.5f, NA};
    grid_add_row(g, "x", nullptr, first, nullptr, 2, false, nullptr, 0, 1);
    const std::string long_label(300, 'L');
    const float second[] = {2};
    grid_add_row(g, (long_label + "\t").c_str(), nullptr, second, nullptr, 1, false, nullptr, 0, 2);

    std::vector<std::uint8_t> want;
    add(want, {0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00});                         // BOF
    add(want, {0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00}); // 2 x 3
    add(want, {0x42, 0x00, 0x02, 0x00, 0xE4, 0x04}); // CODEPAGE 1252
    add(want, {0x04, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0x01, 'x'});
    add(want, {0x03, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x01, 0x00, 0, 0, 0});
    add(want, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}); // 1.5; the NA at (0, 2) writes nothing
    add(want, {0x04, 0x00, 0x07, 0x01, 0x01, 0x00, 0x00, 0x00, 0, 0, 0, 0xFF});
    want.insert(want.end(), 255, 'L'); // cut at 255; the empty field (1, 1) writes nothing
    add(want, {0x03, 0x00, 0x0F, 0x00, 0x01, 0x00, 0x02, 0x00, 0, 0, 0});
    add(want, {0, 0, 0, 0, 0, 0, 0x00, 0x40}); // 2.0
    add(want, {0x0A, 0x00, 0x00, 0x00});       // EOF
    std::vector<std::uint8_t> biff = grid_export_biff(g);
    EXPECT_EQ(biff, want);

    int rows = 0, cols = 0;
    std::vector<biff_cell> cells;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, &cells, &why)) << why;
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(cols, 3);
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[3].row, 1);
    EXPECT_EQ(cells[3].column, 2);
    EXPECT_DOUBLE_EQ(cells[3].value, 2);

    EXPECT_EQ(grid_export_text(g, "\r\n"), "x\t1.5\t--\t\r\n" + long_label + "\t\t2\t\r\n");
    EXPECT_TRUE(grid_export_biff(grid_rows{}).empty());
    EXPECT_EQ(grid_export_text(grid_rows{}, "\n"), "");
}

TEST_F(Grid, LabelFieldsCountAsColumns) {
    // The second row has three label fields before its cell: counting only the
    // cells (2 + 1 columns) would wrap its cell into a row of its own.
    grid_rows g;
    const float v[] = {1, 2};
    grid_add_row(g, "a", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    grid_add_row(g, "b\tc\td", nullptr, v, nullptr, 1, false, nullptr, 0, 0);
    std::vector<std::uint8_t> biff = grid_export_biff(g);
    int rows = 0, cols = 0;
    std::vector<biff_cell> cells;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, &cells, &why)) << why;
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(cols, 4);
    ASSERT_EQ(cells.size(), 7u);
    EXPECT_EQ(cells.back().row, 1);
    EXPECT_EQ(cells.back().column, 3);
    EXPECT_TRUE(cells.back().number);

    // Rows without cells: one column.
    grid_rows only;
    grid_add_row(only, "title", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    biff = grid_export_biff(only);
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, nullptr, &why)) << why;
    EXPECT_EQ(cols, 1);
}

TEST_F(Grid, TransposedLayout) {
    grid_rows g;
    g.columns_layout = true;
    const float v[] = {1, 2, 3};
    grid_add_row(g, "Time\tignored", nullptr, v, nullptr, 3, false, nullptr, 0, 0);
    grid_add_row(g, "x\tfirst\tsecond", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    grid_add_row(g, "y", nullptr, v, nullptr, 1, false, nullptr, 0, 0);
    EXPECT_EQ(grid_export_text(g, "\n"), "Time\tx\ty\t\n"
                                         "1\tfirst\t1\t\n"
                                         "2\tsecond\t\t\n"
                                         "3\t\t\t\n");
    std::vector<std::uint8_t> biff = grid_export_biff(g);
    int rows = 0, cols = 0;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, nullptr, &why)) << why;
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(cols, 3);
}

TEST_F(Grid, SheetLimitsAreKeptAndSaid) {
    grid_rows wide;
    std::vector<float> v(300);
    for (int i = 0; i < 300; ++i) v[static_cast<std::size_t>(i)] = static_cast<float>(i);
    grid_add_row(wide, "w", nullptr, v.data(), nullptr, 300, false, nullptr, 0, 0);
    std::vector<std::uint8_t> biff = grid_export_biff(wide);
    int rows = 0, cols = 0;
    std::vector<biff_cell> cells;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, &cells, &why)) << why;
    EXPECT_EQ(cols, 256);
    EXPECT_EQ(cells.size(), 256u); // the label and the first 255 values
    EXPECT_DOUBLE_EQ(cells.back().value, 254);
    EXPECT_NE(messages().find("only the first 256 of 301 columns"), std::string::npos);

    grid_rows tall;
    for (int i = 0; i < biff_max_rows + 1; ++i)
        grid_add_row(tall, "r", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    biff = grid_export_biff(tall);
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, nullptr, &why)) << why;
    EXPECT_EQ(rows, biff_max_rows);
    EXPECT_NE(messages().find("only the first 16384 of 16385 rows"), std::string::npos);
}

TEST_F(Grid, CheckerRefusesBrokenSheets) {
    grid_rows g;
    const float v[] = {1};
    grid_add_row(g, "a", nullptr, v, nullptr, 1, false, nullptr, 0, 0);
    const std::vector<std::uint8_t> good = grid_export_biff(g);
    std::string why;
    auto broken = [&](std::vector<std::uint8_t> b) {
        return !check_biff2(b.data(), b.size(), nullptr, nullptr, nullptr, &why);
    };
    EXPECT_FALSE(broken(good));
    std::vector<std::uint8_t> b = good;
    b.pop_back(); // EOF cut short
    EXPECT_TRUE(broken(b));
    b = good;
    b[28] = 0x20; // the LABEL claims more text than it holds
    EXPECT_TRUE(broken(b));
    b = good;
    b[30] = 5; // a cell row beyond DIMENSIONS
    EXPECT_TRUE(broken(b));
    b = good;
    b.push_back(0); // bytes after EOF
    EXPECT_TRUE(broken(b));
    EXPECT_TRUE(broken({}));
}

} // namespace

namespace {

// A number too wide for its column keeps its value: fewer digits, rounded,
// or marks; a text is cut. Widths here count characters.
TEST_F(Grid, NumbersTooWideForAColumnKeepTheirValue) {
    auto within = [](std::size_t n) { return [n](const std::string& t) { return t.size() <= n; }; };
    EXPECT_EQ(fit_number_text("-1.25e+30", within(9)), "-1.25e+30");
    EXPECT_EQ(fit_number_text("-1.26e+30", within(8)), "-1.3e+30"); // never "-1.26e+3"
    EXPECT_EQ(fit_number_text("-1.25e+30", within(6)), "-1e+30");
    EXPECT_EQ(fit_number_text("-1.25e+30", within(4)), "####");
    EXPECT_EQ(fit_number_text("123456.7", within(7)), "123457");
    EXPECT_EQ(fit_number_text("-123456.7", within(6)), "-1e+05");
    EXPECT_EQ(fit_number_text("0.000123456", within(8)), "1.23e-04");
    EXPECT_EQ(fit_number_text("hello there", within(5)), "hello");
    // Room to spare: the shortest rounding that keeps the value, with no
    // trailing zeros ("1.5e+30", not "1.5000e+30").
    EXPECT_EQ(fit_number_text("1500000000000000000000000000000", within(10)), "1.5e+30");
    EXPECT_EQ(fit_number_text("-0.0000002", within(8)), "-2e-07");
}

// The text copy of a table in the display form says every value so it reads
// back as the value (a daily time axis in years, six digits and more).
TEST_F(Grid, TheDisplayFormTextCopyReadsBackAsTheValues) {
    grid_rows g;
    const float v[] = {2024.00274f, 0.1f, 1.2345678e-7f, 123456.789f, 3e38f, 2.5f};
    grid_add_row(g, "x", nullptr, v, nullptr, 6, true, nullptr, 0, 0);
    const std::string text = grid_export_text(g, "\n");
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (std::size_t tab; (tab = text.find('\t', at)) != std::string::npos; at = tab + 1)
        fields.push_back(text.substr(at, tab - at));
    ASSERT_EQ(fields.size(), 7u) << text;
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(std::strtof(fields[static_cast<std::size_t>(k + 1)].c_str(), nullptr), v[k])
            << fields[static_cast<std::size_t>(k + 1)];
    // Values the display shows whole keep its form.
    EXPECT_EQ(fields[2], "0.1");
    EXPECT_EQ(fields[6], "2.5");
}

} // namespace

namespace {

// The text and HTML the copy offers: one line (one table row) per grid row,
// run colour marks up to the twelfth (";") left out of the names, the "&"
// and "<" of a name written as entities in HTML, a missing value "--" in the
// text and an empty cell in the table.
TEST(GridExport, TextAndHtmlWriteEachRowOnItsOwnLineWithoutColourMarks) {
    grid_rows g;
    const float v[] = {2.5f, NA};
    grid_add_row(g, "a & <b\t\\2\\run", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    grid_add_row(g, "Runs:\t\\;\\last", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    EXPECT_EQ(grid_export_text(g, "\r\n"), "a & <b\trun\t2.5\t--\t\r\nRuns:\tlast\t\r\n");
    const std::string html = grid_export_html(g);
    EXPECT_NE(
        html.find("<table>\n<tr><td>a &amp; &lt;b</td><td>run</td><td>2.5</td><td></td></tr>\n"
                  "<tr><td>Runs:</td><td>last</td></tr>\n</table>"),
        std::string::npos)
        << html;
}

} // namespace
