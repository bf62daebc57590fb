// The Runs Compare tool on two runs of the population sample that differ in
// "birth rate": the text window's title and lines, the class headings, the
// messages when nothing differs or a run is refused, the window of an earlier
// run left open, and the option line read and written back.
#include "foundation/docwriter.h"
#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/compare.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/toolset.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/message_log.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/shot.h"
#include "tests/support/run_builder.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/runscompare.h"
#include "tools/texttools.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class RunsCompare : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_hooks();
        install_text_tools();
        install_runs_compare();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
        const std::string model = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
        install_run_driver();
        ask_dataset_overwrite = false;
        const int row = find_tool_row("Runs Compare");
        tool_ = new_tool(row, "Runs Compare", compare_tool_setup(0, 0, nullptr, nullptr));
        compare_tool_setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        td::run_until_idle();
        free_tool(tool_);
        set_tool_setup(find_tool_row("Runs Compare"), nullptr);
        set_tool_setup(find_tool_row("Loops"), nullptr);
        set_tool_setup(find_tool_row("Outline"), nullptr);
        set_tool_setup(find_tool_row("Document"), nullptr);
        set_report_sink(report_text, nullptr);
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    static void set_run_name(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    // Simulates the sample with "birth rate" set (NA: as the model has it).
    static void simulate(const char* name, float birth_rate) {
        if (birth_rate != NA) {
            lock_model(0);
            const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
            unlock_model(0);
            ASSERT_EQ(ensure_setup_copy(0), 1);
            ASSERT_EQ(set_setup_value(slot, birth_rate), 1);
        }
        set_run_name(name);
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    }
    runs_compare_options& options() {
        tool_record* r = lock_tool(tool_);
        auto* o = static_cast<runs_compare_options*>(tool_options(r));
        unlock_tool(tool_);
        return *o; // the tool's block does not move while the test holds no other lock
    }
    handle run() {
        run_palette_tool(tool_);
        td::run_until_idle();
        return compare_window();
    }
    static std::vector<std::string> lines(handle rec) {
        std::vector<std::string> out;
        if (const text_lines* l = textwin_lines(rec))
            for (int i = 0; i < l->lines(); ++i) out.emplace_back(l->line(i));
        return out;
    }
    static std::string title(handle rec) {
        HWND w = outwin_window(rec);
        HWND frame = w ? GetParent(w) : nullptr;
        char buf[256] = {};
        if (frame) GetWindowText(frame, buf, sizeof buf);
        return buf;
    }

    handle tool_ = 0;
};

TEST_F(RunsCompare, TwoPopulationRunsDifferingInBirthRate) {
    simulate("base", NA);
    simulate("fast", 0.06f);
    ASSERT_EQ(loaded_run_names(1), 2);
    // The newest run is the first selected.
    const std::string first = selected_run_names[0], second = selected_run_names[1];
    options().levels = 1;
    handle rec = run();
    ASSERT_NE(rec, 0u);
    EXPECT_EQ(title(rec), "Comparing  " + first + " and " + second);
    const std::vector<std::string> l = lines(rec);
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[0], "Comparing  " + first + " and " + second);
    EXPECT_EQ(l[1], "******Constant differences between " + first + " and " + second + "******");
    EXPECT_EQ(l[2], "birth rate - has changed in value");
    // No lookup differs: its heading never shows; each heading shows once.
    int constant = 0, level = 0;
    for (const std::string& s : l) {
        EXPECT_EQ(s.find("Lookup"), std::string::npos) << s;
        constant += s.find("******Constant") == 0;
        level += s.find("******Level") == 0;
    }
    EXPECT_EQ(constant, 1);
    EXPECT_EQ(level, 1);
    bool population = false;
    for (const std::string& s : l)
        population |= s.rfind("Population - has different values at time ", 0) == 0;
    EXPECT_TRUE(population);

    const QImage shot = save_shot(GetParent(outwin_window(rec)), "runs_compare_population.png");
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(distinct_colours(shot), 2);
}

TEST_F(RunsCompare, MessagesWhenNothingDiffersOrOneRunIsLoaded) {
    // Two runs of the model that differ only in the level Population.
    for (int k = 0; k < 2; ++k) {
        run_builder rb(cur_model_symbols);
        rb.times({0, 1, 2});
        rb.series("Population", {1000, 1010, k ? 1030.0f : 1020.0f});
        ASSERT_EQ(rb.write(dir + (k ? "/level_b.kdf" : "/level_a.kdf")), 1) << rb.error();
    }
    ASSERT_EQ(load_runs(model_rec, -1, "level_a", 1, 0), 1);
    answerer::box(severity_caption(8))
        .text("Must have two runs loaded to compare runs")
        .press(IDOK);
    EXPECT_EQ(run(), 0u);
    ASSERT_EQ(load_runs(model_rec, -1, "level_b", 1, 0), 1);
    ASSERT_EQ(loaded_run_names(1), 2);
    // The default classes (constants and lookups): no differences, at 0,0.
    const std::string text = std::string(selected_run_names[0]) + " and " + selected_run_names[1] +
                             " have no differences among selected variable types at tolerance 0,0";
    answerer::box(severity_caption(8)).text(text).press(IDOK);
    EXPECT_EQ(run(), 0u);
    // With the levels asked for, the difference shows.
    options().levels = 1;
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const std::vector<std::string> l = lines(rec);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[1].rfind("******Level differences between ", 0), 0u) << l[1];
    EXPECT_EQ(l[2], "Population - has different values at time 2 and perhaps beyond");
}

TEST_F(RunsCompare, ARefusalIsShownOnceAndNotFollowedBySuccess) {
    simulate("base", NA);
    simulate("same", NA);
    ASSERT_EQ(loaded_run_names(1), 2);
    // Both slots name one run: refused once, for all seven classes asked.
    model_rec->runs[1].run = model_rec->runs[0].run;
    runs_compare_options& o = options();
    o.levels = o.auxiliaries = o.data = o.initials = o.game_inputs = 1;
    answerer::clear();
    answerer::box(severity_caption(8)).text("Trying to compare a run with itself").press(IDOK);
    EXPECT_EQ(run(), 0u);
    EXPECT_EQ(answerer::pending(), 0u);
    int boxes = 0;
    for (const answerer::Seen& s : answerer::seen()) boxes += s.message_box;
    EXPECT_EQ(boxes, 1);
}

TEST_F(RunsCompare, AnOldWindowClosedLaterDoesNotTakeTheNewOne) {
    simulate("base", NA);
    simulate("fast", 0.06f);
    handle old_rec = run();
    ASSERT_NE(old_rec, 0u);
    handle new_rec = run();
    ASSERT_NE(new_rec, 0u);
    ASSERT_NE(new_rec, old_rec);
    // The first window is still there; closing it leaves the tool with the new one.
    close_text_window(old_rec);
    td::run_until_idle();
    EXPECT_EQ(compare_window(), new_rec);
    close_text_window(new_rec);
    td::run_until_idle();
    EXPECT_EQ(compare_window(), 0u);
}

TEST_F(RunsCompare, OptionLineReadAndWrittenBack) {
    // The built-in set's line fills the first ten fields; the rest keep their
    // defaults.
    const int row = find_tool_row("Runs Compare");
    handle t = new_tool(row, "x", compare_tool_setup(0, 0, nullptr, nullptr));
    const char* const builtin[] = {"0,0,0,0,0,0,1,1,0,0,"};
    ASSERT_EQ(push_text_source(builtin, 1, 0), 1);
    EXPECT_EQ(compare_tool_setup(0, t, nullptr, "x"), 60);
    close_text_source();
    tool_record* r = lock_tool(t);
    EXPECT_EQ(r->icon, 32u);
    EXPECT_EQ(tool_action_of(r->action), compare_tool_run);
    auto* o = static_cast<runs_compare_options*>(tool_options(r));
    EXPECT_EQ(o->constants, 1);
    EXPECT_EQ(o->lookups, 1);
    EXPECT_EQ(o->levels, 0);
    EXPECT_EQ(o->font.size, 10);
    unlock_tool(t);

    // Every field: tolerances, the classes, the two kept bytes, the font and
    // the game inputs, in the file's order.
    const char* const full[] = {"0.25,0.5,1,0,1,0,0,1,7,9,Arial|12|B|0-0-0,1,"};
    ASSERT_EQ(push_text_source(full, 1, 0), 1);
    compare_tool_setup(0, t, nullptr, "x");
    close_text_source();
    std::string out;
    EXPECT_EQ(compare_tool_setup(1, t, &out, nullptr), 60);
    EXPECT_EQ(out, std::string(full[0]) + "\n");
    r = lock_tool(t);
    o = static_cast<runs_compare_options*>(tool_options(r));
    EXPECT_FLOAT_EQ(o->rel, 0.25f);
    EXPECT_FLOAT_EQ(o->abs, 0.5f);
    EXPECT_EQ(o->levels, 1);
    EXPECT_EQ(o->data, 1);
    EXPECT_EQ(o->constants, 0);
    EXPECT_EQ(o->unused54, 7);
    EXPECT_EQ(o->game_inputs, 1);
    EXPECT_EQ(o->font.size, 12);
    unlock_tool(t);
    // Asked only for the size, in any mode.
    EXPECT_EQ(compare_tool_setup(1, 0, nullptr, nullptr), 60);
    free_tool(t);
}

// A tool with no option line compares constants and lookups: two runs that
// differ only in a lookup's points are reported under the lookup heading,
// with no level or auxiliary compared.
TEST_F(RunsCompare, ANewToolComparesConstantsAndLookups) {
    {
        const runs_compare_options& o = options();
        EXPECT_EQ(o.constants, 1);
        EXPECT_EQ(o.lookups, 1);
        EXPECT_EQ(o.levels + o.auxiliaries + o.data + o.initials + o.game_inputs, 0);
        EXPECT_EQ(o.rel, 0.0f);
        EXPECT_EQ(o.abs, 0.0f);
    }
    for (int k = 0; k < 2; ++k) {
        run_builder rb(cur_model_symbols);
        rb.times({0, 1, 2});
        rb.series("Population", {1000, 1010, 1020});
        rb.lookup_points("crowding effect on deaths", {0, 0.5f, 1, 1.5f, 2},
                         {0.9f, 1, k ? 1.6f : 1.4f, 2.5f, 4});
        ASSERT_EQ(rb.write(dir + (k ? "/lookup_b.kdf" : "/lookup_a.kdf")), 1) << rb.error();
    }
    ASSERT_EQ(load_runs(model_rec, -1, "lookup_a", 1, 0), 1);
    ASSERT_EQ(load_runs(model_rec, -1, "lookup_b", 1, 0), 1);
    ASSERT_EQ(loaded_run_names(1), 2);
    handle rec = run();
    ASSERT_NE(rec, 0u);
    const std::vector<std::string> l = lines(rec);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[1], "******Lookup differences between " + std::string(selected_run_names[0]) +
                        " and " + selected_run_names[1] + "******");
    EXPECT_EQ(l[2].rfind("crowding effect on deaths", 0), 0u) << l[2];
}

// The second pass, with the runs swapped, looks only for what one run lacks:
// a changed constant is reported once, not once from each side.
TEST_F(RunsCompare, AChangedValueIsReportedOnce) {
    simulate("base", NA);
    simulate("fast", 0.06f);
    handle rec = run();
    ASSERT_NE(rec, 0u);
    int changed = 0;
    for (const std::string& s : lines(rec)) changed += s == "birth rate - has changed in value";
    EXPECT_EQ(changed, 1);
}

} // namespace
