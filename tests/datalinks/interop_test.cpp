// Interop: a workbook written with libxlsxwriter reads the same through our
// .xlsx reader as through the office suite, which converts it to .csv
// (headless) for our .csv reader.
#include <cstdlib>
#include <filesystem>

#include "datalinks/workbook.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

TEST(Interop, AnXlsxReadsAsTheOfficeSuiteReadsIt) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    temp_folder dir;
    const std::string xlsx = dir / "prices.xlsx";
    write_prices_xlsx(xlsx);
    // A profile of its own, so that runs side by side do not share one.
    const std::string command = "cd " + dir.path + " && HOME=" + dir.path +
                                " timeout -k 10 300 soffice -env:UserInstallation=file://" +
                                dir.path + "/profile --headless --convert-to csv --outdir " +
                                dir.path + " " + xlsx + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ASSERT_TRUE(std::filesystem::exists(dir / "prices.csv"));

    workbook ours, theirs;
    std::string why;
    ASSERT_EQ(read_workbook(xlsx, &ours, &why), 1) << why;
    ASSERT_EQ(read_workbook(dir / "prices.csv", &theirs, &why), 1) << why;
    const sheet& a = ours.sheets[0];
    const sheet& b = theirs.sheets[0];
    EXPECT_EQ(a.used_rows(), b.used_rows());
    EXPECT_EQ(a.used_columns(), b.used_columns());
    int compared = 0;
    for (std::int64_t r = 0; r < a.used_rows(); ++r)
        for (std::int64_t c = 0; c < a.used_columns(); ++c) {
            const cell* x = a.at(r, c);
            const cell* y = b.at(r, c);
            const cell_kind kx = x ? x->kind : cell_kind::empty;
            const cell_kind ky = y ? y->kind : cell_kind::empty;
            SCOPED_TRACE(column_letters(c + 1) + std::to_string(r + 1));
            if (kx == cell_kind::boolean) {
                // The suite writes a boolean as its word.
                ASSERT_EQ(ky, cell_kind::text);
                EXPECT_EQ(theirs.texts[y->text], x->number ? "TRUE" : "FALSE");
            } else {
                ASSERT_EQ(kx, ky);
                if (kx == cell_kind::number) {
                    EXPECT_EQ(x->number, y->number);
                } else if (kx == cell_kind::text) {
                    EXPECT_EQ(ours.texts[x->text], theirs.texts[y->text]);
                }
            }
            compared += kx != cell_kind::empty;
        }
    EXPECT_GT(compared, 20);
}

} // namespace
