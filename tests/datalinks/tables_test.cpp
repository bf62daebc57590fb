// The table answers of a data request: whole numbers in text, "XlTable" and
// "WK1" blocks and tab-separated text into matrices, with blocks cut short or
// lying about their sizes giving no matrix rather than reads or writes
// outside them.
#include "datalinks/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/types.h"

using namespace sheets;

namespace {

void u16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// An "XlTable" block: the table record, then the records given.
std::string xltable(unsigned rows, unsigned cols) {
    std::string s;
    u16(s, 16), u16(s, 4), u16(s, rows), u16(s, cols);
    return s;
}
void floats(std::string& s, std::initializer_list<double> values) {
    u16(s, 1), u16(s, static_cast<unsigned>(8 * values.size()));
    for (double v : values) {
        char b[8];
        std::memcpy(b, &v, 8);
        s.append(b, 8);
    }
}

// A WK1 block with number cells at (column, row).
std::string wk1(std::initializer_list<std::pair<unsigned, unsigned>> at, bool end = true) {
    std::string s;
    u16(s, 0), u16(s, 2), u16(s, 0x0406);
    double v = 1;
    for (const auto& [col, row] : at) {
        u16(s, 14), u16(s, 13);
        s.push_back('\xFF');
        u16(s, col), u16(s, row);
        char b[8];
        std::memcpy(b, &v, 8);
        s.append(b, 8);
        v += 1;
    }
    if (end) u16(s, 1), u16(s, 0);
    return s;
}

TEST(Tables, WholeNumbersInText) {
    EXPECT_EQ(text_to_number(" 12 "), 12);
    EXPECT_EQ(text_to_number("3E3"), 3000);
    EXPECT_EQ(text_to_number("-4e+2 "), -400);
    // Blanks before the exponent end the number: the exponent is not read.
    EXPECT_EQ(text_to_number("12 E3"), 12);
    EXPECT_EQ(text_to_number("-4 e+2 "), -4);
    EXPECT_EQ(text_to_number("+7"), 7);
    for (const char* no : {"1.5", "12a", "", " ", "1,000", "E3", "3E", "- 4"})
        EXPECT_TRUE(is_na(text_to_number(no))) << no;
}

TEST(Tables, XlTableInRowOrderEitherWayRound) {
    std::string block = xltable(2, 3);
    floats(block, {1, 2, 3, 4, 5, 6});
    auto m = parse_xltable(block, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 2);
    EXPECT_EQ(m->inner, 3);
    EXPECT_EQ(m->values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(m->first_bad_row, -1);
    auto t = parse_xltable(block, true);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->outer, 3);
    EXPECT_EQ(t->inner, 2);
    EXPECT_EQ(t->values[1], 4); // row 1, column 0
    // Blanks first, then a string that is a number and one that is not.
    std::string mixed = xltable(1, 4);
    u16(mixed, 5), u16(mixed, 2), u16(mixed, 2);
    u16(mixed, 2), u16(mixed, 6);
    mixed += "\x02"
             "12"
             "\x02"
             "ab";
    auto b = parse_xltable(mixed, false);
    ASSERT_TRUE(b);
    EXPECT_TRUE(is_na(b->values[0]) && is_na(b->values[1]));
    EXPECT_EQ(b->values[2], 12);
    EXPECT_TRUE(is_na(b->values[3]));
    EXPECT_EQ(b->first_bad_row, 0);
    EXPECT_EQ(b->first_bad_column, 0);
}

TEST(Tables, XlTableThatLiesGivesNoMatrix) {
    std::string block = xltable(2, 3);
    floats(block, {1, 2, 3, 4, 5, 6});
    // Cut anywhere inside a record: no matrix, never a read past the end.
    for (std::size_t cut = 0; cut < block.size(); ++cut)
        if (cut != 8) {
            EXPECT_FALSE(parse_xltable(block.substr(0, cut), false)) << cut;
        }
    // A table record alone: a matrix of missing values.
    EXPECT_TRUE(parse_xltable(block.substr(0, 8), false));
    EXPECT_FALSE(parse_xltable(xltable(0, 3), false));
    EXPECT_FALSE(parse_xltable(xltable(65535, 65535), false));
    // The cell limit itself (16 Mi cells) is a table; a row more is not.
    const auto at_limit = parse_xltable(xltable(4096, 4096), false);
    ASSERT_TRUE(at_limit);
    EXPECT_EQ(at_limit->values.size(), std::size_t{16} << 20);
    EXPECT_FALSE(parse_xltable(xltable(4097, 4096), false));
    // A table record too short to hold its two counts, though the bytes
    // after it would read as a number record.
    std::string short_head;
    u16(short_head, 16), u16(short_head, 2), u16(short_head, 1), u16(short_head, 1);
    u16(short_head, 8);
    const double five = 5;
    short_head.append(reinterpret_cast<const char*>(&five), 8);
    EXPECT_FALSE(parse_xltable(short_head, false));
    // A string longer than its record.
    std::string s = xltable(1, 1);
    u16(s, 2), u16(s, 2);
    s += "\x09"
         "1";
    EXPECT_FALSE(parse_xltable(s, false));
    // Skip records and unknown types fail the table.
    std::string skip = xltable(1, 1);
    u16(skip, 7), u16(skip, 0);
    EXPECT_FALSE(parse_xltable(skip, false));
    // More values than cells: the extra ones are not written anywhere.
    std::string extra = xltable(1, 2);
    floats(extra, {1, 2, 3, 4});
    auto m = parse_xltable(extra, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->values.size(), 2u);
}

TEST(Tables, Wk1BlockFromItsSmallestCell) {
    // C5..D7: columns 2-3, rows 4-6.
    auto m = parse_wk1_table(wk1({{2, 4}, {3, 6}, {3, 5}}), false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 3);
    EXPECT_EQ(m->inner, 2);
    EXPECT_EQ(m->values[0], 1);
    EXPECT_EQ(m->values[5], 2);
    EXPECT_EQ(m->values[3], 3);
    EXPECT_TRUE(is_na(m->values[1]));
    // No cells: no table (the sizes would be negative).
    EXPECT_FALSE(parse_wk1_table(wk1({}), false));
    EXPECT_FALSE(parse_wk1_table(wk1({{0, 0}}, false), false));
    const std::string whole = wk1({{0, 0}, {1, 1}});
    for (std::size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_FALSE(parse_wk1_table(whole.substr(0, cut), false)) << cut;
    EXPECT_FALSE(parse_wk1_table(wk1({{0, 0}, {65535, 65535}}), false));
}

TEST(Tables, TabSeparatedText) {
    auto m = parse_text_table("1\t2\r\n 3\tx\t5\n", false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->outer, 2);
    EXPECT_EQ(m->inner, 3);
    EXPECT_EQ(m->values[0], 1);
    EXPECT_EQ(m->values[3], 3);
    EXPECT_TRUE(is_na(m->values[4]));
    EXPECT_EQ(m->values[5], 5);
    // The first field that is not a number; a short row is only missing.
    EXPECT_EQ(m->first_bad_row, 1);
    EXPECT_EQ(m->first_bad_column, 1);
    auto t = parse_text_table("1\n2\n3", true);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->outer, 1);
    EXPECT_EQ(t->inner, 3);
    EXPECT_EQ(t->values, (std::vector<float>{1, 2, 3}));
    EXPECT_FALSE(parse_text_table("", false));
}

// Whole numbers are signed 16-bit values in both blocks: a WK1 integer cell
// (type 13: format, column, row, value) and an XlTable integer record (type
// 6); XlTable booleans (type 3) are 0 and 1.
TEST(Tables, WholeNumberCellsAreSigned) {
    std::string s;
    u16(s, 0), u16(s, 2), u16(s, 0x0406);
    const std::pair<unsigned, int> cells[] = {{0, -5}, {1, 32767}, {2, -32768}, {3, 7}};
    for (const auto& [row, value] : cells) {
        u16(s, 13), u16(s, 7);
        s.push_back('\xFF');
        u16(s, 0), u16(s, row);
        u16(s, static_cast<unsigned>(value) & 0xFFFF);
    }
    u16(s, 1), u16(s, 0);
    auto w = parse_wk1_table(s, false);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->values, (std::vector<float>{-5, 32767, -32768, 7}));

    std::string x = xltable(1, 4);
    u16(x, 6), u16(x, 6);
    u16(x, static_cast<unsigned>(-5) & 0xFFFF), u16(x, 300), u16(x, 0x8000);
    u16(x, 3), u16(x, 2);
    u16(x, 1);
    auto t = parse_xltable(x, false);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->values, (std::vector<float>{-5, 300, -32768, 1}));
}

} // namespace
