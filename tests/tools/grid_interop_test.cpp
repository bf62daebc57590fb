// The grid's worksheet and its saved text opened by a spreadsheet program
// (LibreOffice Calc, headless): both give the same cells, but for the missing
// value, which the text shows as "--" and the worksheet leaves empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "foundation/memory.h"
#include "foundation/types.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tools/grid_core.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Converts a file to CSV with soffice; "" when it could not.
std::string to_csv(const fs::path& dir, const fs::path& file, const char* infilter) {
    std::string cmd = "timeout -k 10 300 soffice -env:UserInstallation=file://" +
                      (dir / "profile").string() + " --headless";
    if (infilter) cmd += std::string(" \"--infilter=") + infilter + "\"";
    cmd += " --convert-to \"csv:Text - txt - csv (StarCalc):44,34,76\" --outdir " +
           (dir / "out").string() + " " + file.string() + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return "";
    return read(dir / "out" / (file.stem().string() + ".csv"));
}

TEST(GridInterop, WorksheetAndTextGiveTheSameCells) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    fs::path dir = fs::path(testing::TempDir()) / ("a3core_interop_" + std::to_string(::getpid()));
    fs::create_directories(dir / "out");

    grid_rows g;
    const char* heads[] = {"Count", "Mean"};
    grid_add_row(g, "Variable", heads, nullptr, nullptr, 2, false, nullptr, 0, 0);
    const float a[] = {3, 2.5f};
    grid_add_row(g, "Population\tpeople", nullptr, a, nullptr, 2, false, nullptr, 0, 1);
    const float b[] = {7, -0.125f};
    grid_add_row(g, "births\t", nullptr, b, nullptr, 2, false, nullptr, 0, 2);
    grid_add_row(g, "Runs:\t\\0\\base\t\\1\\other", nullptr, nullptr, nullptr, 0, false, nullptr, 0,
                 0);
    const std::vector<std::uint8_t> biff = grid_export_biff(g);
    const std::string text = grid_export_text(g, "\n");
    {
        std::ofstream(dir / "grid.xls", std::ios::binary)
            .write(reinterpret_cast<const char*>(biff.data()), static_cast<long>(biff.size()));
        std::ofstream(dir / "text.txt", std::ios::binary) << text;
    }
    std::string from_biff = to_csv(dir, dir / "grid.xls", nullptr);
    if (from_biff.empty()) {
        fs::remove_all(dir);
        FAIL() << "the office suite did not convert the worksheet";
    }
    std::string from_text = to_csv(dir, dir / "text.txt", "Text - txt - csv (StarCalc):9,34,76");
    EXPECT_EQ(from_biff, "Variable,Count,Mean,\n"
                         "Population,people,3,2.5\n"
                         "births,,7,-0.125\n"
                         "Runs:,base,other,\n");
    EXPECT_EQ(from_text, from_biff);

    // The missing value: "--" in the text, an empty cell in the worksheet.
    grid_rows na;
    const float v[] = {1, NA};
    grid_add_row(na, "x", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
    const std::vector<std::uint8_t> nb = grid_export_biff(na);
    std::ofstream(dir / "na.xls", std::ios::binary)
        .write(reinterpret_cast<const char*>(nb.data()), static_cast<long>(nb.size()));
    EXPECT_EQ(to_csv(dir, dir / "na.xls", nullptr), "x,1\n"); // nothing at the NA
    EXPECT_EQ(grid_export_text(na, "\n"), "x\t1\t--\t\n");

    // The HTML table the copy offers beside them: the same cells, numbers
    // with every digit (12204.7148, shown as 12204.7), a name with "&" and
    // "<" whole, the missing value empty.
    grid_rows h = g;
    const float w[] = {12204.7148f, NA};
    grid_add_row(h, "a & <b>", nullptr, w, nullptr, 2, true, nullptr, 0, 3);
    std::ofstream(dir / "grid.html", std::ios::binary) << grid_export_html(h);
    const std::string from_html = to_csv(dir, dir / "grid.html", "calc_HTML_WebQuery");
    EXPECT_EQ(from_html, from_biff + "a & <b>,12204.7148,,\n") << grid_export_html(h);
    fs::remove_all(dir);
    free_scratch();
}

} // namespace
