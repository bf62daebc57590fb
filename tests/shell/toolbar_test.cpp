// The toolbar and the tooltips on the manual clock: the run-name field
// following the window's width, presses released on and off a button, the
// modes the run driver's state calls for, the tip's wait, stay and
// suppression, and screenshots of the toolbar in two modes with a tip up.
#include "shell_fixture.h"

#include "resources/dialogs.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/toolbar.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"
#include "tests/support/model_builder.h"

#include <QColor>
#include <QImage>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace td = test_driver;

namespace {

class Toolbar : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        screen_right = 1280;
        screen_bottom = 800;
        set_toolbar_leave_hook(leave_sim_mode);
        size_to(1000);
    }
    void TearDown() override {
        sim_phase = phase_idle;
        set_toolbar_leave_hook(nullptr);
        ShellWorkbenchTest::TearDown();
    }
    static void size_to(int width) {
        MoveWindow(toolbar_wnd, 0, 2, width, toolbar_height, TRUE);
        td::run_until_idle();
    }
    // The centre of a slot's item as laid out now.
    static POINT centre(int slot) {
        const toolbar_item& it = toolbar_slot(slot);
        return POINT{it.x + it.width / 2, 12};
    }
    static void hover(int slot) {
        POINT p = centre(slot);
        td::mouse_move(toolbar_wnd, p.x, p.y);
        td::run_until_idle();
    }
    static bool tip_shown() { return tooltip_wnd && IsWindowVisible(tooltip_wnd); }
    static std::string tip_text() {
        char buf[256];
        int n = tooltip_wnd ? GetWindowText(tooltip_wnd, buf, sizeof buf) : 0;
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
};

TEST_F(Toolbar, RunNameFieldFollowsTheWidthBetween80And300) {
    // The normal items end at 576: the field takes what is left of the width.
    struct {
        int width, field;
    } cases[] = {{400, 80}, {600, 102}, {700, 202}, {800, 300}, {1200, 300}, {650, 152}};
    HWND field = GetDlgItem(toolbar_wnd, 101);
    ASSERT_NE(field, nullptr);
    for (auto c : cases) {
        size_to(c.width);
        EXPECT_EQ(toolbar_slot(run_name_slot).width, c.field) << c.width;
        int delta = c.field - 80;
        // Items right of the field move with it; those left of it stay.
        EXPECT_EQ(toolbar_slot(11).x, 334 + delta) << c.width;
        EXPECT_EQ(toolbar_slot(20).x, 553 + delta) << c.width;
        EXPECT_EQ(toolbar_slot(8).x, 222);
        RECT r{};
        GetWindowRect(field, &r);
        EXPECT_EQ(r.right - r.left, c.field);
        EXPECT_EQ(r.bottom - r.top, 22);
    }
}

TEST_F(Toolbar, ReleasingOffAButtonRunsNothing) {
    sim_phase = phase_setup;
    toolbar_follow_mode();
    ASSERT_EQ(toolbar_mode(), tm_setup);
    POINT stop = centre(21);
    td::mouse_down(toolbar_wnd, stop.x, stop.y);
    td::run_until_idle();
    EXPECT_EQ(pressed_button_window(), toolbar_wnd);
    td::mouse_move(toolbar_wnd, stop.x + 40, stop.y);
    td::mouse_up(toolbar_wnd, stop.x + 40, stop.y);
    td::run_until_idle();
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_EQ(pressed_button_window(), nullptr);
    // Released on it: leaving set-up is asked, refused, then agreed.
    answerer::box("Question from Kavrel").text("stop simulation setup").press(IDNO);
    td::advance(1000);
    td::click(toolbar_wnd, stop.x, stop.y);
    td::run_until_idle();
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_EQ(toolbar_mode(), tm_setup);
    answerer::box("Question from Kavrel").text("stop simulation setup").press(IDYES);
    td::advance(1000);
    td::click(toolbar_wnd, stop.x, stop.y);
    td::run_until_idle();
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_EQ(toolbar_mode(), tm_normal);
    EXPECT_EQ(toolbar_list().front(), 0);
}

TEST_F(Toolbar, ModesShowTheirOwnItemsAndFields) {
    livesweep_state = ls_on;
    toolbar_follow_mode();
    EXPECT_EQ(toolbar_mode(), tm_livesweep);
    EXPECT_EQ(toolbar_list().front(), 35);
    livesweep_state = ls_off;
    game_state = 2;
    toolbar_follow_mode();
    EXPECT_EQ(toolbar_mode(), tm_gaming);
    // The game's amount field shows; the run-name field does not.
    HWND run_name = GetDlgItem(toolbar_wnd, 101);
    EXPECT_FALSE(IsWindowVisible(run_name));
    game_state = 0;
    toolbar_follow_mode();
    EXPECT_EQ(toolbar_mode(), tm_normal);
    EXPECT_TRUE(IsWindowVisible(run_name));
    // Two fields share id 100: each is known by its window.
    std::vector<int> slots;
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetDlgCtrlID(c) == 100) slots.push_back(toolbar_field_slot(c));
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<int>{29, 31}));
    EXPECT_EQ(toolbar_field_slot(run_name), run_name_slot);
    EXPECT_EQ(toolbar_field_slot(main_wnd), -1);
}

TEST_F(Toolbar, TypingARunNameNamesTheNextRun) {
    HWND field = GetDlgItem(toolbar_wnd, 101);
    SetFocus(field);
    td::type_text("trial");
    td::run_until_idle();
    ASSERT_NE(model_rec, nullptr);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "trial");
    // Clearing the field when a mode is left leaves the name as typed.
    apply_run_name(0);
    char buf[64];
    EXPECT_EQ(GetWindowText(field, buf, sizeof buf), 0);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "trial");
}

TEST_F(Toolbar, TipWaitsASecondStaysFiveAndIsNotRepeated) {
    hover(11);
    EXPECT_EQ(tooltip_state(), 1);
    td::advance(999);
    EXPECT_FALSE(tip_shown());
    td::advance(1);
    EXPECT_TRUE(tip_shown());
    EXPECT_EQ(tooltip_state(), 3);
    EXPECT_EQ(tip_text(), "Run a Simulation");
    // Below the toolbar at the item's x (or the pointer's), inside the screen.
    RECT tr{}, br{};
    GetWindowRect(tooltip_wnd, &tr);
    GetWindowRect(toolbar_wnd, &br);
    EXPECT_GE(tr.top, br.top + 24);
    td::advance(4999);
    EXPECT_TRUE(tip_shown());
    td::advance(1);
    EXPECT_FALSE(tip_shown());
    // Not again while the pointer stays on that item...
    hover(11);
    td::advance(3000);
    EXPECT_FALSE(tip_shown());
    // ...but another item gets its own at once: a tip has been up.
    hover(12);
    EXPECT_TRUE(tip_shown());
    EXPECT_EQ(tooltip_state(), 3);
    EXPECT_EQ(tip_text(), "Automatically simulate on change");
    // Moving on while it is up shows the next one at once too.
    hover(13);
    EXPECT_TRUE(tip_shown());
    EXPECT_EQ(tip_text(), "Start a Game");
    // Leaving the toolbar hides it at once.
    td::mouse_move(toolbar_wnd, 10, 200);
    td::run_until_idle();
    EXPECT_FALSE(tip_shown());
    EXPECT_NE(GetCapture(), toolbar_wnd);
    // Coming back after a tip was up: at once again.
    hover(16);
    EXPECT_TRUE(tip_shown());
    EXPECT_EQ(tip_text(), "Run Plausitests");
}

TEST_F(Toolbar, NoTipWhileABoxIsUp) {
    {
        modal_guard box;
        hover(13);
        td::advance(2000);
        EXPECT_FALSE(tip_shown());
        EXPECT_EQ(tooltip_state(), 0);
    }
    hover(16);
    td::advance(1000);
    EXPECT_TRUE(tip_shown());
}

TEST_F(Toolbar, WrappedTipOf40HeightsGets3Lines) {
    HDC dc = GetDC(tooltip_wnd);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE one{};
    GetTextExtentPoint32(dc, "x", 1, &one);
    std::string text;
    SIZE s{};
    while (s.cx < 40 * one.cy) {
        text += "word ";
        GetTextExtentPoint32(dc, text.c_str(), static_cast<int>(text.size()), &s);
    }
    SelectObject(dc, old);
    ASSERT_LT(s.cx, 50 * one.cy);
    SIZE tip = tooltip_size(dc, text.c_str(), true);
    EXPECT_EQ(tip.cy, 3 * one.cy + 2);
    EXPECT_EQ(tip.cx, static_cast<int>(s.cx / 3 * 1.25) + 4);
    // Unwrapped, or short: one line.
    EXPECT_EQ(tooltip_size(dc, text.c_str(), false).cy, one.cy + 2);
    EXPECT_EQ(tooltip_size(dc, "short", true).cy, one.cy + 2);
    ReleaseDC(tooltip_wnd, dc);
}

// The toolbar with a tip shown, saved as PNG and checked by pixels.
void check_toolbar_shot(const QImage& bar, const QImage& tip, int hovered_x) {
    ASSERT_FALSE(bar.isNull());
    ASSERT_FALSE(tip.isNull());
    auto px = [](const QImage& i, int x, int y) { return i.pixel(x, y) & 0xFFFFFF; };
    // The shadow and white lines along the foot.
    EXPECT_EQ(px(bar, 5, 26),
              qRgb(GetRValue(bevel_shadow_colour()), GetGValue(bevel_shadow_colour()),
                   GetBValue(bevel_shadow_colour())) &
                  0xFFFFFF);
    EXPECT_EQ(px(bar, 5, 27), 0xFFFFFFu);
    // The hovered button is raised: white top-left, black bottom-right.
    EXPECT_EQ(px(bar, hovered_x, 2), 0xFFFFFFu);
    EXPECT_EQ(px(bar, hovered_x + 22, 23), 0u);
    // The tip's face is the tooltip colour, and it has text in it.
    COLORREF bk = GetSysColor(COLOR_INFOBK);
    EXPECT_EQ(px(tip, tip.width() - 2, 1),
              qRgb(GetRValue(bk), GetGValue(bk), GetBValue(bk)) & 0xFFFFFF);
    int ink = 0;
    for (int y = 0; y < tip.height(); ++y)
        for (int x = 0; x < tip.width(); ++x)
            ink += px(tip, x, y) != (qRgb(GetRValue(bk), GetGValue(bk), GetBValue(bk)) & 0xFFFFFF);
    EXPECT_GT(ink, 10);
}

TEST_F(Toolbar, ScreenshotsInNormalAndLivesweepModeWithATip) {
    std::string dir_out = testing::TempDir();
    std::string model = sample("population.kmf"); // the model's buttons are not grey
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    hover(11);
    td::advance(1000);
    ASSERT_TRUE(tip_shown());
    ASSERT_TRUE(td::save_png(toolbar_wnd, dir_out + "/kavrel_toolbar_normal.png"));
    ASSERT_TRUE(td::save_png(tooltip_wnd, dir_out + "/kavrel_toolbar_normal_tip.png"));
    check_toolbar_shot(td::image(toolbar_wnd), td::image(tooltip_wnd), toolbar_slot(11).x);
    // A groove before the window commands (a gap after Plausitests).
    QImage normal = td::image(toolbar_wnd);
    int gx = toolbar_slot(17).x - 6;
    EXPECT_EQ(normal.pixel(gx + 1, 10) & 0xFFFFFF, 0xFFFFFFu);

    td::mouse_move(toolbar_wnd, 10, 200);
    td::run_until_idle();
    livesweep_state = ls_on;
    toolbar_follow_mode();
    td::advance(1000);
    hover(38);
    td::advance(1000);
    ASSERT_TRUE(tip_shown());
    EXPECT_EQ(tip_text(), "Reset Current Slider to base model val (Home)");
    ASSERT_TRUE(td::save_png(toolbar_wnd, dir_out + "/kavrel_toolbar_livesweep.png"));
    ASSERT_TRUE(td::save_png(tooltip_wnd, dir_out + "/kavrel_toolbar_livesweep_tip.png"));
    QImage sweep = td::image(toolbar_wnd);
    check_toolbar_shot(sweep, td::image(tooltip_wnd), toolbar_slot(38).x);
    // The "Livesweep" label is written at the left.
    int dark = 0;
    for (int y = 3; y < 20; ++y)
        for (int x = 2; x < 80; ++x) dark += qGray(sweep.pixel(x, y)) < 80;
    EXPECT_GT(dark, 20);
    livesweep_state = ls_off;
}

// Pixels of an item in neither the face nor the shadow colour: the ink of an
// enabled button (a grey one is drawn in the shadow colour alone).
int ink_pixels(int slot) {
    QImage shot = td::image(toolbar_wnd);
    const toolbar_item& it = toolbar_slot(slot);
    auto rgb = [](COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF; };
    const QRgb face = rgb(bevel_face_colour()), shadow = rgb(bevel_shadow_colour());
    int n = 0;
    for (int y = 4; y < 22; ++y)
        for (int x = it.x + 2; x < it.x + it.width - 2; ++x) {
            QRgb p = shot.pixel(x, y) & 0xFFFFFF;
            n += p != face && p != shadow;
        }
    return n;
}

TEST_F(Toolbar, WithoutAModelTheModelsButtonsAreGreyAndDoNothing) {
    // Save, Set up, Simulate, Livesweep, Game, Plausitest; New and Open stay.
    const int model_slots[] = {2, 8, 11, 12, 13, 16};
    td::run_until_idle();
    for (int slot : model_slots) {
        EXPECT_EQ(ink_pixels(slot), 0) << "slot " << slot;
        td::advance(1000);
        POINT p = centre(slot);
        td::click(toolbar_wnd, p.x, p.y);
        td::run_until_idle();
        EXPECT_EQ(pressed_button_window(), nullptr);
    }
    EXPECT_GT(ink_pixels(0), 0);
    EXPECT_GT(ink_pixels(1), 0);
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_EQ(toolbar_mode(), tm_normal);
    EXPECT_TRUE(answerer::seen().empty()); // nothing answered a grey button

    // With a model they are drawn in ink and act.
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    toolbar_follow_mode();
    td::run_until_idle();
    for (int slot : model_slots) EXPECT_GT(ink_pixels(slot), 0) << "slot " << slot;
    answerer::box(severity_caption(8)).text("Sorry not available").press(IDOK);
    td::advance(1000);
    td::click(toolbar_wnd, centre(2).x, centre(2).y);
    td::run_until_idle();
    td::advance(1000);
    td::click(toolbar_wnd, centre(8).x, centre(8).y); // Set up a Simulation
    td::run_until_idle();
    EXPECT_EQ(sim_phase, phase_setup);
    sim_phase = phase_idle;
}

TEST_F(Toolbar, TheDatasetButtonChoosesARunIntoTheDatasetField) {
    // A model in a folder of its own, with a run file beside it.
    const std::string dir = testing::TempDir() + "toolbar_datasets";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string model = dir + "/population.kmf";
    std::filesystem::copy_file(sample("population.kmf"), model);
    std::ofstream(dir + "/history.kdf") << "x";
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    show_sim_controls(tm_datasets);
    td::run_until_idle();
    HWND field = nullptr;
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (toolbar_field_slot(c) == dataset_list_slot) field = c;
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(IsWindowVisible(field));
    SetWindowText(field, "base");
    SendMessage(field, EM_SETSEL, 4, 4);

    answerer::dialog(dlg_file_choice).set_text(fdc_name, dir + "/history.kdf").press(IDOK);
    td::advance(1000);
    td::click(toolbar_wnd, centre(32).x, centre(32).y);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u); // the chooser was shown, not a "not built" box
    char buf[128] = {};
    GetWindowText(field, buf, sizeof buf);
    EXPECT_STREQ(buf, "base,history"); // the name without its folder and extension

    // Cancel leaves the field as it was.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    td::advance(1000);
    td::click(toolbar_wnd, centre(32).x, centre(32).y);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    GetWindowText(field, buf, sizeof buf);
    EXPECT_STREQ(buf, "base,history");
    show_sim_controls(tm_normal);
    std::filesystem::remove_all(dir);
}

// The buttons that stand for menu items act as those items: Copy goes to
// the active window as Edit > Copy does, the build and output window buttons
// bring their group forward (the build one grey under Keep Build Behind), and
// set-up's Change Model Constants and Change Lookups open the Model menu's
// dialogs. None says it is not built.
TEST_F(Toolbar, ButtonsOfMenuItemsActAsTheItems) {
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    struct child {
        static LRESULT proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_COMMAND) ids().push_back(LOWORD(wp));
            return DefWindowProc(w, m, wp, lp);
        }
        static std::vector<int>& ids() {
            static std::vector<int> v;
            return v;
        }
    };
    child::ids().clear();
    HWND build = make_test_window("KTestBuild", sketch_parent_proc, WS_CHILD | WS_VISIBLE, 50, 50,
                                  container_wnd);
    HWND frame = make_test_window("KTestFrame", toolwrapper_proc, WS_CHILD | WS_VISIBLE, 50, 50,
                                  container_wnd);
    auto press = [&](int slot) {
        td::advance(1000);
        td::click(toolbar_wnd, centre(slot).x, centre(slot).y);
        td::run_until_idle();
    };
    show_sim_controls(tm_normal);
    td::run_until_idle();

    HWND edit = make_test_window("KTestText", child::proc, WS_CHILD | WS_VISIBLE, 50, 50,
                                 container_wnd, "notes");
    activate_window(edit, 0, 0);
    ASSERT_EQ(active_child, edit);
    press(5); // Copy, to the active window
    EXPECT_EQ(child::ids(), std::vector<int>{489});
    DestroyWindow(edit);
    press(18); // Output Windows
    EXPECT_EQ(active_child, frame);
    press(17); // Build Windows
    EXPECT_EQ(active_child, build);
    menu_command(cmd_keep_build_behind);
    press(18);
    ASSERT_EQ(active_child, frame);
    press(17); // grey now: nothing moves
    EXPECT_EQ(active_child, frame);
    menu_command(cmd_keep_build_behind);
    press(18);
    press(17);
    EXPECT_EQ(active_child, build);

    show_sim_controls(tm_setup);
    td::run_until_idle();
    answerer::dialog(dlg_constant_changes).press(IDCANCEL);
    press(23);
    EXPECT_EQ(answerer::pending(), 0u) << "Change Model Constants";
    answerer::dialog(dlg_lookup_changes).press(IDCANCEL);
    press(24);
    EXPECT_EQ(answerer::pending(), 0u) << "Change Lookups";
    for (const answerer::Seen& s : answerer::seen())
        EXPECT_EQ(s.text.find("not built"), std::string::npos) << s.text;
    show_sim_controls(tm_normal);
    DestroyWindow(frame);
    DestroyWindow(build);
}

} // namespace

namespace {

// Set-up of a model with data variables shows the datasets items (the
// technique the run integrates with, the datasets field and its chooser);
// a model without them shows set-up's own.
TEST_F(Toolbar, SetupOfAModelWithDataVariablesShowsTheDatasetsItems) {
    const std::string dir = testing::TempDir() + "toolbar_data_model";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    model_builder b("sales");
    b.control(0, 10, 1, 1);
    b.data("observed sales", nullptr, "units");
    b.level("Stock", "1", "0");
    const std::string path = dir + "/sales.kmf";
    ASSERT_EQ(b.write(path.c_str()), 1);
    ASSERT_EQ(shell_open_model(1, 0, path.c_str(), 0), 1);
    model_rec->setup.method = 1;
    ASSERT_TRUE(menu_choose(main_wnd, cmd_setup));
    td::run_until_idle();
    ASSERT_EQ(sim_phase, phase_setup);
    EXPECT_EQ(toolbar_mode(), tm_datasets);
    const std::vector<int>& shown = toolbar_list();
    for (int slot : {method_slot, dataset_list_slot, 32})
        EXPECT_NE(std::find(shown.begin(), shown.end(), slot), shown.end()) << slot;
    EXPECT_STREQ(toolbar_slot(method_slot).label, method_name(1));
    leave_sim_mode(0);
    toolbar_follow_mode();
    EXPECT_EQ(toolbar_mode(), tm_normal);

    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_setup));
    td::run_until_idle();
    EXPECT_EQ(toolbar_mode(), tm_setup);
    leave_sim_mode(0);
    toolbar_follow_mode();
    std::filesystem::remove_all(dir);
}

} // namespace

namespace {

// Under a message box the workbench is disabled: the toolbar's fields are
// too (as its buttons are drawn grey), and both come back after it.
TEST_F(Toolbar, UnderAModalBoxTheFieldsAreDisabledAndComeBack) {
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    toolbar_follow_mode();
    HWND run_name = nullptr;
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (toolbar_field_slot(c) == run_name_slot) run_name = c;
    ASSERT_NE(run_name, nullptr);
    EXPECT_TRUE(IsWindowEnabled(run_name));
    bool enabled_inside = true;
    answerer::box(severity_caption(6))
        .call([&](HWND) { enabled_inside = IsWindowEnabled(run_name) != FALSE; })
        .press(IDOK);
    report(6, "A box over the workbench");
    EXPECT_FALSE(enabled_inside);
    EXPECT_TRUE(IsWindowEnabled(run_name));
}

} // namespace
