// Menus: items and states, templates, the window's bar, choosing commands and
// pop-up menus.
#include "dlg_test_util.h"

#include "platform/menu.h"
#include "platform/testing/driver.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QWidget>

using namespace dlgtest;
namespace td = test_driver;

namespace {

std::vector<std::pair<UINT, WPARAM>> seen;
HMENU grey_in_init = nullptr;

LRESULT frame_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_INITMENU || m == WM_INITMENUPOPUP || m == WM_COMMAND) seen.push_back({m, wp});
    // The program greys "Save" (487) whenever the File menu opens.
    if (m == WM_INITMENUPOPUP && grey_in_init)
        EnableMenuItem(grey_in_init, 487, MF_BYCOMMAND | MF_GRAYED);
    return DefWindowProc(h, m, wp, lp);
}

class MenuTest : public DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        seen.clear();
        grey_in_init = nullptr;
        menu_clear_templates();
        WNDCLASS wc{};
        wc.lpfnWndProc = frame_proc;
        wc.lpszClassName = "MenuFrame";
        RegisterClass(&wc);
        ASSERT_TRUE(menu_register_template(
            105, {{"&File",
                   0,
                   0,
                   {{"&Open Model...", 524}, {"-", 0}, {"&Save\t(Ctrl+S)", 487}, {"E&xit", 526}}},
                  {"&Windows", 0, 0, {{"Keep Build Be&hind", 502}, {"Pop B&uild Forward", 504}}}}));
    }
    HWND frame(HMENU menu) {
        return CreateWindowEx(0, "MenuFrame", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                              300, nullptr, menu, nullptr, nullptr);
    }
};

TEST_F(MenuTest, TemplatesBuildMenusWithStatesFoundByCommandInPopups) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetMenuItemCount(bar), 2);
    HMENU file = GetSubMenu(bar, 0);
    EXPECT_EQ(menu_item_ids(file), (std::vector<UINT>{524, 0, 487, 526}));
    EXPECT_EQ(GetMenuState(bar, 0, MF_BYPOSITION) >> 8, 4u); // a pop-up of four items
    // Keep Build Behind toggled as the command does, twice.
    for (int i = 0; i < 2; ++i) {
        bool on = !(GetMenuState(bar, 502, MF_BYCOMMAND) & MF_CHECKED);
        CheckMenuItem(bar, 502, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
        EnableMenuItem(bar, 504, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
    }
    EXPECT_EQ(GetMenuState(bar, 502, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(bar, 504, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ(CheckMenuItem(bar, 9999, MF_BYCOMMAND), static_cast<DWORD>(-1));
    char text[32];
    EXPECT_EQ(GetMenuString(bar, 487, text, sizeof text, MF_BYCOMMAND), 14);
    EXPECT_STREQ(text, "&Save\t(Ctrl+S)");
    EXPECT_EQ(LoadMenu(nullptr, MAKEINTRESOURCE(999)), nullptr);
    EXPECT_NE(errors().back().find("999"), std::string::npos);
}

TEST_F(MenuTest, RecentItemsAreInsertedAndDeletedAndPopupsDieWithDeleteMenu) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HMENU file = GetSubMenu(bar, 0);
    // Recent models go before Exit, after a separator.
    EXPECT_TRUE(InsertMenu(file, 526, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(InsertMenu(file, 526, MF_BYCOMMAND, 568, "1 model.kmf"));
    EXPECT_TRUE(ModifyMenu(file, 568, MF_BYCOMMAND, 568, "1 other.kmf"));
    EXPECT_EQ(menu_item_ids(file), (std::vector<UINT>{524, 0, 487, 0, 568, 526}));
    EXPECT_TRUE(DeleteMenu(bar, 568, MF_BYCOMMAND));
    EXPECT_FALSE(DeleteMenu(bar, 568, MF_BYCOMMAND));
    HMENU windows = GetSubMenu(bar, 1);
    EXPECT_TRUE(RemoveMenu(bar, 1, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(windows)); // removed, not destroyed
    EXPECT_TRUE(AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(windows), "&Windows"));
    EXPECT_TRUE(DeleteMenu(bar, 1, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(windows)); // destroyed with its item
    EXPECT_EQ(EnableMenuItem(windows, 502, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_TRUE(DestroyMenu(bar));
    EXPECT_FALSE(IsMenu(file));
}

TEST_F(MenuTest, BarShowsOnTheWindowAndTheClientAreaMakesRoom) {
    HWND h = frame(LoadMenu(nullptr, MAKEINTRESOURCE(105)));
    ASSERT_NE(GetMenu(h), nullptr);
    RECT client, window;
    GetClientRect(h, &client);
    GetWindowRect(h, &window);
    EXPECT_LT(client.bottom, window.bottom - window.top);
    auto* bar = win_widget(h)->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 2);
    EXPECT_EQ(bar->actions()[0]->text(), "&File");
    EXPECT_TRUE(SetMenu(h, nullptr));
    EXPECT_EQ(GetMenu(h), nullptr);
}

TEST_F(MenuTest, ChoosingACommandSendsInitMessagesFirstAndHonoursGreying) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HWND h = frame(bar);
    EXPECT_TRUE(menu_choose(h, 524));
    td::run_until_idle();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, WM_INITMENU);
    EXPECT_EQ(seen[1].first, WM_INITMENUPOPUP);
    EXPECT_EQ(seen[1].second, reinterpret_cast<WPARAM>(GetSubMenu(bar, 0)));
    EXPECT_EQ(seen[2], (std::pair<UINT, WPARAM>{WM_COMMAND, 524}));
    // Greyed by the program while the menu opened: not chosen.
    seen.clear();
    grey_in_init = bar;
    EXPECT_FALSE(menu_choose(h, 487));
    td::run_until_idle();
    EXPECT_EQ(seen.back().first, WM_INITMENUPOPUP);
    EXPECT_FALSE(menu_choose(h, 12345));
}

TEST_F(MenuTest, PopupMenuReturnsOrPostsTheChosenCommand) {
    HWND h = frame(nullptr);
    HMENU pop = CreatePopupMenu();
    AppendMenu(pop, MF_STRING, 10, "One");
    AppendMenu(pop, MF_STRING | MF_GRAYED, 11, "Two");
    menu_set_popup_chooser([&](HMENU m, HWND w) -> UINT {
        EXPECT_EQ(m, pop);
        EXPECT_EQ(w, h);
        return 10;
    });
    EXPECT_EQ(TrackPopupMenu(pop, TPM_RETURNCMD, 5, 5, 0, h, nullptr), 10);
    EXPECT_EQ(seen.front().first, WM_INITMENUPOPUP);
    seen.clear();
    EXPECT_TRUE(TrackPopupMenu(pop, 0, 5, 5, 0, h, nullptr));
    td::run_until_idle();
    EXPECT_EQ(seen.back(), (std::pair<UINT, WPARAM>{WM_COMMAND, 10}));
    menu_set_popup_chooser([](HMENU, HWND) -> UINT { return 11; }); // greyed
    EXPECT_EQ(TrackPopupMenu(pop, TPM_RETURNCMD, 5, 5, 0, h, nullptr), 0);
    menu_set_popup_chooser([](HMENU, HWND) -> UINT { return 0; }); // dismissed
    EXPECT_EQ(TrackPopupMenu(pop, TPM_RETURNCMD, 5, 5, 0, h, nullptr), 0);
    menu_set_popup_chooser(nullptr);
    DestroyMenu(pop);
}

TEST_F(MenuTest, ClassMenuComesFromTheTemplateNamedByTheClass) {
    WNDCLASS wc{};
    wc.lpfnWndProc = frame_proc;
    wc.lpszClassName = "MenuFrame2";
    wc.lpszMenuName = MAKEINTRESOURCE(105);
    RegisterClass(&wc);
    HWND h = CreateWindowEx(0, "MenuFrame2", "f", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(GetMenu(h), nullptr);
    EXPECT_EQ(GetMenuItemCount(GetMenu(h)), 2);
}

} // namespace
