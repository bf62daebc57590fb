// Window activation, the Windows menu's list with "More...", and the recent
// models with their settings keys and menu texts.
#include "shell_fixture.h"

#include "shell/bottombar.h"
#include "shell/menubar.h"

#include <algorithm>
#include <unistd.h>

namespace td = test_driver;

namespace {

class WindowList : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
    }
    HWND build_window(const std::string& title, int x = 0) {
        return CreateWindow("Kavrel_sketch_mother", title.c_str(),
                            WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME, x, 0, 300, 200,
                            container_wnd, nullptr, hinst, nullptr);
    }
    // The list part of the Windows menu (after its fixed items).
    std::vector<std::string> list_items() {
        std::vector<std::string> all = menu_texts(windows_menu);
        const std::size_t fixed = 11; // the template's items
        return std::vector<std::string>(
            all.begin() + static_cast<long>(std::min(fixed, all.size())), all.end());
    }
};

TEST_F(WindowList, MoreAppearsExactlyWhenMoreThanTenWindowsAreListed) {
    std::vector<HWND> w;
    for (int i = 0; i < 12; ++i) {
        w.push_back(build_window("Model: m View: " + std::to_string(i + 1)));
        EXPECT_EQ(add_window_menu_item(w.back()), first_window_item + i);
        std::vector<std::string> items = list_items();
        bool more = !items.empty() && items.back() == "More...";
        EXPECT_EQ(more, i + 1 > 10) << (i + 1) << " windows";
        EXPECT_EQ(items.front(), "-");
    }
    std::vector<std::string> items = list_items();
    ASSERT_EQ(items.size(), 12u); // separator, ten windows, "More..."
    EXPECT_EQ(items[1], "Model: m View: 1");
    EXPECT_EQ(GetMenuItemID(windows_menu, GetMenuItemCount(windows_menu) - 1),
              static_cast<UINT>(more_windows_item));

    // Closing the third renumbers the items after it.
    remove_window_menu_item(w[2]);
    items = list_items();
    EXPECT_EQ(items[3], "Model: m View: 4");
    EXPECT_EQ(items.back(), "More...");
    // A window already listed keeps its id.
    EXPECT_EQ(add_window_menu_item(w[3]), first_window_item + 2);
    remove_window_menu_item(w[0]);
    items = list_items();
    EXPECT_NE(items.back(), "More..."); // ten left
    EXPECT_EQ(items.size(), 11u);
    // An empty list takes its separator with it.
    for (HWND h : listed_windows()) remove_window_menu_item(h);
    EXPECT_TRUE(list_items().empty());
}

TEST_F(WindowList, ChoosingFromTheListActivatesTheWindow) {
    std::vector<HWND> w;
    for (int i = 0; i < 12; ++i) {
        w.push_back(build_window("View & Co " + std::to_string(i + 1), i * 10));
        add_window_menu_item(w.back());
    }
    EXPECT_EQ(list_items()[1], "View && Co 1"); // "&" shown, not taken as a mnemonic
    select_window_item(first_window_item + 4);
    EXPECT_EQ(active_child, w[4]);
    EXPECT_EQ(build_wnd, w[4]);
    EXPECT_EQ(active_kind, kind_build);
    // "More..." lists all twelve; choosing the last activates it.
    answerer::dialog(353).select(1660, 11).press(IDOK);
    select_window_item(more_windows_item);
    EXPECT_EQ(active_child, w[11]);
    ASSERT_FALSE(answerer::seen().empty());
    EXPECT_EQ(answerer::seen()[0].template_id, 353);
}

TEST_F(WindowList, OutputListSaysSoWhenThereIsNone) {
    answerer::box(severity_caption(8)).text("No Output Windows Open").press(IDOK);
    select_window_item(output_list_item);
}

TEST_F(WindowList, ClicksActivateTheContainerWindowAndCtrlTabCycles) {
    HWND a = build_window("A", 0), b = build_window("B", 40), c = build_window("C", 80);
    HWND inner = CreateWindow("Kavrel_sketch", "", WS_CHILD | WS_VISIBLE, 5, 5, 50, 50, b, nullptr,
                              hinst, nullptr);
    activate_window(a, 0, 0);
    ASSERT_EQ(active_child, a);
    // A click on a window inside b makes b the active child.
    MSG m{};
    m.hwnd = inner;
    m.message = WM_LBUTTONDOWN;
    loop_handle_message(&m);
    EXPECT_EQ(active_child, b);
    // A click inside the active child changes nothing.
    loop_handle_message(&m);
    EXPECT_EQ(active_child, b);
    // Cycling visits every build window before coming back.
    std::vector<HWND> visited{active_child};
    for (int i = 0; i < 3; ++i) {
        activate_window(active_child, 1, 0);
        visited.push_back(active_child);
    }
    EXPECT_EQ(visited.front(), visited.back());
    std::vector<HWND> three(visited.begin(), visited.begin() + 3);
    std::sort(three.begin(), three.end());
    std::vector<HWND> all{a, b, c};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(three, all);
    // The active child vanishes: another build window takes its place.
    HWND gone = active_child;
    DestroyWindow(gone);
    activate_window(nullptr, 0, 0);
    EXPECT_NE(active_child, nullptr);
    EXPECT_NE(active_child, gone);
}

TEST_F(WindowList, RecentModelsAreAbsoluteUniqueAndBounded) {
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    recent_models(1, 0, "  a.kmf"); // leading blanks skipped, made absolute
    ASSERT_EQ(chdir(old), 0);
    ASSERT_EQ(recent_model_paths().size(), 1u);
    EXPECT_EQ(recent_model_paths()[0], dir + "/a.kmf");

    for (const char* n : {"/m/b.kmf", "/m/c.kmf", "/m/d.kmf", "/m/e.kmf"}) recent_models(1, 0, n);
    std::vector<std::string> expect{"/m/e.kmf", "/m/d.kmf", "/m/c.kmf", "/m/b.kmf"};
    EXPECT_EQ(recent_model_paths(), expect); // the oldest dropped out
    recent_models(1, 0, "/m/c.kmf");
    expect = {"/m/c.kmf", "/m/e.kmf", "/m/d.kmf", "/m/b.kmf"};
    EXPECT_EQ(recent_model_paths(), expect); // moved up, not duplicated
    EXPECT_STREQ(recent_models(0, first_recent_item + 1, nullptr), "/m/e.kmf");
    EXPECT_EQ(recent_models(0, first_recent_item + 4, nullptr), nullptr);

    // Menu texts: numbered from 1 (the number its mnemonic), the last 50
    // characters, "&" doubled.
    std::string longp = "/" + std::string(60, 'x') + "/R&D model.kmf";
    recent_models(1, 0, longp.c_str());
    std::vector<std::string> items = menu_texts(file_menu);
    std::string shown = items[items.size() - 4];
    EXPECT_EQ(shown, "&1 " + menu_escape(longp.substr(longp.size() - 50)));
    EXPECT_EQ(items[items.size() - 1].substr(0, 3), "&4 ");
    EXPECT_NE(shown.find("R&&D"), std::string::npos);
    EXPECT_EQ(items[items.size() - 5], "-");

    // Written to the settings and read back in order.
    recent_models(-2, 0, nullptr);
    EXPECT_EQ(ini_get_string("ModelsOld0", ""), longp);
    EXPECT_EQ(ini_get_string("ModelsOld3", ""), "/m/d.kmf");
    clear_recent_models();
    ini_set("ModelsOld2", "  ");
    EXPECT_NE(recent_models(2, 0, nullptr), nullptr);
    EXPECT_EQ(recent_model_paths(), (std::vector<std::string>{longp, "/m/c.kmf", "/m/d.kmf"}));
    // No keys at all: null.
    for (int n = 0; n < 4; ++n) ini_set(("ModelsOld" + std::to_string(n)).c_str(), nullptr);
    EXPECT_EQ(recent_models(2, 0, nullptr), nullptr);
}

TEST_F(WindowList, TheDiagramTakesTheBarBackFromAnOutputWindow) {
    HWND sketch = build_window("S");
    HWND out = CreateWindow("Kavrel_toolwrap", "Out", WS_CHILD | WS_VISIBLE | WS_CAPTION, 40, 0,
                            200, 150, container_wnd, nullptr, hinst, nullptr);
    set_bottom_text("model.kmf");
    activate_window(out, 0, 0);
    ASSERT_EQ(active_child, out);
    EXPECT_EQ(menu_bar_mode(), 1);
    char item[64] = {};
    GetMenuString(main_menu, cmd_load_lock, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "&Lock/Unlock");
    // A click on the diagram: the output bar and its bottom text go.
    activate_window(sketch, 0, 0);
    ASSERT_EQ(active_child, sketch);
    EXPECT_EQ(menu_bar_mode(), 0);
    GetMenuString(main_menu, cmd_load_lock, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "&Load");
    EXPECT_EQ(bottom_bar_text(), "model.kmf");
    DestroyWindow(out);
    DestroyWindow(sketch);
}

TEST_F(WindowList, ANewBottomTextLeavesTheActiveDiagramItsBar) {
    // A finished run sets the model's name as the bottom text; the active
    // diagram keeps its views and buttons, and the text shows once no build
    // window is.
    HWND sketch = build_window("S");
    activate_window(sketch, 0, 0);
    ASSERT_EQ(active_child, sketch);
    ASSERT_EQ(bottom_mode(), bm_build);
    set_bottom_text("after the run.kmf");
    EXPECT_EQ(bottom_mode(), bm_build);
    EXPECT_EQ(bottom_bar_text(), "after the run.kmf");
    DestroyWindow(sketch);
    restore_bottom_bar();
    EXPECT_EQ(bottom_mode(), bm_text);
    ASSERT_FALSE(bottom_items().empty());
    EXPECT_EQ(bottom_items()[0].text, "after the run.kmf");
}

TEST_F(WindowList, OutputWindowsCycleBackAndGroupCyclingSkipsEmptyGroups) {
    auto output_window = [](const char* title, int x) {
        return CreateWindow("Kavrel_toolwrap", title, WS_CHILD | WS_VISIBLE | WS_CAPTION, x, 0, 200,
                            150, container_wnd, nullptr, hinst, nullptr);
    };
    // No window of any group: nothing to bring forward.
    EXPECT_EQ(next_window_group(kind_build), 0);
    HWND a = output_window("A", 0), b = output_window("B", 30), c = output_window("C", 60);
    auto z_order = [] {
        std::vector<HWND> out;
        for (HWND w = GetWindow(container_wnd, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            out.push_back(w);
        return out;
    };
    activate_window(b, 0, 0);
    ASSERT_EQ(active_child, b);
    std::vector<HWND> z = z_order();
    ASSERT_EQ(z.size(), 3u);
    ASSERT_EQ(z[0], b);                     // activation puts it on top
    activate_window(z[2], -1, kind_output); // the one just above the lowest
    EXPECT_EQ(active_child, z[1]);
    // From the top window (none above it): the lowest.
    z = z_order();
    ASSERT_EQ(z[0], active_child);
    activate_window(z[0], -1, kind_output);
    EXPECT_EQ(active_child, z[2]);
    // From output windows the next group is the build windows' (1); with none
    // open the floating windows (2) have none either, so the output group
    // itself (3) is the one.
    EXPECT_EQ(next_window_group(kind_output), 3);
    HWND sketch = build_window("S", 90);
    EXPECT_EQ(next_window_group(kind_output), 1);
    // From build windows: floats, then output windows.
    EXPECT_EQ(next_window_group(kind_build), 3);
    DestroyWindow(a);
    DestroyWindow(b);
    DestroyWindow(c);
    EXPECT_EQ(next_window_group(kind_build), 1);
    DestroyWindow(sketch);
}

} // namespace
