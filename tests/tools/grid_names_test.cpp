// Names in the table's copies: model names in their one-byte code page and
// UTF-8 run names side by side read right in the worksheet (its CODEPAGE
// record and texts in that page, checked by python3-xlrd and the office
// suite) and in the text; and numbers in the text copy read back as the
// values they are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "foundation/memory.h"
#include "foundation/types.h"
#include "platform/gdi.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tools/grid_core.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct folder {
    folder() {
        path = fs::path(testing::TempDir()) / ("kavrel_grid_names_" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
        free_scratch();
    }
    fs::path path;
};

void write(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// The cells of sheet 1 as xlrd reads them, one "row,col=value" a line.
std::string xlrd_cells(const fs::path& dir, const fs::path& xls) {
    const std::string script = "import xlrd\n"
                               "b = xlrd.open_workbook('" +
                               xls.string() +
                               "')\n"
                               "s = b.sheet_by_index(0)\n"
                               "for r in range(s.nrows):\n"
                               "  for c in range(s.ncols):\n"
                               "    v = s.cell_value(r, c)\n"
                               "    if v != '': print('%d,%d=%s' % (r, c, v))\n";
    std::ofstream(dir / "read.py") << script;
    const std::string out = (dir / "xlrd.txt").string();
    if (std::system(
            ("/usr/bin/python3 " + (dir / "read.py").string() + " > " + out + " 2>&1").c_str()) !=
        0)
        return "xlrd failed: " + read(out);
    return read(out);
}

// "Größe é" as a model keeps it (one-byte page) beside "Åland" as a run
// name (UTF-8).
grid_rows latin_names() {
    grid_rows g;
    const float v[] = {1.5f, 2};
    grid_add_row(g,
                 "Gr\xF6\xDF"
                 "e \xE9\tÅland",
                 nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    return g;
}

TEST(GridNames, TheWorksheetCarriesItsCodePage) {
    ASSERT_EQ(packages_missing({"python3-xlrd"}), "");
    folder dir;
    const std::vector<std::uint8_t> biff = grid_export_biff(latin_names());
    int rows = 0, cols = 0, page = 0;
    std::vector<biff_cell> cells;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, &cells, &why, &page)) << why;
    EXPECT_EQ(page, 1252);
    ASSERT_GE(cells.size(), 2u);
    EXPECT_EQ(cells[0].text, "Größe é");
    EXPECT_EQ(cells[1].text, "Åland");
    write(dir.path / "latin.xls", biff);
    EXPECT_EQ(xlrd_cells(dir.path, dir.path / "latin.xls"),
              "0,0=Größe é\n0,1=Åland\n0,2=1.5\n0,3=2.0\n");

    // Names of one other script: the page that holds them.
    grid_rows cyr;
    grid_add_row(cyr, "Население\tПри", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    const std::vector<std::uint8_t> cb = grid_export_biff(cyr);
    cells.clear();
    ASSERT_TRUE(check_biff2(cb.data(), cb.size(), &rows, &cols, &cells, &why, &page)) << why;
    EXPECT_EQ(page, 1251);
    write(dir.path / "cyr.xls", cb);
    EXPECT_EQ(xlrd_cells(dir.path, dir.path / "cyr.xls"), "0,0=Население\n0,1=При\n");

    // Scripts no one page holds: the first page, '?' for what it lacks.
    grid_rows mixed;
    grid_add_row(mixed, "Ωμέγα\tПри", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
    const std::vector<std::uint8_t> mb = grid_export_biff(mixed);
    cells.clear();
    ASSERT_TRUE(check_biff2(mb.data(), mb.size(), &rows, &cols, &cells, &why, &page)) << why;
    EXPECT_EQ(page, 1252);
    EXPECT_EQ(cells[0].text, "?????");
}

// A sheet taller than a byte's reach and a NUMBER record per cell: every
// number keeps its row and column, as the program's own reader and xlrd read it.
TEST(GridNames, EveryNumberOfATallSheetKeepsItsRow) {
    ASSERT_EQ(packages_missing({"python3-xlrd"}), "");
    folder dir;
    grid_rows g;
    constexpr int rows_made = 600;
    for (int r = 0; r < rows_made; ++r) {
        // Values that say where they belong: row r, value column c holds r + c / 10.
        const float v[] = {static_cast<float>(r), static_cast<float>(r) + 0.5f,
                           static_cast<float>(r) + 0.25f};
        grid_add_row(g, ("r" + std::to_string(r)).c_str(), nullptr, v, nullptr, 3, false, nullptr,
                     0, 0);
    }
    const std::vector<std::uint8_t> biff = grid_export_biff(g);
    int rows = 0, cols = 0;
    std::vector<biff_cell> cells;
    std::string why;
    ASSERT_TRUE(check_biff2(biff.data(), biff.size(), &rows, &cols, &cells, &why)) << why;
    EXPECT_EQ(rows, rows_made);
    EXPECT_EQ(cols, 4);
    int numbers = 0;
    for (const biff_cell& c : cells) {
        if (!c.number) {
            EXPECT_EQ(c.column, 0);
            EXPECT_EQ(c.text, "r" + std::to_string(c.row));
            continue;
        }
        ++numbers;
        const double offsets[] = {0, 0, 0.5, 0.25};
        ASSERT_GE(c.column, 1);
        ASSERT_LE(c.column, 3);
        EXPECT_DOUBLE_EQ(c.value, c.row + offsets[c.column]) << "row " << c.row;
    }
    EXPECT_EQ(numbers, 3 * rows_made);

    write(dir.path / "tall.xls", biff);
    const std::string read_back = xlrd_cells(dir.path, dir.path / "tall.xls");
    for (int r : {0, 255, 256, 257, 511, 599}) {
        const std::string rs = std::to_string(r);
        EXPECT_NE(read_back.find(rs + ",0=r" + rs + "\n" + rs + ",1=" + rs + ".0\n" + rs +
                                 ",2=" + rs + ".5\n" + rs + ",3=" + rs + ".25\n"),
                  std::string::npos)
            << "row " << r;
    }
}

TEST(GridNames, TheOfficeSuiteReadsTheNames) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    folder dir;
    write(dir.path / "latin.xls", grid_export_biff(latin_names()));
    const std::string cmd =
        "cd " + dir.path.string() + " && HOME=" + dir.path.string() +
        " timeout -k 10 300 soffice -env:UserInstallation=file://" + dir.path.string() +
        "/profile --headless --convert-to "
        "\"csv:Text - txt - csv (StarCalc):44,34,76\" --outdir " +
        dir.path.string() + " " + (dir.path / "latin.xls").string() + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(read(dir.path / "latin.csv"), "Größe é,Åland,1.5,2\n");
}

TEST(GridNames, TheTextCopyKeepsWhatSixDigitsWouldLose) {
    grid_rows g;
    const float times[] = {2024.0f, 2024.0f + 1.0f / 365, 1234567.75f, 0.1f, 1e-7f};
    grid_add_row(g, "Time", nullptr, times, nullptr, 5, false, nullptr, 0, 0);
    EXPECT_EQ(grid_export_text(g, "\n"), "Time\t2024\t2024.00269\t1234567.75\t0.1\t1e-07\t\n");
    // The window still shows six digits.
    EXPECT_EQ(grid_cell_text(g.rows[0], g.rows[0].cells[2]), "1.23457e+06");
    // So does the transposed layout's text.
    g.columns_layout = true;
    EXPECT_EQ(grid_export_text(g, "\n"),
              "Time\t\n2024\t\n2024.00269\t\n1234567.75\t\n0.1\t\n1e-07\t\n");
    // Program text reads as UTF-8 the same everywhere.
    EXPECT_EQ(program_text_utf8("Bev\xF6lkerung Åland"), "Bevölkerung Åland");
}

} // namespace
