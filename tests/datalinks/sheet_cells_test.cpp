// Cells as a model's data calls read them: numbers with exponents in .csv,
// dates with a time of day, TRUE and FALSE as 1 and 0, a name a sheet
// defines for itself before the workbook's, and a relative file found
// beside the open model.
#include <filesystem>

#include "datalinks/sheet_data.h"
#include "datalinks/workbook.h"
#include "datalinks/zip_parts.h"
#include "foundation/types.h"
#include "model/constants.h"
#include "model/model.h"
#include "sim/interp.h"
#include "tests/datalinks/sheet_files.h"
#include "tests/sim/engine_fixture.h"

using namespace sheets;

namespace {

double number_at(const workbook& b, std::int64_t row, std::int64_t col) {
    const cell* c = b.sheets[0].at(row, col);
    if (!c || c->kind != cell_kind::number) return -999;
    return c->number;
}

bool text_at(const workbook& b, std::int64_t row, std::int64_t col, const std::string& want) {
    const cell* c = b.sheets[0].at(row, col);
    return c && c->kind == cell_kind::text && b.texts[c->text] == want;
}

TEST(SheetCells, CsvNumbersWithExponentsOfEitherCaseAndOnlyThoseAreNumbers) {
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes("1.5E3,2e-2, -4E+1 ,7\n"
                                  "0x10,inf,nan,1e,E5,\"12\"\n",
                                  file_kind::csv, "s", &b, &why),
              1)
        << why;
    EXPECT_EQ(number_at(b, 0, 0), 1500);
    EXPECT_EQ(number_at(b, 0, 1), 0.02);
    EXPECT_EQ(number_at(b, 0, 2), -40);
    EXPECT_EQ(number_at(b, 0, 3), 7);
    // Texts that the C library would read a number from stay texts, and so
    // does a quoted number.
    EXPECT_TRUE(text_at(b, 1, 0, "0x10"));
    EXPECT_TRUE(text_at(b, 1, 1, "inf"));
    EXPECT_TRUE(text_at(b, 1, 2, "nan"));
    EXPECT_TRUE(text_at(b, 1, 3, "1e"));
    EXPECT_TRUE(text_at(b, 1, 4, "E5"));
    EXPECT_TRUE(text_at(b, 1, 5, "12"));
}

TEST(SheetCells, OdsDateCellsKeepTheirTimeOfDay) {
    // 2024-02-29 is serial 45351; 18:30 is 18.5 / 24 of a day; 06:00:36 is
    // 21636 seconds.
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"S\"><table:table-row>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-02-29T18:30:00\">"
        "<text:p>x</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-02-29T06:00:36\">"
        "<text:p>x</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-03-01\">"
        "<text:p>x</text:p></table:table-cell>"
        "</table:table-row></table:table></office:spreadsheet></office:body>"
        "</office:document-content>";
    const std::string ods = zip_archive(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}},
        true);
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes(ods, file_kind::ods, "", &b, &why), 1) << why;
    EXPECT_NEAR(number_at(b, 0, 0), 45351 + 18.5 / 24, 1e-9);
    EXPECT_NEAR(number_at(b, 0, 1), 45351 + 21636.0 / 86400, 1e-9);
    EXPECT_EQ(number_at(b, 0, 2), 45352);
}

TEST(SheetCells, OdsRowsRepeatedWithValuesOnlyInAttributesAreEachFilled) {
    // A date cell whose value is in its attributes alone (no paragraph), in
    // a row written once for three.
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"S\">"
        "<table:table-row table:number-rows-repeated=\"3\">"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-03-01\"/>"
        "</table:table-row><table:table-row>"
        "<table:table-cell office:value-type=\"float\" office:value=\"5\"/>"
        "</table:table-row></table:table></office:spreadsheet></office:body>"
        "</office:document-content>";
    const std::string ods = zip_archive(
        {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}},
        true);
    workbook b;
    std::string why;
    ASSERT_EQ(read_workbook_bytes(ods, file_kind::ods, "", &b, &why), 1) << why;
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(number_at(b, row, 0), 45352) << row;
    }
    EXPECT_EQ(number_at(b, 3, 0), 5);
}

class SheetCalls : public testing::Test {
protected:
    void TearDown() override {
        close_model(0, 0);
        forget_workbooks();
    }
    int read(int function, std::vector<std::string> texts, int elements) {
        data_source_call c;
        c.function = function;
        c.texts = std::move(texts);
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

TEST_F(SheetCalls, TrueAndFalseCellsAreOneAndZero) {
    const std::string path = dir_ / "flags.xlsx";
    lxw_workbook* wb = workbook_new(path.c_str());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* ws = workbook_add_worksheet(wb, "flags");
    worksheet_write_boolean(ws, 0, 0, 1, nullptr);
    worksheet_write_boolean(ws, 0, 1, 0, nullptr);
    worksheet_write_number(ws, 0, 2, 3, nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    ASSERT_EQ(read(fn_get_xls_constants, {path, "flags", "A1"}, 3), 1) << messages_.joined();
    ASSERT_EQ(values_.size(), 3u);
    EXPECT_EQ(values_[0], std::vector<float>{1});
    EXPECT_EQ(values_[1], std::vector<float>{0});
    EXPECT_EQ(values_[2], std::vector<float>{3});
    EXPECT_EQ(messages_.joined(), "");
}

TEST_F(SheetCalls, ASheetsOwnNameComesBeforeTheWorkbooksName) {
    const std::string path = dir_ / "names.xlsx";
    lxw_workbook* wb = workbook_new(path.c_str());
    ASSERT_NE(wb, nullptr);
    lxw_worksheet* one = workbook_add_worksheet(wb, "one");
    lxw_worksheet* two = workbook_add_worksheet(wb, "two");
    lxw_worksheet* three = workbook_add_worksheet(wb, "three");
    worksheet_write_number(one, 0, 0, 1, nullptr);
    worksheet_write_number(two, 0, 0, 2, nullptr);
    worksheet_write_number(three, 0, 0, 3, nullptr);
    workbook_define_name(wb, "K", "=one!$A$1");
    workbook_define_name(wb, "two!K", "=two!$A$1");
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    ASSERT_EQ(read(fn_get_xls_constants, {path, "two", "K"}, 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0], std::vector<float>{2}) << "two's own K";
    ASSERT_EQ(read(fn_get_xls_constants, {path, "three", "K"}, 1), 1) << messages_.joined();
    EXPECT_EQ(values_[0], std::vector<float>{1}) << "three has none: the workbook's K";
    EXPECT_EQ(messages_.joined(), "");
}

TEST_F(SheetCalls, ARelativeFileIsLookedForBesideTheOpenModel) {
    const std::string name = "beside-the-model-only.xlsx";
    ASSERT_FALSE(std::filesystem::exists(name)) << "the working folder must not hold it";
    write_prices_xlsx(dir_ / name.c_str());
    close_model(0, 0, dir_.path.c_str(), "m.kmf");
    ASSERT_EQ(read(fn_get_xls_constants, {name, "prices", "B5"}, 2), 1) << messages_.joined();
    EXPECT_EQ(values_[0], std::vector<float>{1});
    EXPECT_EQ(values_[1], std::vector<float>{2});
    // With no model folder it is not found.
    close_model(0, 0);
    forget_workbooks();
    EXPECT_EQ(read(fn_get_xls_constants, {name, "prices", "B5"}, 2), 0);
    EXPECT_NE(messages_.joined().find("does not exist"), std::string::npos) << messages_.joined();
}

} // namespace
