// A built model whose data come through a redirect name: the first run asks
// for the file, later runs of the same model do not, another model asks
// again; and every run starts with the last run's spreadsheet conversations
// ended.
#include <deque>

#include "datalinks/sheet_data.h"
#include "model/constants.h"
#include "runs/simdata_adapter.h"
#include "sim/interp.h"
#include "tests/datalinks/links_fixture.h"
#include "tests/sim/engine_fixture.h"

namespace {

class LinkedModels : public LinksTest {
protected:
    void SetUp() override {
        LinksTest::SetUp();
        init_vocabulary();
        install_run_data_source_reader();
        install_spreadsheet_sources();
        // Questions are asked only with a main window to own them.
        main_wnd = make_test_window("Kavrel_test_main", DefWindowProc, WS_OVERLAPPEDWINDOW);
    }
    void close_windows() override {
        close_model(0, 0);
        set_data_source_reader(nullptr);
        set_spreadsheet_source_reader(nullptr);
        sheets::forget_workbooks();
        LinksTest::close_windows();
        DestroyWindow(main_wnd);
        main_wnd = nullptr;
    }
    // The first saved value of "series[r1]" (B2 of the prices sheet: 10).
    float run_model(const char* name, const std::string& file = "?Prices") {
        model_builder b(name);
        b.control(0, 4, 1, 1);
        b.range("r", {"r1", "r2"});
        const std::string& eq =
            texts_.emplace_back("GET XLS DATA(\"" + file + "\", \"prices\", \"1\", \"B2\")");
        b.data("series[r]", eq.c_str());
        EXPECT_TRUE(b.finish()) << b.errors()[0];
        model_pair m = b.release();
        close_model(m.header, m.symbols);
        sim_output out;
        EXPECT_EQ(simulate_model(cur_model_symbols, sim_options{}, &out), sim_done) << messages();
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("series"))->slot;
        unlock_model(0);
        return out.rows.empty() ? NA : saved_value(out, 0, slot);
    }
    std::deque<std::string> texts_;
};

TEST_F(LinkedModels, ARedirectIsAskedForOncePerModel) {
    answerer::dialog("Spreadsheet file Prices").set_text(fdc_name, xlsx_).press(IDOK);
    EXPECT_EQ(run_model("first"), 10.0f);
    EXPECT_EQ(answerer::seen().size(), 1u);
    // A link left open from before is ended as the next run starts.
    ASSERT_TRUE(standin::start_service("Excel", xlsx_));
    ASSERT_GE(kdde_initiate("Excel", "System"), 0);
    model_builder again("first");
    again.control(0, 4, 1, 1);
    again.range("r", {"r1", "r2"});
    again.data("series[r]", "GET XLS DATA(\"?Prices\", \"prices\", \"1\", \"B2\")");
    ASSERT_TRUE(again.finish());
    sim_output out;
    EXPECT_EQ(simulate_model(again.symbols(), sim_options{}, &out), sim_done) << messages();
    EXPECT_EQ(dde_client::live_channels(), 0);
    EXPECT_EQ(answerer::seen().size(), 1u) << "asked again within the same model";
    // Another model forgets the choice.
    answerer::dialog("Spreadsheet file Prices").set_text(fdc_name, xlsx_).press(IDOK);
    EXPECT_EQ(run_model("second"), 10.0f);
    EXPECT_EQ(answerer::seen().size(), 2u);
}

TEST_F(LinkedModels, CancellingTheQuestionLeavesTheDataMissing) {
    answerer::dialog("Spreadsheet file Prices").press(IDCANCEL);
    EXPECT_TRUE(is_na(run_model("cancelled")));
    EXPECT_NE(messages().find("Unable to get data values for series"), std::string::npos);
    EXPECT_EQ(busy_depth, 0);
}

} // namespace

namespace {

TEST_F(LinkedModels, RunsReadTheWorkbookAsTheSpreadsheetHasIt) {
    EXPECT_EQ(run_model("linked", xlsx_), 10.0f);
    EXPECT_TRUE(standin::is_open(xlsx_)) << "not opened in the spreadsheet";
    // A cell changed through a link is what the next run reads.
    ASSERT_TRUE(standin::start_service("Excel", ""));
    const int ch = kdde_initiate("Excel", (dir_.path + "/[prices.xlsx]prices").c_str());
    ASSERT_GE(ch, 0);
    ASSERT_EQ(kdde_poke(ch, "R2C2", "77"), 1);
    test_driver::run_until_idle();
    EXPECT_EQ(run_model("linked", xlsx_), 77.0f);
    // The star flag keeps Excel files off the spreadsheet: the file itself.
    opts.r1c1_star = 1;
    EXPECT_EQ(run_model("linked", xlsx_), 10.0f);
    opts.r1c1_star = 0;
    // A file saved again elsewhere, with no cell changed here, is read again.
    standin::reset();
    EXPECT_EQ(run_model("linked", xlsx_), 10.0f);
    lxw_workbook* wb = workbook_new(xlsx_.c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "prices");
    for (int c = 1; c <= 5; ++c) {
        worksheet_write_number(ws, 0, static_cast<lxw_col_t>(c), c - 1, nullptr);
        worksheet_write_number(ws, 1, static_cast<lxw_col_t>(c), 40, nullptr);
        worksheet_write_number(ws, 2, static_cast<lxw_col_t>(c), 50, nullptr);
    }
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    EXPECT_EQ(run_model("linked", xlsx_), 40.0f);
}

} // namespace
