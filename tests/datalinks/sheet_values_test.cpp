// Cell values read as the file stores them: the results of .xls formulas and
// the numbers behind its dates and times, error cells and numbers no double
// holds read as errors, and numbers beyond the simulation's 32-bit range
// named in a warning rather than changed silently.
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "datalinks/service_items.h"
#include "datalinks/sheet_data.h"
#include "datalinks/tables.h"
#include "datalinks/workbook.h"
#include "datalinks/xls_values.h"
#include "datalinks/zip_parts.h"
#include "foundation/memory.h"
#include "foundation/types.h"
#include "model/constants.h"
#include "runs/simdata_adapter.h"
#include "sim/interp.h"
#include "tests/common/packages.h"
#include "tests/common/sanitized.h"
#include "tests/datalinks/sheet_files.h"
#include "tests/sim/engine_fixture.h"

using namespace sheets;

namespace {

const cell* at(const workbook& b, std::int64_t row, std::int64_t col) {
    return b.sheets.empty() ? nullptr : b.sheets[0].at(row, col);
}

// tests/data/sheets/formulas_dates.xls, saved by the office suite: A1 20,
// B1 =A1*2, C1 ="t"&"x", D1 =A1>5, E1 =1/0; A2 36:00:00, B2 0.4 s,
// C2 1900-02-28, D2 2024-05-06 07:08:09.5, E2 0.123456789012.
TEST(SheetValues, XlsFormulaResultsAndDateNumbersAsStored) {
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(fixture("formulas_dates.xls"), &b, &why), 1) << why;
    ASSERT_NE(at(b, 0, 1), nullptr);
    EXPECT_EQ(at(b, 0, 1)->kind, cell_kind::number);
    EXPECT_EQ(at(b, 0, 1)->number, 40);
    ASSERT_EQ(at(b, 0, 2)->kind, cell_kind::text);
    EXPECT_EQ(b.texts[at(b, 0, 2)->text], "tx");
    EXPECT_EQ(at(b, 0, 3)->kind, cell_kind::boolean);
    EXPECT_EQ(at(b, 0, 3)->number, 1);
    ASSERT_EQ(at(b, 0, 4)->kind, cell_kind::error);
    EXPECT_EQ(b.texts[at(b, 0, 4)->text], "#DIV/0!");
    EXPECT_EQ(at(b, 1, 0)->number, 1.5);
    EXPECT_DOUBLE_EQ(at(b, 1, 1)->number, 0.4 / 86400);
    EXPECT_EQ(at(b, 1, 2)->number, 59); // the serial the file stores, not 1900-03-01's
    EXPECT_DOUBLE_EQ(at(b, 1, 3)->number, 45418 + (7 * 3600 + 8 * 60 + 9.5) / 86400);
    EXPECT_EQ(at(b, 1, 4)->number, 0.123456789012);
}

// The same values as an independent reader from Debian reads them.
TEST(SheetValues, XlsValuesMatchAnIndependentReader) {
    ASSERT_EQ(packages_missing({"python3-xlrd"}), "");
    temp_folder dir;
    const std::string out = dir / "xlrd.txt";
    const std::string command =
        "/usr/bin/python3 -c \"import xlrd\nb = xlrd.open_workbook('" +
        fixture("formulas_dates.xls") +
        "')\ns = b.sheet_by_index(0)\nfor r in range(s.nrows):\n  for c in s.row(r):\n"
        "    print(repr(c.value) if c.ctype in (2, 3) else '-')\" > " +
        out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string theirs = file_bytes(out);
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(fixture("formulas_dates.xls"), &b, &why), 1) << why;
    std::istringstream lines(theirs);
    std::string line;
    int numbers = 0;
    for (std::int64_t r = 0; r < 2; ++r)
        for (std::int64_t c = 0; c < 5; ++c) {
            ASSERT_TRUE(std::getline(lines, line));
            SCOPED_TRACE(column_letters(c + 1) + std::to_string(r + 1));
            const cell* x = at(b, r, c);
            if (line == "-") {
                EXPECT_TRUE(!x || x->kind != cell_kind::number);
                continue;
            }
            ASSERT_TRUE(x && x->kind == cell_kind::number);
            EXPECT_EQ(x->number, std::strtod(line.c_str(), nullptr)) << line;
            ++numbers;
        }
    EXPECT_EQ(numbers, 7);
}

// The stored values of damaged compound files: refused, never read past.
TEST(SheetValues, DamagedCompoundFilesGiveNoValues) {
    const std::string good = file_bytes(fixture("formulas_dates.xls"));
    std::vector<xls_value> values;
    ASSERT_TRUE(read_xls_values(good, &values));
    EXPECT_GE(values.size(), 10u);
    for (std::size_t cut : {std::size_t{0}, std::size_t{100}, std::size_t{600}, good.size() / 2})
        read_xls_values(good.substr(0, cut), &values); // no crash, whatever it says
    EXPECT_FALSE(read_xls_values(good.substr(0, 100), &values));
    std::string loop = good;
    for (std::size_t k = 0; k < 4; ++k) loop[0x4C + k] = '\xFF'; // the first FAT sector: none
    EXPECT_FALSE(read_xls_values(loop, &values));
}

// A formula's text result kept in two-byte characters (a text beyond
// Latin-1 is): each character read, the last one too. The sample's "tx"
// result record (two one-byte characters) is rewritten in place, the same
// five bytes holding one two-byte character.
TEST(SheetValues, XlsTextResultsInTwoByteCharacters) {
    const std::string good = file_bytes(fixture("formulas_dates.xls"));
    const std::string record("\x07\x02\x05\x00\x02\x00\x00tx", 9);
    const std::size_t at = good.find(record);
    ASSERT_NE(at, std::string::npos);
    for (const auto& [wide, text] :
         {std::pair<std::string, std::string>{std::string("t\0", 2), "t"},
          {"\xAC\x20", "\xE2\x82\xAC"}}) { // the euro sign
        std::string file = good;
        file.replace(at + 4, 5, std::string("\x01\x00\x01", 3) + wide);
        std::vector<xls_value> values;
        ASSERT_TRUE(read_xls_values(file, &values));
        const auto c1 = std::find_if(values.begin(), values.end(), [](const xls_value& v) {
            return v.sheet == 0 && v.row == 0 && v.col == 2;
        });
        ASSERT_NE(c1, values.end());
        EXPECT_EQ(c1->kind, xls_kind::text);
        EXPECT_EQ(c1->text, text);
    }
}

// An .xlsx of our own archive whose B2 and C2 say what the file holds.
std::string prices_with(const std::string& dir, const char* b2, const char* c2,
                        const char* c2_type = nullptr) {
    write_prices_xlsx(dir + "/base.xlsx");
    std::vector<zip_part> parts;
    std::string why;
    EXPECT_TRUE(unzip_parts(file_bytes(dir + "/base.xlsx"), &parts, &why)) << why;
    for (zip_part& p : parts)
        if (p.name == "xl/worksheets/sheet1.xml") {
            auto swap = [&](const std::string& from, const std::string& to) {
                const std::size_t a = p.data.find(from);
                ASSERT_NE(a, std::string::npos) << from;
                p.data.replace(a, from.size(), to);
            };
            swap("<c r=\"B2\"><v>10</v></c>", std::string("<c r=\"B2\"><v>") + b2 + "</v></c>");
            swap("<c r=\"C2\"><v>11</v></c>",
                 std::string("<c r=\"C2\"") +
                     (c2_type ? std::string(" t=\"") + c2_type + "\"" : std::string()) + "><v>" +
                     c2 + "</v></c>");
        }
    const std::string path = dir + "/mended.xlsx";
    write_bytes(path, zip_archive(parts, true));
    return path;
}

TEST(SheetValues, ErrorCellsAndNumbersNoDoubleHoldsAreErrors) {
    temp_folder dir;
    const std::string path = prices_with(dir.path, "1e999", "#N/A", "e");
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
    ASSERT_EQ(at(b, 1, 1)->kind, cell_kind::error);
    EXPECT_EQ(b.texts[at(b, 1, 1)->text], "#NUM!");
    ASSERT_EQ(at(b, 1, 2)->kind, cell_kind::error);
    EXPECT_EQ(b.texts[at(b, 1, 2)->text], "#N/A");
    EXPECT_EQ(at(b, 1, 3)->number, 12); // the rest as it was

    // The same in an .ods: the number is an error, not its leading digits.
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"S\"><table:table-row>"
        "<table:table-cell office:value-type=\"float\" office:value=\"1e999\"><text:p>x</text:p>"
        "</table:table-cell><table:table-cell office:value-type=\"float\" office:value=\"2\"/>"
        "</table:table-row></table:table></office:spreadsheet></office:body>"
        "</office:document-content>";
    const std::string ods = zip_archive(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}},
        true);
    ASSERT_EQ(read_workbook_bytes(ods, file_kind::ods, "", &b, &why), 1) << why;
    ASSERT_EQ(at(b, 0, 0)->kind, cell_kind::error);
    EXPECT_EQ(at(b, 0, 1)->number, 2);
}

// The WK1 answer of the spreadsheet service: texts in code page 437, the
// page the format's readers take them in, error cells as numbers no reader
// takes for numbers (not blank labels).
TEST(SheetValues, Wk1AnswersCarryTextsAndErrorsOverOneByte) {
    workbook b;
    b.sheets.push_back({"s", {}});
    std::string why;
    b.put(0, 0, 0, {cell_kind::text, b.add_text("Größe"), 0}, &why);
    b.put(0, 0, 1, {cell_kind::error, b.add_text("#DIV/0!"), 0}, &why);
    b.put(0, 0, 2, {cell_kind::number, 0, 2.5}, &why);
    const std::string block = sheet_service::wk1_block(b.sheets[0], b, 0, 0, 1, 3);
    EXPECT_NE(block.find("'Gr\x94\xE1"
                         "e"),
              std::string::npos);
    workbook back;
    ASSERT_EQ(read_workbook_bytes(block, file_kind::wk1, "s", &back, &why), 1) << why;
    ASSERT_EQ(at(back, 0, 0)->kind, cell_kind::text);
    EXPECT_EQ(back.texts[at(back, 0, 0)->text], "Größe");
    EXPECT_EQ(at(back, 0, 1)->kind, cell_kind::error);
    EXPECT_EQ(at(back, 0, 2)->number, 2.5);
    const auto m = parse_wk1_table(block, false);
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->values.size(), 3u);
    EXPECT_TRUE(is_na(m->values[1]));
    EXPECT_EQ(m->values[2], 2.5f);
    // The office suite reads the label as written.
    if (sanitized) return; // the Release build runs the suite
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    temp_folder dir;
    write_bytes(dir / "answer.wk1", block);
    const std::string command = "cd " + dir.path + " && HOME=" + dir.path +
                                " timeout -k 10 300 soffice -env:UserInstallation=file://" +
                                dir.path +
                                "/profile --headless --convert-to "
                                "'csv:Text - txt - csv (StarCalc):44,34,76' --outdir " +
                                dir.path + " " + dir / "answer.wk1" + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string csv = file_bytes(dir / "answer.csv");
    EXPECT_NE(csv.find("Größe"), std::string::npos) << csv;
}

class SheetValueNotes : public testing::Test {
protected:
    void TearDown() override { forget_workbooks(); }
    int read(const std::string& file, const char* first, int elements) {
        data_source_call c;
        c.function = fn_get_xls_data;
        c.texts = {file, "prices", "1", first};
        c.elements = elements;
        c.target = "target";
        times_.clear();
        values_.clear();
        return read_sheet_data_source(c, &times_, &values_);
    }
    temp_folder dir_;
    std::vector<std::vector<float>> times_, values_;
    message_capture messages_;
};

TEST_F(SheetValueNotes, CellsBeyondTheSimulationsNumbersAreNamed) {
    const std::string path = prices_with(dir_.path, "4e38", "1e-30");
    ASSERT_EQ(read(path, "B2", 1), 1) << messages_.joined();
    ASSERT_EQ(values_.size(), 1u);
    EXPECT_TRUE(is_na(values_[0][0])) << values_[0][0];
    EXPECT_EQ(values_[0][2], 12);
    EXPECT_TRUE(messages_.contains("Cell B2 of " + path + ":prices holds 4e+38,"))
        << messages_.joined();
    EXPECT_TRUE(messages_.contains("beyond the simulation's numbers")) << messages_.joined();

    const std::string errors = prices_with(dir_.path, "10", "#DIV/0!", "e");
    forget_workbooks();
    ASSERT_EQ(read(errors, "B2", 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0][0], 10);
    EXPECT_TRUE(is_na(values_[0][1]));
    EXPECT_TRUE(messages_.contains("Cell C2 of")) << messages_.joined();
    EXPECT_TRUE(messages_.contains("holds the error #DIV/0!")) << messages_.joined();

    // A number written as text (quoted in a .csv with decimal commas) is no
    // number, and the warning says why the point is missing.
    const std::string csv = dir_.path + "/prices.csv";
    write_bytes(csv, "Time;0;1;2\na;\"2,5\";3,5;4\n");
    ASSERT_EQ(read(csv, "B2", 1), 1) << messages_.joined();
    EXPECT_TRUE(is_na(values_[0][0]));
    EXPECT_EQ(values_[0][1], 3.5f);
    EXPECT_TRUE(messages_.contains("Cell B2 of " + csv +
                                   ":prices holds the text \"2,5\", not a "
                                   "number"))
        << messages_.joined();
}

} // namespace

namespace {

// An .ods of one sheet "prices" whose rows are given.
std::string ods_of(const std::string& rows) {
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"prices\">" +
        rows + "</table:table></office:spreadsheet></office:body></office:document-content>";
    return zip_archive(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}},
        true);
}

std::string float_cell(const char* v) {
    return std::string("<table:table-cell office:value-type=\"float\" office:value=\"") + v +
           "\"><text:p>" + v + "</text:p></table:table-cell>";
}

std::string time_cell(const char* v) {
    return std::string("<table:table-cell office:value-type=\"time\" "
                       "calcext:value-type=\"time\" office:time-value=\"") +
           v + "\"><text:p>" + v + "</text:p></table:table-cell>";
}

} // namespace

// Covered cells (the hidden part of a merged range) count as many columns as
// their repeat says, so the cells right of a merge stay where they are; time
// and duration cells read as days, as the same sheet as .xlsx or .xls does.
TEST(SheetValues, OdsCoveredCellsAndTimeCellsReadWhereTheyStand) {
    const std::string ods =
        ods_of("<table:table-row>" + float_cell("0") + float_cell("1") + float_cell("2") +
               float_cell("3") +
               "</table:table-row><table:table-row>"
               "<table:table-cell table:number-columns-spanned=\"3\" office:value-type=\"float\" "
               "office:value=\"5\"><text:p>5</text:p></table:table-cell>"
               "<table:covered-table-cell table:number-columns-repeated=\"2\"/>" +
               float_cell("9") + "</table:table-row><table:table-row>" + time_cell("PT36H00M00S") +
               time_cell("-PT1H30M") + time_cell("P1DT12H") + time_cell("P1Y") +
               "<table:covered-table-cell><text:p>hidden</text:p></table:covered-table-cell>" +
               float_cell("7") + "</table:table-row>");
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes(ods, file_kind::ods, "", &b, &why), 1) << why;
    EXPECT_EQ(at(b, 1, 0)->number, 5);
    auto empty = [&](std::int64_t r, std::int64_t c) {
        return !at(b, r, c) || at(b, r, c)->kind == cell_kind::empty;
    };
    EXPECT_TRUE(empty(1, 1));
    EXPECT_TRUE(empty(1, 2));
    ASSERT_NE(at(b, 1, 3), nullptr);
    EXPECT_EQ(at(b, 1, 3)->number, 9);
    EXPECT_DOUBLE_EQ(at(b, 2, 0)->number, 1.5);
    EXPECT_DOUBLE_EQ(at(b, 2, 1)->number, -1.5 / 24);
    EXPECT_DOUBLE_EQ(at(b, 2, 2)->number, 1.5);
    ASSERT_EQ(at(b, 2, 3)->kind, cell_kind::error); // a year has no fixed length
    EXPECT_TRUE(empty(2, 4));                       // a covered cell's hidden text
    EXPECT_EQ(at(b, 2, 5)->number, 7);
}

// The same from a workbook the office suite saves as .ods: a merged range
// and a duration of a day and a half.
TEST(SheetValues, MergedAndDurationCellsReadAsTheOfficeSuiteSavesThem) {
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    ASSERT_EQ(packages_missing({"libreoffice-calc-nogui"}), "");
    temp_folder dir;
    const std::string xlsx = dir / "merged.xlsx";
    {
        lxw_workbook* wb = workbook_new(xlsx.c_str());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "prices");
        lxw_format* hours = workbook_add_format(wb);
        format_set_num_format(hours, "[h]:mm:ss");
        for (int c = 0; c < 4; ++c)
            worksheet_write_number(ws, 0, static_cast<lxw_col_t>(c + 1), c, nullptr);
        worksheet_merge_range(ws, 1, 1, 1, 3, "", nullptr);
        worksheet_write_number(ws, 1, 1, 5, nullptr);
        worksheet_write_number(ws, 1, 4, 9, nullptr);
        worksheet_write_number(ws, 2, 1, 1.5, hours);
        ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    }
    const std::string command = "cd " + dir.path + " && HOME=" + dir.path +
                                " timeout -k 10 300 soffice -env:UserInstallation=file://" +
                                dir.path + "/profile --headless --convert-to ods --outdir " +
                                dir.path + " " + xlsx + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string ods = file_bytes(dir / "merged.ods");
    ASSERT_NE(ods.size(), 0u);
    // The suite's own forms of both (else the test proves nothing).
    std::vector<zip_part> parts;
    std::string why;
    ASSERT_TRUE(unzip_parts(ods, &parts, &why)) << why;
    std::string content;
    for (const zip_part& p : parts)
        if (p.name == "content.xml") content = p.data;
    EXPECT_NE(content.find("covered-table-cell table:number-columns-repeated=\"2\""),
              std::string::npos);
    EXPECT_NE(content.find("office:time-value=\"PT36H00M00S\""), std::string::npos);
    for (const std::string& path : {xlsx, dir / "merged.ods"}) {
        SCOPED_TRACE(path);
        workbook b;
        ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
        EXPECT_EQ(at(b, 1, 1)->number, 5);
        EXPECT_TRUE(!at(b, 1, 2) || at(b, 1, 2)->kind == cell_kind::empty);
        ASSERT_NE(at(b, 1, 4), nullptr);
        EXPECT_EQ(at(b, 1, 4)->number, 9);
        ASSERT_NE(at(b, 2, 1), nullptr);
        EXPECT_DOUBLE_EQ(at(b, 2, 1)->number, 1.5);
    }
}

// A value that is no number is no 0, and every cell read otherwise than it
// stands is named, not the first alone.
TEST_F(SheetValueNotes, ValuesThatAreNoNumberAndEveryCellOutOfRangeAreNamed) {
    const std::string path = prices_with(dir_.path, "0x10", "1e-50");
    ASSERT_EQ(read(path, "B2", 1), 1) << messages_.joined();
    EXPECT_TRUE(is_na(values_[0][0])) << values_[0][0];
    EXPECT_TRUE(messages_.contains("Cell B2 of " + path +
                                   ":prices holds the value \"0x10\", which is no number"))
        << messages_.joined();
    EXPECT_TRUE(messages_.contains(
        "Cell C2 of " + path + ":prices holds 1e-50, below the simulation's numbers: read as 0"))
        << messages_.joined();
    // Forty cells below the range in one row: each one named.
    const std::string csv = dir_.path + "/prices.csv";
    std::string head = "Time", row = "a";
    for (int k = 0; k < 40; ++k) {
        head += "," + std::to_string(k);
        row += ",1e-50";
    }
    write_bytes(csv, head + "\n" + row + "\n");
    forget_workbooks();
    ASSERT_EQ(read(csv, "B2", 1), 1) << messages_.joined();
    EXPECT_TRUE(messages_.contains("Cell B2 of ")) << messages_.joined();
    EXPECT_TRUE(messages_.contains("Cell T2 of ")) << messages_.joined();
    EXPECT_TRUE(messages_.contains("Cell U2 of ")) << messages_.joined();
    EXPECT_TRUE(messages_.contains("Cells V2, W2, ")) << messages_.joined();
    EXPECT_TRUE(messages_.contains(", AO2 of ")) << messages_.joined();
}

// A formula openpyxl writes has no stored result: the cell says so, with the
// file and the cell, rather than reading as a number that is none.
TEST_F(SheetValueNotes, AFormulaWithoutItsResultIsNamed) {
    ASSERT_EQ(packages_missing({"python3-openpyxl"}), "");
    const std::string path = dir_.path + "/formula.xlsx";
    const std::string script = "import openpyxl\n"
                               "wb = openpyxl.Workbook()\n"
                               "ws = wb.active\n"
                               "ws.title = 'prices'\n"
                               "ws.append(['Time', 0, 1, 2])\n"
                               "ws.append(['a', '=1+1', 3, 4])\n"
                               "wb.save('" +
                               path + "')\n";
    write_bytes(dir_.path + "/make.py", script);
    ASSERT_EQ(std::system(("/usr/bin/python3 " + dir_.path + "/make.py").c_str()), 0);
    ASSERT_EQ(read(path, "B2", 1), 1) << messages_.joined();
    EXPECT_TRUE(is_na(values_[0][0])) << values_[0][0];
    EXPECT_EQ(values_[0][1], 3);
    EXPECT_TRUE(
        messages_.contains("Cell B2 of " + path + ":prices holds a formula with no stored result"))
        << messages_.joined();
}

// An exponent needs its digits ("1e" is a text, not 1), and the value a
// message quotes keeps no markup of the file; "2.5E+1" and ".5" are numbers.
TEST_F(SheetValueNotes, AnExponentNeedsItsDigitsAndAQuotedValueKeepsNoMarkup) {
    std::string path = prices_with(dir_.path, "1e", "5&amp;6");
    ASSERT_EQ(read(path, "B2", 1), 1) << messages_.joined();
    EXPECT_TRUE(is_na(values_[0][0])) << values_[0][0];
    EXPECT_TRUE(is_na(values_[0][1])) << values_[0][1];
    EXPECT_TRUE(messages_.contains("Cell B2 of " + path +
                                   ":prices holds the value \"1e\", which is no number"))
        << messages_.joined();
    EXPECT_TRUE(messages_.contains("Cell C2 of " + path +
                                   ":prices holds the value \"5?amp;6\", which is no number"))
        << messages_.joined();

    path = prices_with(dir_.path, "2.5E+1", ".5");
    ASSERT_EQ(read(path, "B2", 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0][0], 25);
    EXPECT_EQ(values_[0][1], 0.5f);
}

// A file read once is kept, but one changed since (same size, a later time)
// is read again: the run takes the numbers it holds now.
TEST_F(SheetValueNotes, AFileChangedSinceItWasReadIsReadAgain) {
    const std::string csv = dir_.path + "/prices.csv";
    write_bytes(csv, "Time,0,1\na,5,6\n");
    ASSERT_EQ(read(csv, "B2", 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0][0], 5);
    const auto first = std::filesystem::last_write_time(csv);
    write_bytes(csv, "Time,0,1\na,7,6\n"); // the same size
    std::filesystem::last_write_time(csv, first + std::chrono::seconds(5));
    ASSERT_EQ(read(csv, "B2", 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0][0], 7);
    EXPECT_EQ(values_[0][1], 6);
}

TEST(SheetFiles, TheKindOfAFileIsItsExtensionInEitherCase) {
    EXPECT_EQ(kind_of_path("/a/b.xlsx"), file_kind::xlsx);
    EXPECT_EQ(kind_of_path("/a/b.XlSm"), file_kind::xlsx); // with macros: the same cells
    EXPECT_EQ(kind_of_path("b.ods"), file_kind::ods);
    EXPECT_EQ(kind_of_path("b.Xls"), file_kind::xls);
    EXPECT_EQ(kind_of_path("b.csv"), file_kind::csv);
    EXPECT_EQ(kind_of_path("b.tab"), file_kind::tab);
    EXPECT_EQ(kind_of_path("b.TXT"), file_kind::tab);
    EXPECT_EQ(kind_of_path("b.wk1"), file_kind::wk1);
    EXPECT_EQ(kind_of_path("b.xlsx.bak"), file_kind::unknown);
    EXPECT_EQ(kind_of_path("xlsx"), file_kind::unknown);
}

// An inline string's runs join; an empty run (<t/>, with attributes or not)
// adds nothing and takes nothing of the runs after it.
TEST(SheetValues, InlineStringsJoinTheirRunsAndEmptyRunsAddNothing) {
    temp_folder dir;
    const std::string path =
        prices_with(dir.path, "10",
                    "</v><is><r><t/></r><r><t xml:space=\"preserve\"/></r><r><t>ab</t></r><r><t "
                    "xml:space=\"preserve\"> c</t></r></is><v>",
                    "inlineStr");
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook(path, &b, &why), 1) << why;
    ASSERT_NE(at(b, 1, 2), nullptr);
    ASSERT_EQ(at(b, 1, 2)->kind, cell_kind::text);
    EXPECT_EQ(b.texts[at(b, 1, 2)->text], "ab c");
}
