// The tools palette: the built-in set drawn as buttons with its separator,
// running tools by click and Ctrl+digit, the refusals, locked tools run again
// on a new workbench variable, and the ordering of the container's windows.
#include "foundation/package_write.h"
#include "resources/bitmaps.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/menustate.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_ran; // display names of the tools run

void recording_action(handle tool) {
    g_ran.push_back(tool_name(tool));
}

// Every row's stand-in, with the recording action set.
int recording_setup(int mode, handle tool, std::string* out, const char* text) {
    int size = seam_loops_setup(mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        r->action = tool_action_id(recording_action);
        unlock_tool(tool);
    }
    return size;
}
int recording_tree_setup(int mode, handle tool, std::string* out, const char* text) {
    int size = seam_tree_setup(mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        r->action = tool_action_id(recording_action);
        unlock_tool(tool);
    }
    return size;
}

class Palette : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        g_ran.clear();
        set_tool_setup(2, recording_setup);      // Loops
        set_tool_setup(0, recording_tree_setup); // Tree Diagram
        make_workbench();
        toolset_changed_hook = palette_toolset_changed;
        ShowWindow(main_wnd, SW_SHOW);
        free_toolset(0);
        ASSERT_EQ(read_toolset(nullptr, 0), 9);
    }
    void TearDown() override {
        free_toolset(0);
        toolset_changed_hook = nullptr;
        set_tool_setup(2, nullptr);
        set_tool_setup(0, nullptr);
        ShellWorkbenchTest::TearDown();
    }
    // Ctrl and a digit through the main loop, as the keyboard sends them.
    static void press_ctrl_digit(char digit) {
        win_set_key_state(VK_CONTROL, true);
        MSG msg{};
        msg.hwnd = main_wnd;
        msg.message = WM_KEYDOWN;
        msg.wParam = static_cast<WPARAM>(digit);
        loop_handle_message(&msg);
        win_set_key_state(VK_CONTROL, false);
        test_driver::run_until_idle();
    }
    void open_sample() {
        std::string model = sample("population.kmf");
        answerer::dialog(dlg_file_choice).set_text(fdc_name, model).press(IDOK);
        menu_command(cmd_open_model);
        ASSERT_NE(model_rec, nullptr);
        ASSERT_EQ(model_rec->state, 1);
    }
    // The centre of cell c of the vertical palette.
    static POINT cell_centre(int c) {
        return {2 + palette_cell_w / 2, 2 + c * palette_cell_height() + palette_cell_height() / 2};
    }
};

TEST_F(Palette, CtrlDigitsRunTheRowsToolsInOrder) {
    open_sample();
    run_palette_tool(nullptr, 0, 2, 0, 0); // Ctrl+3
    EXPECT_EQ(g_ran, std::vector<std::string>{"Loops"});
    run_palette_tool(nullptr, 0, 9, 0, 0); // Ctrl+0: nine tools only
    // Ctrl+9: Runs Compare, whose kind is not built yet, says so.
    answerer::box(severity_caption(6))
        .text("Runs Compare is not built yet in this version of Kavrel Viewer.")
        .press(IDOK);
    run_palette_tool(nullptr, 0, 8, 0, 0);
    EXPECT_EQ(answerer::pending(), 0u);
    answerer::clear();
    EXPECT_EQ(g_ran.size(), 1u);
    run_palette_tool(nullptr, 0, 0, 0, 0);
    run_palette_tool(nullptr, 0, 1, 0, 0);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"Loops", "Causes Tree", "Uses Tree"}));
    EXPECT_EQ(busy_depth, 0);
    // Through the main loop's keys too.
    g_ran.clear();
    press_ctrl_digit('3');
    EXPECT_EQ(g_ran, std::vector<std::string>{"Loops"});
}

TEST_F(Palette, TheToolsMenuReachesEveryToolFromTheKeyboard) {
    open_sample();
    // Twelve tools in the row: more than Ctrl+digits reach.
    std::string text = "1.62\n=4,=30,=1,=1,=1,=1\n";
    for (int i = 0; i < 12; ++i)
        text += "Loops|" + std::string(i == 0 ? "A&B" : "T" + std::to_string(i)) +
                "\n=0,=" + std::to_string(2 * i) + ",=-1,=-1,=0,=0,=0,=0,=0,\n";
    const std::string path = ::testing::TempDir() + "/twelve.kts";
    std::ofstream(path, std::ios::binary) << text;
    ASSERT_EQ(read_toolset(path.c_str(), 0), 12);
    update_menu_states();
    HMENU tools = GetSubMenu(main_menu, popup_tools);
    ASSERT_NE(tools, nullptr);
    char title[16] = {};
    GetMenuString(main_menu, popup_tools, title, sizeof title, MF_BYPOSITION);
    EXPECT_STREQ(title, "&Tools");
    ASSERT_EQ(GetMenuItemCount(tools), 12);
    auto item = [&](int i) {
        char t[64] = {};
        GetMenuString(tools, static_cast<UINT>(i), t, sizeof t, MF_BYPOSITION);
        return std::string(t);
    };
    EXPECT_EQ(item(0), "&1 A&&B\tCtrl+1");
    EXPECT_EQ(item(1), "&2 T1\tCtrl+2");
    EXPECT_EQ(item(9), "1&0 T9\tCtrl+0");
    EXPECT_EQ(item(10), "T10");
    EXPECT_EQ(item(11), "T11");
    // Each item runs its tool, those past the tenth too.
    for (int i : {0, 9, 10, 11}) {
        g_ran.clear();
        SendMessage(main_wnd, WM_COMMAND, static_cast<WPARAM>(GetMenuItemID(tools, i)), 0);
        test_driver::run_until_idle();
        EXPECT_EQ(g_ran, std::vector<std::string>{i == 0 ? "A&B" : "T" + std::to_string(i)}) << i;
    }
    // Ctrl+0 is the tenth item's shortcut.
    g_ran.clear();
    press_ctrl_digit('0');
    EXPECT_EQ(g_ran, std::vector<std::string>{"T9"});
    // A set with fewer tools: the menu follows it.
    free_toolset(0);
    update_menu_states();
    ASSERT_EQ(GetMenuItemCount(tools), 1);
    EXPECT_EQ(GetMenuState(tools, 0, MF_BYPOSITION) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
}

TEST_F(Palette, ClicksRunTheToolUnderThemAndRefuseOptionsAndLocks) {
    open_sample();
    ASSERT_TRUE(IsWindowVisible(tools_wnd));
    POINT loops = cell_centre(4), right_half = cell_centre(5);
    test_driver::click(tools_wnd, loops.x, loops.y);
    test_driver::advance(1000);
    test_driver::click(tools_wnd, right_half.x, right_half.y);
    test_driver::run_until_idle();
    EXPECT_EQ(g_ran, (std::vector<std::string>{"Loops", "Loops"}));

    // Pressing, dragging off and releasing runs nothing.
    g_ran.clear();
    test_driver::advance(1000);
    test_driver::mouse_down(tools_wnd, loops.x, loops.y);
    test_driver::mouse_move(tools_wnd, loops.x, cell_centre(12).y);
    test_driver::mouse_up(tools_wnd, loops.x, cell_centre(12).y);
    test_driver::run_until_idle();
    EXPECT_TRUE(g_ran.empty());
    // The separator cell and empty space run nothing.
    test_driver::advance(1000);
    test_driver::click(tools_wnd, cell_centre(8).x, cell_centre(8).y);
    test_driver::run_until_idle();
    EXPECT_TRUE(g_ran.empty());

    answerer::box(severity_caption(8))
        .text("Cannot change tool options in the Kavrel Viewer")
        .press(IDOK);
    test_driver::advance(1000);
    test_driver::click(tools_wnd, loops.x, loops.y, test_driver::Button::right);
    test_driver::run_until_idle();
    answerer::box(severity_caption(8)).text("Cannot lock tools in the Kavrel Viewer").press(IDOK);
    test_driver::advance(1000);
    test_driver::click(tools_wnd, loops.x, loops.y, test_driver::Button::left, test_driver::shift);
    test_driver::run_until_idle();
    EXPECT_TRUE(g_ran.empty());
}

TEST_F(Palette, NoModelOpenIsRefused) {
    answerer::box(severity_caption(8)).text("Open or start a new model first.").press(IDOK);
    run_palette_tool(nullptr, 0, 2, 0, 0);
    EXPECT_TRUE(g_ran.empty());
}

TEST_F(Palette, LockedToolsOfTheCurrentRowRunAgainAlsoHidden) {
    open_sample();
    std::string text;
    for (int i = 0; i < builtin_toolset_line_count; ++i)
        text += builtin_toolset_lines[i] + std::string("\n");
    text += "Loops|Second Row\n=1,=0,=-1,=-1,=1,=0,=0,=0,=0,\n"; // locked, row 1
    std::string path = dir + "/locked.kts";
    std::ofstream(path) << text;
    free_toolset(0);
    ASSERT_EQ(read_toolset(path.c_str(), 0), 10);
    EXPECT_FALSE(palette_has_locked_tools());
    rerun_locked_tools();
    EXPECT_TRUE(g_ran.empty()); // row 1 is not shown

    handle loops = grid_tool(palette_cells, 0, 4);
    tool_record* r = lock_tool(loops);
    r->state = 1;
    unlock_tool(loops);
    EXPECT_TRUE(palette_has_locked_tools());
    ShowWindow(tools_wnd, SW_HIDE);
    rerun_locked_tools();
    EXPECT_EQ(g_ran, std::vector<std::string>{"Loops"});

    palette_cells.cur_row = 1;
    g_ran.clear();
    rerun_locked_tools();
    EXPECT_EQ(g_ran, std::vector<std::string>{"Second Row"});
}

TEST_F(Palette, ArrangeWindowsByGroupAndKeepBuildBehind) {
    // Two build windows and two frames, made bottom to top: B1 F1 B2 F2.
    auto make = [](const char* cls, WNDPROC proc) {
        return make_test_window(cls, proc, WS_CHILD | WS_VISIBLE, 50, 50, container_wnd);
    };
    HWND b1 = make("KTestBuild", sketch_parent_proc);
    HWND f1 = make("KTestFrame", toolwrapper_proc);
    HWND b2 = make("KTestBuild", sketch_parent_proc);
    HWND f2 = make("KTestFrame", toolwrapper_proc);
    auto order = [] { // bottom first
        std::vector<HWND> v;
        for (HWND c = GetWindow(container_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (IsWindowVisible(c)) v.insert(v.begin(), c);
        return v;
    };
    for (HWND h : {b1, f1, b2, f2})
        SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(order(), (std::vector<HWND>{b1, f1, b2, f2}));

    float_opts |= fo_build_behind;
    EXPECT_EQ(arrange_windows(1), 1);
    // Nothing is brought forward; the build window is activated and goes
    // below the lowest output window, where Keep Build Behind keeps it.
    EXPECT_EQ(order(), (std::vector<HWND>{b1, f1, b2, f2}));
    EXPECT_EQ(active_child, b1);
    float_opts &= static_cast<std::uint8_t>(~fo_build_behind);
    // The frame above the lowest build window goes below it; the lowest
    // build window is activated.
    EXPECT_EQ(arrange_windows(1), 1);
    EXPECT_EQ(order(), (std::vector<HWND>{f1, f2, b1, b2}));
    EXPECT_EQ(active_child, b2);
    EXPECT_EQ(arrange_windows(3), 1);
    EXPECT_EQ(order(), (std::vector<HWND>{b1, b2, f2, f1}));
    EXPECT_EQ(active_child, f1);
    EXPECT_EQ(arrange_windows(2), 0); // no Control Panel
    DestroyWindow(b1);
    DestroyWindow(b2);
    DestroyWindow(f1);
    DestroyWindow(f2);
}

TEST_F(Palette, PictureShowsNineButtonsTheSeparatorAHoverAndItsTip) {
    open_sample();
    UpdateWindow(tools_wnd);
    POINT loops = cell_centre(4);
    test_driver::mouse_move(tools_wnd, loops.x, loops.y);
    test_driver::run_until_idle();
    std::string png = dir + "/palette.png";
    ASSERT_TRUE(test_driver::save_png(tools_wnd, png));
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    const int ch = palette_cell_height();
    auto rgb = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    auto colref = [](COLORREF c) {
        return static_cast<unsigned>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
    };
    // The separator in cell 8: a shadow line with a white one below it.
    const int sy = 2 + 8 * ch + ch / 2;
    EXPECT_EQ(rgb(8, sy), colref(bevel_shadow_colour()));
    EXPECT_EQ(rgb(8, sy + 1), 0xFFFFFFu);
    // Buttons at cells 0, 2, 4, 6, 9, 11, 13, 15, 17 hold a picture (some
    // pixel other than the face), empty cells none.
    auto has_picture = [&](int c) {
        int y0 = 2 + c * ch;
        for (int y = y0 + 4; y < y0 + 2 * ch - 3; ++y)
            for (int x = 5; x < palette_cell_w - 3; ++x)
                if (rgb(x, y) != colref(bevel_face_colour()) && rgb(x, y) != 0xFFFFFFu) return true;
        return false;
    };
    for (int c : {0, 2, 4, 6, 9, 11, 13, 15, 17}) EXPECT_TRUE(has_picture(c)) << c;
    EXPECT_FALSE(has_picture(19));
    // The hovered button is raised: white top edge; a flat one has none.
    EXPECT_EQ(rgb(10, 2 + 4 * ch), 0xFFFFFFu);
    EXPECT_NE(rgb(10, 2 + 6 * ch), 0xFFFFFFu);

    // The tip: after a second, the tool's name.
    tip_request req;
    ASSERT_EQ(SendMessage(tools_wnd, wm_tip_request, 4 + 3, reinterpret_cast<LPARAM>(&req)), 1);
    EXPECT_STREQ(req.text, "Loops");
    EXPECT_TRUE(req.side);
    EXPECT_EQ(SendMessage(tools_wnd, wm_tip_request, 8 + 3, reinterpret_cast<LPARAM>(&req)), 0);
    test_driver::advance(1100);
    test_driver::run_until_idle();
    char tip[64] = {};
    GetWindowText(tooltip_wnd, tip, sizeof tip);
    EXPECT_STREQ(tip, "Loops");
    EXPECT_TRUE(IsWindowVisible(tooltip_wnd));
}

} // namespace

namespace {

// A tool run by its handle from outside the palette's row (a menu's or a
// window's) needs a model as a palette button does.
TEST_F(Palette, AToolRunFromOutsideTheRowNeedsAModelToo) {
    handle elsewhere = new_tool(2, "Elsewhere", 0);
    ASSERT_NE(elsewhere, 0u);
    if (tool_record* r = lock_tool(elsewhere)) {
        r->action = tool_action_id(recording_action);
        unlock_tool(elsewhere);
    }
    answerer::box(severity_caption(8)).text("Open or start a new model first.").press(IDOK);
    run_palette_tool(elsewhere);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(g_ran.empty());
    open_sample();
    run_palette_tool(elsewhere);
    EXPECT_EQ(g_ran, std::vector<std::string>{"Elsewhere"});
    free_tool(elsewhere);
}

TEST_F(Palette, AnApplicationPackageBringsItsToolSetToo) {
    std::ifstream in(sample("population.kmf"), std::ios::binary);
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string kts =
        "1.62\n=2,=8,=1,=1,=1,=1\nLoops|Application Loops\n=1,=3,=-1,=-1,=0,=0,=0,=0,=0,\n";
    package_member members[] = {{"population.kmf", model.data(), model.size(), 0},
                                {"app.kts", kts.data(), kts.size(), 0}};
    std::string pkg = dir + "/withtools.KPA";
    ASSERT_EQ(package_write(pkg.c_str(), members, 2, nullptr, 0), 1);
    ASSERT_EQ(shell_open_model(1, 0, pkg.c_str(), 0), 1);
    EXPECT_EQ(palette_cells.cols, 8);
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 1, 3)), "Application Loops");
}

TEST_F(Palette, APackagesToolSetReplacesThePalettesOnOpen) {
    std::ifstream in(sample("population.kmf"), std::ios::binary);
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string kts =
        "1.62\n=2,=8,=1,=1,=1,=1\nLoops|Packaged Loops\n=0,=2,=-1,=-1,=0,=0,=0,=0,=0,\n";
    package_member members[] = {{"population.kmf", model.data(), model.size(), 0},
                                {"tools.KTS", kts.data(), kts.size(), 0}};
    std::string pkg = dir + "/withtools.kpm";
    ASSERT_EQ(package_write(pkg.c_str(), members, 2, nullptr, 0), 1);
    ASSERT_EQ(shell_open_model(1, 0, pkg.c_str(), 0), 1);
    EXPECT_EQ(palette_cells.cols, 8);
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 0, 2)), "Packaged Loops");
    run_palette_tool(nullptr, 0, 0, 0, 0);
    EXPECT_EQ(g_ran, std::vector<std::string>{"Packaged Loops"});

    // A package without one gives the built-in set back.
    package_member plain[] = {{"population.kmf", model.data(), model.size(), 0}};
    std::string pkg2 = dir + "/plain.kpm";
    ASSERT_EQ(package_write(pkg2.c_str(), plain, 1, nullptr, 0), 1);
    ASSERT_EQ(shell_open_model(1, 0, pkg2.c_str(), 0), 1);
    EXPECT_EQ(palette_cells.cols, 30);
    EXPECT_EQ(tool_name(grid_tool(palette_cells, 0, 4)), "Loops");
    // A plain model file keeps the set as it is.
    free_toolset(0);
    ASSERT_EQ(read_toolset(nullptr, 0), 9);
    handle before = grid_tool(palette_cells, 0, 0);
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    EXPECT_EQ(grid_tool(palette_cells, 0, 0), before);
}

} // namespace

namespace {

// A package whose tool set is bad leaves the palette's tools (it used to
// empty the palette, and reopening the model did not bring them back).
TEST_F(Palette, APackagesBadToolSetLeavesThePalettesTools) {
    std::ifstream in(sample("population.kmf"), std::ios::binary);
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string before = write_toolset_text(0);
    for (const std::string& kts :
         {std::string("1.62\n=2,=x,=1\n"), std::string("1.62\n=2,=8,=1,=1,=1,=1\n")}) {
        package_member members[] = {{"population.kmf", model.data(), model.size(), 0},
                                    {"tools.kts", kts.data(), kts.size(), 0}};
        const std::string pkg = dir + "/badtools.kpm";
        ASSERT_EQ(package_write(pkg.c_str(), members, 2, nullptr, 0), 1);
        answerer::box(kts.size() > 20 ? "Caution from Kavrel" : "Stop from Kavrel")
            .text("tools.kts")
            .press(IDOK);
        ASSERT_EQ(shell_open_model(1, 0, pkg.c_str(), 0), 1);
        EXPECT_EQ(answerer::pending(), 0u) << kts;
        EXPECT_EQ(write_toolset_text(0), before) << kts;
    }
    g_ran.clear();
    run_palette_tool(nullptr, 0, 2, 0, 0); // the third tool: Loops, as before
    EXPECT_EQ(g_ran, std::vector<std::string>{"Loops"});
}

} // namespace
