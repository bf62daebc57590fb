// The Control Panel: its tabs and keep-on-top ordering, the Time Axis page's
// scaler and edit boxes, the Scaling page's options, saved positions, and
// pictures of the built pages.
#include "controlpanel_fixture.h"

#include "model/context.h"
#include "platform/controls.h"
#include "resources/panel.h"
#include "resources/varselect.h"
#include "runs/runfile.h"
#include "shell/controlpanel.h"
#include "shell/controls/scaler.h"
#include "shell/floats.h"
#include "shell/mainloop.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/upcalls.h"
#include "shell/wiring.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <QImage>
#include <QWidget>
#include <cmath>

#include <set>

namespace td = test_driver;

namespace {

// A window's picture with its children (the platform's own controls are
// drawn by the toolkit, not into the window's backing image).
QImage picture(HWND w) {
    QWidget* widget = win_widget(w);
    return widget ? widget->grab().toImage() : QImage();
}

class ControlPanel : public ControlPanelTest {};

TEST_F(ControlPanel, TabsMakeOnePageAtATimeAndTheTabIsRemembered) {
    HWND page = open_on(tab_variable);
    ASSERT_NE(control_wnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(control_wnd));
    EXPECT_EQ(float_window(fw_control), control_wnd);
    HWND tabs = GetDlgItem(control_wnd, idc_tabs);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(SendMessage(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
    char name[32] = {};
    TCITEM item{};
    item.mask = TCIF_TEXT;
    item.pszText = name;
    item.cchTextMax = sizeof name;
    SendMessage(tabs, TCM_GETITEM, 2, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(name, "Scaling");
    EXPECT_NE(GetDlgItem(page, idv_list), nullptr); // the Variable page

    // Choosing a tab through the tab control replaces the page.
    SendMessage(tabs, TCM_SETCURSEL, tab_time_axis, 0);
    NMHDR nm{tabs, idc_tabs, TCN_SELCHANGE};
    SendMessage(control_wnd, WM_NOTIFY, idc_tabs, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(control_tab, tab_time_axis);
    HWND time = control_page;
    EXPECT_FALSE(IsWindow(page));
    ASSERT_NE(GetDlgItem(time, idt_scaler), nullptr);
    // The same tab again keeps the page; an index out of range does nothing.
    SendMessage(control_wnd, WM_NOTIFY, idc_tabs, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(control_page, time);
    select_tab(control_wnd, 7, true);
    EXPECT_EQ(control_page, time);
    // The page fills the tab control's display area, inside the panel.
    RECT pr{}, tr{};
    GetWindowRect(time, &pr);
    GetWindowRect(tabs, &tr);
    EXPECT_GE(pr.left, tr.left);
    EXPECT_LE(pr.bottom, tr.bottom);

    // Close hides; the tab survives destroying and opening again.
    td::click(GetDlgItem(control_wnd, idc_close), 3, 3);
    td::run_until_idle();
    EXPECT_FALSE(IsWindowVisible(control_wnd));
    control_panel(-1, -1, -1, -1, -1);
    EXPECT_EQ(control_wnd, nullptr);
    EXPECT_EQ(float_window(fw_control), nullptr);
    control_panel(1, -1, -1, -1, -1);
    ASSERT_NE(control_wnd, nullptr);
    EXPECT_EQ(control_tab, tab_time_axis);
    EXPECT_EQ(SendMessage(GetDlgItem(control_wnd, idc_tabs), TCM_GETCURSEL, 0, 0), tab_time_axis);
}

TEST_F(ControlPanel, KeepOnTopKeepsThePanelAboveABuildWindow) {
    open_on(tab_scaling);
    HWND build = make_test_window("KavrelTestBuild", DefWindowProc, WS_CHILD | WS_VISIBLE, 80, 80,
                                  container_wnd);
    float_opts = 0;
    td::click(GetDlgItem(control_wnd, idc_keep_on_top), 3, 3);
    td::run_until_idle();
    EXPECT_TRUE(float_opts & fo_control_on_top);
    EXPECT_EQ(IsDlgButtonChecked(control_wnd, idc_keep_on_top), BST_CHECKED);
    place_under_floats(build, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(control_wnd, GW_HWNDNEXT), build);
    // Off again: a window brought forward goes above the panel.
    td::click(GetDlgItem(control_wnd, idc_keep_on_top), 3, 3);
    td::run_until_idle();
    EXPECT_FALSE(float_opts & fo_control_on_top);
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    place_under_floats(build, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(build, GW_HWNDNEXT), control_wnd);
    DestroyWindow(build);
}

TEST_F(ControlPanel, OpeningItFromTheMenuBringsItAboveTheBuildWindow) {
    // A build window filling the container was made and brought forward
    // first (a model's diagram): the panel opened later must not hide
    // behind it, whether it is new or was hidden.
    HWND build = make_test_window("KavrelTestBuild", DefWindowProc, WS_CHILD | WS_VISIBLE, 400, 300,
                                  container_wnd);
    float_opts = 0;
    open_on(tab_variable);
    ASSERT_NE(control_wnd, nullptr);
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    menu_command(cmd_control_panel);
    td::run_until_idle();
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), control_wnd);
    SendMessage(control_wnd, WM_CLOSE, 0, 0);
    SetWindowPos(build, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    menu_command(cmd_control_panel);
    td::run_until_idle();
    EXPECT_TRUE(IsWindowVisible(control_wnd));
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), control_wnd);
    DestroyWindow(build);
}

TEST_F(ControlPanel, TimeAxisScaleSnapsToWholeStepsAndSkipsANarrowBar) {
    open_on(tab_time_axis);
    scaler_geometry keep = scaler;
    scaler.width = 210; // 190 pixels between the margins: 1.9 per unit
    scaler.margin = 10;
    model_rec->start = 12.3;
    model_rec->end = 87.6;
    model_rec->special = 50.5;
    time_axis_scale(1);
    EXPECT_DOUBLE_EQ(scaler.ppu, 1.9);
    EXPECT_EQ(scaler.start_x, 33); // trunc(12.3 x 1.9) + 10
    EXPECT_EQ(scaler.end_x, 210 - 23 - 10);
    EXPECT_DOUBLE_EQ(model_rec->start, 12.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 88.0);
    EXPECT_DOUBLE_EQ(model_rec->special, 51.0); // 49.5 from the end: 49 whole steps
    EXPECT_EQ(test_driver::item_text(control_page, idt_start), "12");
    EXPECT_EQ(test_driver::item_text(control_page, idt_end), "88");

    // A step of 5: whole fives.
    model_rec->arrow_step = 5;
    model_rec->start = 12.3;
    time_axis_scale(1);
    EXPECT_DOUBLE_EQ(model_rec->start, 10.0);
    // A step that is not positive counts as 1.
    model_rec->arrow_step = -2;
    model_rec->start = 12.3;
    time_axis_scale(1);
    EXPECT_DOUBLE_EQ(model_rec->start, 12.0);

    // No full range: 1 pixel per unit.
    model_rec->full_end = model_rec->full_start;
    time_axis_scale(0);
    EXPECT_DOUBLE_EQ(scaler.ppu, 1.0);
    model_rec->full_end = 100;

    // A bar of 20 pixels or less has no room: nothing is divided by zero,
    // markers and times stay.
    for (int w : {20, 12, 0}) {
        scaler.width = w;
        scaler.start_x = 4;
        model_rec->start = 12.3;
        time_axis_scale(1);
        EXPECT_DOUBLE_EQ(scaler.ppu, 1.0) << w;
        EXPECT_EQ(scaler.start_x, 4) << w;
        EXPECT_DOUBLE_EQ(model_rec->start, 12.3) << w;
    }
    scaler = keep;
}

TEST_F(ControlPanel, TypedTimesFollowTheirRules) {
    HWND page = open_time_axis();
    ASSERT_NE(page, nullptr);
    auto type = [&](int id, const char* text) { paste(page, id, text); };
    type(idt_end, "80");
    EXPECT_DOUBLE_EQ(model_rec->end, 80.0);
    EXPECT_EQ(scaler.end_x, 210 - 38 - 10);
    type(idt_end, "10"); // at the start: ignored
    EXPECT_DOUBLE_EQ(model_rec->end, 80.0);
    type(idt_end, "abc"); // no number: the value stays
    EXPECT_DOUBLE_EQ(model_rec->end, 80.0);
    type(idt_special, "100"); // the full end: ignored
    EXPECT_DOUBLE_EQ(model_rec->special, 50.0);
    type(idt_special, "25");
    EXPECT_DOUBLE_EQ(model_rec->special, 25.0);
    type(idt_start, "95"); // past the end: ignored
    EXPECT_DOUBLE_EQ(model_rec->start, 10.0);
    type(idt_start, "20");
    EXPECT_DOUBLE_EQ(model_rec->start, 20.0);
    EXPECT_EQ(scaler.start_x, 48);

    // Writing a box is not typing in it: the value written is not applied.
    show_time_value(idt_start, 40);
    EXPECT_EQ(test_driver::item_text(page, idt_start), "40");
    EXPECT_DOUBLE_EQ(model_rec->start, 20.0);

    // The arrows move by the step and keep their limits.
    td::click(GetDlgItem(page, idt_start_left), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->start, 19.0);
    EXPECT_EQ(test_driver::item_text(page, idt_start), "19");
    model_rec->end = 20;
    td::click(GetDlgItem(page, idt_end_left), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->end, 20.0); // not below start + step
    // Reset to Full Range.
    td::click(GetDlgItem(page, idt_reset), 3, 3);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->start, 0.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 100.0);
    EXPECT_DOUBLE_EQ(model_rec->special, 100.0);
}

TEST_F(ControlPanel, TypedTimesOutsideTheirRangeAreRefusedWithAMessageOnLeavingTheBox) {
    HWND page = open_time_axis();
    ASSERT_NE(page, nullptr);
    show_time_value(0, 0);
    // Types into a box that has the focus, then moves the focus on.
    auto type_and_leave = [&](int id, const char* text) {
        SetFocus(GetDlgItem(page, id));
        td::run_until_idle();
        SetDlgItemText(page, id, text);
        td::run_until_idle();
        SetFocus(GetDlgItem(page, idt_reset));
        td::run_until_idle();
    };
    answerer::box(severity_caption(8)).text("End Time \"5\" is refused").press(IDOK);
    answerer::box(severity_caption(8)).text("End Time \"1e30\" is refused").press(IDOK);
    answerer::box(severity_caption(8))
        .text("Start Time \"abc\" is refused: it is not a time")
        .press(IDOK);
    answerer::box(severity_caption(8)).text("Special Time \"-3\" is refused").press(IDOK);
    const int end_x = scaler.end_x;
    type_and_leave(idt_end, "5"); // before the start
    EXPECT_DOUBLE_EQ(model_rec->end, 90.0);
    EXPECT_EQ(test_driver::item_text(page, idt_end), "90");
    type_and_leave(idt_end, "1e30"); // far past the full end
    EXPECT_DOUBLE_EQ(model_rec->end, 90.0);
    EXPECT_EQ(test_driver::item_text(page, idt_end), "90");
    EXPECT_EQ(scaler.end_x, end_x);
    type_and_leave(idt_start, "abc");
    EXPECT_DOUBLE_EQ(model_rec->start, 10.0);
    EXPECT_EQ(test_driver::item_text(page, idt_start), "10");
    type_and_leave(idt_special, "-3");
    EXPECT_DOUBLE_EQ(model_rec->special, 50.0);
    std::vector<std::string> texts = seen_texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_NE(texts[0].find("more than the Start Time (10) and at most 100"), std::string::npos)
        << texts[0];
    EXPECT_NE(texts[1].find("at most 100"), std::string::npos) << texts[1];
    EXPECT_NE(texts[2].find("at least 0 and less than the End Time (90)"), std::string::npos)
        << texts[2];
    EXPECT_NE(texts[3].find("more than 0 and less than 100"), std::string::npos) << texts[3];

    // A time typed in steps (each prefix applied as typed) that ends refused
    // goes back to the time the box had when it got the focus.
    SetFocus(GetDlgItem(page, idt_end));
    td::run_until_idle();
    answerer::box(severity_caption(8)).text("End Time \"1e3\" is refused").press(IDOK);
    for (const char* prefix : {"1", "1e", "1e3"}) {
        SetDlgItemText(page, idt_end, prefix);
        td::run_until_idle();
    }
    EXPECT_DOUBLE_EQ(model_rec->end, 90.0); // "1" was not after the start
    SetFocus(GetDlgItem(page, idt_reset));
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(model_rec->end, 90.0);
    EXPECT_EQ(test_driver::item_text(page, idt_end), "90");
    // An allowed time is taken and stays without a message.
    type_and_leave(idt_end, "60");
    EXPECT_DOUBLE_EQ(model_rec->end, 60.0);
    EXPECT_EQ(seen_texts().size(), 5u);
}

// A model opened with no run shows its own time range at once; each run and
// each model after it bring the Time Axis page up to date.
TEST_F(ControlPanel, TheTimeAxisFollowsEachModelOpenedAndEachRun) {
    install_program_hooks();
    set_sim_pump_hook(nullptr);
    ask_dataset_overwrite = false;
    HWND page = open_on(tab_time_axis);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1); // 0 to 200
    td::run_until_idle();
    page = control_page;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(test_driver::item_text(page, idt_start), "0");
    EXPECT_EQ(test_driver::item_text(page, idt_end), "200");
    EXPECT_EQ(test_driver::item_text(page, idt_special), "200");
    EXPECT_FLOAT_EQ(model_rec->full_end, 200.0f);
    EXPECT_GE(scaler.end_x, scaler.width - scaler.margin - 1);

    model_rec->end = 150;
    show_time_value(0, 0);
    menu_command(cmd_simulate);
    td::run_until_idle();
    EXPECT_EQ(model_rec->run_count, 1);
    EXPECT_EQ(test_driver::item_text(control_page, idt_end), "200");

    ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1); // 0 to 120
    td::run_until_idle();
    EXPECT_EQ(test_driver::item_text(control_page, idt_end), "120");
    menu_command(cmd_simulate);
    td::run_until_idle();
    EXPECT_EQ(test_driver::item_text(control_page, idt_end), "120");
    EXPECT_FLOAT_EQ(model_rec->full_end, 120.0f);
    ASSERT_EQ(shell_open_model(1, 0, sample("inventory.kmf").c_str(), 0), 1); // 0 to 100
    td::run_until_idle();
    EXPECT_EQ(test_driver::item_text(control_page, idt_end), "100");

    clear_setup();
    unload_runs(1);
    ask_dataset_overwrite = true;
}

TEST_F(ControlPanel, DraggingTheStartMarkerMovesStartInWholeSteps) {
    HWND page = open_on(tab_time_axis);
    HWND bar = GetDlgItem(page, idt_scaler);
    ASSERT_NE(bar, nullptr);
    model_rec->start = 0;
    model_rec->end = 100;
    time_axis_scale(0);
    ASSERT_TRUE(scaler_has_room(scaler));
    int x0 = scaler.start_x, y = scaler.top + 1;
    td::drag(bar, {x0, y}, {x0 + 40, y});
    td::run_until_idle();
    EXPECT_EQ(scaler.start_x, x0 + 40);
    // The marker stands 40 pixels into a track of width - 20 pixels that spans
    // 0 to 100: Start is the whole step nearest the time under it.
    const double under_marker = 40 * 100.0 / (scaler.width - 20);
    EXPECT_EQ(model_rec->start, std::floor(model_rec->start)) << "whole steps";
    EXPECT_LE(std::fabs(model_rec->start - under_marker), 0.5) << under_marker;
    EXPECT_GT(model_rec->start, 0);
    EXPECT_EQ(test_driver::item_text(page, idt_start),
              std::to_string(static_cast<int>(model_rec->start)));
    EXPECT_FALSE(scaler_dragging());
    // The start marker stops at the end marker.
    int x1 = scaler.start_x;
    td::advance(2000); // not a double click
    td::mouse_down(bar, x1, y);
    td::run_until_idle();
    EXPECT_TRUE(scaler_dragging());
    td::mouse_move(bar, scaler.width - 5, y);
    td::run_until_idle();
    EXPECT_EQ(scaler.start_x, scaler.end_x);
    td::mouse_up(bar, scaler.width - 5, y);
    td::run_until_idle();
    EXPECT_FALSE(scaler_dragging());
}

TEST_F(ControlPanel, ScalingPageExclusionsAndLimits) {
    HWND page = open_on(tab_scaling);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(page, ids_colorize), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, ids_rounded), BST_CHECKED);
    td::click(GetDlgItem(page, ids_freeze), 3, 3);
    td::run_until_idle();
    EXPECT_EQ(scaling_opts.sweep, sw_freeze);
    td::click(GetDlgItem(page, ids_no_change), 3, 3);
    td::run_until_idle();
    EXPECT_EQ(scaling_opts.sweep, sw_no_change);
    EXPECT_EQ(IsDlgButtonChecked(page, ids_freeze), BST_UNCHECKED);
    td::click(GetDlgItem(page, ids_line_special), 3, 3);
    td::click(GetDlgItem(page, ids_raw), 3, 3);
    td::run_until_idle();
    EXPECT_EQ(scaling_opts.extra_lines, xl_special);
    EXPECT_EQ(scaling_opts.raw, 1);

    // Buffer Mult below 1 is kept as 1.
    SetDlgItemText(page, ids_buffer, "0.5");
    SendMessage(page, WM_COMMAND, MAKEWPARAM(ids_buffer, EN_KILLFOCUS),
                reinterpret_cast<LPARAM>(GetDlgItem(page, ids_buffer)));
    EXPECT_FLOAT_EQ(scaling_opts.buffer_mult, 1.0f);
    EXPECT_EQ(test_driver::item_text(page, ids_buffer), "1");
    SetDlgItemText(page, ids_buffer, "3.5");
    EXPECT_FLOAT_EQ(scaling_opts.buffer_mult, 3.5f);

    // Divisions: a choice from the list is taken; 0 or text is refused and
    // the value kept.
    SendDlgItemMessage(page, ids_vdiv, CB_SETCURSEL, 6, 0);
    SendMessage(page, WM_COMMAND, MAKEWPARAM(ids_vdiv, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(GetDlgItem(page, ids_vdiv)));
    EXPECT_EQ(scaling_opts.v_divisions, 7);
    for (const char* bad : {"0", "x", "-3"}) {
        SetDlgItemText(page, ids_hdiv, bad);
        SendMessage(page, WM_COMMAND, MAKEWPARAM(ids_hdiv, CBN_KILLFOCUS),
                    reinterpret_cast<LPARAM>(GetDlgItem(page, ids_hdiv)));
        EXPECT_EQ(scaling_opts.h_divisions, 5) << bad;
    }
    SetDlgItemText(page, ids_hdiv, "12");
    SendMessage(page, WM_COMMAND, MAKEWPARAM(ids_hdiv, CBN_KILLFOCUS),
                reinterpret_cast<LPARAM>(GetDlgItem(page, ids_hdiv)));
    EXPECT_EQ(scaling_opts.h_divisions, 12);
}

// The Scaling page fits the panel's first size whole; a smaller panel
// scrolls the page in steps of 20 pixels.
TEST_F(ControlPanel, APageFitsTheFirstSizeAndScrollsWhenThePanelIsSmaller) {
    HWND page = open_on(tab_scaling);
    ASSERT_NE(page, nullptr);
    auto bottom_in_page = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(page, id), &r);
        POINT p{r.left, r.bottom};
        ScreenToClient(page, &p);
        return static_cast<int>(p.y);
    };
    RECT c{};
    GetClientRect(page, &c);
    EXPECT_LE(bottom_in_page(517), c.bottom); // the Livesweep group box
    EXPECT_LE(bottom_in_page(ids_buffer), c.bottom);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(page, SB_VERT, &si);
    EXPECT_LE(si.nMax - si.nMin + 1, static_cast<int>(si.nPage)); // nothing to scroll

    RECT pr{};
    GetWindowRect(control_wnd, &pr);
    SetWindowPos(control_wnd, nullptr, 0, 0, pr.right - pr.left, (pr.bottom - pr.top) / 2,
                 SWP_NOMOVE | SWP_NOZORDER);
    td::run_until_idle();
    GetClientRect(page, &c);
    const int before = bottom_in_page(ids_buffer);
    ASSERT_GT(before, c.bottom); // cut off now
    SendMessage(page, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(bottom_in_page(ids_buffer), before - 20);
    SendMessage(page, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_LE(bottom_in_page(ids_buffer), c.bottom); // reachable
    GetScrollInfo(page, SB_VERT, &si);
    EXPECT_GT(si.nPos, 0);
    SendMessage(page, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(bottom_in_page(ids_buffer), before);
    // Made large again, the page scrolls back and the bar has nothing to do.
    SendMessage(page, WM_VSCROLL, SB_BOTTOM, 0);
    SetWindowPos(control_wnd, nullptr, 0, 0, pr.right - pr.left, pr.bottom - pr.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    td::run_until_idle();
    EXPECT_EQ(bottom_in_page(ids_buffer), before);
}

// The panel's save command writes the model's settings into its file and the
// settings file, whose "Model" key it leaves alone.
TEST_F(ControlPanel, SaveWritesTheModelsSettingsAndTheSettingsFileButNotItsModelKey) {
    install_program_hooks();
    const std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    ini_set("Model", "/elsewhere/other.kmf");
    ASSERT_GT(write_ini_file(2), 0);
    open_on(tab_time_axis);
    model_rec->start = 50;
    model_rec->end = 150;
    model_rec->special = 120;
    float_opts = fo_control_on_top;
    SendMessage(control_wnd, WM_COMMAND, idc_save, 0);
    td::run_until_idle();
    const std::string ini = read_file(dir + "/kavread.ini");
    EXPECT_NE(ini.find("Model=/elsewhere/other.kmf"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ScreenOpt2=1,"), std::string::npos) << ini;

    control_panel(-1, -1, -1, -1, -1);
    ASSERT_EQ(shell_open_model(0, 1, "", 0), 1); // another model in between
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    EXPECT_DOUBLE_EQ(model_rec->start, 50.0);
    EXPECT_DOUBLE_EQ(model_rec->end, 150.0);
    EXPECT_DOUBLE_EQ(model_rec->special, 120.0);
    float_opts = 0;
}

TEST_F(ControlPanel, SavedPositionsComeBackHiddenOrShown) {
    ini_set("Control Dlg", "0-x=10,y=20,w=300,h=260");
    restore_float_positions();
    ASSERT_NE(control_wnd, nullptr);
    EXPECT_FALSE(IsWindowVisible(control_wnd));
    POINT o = window_origin(control_wnd, GetParent(control_wnd));
    RECT r{};
    GetWindowRect(control_wnd, &r);
    EXPECT_EQ(o.x, 10);
    EXPECT_EQ(o.y, 20);
    EXPECT_EQ(r.right - r.left, 300);
    control_panel(-1, -1, -1, -1, -1);
    ini_set("Control Dlg", "1-x=30,y=40,w=320,h=280");
    restore_float_positions();
    ASSERT_NE(control_wnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(control_wnd));
    save_window_positions();
    window_place p;
    ASSERT_TRUE(parse_window_place(ini_value("Control Dlg"), &p));
    EXPECT_EQ(p.visible, 1);
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.w, 320);
}

TEST_F(ControlPanel, PicturesOfTheBuiltPages) {
    std::string out = ::testing::TempDir();
    for (int tab : {tab_time_axis, tab_scaling}) {
        HWND page = open_on(tab);
        ASSERT_NE(page, nullptr);
        SetWindowPos(control_wnd, nullptr, 0, 0, 360, 320, SWP_NOMOVE | SWP_NOZORDER);
        td::run_until_idle();
        std::string png = out + "/kavrel_control_panel_" + std::to_string(tab) + ".png";
        ASSERT_TRUE(picture(control_wnd).save(QString::fromStdString(png), "PNG")) << png;
        QImage img(QString::fromStdString(png));
        ASSERT_FALSE(img.isNull());
        std::set<QRgb> colours;
        for (int y = 0; y < img.height(); y += 2)
            for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y) & 0xFFFFFF);
        EXPECT_GT(colours.size(), 3u) << png;
        if (tab == tab_time_axis) {
            // The bar between the markers is in the highlight colour.
            HWND bar = GetDlgItem(page, idt_scaler);
            QImage b = td::image(bar);
            int mid = scaler.top + scaler.height / 2;
            QRgb hl = GetSysColor(COLOR_HIGHLIGHT);
            QRgb want = qRgb(GetRValue(hl), GetGValue(hl), GetBValue(hl)) & 0xFFFFFF;
            EXPECT_EQ(b.pixel((scaler.start_x + scaler.end_x) / 4 + 5, mid) & 0xFFFFFF, want);
            b.save(QString::fromStdString(out + "/kavrel_scaler.png"));
        }
        std::printf("screenshot: %s\n", png.c_str());
    }
}

} // namespace

namespace {
std::vector<std::string> graph_names;
// Before any run the model's own INITIAL TIME and FINAL TIME give the full
// range; a start or end the user already chose inside it is kept, only the
// untouched whole range follows the model.
TEST_F(ControlPanel, TimesChosenBeforeAnyRunStayWhenTheModelsRangeIsRead) {
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1); // 0 to 200
    td::run_until_idle();
    ASSERT_EQ(model_rec->run_count, 0);
    ASSERT_FLOAT_EQ(model_rec->full_end, 200.0f);
    model_rec->start = 0;
    model_rec->end = 150;
    refresh_time_axis();
    EXPECT_FLOAT_EQ(model_rec->start, 0.0f);
    EXPECT_FLOAT_EQ(model_rec->end, 150.0f);
    model_rec->start = 20;
    model_rec->end = 200;
    refresh_time_axis();
    EXPECT_FLOAT_EQ(model_rec->start, 20.0f);
    EXPECT_FLOAT_EQ(model_rec->end, 200.0f);
    EXPECT_FLOAT_EQ(model_rec->full_start, 0.0f);
    EXPECT_FLOAT_EQ(model_rec->full_end, 200.0f);
}

// Opening the time base list of a model that chose none marks the model's own
// time variable, so the box does not read empty.
TEST_F(ControlPanel, TheTimeBaseListMarksTheModelsTimeWhenNoneWasChosen) {
    ASSERT_NE(open_on(tab_time_axis), nullptr);
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    td::run_until_idle();
    HWND page = control_page;
    ASSERT_NE(page, nullptr);
    model_rec->time_base = 0; // none chosen
    HWND combo = GetDlgItem(page, idt_base);
    ASSERT_NE(combo, nullptr);
    SendMessage(page, WM_COMMAND, MAKEWPARAM(idt_base, CBN_DROPDOWN),
                reinterpret_cast<LPARAM>(combo));
    td::run_until_idle();
    const LRESULT at = SendMessage(combo, CB_GETCURSEL, 0, 0);
    ASSERT_GE(at, 0);
    char text[64] = {};
    SendMessage(combo, CB_GETLBTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Time");
    SendMessage(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

} // namespace

// The Graphs page follows the open model's graph set while the panel is
// closed: a model opened since never leaves the previous graphs listed.
TEST_F(ControlPanel, TheGraphsPageListsTheOpenModelsGraphsAfterAReopen) {
    graph_names = {"stock levels", "orders", "backlog"};
    graph_set_slots.tool_names = [](std::vector<std::string>* out) {
        *out = graph_names;
        return static_cast<int>(graph_names.size());
    };
    struct restore {
        ~restore() { graph_set_slots.tool_names = nullptr; }
    } restore_slot;
    auto listed = [] {
        std::vector<std::string> out;
        HWND list = GetDlgItem(control_page, idg_list);
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char b[128] = {};
            SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(b));
            out.emplace_back(b);
        }
        return out;
    };
    ASSERT_NE(open_on(tab_graphs), nullptr);
    EXPECT_EQ(listed(), graph_names);
    ShowWindow(control_wnd, SW_HIDE); // the user closes the panel
    graph_names = {"population"};     // another model's set
    model_opened();
    EXPECT_EQ(listed(), graph_names);
    graph_names.clear();
    EXPECT_EQ(menu_command(cmd_control_panel), 1);
    td::run_until_idle();
    EXPECT_TRUE(listed().empty());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(control_page, idg_display)));
}

// From the keyboard alone: the panel opened a second time has the keyboard
// where it was left, Ctrl+Tab and Ctrl+Shift+Tab turn the pages, and Tab
// reaches the page's controls and the panel's own.
TEST_F(ControlPanel, KeyboardAloneAfterAReopen) {
    // Keys go through the main loop, as the user's do (its shortcuts and the
    // panel's keyboard filter).
    auto key = [](int vk, unsigned mods = 0) {
        td::press_key(vk, mods);
        td::on_idle([] {
            end_maintain(0, 0);
            PostMessage(nullptr, WM_NULL, 0, 0);
        });
        maintain(0);
    };
    ASSERT_NE(open_on(tab_variable), nullptr);
    HWND name = GetDlgItem(control_page, idv_name);
    ASSERT_NE(name, nullptr);
    SetFocus(name);
    key(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(control_wnd));
    EXPECT_EQ(menu_command(cmd_control_panel), 1);
    td::run_until_idle();
    EXPECT_EQ(GetFocus(), name);

    key(VK_TAB, td::ctrl);
    EXPECT_EQ(control_tab, tab_time_axis);
    EXPECT_TRUE(IsChild(control_page, GetFocus()));
    key(VK_TAB, td::ctrl | td::shift);
    key(VK_TAB, td::ctrl | td::shift);
    EXPECT_EQ(control_tab, tab_graphs);

    // Tab visits every enabled control of the page and of the panel.
    ASSERT_NE(open_on(tab_variable), nullptr);
    SetFocus(GetDlgItem(control_page, idv_name));
    std::set<int> visited;
    for (int i = 0; i < 30; ++i) {
        visited.insert(GetDlgCtrlID(GetFocus()));
        key(VK_TAB);
    }
    std::string ids;
    for (int v : visited) ids += std::to_string(v) + " ";
    EXPECT_TRUE(visited.count(idv_type)) << ids;
    EXPECT_TRUE(visited.count(idv_name));
    EXPECT_TRUE(visited.count(idc_close));
    EXPECT_TRUE(visited.count(idc_keep_on_top));
}

// A press grabs the start or end marker within 2 pixels of it on the bar, the
// special time's marker within 3 below the bar; the end marker dragged onto
// the start leaves End one step after Start.
TEST_F(ControlPanel, MarkersAreGrabbedWithinTheirReachAndEndStaysAfterStart) {
    HWND page = open_on(tab_time_axis);
    HWND bar = GetDlgItem(page, idt_scaler);
    ASSERT_NE(bar, nullptr);
    model_rec->start = 20;
    model_rec->end = 80;
    model_rec->special = 50;
    time_axis_scale(0);
    ASSERT_TRUE(scaler_has_room(scaler));
    const int y = scaler.top + 1, below = scaler.top + scaler.height + 1;
    auto grabbed = [&](int x, int at_y) {
        td::advance(2000); // never a double click
        td::mouse_down(bar, x, at_y);
        td::run_until_idle();
        const bool on = scaler_dragging();
        td::mouse_up(bar, x, at_y);
        td::run_until_idle();
        return on;
    };
    const int s = scaler.start_x, e = scaler.end_x, sp = scaler.special_x;
    ASSERT_GT(sp - s, 10);
    ASSERT_GT(e - sp, 10);
    EXPECT_TRUE(grabbed(s + 2, y));
    EXPECT_TRUE(grabbed(s - 2, y));
    EXPECT_FALSE(grabbed(s + 3, y));
    EXPECT_TRUE(grabbed(e - 2, y));
    EXPECT_TRUE(grabbed(sp + 3, below));
    EXPECT_FALSE(grabbed(sp, below - 1)) << "on the bar's bottom row: not the special marker";
    EXPECT_DOUBLE_EQ(model_rec->start, 20);
    EXPECT_DOUBLE_EQ(model_rec->end, 80);

    td::advance(2000);
    td::mouse_down(bar, e, y);
    td::run_until_idle();
    ASSERT_TRUE(scaler_dragging());
    td::mouse_move(bar, s - 20, y);
    td::run_until_idle();
    td::mouse_up(bar, s - 20, y);
    td::run_until_idle();
    EXPECT_EQ(scaler.end_x, scaler.start_x);
    EXPECT_DOUBLE_EQ(model_rec->start, 20);
    EXPECT_DOUBLE_EQ(model_rec->end, 21) << "one step after Start";
}
