// The workbench's bars at their edges: presses in the gaps between bottom
// items, the Print button without a model, Ctrl+clicks and tips on the
// palette, the menus greyed in a game and in a diagram without a third
// pop-up, every recent-model item counting as a model command, and the
// sunken line along the top of the workbench.
#include "shell_fixture.h"

#include "shell/bottombar.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/menubar.h"
#include "shell/menustate.h"
#include "shell/palette.h"
#include "shell/toolbar.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "sim/simdata.h"

#include <QImage>

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

std::vector<int> sent;        // WM_COMMAND ids the active window received
std::vector<std::string> ran; // tools run

LRESULT record_commands(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) sent.push_back(LOWORD(wp));
    return DefWindowProc(w, m, wp, lp);
}

void record_run(handle tool) {
    ran.push_back(tool_name(tool));
}
int recording_loops(int mode, handle tool, std::string* out, const char* text) {
    int size = seam_loops_setup(mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        r->action = tool_action_id(record_run);
        unlock_tool(tool);
    }
    return size;
}

unsigned rgb_of(COLORREF c) {
    return static_cast<unsigned>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

class BarsAndMenus : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        sent.clear();
        ran.clear();
        make_workbench();
        MoveWindow(main_wnd, 0, 0, 900, 500, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
    }
    void TearDown() override {
        game_state = 0;
        shell_opts.palette = 0;
        ShellWorkbenchTest::TearDown();
    }
    void open_sample() {
        std::string model = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    }
    static bool grey(UINT item, UINT how) {
        UINT st = GetMenuState(main_menu, item, how);
        return st != static_cast<UINT>(-1) && (st & MF_GRAYED) != 0;
    }
};

// A press is taken by the item under it; the two pixels between items belong
// to none, so a press there sends nothing.
TEST_F(BarsAndMenus, APressBetweenTwoBottomItemsSendsNothing) {
    HWND rec = make_test_window("Kavrel_test_commands", record_commands, WS_CHILD | WS_VISIBLE, 200,
                                100, container_wnd);
    active_child = rec;
    set_bottom_status(nullptr);
    set_bottom_bar(bm_build, nullptr, 0);
    td::run_until_idle();
    const std::vector<bottom_item>& items = bottom_items();
    ASSERT_GT(items.size(), 3u);
    const bottom_item previous = items[bi_previous_view];
    const bottom_item chooser = items[bi_choose_view];
    ASSERT_EQ(previous.command, 327);
    ASSERT_EQ(chooser.x, previous.x + previous.width + 2); // the gap
    for (int x : {previous.x + previous.width, previous.x + previous.width + 1}) {
        td::advance(1000);
        td::click(bottom_wnd, x, 8);
        td::run_until_idle();
        EXPECT_TRUE(sent.empty()) << "x " << x;
    }
    // The item's first and last pixel columns are its own.
    for (int x : {int{previous.x}, previous.x + previous.width - 1}) {
        sent.clear();
        td::advance(1000);
        td::click(bottom_wnd, x, 8);
        td::run_until_idle();
        EXPECT_EQ(sent, std::vector<int>{327}) << "x " << x;
    }
    active_child = nullptr;
    DestroyWindow(rec);
}

// Without a model (and no window to print) the Print button is drawn grey,
// as Save is: only its shadow shows, no ink.
TEST_F(BarsAndMenus, PrintIsGreyWithoutAModelAndInkWithOne) {
    const int print_slot = 3;
    ASSERT_EQ(toolbar_slot(print_slot).command, 488);
    auto ink = [&](int slot) {
        td::run_until_idle();
        QImage shot = td::image(toolbar_wnd);
        const toolbar_item& it = toolbar_slot(slot);
        const unsigned face = rgb_of(bevel_face_colour()), shadow = rgb_of(bevel_shadow_colour());
        int n = 0;
        for (int y = 4; y < 22; ++y)
            for (int x = it.x + 2; x < it.x + it.width - 2; ++x) {
                unsigned p = shot.pixel(x, y) & 0xFFFFFF;
                n += p != face && p != shadow;
            }
        return n;
    };
    InvalidateRect(toolbar_wnd, nullptr, TRUE);
    EXPECT_EQ(ink(print_slot), 0);
    EXPECT_EQ(ink(2), 0); // Save
    EXPECT_GT(ink(1), 0); // Open
    open_sample();
    InvalidateRect(toolbar_wnd, nullptr, TRUE);
    EXPECT_GT(ink(print_slot), 0);
}

// A Ctrl+click on a palette tool asks for its options, which this program
// refuses as it refuses a right click; the tool does not run.
TEST_F(BarsAndMenus, CtrlClickOnAToolIsAnOptionsRequest) {
    set_tool_setup(2, recording_loops); // Loops
    toolset_changed_hook = palette_toolset_changed;
    free_toolset(0);
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    open_sample();
    const int ch = palette_cell_height();
    const POINT loops{2 + palette_cell_w / 2, 2 + 4 * ch + ch / 2};
    td::click(tools_wnd, loops.x, loops.y);
    td::run_until_idle();
    EXPECT_EQ(ran, std::vector<std::string>{"Loops"});
    ran.clear();
    answerer::box(severity_caption(8))
        .text("Cannot change tool options in the Kavrel Viewer")
        .press(IDOK);
    td::advance(1000);
    td::click(tools_wnd, loops.x, loops.y, td::Button::left, td::ctrl);
    td::run_until_idle();
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(answerer::pending(), 0u);
    free_toolset(0);
    toolset_changed_hook = nullptr;
    set_tool_setup(2, nullptr);
}

// A tool's tip stands beside its button, clear of it: below a horizontal
// palette's row (whose buttons run from y 2 to 2 + the cell height), to the
// right of a vertical one's column (x 2 to 2 + the cell width).
TEST_F(BarsAndMenus, PaletteTipsStandClearOfTheButton) {
    free_toolset(0);
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    tip_request req;
    ASSERT_EQ(SendMessage(tools_wnd, wm_tip_request, 4 + 3, reinterpret_cast<LPARAM>(&req)), 1);
    EXPECT_TRUE(req.side);
    EXPECT_EQ(req.x, 2 + palette_cell_w);
    EXPECT_EQ(req.y, 2 + 4 * palette_cell_height()); // level with the button's top

    shell_opts.palette = 1;
    layout_frame(main_wnd);
    td::run_until_idle();
    req = tip_request{};
    ASSERT_EQ(SendMessage(tools_wnd, wm_tip_request, 4 + 3, reinterpret_cast<LPARAM>(&req)), 1);
    EXPECT_FALSE(req.side);
    EXPECT_EQ(req.x, 2 + 4 * palette_cell_width()); // under the button's left edge
    EXPECT_EQ(req.y, 2 + palette_cell_h);
    free_toolset(0);
}

// In a game, the constants (the game's decisions) can be changed but not the
// lookups; Set up waits for the game to end.
TEST_F(BarsAndMenus, AGameGreysLookupChangesAndSetUpButNotConstantChanges) {
    open_sample();
    update_menu_states();
    EXPECT_TRUE(menu_item_enabled(cmd_lookup_changes));
    EXPECT_TRUE(menu_item_enabled(cmd_constant_changes));
    EXPECT_TRUE(menu_item_enabled(cmd_setup));
    game_state = 2;
    update_menu_states();
    EXPECT_FALSE(menu_item_enabled(cmd_lookup_changes));
    EXPECT_TRUE(menu_item_enabled(cmd_constant_changes));
    EXPECT_FALSE(menu_item_enabled(cmd_setup));
    game_state = 0;
    update_menu_states();
    EXPECT_TRUE(menu_item_enabled(cmd_lookup_changes));
}

// Each of the four recent-model items opens a model, as Open does; the items
// after them are not model commands.
TEST_F(BarsAndMenus, EveryRecentModelItemIsAModelCommand) {
    for (int k = 0; k < recent_model_count; ++k)
        EXPECT_TRUE(touches_model(first_recent_item + k)) << k;
    EXPECT_FALSE(touches_model(first_recent_item + recent_model_count));
    EXPECT_FALSE(touches_model(first_recent_item - 1));
    EXPECT_TRUE(touches_model(cmd_open_model));
}

// A diagram's menu bar greys its third pop-up when the diagram says so, and
// enables it otherwise; Edit and View are always on.
TEST_F(BarsAndMenus, ADiagramsThirdPopupFollowsItsSwitch) {
    HMENU edit = CreatePopupMenu(), view = CreatePopupMenu(), third = CreatePopupMenu();
    for (bool on : {false, true, false}) {
        diagram_menu_bar(edit, view, third, "&Layout", on);
        EXPECT_EQ(menu_bar_mode(), 2);
        EXPECT_EQ(GetSubMenu(main_menu, popup_view + 2), third);
        EXPECT_FALSE(grey(popup_view, MF_BYPOSITION));
        EXPECT_FALSE(grey(popup_edit, MF_BYPOSITION));
        EXPECT_EQ(grey(popup_insert, MF_BYPOSITION), !on) << on;
    }
    rebuild_menu_bar();
    DestroyMenu(edit);
    DestroyMenu(view);
    DestroyMenu(third);
}

// The sunken line along the top of the workbench: a shadow row, then white.
TEST_F(BarsAndMenus, TheTopEdgeIsAShadowLineOverAWhiteOne) {
    ShowWindow(toolbar_wnd, SW_HIDE);
    layout_frame(main_wnd);
    InvalidateRect(main_wnd, nullptr, TRUE);
    td::run_until_idle();
    QImage shot = td::image(main_wnd);
    ASSERT_FALSE(shot.isNull());
    for (int x : {5, 300, 600}) {
        EXPECT_EQ(shot.pixel(x, 0) & 0xFFFFFF, rgb_of(GetSysColor(COLOR_BTNSHADOW))) << x;
        EXPECT_EQ(shot.pixel(x, 1) & 0xFFFFFF, 0xFFFFFFu) << x;
    }
}

} // namespace
