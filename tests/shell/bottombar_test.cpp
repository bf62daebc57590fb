// The bottom bar, the pop-up list and the menu bar's two modes: the view
// chooser's width, a press released off its button still sending, the bar's
// modes, the pop-up list's choices (a click outside, a release inside, Enter,
// no loop level left), the menu texts and greying of both modes, and a
// screenshot of the bar with the build window's items.
#include "shell_fixture.h"

#include "shell/bottombar.h"
#include "shell/controls/bevel.h"
#include "shell/controls/popuplist.h"
#include "shell/controls/tooltip.h"
#include "shell/menubar.h"

#include <QColor>
#include <QImage>

#include <functional>

namespace td = test_driver;

namespace {

std::vector<std::pair<HWND, int>> commands; // (window, id) of each WM_COMMAND
std::vector<HWND> clicked;                  // windows that took a button press

LRESULT recorder_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) commands.emplace_back(w, LOWORD(wp));
    if (m == WM_LBUTTONDOWN) clicked.push_back(w);
    return DefWindowProc(w, m, wp, lp);
}

class BottomBar : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        commands.clear();
        clicked.clear();
        make_workbench();
        MoveWindow(main_wnd, 0, 0, 900, 500, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
        set_bottom_status(nullptr);
        set_bottom_bar(bm_build, nullptr, 0);
        td::run_until_idle();
    }
    static void size_bar(int width) {
        MoveWindow(bottom_wnd, 0, 300, width, bottom_height, TRUE);
        td::run_until_idle();
    }
    static POINT centre(int index) {
        const bottom_item& it = bottom_items()[static_cast<std::size_t>(index)];
        return POINT{it.x + it.width / 2, 8};
    }
    // A window in the container that records what it is sent, made active.
    static HWND active_recorder() {
        HWND w = make_test_window("Kavrel_test_recorder", recorder_proc, WS_CHILD | WS_VISIBLE, 200,
                                  100, container_wnd);
        active_child = w;
        return w;
    }
};

TEST_F(BottomBar, ViewChooserTakesTheWidthLeftBetween60And200) {
    // The other items, gaps and margin take 510 pixels.
    struct {
        int width, chooser;
    } cases[] = {{300, 60}, {560, 60}, {600, 90}, {700, 190}, {710, 200}, {1200, 200}};
    for (auto c : cases) {
        size_bar(c.width);
        const auto& items = bottom_items();
        ASSERT_EQ(items.size(), static_cast<std::size_t>(build_item_count));
        EXPECT_EQ(items[bi_choose_view].width, c.chooser) << c.width;
        // Items follow each other with two pixels between them.
        EXPECT_EQ(items[bi_next_view].x, items[bi_choose_view].x + c.chooser + 2) << c.width;
    }
    // Laid out fixed, the chooser keeps the width it has.
    size_bar(1200);
    HWND narrow = make_test_window("Kavrel_test_narrow", DefWindowProc, WS_CHILD, 300,
                                   bottom_height, main_wnd);
    layout_bottom_items(narrow, true);
    EXPECT_EQ(bottom_items()[bi_choose_view].width, 200);
    layout_bottom_items(narrow, false);
    EXPECT_EQ(bottom_items()[bi_choose_view].width, 60);
    DestroyWindow(narrow);
}

TEST_F(BottomBar, ReleaseOffTheButtonStillSendsToTheActiveWindow) {
    HWND rec = active_recorder();
    size_bar(900);
    POINT next = centre(bi_next_view);
    td::mouse_down(bottom_wnd, next.x, next.y);
    td::run_until_idle();
    EXPECT_EQ(bottom_pressed(), bi_next_view + 1);
    EXPECT_EQ(bottom_popup_place().x, bottom_items()[bi_next_view].x);
    EXPECT_TRUE(commands.empty());
    td::mouse_move(bottom_wnd, next.x + 300, next.y);
    td::mouse_up(bottom_wnd, next.x + 300, next.y);
    td::run_until_idle();
    EXPECT_EQ(bottom_pressed(), 0);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].first, rec);
    EXPECT_EQ(commands[0].second, 328);
    // The item without a command (the status text) is not pressed.
    commands.clear();
    td::click(bottom_wnd, centre(bi_status).x, 8);
    td::run_until_idle();
    EXPECT_EQ(bottom_pressed(), 0);
    EXPECT_TRUE(commands.empty());
}

TEST_F(BottomBar, ModesFillTheBar) {
    size_bar(800);
    // Mode 2 with a text: the view items and the text to the right end.
    set_bottom_bar(bm_build, "Level 2 of 4", 0);
    ASSERT_EQ(bottom_items().size(), 4u);
    EXPECT_EQ(bottom_items()[1].command, 326);
    EXPECT_EQ(bottom_items()[3].text, "Level 2 of 4");
    EXPECT_EQ(bottom_items()[3].command, bottom_no_command);
    EXPECT_EQ(bottom_items()[3].x + bottom_items()[3].width, 798);
    // Without a text the stored status text stands in for it.
    set_bottom_status("Selected 3");
    set_bottom_bar(bm_build, nullptr, 0);
    ASSERT_EQ(bottom_items().size(), 4u);
    EXPECT_EQ(bottom_items()[3].text, "Selected 3");
    // Mode 0: one field typed into, across the bar, of the given command.
    set_bottom_bar(bm_input, "abc", 421);
    ASSERT_EQ(bottom_items().size(), 1u);
    HWND edit = bottom_edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetDlgCtrlID(edit), 421);
    char buf[16];
    GetWindowText(edit, buf, sizeof buf);
    EXPECT_STREQ(buf, "abc");
    RECT r{};
    GetWindowRect(edit, &r);
    EXPECT_EQ(r.right - r.left, 796);
    // Any other mode: the text alone, or nothing; the field goes.
    set_bottom_bar(bm_text, "population.kmf", 0);
    ASSERT_EQ(bottom_items().size(), 1u);
    EXPECT_EQ(bottom_edit(), nullptr);
    set_bottom_bar(bm_text, nullptr, 0);
    EXPECT_TRUE(bottom_items().empty());
}

HWND nester = nullptr;
std::function<void(int)> go; // one step of the nesting below

LRESULT nester_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 7 && go) go(static_cast<int>(wp));
    return DefWindowProc(w, m, wp, lp);
}

// The pop-up list, answered from inside its loop level.
class PopupList : public BottomBar {
protected:
    static constexpr const char* texts[4] = {"Arial", "Courier New", "Times", "Verdana"};
    int run(std::function<void()> act, int current = 1) {
        td::on_idle([act] {
            ASSERT_NE(popup_list_box(), nullptr);
            act();
        });
        return popup_list(texts, nullptr, 4, current);
    }
};

TEST_F(PopupList, OutsideClickGivesNothingAndStillReachesItsWindow) {
    HWND rec = active_recorder();
    int got = run([rec] { td::click(rec, 150, 80); });
    EXPECT_EQ(got, -1);
    EXPECT_EQ(popup_list_box(), nullptr);
    td::run_until_idle();
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(clicked[0], rec);
}

TEST_F(PopupList, EnterOrAReleaseInsideChooses) {
    // The current item is selected; Enter takes it.
    EXPECT_EQ(run(
                  [] {
                      EXPECT_EQ(SendMessage(popup_list_box(), LB_GETCURSEL, 0, 0), 2);
                      td::press_key(VK_RETURN);
                  },
                  2),
              2);
    // A click on the last row.
    int got = run([] {
        HWND box = popup_list_box();
        RECT r{};
        GetClientRect(box, &r);
        td::click(box, 5, r.bottom - 3);
    });
    EXPECT_EQ(got, 3);
    // Esc: nothing.
    EXPECT_EQ(run([] { td::press_key(VK_ESCAPE); }), -1);
    EXPECT_EQ(maintain_depth(), 0);
}

TEST_F(PopupList, SitsAboveTheBarAtThePressedItem) {
    size_bar(900);
    int got = run([] {
        HWND box = popup_list_box();
        RECT lr{}, br{};
        GetWindowRect(box, &lr);
        GetWindowRect(bottom_wnd, &br);
        EXPECT_EQ(lr.bottom, br.top);
        EXPECT_EQ(lr.left, br.left + bottom_popup_place().x);
        EXPECT_EQ(SendMessage(box, LB_GETCOUNT, 0, 0), 4);
        td::press_key(VK_ESCAPE);
    });
    EXPECT_EQ(got, -1);
}

TEST_F(PopupList, NoLoopLevelLeftGivesNothing) {
    // Nine levels deep the list cannot run its own: it answers -1 at once.
    int got = 5, depth = 0;
    go = [&](int level) {
        if (maintain_depth() >= max_loop_depth) {
            depth = maintain_depth();
            got = popup_list(texts, nullptr, 4, 1);
        } else {
            // The next level starts from a message taken at this one.
            PostMessage(nester, WM_USER + 7, static_cast<WPARAM>(level + 1), 0);
            maintain(700 + level);
        }
        if (level > 0) end_maintain(700 + level - 1, 0);
    };
    nester = make_test_window("Kavrel_test_nester", nester_proc);
    go(0);
    DestroyWindow(nester);
    go = nullptr;
    EXPECT_EQ(depth, max_loop_depth);
    EXPECT_EQ(got, -1);
    EXPECT_EQ(maintain_depth(), 0);
    EXPECT_EQ(popup_list_box(), nullptr);
}

// The menu bar of each mode.
class MenuBarModes : public BottomBar {
protected:
    static std::string text_of(int id) {
        char buf[64];
        int n = GetMenuString(main_menu, static_cast<UINT>(id), buf, sizeof buf, MF_BYCOMMAND);
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    static bool grey(UINT item, UINT how) {
        UINT st = GetMenuState(main_menu, item, how);
        return st != static_cast<UINT>(-1) && (st & MF_GRAYED) != 0;
    }
};

TEST_F(MenuBarModes, OutputAndTextBarsRenameSwapAndGrey) {
    HMENU view = view_menu, edit = edit_menu, insert = insert_menu;
    set_edited_file("notes.txt");
    output_menu_bar();
    EXPECT_EQ(menu_bar_mode(), 1);
    EXPECT_TRUE(edited_file().empty());
    auto bar = menu_texts(main_menu);
    ASSERT_EQ(bar.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(bar.begin() + 1, bar.begin() + 4),
              (std::vector<std::string>{"&Edit", "&View", "&Insert"}));
    EXPECT_EQ(GetSubMenu(main_menu, 1), output_edit_menu);
    EXPECT_EQ(GetSubMenu(main_menu, 2), edit);
    EXPECT_EQ(GetSubMenu(main_menu, 3), insert);
    EXPECT_FALSE(grey(1, MF_BYPOSITION));
    EXPECT_TRUE(grey(2, MF_BYPOSITION));
    EXPECT_TRUE(grey(3, MF_BYPOSITION));
    EXPECT_EQ(text_of(cmd_load_lock), "&Lock/Unlock");
    EXPECT_EQ(text_of(cmd_save_as), "Save &As");
    EXPECT_TRUE(grey(cmd_save, MF_BYCOMMAND));
    EXPECT_FALSE(grey(cmd_print, MF_BYCOMMAND));
    EXPECT_TRUE(bottom_items().empty());
    // The View pop-up was kept while out of the bar.
    EXPECT_TRUE(IsMenu(view));

    set_bottom_bar(bm_build, nullptr, 0);
    rebuild_menu_bar();
    EXPECT_EQ(menu_bar_mode(), 0);
    bar = menu_texts(main_menu);
    ASSERT_EQ(bar.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(bar.begin() + 1, bar.begin() + 4),
              (std::vector<std::string>{"&Edit", "&View", "&Insert"}));
    EXPECT_EQ(GetSubMenu(main_menu, 1), view);
    EXPECT_EQ(GetSubMenu(main_menu, 2), edit);
    EXPECT_EQ(GetSubMenu(main_menu, 3), insert);
    for (UINT p : {1u, 2u, 3u}) EXPECT_TRUE(grey(p, MF_BYPOSITION)) << p;
    EXPECT_EQ(text_of(cmd_load_lock), "&Load");
    EXPECT_TRUE(grey(cmd_load_lock, MF_BYCOMMAND));
    EXPECT_EQ(text_of(cmd_save_as), "Save Se&ttings"); // not the S of Save
    EXPECT_TRUE(grey(cmd_save, MF_BYCOMMAND));
    EXPECT_TRUE(grey(cmd_print, MF_BYCOMMAND));
    EXPECT_TRUE(IsMenu(output_edit_menu));
    EXPECT_TRUE(bottom_items().empty());
    // Back and forth keeps one 493 in the File menu.
    output_menu_bar();
    rebuild_menu_bar();
    int found = 0;
    for (UINT id : menu_item_ids(file_menu)) found += id == static_cast<UINT>(cmd_load_lock);
    EXPECT_EQ(found, 1);
}

QRgb rgb_of(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

TEST_F(BottomBar, ScreenshotOfTheBuildItems) {
    size_bar(900);
    set_bottom_item_colour(10, RGB(255, 0, 0));
    set_bottom_item_text(bi_choose_view, "View 1");
    td::run_until_idle();
    std::string png = testing::TempDir() + "/kavrel_bottom_bar_build.png";
    ASSERT_TRUE(td::save_png(bottom_wnd, png));
    QImage img = td::image(bottom_wnd);
    ASSERT_FALSE(img.isNull());
    ASSERT_EQ(img.height(), bottom_height);
    const auto& items = bottom_items();
    auto dark_in = [&](int index) {
        const bottom_item& it = items[static_cast<std::size_t>(index)];
        for (int x = it.x + 2; x < it.x + it.width - 2; ++x)
            for (int y = 3; y < bottom_height - 2; ++y)
                if (qGray(img.pixel(x, y)) < 80) return true;
        return false;
    };
    // The swatch shows its colour in the middle of the button.
    POINT sw = centre(10);
    EXPECT_EQ(img.pixel(sw.x, sw.y) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
    // A bevelled button: white top-left edge, dark bottom-right.
    const bottom_item& prev = items[bi_previous_view];
    EXPECT_EQ(img.pixel(prev.x, 1) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
    EXPECT_LT(qGray(img.pixel(prev.x + prev.width - 1, bottom_height - 1)), 80);
    // The bitmap cells, the view name and "B" are drawn.
    EXPECT_TRUE(dark_in(bi_previous_view));
    EXPECT_TRUE(dark_in(bi_choose_view));
    EXPECT_TRUE(dark_in(6));
    // The shadow and white lines along the top, the face beyond the items.
    EXPECT_EQ(img.pixel(img.width() - 3, 0) & 0xFFFFFF, rgb_of(bevel_shadow_colour()) & 0xFFFFFF);
    EXPECT_EQ(img.pixel(img.width() - 3, 8) & 0xFFFFFF, rgb_of(bevel_face_colour()) & 0xFFFFFF);
    // Pressed, the button's top-left edge turns dark.
    const bottom_item& next = items[bi_next_view];
    EXPECT_EQ(img.pixel(next.x, 1) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
    td::mouse_down(bottom_wnd, next.x + 7, 8);
    td::run_until_idle();
    QImage down = td::image(bottom_wnd);
    EXPECT_EQ(bottom_pressed(), bi_next_view + 1);
    EXPECT_LT(qGray(down.pixel(next.x, 1)), 80);
    td::mouse_up(bottom_wnd, next.x + 7, 8);
    td::run_until_idle();
}

// The short list of a window with a status text: pressing the text does
// nothing, and every view item follows the texts the window sets.
TEST_F(BottomBar, AShortListsTextIsNotPressedAndItsViewItemsFollowTheirTexts) {
    active_recorder(); // where a command would go
    size_bar(800);
    set_bottom_bar(bm_build, "Level 2 of 4", 0);
    ASSERT_EQ(bottom_items().size(), 4u);
    const bottom_item text = bottom_items()[3];
    td::mouse_down(bottom_wnd, text.x + 20, 8);
    td::run_until_idle();
    EXPECT_EQ(bottom_pressed(), 0);
    td::mouse_up(bottom_wnd, text.x + 20, 8);
    td::run_until_idle();
    EXPECT_TRUE(commands.empty());

    set_bottom_item_text(bi_previous_view, "<");
    set_bottom_item_text(bi_choose_view, "Overview");
    set_bottom_item_text(bi_next_view, ">");
    EXPECT_EQ(bottom_items()[0].text, "<");
    EXPECT_EQ(bottom_items()[1].text, "Overview");
    EXPECT_EQ(bottom_items()[2].text, ">");
    EXPECT_EQ(bottom_items()[3].text, "Level 2 of 4") << "the status text stays";
}

// A bottom item's tip stands above the bar (there is no room below it) at
// the item's left edge; the status text has no tip.
TEST_F(BottomBar, TipsStandAboveTheBarAtTheirItem) {
    size_bar(900);
    tip_request req;
    ASSERT_EQ(
        SendMessage(bottom_wnd, wm_tip_request, bi_next_view + 1, reinterpret_cast<LPARAM>(&req)),
        1);
    ASSERT_NE(req.text, nullptr);
    EXPECT_STREQ(req.text, "Show the next view");
    EXPECT_TRUE(req.above);
    EXPECT_EQ(req.x, bottom_items()[bi_next_view].x);
    EXPECT_EQ(req.y, 0);
    tip_request none;
    EXPECT_EQ(
        SendMessage(bottom_wnd, wm_tip_request, bi_status + 1, reinterpret_cast<LPARAM>(&none)), 0);
    EXPECT_EQ(none.text, nullptr);
}

} // namespace
