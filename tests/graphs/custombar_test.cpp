// Tables and bar graphs of a graph set run as user tools on the inventory
// sample: a TABLE definition read from set text fills a grid window (runs
// named by file and by number, a run file that is missing left out), a
// BAR-GRAPH definition draws its AS-RUN groups, its runs and its sort, and a
// run file that cannot be opened gives missing bars.
#include "draw/prims.h"
#include "foundation/docwriter.h"
#include "foundation/textsrc.h"
#include "graphs/bargraph.h"
#include "graphs/custombar.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/sets/graphset.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/graphs/livesweep_cache.h"
#include "tests/shell/shell_fixture.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <bit>
#include <filesystem>
#include <string>

namespace td = test_driver;

namespace {

using test_driver::count_colour;

float value_at(const char* name, int run, float t) {
    float v = NA;
    run_value_at_time(name, nullptr, run, &v, &t, 1);
    return v;
}

class UserTools : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_graph_hooks();
        install_graph_set_hooks();
        install_grid_window();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
        ASSERT_EQ(open_model(1, 0, sample("inventory.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
    }
    void TearDown() override {
        set_message_hook(nullptr);
        close_framed_tool_windows(1);
        set_graph_set_hook(nullptr);
        set_wip_graph_updater(nullptr);
        set_wip_run_start_hook(nullptr);
        graphics_window_hook = nullptr;
        spread_window_hook = nullptr;
        float_opts = 0;
        set_report_sink(report_grid, nullptr);
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    void simulate(const char* name, float productivity = 0) {
        if (productivity > 0) {
            lock_model(0);
            const std::int32_t slot = sym(find_symbol("productivity"))->slot;
            unlock_model(0);
            ASSERT_EQ(ensure_setup_copy(0), 1);
            ASSERT_EQ(set_setup_value(slot, productivity), 1);
        }
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        td::run_until_idle();
    }
    graph_set* set() { return graph_set_at(current_graph_set()); }
    // Reads definitions from set text into the model's set; the index of
    // the first one added.
    std::size_t add_text(const std::string& body) {
        const std::string text = "///---\\\\\\\n" + body;
        const int i = load_graph_set_text(text.c_str(), 0, 0, 0);
        EXPECT_GT(i, 0);
        const std::size_t first = set()->defs.size();
        if (i > 0)
            for (const graph_def& d : graph_set_at(i)->defs) add_graph_def(*set(), d);
        return first;
    }
    handle run(const char* name) {
        EXPECT_EQ(run_user_tool(name, -1, 0), 1) << name;
        td::run_until_idle();
        for (const graph_def& d : set()->defs)
            if (d.name == name) return d.window;
        return 0;
    }
    // A base run and the bar graph LiveSides: both sets sorted, the bars at
    // 40 but Inventory's at 20 (BAR-VAR-TIME); the base run's saved times.
    std::size_t add_live_sides() {
        simulate("base");
        add_text(":BAR-GRAPH LiveSides\n"
                 ":BAR-TIME 40\n"
                 ":SORT 1\n"
                 ":VAR Inventory\n"
                 ":BAR-VAR-TIME 20\n"
                 ":VAR Workforce\n"
                 ":OVAR production\n"
                 ":OVAR shipments\n");
        std::vector<float> v, t;
        read_run_values("Inventory", nullptr, model_rec->runs[0].run, v, t);
        return t.size();
    }
    // LiveSides's bars of both sets are asked of the value cache, each at its
    // own time through the sort; wiped, a re-run's update brings them back.
    static void expect_live_sides_follow_the_cache(handle rec, bar_graph& g) {
        ASSERT_EQ(g.live_slots.size(), 2u);
        ASSERT_EQ(g.side_live_slots.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NE(g.live_slots[i], 0u) << i;
            EXPECT_NE(g.side_live_slots[i], 0u) << i;
        }
        const std::size_t inventory = g.labels[0].rfind("Inventory", 0) == 0 ? 0 : 1;
        EXPECT_EQ(g.live_times[inventory], 20.0f);
        EXPECT_EQ(g.live_times[1 - inventory], 40.0f);
        const std::vector<std::uint16_t> main = g.heights, side = g.side_heights;
        std::fill(g.heights.begin(), g.heights.end(), 0);
        std::fill(g.side_heights.begin(), g.side_heights.end(), 0);
        update_live(rec);
        EXPECT_EQ(g.heights, main);
        EXPECT_EQ(g.side_heights, side);
    }
};

TEST_F(UserTools, ATableDefinitionFillsAGridWithItsRunsAndLeavesOutAMissingFile) {
    simulate("base");
    std::filesystem::copy_file(dir + "/base.kdf", dir + "/copy.kdf");
    simulate("fast", 3.5f);
    ASSERT_EQ(loaded_run_names(1), 2);
    add_text(":TABLE Stocks\n"
             ":TITLE Stocks of \\&*1/\n"
             ":PRINT-EVERY 10\n"
             ":X-MAX 50\n"
             ":COMLINE Stocks over time\n"
             ":VAR Inventory|On hand\n"
             ":VAR Workforce\n"
             ":DATASET copy\n"
             ":FORMAT %.2f\n"
             ":VAR shipments\n"
             ":DATASET missing\n"
             ":VAR Workforce\n"
             ":DATASET *2\n");
    const handle rec = run("Stocks");
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_NE(g, nullptr);
    // The times header, the comment, Inventory over both selected runs,
    // Workforce of the file and of the second run; shipments of a file that
    // is not there is left out.
    ASSERT_EQ(g->rows.size(), 6u);
    const grid_row& head = g->rows[0];
    EXPECT_EQ(head.label.rfind("Time", 0), 0u) << head.label;
    ASSERT_EQ(head.cells.size(), 6u) << "0 to 50 every 10";
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(head.cells[static_cast<std::size_t>(i)].value, 10.0f * i);
    EXPECT_EQ(g->rows[1].label, "Stocks over time");
    EXPECT_FALSE(g->rows[1].has_cells);

    const int fast = model_rec->runs[0].run, base = model_rec->runs[1].run;
    const grid_row& first = g->rows[2];
    const grid_row& second = g->rows[3];
    EXPECT_EQ(first.label, "On hand");
    EXPECT_EQ(second.label, " : base");
    EXPECT_EQ(first.colour, 1);
    EXPECT_EQ(second.colour, 2);
    ASSERT_EQ(first.cells.size(), 6u);
    EXPECT_FLOAT_EQ(first.cells[3].value, value_at("Inventory", fast, 30));
    EXPECT_FLOAT_EQ(second.cells[3].value, value_at("Inventory", base, 30));
    EXPECT_NE(first.cells[3].value, second.cells[3].value) << "the runs differ";

    const grid_row& copy = g->rows[4];
    EXPECT_EQ(copy.label, "Workforce");
    EXPECT_EQ(copy.colour, 3) << "a run of its own, the third colour";
    ASSERT_EQ(copy.cells.size(), 6u);
    EXPECT_FLOAT_EQ(copy.cells[5].value, value_at("Workforce", base, 50));
    EXPECT_EQ(g->rows[5].label, "Workforce");
    EXPECT_EQ(g->rows[5].colour, 2) << "*2 is the second selected run";
    EXPECT_EQ(find_run("copy"), -1) << "the file the table opened is unloaded again";
    EXPECT_NE(find_run("base"), -1);

    // On screen: the run colours of the rows.
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(count_colour(img, colour_table[0]), 10);
    EXPECT_GT(count_colour(img, colour_table[1]), 10);
    EXPECT_GT(count_colour(img, colour_table[2]), 10);
    img.save(QString::fromStdString(dir + "/table.png"));
}

TEST_F(UserTools, TheSampleTableRunsAndATableWithoutRunsSaysSo) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("Rates", -1, 0), 0);
    EXPECT_TRUE(message_log::said("No variables for Table.  Load/Create Runs"));
    simulate("base");
    const handle rec = run("Rates");
    ASSERT_NE(rec, 0u);
    const grid_rows* g = spread_rows(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->rows.size(), 3u);
    EXPECT_EQ(g->rows[1].label, "production");
    EXPECT_EQ(g->rows[2].label, "shipments");
    const float step = g->rows[0].cells[1].value - g->rows[0].cells[0].value;
    EXPECT_FLOAT_EQ(step, 10.0f);
}

TEST_F(UserTools, ABarDefinitionDrawsItsAsRunGroupsSideBySide) {
    simulate("base");
    const handle rec = run("Bars");
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    // Two groups and one run: a run entry per group, named by its AS-RUN
    // text alone; a position per variable of the larger group.
    ASSERT_EQ(g->run_count, 2);
    EXPECT_EQ(g->run_labels[0], "Stocks");
    EXPECT_EQ(g->run_labels[1], "Flows");
    ASSERT_EQ(g->labels.size(), 2u);
    EXPECT_EQ(g->labels[0], "Inventory / production");
    EXPECT_EQ(g->labels[1], "Workforce / shipments");
    EXPECT_EQ(g->title, "Bars");
    for (int p = 0; p < 2; ++p)
        for (int r = 0; r < 2; ++r) EXPECT_GT(g->height(p, r), 0) << p << r;

    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(count_colour(img, colour_table[0]), 50) << "the first group's bars";
    EXPECT_GT(count_colour(img, colour_table[1]), 50) << "the second group's bars";
    img.save(QString::fromStdString(dir + "/bars.png"));
}

// A bar definition's own settings: 12-point text and a 10-point small font;
// FORCE or a sort keeps bars however many there are, neither lets them turn
// into a line graph.
TEST_F(UserTools, ABarDefinitionsFontsAndForcing) {
    simulate("base");
    add_text(":BAR-GRAPH Forced\n:FORCE\n:VAR Inventory\n\n"
             ":BAR-GRAPH Sorted\n:SORT 1\n:VAR Inventory\n\n"
             ":BAR-GRAPH Plain\n:VAR Inventory\n");
    for (const auto& [name, forced] :
         {std::pair{"Forced", 1}, std::pair{"Sorted", 1}, std::pair{"Plain", 0}}) {
        const handle rec = run(name);
        ASSERT_NE(rec, 0u) << name;
        const bar_graph* g = bar_graph_of(rec);
        ASSERT_NE(g, nullptr) << name;
        EXPECT_EQ(g->force_bars, forced) << name;
        EXPECT_EQ(g->font.size, 12) << name;
        EXPECT_EQ(g->small_font.size, 10) << name;
    }
}

// With groups, a run's legend text is the group's AS-RUN text, a blank and
// the run's own label.
TEST_F(UserTools, AGroupsRunLabelFollowsItsAsRunText) {
    simulate("base");
    add_text(":BAR-GRAPH Grouped\n:AS-RUN Stocks\n:VAR Inventory\n:AS-RUN Flows\n"
             ":VAR production\n:DATASET *1|now\n");
    const handle rec = run("Grouped");
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->run_labels.size(), 2u);
    EXPECT_EQ(g->run_labels[0], "Stocks now");
    EXPECT_EQ(g->run_labels[1], "Flows now");
}

// A table definition's switches reach the table each as itself.
TEST_F(UserTools, ATablesSwitchesReachTheTableEachAsItself) {
    const std::size_t first = add_text(":TABLE Down\n:TIME-DOWN\n:VAR Inventory\n\n"
                                       ":TABLE Bare\n:NOTIME\n:VAR Inventory\n\n"
                                       ":TABLE Pretty\n:PRETTYNUM\n:VAR Inventory\n");
    const user_table_spec down = user_table_spec_of(set()->defs[first]);
    EXPECT_TRUE(down.time_down);
    EXPECT_FALSE(down.notime);
    EXPECT_FALSE(down.as_displayed);
    const user_table_spec bare = user_table_spec_of(set()->defs[first + 1]);
    EXPECT_FALSE(bare.time_down);
    EXPECT_TRUE(bare.notime);
    const user_table_spec pretty = user_table_spec_of(set()->defs[first + 2]);
    EXPECT_TRUE(pretty.as_displayed);
    EXPECT_FALSE(pretty.time_down);
}

TEST_F(UserTools, BarRunsByFileAndNumberAMissingFileReadsAsMissingAndSortUsesTheRunGiven) {
    simulate("base");
    std::filesystem::copy_file(dir + "/base.kdf", dir + "/copy.kdf");
    // So few widgets per person that the workforce passes the shipments:
    // the two runs order the variables differently.
    simulate("slow", 0.5f);
    add_text(":BAR-GRAPH Sorted\n"
             ":BAR-TIME 40\n"
             ":SORT 1\n"
             ":VAR Workforce,Inventory,shipments\n"
             ":DATASET *2\n"
             ":DATASET *1|quick\n"
             ":DATASET copy\n"
             ":DATASET missing\n"
             ":DATASET *9\n");
    const handle rec = run("Sorted");
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    // *9 is past the selected runs: skipped; the missing file keeps its place.
    ASSERT_EQ(g->run_count, 4);
    EXPECT_EQ(g->run_labels[0], "base");
    EXPECT_EQ(g->run_labels[1], "quick");
    EXPECT_EQ(g->run_labels[2], "copy.kdf");
    EXPECT_EQ(g->run_labels[3], "missing.kdf");
    ASSERT_EQ(g->labels.size(), 3u);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(g->height(p, 3), 0) << "no bars for the missing run";
    for (int p = 0; p < 3; ++p) EXPECT_GT(g->height(p, 2), 0) << "the file's bars";
    EXPECT_EQ(find_run("copy"), -1);
    EXPECT_NE(find_run("base"), -1);

    // ":SORT 1" sorts ascending by the first run entry (base), not by the
    // second, whose order differs.
    auto order_in = [](int run) {
        std::vector<std::pair<float, std::string>> v;
        for (const char* n : {"Workforce", "Inventory", "shipments"})
            v.emplace_back(value_at(n, run, 40), n);
        std::sort(v.begin(), v.end());
        std::vector<std::string> names;
        for (const auto& p : v) names.push_back(p.second);
        return names;
    };
    const std::vector<std::string> by_base = order_in(model_rec->runs[1].run);
    ASSERT_NE(by_base, order_in(model_rec->runs[0].run)) << "the runs must order them differently";
    EXPECT_EQ(g->labels, by_base);
    for (int p = 1; p < 3; ++p) EXPECT_GE(g->height(p, 0), g->height(p - 1, 0));
}

// A WIP bar graph opens when the run starts and follows the simulation: at
// the end its bars stand at the run's last values.
TEST_F(UserTools, AWipBarGraphFollowsTheRunningSimulation) {
    add_text(":BAR-GRAPH Live\n"
             ":WIP\n"
             ":VAR Inventory,Workforce\n");
    float_opts |= fo_wip_graph;
    simulate("first");
    float_opts = 0;
    const handle rec = set()->defs.back().window;
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->run_count, 1);
    EXPECT_EQ(g->run_labels[0], "first.kdf");
    ASSERT_EQ(g->labels.size(), 2u);
    const int run = model_rec->runs[0].run;
    const char* names[] = {"Inventory", "Workforce"};
    for (int p = 0; p < 2; ++p) {
        const double v = value_at(names[p], run, 100);
        const double want = (v - g->low) / (g->high - g->low) * 10000;
        EXPECT_NEAR(g->height(p, 0), want, 1.5) << names[p];
    }
    // The first save's values differ from the last: the bars moved.
    EXPECT_NE(value_at("Inventory", run, 0.5f), value_at("Inventory", run, 100));
}

TEST_F(UserTools, ABarGraphWithoutRunsSaysSo) {
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("Bars", -1, 0), 0);
    EXPECT_TRUE(message_log::said("Unable to complete bar-graph"));
}

// What a bar of this height reads on the graph's axis (heights are parts of
// the axis in ten-thousandths, from its low end), for checking that each bar
// reads the value it stands for, within one part of the axis.
double read_on_axis(const bar_graph& g, int height) {
    return g.low + height / 10000.0 * (g.high - g.low);
}
double one_part(const bar_graph& g) {
    return (g.high - g.low) / 10000.0 * 1.01;
}

// OVAR items make a second set of bars on the left, on the same range as the
// first: the graph turns horizontal, each position's side bar is its OVAR
// item's value, and a sort carries the side bars with their positions.
TEST_F(UserTools, SideBarsStandLeftOfTheMainBarsAndFollowTheirSort) {
    simulate("base");
    add_text(":BAR-GRAPH Sides\n"
             ":BAR-TIME 40\n"
             ":SORT -2\n"
             ":SUBTITLE Stocks\n"
             ":OSUBTITLE Flows\n"
             ":VAR Inventory,Workforce\n"
             ":OVAR production,shipments\n");
    const handle rec = run("Sides");
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->horizontal, 1);
    EXPECT_EQ(g->side_label, "Flows");
    EXPECT_EQ(g->axis_label, "Stocks");
    ASSERT_EQ(g->run_count, 1);
    ASSERT_EQ(g->group_count, 2);
    ASSERT_EQ(g->side_group_count, 2);
    ASSERT_EQ(g->side_heights.size(), 2u);
    const int run = model_rec->runs[0].run;
    // The range holds both sets.
    for (const char* n : {"Inventory", "Workforce", "production", "shipments"}) {
        EXPECT_GE(value_at(n, run, 40), g->low) << n;
        EXPECT_LE(value_at(n, run, 40), g->high) << n;
    }
    // Sorted by the first run, largest first; each side bar stays with its
    // position's OVAR item.
    const bool inventory_first = value_at("Inventory", run, 40) >= value_at("Workforce", run, 40);
    const char* main_order[] = {inventory_first ? "Inventory" : "Workforce",
                                inventory_first ? "Workforce" : "Inventory"};
    const char* side_order[] = {inventory_first ? "production" : "shipments",
                                inventory_first ? "shipments" : "production"};
    for (int p = 0; p < 2; ++p) {
        EXPECT_EQ(g->labels[static_cast<std::size_t>(p)],
                  std::string(main_order[p]) + " / " + side_order[p]);
        EXPECT_NEAR(read_on_axis(*g, g->height(p, 0)), value_at(main_order[p], run, 40),
                    one_part(*g))
            << p;
        EXPECT_NEAR(read_on_axis(*g, g->side_heights[static_cast<std::size_t>(p)]),
                    value_at(side_order[p], run, 40), one_part(*g))
            << p;
    }

    // Drawn: bars of the run's colour on both halves of the picture.
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    const int half = img.width() / 2;
    EXPECT_GT(count_colour(img.copy(0, 0, half, img.height()), colour_table[0]), 50)
        << "the side bars";
    EXPECT_GT(count_colour(img.copy(half, 0, img.width() - half, img.height()), colour_table[0]),
              50)
        << "the main bars";
    img.save(QString::fromStdString(dir + "/sides.png"));
}

// A bar's label may name values: a definition of one variable labels its
// bar with the label's references filled in, as a list of several does.
TEST_F(UserTools, ALabelsValueReferencesAreFilledInForASingleBar) {
    simulate("base");
    add_text(":BAR-GRAPH OneBar\n"
             ":VAR Inventory|Stock \\Inventory@END/\n"
             ":BAR-GRAPH TwoBars\n"
             ":VAR Inventory|Stock \\Inventory@END/,Workforce\n");
    std::string labels[2];
    int k = 0;
    for (const char* name : {"OneBar", "TwoBars"}) {
        const handle rec = run(name);
        ASSERT_NE(rec, 0u) << name;
        const bar_graph* g = bar_graph_of(rec);
        ASSERT_NE(g, nullptr);
        ASSERT_FALSE(g->labels.empty()) << name;
        labels[k++] = g->labels[0];
    }
    EXPECT_EQ(labels[0].rfind("Stock ", 0), 0u) << labels[0];
    EXPECT_EQ(labels[0].find('\\'), std::string::npos) << labels[0];
    EXPECT_GT(labels[0].size(), 6u) << labels[0];
    EXPECT_EQ(labels[0], labels[1]);
}

// BAR-BY-TIME over several variables: a group per saved time and a bar per
// variable and run, each labelled with both.
TEST_F(UserTools, ATimeBarGraphShowsEveryVariableOfEveryRun) {
    simulate("base");
    simulate("slow", 0.5f);
    add_text(":BAR-GRAPH OverTime\n"
             ":BAR-BY-TIME\n"
             ":VAR Inventory,Workforce\n");
    const handle rec = run("OverTime");
    ASSERT_NE(rec, 0u);
    const bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->run_count, 4);
    const std::string first = selected_run_names[0], second = selected_run_names[1];
    EXPECT_EQ(g->run_labels,
              (std::vector<std::string>{"Inventory : " + first, "Workforce : " + first,
                                        "Inventory : " + second, "Workforce : " + second}));
    std::vector<float> values, times;
    const int run0 = model_rec->runs[0].run, run1 = model_rec->runs[1].run;
    read_run_values("Workforce", nullptr, run1, values, times);
    ASSERT_GT(times.size(), 2u);
    ASSERT_GE(g->group_count, static_cast<int>(times.size()));
    const int last = static_cast<int>(times.size()) - 1;
    EXPECT_NEAR(read_on_axis(*g, g->height(last, 3)), values.back(), one_part(*g));
    EXPECT_NEAR(read_on_axis(*g, g->height(last, 0)), value_at("Inventory", run0, times.back()),
                one_part(*g));
    EXPECT_NE(g->height(last, 1), g->height(last, 3)) << "the runs' workforces differ";
}

// In Livesweep the bars of the run Livesweep shows, of both sets, come from
// the value cache at each bar's own time (BAR-VAR-TIME, else BAR-TIME) and
// keep their places through the sort.
TEST_F(UserTools, LivesweepBarsOfBothSetsFollowTheCacheAtTheirOwnTimes) {
    const std::size_t points = add_live_sides();
    ASSERT_GT(points, 2u);
    const livesweep_session sweep(static_cast<int>(points));
    const handle rec = run("LiveSides");
    ASSERT_NE(rec, 0u);
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->run_count, 1);
    ASSERT_NO_FATAL_FAILURE(expect_live_sides_follow_the_cache(rec, *g));
    EXPECT_NE(g->heights[0], 0);
}

} // namespace

namespace {

// A custom bar graph opened before Livesweep started follows its re-runs too,
// each bar at its own time, through the sort.
TEST_F(UserTools, CustomBarsOpenedBeforeLivesweepFollowTheLivesweepRun) {
    const std::size_t points = add_live_sides();
    ASSERT_GT(points, 2u);
    const handle rec = run("LiveSides");
    ASSERT_NE(rec, 0u);
    bar_graph* g = bar_graph_of(rec);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->live_slots.empty());
    const std::vector<std::uint16_t> main = g->heights, side = g->side_heights;

    const livesweep_session sweep(static_cast<int>(points));
    bar_prepare_live(rec);
    ASSERT_NO_FATAL_FAILURE(expect_live_sides_follow_the_cache(rec, *g));
    EXPECT_EQ(g->heights, main) << "as opened";
    EXPECT_EQ(g->side_heights, side);
}

// The main and side lists stand side by side: both take the longer list's
// length, the shorter padded with empty names and the graph's time.
TEST(CustomBarPlans, AligningPadsTheShorterListToTheLonger) {
    custom_bar_plan main, side;
    main.names = {{"a", "b"}};
    main.labels = {{"A", "B"}};
    main.times = {{1, 2}};
    main.largest = 2;
    side.names = {{"x", "y", "z"}};
    side.labels = {{"X", "Y", "Z"}};
    side.times = {{3, 4, 5}};
    side.largest = 3;
    align_bar_plans(main, side);
    EXPECT_EQ(main.largest, 3);
    EXPECT_EQ(side.largest, 3);
    EXPECT_EQ(main.names[0], (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(main.labels[0].size(), 3u);
    ASSERT_EQ(main.times[0].size(), 3u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(main.times[0][2]), std::bit_cast<std::uint32_t>(NA));
    EXPECT_EQ(side.names[0], (std::vector<std::string>{"x", "y", "z"}));
    // The other way round too.
    align_bar_plans(side, main);
    EXPECT_EQ(main.largest, 3);
}

} // namespace
