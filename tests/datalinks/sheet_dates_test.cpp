// Date cells read as the serial numbers a spreadsheet shows for them (days
// from 30 December 1899), leap days included, from every format that keeps
// dates as dates; and texts that only look like numbers to the C library
// ("0x1A") kept as texts.
#include "datalinks/workbook.h"

#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

// tests/data/sheets/dates.ods and dates.xls, saved by the office suite from
// one sheet "dates": date cells 2024-02-28, 2024-02-29, 2024-03-01,
// 2000-02-29 and 1900-03-01 in B1:F1 (their serials below), the text "0x1A"
// in B2 and the number 26 in C2.
constexpr double serials[] = {45350, 45351, 45352, 36585, 61};

// The kept fixtures' layout as an .xlsx: the dates in B1:F1, then "0x1A" and
// 26 in B2:C2.
void write_dates_xlsx(const std::string& path) {
    lxw_workbook* wb = workbook_new(path.c_str());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "dates");
    lxw_format* date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    const lxw_datetime days[] = {
        {2024, 2, 28, 0, 0, 0}, {2024, 2, 29, 0, 0, 0}, {2024, 3, 1, 0, 0, 0},
        {2000, 2, 29, 0, 0, 0}, {1900, 3, 1, 0, 0, 0},
    };
    worksheet_write_string(ws, 0, 0, "Time", nullptr);
    for (int c = 0; c < 5; ++c) {
        lxw_datetime d = days[c];
        worksheet_write_datetime(ws, 0, static_cast<lxw_col_t>(c + 1), &d, date);
    }
    worksheet_write_string(ws, 1, 0, "code", nullptr);
    worksheet_write_string(ws, 1, 1, "0x1A", nullptr);
    worksheet_write_number(ws, 1, 2, 26, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
}

TEST(SheetDates, DateCellsAreTheSerialNumbersTheSpreadsheetShows) {
    temp_folder dir;
    const std::string xlsx = dir / "dates.xlsx";
    write_dates_xlsx(xlsx);
    for (const std::string& path : {xlsx, fixture("dates.ods"), fixture("dates.xls")}) {
        SCOPED_TRACE(path);
        workbook b;
        std::string why;
        ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
        const int s = b.find_sheet("dates");
        ASSERT_GE(s, 0);
        const sheet& sh = b.sheets[static_cast<std::size_t>(s)];
        for (int c = 0; c < 5; ++c) {
            const cell* d = sh.at(0, c + 1);
            ASSERT_NE(d, nullptr) << c;
            EXPECT_EQ(d->kind, cell_kind::number) << c;
            EXPECT_EQ(d->number, serials[c]) << c;
        }
        // A text that strtod would take as hexadecimal stays a text.
        const cell* hex = sh.at(1, 1);
        ASSERT_NE(hex, nullptr);
        ASSERT_EQ(hex->kind, cell_kind::text);
        EXPECT_EQ(b.texts[hex->text], "0x1A");
        ASSERT_NE(sh.at(1, 2), nullptr);
        EXPECT_EQ(sh.at(1, 2)->number, 26);
    }
}

TEST(SheetDates, DelimitedTextReadsOnlyDecimalNumbers) {
    temp_folder dir;
    const std::string csv = dir / "codes.csv";
    write_bytes(csv, "code,0x1A,0X1f,26,1e3,-0x10,0x1p3,inf\n");
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(csv, &b, &why), 1) << why;
    ASSERT_EQ(b.sheets.size(), 1u);
    const sheet& sh = b.sheets[0];
    const char* texts[] = {"0x1A", "0X1f"};
    for (int c = 0; c < 2; ++c) {
        const cell* t = sh.at(0, c + 1);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->kind, cell_kind::text) << texts[c];
        EXPECT_EQ(b.texts[t->text], texts[c]);
    }
    ASSERT_NE(sh.at(0, 3), nullptr);
    EXPECT_EQ(sh.at(0, 3)->kind, cell_kind::number);
    EXPECT_EQ(sh.at(0, 3)->number, 26);
    EXPECT_EQ(sh.at(0, 4)->number, 1000);
    for (int c = 5; c < 8; ++c) {
        ASSERT_NE(sh.at(0, c), nullptr) << c;
        EXPECT_EQ(sh.at(0, c)->kind, cell_kind::text) << c;
    }
}

} // namespace
