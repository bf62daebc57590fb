// Spreadsheet files into a workbook: the same numbers from every format,
// names and cached formula results, cell references both ways, and bad
// files refused with a reason rather than read in part.
#include "datalinks/workbook.h"

#include <cstring>

#include "tests/datalinks/sheet_files.h"

using namespace sheets;

namespace {

double number_at(const sheet& s, std::int64_t row, std::int64_t col) {
    const cell* c = s.at(row, col);
    if (!c || (c->kind != cell_kind::number && c->kind != cell_kind::boolean)) return -999;
    return c->number;
}

// A zip of one deflated part that declares the sizes given.
std::string one_part_zip(std::uint32_t csize, std::uint32_t usize, std::uint16_t flags = 0) {
    auto u16 = [](std::string& s, std::uint16_t v) {
        s.push_back(static_cast<char>(v & 0xFF));
        s.push_back(static_cast<char>(v >> 8));
    };
    auto u32 = [&](std::string& s, std::uint32_t v) {
        u16(s, static_cast<std::uint16_t>(v & 0xFFFF));
        u16(s, static_cast<std::uint16_t>(v >> 16));
    };
    const std::string name = "xl/workbook.xml";
    std::string z;
    u32(z, 0x04034b50);
    u16(z, 20), u16(z, flags), u16(z, 8), u16(z, 0), u16(z, 0);
    u32(z, 0), u32(z, csize), u32(z, usize);
    u16(z, static_cast<std::uint16_t>(name.size())), u16(z, 0);
    z += name;
    z += std::string(csize, '\0');
    const auto cd = static_cast<std::uint32_t>(z.size());
    u32(z, 0x02014b50);
    u16(z, 20), u16(z, 20), u16(z, flags), u16(z, 8), u16(z, 0), u16(z, 0);
    u32(z, 0), u32(z, csize), u32(z, usize);
    u16(z, static_cast<std::uint16_t>(name.size())), u16(z, 0), u16(z, 0), u16(z, 0), u16(z, 0);
    u32(z, 0), u32(z, 0);
    z += name;
    const auto cd_size = static_cast<std::uint32_t>(z.size() - cd);
    u32(z, 0x06054b50);
    u16(z, 0), u16(z, 0), u16(z, 1), u16(z, 1);
    u32(z, cd_size), u32(z, cd), u16(z, 0);
    return z;
}

TEST(Workbook, EveryFormatHoldsTheSameNumbers) {
    temp_folder dir;
    const std::string xlsx = dir / "prices.xlsx";
    write_prices_xlsx(xlsx);
    for (const std::string& path :
         {xlsx, fixture("prices.ods"), fixture("prices.xls"), fixture("prices.csv"),
          fixture("prices.tab"), fixture("prices.wk1")}) {
        SCOPED_TRACE(path);
        workbook b;
        std::string why;
        ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
        const int s = b.find_sheet("PRICES");
        ASSERT_GE(s, 0);
        const sheet& sh = b.sheets[static_cast<std::size_t>(s)];
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(number_at(sh, 0, c + 1), c);
            EXPECT_EQ(number_at(sh, 1, c + 1), 10 + c);
        }
        EXPECT_EQ(number_at(sh, 2, 2), 21.5);
        EXPECT_EQ(number_at(sh, 5, 4), 8);
        const cell* label = sh.at(1, 0);
        ASSERT_NE(label, nullptr);
        ASSERT_EQ(label->kind, cell_kind::text);
        EXPECT_EQ(b.texts[label->text], "a");
        EXPECT_EQ(sh.at(3, 1) ? sh.at(3, 1)->kind : cell_kind::empty, cell_kind::empty);
    }
}

TEST(Workbook, NamesAndCachedFormulaResultsOfAnXlsx) {
    temp_folder dir;
    const std::string path = dir / "names.xlsx";
    lxw_workbook* wb = workbook_new(path.c_str());
    lxw_worksheet* first = workbook_add_worksheet(wb, "First");
    lxw_worksheet* other = workbook_add_worksheet(wb, "My Data");
    worksheet_write_formula_num(first, 0, 0, "=1+2", nullptr, 3);
    worksheet_write_boolean(first, 0, 1, 1, nullptr);
    worksheet_write_string(other, 9, 27, "far", nullptr);
    workbook_define_name(wb, "Block", "='My Data'!$B$3:$D$7");
    workbook_define_name(wb, "One", "=First!$A$1");
    workbook_define_name(wb, "Rate", "=0.96"); // not a range: not kept
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);

    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
    ASSERT_EQ(b.sheets.size(), 2u);
    EXPECT_EQ(number_at(b.sheets[0], 0, 0), 3);
    EXPECT_EQ(number_at(b.sheets[0], 0, 1), 1);
    const cell* far = b.sheets[1].at(9, 27);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(b.texts[far->text], "far");
    const named_range* block = b.find_name("block");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->sheet, 1);
    EXPECT_EQ(block->row0, 2);
    EXPECT_EQ(block->col0, 1);
    EXPECT_EQ(block->row1, 6);
    EXPECT_EQ(block->col1, 3);
    ASSERT_NE(b.find_name("ONE"), nullptr);
    EXPECT_EQ(b.find_name("ONE")->sheet, 0);
    EXPECT_EQ(b.find_name("Rate"), nullptr);
}

TEST(Workbook, ColumnLettersBothWaysUpToXfd) {
    const std::pair<std::int64_t, const char*> columns[] = {
        {1, "A"},   {26, "Z"},   {27, "AA"},   {52, "AZ"},
        {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& [number, letters] : columns) {
        EXPECT_EQ(column_letters(number), letters);
        std::int64_t row = 0, col = 0;
        ASSERT_TRUE(parse_cell_ref(std::string(letters) + "7", &row, &col)) << letters;
        EXPECT_EQ(col, number);
        EXPECT_EQ(row, 7);
    }
    EXPECT_EQ(column_letters(0), "");
    EXPECT_EQ(column_letters(16385), "");
    std::int64_t row = 0, col = 0;
    // Three letters are a column of their own, not the first two.
    ASSERT_TRUE(parse_cell_ref("abc1", &row, &col));
    EXPECT_EQ(col, 731);
    ASSERT_TRUE(parse_cell_ref("XFD1048576", &row, &col));
    EXPECT_EQ(row, 1048576);
    for (const char* name : {"XFE1", "A0", "A1048577", "ABCD1", "A1B", "1A", "", "A", "Prices"})
        EXPECT_FALSE(parse_cell_ref(name, &row, &col)) << name;
}

TEST(Workbook, RangeReferencesOfEitherSuite) {
    std::string sheet_name;
    named_range r;
    ASSERT_TRUE(parse_range_ref("=prices!$B$1:$F$2", &sheet_name, &r));
    EXPECT_EQ(sheet_name, "prices");
    EXPECT_EQ(r.row0, 0);
    EXPECT_EQ(r.col0, 1);
    EXPECT_EQ(r.row1, 1);
    EXPECT_EQ(r.col1, 5);
    ASSERT_TRUE(parse_range_ref("$Sheet1.$C$3:.$A$1", &sheet_name, &r));
    EXPECT_EQ(sheet_name, "Sheet1");
    EXPECT_EQ(r.row0, 0); // corners given in any order
    EXPECT_EQ(r.col1, 2);
    ASSERT_TRUE(parse_range_ref("'My Data'!B2", &sheet_name, &r));
    EXPECT_EQ(sheet_name, "My Data");
    EXPECT_EQ(r.row0, r.row1);
    ASSERT_TRUE(parse_range_ref("D4", &sheet_name, &r));
    EXPECT_EQ(sheet_name, "");
    for (const char* bad : {"0.96", "A1:", "One!Two!", "'open!A1", "a!B1:c!B2", "SUM(A1:A3)"})
        EXPECT_FALSE(parse_range_ref(bad, &sheet_name, &r)) << bad;
    // Both corners may name the sheet, in any case: sheet names ignore it.
    ASSERT_TRUE(parse_range_ref("Prices!A1:PRICES!B2", &sheet_name, &r));
    EXPECT_EQ(sheet_name, "Prices");
    EXPECT_EQ(r.col1, 1);
    EXPECT_EQ(r.row1, 1);
}

// A name defined both for one sheet and for the whole book: a formula on that
// sheet means the sheet's own, one elsewhere (or a link naming no sheet) the
// book's, whatever order the file defined them in.
TEST(Workbook, ASheetsOwnNameComesFirstThenTheBooks) {
    workbook b;
    b.sheets.push_back({"One", {}});
    b.sheets.push_back({"Two", {}});
    b.add_name("Rate", named_range{1, 4, 4, 4, 4, 1, "Rate"});
    b.add_name("Rate", named_range{0, 2, 2, 2, 2, -1, "Rate"});
    ASSERT_NE(b.find_name("rate"), nullptr);
    EXPECT_EQ(b.find_name("rate")->scope, -1);
    EXPECT_EQ(b.find_name("RATE", 0)->scope, -1);
    EXPECT_EQ(b.find_name("Rate", 1)->scope, 1);
    EXPECT_EQ(b.find_name("Rate", 1)->row0, 4);
    // Only a sheet's own: found from anywhere rather than not at all.
    b.add_name("Local", named_range{1, 0, 0, 0, 0, 1, "Local"});
    ASSERT_NE(b.find_name("local", 0), nullptr);
    EXPECT_EQ(b.find_name("local", 0)->scope, 1);
    EXPECT_EQ(b.find_name("nothing"), nullptr);
}

TEST(Workbook, BadFilesGiveAReasonAndNothingElse) {
    temp_folder dir;
    const std::string good = dir / "good.xlsx";
    write_prices_xlsx(good);
    const std::string xlsx = file_bytes(good);
    const std::string wk1 = file_bytes(fixture("prices.wk1"));
    struct bad_case {
        std::string bytes;
        file_kind kind;
        const char* reason;
    };
    const bad_case cases[] = {
        {"Time,1,2\n", file_kind::xlsx, "not a zip archive"},
        {one_part_zip(1000, 900u << 20), file_kind::xlsx, "too large when inflated"},
        {one_part_zip(1000, 100u << 20), file_kind::xlsx, "ratio"},
        {one_part_zip(16, 16, 1), file_kind::xlsx, "encrypted"},
        {xlsx.substr(0, xlsx.size() / 2), file_kind::xlsx, "directory"},
        {xlsx.substr(0, xlsx.size() - 30) + std::string(30, 'x'), file_kind::xlsx, ""},
        {"Time,1,2\nA,\x01\x02,3\n", file_kind::csv, "binary data at byte 11"},
        {std::string("a\tb\0c", 5), file_kind::tab, "binary data at byte 3"},
        {"Time,1,2\n\"open,3\n", file_kind::csv, "without its closing quote"},
        {std::string(4096, '\xD0'), file_kind::xls, "not a readable .xls"},
        {"", file_kind::wk1, "an empty file"},
        {wk1.substr(4), file_kind::wk1, "not a worksheet file"},
        {wk1.substr(0, wk1.size() - 4), file_kind::wk1, "no end record"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.reason);
        workbook b;
        std::string why;
        EXPECT_EQ(read_workbook_bytes(c.bytes, c.kind, "x", &b, &why), 0);
        EXPECT_NE(why, "");
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_TRUE(b.sheets.empty());
        EXPECT_TRUE(b.texts.empty());
    }
    // A .wk1 cut anywhere inside a record is refused, never read in part.
    for (std::size_t cut = 1; cut < wk1.size(); ++cut) {
        workbook b;
        std::string why;
        EXPECT_EQ(read_workbook_bytes(wk1.substr(0, cut), file_kind::wk1, "x", &b, &why), 0) << cut;
    }
    workbook b;
    std::string why;
    // A damaged .xls that made its library write outside its buffers: read
    // in a child process, it costs a reason.
    EXPECT_EQ(read_workbook(fixture("damaged.xls"), &b, &why), 0);
    EXPECT_NE(why.find("not a readable .xls workbook"), std::string::npos) << why;
    EXPECT_TRUE(b.sheets.empty());
    // Shared strings behind a DTD with entities: refused, nothing expanded.
    EXPECT_EQ(read_workbook(fixture("entities.xlsx"), &b, &why), 0);
    EXPECT_NE(why.find("malformed"), std::string::npos) << why;
    EXPECT_TRUE(b.texts.empty());
    EXPECT_EQ(read_workbook(dir / "missing.xlsx", &b, &why), 0);
    EXPECT_EQ(why, "no such file");
    EXPECT_EQ(read_workbook(dir / "book.doc", &b, &why), 0);
}

TEST(Workbook, CellsOutsideTheSheetLimitsAreRefused) {
    workbook b;
    b.sheets.push_back({"s", {}});
    std::string why;
    cell c;
    c.kind = cell_kind::number;
    EXPECT_TRUE(b.put(0, kMaxRows - 1, kMaxColumns - 1, c, &why));
    EXPECT_FALSE(b.put(0, kMaxRows, 0, c, &why));
    EXPECT_FALSE(b.put(0, 0, kMaxColumns, c, &why));
    EXPECT_FALSE(b.put(0, -1, 0, c, &why));
    EXPECT_FALSE(b.put(1, 0, 0, c, &why));
    EXPECT_NE(why, "");
    // A .wk1 label without its terminating zero stops at the record's end.
    std::string wk1("\x00\x00\x02\x00\x06\x04", 6);
    wk1 += std::string("\x0F\x00\x09\x00\xFF\x01\x00\x02\x00'abc", 13);
    wk1 += std::string("\x01\x00\x00\x00", 4);
    ASSERT_EQ(read_workbook_bytes(wk1, file_kind::wk1, "x", &b, &why), 1) << why;
    ASSERT_NE(b.sheets[0].at(2, 1), nullptr);
    EXPECT_EQ(b.texts[b.sheets[0].at(2, 1)->text], "abc");
    // A number that is not finite is an error cell naming its error (found
    // by fuzzing: it named a text that was not there).
    workbook e;
    std::string nan_wk1("\x00\x00\x02\x00\x06\x04", 6);
    nan_wk1 += std::string("\x0E\x00\x0D\x00\xFF\x00\x00\x01\x00", 9);
    nan_wk1 += std::string("\x00\x00\x00\x00\x00\x00\xF8\x7F", 8); // NaN
    nan_wk1 += std::string("\x01\x00\x00\x00", 4);
    ASSERT_EQ(read_workbook_bytes(nan_wk1, file_kind::wk1, "x", &e, &why), 1) << why;
    const cell* bad = e.sheets[0].at(1, 0);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->kind, cell_kind::error);
    ASSERT_LT(bad->text, e.texts.size());
    EXPECT_EQ(e.texts[bad->text], "#NUM!");
}

} // namespace

namespace {

TEST(Workbook, QuotedCsvFieldsSpanDelimitersAndLines) {
    workbook b;
    std::string why;
    const std::string csv = "Time,\"1\",2\r\n\"a, \"\"quoted\"\"\nname\",3.5,\r\n,,7";
    ASSERT_EQ(read_workbook_bytes(csv, file_kind::csv, "s", &b, &why), 1) << why;
    const sheet& s = b.sheets[0];
    EXPECT_EQ(s.name, "s");
    // A quoted number stays text; CR before LF is no part of the last field.
    ASSERT_NE(s.at(0, 1), nullptr);
    EXPECT_EQ(s.at(0, 1)->kind, cell_kind::text);
    EXPECT_EQ(number_at(s, 0, 2), 2);
    ASSERT_NE(s.at(1, 0), nullptr);
    EXPECT_EQ(b.texts[s.at(1, 0)->text], "a, \"quoted\"\nname");
    EXPECT_EQ(number_at(s, 1, 1), 3.5);
    EXPECT_EQ(number_at(s, 2, 2), 7);
    EXPECT_EQ(s.used_rows(), 3);
}

} // namespace

namespace {

// A damaged .xlsx whose XML makes the import library abort on an assertion:
// the reading runs in a child, so the program gets a reason and goes on.
TEST(Workbook, AnXlsxThatMakesTheImporterAbortCostsOnlyAMessage) {
    workbook b;
    std::string why;
    EXPECT_EQ(read_workbook(fixture("bad_attribute.xlsx"), &b, &why), 0);
    EXPECT_NE(why, "");
    EXPECT_TRUE(b.sheets.empty());
    // The good one still reads, named ranges and all, through the child.
    ASSERT_EQ(read_workbook(fixture("names.ods"), &b, &why), 1) << why;
    EXPECT_FALSE(b.names.empty());
}

} // namespace
