// The lookup editor's point table: the three text layouts, the working
// record taking over, pastes of pairs, rows and single rows, and the edits
// that keep the points sorted; and the working copy the next run reads.
#include "foundation/report.h"
#include "graphs/lookupedit.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/message_log.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/model_builder.h"
#include "tools/grid_core.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

std::vector<float> fl(std::initializer_list<float> v) {
    return v;
}

} // namespace

TEST(LookupText, RangeReferenceAndPointsOrTheRecordsPoints) {
    lookup_points p = parse_lookup_text("[(0,0)-(10,10),(0,1),(10,9)],(0,0),(5,8),(10,10)");
    EXPECT_EQ(p.x, fl({0, 5, 10}));
    EXPECT_EQ(p.y, fl({0, 8, 10}));
    EXPECT_EQ(p.ref_x, fl({0, 10}));
    EXPECT_EQ(p.ref_y, fl({1, 9}));
    EXPECT_EQ(p.x_max, 10);
    EXPECT_EQ(p.y_max, 10);

    // The working copy's record replaces the text's points; the range stays.
    const float rx[] = {0, 2, 7}, ry[] = {3, 4, 5};
    p = parse_lookup_text(" [(0,0)-(10,10)],(0,0),(5,8),(10,10)", rx, ry, 3);
    EXPECT_EQ(p.x, fl({0, 2, 7}));
    EXPECT_EQ(p.y, fl({3, 4, 5}));
    EXPECT_EQ(p.x_min, 0);
    EXPECT_EQ(p.x_max, 10);
    EXPECT_EQ(p.y_max, 10);
}

// A working record longer than the editor's first 30 places is taken whole
// (the old table copied it over its end).
TEST(LookupText, ARecordLongerThanThirtyPointsIsTakenWhole) {
    std::vector<float> rx(50), ry(50);
    for (int i = 0; i < 50; ++i) rx[i] = static_cast<float>(i), ry[i] = static_cast<float>(2 * i);
    const lookup_points p = parse_lookup_text("(0,0),(1,1)", rx.data(), ry.data(), 50);
    ASSERT_EQ(p.count(), 50);
    EXPECT_EQ(p.y[49], 98);
    EXPECT_EQ(p.x_min, 0);
    EXPECT_GE(p.x_max, 49);
    EXPECT_GE(p.y_max, 98);
}

TEST(LookupText, PointsAloneAndPlainNumbersGetARoundedRange) {
    lookup_points p = parse_lookup_text("(0,0.3),(1.5,2.7),(3,9.2)");
    EXPECT_EQ(p.count(), 3);
    EXPECT_LE(p.x_min, 0);
    EXPECT_GE(p.x_max, 3);
    EXPECT_LE(p.y_min, 0.3f);
    EXPECT_GE(p.y_max, 9.2f);
    EXPECT_TRUE(p.ref_x.empty());

    p = parse_lookup_text("1,2,3,10,20,30");
    EXPECT_EQ(p.x, fl({1, 2, 3}));
    EXPECT_EQ(p.y, fl({10, 20, 30}));
    // An odd count leaves the last number out.
    p = parse_lookup_text("1,2,3,10,20");
    EXPECT_EQ(p.x, fl({1, 2}));
    EXPECT_EQ(p.y, fl({3, 10}));

    // Nothing readable: no points, (0,0)-(10,10); a broken pair ends the list.
    p = parse_lookup_text("junk");
    EXPECT_EQ(p.count(), 0);
    EXPECT_EQ(p.x_max, 10);
    p = parse_lookup_text("(0,1),(2,x),(3,4)");
    EXPECT_EQ(p.count(), 1);
    // A reversed or partial range is not taken.
    p = parse_lookup_text("[(10,0)-(0,10)],(0,0),(4,4)");
    EXPECT_LT(p.x_min, p.x_max);
    EXPECT_LE(p.x_max, 5);
}

// A range of no width or no height is not taken; points of one x keep the
// order they were given in; each axis's range comes from its own values.
TEST(LookupText, FlatRangesEqualXsAndEachAxisOwnRange) {
    lookup_points p = parse_lookup_text("[(0,0)-(0,10)],(0,1),(4,4)");
    EXPECT_LT(p.x_min, p.x_max);
    EXPECT_GE(p.x_max, 4);
    p = parse_lookup_text("[(0,5)-(10,5)],(0,1),(4,4)");
    EXPECT_LT(p.y_min, p.y_max);
    EXPECT_GE(p.y_max, 4);

    p = parse_lookup_text("(2,3),(1,5),(1,7),(0,0)");
    EXPECT_EQ(p.x, fl({0, 1, 1, 2}));
    EXPECT_EQ(p.y, fl({0, 5, 7, 3}));

    p = parse_lookup_text("(100,0.2),(200,0.8)");
    EXPECT_GE(p.y_min, 0);
    EXPECT_LE(p.y_min, 0.2f);
    EXPECT_GE(p.y_max, 0.8f);
    EXPECT_LE(p.y_max, 1);
    EXPECT_LE(p.x_min, 100);
    EXPECT_GE(p.x_min, 0);
    EXPECT_GE(p.x_max, 200);
    EXPECT_LE(p.x_max, 300);

    // A record's points end at the first that is not a number, in x or y.
    const float rx[] = {0, 1, 2}, ry[] = {3, std::numeric_limits<float>::quiet_NaN(), 5};
    p = parse_lookup_text("(0,0)", rx, ry, 3);
    EXPECT_EQ(p.x, fl({0}));
    EXPECT_EQ(p.y, fl({3}));
}

TEST(LookupPaste, PairsRowsAndASingleRow) {
    lookup_paste v = read_lookup_paste("Time Value\n3 30\n1 10\n2 20\n");
    ASSERT_EQ(v.kind, lookup_paste::pairs);
    lookup_points p;
    ASSERT_TRUE(apply_lookup_paste(p, v));
    // Sorted as every other edit keeps them.
    EXPECT_EQ(p.x, fl({1, 2, 3}));
    EXPECT_EQ(p.y, fl({10, 20, 30}));

    // After a heading each row's first field is its label.
    v = read_lookup_paste("Lookup\r\nInput\t0\t1\t2\r\nOutput\t5\t6\t7\r\n");
    ASSERT_EQ(v.kind, lookup_paste::rows);
    EXPECT_EQ(v.x, fl({0, 1, 2}));
    EXPECT_EQ(v.y, fl({5, 6, 7}));

    // Two lines of pairs under a heading are pairs too.
    v = read_lookup_paste("Time Value\n1 10\n2 20\n");
    ASSERT_EQ(v.kind, lookup_paste::pairs);
    EXPECT_EQ(v.x, fl({1, 2}));
    EXPECT_EQ(v.y, fl({10, 20}));

    // Blank lines at the end are no row.
    v = read_lookup_paste("4\t5\t6\r\n\r\n \t\r\n");
    ASSERT_EQ(v.kind, lookup_paste::y_only);
    EXPECT_EQ(v.y, fl({4, 5, 6}));

    // A single row of three is y values: x from the first value and the step.
    v = read_lookup_paste("4\t5\t6");
    ASSERT_EQ(v.kind, lookup_paste::y_only);
    ASSERT_TRUE(apply_lookup_paste(p, v, 10, 0.5f));
    EXPECT_EQ(p.x, fl({10, 10.5f, 11}));
    EXPECT_EQ(p.y, fl({4, 5, 6}));
}

// A short x row no longer leaves y values without their x: the rows pair as
// far as the shorter goes; a paste with nothing to read says what it needs.
// A field with anything after its number is no number: the row ends there.
TEST(LookupPaste, AFieldWithTextAfterItsNumberEndsTheRow) {
    const lookup_paste rows = read_lookup_paste("1\t2x\t3\r\n4\t5\t6\r\n");
    EXPECT_EQ(rows.kind, lookup_paste::rows);
    EXPECT_EQ(rows.x, fl({1}));
    EXPECT_EQ(rows.y, fl({4}));
    const lookup_paste pairs = read_lookup_paste("0 1\r\n2 3kg\r\n4 5\r\n");
    EXPECT_NE(pairs.kind, lookup_paste::pairs);
}

TEST(LookupPaste, AShortRowPairsAsFarAsItGoesAndNothingIsRefused) {
    lookup_paste v = read_lookup_paste("0,1\n5,6,7,8\n");
    ASSERT_EQ(v.kind, lookup_paste::rows);
    EXPECT_EQ(v.x, fl({0, 1}));
    EXPECT_EQ(v.y, fl({5, 6}));
    for (const char* bad : {"", "heading only\n", "a,b\nc,d\n"}) {
        v = read_lookup_paste(bad);
        EXPECT_EQ(v.kind, lookup_paste::none) << bad;
        EXPECT_EQ(v.message, "Place x-y or y values in clipboard in tab delimited format");
        lookup_points p = parse_lookup_text("(0,1),(1,2)");
        EXPECT_FALSE(apply_lookup_paste(p, v));
        EXPECT_EQ(p.count(), 2);
    }
}

// A spreadsheet's table arrives as a BIFF2 worksheet: its rows become lines
// of tab-separated fields (labels with tabs or line breaks kept on their
// line), read as any pasted text; damaged bytes give nothing to read.
TEST(LookupPaste, ASpreadsheetTableReadsAsTabbedRows) {
    grid_rows g;
    const float xs[] = {0, 2.5f, 5}, ys[] = {1, 1.5f, -2};
    grid_add_row(g, "Crowding\tand\nmore", nullptr, nullptr, nullptr, 0, false, "", 0, 0);
    grid_add_row(g, "x", nullptr, xs, nullptr, 3, false, "", 0, 0);
    grid_add_row(g, "y", nullptr, ys, nullptr, 3, false, "", 0, 0);
    const std::vector<std::uint8_t> biff = grid_export_biff(g);
    const std::string text = biff_paste_text(biff.data(), biff.size());
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), "x\t0\t2.5\t5\r\ny\t1\t1.5\t-2\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    const lookup_paste paste = read_lookup_paste(text);
    ASSERT_EQ(paste.kind, lookup_paste::rows);
    EXPECT_EQ(paste.x, fl({0, 2.5f, 5}));
    EXPECT_EQ(paste.y, fl({1, 1.5f, -2}));

    // A label's carriage return is a line break to some readers: a blank.
    grid_rows r;
    grid_add_row(r, "one\rtwo", nullptr, xs, nullptr, 1, false, "", 0, 0);
    const std::vector<std::uint8_t> rb = grid_export_biff(r);
    EXPECT_EQ(biff_paste_text(rb.data(), rb.size()), "one two\t0\r\n");

    std::vector<std::uint8_t> cut(biff.begin(), biff.end() - 3);
    EXPECT_EQ(biff_paste_text(cut.data(), cut.size()), "");
    EXPECT_EQ(biff_paste_text(nullptr, 10), "");
}

// The documentation's captions: split at each "\\!", three at most.
TEST(LookupCaptions, DocumentationSplitsIntoAtMostThreeParts) {
    EXPECT_EQ(split_lookup_captions(""), std::vector<std::string>{""});
    EXPECT_EQ(split_lookup_captions("Effect of crowding"),
              std::vector<std::string>{"Effect of crowding"});
    EXPECT_EQ(split_lookup_captions("a\\!b\\!c\\!d"),
              (std::vector<std::string>{"a", "b", "c\\!d"}));
    EXPECT_EQ(split_lookup_captions("a\\!"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(split_lookup_captions("back\\slash"), std::vector<std::string>{"back\\slash"});
}

// A lookup's captions come from its documentation and units; a name that is
// no lookup has none.
TEST(LookupCaptions, ALookupsDocumentationAndUnits) {
    init_vocabulary();
    model_builder b("captions");
    b.control(0, 10, 1, 1);
    const symbol_id l = b.lookup("effect", {{0, 1}, {1, 2}}, "widgets");
    b.comment(l, "How crowding acts\\!on deaths");
    b.constant("k", 1);
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    const lookup_captions c = lookup_captions_of("effect");
    EXPECT_EQ(c.parts, (std::vector<std::string>{"How crowding acts", "on deaths"}));
    EXPECT_EQ(c.units, "widgets");
    EXPECT_TRUE(lookup_captions_of("k").parts.empty());
    close_model(0, 0);
}

// The editor reads the lookup's own equation: its declared range and its
// reference points stand, where the points alone would give a rounded range.
TEST(LookupCaptions, TheEquationGivesTheDeclaredRangeAndReference) {
    init_vocabulary();
    model_builder b("ranged");
    b.control(0, 10, 1, 1);
    b.lookup("declared", {{0, 0.5f}, {1, 1.2f}, {2, 0.9f}}, nullptr, "[(0,0)-(4,3),(0,1),(4,2)]");
    b.lookup("plain", {{0, 0.5f}, {1, 1.2f}, {2, 0.9f}});
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    const int declared = lookup_slot_of("declared"), plain = lookup_slot_of("plain");
    ASSERT_GE(declared, 0);
    ASSERT_GE(plain, 0);
    EXPECT_EQ(lookup_equation_text(declared).rfind("[(0,0)-(4,3)", 0), 0u)
        << lookup_equation_text(declared);
    lookup_points p;
    ASSERT_TRUE(model_lookup_points(declared, &p));
    EXPECT_EQ(p.count(), 3);
    EXPECT_EQ(p.x_max, 4.0f);
    EXPECT_EQ(p.y_max, 3.0f);
    EXPECT_EQ(p.ref_x, (std::vector<float>{0, 4}));
    EXPECT_EQ(p.ref_y, (std::vector<float>{1, 2}));
    lookup_points q;
    ASSERT_TRUE(model_lookup_points(plain, &q));
    EXPECT_TRUE(q.ref_x.empty());
    EXPECT_LT(q.x_max, 4.0f); // rounded from the points (0 to 2)
    EXPECT_GE(q.x_max, 2.0f);
    EXPECT_EQ(lookup_equation_text(-1), "");
    close_model(0, 0);
}

TEST(LookupEdits, TypedXPastANeighbourMovesThePointAndDragsStayBetween) {
    lookup_points p = parse_lookup_text("[(0,0)-(10,10)],(0,0),(2,4),(5,5),(8,1)");
    // Past the next point: deleted and re-inserted at its place, y kept.
    EXPECT_EQ(set_lookup_x(p, 1, 6), 2);
    EXPECT_EQ(p.x, fl({0, 5, 6, 8}));
    EXPECT_EQ(p.y, fl({0, 5, 4, 1}));
    // Within the neighbours: in place.
    EXPECT_EQ(set_lookup_x(p, 1, 5.5f), 1);
    EXPECT_EQ(p.x[1], 5.5f);
    // A drag stays between its neighbours.
    EXPECT_EQ(move_lookup_point(p, 2, 100, 3), 2);
    EXPECT_EQ(p.x[2], 8);
    EXPECT_EQ(p.y[2], 3);
    EXPECT_EQ(insert_lookup_point(p, 7, 7), 2); // before the first x not below it
    EXPECT_EQ(insert_lookup_point(p, 20, 12), 5);
    EXPECT_EQ(p.out_of_range, 2 | 8);
    rescale_lookup_points(p, false);
    EXPECT_GE(p.x_max, 20);
    EXPECT_GE(p.y_max, 12);
    EXPECT_EQ(p.x_min, 0); // an unmarked side stays
    EXPECT_EQ(p.out_of_range, 0);
    delete_lookup_point(p, 0);
    delete_lookup_point(p, 99);
    EXPECT_EQ(p.count(), 5);
    EXPECT_EQ(lookup_clipboard_text(parse_lookup_text("(0,1),(2.5,3)")), "0\t2.5\t\r\n1\t3\t");
}

// A drag stays right of the point before it too, and a point dragged or
// added below the range marks the low side only: rescaling then moves the
// low end of that axis alone.
TEST(LookupEdits, DragsStopAtTheLeftNeighbourAndOnlyTheCrossedSideRescales) {
    lookup_points p = parse_lookup_text("[(0,0)-(10,10)],(0,0),(2,4),(5,5),(8,1)");
    EXPECT_EQ(move_lookup_point(p, 2, -7, 6), 2);
    EXPECT_EQ(p.x, fl({0, 2, 2, 8}));
    EXPECT_EQ(p.y[2], 6);
    EXPECT_EQ(p.out_of_range, 0);
    EXPECT_EQ(move_lookup_point(p, 3, 9, -3), 3);
    EXPECT_EQ(p.out_of_range, 4); // below the y range only
    rescale_lookup_points(p, false);
    EXPECT_LE(p.y_min, -3);
    EXPECT_EQ(p.y_max, 10);
    EXPECT_EQ(p.x_min, 0);
    EXPECT_EQ(p.x_max, 10);
    EXPECT_EQ(insert_lookup_point(p, -4, 5), 0);
    EXPECT_EQ(p.out_of_range, 1); // left of the x range only
    const float y_min = p.y_min;
    rescale_lookup_points(p, false);
    EXPECT_LE(p.x_min, -4);
    EXPECT_EQ(p.x_max, 10);
    EXPECT_EQ(p.y_min, y_min);
}

TEST(LookupEdits, PixelsAndValuesMapBothWays) {
    lookup_points p = parse_lookup_text("[(0,0)-(10,100)],(0,0),(10,100)");
    const lookup_plot plot{10, 20, 200, 100};
    EXPECT_EQ(plot.px(p, 0), 10);
    EXPECT_EQ(plot.px(p, 5), 110);
    EXPECT_EQ(plot.py(p, 100), 20);
    EXPECT_EQ(plot.py(p, 0), 120);
    EXPECT_FLOAT_EQ(plot.vx(p, 110), 5);
    EXPECT_FLOAT_EQ(plot.vy(p, 70), 50);
    // A range with no span maps to the plot's corner, never divides by it.
    p.x_max = p.x_min;
    EXPECT_EQ(plot.px(p, 3), 10);
}

// ------------------------------------------------- with a model and runs ---
class LookupWorkingCopy : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        make_workbench();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        message_log::messages.clear();
        set_message_hook(message_log::test_hook);
    }
    void TearDown() override {
        set_message_hook(nullptr);
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    float final_population(const char* run_name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, run_name);
        EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        float v = -1;
        EXPECT_EQ(run_value_at_time("Population", nullptr, model_rec->runs[0].run, &v, nullptr, 0),
                  1);
        return v;
    }
};

// The edited points are what the next run uses; the model's own table is
// what a fresh working copy starts from again.
TEST_F(LookupWorkingCopy, TheNextRunUsesTheNewPointsAndTheModelKeepsItsOwn) {
    const float before = final_population("base");
    const int slot = lookup_slot_of("crowding effect on deaths");
    ASSERT_GE(slot, 0);
    lookup_points p;
    ASSERT_TRUE(working_lookup_points(slot, &p));
    const std::vector<float> model_y = p.y;
    ASSERT_EQ(p.count(), 5);
    // Deaths crowd in at twice the rate.
    for (float& y : p.y) y *= 2;
    ASSERT_EQ(commit_lookup_points(slot, p), 1);
    const float after = final_population("crowded");
    EXPECT_LT(after, before * 0.95f);
    std::vector<float> rx, ry;
    ASSERT_EQ(read_run_lookup("crowding effect on deaths", model_rec->runs[0].run, rx, ry), 5);
    EXPECT_EQ(ry, p.y);

    clear_setup();
    lookup_points fresh;
    ASSERT_TRUE(working_lookup_points(slot, &fresh));
    EXPECT_EQ(fresh.y, model_y);

    // One point is refused and changes nothing; a name that is no lookup is lost.
    lookup_points one = fresh;
    one.x.resize(1);
    one.y.resize(1);
    EXPECT_EQ(commit_lookup_points(slot, one), 0);
    EXPECT_TRUE(message_log::said("You must have at least 2 points for a lookup"));
    EXPECT_EQ(lookup_slot_of("Population"), -1);
    EXPECT_TRUE(message_log::said("Lost Lookup Population"));
}
