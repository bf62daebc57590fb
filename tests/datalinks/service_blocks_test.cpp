// The fast table answers of the spreadsheet service, byte by byte as the
// table format lays them out, and read back by the links' own table reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "datalinks/service_items.h"
#include "datalinks/tables.h"
#include "foundation/types.h"

using namespace sheets;

namespace {

std::string u16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string f64(double v) {
    char b[8];
    std::memcpy(b, &v, 8);
    return std::string(b, 8);
}

// Each run of cells of one kind is one record: numbers as doubles, errors as
// the code of #N/A (42), texts with a length byte, blanks as a count.
TEST(ServiceBlocks, EachKindOfCellIsItsOwnRecord) {
    workbook wb;
    wb.sheets.push_back({"s", {}});
    std::string why;
    wb.texts.push_back("#DIV/0!");
    wb.texts.push_back("abc");
    ASSERT_TRUE(wb.put(0, 0, 0, {cell_kind::number, 0, 2.5}, &why)) << why;
    ASSERT_TRUE(wb.put(0, 0, 1, {cell_kind::error, 0, 0}, &why)) << why;
    ASSERT_TRUE(wb.put(0, 1, 0, {cell_kind::text, 1, 0}, &why)) << why;
    const std::string block = sheet_service::xltable_block(wb.sheets[0], wb, 0, 0, 2, 2);
    const std::string want = u16(16) + u16(4) + u16(2) + u16(2) + // the table: 2 x 2
                             u16(1) + u16(8) + f64(2.5) +         // one number
                             u16(4) + u16(2) + u16(42) +          // one error: #N/A
                             u16(2) + u16(4) + '\3' + "abc" +     // one text
                             u16(5) + u16(2) + u16(1);            // one blank
    EXPECT_EQ(block, want);
    const auto m = parse_xltable(block, false);
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->values.size(), 4u);
    EXPECT_EQ(m->values[0], 2.5f);
    EXPECT_EQ(m->first_bad_row, 0);
    EXPECT_EQ(m->first_bad_column, 1);
}

// A text longer than a length byte can say is cut to 255 characters, so the
// cells after it are still read where they are.
TEST(ServiceBlocks, ALongTextIsCutToWhatItsLengthByteSays) {
    workbook wb;
    wb.sheets.push_back({"s", {}});
    std::string why;
    wb.texts.push_back(std::string(300, 'x'));
    ASSERT_TRUE(wb.put(0, 0, 0, {cell_kind::text, 0, 0}, &why)) << why;
    ASSERT_TRUE(wb.put(0, 0, 1, {cell_kind::number, 0, 9}, &why)) << why;
    const std::string block = sheet_service::xltable_block(wb.sheets[0], wb, 0, 0, 1, 2);
    const std::string want = u16(16) + u16(4) + u16(1) + u16(2) + u16(2) + u16(256) + '\xFF' +
                             std::string(255, 'x') + u16(1) + u16(8) + f64(9);
    EXPECT_EQ(block, want);
    const auto m = parse_xltable(block, false);
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->values.size(), 2u);
    EXPECT_TRUE(is_na(m->values[0]));
    EXPECT_EQ(m->values[1], 9.0f);
}

} // namespace
