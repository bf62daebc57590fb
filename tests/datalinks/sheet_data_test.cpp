// Spreadsheet data for data and constant equations: the ranges a call's
// texts name, times along a row or down a column, transposed constants, each
// message, busy_depth back where it was after every way out, and a built
// model simulated from every file format giving the same run.
#include "datalinks/sheet_data.h"

#include <deque>

#include "foundation/memory.h"
#include "foundation/types.h"
#include "model/constants.h"
#include "runs/simdata_adapter.h"
#include "sim/interp.h"
#include "tests/datalinks/sheet_files.h"
#include "tests/sim/engine_fixture.h"

using namespace sheets;

namespace {

class SheetData : public testing::Test {
protected:
    void SetUp() override {
        xlsx_ = dir_ / "prices.xlsx";
        write_prices_xlsx(xlsx_);
        columns_ = dir_ / "columns.xlsx";
        // Times 0..119 down column A from row 2 (row 61, time 59, left empty),
        // series in B (2 t) and C (t + 1000); a 2 x 2 block of numbers with a
        // text in it; names over them.
        lxw_workbook* wb = workbook_new(columns_.c_str());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Down");
        for (int t = 0; t < 120; ++t) {
            const auto row = static_cast<lxw_row_t>(t + 1);
            if (t != 59) worksheet_write_number(ws, row, 0, t, nullptr);
            worksheet_write_number(ws, row, 1, 2 * t, nullptr);
            worksheet_write_number(ws, row, 2, t + 1000, nullptr);
        }
        worksheet_write_number(ws, 0, 5, 1, nullptr);
        worksheet_write_string(ws, 0, 6, "text", nullptr);
        worksheet_write_string(ws, 1, 5, "text", nullptr);
        workbook_define_name(wb, "DownTimes", "=Down!$A$2:$A$6");
        workbook_define_name(wb, "DownData", "=Down!$B$2:$C$6");
        workbook_define_name(wb, "Short", "=Down!$B$2:$C$5");
        workbook_define_name(wb, "Square", "=Down!$A$2:$B$3");
        workbook_define_name(wb, "Mixed", "=Down!$F$1:$G$1");
        workbook_define_name(wb, "MixedDown", "=Down!$F$1:$F$2");
        ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
        busy_before_ = busy_depth;
    }
    void TearDown() override {
        EXPECT_EQ(busy_depth, busy_before_);
        forget_workbooks();
    }
    static data_source_call call(int fn, std::vector<std::string> texts, int elements) {
        data_source_call c;
        c.function = fn;
        c.texts = std::move(texts);
        c.elements = elements;
        c.target = "target";
        return c;
    }
    // Reads through the data-source entry; 1 or 0.
    int read(const data_source_call& c) {
        times_.clear();
        values_.clear();
        return read_sheet_data_source(c, &times_, &values_);
    }

    temp_folder dir_;
    std::string xlsx_, columns_;
    std::int32_t busy_before_ = 0;
    std::vector<std::vector<float>> times_, values_;
    message_capture messages_;
};

TEST_F(SheetData, TimesAlongARowAndDownAColumn) {
    // Time row 1 with first cell B2 and two series: rows 2 and 3 from B.
    ASSERT_EQ(read(call(fn_get_xls_data, {xlsx_, "prices", "1", "B2"}, 2)), 1)
        << messages_.joined();
    ASSERT_EQ(times_.size(), 2u);
    EXPECT_EQ(times_[0], (std::vector<float>{0, 1, 2, 3, 4}));
    EXPECT_EQ(values_[0], (std::vector<float>{10, 11, 12, 13, 14}));
    EXPECT_EQ(values_[1], (std::vector<float>{20, 21.5f, 22, 23, 24}));
    // Time column A with first cell B2: 120 times, the empty one dropped from
    // the times and from every series at the same place.
    ASSERT_EQ(read(call(fn_get_xls_data, {columns_, "down", "a", "B2"}, 2)), 1)
        << messages_.joined();
    ASSERT_EQ(times_[0].size(), 119u);
    EXPECT_EQ(times_[0][58], 58);
    EXPECT_EQ(times_[0][59], 60);
    EXPECT_EQ(times_[1].back(), 119);
    EXPECT_EQ(values_[0][59], 120);
    EXPECT_EQ(values_[1][59], 1060);
    // The lookup forms read the same way.
    ASSERT_EQ(read(call(fn_get_xls_lookups, {columns_, "Down", "A", "C2"}, 1)), 1);
    EXPECT_EQ(values_[0][0], 1000);
    // Named ranges: a column of times turns the data's columns into series.
    ASSERT_EQ(read(call(fn_get_xls_data, {columns_, "Down", "DownTimes", "DownData"}, 2)), 1)
        << messages_.joined();
    EXPECT_EQ(times_[0], (std::vector<float>{0, 1, 2, 3, 4}));
    EXPECT_EQ(values_[0], (std::vector<float>{0, 2, 4, 6, 8}));
    EXPECT_EQ(values_[1], (std::vector<float>{1000, 1001, 1002, 1003, 1004}));
    // The same names from the .xlsx and from an .ods the office suite saved.
    for (const std::string& file : {xlsx_, fixture("names.ods")}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(read(call(fn_get_xls_data, {file, "prices", "Times", "Series"}, 2)), 1)
            << messages_.joined();
        EXPECT_EQ(times_[1], (std::vector<float>{0, 1, 2, 3, 4}));
        EXPECT_EQ(values_[1][1], 21.5f);
    }
    EXPECT_EQ(messages_.joined(), "");
}

TEST_F(SheetData, ConstantsInARowTransposedAndNamed) {
    ASSERT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "C5"}, 3)), 1);
    ASSERT_EQ(values_.size(), 3u);
    EXPECT_EQ(values_[0], std::vector<float>{2});
    EXPECT_EQ(values_[2], std::vector<float>{4});
    // "*": the constant's row is a column of the sheet.
    ASSERT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "C5*"}, 2)), 1);
    EXPECT_EQ(values_[0], std::vector<float>{2});
    EXPECT_EQ(values_[1], std::vector<float>{6});
    ASSERT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "ks"}, 4)), 1);
    EXPECT_EQ(values_[3], std::vector<float>{4});
    EXPECT_EQ(messages_.joined(), "");
}

TEST_F(SheetData, EachFailureHasItsMessageAndFillsNothing) {
    struct failing {
        data_source_call c;
        std::string message;
    };
    const failing cases[] = {
        {call(fn_get_xls_data, {xlsx_, "prices", "1", "Series"}, 1),
         "If startpos is a named range the value for Time Row/Col must also be a named range"},
        {call(fn_get_xls_data, {xlsx_, "prices", "Times", "B2"}, 1),
         "Time row/col must be a number (row) or letter (column) Times not understood"},
        {call(fn_get_xls_data, {xlsx_, "prices", "Nowhere", "Series"}, 1),
         ("Range (or named range) Nowhere in file " + xlsx_ +
          " (sheet prices) incorrect or noncontiguous")},
        {call(fn_get_xls_data, {columns_, "Down", "Square", "DownData"}, 1),
         "The named time range must be part of a single row or column"},
        {call(fn_get_xls_data, {columns_, "Down", "DownTimes", "Short"}, 1),
         ("The named time range (DownTimes) not the same size as the data range (Short) in "
          "file " +
          columns_ + " sheet Down")},
        {call(fn_get_xls_data, {xlsx_, "prices", "1", "B2"}, 3),
         ("Insufficient data for needed variable target in file " + xlsx_ + " sheet prices")},
        {call(fn_get_xls_data, {xlsx_, "prices", "9", "B2"}, 1),
         "An apparently empty time/x vector in file " + xlsx_ + " sheet prices"},
        {call(fn_get_xls_constants, {xlsx_, "prices", "Ks"}, 3),
         "Not enough, or incorrectly dimensioned data for target"},
        {call(fn_get_xls_constants, {xlsx_, "prices", "A5"}, 2),
         "No number found in cell A5 (and perhaps others) of " + xlsx_ + ":prices"},
        {call(fn_get_xls_constants, {xlsx_, "prices", "b5*"}, 3),
         "No number found in cell B7 (and perhaps others) of " + xlsx_ + ":prices"},
        // Of several cells without a number, the first is named: G1 (a
        // text) before H1 (empty); F2 (a text) before F3 down the column.
        {call(fn_get_xls_constants, {columns_, "Down", "F1"}, 3),
         "No number found in cell G1 (and perhaps others) of " + columns_ + ":Down"},
        {call(fn_get_xls_constants, {columns_, "Down", "F1*"}, 3),
         "No number found in cell F2 (and perhaps others) of " + columns_ + ":Down"},
        {call(fn_get_xls_constants, {columns_, "Down", "Mixed"}, 2),
         ("No number in the 0th row and 1th column of named range Mixed in file " + columns_)},
        // Read transposed, the text is still in the range's second row.
        {call(fn_get_xls_constants, {columns_, "Down", "MixedDown*"}, 2),
         ("No number in the 1th row and 0th column of named range MixedDown in file " + columns_)},
        {call(fn_get_xls_constants, {dir_ / "gone.xlsx", "prices", "B5"}, 1),
         "The file " + std::string(dir_ / "gone.xlsx") + " does not exist - can't read info"},
        {call(fn_get_xls_constants, {xlsx_, "Costs", "B5"}, 1),
         "The sheet name Costs appears to be invalid"},
        {call(fn_get_xls_data, {xlsx_, "prices", "1"}, 1), "Argument list too short"},
        {call(fn_get_xls_data, {fixture("prices.xls"), "prices", "Times", "Series"}, 1),
         "names of .xls workbooks are not read"},
        {call(fn_get_xls_data, {columns_, "Down", "A", "B2"}, 600000),
         "Too much data for target in file " + columns_ + " sheet Down (120 times"},
        // Nobody to ask (no main window) and no file chosen before.
        {call(fn_get_xls_constants, {"?Prices", "prices", "B5"}, 1),
         "No file has been chosen for the redirect name ?Prices"},
        {[&] {
             data_source_call c = call(fn_get_xls_constants, {xlsx_, "prices", "B5"}, 4);
             c.target = "grid[r1,c1]";
             return c;
         }(),
         "constants of more than two subscripts, or of part of a variable of two"},
    };
    for (const failing& f : cases) {
        SCOPED_TRACE(f.message);
        const std::int32_t busy = busy_depth;
        message_capture messages_;
        EXPECT_EQ(read(f.c), 0);
        EXPECT_EQ(busy_depth, busy);
        EXPECT_TRUE(times_.empty());
        EXPECT_TRUE(values_.empty());
        EXPECT_TRUE(messages_.contains(f.message)) << messages_.joined();
        const bool constants = f.c.function == fn_get_xls_constants;
        EXPECT_TRUE(messages_.contains(constants ? "Unable to get constant values for "
                                                 : "Unable to get data values for target"))
            << messages_.joined();
    }
    message_capture messages_;
    ASSERT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "Ks"}, 3)), 0);
    EXPECT_TRUE(messages_.contains("(got 1x4 need 1x3)")) << messages_.joined();
}

TEST_F(SheetData, ABadFileGetsOneMessageNamingIt) {
    const std::string bad = dir_ / "bad.xlsx";
    write_bytes(bad, "Time,0,1\n");
    ASSERT_EQ(read(call(fn_get_xls_data, {bad, "prices", "1", "B2"}, 1)), 0);
    EXPECT_TRUE(messages_.contains("Unable to read the spreadsheet " + bad + ": not a zip archive"))
        << messages_.joined();
    // A file rewritten in place is read again, not served from memory.
    ASSERT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "B5"}, 1)), 1);
    EXPECT_EQ(values_[0][0], 1);
    write_bytes(xlsx_, "broken now, and of another size");
    EXPECT_EQ(read(call(fn_get_xls_constants, {xlsx_, "prices", "B5"}, 1)), 0);
}

// A model whose data and constants come from a spreadsheet, simulated from
// each format holding the same numbers, gives the same run.
class SheetModels : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        install_run_data_source_reader();
        install_spreadsheet_sources();
        write_prices_xlsx(dir_ / "prices.xlsx");
    }
    void TearDown() override {
        close_model(0, 0);
        set_data_source_reader(nullptr);
        set_spreadsheet_source_reader(nullptr);
        forget_workbooks();
    }
    const char* eq(const std::string& text) { return texts_.emplace_back(text).c_str(); }
    std::vector<float> run_from(const std::string& file) {
        const std::string q = "\"" + file + "\"";
        model_builder b("from sheet");
        b.control(0, 4, 0.5f, 0.5f);
        b.range("r", {"r1", "r2"});
        b.range("q", {"q1", "q2", "q3", "q4"});
        b.range("p", {"p1", "p2"});
        b.data("series[r]", eq("GET XLS DATA(" + q + ", \"prices\", \"1\", \"B2\")"));
        b.data("ks[q]", eq("GET XLS CONSTANTS(" + q + ", \"prices\", \"B5\")"));
        b.data("down[p]", eq("GET XLS CONSTANTS(" + q + ", \"prices\", \"E5*\")"));
        b.aux("total", "SUM(series[r!]) + SUM(ks[q!]) * SUM(down[p!])");
        EXPECT_TRUE(b.finish()) << b.errors()[0];
        sim_output out;
        EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done) << messages_.joined();
        return out.rows;
    }
    temp_folder dir_;
    std::deque<std::string> texts_;
    message_capture messages_;
};

TEST_F(SheetModels, ConstantsOfTwoSubscriptsAreABlock) {
    const std::string q = "\"" + fixture("prices.xls") + "\"";
    model_builder b("block");
    b.control(0, 1, 1, 1);
    b.range("r", {"r1", "r2"});
    b.range("c", {"c1", "c2", "c3"});
    b.data("grid[r, c]", eq("GET XLS CONSTANTS(" + q + ", \"prices\", \"C5\")"));
    b.data("turned[c, r]", eq("GET XLS CONSTANTS(" + q + ", \"prices\", \"C5*\")"));
    ASSERT_TRUE(b.finish()) << b.errors()[0];
    // The shape comes from the open model.
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    sim_output out;
    ASSERT_EQ(simulate_model(cur_model_symbols, sim_options{}, &out), sim_done)
        << messages_.joined();
    EXPECT_EQ(messages_.joined(), "");
    lock_model(0);
    const std::int32_t grid = sym(find_symbol("grid"))->slot;
    const std::int32_t turned = sym(find_symbol("turned"))->slot;
    unlock_model(0);
    // C5:E6 is 2 3 4 / 6 7 8; "*" reads it with the rows as columns.
    const float by_rows[] = {2, 3, 4, 6, 7, 8}, by_columns[] = {2, 6, 3, 7, 4, 8};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(saved_value(out, 0, grid + k), by_rows[k]) << k;
        EXPECT_EQ(saved_value(out, 0, turned + k), by_columns[k]) << k;
    }
}

TEST_F(SheetModels, EveryFormatGivesTheSameRun) {
    const std::vector<float> reference = run_from(dir_ / "prices.xlsx");
    EXPECT_EQ(messages_.joined(), "");
    ASSERT_FALSE(reference.empty());
    // total at time 0: 10 + 20 + (1 + 2 + 3 + 4) * (4 + 8) = 150; at 0.5,
    // halfway between the points.
    bool found0 = false, found_half = false;
    for (float v : reference) {
        found0 = found0 || v == 150;
        found_half = found_half || v == 150 + 0.5f + 0.75f;
    }
    EXPECT_TRUE(found0);
    EXPECT_TRUE(found_half);
    for (const char* name :
         {"prices.ods", "prices.xls", "prices.csv", "prices.tab", "prices.wk1"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run_from(fixture(name)), reference);
        EXPECT_EQ(messages_.joined(), "");
    }
}

} // namespace
