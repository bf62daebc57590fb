// The pop-up list over a low workbench: shortened to the whole rows that fit
// between the top of the main window's client area and the bottom bar, with
// a scroll bar for the rest, so no row is cut off or drawn over the menu.
#include "shell_fixture.h"

#include "shell/bottombar.h"
#include "shell/controls/popuplist.h"

#include <functional>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class PopupRows : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        set_bottom_status(nullptr);
        set_bottom_bar(bm_build, nullptr, 0);
    }
    // Runs the list of `count` texts with the main window `height` high and
    // notes where the list box stood and how many rows it showed.
    void measure(int height, int count) {
        MoveWindow(main_wnd, 0, 0, 900, height, TRUE);
        layout_frame(main_wnd);
        td::run_until_idle();
        items.clear();
        for (int i = 0; i < count; ++i) items.push_back("item " + std::to_string(i));
        std::vector<const char*> texts;
        for (const std::string& s : items) texts.push_back(s.c_str());
        td::on_idle([this] {
            HWND box = popup_list_box();
            ASSERT_NE(box, nullptr);
            GetWindowRect(box, &list);
            GetClientRect(box, &client);
            row_h = static_cast<int>(SendMessage(box, LB_GETITEMHEIGHT, 0, 0));
            scrolls = (GetWindowLong(box, GWL_STYLE) & WS_VSCROLL) != 0;
            td::press_key(VK_ESCAPE);
        });
        EXPECT_EQ(popup_list(texts.data(), nullptr, count, 0), -1);
        GetWindowRect(bottom_wnd, &bar);
        POINT origin{0, 0};
        ClientToScreen(main_wnd, &origin);
        client_top = origin.y;
    }
    std::vector<std::string> items;
    RECT list{}, client{}, bar{};
    int row_h = 0, client_top = 0;
    bool scrolls = false;
};

TEST_F(PopupRows, ALowWorkbenchShowsTheWholeRowsThatFit) {
    measure(600, 5);
    ASSERT_GT(row_h, 0);
    EXPECT_FALSE(scrolls) << "room for all five";
    EXPECT_EQ(client.bottom, 5 * row_h);
    EXPECT_EQ(list.bottom, bar.top);

    // Twenty rows in a window too low for them.
    for (int height : {160, 180, 200, 230}) {
        measure(height, 20);
        ASSERT_GT(bar.top - client_top, row_h) << height;
        EXPECT_TRUE(scrolls) << height;
        EXPECT_EQ(list.bottom, bar.top) << height;
        EXPECT_GE(list.top, client_top) << "the list starts inside the workbench: " << height;
        EXPECT_EQ(client.bottom % row_h, 0) << "whole rows: " << height;
        const int room = bar.top - client_top;
        EXPECT_LT(room - (list.bottom - list.top), row_h) << "as many rows as fit: " << height;
    }
}

// The arrow keys move the list's selection wherever the keyboard focus is,
// and Enter takes the row they reached; End and Home go to the last and
// first rows.
// Page Down and Page Up move by the rows the box shows.
TEST_F(PopupRows, PageKeysMoveByTheRowsInView) {
    MoveWindow(main_wnd, 0, 0, 900, 600, TRUE);
    layout_frame(main_wnd);
    td::run_until_idle();
    std::vector<std::string> names;
    for (int i = 0; i < 80; ++i) names.push_back("face " + std::to_string(i));
    std::vector<const char*> texts;
    for (const std::string& n : names) texts.push_back(n.c_str());
    static int rows = 0;
    rows = 0;
    td::on_idle([] {
        HWND box = popup_list_box();
        ASSERT_NE(box, nullptr);
        RECT c{};
        GetClientRect(box, &c);
        const int row_h = static_cast<int>(SendMessage(box, LB_GETITEMHEIGHT, 0, 0));
        ASSERT_GT(row_h, 0);
        rows = static_cast<int>(c.bottom) / row_h;
        SetFocus(main_wnd);
        td::press_key(VK_NEXT);
        td::press_key(VK_NEXT);
        td::press_key(VK_PRIOR);
        td::press_key(VK_RETURN);
    });
    const int chosen = popup_list(texts.data(), nullptr, static_cast<int>(texts.size()), 0);
    ASSERT_GT(rows, 1);
    ASSERT_LT(2 * rows, 80) << "the box shows too much of the list to page";
    EXPECT_EQ(chosen, rows);
}

TEST_F(PopupRows, ArrowKeysMoveTheSelectionFromAnyWindow) {
    MoveWindow(main_wnd, 0, 0, 900, 600, TRUE);
    layout_frame(main_wnd);
    td::run_until_idle();
    const char* texts[4] = {"Arial", "Courier New", "Times", "Verdana"};
    td::on_idle([] {
        ASSERT_NE(popup_list_box(), nullptr);
        SetFocus(main_wnd);
        td::press_key(VK_DOWN);
        td::press_key(VK_DOWN);
        td::press_key(VK_RETURN);
    });
    EXPECT_EQ(popup_list(texts, nullptr, 4, 0), 2);
    td::on_idle([] {
        ASSERT_NE(popup_list_box(), nullptr);
        SetFocus(main_wnd);
        td::press_key(VK_END);
        td::press_key(VK_UP);
        td::press_key(VK_RETURN);
    });
    EXPECT_EQ(popup_list(texts, nullptr, 4, 0), 2);
    td::on_idle([] {
        ASSERT_NE(popup_list_box(), nullptr);
        SetFocus(main_wnd);
        td::press_key(VK_HOME);
        td::press_key(VK_UP);
        td::press_key(VK_RETURN);
    });
    EXPECT_EQ(popup_list(texts, nullptr, 4, 3), 0) << "no row before the first";
}

} // namespace
