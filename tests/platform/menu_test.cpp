// Menus: items and states, templates, the window's bar, choosing commands and
// pop-up menus.
#include "dlg_fixture.h"

#include "platform/menu.h"
#include "platform/msgbox.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWidget>

#include <cstring>

using namespace dlgtest;
namespace td = test_driver;

namespace {

std::vector<std::pair<UINT, WPARAM>> seen;
HMENU grey_in_init = nullptr;

std::vector<LPARAM> keymenus;   // WM_SYSCOMMAND SC_KEYMENU seen by the frame
std::vector<std::string> order; // creation messages, with what the window had then

LRESULT frame_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_INITMENU || m == WM_INITMENUPOPUP || m == WM_COMMAND) seen.push_back({m, wp});
    if (m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU) keymenus.push_back(lp);
    if (m == WM_CREATE || m == WM_SIZE) {
        RECT rc;
        GetClientRect(h, &rc);
        bool bar = win_widget(h) && win_widget(h)->findChild<QMenuBar*>() != nullptr;
        order.push_back(std::string(m == WM_CREATE ? "create " : "size ") +
                        std::to_string(rc.bottom) + (bar ? " bar" : ""));
    }
    // The program greys "Save" (487) whenever the File menu opens.
    if (m == WM_INITMENUPOPUP && grey_in_init)
        EnableMenuItem(grey_in_init, 487, MF_BYCOMMAND | MF_GRAYED);
    return DefWindowProc(h, m, wp, lp);
}

std::vector<WPARAM> child_keys; // WM_KEYDOWN seen by a child window
LRESULT child_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_KEYDOWN) child_keys.push_back(wp);
    return DefWindowProc(h, m, wp, lp);
}

class MenuTest : public DlgTest {
protected:
    void TearDown() override {
        menu_set_popup_chooser(nullptr);
        if (QWidget* p = QApplication::activePopupWidget()) p->close();
        DlgTest::TearDown();
    }
    void SetUp() override {
        DlgTest::SetUp();
        seen.clear();
        keymenus.clear();
        order.clear();
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
    // Positions past either end name nothing.
    EXPECT_EQ(GetSubMenu(bar, 2), nullptr);
    EXPECT_EQ(GetSubMenu(bar, -1), nullptr);
    EXPECT_EQ(GetMenuItemID(file, 4), static_cast<UINT>(-1));
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

// A pop-up item has no command of its own; an item's text is cut to the
// buffer given, its end always written.
TEST_F(MenuTest, PopupsHaveNoCommandAndTextsAreCutToTheBuffer) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetMenuItemID(bar, 0), static_cast<UINT>(-1));
    EXPECT_EQ(GetMenuItemID(bar, 1), static_cast<UINT>(-1));
    HMENU file = GetSubMenu(bar, 0);
    EXPECT_EQ(GetMenuItemID(file, 0), 524u);
    EXPECT_EQ(GetMenuItemID(file, 3), 526u);
    char text[16];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(GetMenuString(bar, 524, text, 6, MF_BYCOMMAND), 5);
    EXPECT_STREQ(text, "&Open");
    EXPECT_EQ(text[6], '#'); // past the size given: untouched
    EXPECT_EQ(GetMenuString(bar, 0, text, sizeof text, MF_BYPOSITION), 5);
    EXPECT_STREQ(text, "&File");
    EXPECT_EQ(GetMenuString(bar, 524, nullptr, 0, MF_BYCOMMAND), 14); // the length wanted
    DestroyMenu(bar);
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

// What the user sees on the bar: items disabled or greyed by the program
// are shown unavailable, both on a popup and as a popup of their own.
TEST_F(MenuTest, DisabledAndGreyedItemsShowUnavailable) {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    HMENU more = CreatePopupMenu();
    AppendMenu(file, MF_STRING, 20, "Plain");
    AppendMenu(file, MF_STRING | MF_DISABLED, 21, "Disabled");
    AppendMenu(file, MF_STRING | MF_GRAYED, 22, "Greyed");
    AppendMenu(more, MF_STRING, 23, "Inner");
    AppendMenu(file, MF_POPUP | MF_DISABLED, reinterpret_cast<UINT_PTR>(more), "More");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    HWND h = frame(bar);
    auto* qbar = win_widget(h)->findChild<QMenuBar*>();
    ASSERT_NE(qbar, nullptr);
    ASSERT_EQ(qbar->actions().size(), 1);
    QMenu* sub = qbar->actions()[0]->menu();
    ASSERT_NE(sub, nullptr);
    Q_EMIT sub->aboutToShow();
    const QList<QAction*> items = sub->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    EXPECT_FALSE(items[2]->isEnabled());
    EXPECT_FALSE(items[3]->isEnabled());
    EXPECT_EQ(items[1]->text(), "Disabled");
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
    // Its bar is there at once, before the window is shown.
    EXPECT_NE(win_widget(h)->findChild<QMenuBar*>(), nullptr);
    ASSERT_FALSE(order.empty());
    EXPECT_NE(order.front().find("create"), std::string::npos);
    EXPECT_NE(order.front().find(" bar"), std::string::npos);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_LT(client.bottom, 200 - 10);
}

TEST_F(MenuTest, BarOfAWindowMadeWithAMenuIsThereFromWmCreateOn) {
    // Not shown: the bar does not wait for the window to appear.
    HWND h = CreateWindowEx(0, "MenuFrame", "hidden", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                            LoadMenu(nullptr, MAKEINTRESOURCE(105)), nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_LT(client.bottom, 300 - 10); // the bar takes its height
    std::string final_height = std::to_string(client.bottom);
    // WM_CREATE already sees the bar and the final client area; the one
    // WM_SIZE of creation comes after it.
    EXPECT_EQ(order, (std::vector<std::string>{"create " + final_height + " bar",
                                               "size " + final_height + " bar"}));
    // The menu knows its window: destroying it takes the bar off.
    EXPECT_TRUE(DestroyMenu(GetMenu(h)));
    EXPECT_EQ(GetMenu(h), nullptr);
    GetClientRect(h, &client);
    EXPECT_EQ(client.bottom, 300);
}

TEST_F(MenuTest, AltLetterOpensThePopupWithThatMnemonicAfterTheInitMessages) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HWND h = frame(bar);
    SetFocus(h);
    std::vector<HMENU> asked;
    menu_set_popup_chooser([&](HMENU m, HWND w) -> UINT {
        EXPECT_EQ(w, h);
        asked.push_back(m);
        return 504;
    });
    td::press_key('W', td::alt);
    td::run_until_idle();
    EXPECT_EQ(keymenus, (std::vector<LPARAM>{'w'}));
    ASSERT_EQ(asked, (std::vector<HMENU>{GetSubMenu(bar, 1)}));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (std::pair<UINT, WPARAM>{WM_INITMENU, reinterpret_cast<WPARAM>(bar)}));
    EXPECT_EQ(seen[1],
              (std::pair<UINT, WPARAM>{WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(asked[0])}));
    EXPECT_EQ(seen[2], (std::pair<UINT, WPARAM>{WM_COMMAND, 504}));

    // No pop-up has the mnemonic: nothing opens and nothing is chosen.
    seen.clear();
    asked.clear();
    td::press_key('Q', td::alt);
    td::run_until_idle();
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(seen.empty());
    // A greyed pop-up does not open either.
    EnableMenuItem(bar, 1, MF_BYPOSITION | MF_GRAYED);
    td::press_key('W', td::alt | td::shift);
    td::run_until_idle();
    EXPECT_TRUE(asked.empty());
    // A greyed command in the pop-up is refused even when the chooser picks it.
    grey_in_init = bar;
    errors().clear();
    menu_set_popup_chooser([](HMENU, HWND) -> UINT { return 487; });
    td::press_key('F', td::alt);
    td::run_until_idle();
    EXPECT_FALSE(errors().empty());
    for (auto& [msg, wp] : seen) EXPECT_NE(msg, static_cast<UINT>(WM_COMMAND));
}

TEST_F(MenuTest, F10OpensTheFirstPopupAndKeysInAControlReachTheBar) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HWND h = frame(bar);
    HWND edit = CreateWindowEx(0, WC_EDIT, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 100, 20, h,
                               reinterpret_cast<HMENU>(9), nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    SetFocus(edit);
    std::vector<HMENU> asked;
    menu_set_popup_chooser([&](HMENU m, HWND) -> UINT {
        asked.push_back(m);
        return 0; // dismissed
    });
    td::press_key(VK_F10);
    td::run_until_idle();
    ASSERT_EQ(asked, (std::vector<HMENU>{GetSubMenu(bar, 0)}));
    EXPECT_EQ(keymenus, (std::vector<LPARAM>{0}));
    td::press_key('F', td::alt);
    td::run_until_idle();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(keymenus.back(), 'f');
    for (auto& [msg, wp] : seen) // dismissed: only the edit's own notifications
        if (msg == WM_COMMAND) {
            EXPECT_EQ(LOWORD(wp), 9);
        }
    char text[8];
    EXPECT_EQ(GetWindowText(edit, text, sizeof text), 0); // the letter was not typed
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(MenuTest, MenuKeyOnABarCommandChoosesItAndWithoutAChooserQtOpensThePopup) {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenu(file, MF_STRING, 21, "&New");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenu(bar, MF_STRING, 77, "R&un && Stop");
    HWND h = frame(bar);
    SetFocus(h);
    td::press_key('U', td::alt); // "&&" is an ampersand, not a mnemonic
    td::run_until_idle();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().first, static_cast<UINT>(WM_INITMENU));
    EXPECT_EQ(seen.back(), (std::pair<UINT, WPARAM>{WM_COMMAND, 77}));
    seen.clear();
    td::press_key('S', td::alt);
    td::run_until_idle();
    EXPECT_TRUE(seen.empty());

    // The real pop-up: Qt's bar opens it, asking the program first.
    td::press_key('F', td::alt);
    td::run_until_idle();
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->title(), "&File");
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, static_cast<UINT>(WM_INITMENU));
    EXPECT_EQ(seen[1], (std::pair<UINT, WPARAM>{WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file)}));
    popup->close();
}

TEST_F(MenuTest, AClickAfterEscClosedAMenuEndsTheBarsKeyboardMode) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HWND h = frame(bar);
    child_keys.clear();
    WNDCLASS wc{};
    wc.lpfnWndProc = child_proc;
    wc.lpszClassName = "MenuChild";
    RegisterClass(&wc);
    HWND child = CreateWindowEx(0, "MenuChild", "", WS_CHILD | WS_VISIBLE, 10, 10, 200, 150, h,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    SetFocus(child);
    auto* qbar = win_widget(h)->findChild<QMenuBar*>();
    ASSERT_NE(qbar, nullptr);
    // Alt+F opens the File menu; one Esc closes it and leaves the bar lit,
    // holding the keyboard.
    td::press_key('F', td::alt);
    td::run_until_idle();
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(popup, &esc);
    td::run_until_idle();
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_EQ(QApplication::focusWidget(), qbar);
    // A click in the window, where the program's focus already is: Enter
    // then goes to the window, and no menu opens.
    seen.clear();
    td::click(child, 20, 20);
    td::run_until_idle();
    EXPECT_NE(QApplication::focusWidget(), qbar);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : win_widget(child);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(target, &enter);
    QKeyEvent enter_up(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(target, &enter_up);
    td::run_until_idle();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    for (auto& [msg, wp] : seen) EXPECT_NE(msg, static_cast<UINT>(WM_INITMENUPOPUP));
    EXPECT_EQ(GetFocus(), child);
    EXPECT_EQ(child_keys, (std::vector<WPARAM>{VK_RETURN}));
}

TEST_F(MenuTest, TheBarOfAWindowUnderAModalBoxTakesNoClicksKeysOrChoices) {
    HMENU bar = LoadMenu(nullptr, MAKEINTRESOURCE(105));
    HWND h = frame(bar);
    auto* qbar = win_widget(h)->findChild<QMenuBar*>();
    ASSERT_NE(qbar, nullptr);
    // "File" on the bar, in the frame's client co-ordinates (above the client area).
    QPoint file_global = qbar->mapToGlobal(qbar->actionGeometry(qbar->actions()[0]).center());
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    int fx = file_global.x() - origin.x, fy = file_global.y() - origin.y;
    ASSERT_LT(fy, 0);
    std::vector<HMENU> asked;
    menu_set_popup_chooser([&](HMENU m, HWND) -> UINT {
        asked.push_back(m);
        return 0;
    });
    bool checked = false;
    td::on_idle([&] {
        checked = true;
        EXPECT_FALSE(IsWindowEnabled(h));
        EXPECT_FALSE(qbar->isEnabled());
        td::click(h, fx, fy);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        errors().clear();
        EXPECT_FALSE(menu_choose(h, 524));
        EXPECT_FALSE(errors().empty());
        SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, 'f');
        EXPECT_TRUE(asked.empty());
    });
    td::on_idle([] { td::press_key(VK_RETURN); });
    EXPECT_EQ(MessageBox(h, "Busy", "Box", MB_OK), IDOK);
    ASSERT_TRUE(checked);
    for (auto& [msg, wp] : seen) EXPECT_NE(msg, static_cast<UINT>(WM_COMMAND));

    // The box gone, the same click, key and choice reach the bar again.
    EXPECT_TRUE(qbar->isEnabled());
    SendMessage(h, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    EXPECT_EQ(asked, (std::vector<HMENU>{GetSubMenu(bar, 0)}));
    EXPECT_TRUE(menu_choose(h, 524));
    menu_set_popup_chooser(nullptr);
    td::click(h, fx, fy);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->title(), "&File");
    popup->close();
}

// Buttons at the bar's right end: inside the bar whatever its width, a press
// released on another button sends nothing, a click posts the button's
// message, and a button without a face is left out.
TEST_F(MenuTest, BarButtonsSitAtTheRightEndAndPostOnAClick) {
    HWND h = frame(LoadMenu(nullptr, MAKEINTRESOURCE(105)));
    auto* bar = win_widget(h)->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP face = CreateCompatibleBitmap(screen, 15, 15);
    ReleaseDC(nullptr, screen);
    MenuBarButton b[3];
    for (int i = 0; i < 3; ++i) {
        b[i].up = b[i].down = face;
        b[i].x = i * 17;
        b[i].target = h;
        b[i].message = WM_COMMAND;
        b[i].wparam = static_cast<WPARAM>(700 + i);
    }
    b[1].up = nullptr; // no face: not shown
    ASSERT_TRUE(SetMenuBarButtons(h, b, 3));
    td::run_until_idle();
    EXPECT_EQ(GetMenuBarButtonCount(h), 2);
    QWidget* strip = bar->cornerWidget(Qt::TopRightCorner);
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(strip->isVisible());
    EXPECT_LE(strip->geometry().right(), bar->width() - 1);
    EXPECT_GE(strip->width(), 2 * 17 + 15);

    auto mouse = [&](QEvent::Type type, int x) {
        QPointF at(x, strip->height() / 2);
        QMouseEvent e(type, at, strip->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(strip, &e);
    };
    seen.clear();
    mouse(QEvent::MouseButtonPress, 7); // the first button
    mouse(QEvent::MouseButtonRelease, 2 * 17 + 7);
    td::run_until_idle();
    EXPECT_TRUE(seen.empty());
    mouse(QEvent::MouseButtonPress, 2 * 17 + 7);
    mouse(QEvent::MouseButtonRelease, 2 * 17 + 8);
    td::run_until_idle();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (std::pair<UINT, WPARAM>{WM_COMMAND, 702}));
    EXPECT_TRUE(ClickMenuBarButton(h, 0));
    EXPECT_FALSE(ClickMenuBarButton(h, 2));

    // Taking them away empties the corner.
    ASSERT_TRUE(SetMenuBarButtons(h, nullptr, 0));
    EXPECT_EQ(GetMenuBarButtonCount(h), 0);
    EXPECT_EQ(bar->cornerWidget(Qt::TopRightCorner), nullptr);
    EXPECT_FALSE(SetMenuBarButtons(h, nullptr, 1));
    DeleteObject(face);
}

} // namespace
