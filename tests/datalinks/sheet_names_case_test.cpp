// Sheet names, range names and the time text of a data call as a user types
// them: sheet and range names match without regard to case in the scripts
// sheets are named in, up to the last letter of each alphabet; row numbers
// start at 1 and columns run from A to XFD.
#include <gtest/gtest.h>

#include <string>

#include "datalinks/sheet_data.h"
#include "datalinks/workbook.h"

namespace {

sheets::workbook book_of(std::initializer_list<const char*> names) {
    sheets::workbook b;
    for (const char* n : names) {
        sheets::sheet s;
        s.name = n;
        b.sheets.push_back(s);
    }
    return b;
}

TEST(SheetNameCase, EveryLetterOfEachAlphabetMatchesItsCapital) {
    // Small letters typed against capitals, each alphabet's first and last.
    const struct {
        const char* typed;
        const char* stored;
    } pairs[] = {
        {"abz", "ABZ"},
        {"\xc3\xa0\xc3\xa9\xc3\xbe", "\xc3\x80\xc3\x89\xc3\x9e"}, // àéþ ÀÉÞ
        {"\xc3\xbf", "\xc5\xb8"},                                 // ÿ Ÿ
        {"\xd0\xb0\xd1\x8f", "\xd0\x90\xd0\xaf"},                 // ая АЯ
        {"\xd1\x91\xd1\x9f", "\xd0\x81\xd0\x8f"},                 // ёџ ЁЏ
        {"\xce\xb1\xcf\x89", "\xce\x91\xce\xa9"},                 // αω ΑΩ
        {"\xcf\x82", "\xce\xa3"},                                 // ς Σ
        {"\xce\xac\xce\xad\xce\xaf\xcf\x8c\xcf\x8e",
         "\xce\x86\xce\x88\xce\x8a\xce\x8c\xce\x8f"}, // άέίόώ ΆΈΊΌΏ
    };
    for (const auto& p : pairs) {
        sheets::workbook b = book_of({"other", p.stored});
        EXPECT_EQ(b.find_sheet(p.typed), 1) << p.typed;
        EXPECT_EQ(b.find_sheet(p.stored), 1) << p.stored;
        sheets::named_range r;
        r.sheet = 1;
        b.add_name(p.stored, r);
        EXPECT_NE(b.find_name(p.typed), nullptr) << p.typed;
    }
    // The division sign is no letter: it stays, and does not match × or ÷'s
    // neighbours.
    sheets::workbook b = book_of({"\xc3\x97"}); // ×
    EXPECT_EQ(b.find_sheet("\xc3\xb7"), -1);    // ÷
    EXPECT_EQ(b.find_sheet("Sheet"), -1);
}

TEST(TimeRef, RowsFromOneAndColumnsFromAToXfd) {
    using sheets::time_ref;
    auto is = [](const char* text, int kind, std::int64_t index) {
        time_ref t = sheets::parse_time_ref(text);
        return t.kind == kind && (kind == time_ref::name || t.index == index);
    };
    EXPECT_TRUE(is("1", time_ref::row, 1));
    EXPECT_TRUE(is("1048576", time_ref::row, 1048576));
    EXPECT_TRUE(is("0", time_ref::name, 0));
    EXPECT_TRUE(is("1048577", time_ref::name, 0));
    EXPECT_TRUE(is("a", time_ref::column, 1));
    EXPECT_TRUE(is("Z", time_ref::column, 26));
    EXPECT_TRUE(is("AA", time_ref::column, 27));
    EXPECT_TRUE(is("xfd", time_ref::column, 16384));
    EXPECT_TRUE(is("XFE", time_ref::name, 0));
    EXPECT_TRUE(is("ZZZ", time_ref::name, 0));
    EXPECT_TRUE(is("AAAA", time_ref::name, 0));
    EXPECT_TRUE(is("times", time_ref::name, 0));
}

} // namespace
