// User tables on two runs of the population sample: the time axis from a
// table's own start, end, interval and at-time, single-value rows for
// constants and names without values, runs named by number (past the
// selected ones left out), the header switched off and the column layout;
// during Livesweep the shown run's rows are its re-runs'.
#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "model/context.h"
#include "model/model.h"
#include "resources/menus.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/output.h"
#include "tools/usertable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class UserTable : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_grid_window();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        set_run_name("base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        ASSERT_EQ(ensure_setup_copy(0), 1);
        ASSERT_EQ(set_setup_value(slot, 0.02f), 1);
        set_run_name("slow");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        ASSERT_EQ(loaded_run_names(1), 2);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        close_framed_tool_windows(1);
        td::run_until_idle();
        set_report_sink(report_grid, nullptr);
        spread_window_hook = nullptr;
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    static void set_run_name(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    static user_table_item var(const char* name, int run = -1) {
        user_table_item it;
        it.name = name;
        if (run >= 0) {
            it.run = run;
            it.every_run = false;
        }
        return it;
    }
    static handle build(const user_table_spec& s) {
        lock_model(1);
        const handle h = user_table(s);
        unlock_model(1);
        td::run_until_idle();
        return h;
    }
};

TEST_F(UserTable, TheAxisTakesTheTablesTimesAndSingleValuesGetACellEach) {
    user_table_spec s;
    s.title = "Own axis";
    s.start = 20;
    s.end = 60;
    s.interval = 20;
    s.at_time = 35; // not on the interval: put in its place among the times
    s.items = {var("Population", 1), var("birth rate"), var("no such thing"), var("deaths", 7)};
    const handle rec = build(s);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->rows.size(), 6u) << "deaths in a seventh run is left out";
    const grid_row& head = g->rows[0];
    ASSERT_EQ(head.cells.size(), 4u);
    EXPECT_FLOAT_EQ(head.cells[0].value, 20);
    EXPECT_FLOAT_EQ(head.cells[1].value, 35);
    EXPECT_FLOAT_EQ(head.cells[2].value, 40);
    EXPECT_FLOAT_EQ(head.cells[3].value, 60);

    // Population of the second selected run (base, the older) alone.
    const grid_row& pop = g->rows[1];
    EXPECT_EQ(pop.label, "Population");
    EXPECT_EQ(pop.colour, 2) << "base keeps its own colour";
    ASSERT_EQ(pop.cells.size(), 4u);
    float v = NA;
    const float t = 35;
    ASSERT_EQ(run_value_at_time("Population", nullptr, model_rec->runs[1].run, &v, &t, 1), 1);
    EXPECT_FLOAT_EQ(pop.cells[1].value, v);

    // A constant over both runs: one value each, in the runs' colours.
    EXPECT_EQ(g->rows[2].label, "birth rate\t0.02");
    EXPECT_EQ(g->rows[2].colour, 1) << "slow is the first selected run";
    EXPECT_EQ(g->rows[3].label, " : base\t0.04");
    EXPECT_EQ(g->rows[3].colour, 2);
    EXPECT_EQ(g->rows[4].label, "no such thing\t--");
    EXPECT_EQ(g->rows[5].label, " : base\t--");
}

// The re-runs write the shown run's values into the value cache only, never
// into its run file: a user table built during Livesweep shows them, and the
// other run and the table built after Livesweep show the files.
TEST_F(UserTable, DuringLivesweepTheShownRunsRowsAreItsReRuns) {
    user_table_spec s;
    s.title = "Live";
    s.items = {var("Population")};
    auto cells = [](handle rec, const char* label) {
        std::vector<float> out;
        const grid_rows* g = spread_rows(rec);
        if (!g) return out;
        for (const grid_row& r : g->rows)
            if (r.label == label)
                for (const auto& c : r.cells) out.push_back(c.value);
        return out;
    };
    model_opened(); // as on opening the model: the value cache
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    install_cache_livesweep_hook();
    ASSERT_EQ(menu_command(cmd_livesweep), 1);
    ASSERT_EQ(livesweep_state, ls_on);
    ASSERT_EQ(shown_run_index(), model_rec->runs[0].run) << "slow, the newest, is shown";
    const std::vector<float> file_slow = cells(build(s), "Population");
    const std::vector<float> file_base = cells(build(s), " : base");
    ASSERT_GT(file_slow.size(), 2u);
    ASSERT_EQ(file_base.size(), file_slow.size());

    // A faster birth rate, re-run as a slider would ask.
    lock_model(0);
    const std::int32_t rate = sym(find_symbol("birth rate"))->slot;
    unlock_model(0);
    ASSERT_EQ(set_setup_value(rate, 0.05f), 1);
    ASSERT_EQ(livesweep_rerun(0, 2, 0), 1);
    td::run_until_idle();
    const handle live = build(s);
    const std::vector<float> rerun = cells(live, "Population");
    ASSERT_EQ(rerun.size(), file_slow.size());
    EXPECT_FLOAT_EQ(rerun.front(), file_slow.front()) << "the same initial population";
    EXPECT_GT(rerun.back(), file_slow.back() * 1.5f) << "births outgrow deaths faster";
    EXPECT_EQ(cells(live, " : base"), file_base);

    ASSERT_EQ(menu_command(cmd_livesweep), 1);
    EXPECT_EQ(livesweep_state, ls_off);
    set_livesweep_refresh_hook(nullptr);
    set_livesweep_save_hook(nullptr);
    EXPECT_EQ(cells(build(s), "Population"), file_slow);
}

TEST_F(UserTable, NoHeaderTheColumnLayoutAndNoRunAtAll) {
    user_table_spec s;
    s.notime = true;
    s.time_down = true;
    s.items = {var("births", 0)};
    const handle rec = build(s);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 1u);
    EXPECT_EQ(g->rows[0].label, "births");
    EXPECT_EQ(g->rows[0].cells.size(), 201u) << "every saved time";
    EXPECT_EQ(g->columns_layout, 1);

    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    s.items = {var("births", 5)};
    EXPECT_EQ(build(s), 0u);
    EXPECT_TRUE(message_log::said("No variables for Table.  Load/Create Runs"));
}

} // namespace

namespace {

// Rows across: each later run's row is named after its run. Laid out time
// down the column already stands under the variable, so a later run's
// heading is left empty rather than repeating the run list.
TEST_F(UserTable, LaterRunsAreNamedOnlyWhenRowsRunAcross) {
    user_table_spec s;
    s.items = {var("Population")};
    handle rec = build(s);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 3u);
    EXPECT_EQ(g->rows[1].label, "Population");
    EXPECT_EQ(g->rows[2].label, " : base");
    // Without widths of its own: a label column of 30 and cells of 14.
    ASSERT_GT(spread_first_tab(rec), 0);
    EXPECT_EQ(spread_tab_width(rec) * 30, spread_first_tab(rec) * 14);

    s.title = "Down";
    s.time_down = true;
    rec = build(s);
    ASSERT_NE(rec, 0u);
    g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 3u);
    EXPECT_EQ(g->rows[1].label, "Population");
    EXPECT_EQ(g->rows[2].label, "");
    EXPECT_EQ(g->rows[2].colour, 2) << "base still in its own colour";
}

// A run file named by the table alone, saved every half time unit: without
// an interval of its own the table shows every saved time, and a constant
// without a value is the missing-value text.
TEST_F(UserTable, ARunFileOfHalfStepsShowsEverySavedTimeAndAMissingConstant) {
    std::vector<float> times, pop;
    for (int k = 0; k <= 8; ++k) {
        times.push_back(0.5f * static_cast<float>(k));
        pop.push_back(1000.0f + static_cast<float>(k));
    }
    const std::string file = dir + "/halves.kdf";
    run_builder rb(cur_model_symbols);
    rb.times(times).series("Population", pop).constant("birth rate", NA);
    ASSERT_EQ(rb.write(file), 1) << rb.error();

    user_table_spec s;
    s.title = "Halves";
    user_table_item pop_item = var("Population");
    pop_item.dataset = file;
    user_table_item rate_item = var("birth rate");
    rate_item.dataset = file;
    s.items = {pop_item, rate_item};
    const handle rec = build(s);
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_EQ(g->rows.size(), 3u);
    const grid_row& head = g->rows[0];
    ASSERT_EQ(head.cells.size(), 9u);
    EXPECT_FLOAT_EQ(head.cells[1].value, 0.5f);
    EXPECT_FLOAT_EQ(head.cells[8].value, 4.0f);
    ASSERT_EQ(g->rows[1].cells.size(), 9u);
    EXPECT_FLOAT_EQ(g->rows[1].cells[3].value, 1003.0f);
    EXPECT_EQ(g->rows[2].label, "birth rate\t--");
}

} // namespace
