// The diagram in the simulation modes: closing it leaves the mode first (or
// not at all), Close goes to the window in front, a slider on the view
// follows Setup and Livesweep.
#include <gtest/gtest.h>

#include "graphs/graphtool.h"
#include "resources/dialogs.h"
#include "runs/runfile.h"
#include "shell/controls/slider.h"
#include "shell/questions.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "sketch/geometry.h"
#include "sketch/inplace.h"
#include "sketch/ioobjects.h"
#include "sketch/keys.h"
#include "tests/driver/answerer.h"
#include "tests/sketch/live_fixture.h"

namespace {

namespace td = test_driver;

class LiveModes : public LiveSketch {};

TEST_F(LiveModes, ClosingTheDiagramInLivesweepLeavesTheModeFirstOrNotAtAll) {
    menu_command(cmd_livesweep);
    td::run_until_idle();
    ASSERT_EQ(livesweep_state, ls_on);
    HWND frame = GetParent(view_);
    ASSERT_TRUE(IsWindow(frame));
    // No: the diagram and the mode stay.
    answerer::box("Question from Kavrel").press(IDNO);
    SendMessage(frame, WM_COMMAND, sketch_cmd_close, 0);
    td::run_until_idle();
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_EQ(livesweep_state, ls_on);
    ASSERT_FALSE(answerer::seen().empty());
    EXPECT_NE(answerer::seen().back().text.find("Do you want to leave Livesweep mode?"),
              std::string::npos);
    // Yes: the mode ends (its last run written over the base run), then the
    // diagram goes.
    answerer::box("Question from Kavrel").press(IDYES);
    answerer::box("Question from Kavrel").press(IDYES);
    SendMessage(frame, WM_COMMAND, sketch_cmd_close, 0);
    td::run_until_idle();
    EXPECT_NE(livesweep_state, ls_on);
    EXPECT_FALSE(IsWindow(frame));
}

// Ctrl+W reaching the diagram while another window of the workbench is in
// front closes that window.
int closes_asked = 0;
LRESULT front_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND && LOWORD(wp) == sketch_cmd_close) ++closes_asked;
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(LiveModes, CtrlWClosesTheWindowInFrontNotTheDiagram) {
    WNDCLASS wc{};
    wc.lpfnWndProc = front_proc;
    wc.lpszClassName = "Test_front_output";
    RegisterClass(&wc);
    HWND front = CreateWindow("Test_front_output", "graph", WS_CHILD | WS_VISIBLE, 10, 10, 100, 80,
                              container_wnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(front);
    HWND frame = GetParent(view_);
    const HWND was = active_child;
    active_child = front;
    closes_asked = 0;
    SetFocus(view_);
    td::press_key('W', td::ctrl);
    td::run_until_idle();
    EXPECT_EQ(closes_asked, 1);
    EXPECT_TRUE(IsWindow(frame));
    active_child = was;
    DestroyWindow(front);
}

// The view's input slider: read-only outside the modes, bound to its
// constant in Setup, and a drag in Livesweep writes the constant.
TEST_F(LiveModes, TheViewsSliderIsBoundToItsConstantInSetupAndLivesweep) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object)) n = i;
    }
    ASSERT_GT(n, 0);
    HWND slider = io_object_window(view_, n);
    ASSERT_NE(slider, nullptr);
    const std::int32_t slot = slot_of("birth rate");
    EXPECT_EQ(slider_slot(slider), 0);
    float v = -1;
    SendMessage(slider, vs_get_value, 0, reinterpret_cast<LPARAM>(&v));
    EXPECT_FLOAT_EQ(v, 0.04f); // the run's value, shown read-only
    // Prints and copies draw the same value.
    float drawn = -1;
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n)], &drawn));
    EXPECT_FLOAT_EQ(drawn, 0.04f);
    menu_command(cmd_setup);
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    slider = io_object_window(view_, n);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider_slot(slider), slot);
    ASSERT_EQ(set_setup_value(slot, 0.07f), 1);
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n)], &drawn));
    EXPECT_FLOAT_EQ(drawn, 0.07f);
    leave_sim_mode(0);
    show_mode();
    td::run_until_idle();
    EXPECT_EQ(slider_slot(io_object_window(view_, n)), 0);
    menu_command(cmd_livesweep);
    td::run_until_idle();
    ASSERT_EQ(livesweep_state, ls_on);
    slider = io_object_window(view_, n);
    ASSERT_EQ(slider_slot(slider), slot);
    // A drag of the thumb to the right end sets the constant to the maximum.
    slider_geometry g;
    RECT rc{};
    GetClientRect(slider, &rc);
    ASSERT_TRUE(slider_layout(slider, SIZE{rc.right, rc.bottom}, &g));
    const POINT from{(g.thumb.left + g.thumb.right) / 2, (g.thumb.top + g.thumb.bottom) / 2};
    td::drag(slider, from, POINT{rc.right + 50, from.y}, 5);
    td::advance(livesweep_timer_ms + 1);
    td::run_until_idle();
    auto* values = static_cast<float*>(lock_handle(setup_copy));
    ASSERT_NE(values, nullptr);
    const float now = values[slot];
    unlock_handle(setup_copy);
    EXPECT_FLOAT_EQ(now, 0.1f);
    // The quick slider under the constant shows the dragged value too.
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    const qslider_rec* quick =
        quick_slider(element_slider(view_, static_cast<int>(rate - s_->view.elems.data())));
    ASSERT_NE(quick, nullptr);
    EXPECT_FLOAT_EQ(quick->value, 0.1f);
}

} // namespace

namespace {

// The diagram's dialogs open centred on the workbench, as the others do:
// Find (F5) and the list the Output Window List shows.
TEST_F(LiveModes, FindAndTheWindowListOpenCentredOnTheWorkbench) {
    RECT main{};
    GetWindowRect(main_wnd, &main);
    const POINT centre{(main.left + main.right) / 2, (main.top + main.bottom) / 2};
    auto centred = [&](HWND d) {
        RECT r{};
        GetWindowRect(d, &r);
        EXPECT_NEAR((r.left + r.right) / 2, centre.x, 3);
        EXPECT_NEAR((r.top + r.bottom) / 2, centre.y, 3);
    };
    int shown = 0;
    answerer::dialog(dlg_ask_text)
        .call([&](HWND d) {
            centred(d);
            ++shown;
        })
        .press(IDCANCEL);
    SetFocus(view_);
    td::press_key(VK_F5);
    td::run_until_idle();
    answerer::dialog(dlg_ask_list)
        .call([&](HWND d) {
            centred(d);
            ++shown;
        })
        .press(IDCANCEL);
    ask_list("Select Output Window", std::vector<const char*>{"one", "two"}.data(), 2, 0);
    EXPECT_EQ(shown, 2);
}

} // namespace

namespace {

// Copy takes the selection; with nothing selected it says so and copies
// nothing.
TEST_F(LiveModes, CopyWithNothingSelectedSaysSo) {
    HWND frame = GetParent(view_);
    answerer::box("Stop from Kavrel").press(IDOK);
    SendMessage(frame, WM_COMMAND, skc_copy, 0);
    td::run_until_idle();
    ASSERT_FALSE(answerer::seen().empty());
    EXPECT_NE(answerer::seen().back().text.find("Nothing selected"), std::string::npos);
}

} // namespace

namespace {

// An output tool placed on the view opens inside the diagram over its box
// and is made again when the runs change; Livesweep re-runs tell it.
TEST_F(LiveModes, AnOutputToolOnTheViewOpensInsideTheDiagramAtItsBox) {
    install_graph_hooks();
    free_toolset(0);
    ASSERT_GT(read_toolset(nullptr, 0), 0); // the built-in set, with its Graph tool
    lock_model(0);
    const symbol_id pop = find_symbol("Population");
    unlock_model(0);
    ASSERT_NE(pop, 0u);
    const int n =
        add_sketch_element(s_->view, ek_text, 600, 400, 0, 3, ef_primary | ef_io_object, 0);
    ASSERT_GT(n, 0);
    sketch_elem& e = s_->view.elems[static_cast<std::size_t>(n)];
    e.text = std::to_string(pop) + ",|Graph";
    e.label = io_output_tool;
    e.w = 150, e.h = 100;
    s_->io_state = 1;
    make_io_objects(view_, *s_, 0);
    td::run_until_idle();
    HWND w = io_object_window(view_, n);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), view_);
    const RECT box = io_object_rect(*s_, e);
    // Centred on the element's point, twice its half-sizes across.
    EXPECT_EQ(box.left, 450 - s_->scroll_x);
    EXPECT_EQ(box.top, 300 - s_->scroll_y);
    EXPECT_EQ(box.right - box.left, 300);
    EXPECT_EQ(box.bottom - box.top, 200);
    {
        // At 150 % and scrolled, the box is zoomed first and then shifted.
        sketch_state zoomed;
        zoomed.zoom = 150;
        zoomed.scroll_x = 10;
        zoomed.scroll_y = 40;
        const RECT z = io_object_rect(zoomed, e);
        EXPECT_EQ(z.left, 665);
        EXPECT_EQ(z.top, 410);
        EXPECT_EQ(z.right, 665 + 450);
        EXPECT_EQ(z.bottom, 410 + 300);
    }
    RECT wr{};
    GetWindowRect(w, &wr);
    POINT tl{wr.left, wr.top};
    ScreenToClient(view_, &tl);
    EXPECT_EQ(tl.x, box.left);
    EXPECT_EQ(tl.y, box.top) << tl.x << "," << tl.y << " box " << box.left << "," << box.top << " "
                             << wr.right - wr.left << "x" << wr.bottom - wr.top;
    // A new run makes it again; leaving the view closes it.
    answerer::box("Question from Kavrel").press(IDYES); // the run over the base run
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    td::run_until_idle();
    HWND again = io_object_window(view_, n);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(IsWindow(w) && w != again);
    destroy_io_objects(view_, *s_);
    EXPECT_FALSE(IsWindow(again));
    EXPECT_EQ(s_->io_state, 1);
    free_toolset(0);
    set_tool_setup(find_tool_row("Graph"), nullptr);
}

} // namespace

namespace {

// Before any run holds it, a view's slider shows the model's own value of its
// constant, not 0.
TEST_F(LiveModes, WithNoRunTheViewsSliderShowsTheModelsValue) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object)) n = i;
    }
    ASSERT_GT(n, 0);
    unload_runs(1);
    float drawn = -1;
    ASSERT_TRUE(io_slider_value(s_->view.elems[static_cast<std::size_t>(n)], &drawn));
    EXPECT_FLOAT_EQ(drawn, 0.04f);
}

// In Setup the value typed into the diagram's entry and the view's slider on
// the same constant are one value: each shows what the other set, and the
// entry's Enter after a drag keeps the dragged value.
TEST_F(LiveModes, InSetupTheEntryAndTheSliderShowEachOthersValue) {
    int n = 0;
    for (int i = 1; i < s_->view.count(); ++i) {
        const sketch_elem& e = s_->view.elems[static_cast<std::size_t>(i)];
        if (e.kind == ek_text && (e.flags & ef_io_object)) n = i;
    }
    ASSERT_GT(n, 0);
    const std::int32_t slot = slot_of("birth rate");
    menu_command(cmd_setup);
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    HWND slider = io_object_window(view_, n);
    ASSERT_EQ(slider_slot(slider), slot);
    auto shown = [&] {
        float v = -1;
        SendMessage(slider, vs_get_value, 0, reinterpret_cast<LPARAM>(&v));
        return v;
    };
    auto box_text = [](HWND w) {
        char text[64] = {};
        GetWindowText(w, text, sizeof text);
        return std::string(text);
    };
    auto knob = [&] {
        slider_geometry g;
        RECT rc{};
        GetClientRect(slider, &rc);
        EXPECT_TRUE(slider_layout(slider, SIZE{rc.right, rc.bottom}, &g));
        return POINT{(g.thumb.left + g.thumb.right) / 2, (g.thumb.top + g.thumb.bottom) / 2};
    };
    ASSERT_FLOAT_EQ(shown(), 0.04f);
    const POINT knob_before = knob();

    // 0.07 typed into the entry below the constant: the slider's number and
    // knob follow at once.
    const sketch_elem* rate = variable("birth rate");
    ASSERT_NE(rate, nullptr);
    const POINT at{unit_to_pixel(rate->x, s_->zoom, s_->scroll_x),
                   unit_to_pixel(rate->y, s_->zoom, s_->scroll_y)};
    td::click(view_, at.x, at.y);
    td::run_until_idle();
    ASSERT_TRUE(inplace_edit_open(view_));
    HWND entry = inplace_edit_window(view_);
    EXPECT_EQ(box_text(entry), "0.04");
    SetWindowText(entry, "0.07");
    td::press_key(VK_RETURN);
    td::run_until_idle();
    ASSERT_FALSE(inplace_edit_open(view_));
    EXPECT_FLOAT_EQ(shown(), 0.07f);
    EXPECT_EQ(box_text(slider), "0.07");
    const POINT knob_after = knob();
    EXPECT_GT(knob_after.x, knob_before.x);
    // 0.07 on the 0 .. 0.1 scale: between its middle and its right end.
    RECT rc{};
    GetClientRect(slider, &rc);
    EXPECT_GT(knob_after.x, rc.right / 2);

    // The entry open again, the slider dragged to its end: the entry shows
    // the dragged value, and Enter keeps it rather than putting 0.07 back.
    td::click(view_, at.x, at.y);
    td::run_until_idle();
    ASSERT_TRUE(inplace_edit_open(view_));
    EXPECT_EQ(box_text(entry), "0.07");
    td::drag(slider, knob_after, POINT{rc.right + 50, knob_after.y}, 5);
    td::run_until_idle();
    EXPECT_FLOAT_EQ(shown(), 0.1f);
    ASSERT_TRUE(inplace_edit_open(view_));
    EXPECT_EQ(box_text(entry), "0.1");
    SetFocus(entry);
    td::press_key(VK_RETURN);
    td::run_until_idle();
    EXPECT_FALSE(inplace_edit_open(view_));
    {
        handle_lock<float> values(setup_copy);
        ASSERT_TRUE(values);
        EXPECT_FLOAT_EQ(values.get()[slot], 0.1f);
    }
    EXPECT_FLOAT_EQ(shown(), 0.1f);
    leave_sim_mode(0);
    td::run_until_idle();
}

} // namespace
