// The lookup editor as a user meets it: dragging, typing, clicking and
// zooming in dialog 297, and what OK and Cancel leave for the next run.
#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "graphs/graphwin.h"
#include "graphs/linegraph.h"
#include "graphs/lookupdlg.h"
#include "model/context.h"
#include "model/model.h"
#include "platform/clip.h"
#include "platform/gdi_internal.h"
#include "platform/global.h"
#include "platform/print.h"
#include "resources/dialogs.h"
#include "resources/lookupdlg.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "runs/access.h"
#include "runs/select.h"
#include "shell/controlpanel.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/settings_rows.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/common/command_output.h"
#include "tests/common/packages.h"
#include "tests/graphs/lookup_editor_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/grid_core.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

class LookupEditor : public LookupEditorTest {
protected:
    void SetUp() override {
        LookupEditorTest::SetUp();
        ask_dataset_overwrite = false;
    }
    void TearDown() override {
        ask_dataset_overwrite = true;
        LookupEditorTest::TearDown();
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

// From Lookup Changes: the Graph button opens the editor on the lookup shown;
// a point dragged up, an x typed past its neighbour, a click that adds a
// point and a Shift-drag zoom; OK, and the next run uses the new points while
// the model's own table stays.
TEST_F(LookupEditor, DragTypeClickAndZoomThenOkChangesTheNextRun) {
    const float before = final_population("base");
    const lookup_points model = working();
    ASSERT_EQ(model.count(), 5);
    lookup_points edited;
    std::string table_after;

    answerer::dialog(dlg_lookup_changes)
        .select(ids_lookup, lookup_name)
        .call([&](HWND d) {
            answerer::dialog(dlg_lookup_editor)
                .call([&](HWND e) {
                    EXPECT_EQ(test_driver::item_text(e, idl_caption1), lookup_name);
                    const lookup_points* p = open_lookup_points();
                    ASSERT_NE(p, nullptr);
                    HWND graph = GetDlgItem(e, idl_graph);
                    const lookup_plot plot = lookup_graph_plot(graph);
                    ASSERT_GT(plot.width, 100);
                    ASSERT_GT(plot.height, 100);

                    // Drag the middle point 30 pixels up: its y grows, its x
                    // stays exactly, and the table's row shows it.
                    const POINT at{plot.px(*p, p->x[2]), plot.py(*p, p->y[2])};
                    test_driver::drag(graph, at, {at.x, at.y - 30});
                    test_driver::run_until_idle();
                    ASSERT_EQ(p->count(), 5);
                    EXPECT_NEAR(p->y[2], plot.vy(*p, at.y - 30), 1e-4);
                    EXPECT_GT(p->y[2], model.y[2]);
                    EXPECT_EQ(p->x[2], model.x[2]);
                    char shown[40];
                    std::snprintf(shown, sizeof shown, "%.4g", static_cast<double>(p->y[2]));
                    EXPECT_EQ(test_driver::item_text(e, idl_row_y + 2), shown);

                    // The first point's x typed past the second's: it moves to
                    // the second place with its y, and the focus to its y field.
                    const float past = (model.x[1] + model.x[2]) / 2;
                    char typed[40];
                    std::snprintf(typed, sizeof typed, "%g", static_cast<double>(past));
                    type_into(e, idl_row_x, typed, idl_new_x);
                    ASSERT_EQ(p->count(), 5);
                    EXPECT_FLOAT_EQ(p->x[0], model.x[1]);
                    EXPECT_FLOAT_EQ(p->x[1], past);
                    EXPECT_FLOAT_EQ(p->y[1], model.y[0]);
                    EXPECT_EQ(test_driver::item_text(e, idl_row_x + 1), typed);

                    // A click between the last two points adds one there.
                    const int gap_x = (plot.px(*p, p->x[3]) + plot.px(*p, p->x[4])) / 2;
                    const int gap_y = plot.top + plot.height / 2;
                    test_driver::click(graph, gap_x, gap_y);
                    test_driver::run_until_idle();
                    ASSERT_EQ(p->count(), 6);
                    EXPECT_NEAR(p->x[4], plot.vx(*p, gap_x), 1e-4);
                    EXPECT_NEAR(p->y[4], plot.vy(*p, gap_y), 1e-4);

                    // Shift-drag across a quarter of the width zooms the x
                    // range to it; the points stay.
                    const lookup_points kept = *p;
                    const int from = plot.left + plot.width / 4, to = plot.left + plot.width / 2;
                    const float lo = plot.vx(*p, from), hi = plot.vx(*p, to);
                    test_driver::drag(graph, {from, plot.top + 10}, {to, plot.top + 20}, 4,
                                      test_driver::Button::left, test_driver::shift);
                    test_driver::run_until_idle();
                    EXPECT_FLOAT_EQ(p->x_min, lo);
                    EXPECT_FLOAT_EQ(p->x_max, hi);
                    EXPECT_FLOAT_EQ(p->y_min, kept.y_min);
                    EXPECT_EQ(p->x, kept.x);
                    EXPECT_EQ(p->y, kept.y);
                    EXPECT_NEAR(std::strtod(test_driver::item_text(e, idl_x_min).c_str(), nullptr),
                                lo, std::abs(lo) * 1e-5);
                    EXPECT_NEAR(std::strtod(test_driver::item_text(e, idl_x_max).c_str(), nullptr),
                                hi, std::abs(hi) * 1e-5);
                    edited = *p;
                })
                .press(idl_ok);
            SendMessage(d, WM_COMMAND, ids_graph, 0);
            table_after = test_driver::item_text(d, ids_points);
        })
        .press(IDOK);
    menu_command(cmd_lookup_changes);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();

    // The Lookup Changes table shows the editor's points, and they are the
    // working copy's.
    ASSERT_EQ(edited.count(), 6);
    EXPECT_NE(table_after.find("\r\n"), std::string::npos);
    const lookup_points now = working();
    EXPECT_EQ(now.x, edited.x);
    EXPECT_EQ(now.y, edited.y);
    const float after = final_population("edited");
    EXPECT_GT(std::abs(after - before), before * 1e-3f);
    std::vector<float> rx, ry;
    ASSERT_EQ(read_run_lookup(lookup_name, model_rec->runs[0].run, rx, ry), 6);
    EXPECT_EQ(ry, edited.y);

    // The model's own table is what a fresh working copy starts from.
    clear_setup();
    EXPECT_EQ(working().y, model.y);
}

// The blue squares drawn for the points of a range: one on a bound is drawn
// (the inside half of it), one past a bound is not.
TEST(LookupPoints, ASquareOnABoundIsDrawnAndOnePastItIsNot) {
    test_driver::start();
    const RECT plot{10, 10, 110, 90};
    auto blue_of = [&](float x, float y) {
        QImage img(120, 100, QImage::Format_RGB32);
        img.fill(Qt::white);
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
        lookup_points p;
        p.x = {x};
        p.y = {y};
        p.x_min = 0, p.x_max = 10, p.y_min = 0, p.y_max = 4;
        draw_lookup_points(dc, plot, p, 2);
        gdi_delete_image_dc(dc);
        int n = 0;
        for (int j = 0; j < img.height(); ++j)
            for (int i = 0; i < img.width(); ++i) n += (img.pixel(i, j) & 0xFFFFFF) == 0x0000FF;
        return n;
    };
    EXPECT_GE(blue_of(5, 2), 25) << "a whole square inside";
    for (const auto& [x, y] : {std::pair{10.0f, 2.0f}, {0.0f, 2.0f}, {5.0f, 4.0f}, {5.0f, 0.0f}})
        EXPECT_GE(blue_of(x, y), 6) << x << "," << y;
    for (const auto& [x, y] : {std::pair{10.5f, 2.0f}, {-0.5f, 2.0f}, {5.0f, 4.5f}, {5.0f, -0.5f}})
        EXPECT_EQ(blue_of(x, y), 0) << x << "," << y;
}

// Clearing mode deletes the point clicked; a sweep sets the points passed; a range that would cross
// its other bound is refused on leaving; OK with one point stays with the message; Cancel leaves
// the working copy as it was.
TEST_F(LookupEditor, ClearingRefusalsAndCancelKeepTheWorkingCopy) {
    const lookup_points model = working();
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);

            SendMessage(e, WM_COMMAND, idl_clear_points, 0);
            EXPECT_EQ(test_driver::item_text(e, idl_clear_points), "Add Points");
            const float gone = p->x[1];
            test_driver::click(graph, plot.px(*p, p->x[1]), plot.py(*p, p->y[1]));
            test_driver::run_until_idle();
            ASSERT_EQ(p->count(), 4);
            EXPECT_NE(p->x[1], gone);
            SendMessage(e, WM_COMMAND, IDCANCEL, 0); // Esc ends clearing only
            EXPECT_TRUE(IsWindow(e));
            EXPECT_EQ(test_driver::item_text(e, idl_clear_points), "Clear Points");

            // A sweep from empty space across the graph sets the y of every
            // point it passes to the cursor's; their x values stay.
            const std::vector<float> xs = p->x;
            const int line = plot.top + plot.height / 4;
            // Moves are taken one by one, as a slow hand gives them.
            test_driver::mouse_down(graph, plot.left - 4, line);
            for (int x = plot.left; x <= plot.left + plot.width + 4; x += 4) {
                test_driver::mouse_move(graph, x, line);
                test_driver::run_until_idle();
            }
            test_driver::mouse_up(graph, plot.left + plot.width + 4, line);
            test_driver::run_until_idle();
            EXPECT_EQ(p->x, xs);
            for (int i = 0; i < p->count(); ++i) EXPECT_NEAR(p->y[i], plot.vy(*p, line), 1e-4) << i;

            // Ctrl-drag zooms the y range to the span dragged, either way up.
            const float y_low = plot.vy(*p, plot.top + plot.height * 3 / 4);
            const float y_high = plot.vy(*p, plot.top + plot.height / 2);
            test_driver::drag(graph, {plot.left + 20, plot.top + plot.height * 3 / 4},
                              {plot.left + 30, plot.top + plot.height / 2}, 4,
                              test_driver::Button::left, test_driver::ctrl);
            test_driver::run_until_idle();
            EXPECT_FLOAT_EQ(p->y_min, y_low);
            EXPECT_FLOAT_EQ(p->y_max, y_high);
            SendMessage(e, WM_COMMAND, idl_reset_scaling, 0);
            EXPECT_LE(p->y_min, *std::min_element(p->y.begin(), p->y.end()));
            EXPECT_GE(p->y_max, *std::max_element(p->y.begin(), p->y.end()));

            // X-min above X-max: kept, the field shows the refusal.
            const float x_min = p->x_min;
            char over[40];
            std::snprintf(over, sizeof over, "%g", static_cast<double>(p->x_max + 5));
            HWND combo = GetDlgItem(e, idl_x_min);
            SetWindowText(combo, over);
            SendMessage(e, WM_COMMAND, MAKEWPARAM(idl_x_min, CBN_EDITCHANGE),
                        reinterpret_cast<LPARAM>(combo));
            EXPECT_EQ(p->x_min, x_min);
            SendMessage(e, WM_COMMAND, MAKEWPARAM(idl_x_min, CBN_KILLFOCUS),
                        reinterpret_cast<LPARAM>(combo));
            EXPECT_EQ(p->x_min, x_min);
            EXPECT_EQ(test_driver::item_text(e, idl_x_min).substr(0, std::strlen(over) + 2),
                      std::string("?") + over + "|");
            // A maximum beyond the refused minimum makes it valid: both are taken.
            char beyond[40];
            std::snprintf(beyond, sizeof beyond, "%g", static_cast<double>(p->x_max + 10));
            HWND max_combo = GetDlgItem(e, idl_x_max);
            SetWindowText(max_combo, beyond);
            SendMessage(e, WM_COMMAND, MAKEWPARAM(idl_x_max, CBN_EDITCHANGE),
                        reinterpret_cast<LPARAM>(max_combo));
            EXPECT_EQ(std::strtod(beyond, nullptr), p->x_max);
            EXPECT_EQ(std::strtod(over, nullptr), p->x_min);
            EXPECT_EQ(test_driver::item_text(e, idl_x_min), over);

            // Down to one point: OK is refused and the dialog stays.
            SendMessage(e, WM_COMMAND, idl_clear_all, 0);
            EXPECT_EQ(p->count(), 0);
            EXPECT_EQ(test_driver::item_text(e, idl_row_x), "");
            test_driver::click(graph, plot.left + 10, plot.top + 10);
            test_driver::run_until_idle();
            ASSERT_EQ(p->count(), 1);
            answerer::box(severity_caption(8))
                .text("You must have at least 2 points for a lookup")
                .press(IDOK);
            SendMessage(e, WM_COMMAND, idl_ok, 0);
            EXPECT_TRUE(IsWindow(e));
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();
    EXPECT_EQ(working().x, model.x);
    EXPECT_EQ(working().y, model.y);
    EXPECT_EQ(open_lookup_points(), nullptr);
}

// What the clipboard holds as text (empty when none).
std::string clipboard_text() {
    std::string out;
    if (!OpenClipboard(nullptr)) return out;
    if (auto mem = static_cast<HGLOBAL>(GetClipboardData(CF_TEXT))) {
        if (const auto* b = static_cast<const char*>(GlobalLock(mem))) out = b;
        GlobalUnlock(mem);
    }
    CloseClipboard();
    return out;
}

void put_on_clipboard(UINT format, const void* data, std::size_t size) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    EXPECT_NE(SetClipboardData(format, global_from_bytes(data, size)), nullptr);
    CloseClipboard();
}

// Ctrl and a letter, to the window with the focus (the graph area).
void press_keys(HWND graph, char key) {
    ASSERT_EQ(GetFocus(), graph);
    test_driver::press_key(key, test_driver::ctrl);
    test_driver::run_until_idle();
}

std::string tabbed(const std::vector<float>& values) {
    std::string out;
    for (float v : values) {
        char b[40];
        std::snprintf(b, sizeof b, "%g\t", static_cast<double>(v));
        out += b;
    }
    return out;
}

// Ctrl+C on the graph puts the points as two tab-separated rows and the
// graph as a metafile picture of 8 cm square; Ctrl+V reads one row of y
// values with the first x and the increment asked for, then a spreadsheet's
// table (BIFF only, a heading row and labelled rows); an empty clipboard is
// refused with the paste message, and No to the question changes nothing.
TEST_F(LookupEditor, CopyAndPasteThroughTheClipboard) {
    clip_use_private(true);
    clip_reset();
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            // A click gives the graph the focus (and adds a point there).
            test_driver::click(graph, (plot.px(*p, p->x[3]) + plot.px(*p, p->x[4])) / 2,
                               plot.top + 5);
            test_driver::run_until_idle();
            ASSERT_EQ(p->count(), 6);

            press_keys(graph, 'C');
            EXPECT_EQ(clipboard_text(), tabbed(p->x) + "\r\n" + tabbed(p->y));
            ASSERT_TRUE(OpenClipboard(nullptr));
            auto pict_mem = static_cast<HGLOBAL>(GetClipboardData(CF_METAFILEPICT));
            ASSERT_NE(pict_mem, nullptr);
            const auto* pict = static_cast<const METAFILEPICT*>(GlobalLock(pict_mem));
            ASSERT_NE(pict, nullptr);
            EXPECT_EQ(pict->mm, MM_ANISOTROPIC);
            EXPECT_EQ(pict->xExt, 8000);
            EXPECT_EQ(pict->yExt, 8000);
            // The picture holds the labels: the title and the bounds.
            std::string bits(GetMetaFileBitsEx(pict->hMF, 0, nullptr), '\0');
            ASSERT_GT(bits.size(), 100u);
            GetMetaFileBitsEx(pict->hMF, static_cast<UINT>(bits.size()), bits.data());
            EXPECT_NE(bits.find(std::string("Graph Lookup - ") + lookup_name), std::string::npos);
            GlobalUnlock(pict_mem);
            CloseClipboard();

            // Asked for the size of exports: the size offered and the one
            // answered, in centimetres or inches by the metric option; the
            // clipboard's picture has the answered size (in 0.01 mm).
            const std::uint8_t metric = opts.metric;
            auto copy_at_size = [&](std::uint8_t in_metric, const char* offered_text,
                                    const char* answer, LONG want_x, LONG want_y) {
                graph_export_options().export_size = 1;
                opts.metric = in_metric;
                answerer::dialog(dlg_ask_text)
                    .call([&](HWND q) {
                        char offered[40] = {};
                        GetDlgItemText(q, idc_answer, offered, sizeof offered);
                        EXPECT_STREQ(offered, offered_text);
                    })
                    .set_text(idc_answer, answer)
                    .press(IDOK);
                press_keys(graph, 'C');
                graph_export_options().export_size = 0;
                opts.metric = metric;
                ASSERT_TRUE(OpenClipboard(nullptr));
                HGLOBAL mem = static_cast<HGLOBAL>(GetClipboardData(CF_METAFILEPICT));
                ASSERT_NE(mem, nullptr);
                const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(mem));
                EXPECT_EQ(picture->xExt, want_x);
                EXPECT_EQ(picture->yExt, want_y);
                GlobalUnlock(mem);
                CloseClipboard();
            };
            copy_at_size(1, "8x8", "6x4.5", 6000, 4500);
            // In inches: 3 by 2 inches is 7.62 by 5.08 cm; 8 cm offered.
            copy_at_size(0, "3.149606x3.149606", "3x2", 7620, 5080);

            // One row of y values: first x and increment asked for.
            const char row[] = "4\t2\t7\r\n";
            put_on_clipboard(CF_TEXT, row, sizeof row);
            answerer::box("Question from Kavrel")
                .text("Attempt to read lookup values???")
                .press(IDYES);
            answerer::dialog(dlg_ask_text).set_text(idc_answer, "10").press(IDOK);
            answerer::dialog(dlg_ask_text).set_text(idc_answer, "-5").press(IDOK);
            press_keys(graph, 'V');
            EXPECT_EQ(p->x, (std::vector<float>{0, 5, 10}));
            EXPECT_EQ(p->y, (std::vector<float>{7, 2, 4})); // sorted by x
            EXPECT_EQ(std::strtod(test_driver::item_text(e, idl_row_x).c_str(), nullptr), 0.0);
            EXPECT_EQ(std::strtod(test_driver::item_text(e, idl_row_y + 2).c_str(), nullptr), 4.0);
            EXPECT_EQ(test_driver::item_text(e, idl_row_x + 3), "");

            // A spreadsheet's table: a heading, then labelled x and y rows.
            grid_rows g;
            const float xs[] = {1, 2, 3, 8}, ys[] = {0.5f, 0.25f, 1, 2};
            grid_add_row(g, "Pasted", nullptr, nullptr, nullptr, 0, false, "", 0, 0);
            grid_add_row(g, "x", nullptr, xs, nullptr, 4, false, "", 0, 0);
            grid_add_row(g, "y", nullptr, ys, nullptr, 4, false, "", 0, 0);
            const std::vector<std::uint8_t> biff = grid_export_biff(g);
            ASSERT_FALSE(biff.empty());
            put_on_clipboard(RegisterClipboardFormat("Biff"), biff.data(), biff.size());
            answerer::box("Question from Kavrel").press(IDYES);
            press_keys(graph, 'V');
            EXPECT_EQ(p->x, (std::vector<float>{1, 2, 3, 8}));
            EXPECT_EQ(p->y, (std::vector<float>{0.5f, 0.25f, 1, 2}));
            EXPECT_GE(p->x_max, 8.0f); // the range widened to show them

            // No to the question: nothing changes.
            const char pairs[] = "x y\n1 1\n2 2\n";
            put_on_clipboard(CF_TEXT, pairs, sizeof pairs);
            answerer::box("Question from Kavrel").press(IDNO);
            press_keys(graph, 'V');
            EXPECT_EQ(p->count(), 4);

            // Nothing to read.
            clip_reset();
            answerer::box(severity_caption(8))
                .text("Place x-y or y values in clipboard in tab delimited format")
                .press(IDOK);
            press_keys(graph, 'V');
            EXPECT_EQ(p->count(), 4);
        })
        .press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 1);
    clip_use_private(false);
    EXPECT_EQ(working().x, (std::vector<float>{1, 2, 3, 8}));
}

// Typed fields take only a whole number: "12abc" in a row's x is refused and
// the row shows its point again; a y typed in a row without a point asks
// for its x first; the y-min field sets the low end only; a Shift-drag
// right to left zooms to the same range as left to right.
TEST_F(LookupEditor, TypedFieldsAndABackwardZoom) {
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            const lookup_points model = *p;
            ASSERT_LT(model.count(), lookup_rows);
            type_into(e, idl_row_x, "12abc", idl_new_x);
            EXPECT_EQ(p->x, model.x);
            char shown[40];
            std::snprintf(shown, sizeof shown, "%.4g", static_cast<double>(model.x[0]));
            EXPECT_EQ(test_driver::item_text(e, idl_row_x), shown);

            answerer::box(severity_caption(8)).text("Enter x value first").press(IDOK);
            type_into(e, idl_row_y + model.count(), "3", idl_new_x);
            EXPECT_EQ(p->count(), model.count());
            EXPECT_EQ(answerer::pending(), 0u) << joined_failures();

            const float y_max = p->y_max;
            const float low = p->y_min - 1;
            char typed[40];
            std::snprintf(typed, sizeof typed, "%g", static_cast<double>(low));
            HWND combo = GetDlgItem(e, idl_y_min);
            SetWindowText(combo, typed);
            SendMessage(e, WM_COMMAND, MAKEWPARAM(idl_y_min, CBN_EDITCHANGE),
                        reinterpret_cast<LPARAM>(combo));
            EXPECT_EQ(p->y_min, low);
            EXPECT_EQ(p->y_max, y_max);

            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            const int from = plot.left + plot.width / 2, to = plot.left + plot.width / 4;
            const float lo = plot.vx(*p, to), hi = plot.vx(*p, from);
            test_driver::drag(graph, {from, plot.top + 10}, {to, plot.top + 20}, 4,
                              test_driver::Button::left, test_driver::shift);
            test_driver::run_until_idle();
            EXPECT_FLOAT_EQ(p->x_min, lo);
            EXPECT_FLOAT_EQ(p->x_max, hi);
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// A row of y values pasted asks for the first x (0 offered) and the
// increment (1 offered); an increment that is no number is refused by name
// and the points stay.
TEST_F(LookupEditor, APastedRowAsksForItsXsAndRefusesABadIncrement) {
    clip_use_private(true);
    clip_reset();
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            const lookup_points model = *p;
            HWND graph = GetDlgItem(e, idl_graph);
            SetFocus(graph);
            test_driver::run_until_idle();
            const char row[] = "4\t2\t7\r\n";
            put_on_clipboard(CF_TEXT, row, sizeof row);
            auto offered = [](const char* want) {
                return [want](HWND q) {
                    char text[40] = {};
                    GetDlgItemText(q, idc_answer, text, sizeof text);
                    EXPECT_STREQ(text, want);
                };
            };
            answerer::box("Question from Kavrel").press(IDYES);
            answerer::dialog(dlg_ask_text).call(offered("0")).press(IDOK);
            answerer::dialog(dlg_ask_text)
                .call(offered("1"))
                .set_text(idc_answer, "3x")
                .press(IDOK);
            answerer::box(severity_caption(8)).text("Bad number 3x").press(IDOK);
            press_keys(graph, 'V');
            EXPECT_EQ(p->x, model.x);
            EXPECT_EQ(p->y, model.y);
            // Both offered values taken: x from 0 by 1.
            put_on_clipboard(CF_TEXT, row, sizeof row);
            answerer::box("Question from Kavrel").press(IDYES);
            answerer::dialog(dlg_ask_text).press(IDOK);
            answerer::dialog(dlg_ask_text).press(IDOK);
            press_keys(graph, 'V');
            EXPECT_EQ(p->x, (std::vector<float>{0, 1, 2}));
            EXPECT_EQ(p->y, (std::vector<float>{4, 2, 7}));
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    clip_use_private(false);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// On screen the y numbers climb from the low end at the bottom: on 0 to
// 1000 the top number (the widest) reaches further left than the bottom
// one (the narrowest), both right-aligned at the plot's left.
TEST_F(LookupEditor, TheYNumbersClimbFromTheLowEndAtTheBottom) {
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            for (const auto& [id, text] :
                 {std::pair{idl_y_max, "1000"}, std::pair{idl_y_min, "0"}}) {
                HWND combo = GetDlgItem(e, id);
                SetWindowText(combo, text);
                SendMessage(e, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                            reinterpret_cast<LPARAM>(combo));
            }
            ASSERT_EQ(p->y_min, 0);
            ASSERT_EQ(p->y_max, 1000);
            HWND graph = GetDlgItem(e, idl_graph);
            InvalidateRect(graph, nullptr, TRUE);
            test_driver::run_until_idle();
            const QImage img = test_driver::image(graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            // The leftmost ink left of the plot in the rows just above a y.
            auto leftmost = [&](int y) {
                int left = plot.left;
                for (int row = std::max(y - 4, 0); row < y; ++row)
                    for (int x = 0; x < plot.left - 6; ++x)
                        if (qGray(img.pixel(x, row)) < 128) left = std::min(left, x);
                return left;
            };
            const int top = leftmost(plot.top + 2), bottom = leftmost(plot.top + plot.height);
            EXPECT_LT(top, plot.left - 6);
            EXPECT_LT(top, bottom);
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// Printed, the y bounds stand left of the plot: the high one at its top,
// the low one at its bottom.
TEST_F(LookupEditor, PrintedYBoundsStandHighAboveLow) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    const std::string pdf = testing::TempDir() + "kavrel_lookup_bounds.pdf";
    std::filesystem::remove(pdf);
    printer.output_file = pdf;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            for (const auto& [id, text] :
                 {std::pair{idl_y_max, "777"}, std::pair{idl_y_min, "-333"}}) {
                HWND combo = GetDlgItem(e, id);
                SetWindowText(combo, text);
                SendMessage(e, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                            reinterpret_cast<LPARAM>(combo));
            }
            SendMessage(e, WM_COMMAND, idl_print, 0);
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    opts = saved;
    printer = print_state{};
    print_use_system_printers(true);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string boxes = command_output("pdftotext -bbox '" + pdf + "' - 2>/dev/null");
    auto top_of = [&](const std::string& word) {
        const std::string tail = "\">" + word + "</word>";
        const std::size_t end = boxes.find(tail);
        if (end == std::string::npos) return -1.0;
        const std::size_t at = boxes.rfind("<word ", end);
        double x0 = 0, y0 = 0;
        if (at == std::string::npos ||
            std::sscanf(boxes.c_str() + at, "<word xMin=\"%lf\" yMin=\"%lf\"", &x0, &y0) != 2)
            return -1.0;
        return y0;
    };
    const double high = top_of("777"), low = top_of("-333");
    ASSERT_GE(high, 0) << boxes;
    ASSERT_GE(low, 0) << boxes;
    EXPECT_LT(high, low);
}

// Print puts the graph with its title and bounds on one page of the PDF printer.
TEST_F(LookupEditor, PrintPutsTheTitleAndTheBoundsOnOnePage) {
    ASSERT_EQ(packages_missing({"poppler-utils"}), "");
    print_use_system_printers(false);
    const opt_block saved = opts;
    opts.printer_name.clear();
    const std::string pdf = testing::TempDir() + "kavrel_lookup_print.pdf";
    std::filesystem::remove(pdf);
    printer.output_file = pdf;
    lookup_points shown;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            shown = *open_lookup_points();
            SendMessage(e, WM_COMMAND, idl_print, 0);
            EXPECT_TRUE(IsWindow(e));
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    opts = saved;
    printer = print_state{};
    print_use_system_printers(true);
    EXPECT_EQ(drawing.printing, 0);
    EXPECT_EQ(drawing.printer_dc, nullptr);
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const std::string text = pdf_text(pdf);
    char bound[40];
    std::snprintf(bound, sizeof bound, "%g", static_cast<double>(shown.x_max));
    const std::string title = std::string("Graph Lookup - ") + lookup_name;
    for (const std::string& want : {title, std::string(bound)})
        EXPECT_NE(text.find(want), std::string::npos) << want << " in\n" << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1);
}

// Called straight, as the sketch calls it on a lookup variable, with no
// hooks installed and no graph window: the graph area draws the points.
TEST_F(LookupEditor, ItOpensFromAPlainCallWithoutAnyGraphSetUp) {
    lookup_editor_hooks = {};
    // Four x divisions: numbers far enough apart that none is left out.
    const scaling_options kept_scaling = scaling_opts;
    scaling_opts.h_divisions = 4;
    int blue = 0, left_text = 0, below_text = 0, right_end_text = 0;
    std::string rows[3];
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            HWND graph = GetDlgItem(e, idl_graph);
            InvalidateRect(graph, nullptr, TRUE);
            test_driver::run_until_idle();
            const QImage img = test_driver::image(graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const QRgb c = img.pixel(x, y) & 0xFFFFFF;
                    blue += c == 0x0000FF;
                    // The axis numbers: dark text left of and below the plot.
                    if (qGray(c) < 100 && x < plot.left - 1) ++left_text;
                    if (qGray(c) < 100 && y > plot.top + plot.height + 1) ++below_text;
                }
            for (int r = 0; r < 3; ++r) rows[r] = test_driver::item_text(e, idl_row_y + r);
            // The last x number reads the range's end, under the plot's right
            // end: the number as the axes write it, drawn alone in the
            // dialog's font, is found there pixel for pixel.
            const lookup_points* p = open_lookup_points();
            const int across = std::clamp(graph_defaults().x_divisions, 1, 100);
            const std::string last =
                format_to_step(p->x_max, (static_cast<double>(p->x_max) - p->x_min) / across);
            QImage alone(120, 40, QImage::Format_RGB32);
            alone.fill(Qt::white);
            HDC t = gdi_create_image_dc(&alone, nullptr, QRegion());
            SelectObject(t, reinterpret_cast<HFONT>(SendMessage(e, WM_GETFONT, 0, 0)));
            SetBkMode(t, TRANSPARENT);
            SetTextColor(t, 0);
            TextOut(t, 0, 0, last.c_str(), static_cast<int>(last.size()));
            gdi_delete_image_dc(t);
            QRect ink_box;
            for (int y = 0; y < alone.height(); ++y)
                for (int x = 0; x < alone.width(); ++x)
                    if (qGray(alone.pixel(x, y)) < 128) ink_box |= QRect(x, y, 1, 1);
            ASSERT_FALSE(ink_box.isEmpty());
            const int right = plot.left + plot.width;
            for (int oy = plot.top + plot.height - 4; oy < img.height() - ink_box.height(); ++oy)
                for (int ox = right - 3 * ink_box.width(); ox < img.width() - ink_box.width();
                     ++ox) {
                    bool same = true;
                    for (int y = 0; y < ink_box.height() && same; ++y)
                        for (int x = 0; x < ink_box.width() && same; ++x)
                            same = (qGray(alone.pixel(ink_box.left() + x, ink_box.top() + y)) <
                                    128) == (qGray(img.pixel(ox + x, oy + y)) < 128);
                    right_end_text += same;
                }
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    scaling_opts = kept_scaling;
    EXPECT_GT(blue, 20) << "the points and their lines";
    EXPECT_GT(left_text, 30) << "the y numbers";
    EXPECT_GT(below_text, 30) << "the x numbers";
    EXPECT_GE(right_end_text, 1) << "the last x number";
    // The Output column's numbers start at the left, as the Input's do.
    for (const std::string& r : rows) EXPECT_NE(r.front(), ' ') << "[" << r << "]";
    answerer::box(severity_caption(8)).text("Lost Lookup Population").press(IDOK);
    EXPECT_EQ(edit_lookup("Population"), 0);
}

// OK on points left as they were takes nothing, so leaving set-up has no
// change to ask about; a point added and OK is a change the next run uses.
TEST_F(LookupEditor, OkOnUntouchedPointsIsNoChange) {
    const lookup_points model = working();
    ASSERT_FALSE(setup_has_changes());
    answerer::dialog(dlg_lookup_editor).press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_FALSE(setup_has_changes());

    // A Shift-drag zoom moves only the shown range: still no change.
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            test_driver::drag(graph, {plot.left + plot.width / 4, plot.top + 10},
                              {plot.left + plot.width / 2, plot.top + 20}, 4,
                              test_driver::Button::left, test_driver::shift);
            test_driver::run_until_idle();
        })
        .press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_FALSE(setup_has_changes());

    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            const lookup_plot plot = lookup_graph_plot(graph);
            const int gap_x = (plot.px(*p, p->x[3]) + plot.px(*p, p->x[4])) / 2;
            test_driver::click(graph, gap_x, plot.top + plot.height / 2);
            test_driver::run_until_idle();
        })
        .press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 1);
    EXPECT_TRUE(setup_has_changes());
    EXPECT_EQ(working().count(), model.count() + 1);
    EXPECT_EQ(answerer::pending(), 0u) << joined_failures();
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// Enter walks the table as typing it goes: from an x to its y, from a y to
// the next row's x, from the last row's y to the new point's x and between
// the new point's two fields.
TEST_F(LookupEditor, EnterStepsThroughTheTableFields) {
    std::vector<std::pair<int, int>> steps;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            for (int from : {int{idl_row_x}, idl_row_x + 2, int{idl_row_y}, idl_row_y + 1,
                             idl_row_y + lookup_rows - 1, int{idl_new_x}, int{idl_new_y}}) {
                SetFocus(GetDlgItem(e, from));
                SendMessage(e, WM_COMMAND, IDOK, 0);
                test_driver::run_until_idle();
                steps.emplace_back(from, GetDlgCtrlID(GetFocus()));
            }
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_TRUE(failures.empty()) << joined_failures();
    const std::vector<std::pair<int, int>> want{{idl_row_x, idl_row_y},
                                                {idl_row_x + 2, idl_row_y + 2},
                                                {idl_row_y, idl_row_x + 1},
                                                {idl_row_y + 1, idl_row_x + 2},
                                                {idl_row_y + lookup_rows - 1, idl_new_x},
                                                {idl_new_x, idl_new_y},
                                                {idl_new_y, idl_new_x}};
    EXPECT_EQ(steps, want);
}

// A bound typed equal to the other end of its range would leave the range
// empty: it is refused like one past it, for either end and either axis.
TEST_F(LookupEditor, ABoundEqualToTheOtherEndIsRefused) {
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            const lookup_points kept = *p;
            auto type_bound = [&](int id, float v) {
                char text[40];
                std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
                HWND combo = GetDlgItem(e, id);
                SetWindowText(combo, text);
                SendMessage(e, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                            reinterpret_cast<LPARAM>(combo));
                SendMessage(e, WM_COMMAND, MAKEWPARAM(id, CBN_KILLFOCUS),
                            reinterpret_cast<LPARAM>(combo));
                return std::string(text);
            };
            const std::string x = type_bound(idl_x_min, kept.x_max);
            EXPECT_EQ(p->x_min, kept.x_min);
            EXPECT_EQ(test_driver::item_text(e, idl_x_min).substr(0, x.size() + 2), "?" + x + "|");
            const std::string y = type_bound(idl_y_max, kept.y_min);
            EXPECT_EQ(p->y_max, kept.y_max);
            EXPECT_EQ(test_driver::item_text(e, idl_y_max).substr(0, y.size() + 2), "?" + y + "|");
            // Just inside the other end is taken.
            const float inside = kept.x_max - (kept.x_max - kept.x_min) / 4;
            type_bound(idl_x_min, inside);
            EXPECT_EQ(p->x_min, inside);
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// A press within three pixels of a point takes that point (a drag moves
// it); four pixels off it is empty space, where a click adds a point. The
// cursor's values are shown under their own names as the mouse moves.
TEST_F(LookupEditor, APressWithinThreePixelsTakesThePoint) {
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            const lookup_points* p = open_lookup_points();
            ASSERT_NE(p, nullptr);
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            const int n = p->count();
            const float x2 = p->x[2], y2 = p->y[2];
            const POINT at{plot.px(*p, x2), plot.py(*p, y2)};
            // Three pixels right and above: the drag moves the point by 20
            // pixels down, no point is added.
            test_driver::drag(graph, {at.x + 3, at.y - 3}, {at.x + 3, at.y + 17});
            test_driver::run_until_idle();
            ASSERT_EQ(p->count(), n);
            EXPECT_EQ(p->x[2], x2);
            EXPECT_NEAR(p->y[2], plot.vy(*p, at.y + 20), 1e-4);
            // The cursor's place: x under x, y under y.
            test_driver::mouse_move(graph, at.x, plot.top + plot.height / 2);
            test_driver::run_until_idle();
            char shown[40];
            std::snprintf(shown, sizeof shown, "x=%.4g", static_cast<double>(plot.vx(*p, at.x)));
            EXPECT_EQ(test_driver::item_text(e, idl_cursor_x), shown);
            std::snprintf(shown, sizeof shown, "y=%.4g",
                          static_cast<double>(plot.vy(*p, plot.top + plot.height / 2)));
            EXPECT_EQ(test_driver::item_text(e, idl_cursor_y), shown);
            // A click four pixels right of the point, in empty space, adds one.
            const POINT moved{plot.px(*p, p->x[2]), plot.py(*p, p->y[2])};
            test_driver::click(graph, moved.x + 4, moved.y);
            test_driver::run_until_idle();
            EXPECT_EQ(p->count(), n + 1);
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    EXPECT_TRUE(failures.empty()) << joined_failures();
}

// With more points than rows the table scrolls: a line at a time, ten rows
// a page, never past either end.
TEST_F(LookupEditor, TheTableScrollsByLinesAndPagesOfTenRows) {
    lookup_points many = working();
    many.x.clear();
    many.y.clear();
    for (int i = 0; i < 30; ++i) {
        many.x.push_back(static_cast<float>(i));
        many.y.push_back(static_cast<float>(i % 7) / 7);
    }
    ASSERT_EQ(commit_lookup_points(lookup_slot_of(lookup_name), many), 1);
    std::vector<std::string> tops;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(e, idl_scroll)));
            for (int code : {SB_PAGEDOWN, SB_PAGEDOWN, SB_LINEUP, SB_PAGEUP, SB_PAGEUP, SB_LINEDOWN,
                             SB_PAGEDOWN, SB_PAGEDOWN, SB_LINEDOWN}) {
                SendMessage(e, WM_VSCROLL, static_cast<WPARAM>(code), 0);
                tops.push_back(test_driver::item_text(e, idl_row_x));
            }
        })
        .press(idl_cancel);
    EXPECT_EQ(edit_lookup(lookup_name), 0);
    // 30 points in 11 rows: the last page starts at point 19.
    EXPECT_EQ(tops, (std::vector<std::string>{"10", "19", "18", "8", "0", "1", "11", "19", "19"}));
}

int reruns = 0;
void count_reruns(int phase) {
    if (phase == 1) ++reruns;
}

// In Livesweep every change of a point writes the working copy and re-runs;
// the buttons read Close and Reset, and Reset goes back to the model's points.
TEST_F(LookupEditor, LivesweepRerunsAsPointsChangeAndResetRestoresTheModel) {
    const lookup_points model = working();
    run_command(rc_livesweep, 0, 0, nullptr);
    ASSERT_EQ(livesweep_state, ls_on);
    reruns = 0;
    set_livesweep_refresh_hook(count_reruns);
    lookup_points closed;
    answerer::dialog(dlg_lookup_editor)
        .call([&](HWND e) {
            EXPECT_EQ(test_driver::item_text(e, idl_ok), "Close");
            EXPECT_EQ(test_driver::item_text(e, idl_cancel), "Reset");
            EXPECT_EQ(reruns, 0); // opening changes nothing
            const lookup_points* p = open_lookup_points();
            HWND graph = GetDlgItem(e, idl_graph);
            const lookup_plot plot = lookup_graph_plot(graph);
            const POINT at{plot.px(*p, p->x[2]), plot.py(*p, p->y[2])};
            test_driver::drag(graph, at, {at.x, at.y - 40});
            test_driver::run_until_idle();
            EXPECT_GT(reruns, 0);
            EXPECT_GT(p->y[2], model.y[2]);
            EXPECT_EQ(working().y, p->y); // the run shown uses them already

            const int before = reruns;
            SendMessage(e, WM_COMMAND, idl_cancel, 0); // Reset
            EXPECT_TRUE(IsWindow(e));
            EXPECT_EQ(p->y, model.y);
            EXPECT_EQ(working().y, model.y);
            EXPECT_GT(reruns, before);

            type_into(e, idl_row_y + 1, "0.5", idl_new_x);
            EXPECT_FLOAT_EQ(p->y[1], 0.5f);
            EXPECT_FLOAT_EQ(working().y[1], 0.5f);
            closed = *p;
        })
        .press(idl_ok);
    EXPECT_EQ(edit_lookup(lookup_name), 1);
    set_livesweep_refresh_hook(nullptr);
    EXPECT_EQ(working().y, closed.y);
    leave_livesweep();
}

} // namespace
