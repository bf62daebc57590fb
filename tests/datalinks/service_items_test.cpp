// The spreadsheet service's items and answers as its clients meet them: a
// range written last corner first is the same range, poked lines keep no
// carriage returns and only finite numbers become numbers, and text answers
// carry numbers to fifteen significant digits.
#include "datalinks/service_items.h"

#include <gtest/gtest.h>

#include <string>

using namespace sheets;
using sheet_service::area;

namespace {

bool same(const area& a, int sheet, std::int64_t row0, std::int64_t col0, std::int64_t rows,
          std::int64_t cols) {
    return a.sheet == sheet && a.row0 == row0 && a.col0 == col0 && a.rows == rows && a.cols == cols;
}

TEST(ServiceItems, ARangeFromEitherCornerIsTheSameRange) {
    workbook wb;
    wb.sheets.push_back({"s", {}});
    area a;
    ASSERT_TRUE(sheet_service::area_of(wb, 0, "B3:D7", "", &a));
    EXPECT_TRUE(same(a, 0, 2, 1, 5, 3));
    for (const char* item : {"D7:B3", "B7:D3", "D3:B7"}) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(sheet_service::area_of(wb, 0, item, "", &a));
        EXPECT_TRUE(same(a, 0, 2, 1, 5, 3));
    }
    ASSERT_TRUE(sheet_service::area_of(wb, 0, "D3", "B7", &a));
    EXPECT_TRUE(same(a, 0, 2, 1, 5, 3));
    for (const char* item : {"R7C4:R3C2", "R3C4:R7C2", "r7c2:r3c4"}) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(sheet_service::r1c1_area(item, 0, 'R', 'C', &a));
        EXPECT_TRUE(same(a, 0, 2, 1, 5, 3));
    }
    // The 1-2-3 form: "B3..D7" and its corners the other way round.
    ASSERT_TRUE(sheet_service::item_area(wb, 0, true, "D7..B3", 'R', 'C', &a));
    EXPECT_TRUE(same(a, 0, 2, 1, 5, 3));
}

const cell* at(const workbook& wb, std::int64_t r, std::int64_t c) {
    return wb.sheets[0].at(r, c);
}

TEST(ServiceItems, PokedLinesLoseTheirCarriageReturnsAndOnlyFiniteNumbersAreNumbers) {
    workbook wb;
    wb.sheets.push_back({"s", {}});
    std::string why;
    const area a{0, 0, 0, 3, 3};
    ASSERT_TRUE(sheet_service::poke_text(wb, a, "1\tx\r\n2.5\tinf\r\nnan\t-1e3\r\n", &why)) << why;
    ASSERT_NE(at(wb, 0, 0), nullptr);
    EXPECT_EQ(at(wb, 0, 0)->kind, cell_kind::number);
    EXPECT_EQ(at(wb, 0, 0)->number, 1);
    ASSERT_EQ(at(wb, 0, 1)->kind, cell_kind::text);
    EXPECT_EQ(wb.texts[at(wb, 0, 1)->text], "x");
    EXPECT_EQ(at(wb, 1, 0)->number, 2.5);
    // Texts a conversion would take for infinity or not-a-number stay texts.
    ASSERT_EQ(at(wb, 1, 1)->kind, cell_kind::text);
    EXPECT_EQ(wb.texts[at(wb, 1, 1)->text], "inf");
    ASSERT_EQ(at(wb, 2, 0)->kind, cell_kind::text);
    EXPECT_EQ(wb.texts[at(wb, 2, 0)->text], "nan");
    EXPECT_EQ(at(wb, 2, 1)->kind, cell_kind::number);
    EXPECT_EQ(at(wb, 2, 1)->number, -1000);
}

TEST(ServiceItems, TextAnswersCarryFifteenSignificantDigits) {
    workbook wb;
    wb.sheets.push_back({"s", {}});
    std::string why;
    wb.put(0, 0, 0, {cell_kind::number, 0, 1234567.891}, &why);
    wb.put(0, 0, 1, {cell_kind::number, 0, 0.1 + 0.2}, &why);
    wb.put(0, 1, 0, {cell_kind::number, 0, 123456789012345.0}, &why);
    wb.put(0, 1, 1, {cell_kind::boolean, 0, 1}, &why);
    const std::string block = sheet_service::text_block(wb.sheets[0], wb, area{0, 0, 0, 2, 2});
    EXPECT_EQ(block, std::string("1234567.891\t0.3\r\n123456789012345\tTRUE\r\n") + '\0');
}

} // namespace
