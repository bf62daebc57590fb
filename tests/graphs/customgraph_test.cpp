// Custom graphs and user tools of the inventory sample's embedded graph set:
// the set loads with the model, the WIP graph opens on Simulate and grows with
// the run, custom graphs and the report run as user tools.
#include "draw/printing.h"
#include "foundation/textsrc.h"
#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/sets/graphset.h"
#include "graphs/sets/valuerefs.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/units.h"
#include "platform/controls.h"
#include "platform/print.h"
#include "resources/dialogs.h"
#include "resources/panel.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/controlpanel.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/common/command_output.h"
#include "tests/common/message_log.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/inventory_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/textwin.h"
#include "tools/textwin_core.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace td = test_driver;

namespace {

// A running graph's x axis widens to 1.25 times the span reached at an end
// that follows the data, rounded outwards; a fixed end never moves.
TEST(WipXAxis, EndsThatFollowTheDataWidenByAQuarter) {
    line_graph g;
    g.x_min = 0;
    g.x_max = 100;
    g.x_divisions = 10;
    EXPECT_FALSE(widen_live_x(g, 0, 100, true, true)); // inside: nothing
    EXPECT_TRUE(widen_live_x(g, 0, 120, true, true));
    EXPECT_DOUBLE_EQ(g.x_min, 0);
    EXPECT_GE(g.x_max, 150);
    EXPECT_LE(g.x_max, 200);
    EXPECT_GE(g.x_divisions, 4);
    EXPECT_LE(g.x_divisions, 20);
    // Past a fixed end: unchanged.
    line_graph f;
    f.x_min = 0;
    f.x_max = 100;
    EXPECT_FALSE(widen_live_x(f, 0, 130, true, false));
    EXPECT_DOUBLE_EQ(f.x_max, 100);
    // The lowest x grows downwards from the highest.
    line_graph d;
    d.x_min = 10;
    d.x_max = 20;
    EXPECT_TRUE(widen_live_x(d, 4, 20, true, true));
    EXPECT_LE(d.x_min, 20 - 1.25 * 16);
    EXPECT_GE(d.x_min, -10);
    EXPECT_DOUBLE_EQ(d.x_max, 20);
    // One x reached has no span: one unit past it, no division by zero.
    line_graph one;
    one.x_min = 0;
    one.x_max = 1;
    EXPECT_TRUE(widen_live_x(one, 5, 5, true, true));
    EXPECT_GE(one.x_max, 6);
    EXPECT_TRUE(std::isfinite(one.x_max));
    EXPECT_DOUBLE_EQ(one.x_min, 0);
}

// Worked ends: 0 to 30 reached past an end of 20 widens to 1.25 x 30 =
// 37.5, rounded out to 40 (a wider factor would round to 60); 4 reached
// below 10 with 20 the top widens down to 20 - 1.25 x 16 = 0, already round.
TEST(WipXAxis, TheWidenedEndIsAQuarterPastTheSpanRounded) {
    line_graph g;
    g.x_min = 0;
    g.x_max = 20;
    EXPECT_TRUE(widen_live_x(g, 0, 30, true, true));
    EXPECT_DOUBLE_EQ(g.x_min, 0);
    EXPECT_DOUBLE_EQ(g.x_max, 40);
    line_graph d;
    d.x_min = 10;
    d.x_max = 20;
    EXPECT_TRUE(widen_live_x(d, 4, 20, true, true));
    EXPECT_DOUBLE_EQ(d.x_min, 0);
    EXPECT_DOUBLE_EQ(d.x_max, 20);
}

// A y range the data leave grows at that end to 1.25 times the data's
// span (rounded), so a run that keeps growing is not redrawn at every save.
TEST(WipYAxis, ARangeTheDataLeaveGrowsByAQuarter) {
    double mn = 0, mx = 100;
    EXPECT_TRUE(widen_live_y(mn, mx, 10, 90)); // inside: kept
    EXPECT_DOUBLE_EQ(mn, 0);
    EXPECT_DOUBLE_EQ(mx, 100);
    EXPECT_TRUE(widen_live_y(mn, mx, 20, 180));
    EXPECT_DOUBLE_EQ(mn, 0);
    EXPECT_GE(mx, 220); // 20 + 1.25 x 160
    EXPECT_LE(mx, 500); // rounded by the axis layer
    mn = 0, mx = 100;
    EXPECT_TRUE(widen_live_y(mn, mx, -40, 60));
    EXPECT_LE(mn, 60 - 125.0);
    EXPECT_DOUBLE_EQ(mx, 100);
    // Unset ranges and data without a span are left to the gathering.
    double u0 = axis_unset, u1 = -axis_unset;
    EXPECT_FALSE(widen_live_y(u0, u1, 1, 2));
    mn = 0, mx = 1;
    EXPECT_FALSE(widen_live_y(mn, mx, 5, 5));
    EXPECT_FALSE(widen_live_y(mn, mx, NAN, 5));
}

class CustomGraphs : public InventoryWorkbenchTest {
protected:
    int def_index(const char* name) {
        for (std::size_t i = 0; i < set()->defs.size(); ++i)
            if (set()->defs[i].name == name) return static_cast<int>(i);
        return -1;
    }
};

TEST_F(CustomGraphs, TheSettingsGraphSetLoadsWithTheModel) {
    graph_set* s = set();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->state, 255);
    EXPECT_EQ(s->wip, 1);
    ASSERT_EQ(s->defs.size(), 7u);
    EXPECT_EQ(s->defs[0].name, "Inventory_WIP");
    EXPECT_EQ(s->defs[1].vars.size(), 3u);
    EXPECT_EQ(s->defs[1].vars[2].scale_group, 1);
    EXPECT_EQ(s->defs[2].bar_vars[3].as_run_group, 2);
    EXPECT_EQ(s->defs[4].var_texts.size(), 1u);
    EXPECT_EQ(s->defs[6].graph_style, 3);
}

// Each opening of a model used to leave the set loaded for the model before
// in the table.
TEST_F(CustomGraphs, OpeningAModelAgainKeepsOneSetForIt) {
    ASSERT_EQ(open_model(1, 0, sample("inventory.kmf", "again.kmf").c_str(), 0), 1);
    int in_use = 0;
    for (const graph_set& s : graph_sets())
        if (!s.is_free && !s.defs.empty()) ++in_use;
    EXPECT_EQ(in_use, 1);
    ASSERT_NE(set(), nullptr);
    EXPECT_EQ(set()->defs.size(), 7u);
}

// With "open the work-in-progress graph on simulation" on, Simulate opens the
// set's WIP graph, which gets one point per save of the run.
TEST_F(CustomGraphs, SimulateOpensTheWipGraphAndItGrowsWithTheRun) {
    float_opts |= fo_wip_graph;
    // Room for all 201 saves (MAX-POINTS 101 holds 202 points).
    set()->defs[0].max_points = 101;
    simulate("first");
    const handle h = set()->defs[0].window;
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_EQ(g->title, "Inventory while simulating");
    // 0 to 100 saved every 0.5: a point at every save, the initial one too.
    EXPECT_EQ(g->series[0].times.size(), 201u);
    EXPECT_FLOAT_EQ(g->series[0].times.front(), 0.0f);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 100.0f);
    // The run named as the Graph tool names it, without the file's extension.
    EXPECT_EQ(g->series[0].label, "Inventory : first");
    EXPECT_LE(g->x_min, 0.0);
    EXPECT_DOUBLE_EQ(g->x_max, 100.0); // FINAL TIME
    // The last point is the run's own last value of Inventory.
    float v = NA;
    const float t = 100;
    ASSERT_EQ(run_value_at_time("Inventory", nullptr, model_rec->runs[0].run, &v, &t, 1), 1);
    EXPECT_FLOAT_EQ(g->series[0].values.back(), v);
    EXPECT_FALSE(g->series[0].xs.empty());
    // Each of its scales, widened as the run went, steps by a round number
    // (1, 2, 2.5 or 5 times a power of ten), from a multiple of its step.
    for (int k = 0; k < group_count(*g); ++k) {
        const double step = (group_max(*g, k) - group_min(*g, k)) / g->y_divisions;
        ASSERT_GT(step, 0) << k;
        const double unit = std::pow(10.0, std::floor(std::log10(step)));
        const double m = step / unit;
        EXPECT_TRUE(std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 ||
                    std::fabs(m - 2.5) < 1e-9 || std::fabs(m - 5) < 1e-9 ||
                    std::fabs(m - 10) < 1e-9)
            << k << ": " << group_min(*g, k) << " to " << group_max(*g, k) << " in "
            << g->y_divisions;
        EXPECT_NEAR(std::remainder(group_min(*g, k), step), 0.0, 1e-9 * step) << k;
    }
    // Without the option nothing opens.
    close_framed_tool_windows(1);
    float_opts = 0;
    set()->defs[0].window = 0;
    simulate("second");
    EXPECT_EQ(set()->defs[0].window, 0u);
}

// Without MAX-POINTS a live series holds 200 points: the 201 saves of the
// inventory run fill it one short, the last save says so, and the graph
// keeps what it had. MAX-POINTS n holds 2n.
TEST_F(CustomGraphs, AFullWipSeriesStopsGrowingAndAsksForMorePoints) {
    float_opts |= fo_wip_graph;
    set()->defs[0].max_points = 0; // the default cap of 200 (the sample asks for more)
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    simulate("first");
    handle h = set()->defs[0].window;
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    for (const graph_series& s : g->series) {
        EXPECT_EQ(s.times.size(), 200u);
        EXPECT_EQ(s.values.size(), 200u);
        EXPECT_FLOAT_EQ(s.times.back(), 99.5f);
    }
    int asked = 0;
    for (const message_log::message& m : message_log::messages)
        if (m.text.find("Increase maxpoints for WIP graph") != std::string::npos) ++asked;
    // Once for the one save that found both series full.
    EXPECT_EQ(asked, 1);
    // The picture still shows the lines it holds.
    EXPECT_FALSE(g->series[0].xs.empty());

    close_framed_tool_windows(1);
    td::run_until_idle();
    set()->defs[0].window = 0;
    set()->defs[0].max_points = 50;
    message_log::messages.clear();
    simulate("second");
    g = graph_of(set()->defs[0].window);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->series[0].times.size(), 100u);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 49.5f);
    asked = 0;
    for (const message_log::message& m : message_log::messages)
        if (m.text.find("Increase maxpoints for WIP graph") != std::string::npos) ++asked;
    EXPECT_EQ(asked, 1); // once in the run, not at every save from 50 to 100
    set_message_hook(nullptr);
}

// A time axis is titled with the time basis and its units unless the
// definition gives an x title; a PORTRAIT definition prints on a portrait
// page whatever the print options say.
TEST_F(CustomGraphs, XTitleAndPortraitPagesFollowTheDefinition) {
    simulate("base");
    graph_def& orders = set()->defs[static_cast<std::size_t>(def_index("Orders"))];
    orders.portrait = 1;
    ASSERT_EQ(run_user_tool("Orders", -1, 0), 1);
    handle h = set()->defs[static_cast<std::size_t>(def_index("Orders"))].window;
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    const symbol_id basis = time_basis_symbol();
    ASSERT_NE(basis, 0u);
    EXPECT_EQ(g->x_title, name_units_label(nullptr, basis, 0));

    const std::string pdf = testing::TempDir() + "/kavrel_portrait_print.pdf";
    std::filesystem::remove(pdf);
    {
        const pdf_printer to_pdf(pdf);
        opts.orientation = 1; // landscape asked for
        SendMessage(outwin_window(h), WM_COMMAND, cmd_print_output, 0);
    }
    ASSERT_TRUE(std::filesystem::exists(pdf));
    std::string info = command_output("pdfinfo '" + pdf + "' 2>&1");
    double pw = 0, ph = 0;
    const std::size_t at = info.find("Page size:");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &pw, &ph), 2) << info;
    EXPECT_GT(ph, pw);

    // An x title of its own replaces the time basis.
    close_framed_tool_windows(1);
    td::run_until_idle();
    graph_def& again = set()->defs[static_cast<std::size_t>(def_index("Orders"))];
    again.window = 0;
    again.x_label = "Weeks of trading";
    ASSERT_EQ(run_user_tool("Orders", -1, 0), 1);
    g = graph_of(set()->defs[static_cast<std::size_t>(def_index("Orders"))].window);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->x_title, "Weeks of trading");
}

// X-AXIS naming a variable that is no time base plots each variable against
// it, point by point at the same saved times, over the range of its values;
// NO-LEGEND draws no legend.
TEST_F(CustomGraphs, AnXAxisVariablePlotsAgainstItsValues) {
    simulate("base");
    graph_def d = make_graph_def(gd_line);
    d.name = "Phase";
    d.x_axis = "customer orders";
    d.no_legend = 1;
    graph_var v;
    v.name = "Inventory";
    d.vars.push_back(v);
    add_graph_def(*set(), d);
    ASSERT_EQ(run_user_tool("Phase", -1, 0), 1);
    const handle h = set()->defs.back().window;
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->xy_mode);
    EXPECT_EQ(g->hide_flags & 1, 1);
    EXPECT_EQ(g->x_title, "customer orders");
    const int run = model_rec->runs[0].run;
    std::vector<float> orders, inventory, times;
    ASSERT_GT(read_run_values("customer orders", nullptr, run, orders, times, nullptr, nullptr), 1);
    ASSERT_GT(read_run_values("Inventory", nullptr, run, inventory, times, nullptr, nullptr), 1);
    ASSERT_EQ(g->series.size(), 1u);
    const graph_series& s = g->series[0];
    ASSERT_EQ(s.times.size(), orders.size());
    for (std::size_t k = 0; k < orders.size(); k += 25) {
        EXPECT_FLOAT_EQ(s.times[k], orders[k]) << k;
        EXPECT_FLOAT_EQ(s.values[k], inventory[k]) << k;
    }
    const auto [lo, hi] = std::minmax_element(orders.begin(), orders.end());
    EXPECT_LE(g->x_min, *lo);
    EXPECT_GE(g->x_max, *hi);
    EXPECT_LT(g->x_max - g->x_min, 2 * (*hi - *lo) + 10); // not the run's 0 to 100
    EXPECT_FALSE(s.xs.empty());
    for (const hot_spot& spot : record_hot_spots(h)) EXPECT_GT(spot.font, 2); // no legend line
}

TEST_F(CustomGraphs, UserToolsRunByNameAndSayWhatIsWrong) {
    simulate("base");
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("**NEW**", -1, 0), 0);
    EXPECT_TRUE(message_log::messages.empty());
    EXPECT_EQ(run_user_tool("nothing", -1, 0), 0);
    EXPECT_TRUE(message_log::said("Unable to match the name nothing to a user tool"));
    // Mode 1 runs only WIP definitions.
    EXPECT_EQ(run_user_tool("orders", -1, 1), 0);

    ASSERT_EQ(run_user_tool("orders", -1, 0), 1);
    const handle h = set()->defs[static_cast<std::size_t>(def_index("Orders"))].window;
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->title, "Orders and workforce of base");
    ASSERT_EQ(g->series.size(), 3u);
    EXPECT_EQ(g->series[0].label, "Orders");
    EXPECT_EQ(g->series[1].label, "expected orders : base");
    EXPECT_FALSE(g->series[2].xs.empty());
    // Closing the window clears the definition's reference to it.
    close_framed_tool_windows(1);
    td::run_until_idle();
    EXPECT_EQ(set()->defs[static_cast<std::size_t>(def_index("Orders"))].window, 0u);

    ASSERT_EQ(run_user_tool("Summary", -1, 0), 1);
    const handle r = set()->defs[static_cast<std::size_t>(def_index("Summary"))].window;
    const text_lines* lines = textwin_lines(r);
    ASSERT_NE(lines, nullptr);
    ASSERT_EQ(lines->lines(), 2);
    float v = NA;
    const float t = 100;
    run_value_at_time("Inventory", nullptr, model_rec->runs[0].run, &v, &t, 1);
    char want[64];
    std::snprintf(want, sizeof want, "Inventory at the end: %.1f widgets", static_cast<double>(v));
    EXPECT_EQ(std::string(lines->line(0)), want);
    EXPECT_EQ(std::string(lines->line(1)).rfind("Workforce at the start: ", 0), 0u);
    EXPECT_EQ(std::string(lines->line(1)).find("\\"), std::string::npos);
    EXPECT_FALSE(message_log::said("variable descriptors"));

    EXPECT_EQ(run_user_tool("Bars", -1, 0), 1);
    EXPECT_FALSE(message_log::said("not built yet"));
    set_message_hook(nullptr);
}

TEST_F(CustomGraphs, AReportWithTooFewVarTextsSaysSo) {
    simulate("base");
    graph_def r = make_graph_def(gd_report);
    r.name = "short";
    r.lines = {"\\/ and \\/"};
    r.var_texts = {"Inventory@END"};
    add_graph_def(*set(), r);
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("short", -1, 0), 1);
    EXPECT_TRUE(message_log::said("Got 2 but expected 1 variable descriptors"));
    set_message_hook(nullptr);
}

TEST_F(CustomGraphs, RunningAllWipDefinitionsOfASetWithoutAnyClearsItsFlag) {
    simulate("base");
    for (graph_def& d : set()->defs) d.wip = 0;
    EXPECT_EQ(set()->wip, 1);
    EXPECT_EQ(run_user_tool(nullptr, -1, 0), 0);
    EXPECT_EQ(set()->wip, 0);
}

// Saving a set read from a .kgf file used to write text into the .kgf file:
// it asks for a name, offering the .kgd one, and the binary file stays.
TEST_F(CustomGraphs, ASetReadFromABinaryFileIsSavedAsText) {
    const std::string kgf = dir + "/set.kgf";
    std::filesystem::copy_file(KAVREL_SOURCE_DIR "/fuzz/corpus/graph_set_binary/two.kgf", kgf);
    const int i = load_graph_set(kgf.c_str(), 0, 0, 0, 0);
    ASSERT_GT(i, 0);
    std::string offered;
    answerer::dialog(dlg_file_choice)
        .call([&](HWND d) {
            char buf[512] = {};
            GetDlgItemText(d, fdc_name, buf, sizeof buf);
            offered = buf;
        })
        .set_text(fdc_name, "saved")
        .press(IDOK);
    EXPECT_EQ(save_graph_set_text(0, i, -1, 0), 1);
    EXPECT_NE(offered.find("set.kgd"), std::string::npos) << offered;
    std::ifstream text(dir + "/saved.kgd", std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(text)), {});
    EXPECT_EQ(written.rfind(":GRAPH g\r\n", 0), 0u);
    std::ifstream bin(kgf, std::ios::binary);
    EXPECT_EQ(bin.get(), 0x7F); // still the binary file
    EXPECT_EQ(graph_set_at(i)->from_kgf, 0);
}

// The Control Panel's Graphs page lists the model's set, sets the option to
// open the WIP graph, and shows a chosen definition through the runner.
TEST_F(CustomGraphs, TheGraphsPageListsTheSetAndDisplaysAChoice) {
    simulate("base");
    control_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    ASSERT_NE(control_wnd, nullptr);
    select_tab(control_wnd, tab_graphs, true);
    td::run_until_idle();
    HWND page = control_page;
    HWND list = GetDlgItem(page, idg_list);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 7);
    char name[64] = {};
    SendMessage(list, LB_GETTEXT, 4, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, "Summary");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, idg_modify)));

    EXPECT_EQ(float_opts & fo_wip_graph, 0);
    td::click(GetDlgItem(page, idg_wip), 3, 3);
    td::run_until_idle();
    EXPECT_NE(float_opts & fo_wip_graph, 0);

    // The page's picture: the list shows the names (dark text on its white).
    SetWindowPos(control_wnd, nullptr, 0, 0, 360, 320, SWP_NOMOVE | SWP_NOZORDER);
    td::run_until_idle();
    QWidget* widget = win_widget(control_wnd);
    ASSERT_NE(widget, nullptr);
    const QImage shot = widget->grab().toImage();
    const std::string png = ::testing::TempDir() + "/kavrel_graphs_page.png";
    ASSERT_TRUE(shot.save(QString::fromStdString(png), "PNG"));
    std::printf("screenshot: %s\n", png.c_str());
    QWidget* list_widget = win_widget(list);
    ASSERT_NE(list_widget, nullptr);
    const QImage names = list_widget->grab().toImage();
    int dark = 0;
    for (int y = 0; y < names.height(); ++y)
        for (int x = 0; x < names.width(); ++x)
            if (qGray(names.pixel(x, y)) < 96) ++dark;
    EXPECT_GT(dark, 100);

    SendMessage(list, LB_SETSEL, TRUE, 4);
    td::click(GetDlgItem(page, idg_display), 3, 3);
    td::run_until_idle();
    const handle r = set()->defs[static_cast<std::size_t>(def_index("Summary"))].window;
    const text_lines* lines = textwin_lines(r);
    ASSERT_NE(lines, nullptr);
    EXPECT_EQ(lines->lines(), 2);
    control_panel(-1, -1, -1, -1, -1);
}

// A variable's own run file is opened for the graph and closed again; one
// that cannot be opened skips the variable.
TEST_F(CustomGraphs, ADatasetIsOpenedByNameAndAMissingOneSkipped) {
    simulate("base");
    std::filesystem::copy_file(dir + "/base.kdf", dir + "/copy.kdf");
    ASSERT_EQ(find_run("copy"), -1);
    graph_def d = make_graph_def(gd_line);
    d.name = "own";
    graph_var v;
    v.name = "Inventory";
    v.dataset = "copy";
    d.vars.push_back(v);
    v.dataset = "missing";
    d.vars.push_back(v);
    add_graph_def(*set(), d);
    ASSERT_EQ(run_user_tool("own", -1, 0), 1);
    line_graph* g = graph_of(set()->defs.back().window);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 1u);
    EXPECT_EQ(g->series[0].label, "Inventory : copy");
    EXPECT_EQ(g->series[0].times.size(), 201u);
    EXPECT_EQ(find_run("copy"), -1); // unloaded once the graph was built
    EXPECT_NE(find_run("base"), -1);

    graph_def none = make_graph_def(gd_line);
    none.name = "none";
    v.dataset = "missing";
    none.vars = {v};
    add_graph_def(*set(), none);
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("none", -1, 0), 0);
    set_message_hook(nullptr);
    EXPECT_TRUE(message_log::said("No Variables/Datasets to graph"));
}

} // namespace

// Moving a window of the model's graph set is a change of the set: opening
// it is not; the exit question asks about the moved one, Cancel keeps
// everything, Yes saves the set as text with the window's new place, and
// the saved set is unchanged from then on.
TEST_F(CustomGraphs, AMovedWindowMarksTheSetAndTheExitQuestionSavesIt) {
    simulate("base");
    ASSERT_EQ(run_user_tool("Orders", -1, 0), 1);
    test_driver::run_until_idle();
    const int at = def_index("Orders");
    ASSERT_GE(at, 0);
    const handle h = set()->defs[static_cast<std::size_t>(at)].window;
    ASSERT_NE(h, 0u);
    auto* o = static_cast<output_record*>(lock_handle(h));
    HWND frame = o ? GetParent(o->window) : nullptr;
    if (o) unlock_handle(h);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(merge_window_changes(1), 0); // as it opened
    EXPECT_EQ(set()->state, 255);

    MoveWindow(frame, 123, 77, 500, 380, TRUE);
    test_driver::run_until_idle();
    // The exit question: Cancel keeps the set and the program running.
    answerer::box("Question from Kavrel").text("has been modified").press(IDCANCEL);
    EXPECT_EQ(ask_save_graph_sets(1), 0);
    ASSERT_NE(set(), nullptr);
    EXPECT_EQ(set()->state, 1);
    const graph_def& d = set()->defs[static_cast<std::size_t>(at)];
    EXPECT_EQ(d.x, 123);
    EXPECT_EQ(d.y, 77);
    EXPECT_GT(d.width, 400);

    // Yes: the set the model carries goes beside the model under its name,
    // which the question says.
    const std::string beside = dir + "/inventory.kgd";
    answerer::box("Question from Kavrel")
        .text("The custom graph set of the model inventory.kmf has been modified - do you want "
              "to save it to " +
              beside)
        .press(IDYES);
    EXPECT_EQ(ask_save_graph_sets(1), 1);
    EXPECT_EQ(answerer::pending(), 0u);
    std::ifstream in(beside, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find(":GRAPH Orders"), std::string::npos);
    EXPECT_NE(text.find(":LOCATION 123,77"), std::string::npos) << text;

    // Opened again, the model uses the saved set, with the place it keeps.
    close_framed_tool_windows(1);
    ASSERT_EQ(open_model(1, 0, sample_path_.c_str(), 0), 1);
    model_opened();
    ASSERT_NE(set(), nullptr);
    const int again = def_index("Orders");
    ASSERT_GE(again, 0);
    EXPECT_EQ(set()->defs[static_cast<std::size_t>(again)].x, 123);
    EXPECT_EQ(set()->defs[static_cast<std::size_t>(again)].y, 77);
    EXPECT_EQ(set()->defs.size(), 7u);
    // Changed again, it is saved to the same file, asking nothing else.
    mark_set_modified(current_graph_set());
    answerer::box("Question from Kavrel").text("save it to " + beside).press(IDYES);
    EXPECT_EQ(ask_save_graph_sets(1), 1);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_FALSE(answerer::seen().empty());
    for (const auto& seen : answerer::seen())
        EXPECT_EQ(seen.text.find("came from the Text Editor"), std::string::npos) << seen.text;
}

// A saved set that holds nothing readable leaves the model its own set.
TEST_F(CustomGraphs, AnUnreadableSavedSetLeavesTheModelsOwn) {
    std::ofstream(dir + "/inventory.kgd") << ":GRAPH\n";
    answerer::box("Caution from Kavrel").text("could not be read and were left out").press(IDOK);
    ASSERT_EQ(open_model(1, 0, sample_path_.c_str(), 0), 1);
    model_opened();
    EXPECT_EQ(answerer::pending(), 0u);
    ASSERT_NE(set(), nullptr);
    EXPECT_EQ(set()->defs.size(), 7u);
}

namespace {

// A run of another model loaded first: a variable without a run of its own
// is drawn from the first selected run that knows it, as the Graph tool
// draws only the runs that hold the variable.
TEST_F(CustomGraphs, ARunOfAnotherModelLoadedFirstIsPassedOver) {
    simulate("base");
    const std::string other = dir + "/other.kdf";
    std::filesystem::copy_file(KAVREL_SOURCE_DIR "/fuzz/corpus/runfile/plain_R.kdf", other);
    ASSERT_EQ(load_runs(model_rec, 1, other.c_str(), 1, 0), 1);
    ASSERT_GE(loaded_run_names(1), 2);
    ASSERT_EQ(run_var_type("Inventory", model_rec->runs[0].run), 0); // the other model's
    graph_def d = make_graph_def(gd_line);
    d.name = "first";
    graph_var v;
    v.name = "Inventory";
    d.vars.push_back(v);
    add_graph_def(*set(), d);
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("first", -1, 0), 1);
    set_message_hook(nullptr);
    EXPECT_FALSE(message_log::said("Unable to complete graph"));
    line_graph* g = graph_of(set()->defs.back().window);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 1u);
    EXPECT_EQ(g->series[0].label, "Inventory : base");
    EXPECT_EQ(g->series[0].times.size(), 201u);

    // A report's reference without a run takes the same run.
    float end = NA;
    const float t = 100;
    ASSERT_EQ(run_value_at_time("Inventory", nullptr, model_rec->runs[1].run, &end, &t, 1), 1);
    EXPECT_EQ(expand_value_refs("\\Inventory@END/"), format_number_string(end, 0, nullptr));
}

// With only a run of another model, the graph and a report say so rather than
// a bare "Unable to complete graph" and an unexplained "--".
TEST_F(CustomGraphs, OnlyARunOfAnotherModelIsNamedAsSuch) {
    const std::string other = dir + "/other.kdf";
    std::filesystem::copy_file(KAVREL_SOURCE_DIR "/fuzz/corpus/runfile/plain_R.kdf", other);
    ASSERT_EQ(load_runs(model_rec, 1, other.c_str(), 1, 0), 1);
    ASSERT_EQ(loaded_run_names(1), 1);
    graph_def d = make_graph_def(gd_line);
    d.name = "lonely";
    graph_var v;
    v.name = "Inventory";
    d.vars.push_back(v);
    v.name = "Invntory"; // no such variable anywhere
    d.vars.push_back(v);
    add_graph_def(*set(), d);
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(run_user_tool("lonely", -1, 0), 0);
    EXPECT_EQ(expand_value_refs("\\Inventory@END/"), "--");
    // An element named with a blank before its subscript is still this
    // model's variable.
    EXPECT_EQ(expand_value_refs("\\Inventory [east]@END/"), "--");
    set_message_hook(nullptr);
    EXPECT_TRUE(message_log::said("Run other does not hold Inventory [east]: it is a run of "
                                  "another model"));
    EXPECT_FALSE(message_log::said("Unable to complete graph"));
    EXPECT_TRUE(message_log::said("No Variables/Datasets to graph\nRun other does not hold "
                                  "Inventory: it is a run of another model"));
    EXPECT_TRUE(message_log::said("No variable Invntory in run other: left out of the graph"));
    EXPECT_TRUE(message_log::said("Run other does not hold Inventory: it is a run of another "
                                  "model (or of an older version of this one) for a value "
                                  "reference"));
}

// A game played interval by interval: the WIP graph that opened in the first
// interval grows in the next one (no second window), a WIP definition shown
// between intervals starts from the game's run so far and joins the
// work-in-progress list, a graph that cannot hold the game so far says so
// once, and Game Back takes the points of the undone interval away.
TEST_F(CustomGraphs, AWipGraphFollowsAGameIntervalByInterval) {
    float_opts |= fo_wip_graph;
    set()->defs[0].max_points = 101;
    struct game_reset {
        ~game_reset() {
            if (game_state) sim_control_command(sc_end_game, 0, 0);
            game_interval = 0;
        }
    } reset;
    game_interval = 10;
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "play");
    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    ASSERT_TRUE(game_in_progress());
    const handle first = set()->defs[0].window;
    line_graph* g = graph_of(first);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 10.0f);
    EXPECT_EQ(g->series[0].times.size(), 21u);

    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    EXPECT_EQ(set()->defs[0].window, first);
    g = graph_of(first);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->series[0].times.size(), 41u);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 20.0f);
    EXPECT_FALSE(g->series[0].xs.empty());

    // Between intervals: a WIP definition shown now reads the game so far.
    const int wip_before = wip_graph_count();
    graph_def d = set()->defs[0];
    d.name = "Again";
    d.window = 0;
    add_graph_def(*set(), d);
    ASSERT_EQ(run_user_tool("Again", -1, 0), 1);
    const handle again = set()->defs.back().window;
    line_graph* a = graph_of(again);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->series.size(), 2u);
    EXPECT_EQ(a->series[0].run, -2);
    ASSERT_EQ(a->series[0].times.size(), 41u);
    EXPECT_FLOAT_EQ(a->series[0].times.front(), 0.0f);
    EXPECT_FLOAT_EQ(a->series[0].times.back(), 20.0f);
    for (std::size_t k = 0; k < 41; k += 10) {
        EXPECT_FLOAT_EQ(a->series[0].times[k], g->series[0].times[k]) << k;
        EXPECT_FLOAT_EQ(a->series[0].values[k], g->series[0].values[k]) << k;
    }
    EXPECT_EQ(wip_graph_count(), wip_before + 1);
    // It grows with the next interval as the first one does.
    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    EXPECT_EQ(graph_of(again)->series[0].times.size(), 61u);
    EXPECT_EQ(graph_of(first)->series[0].times.size(), 61u);

    // Too few points for the game so far: the first ones are kept, said once.
    set()->defs.back().max_points = 10;
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    ASSERT_EQ(run_user_tool("Again", -1, 0), 1);
    set_message_hook(nullptr);
    int said = 0;
    for (const message_log::message& m : message_log::messages)
        if (m.text == "Too many points to complete WIP graph") ++said;
    EXPECT_EQ(said, 1);
    a = graph_of(set()->defs.back().window);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->series[0].times.size(), 20u);
    EXPECT_FLOAT_EQ(a->series[0].times.back(), 9.5f);

    // A graph closed during the game leaves the list; the next interval
    // updates the others only.
    const int listed = wip_graph_count();
    auto* rec = static_cast<output_record*>(lock_handle(set()->defs.back().window));
    ASSERT_NE(rec, nullptr);
    HWND closing = rec->window;
    unlock_handle(set()->defs.back().window);
    SendMessage(closing, WM_COMMAND, cmd_close_output, 0);
    td::run_until_idle();
    EXPECT_EQ(set()->defs.back().window, 0u);
    EXPECT_EQ(wip_graph_count(), listed - 1);
    ASSERT_EQ(run_command(rc_game, 0, 1, nullptr), 1);
    td::run_until_idle();
    EXPECT_EQ(graph_of(first)->series[0].times.size(), 81u);

    // Back by one interval: the graph ends where the game stands again.
    ASSERT_EQ(run_command(rc_game_back, 0, 1, nullptr), 1);
    td::run_until_idle();
    ASSERT_TRUE(game_in_progress());
    EXPECT_FLOAT_EQ(static_cast<float>(game_time()), 30.0f);
    g = graph_of(first);
    ASSERT_NE(g, nullptr);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 30.0f);
    EXPECT_EQ(g->series[0].times.size(), 61u);
    // And refreshed from the game's run it shows the same.
    ASSERT_TRUE(refresh_wip_graph(first, true));
    EXPECT_EQ(g->series[0].times.size(), 61u);
    EXPECT_FLOAT_EQ(g->series[0].times.back(), 30.0f);
}

// STACK 2 (held as 3: 0 is no stacking) stacks the first two series only;
// a plain STACK all of them.
TEST_F(CustomGraphs, AStackLimitStacksThatManySeries) {
    graph_def d = make_graph_def(gd_line);
    d.name = "Stacked";
    graph_var v;
    for (const char* name : {"Inventory", "lower bound", "upper bound"}) {
        v.name = name;
        d.vars.push_back(v);
    }
    std::vector<given_series> given(3, given_series{{0, 10}, {50, 60}});
    d.stack = 3;
    const handle limited = build_custom_graph(d, &given);
    ASSERT_NE(limited, 0u);
    EXPECT_EQ(graph_of(limited)->graph_mode, 2);
    EXPECT_EQ(graph_of(limited)->stack_limit, 2);
    d.stack = 1;
    const handle all = build_custom_graph(d, &given);
    ASSERT_NE(all, 0u);
    EXPECT_EQ(graph_of(all)->graph_mode, 2);
    EXPECT_EQ(graph_of(all)->stack_limit, 0);
}

// The behaviour tests' graphs hand their series over ready: one series per
// variable under its written name, no run needed.
TEST_F(CustomGraphs, GivenSeriesAreDrawnWithoutAnyRun) {
    ASSERT_EQ(loaded_run_names(1), 0);
    graph_def d = make_graph_def(gd_line);
    d.name = "Test";
    d.title = "Inventory stays up";
    graph_var v;
    v.name = "Inventory";
    d.vars.push_back(v);
    v.name = "lower bound";
    d.vars.push_back(v);
    std::vector<given_series> given(2);
    given[0] = {{0, 5, 10}, {100, 300, 200}};
    given[1] = {{0, 10}, {50, 50}};
    const handle h = build_custom_graph(d, &given);
    ASSERT_NE(h, 0u);
    line_graph* g = graph_of(h);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->series.size(), 2u);
    EXPECT_EQ(g->series[0].label, "Inventory");
    EXPECT_EQ(g->series[1].label, "lower bound");
    EXPECT_EQ(g->series[0].values, (std::vector<float>{100, 300, 200}));
    EXPECT_EQ(g->series[1].times, (std::vector<float>{0, 10}));
    EXPECT_LE(g->y_min, 50.0);
    EXPECT_GE(g->y_max, 300.0);
    EXPECT_FALSE(g->series[0].xs.empty());
    // Fewer given series than variables: the rest is left out.
    given.pop_back();
    const handle one = build_custom_graph(d, &given);
    ASSERT_NE(one, 0u);
    EXPECT_EQ(graph_of(one)->series.size(), 1u);
}

} // namespace
