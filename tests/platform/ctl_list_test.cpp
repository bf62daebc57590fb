// List boxes and combo boxes: selection rules, owner drawing, notifications.
#include "dlg_fixture.h"

#include "platform/gdi.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>

#include <QWidget>
#include <algorithm>
#include <string>

using namespace dlgtest;
namespace td = test_driver;

namespace {

class ListTest : public ItemDialogTest {
protected:
    ListTest() : ItemDialogTest("Lists") {}
    // Client point of the middle of item `i`.
    POINT at(HWND list, int i) {
        RECT r{};
        SendMessage(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void add(HWND list, std::initializer_list<const char*> texts) {
        for (const char* t : texts) SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    }
    std::vector<int> selected(HWND list) {
        int n = static_cast<int>(SendMessage(list, LB_GETSELCOUNT, 0, 0));
        std::vector<int> v(static_cast<std::size_t>(std::max(n, 0)));
        SendMessage(list, LB_GETSELITEMS, static_cast<WPARAM>(n),
                    reinterpret_cast<LPARAM>(v.data()));
        return v;
    }
};

TEST_F(ListTest, SortedListFindsAndKeepsDataWithItsItem) {
    open({{WC_LISTBOX, 10, nullptr, vis | LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 5, 5, 100,
           80}});
    HWND l = item(10);
    add(l, {"pear", "Apple", "fig"});
    EXPECT_EQ(SendMessage(l, LB_GETCOUNT, 0, 0), 3);
    char buf[32];
    SendMessage(l, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, "Apple");
    int fig = static_cast<int>(SendMessage(l, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("FIG")));
    EXPECT_EQ(fig, 1);
    SendMessage(l, LB_SETITEMDATA, 1, 4711);
    SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("banana")); // lands before fig
    EXPECT_EQ(SendMessage(l, LB_GETITEMDATA, 2, 0), 4711);
    EXPECT_EQ(SendMessage(l, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("p")),
              3);
    EXPECT_EQ(SendMessage(l, LB_GETTEXT, 9, reinterpret_cast<LPARAM>(buf)), LB_ERR);
    // Programmatic selection notifies nothing; the user's click does.
    EXPECT_EQ(SendMessage(l, LB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessage(l, LB_SETCURSEL, 99, 0), LB_ERR);
    EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), LB_ERR); // an invalid index clears it
    EXPECT_TRUE(codes_of(10).empty());
    POINT p = at(l, 1);
    td::click(l, p.x, p.y);
    pump();
    EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), 1);
    // The click gave the list the focus first.
    EXPECT_EQ(codes_of(10), (std::vector<int>{LBN_SETFOCUS, LBN_SELCHANGE}));
    td::double_click(l, p.x, p.y);
    pump();
    EXPECT_EQ(codes_of(10).back(), LBN_DBLCLK);
    EXPECT_EQ(SendMessage(l, LB_DELETESTRING, 0, 0), 3);
    EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), 0); // the selected item moved up
}

TEST_F(ListTest, MultipleSelectionTogglesAndExtendedSelectionUsesShiftAndCtrl) {
    open({{WC_LISTBOX, 11, nullptr, vis | LBS_MULTIPLESEL | LBS_NOTIFY, 5, 5, 100, 80},
          {WC_LISTBOX, 12, nullptr, vis | LBS_EXTENDEDSEL | LBS_NOTIFY, 110, 5, 100, 80}});
    HWND m = item(11), x = item(12);
    add(m, {"a", "b", "c", "d"});
    add(x, {"a", "b", "c", "d", "e"});
    EXPECT_EQ(SendMessage(m, LB_SETCURSEL, 0, 0), LB_ERR); // single-selection only
    td::click(m, at(m, 1).x, at(m, 1).y);
    td::click(m, at(m, 3).x, at(m, 3).y);
    td::click(m, at(m, 1).x, at(m, 1).y); // toggles off again
    pump();
    EXPECT_EQ(selected(m), std::vector<int>{3});
    std::vector<int> c11 = codes_of(11);
    EXPECT_EQ(std::count(c11.begin(), c11.end(), LBN_SELCHANGE), 3);

    td::click(x, at(x, 1).x, at(x, 1).y);
    td::click(x, at(x, 3).x, at(x, 3).y, td::Button::left, td::shift);
    pump();
    EXPECT_EQ(selected(x), (std::vector<int>{1, 2, 3}));
    td::click(x, at(x, 2).x, at(x, 2).y, td::Button::left, td::ctrl);
    pump();
    EXPECT_EQ(selected(x), (std::vector<int>{1, 3}));
    td::click(x, at(x, 4).x, at(x, 4).y);
    pump();
    EXPECT_EQ(selected(x), std::vector<int>{4});
    // Programmatic range selection.
    SendMessage(x, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 2));
    EXPECT_EQ(selected(x), (std::vector<int>{0, 1, 2, 4}));
    SendMessage(x, LB_SETSEL, FALSE, -1);
    EXPECT_TRUE(selected(x).empty());
}

// An owner-drawn list: the dialog measures and draws each item itself.
TEST_F(ListTest, OwnerDrawnVariableListMeasuresAndDrawsThroughTheParent) {
    std::vector<UINT> measured, drawn;
    hook() = [&](HWND, UINT msg, WPARAM, LPARAM lp) -> INT_PTR {
        if (msg == WM_MEASUREITEM) {
            auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
            measured.push_back(mi->itemID);
            mi->itemHeight = 10 + 5 * mi->itemID;
            return TRUE;
        }
        if (msg == WM_DRAWITEM) {
            auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            EXPECT_EQ(di->CtlType, ODT_LISTBOX);
            drawn.push_back(di->itemID);
            HBRUSH b =
                CreateSolidBrush((di->itemState & ODS_SELECTED) ? RGB(255, 0, 0) : RGB(0, 0, 255));
            FillRect(di->hDC, &di->rcItem, b);
            DeleteObject(b);
            return TRUE;
        }
        return 0;
    };
    open({{WC_LISTBOX, 13, nullptr, vis | LBS_OWNERDRAWVARIABLE | LBS_NOTIFY, 5, 5, 100, 100}});
    HWND l = item(13);
    for (int i = 0; i < 3; ++i) SendMessage(l, LB_ADDSTRING, 0, 100 + i); // item data, no strings
    EXPECT_EQ(measured, (std::vector<UINT>{0, 1, 2}));
    EXPECT_EQ(SendMessage(l, LB_GETITEMHEIGHT, 2, 0), 20);
    EXPECT_EQ(SendMessage(l, LB_GETITEMDATA, 1, 0), 101);
    RECT r2{};
    SendMessage(l, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r2));
    EXPECT_EQ(r2.bottom - r2.top, 20);
    EXPECT_EQ(r2.top - 0, 10 + 15 + 0 + r2.left); // below items of 10 and 15 pixels
    SendMessage(l, LB_SETCURSEL, 1, 0);
    QWidget* w = win_widget(l);
    ASSERT_NE(w, nullptr);
    QImage shot = w->grab().toImage();
    ASSERT_FALSE(drawn.empty());
    QPoint in1(r2.left + 5, r2.top - 5); // inside item 1 (selected)
    QPoint in2(r2.left + 5, r2.top + 5); // inside item 2
    EXPECT_EQ(QColor(shot.pixel(in1)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(shot.pixel(in2)), QColor(0, 0, 255));
}

TEST_F(ListTest, FixedOwnerDrawnListAsksItsHeightOnceAtCreation) {
    int asks = 0;
    hook() = [&](HWND, UINT msg, WPARAM, LPARAM lp) -> INT_PTR {
        if (msg == WM_MEASUREITEM) {
            ++asks;
            reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = 17;
            return TRUE;
        }
        return 0;
    };
    open({{WC_LISTBOX, 14, nullptr, vis | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 5, 5, 100, 100}});
    add(item(14), {"x", "y"});
    EXPECT_EQ(asks, 1);
    EXPECT_EQ(SendMessage(item(14), LB_GETITEMHEIGHT, 0, 0), 17);
    char buf[8];
    SendMessage(item(14), LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, "y");
}

TEST_F(ListTest, DropDownListNotifiesInOrderAndOnlyForTheUser) {
    open({{WC_COMBOBOX, 20, nullptr, vis | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 5, 5, 100,
           80}});
    HWND c = item(20);
    for (const char* t : {"6", "8", "9", "10"})
        SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), CB_ERR); // adding selects nothing
    EXPECT_EQ(SendMessage(c, CB_SETCURSEL, 1, 0), 1);
    EXPECT_TRUE(codes_of(20).empty());
    RECT rc;
    GetClientRect(c, &rc);
    EXPECT_LT(rc.bottom, 40); // one line high, not the template's list height

    // Open, move down one, choose with Enter (the keys as the queue delivers
    // them to the focused combo box).
    SetFocus(c);
    notes().clear();
    SendMessage(c, CB_SHOWDROPDOWN, TRUE, 0);
    EXPECT_TRUE(SendMessage(c, CB_GETDROPPEDSTATE, 0, 0));
    PostMessage(c, WM_KEYDOWN, VK_DOWN, 0);
    PostMessage(c, WM_KEYDOWN, VK_RETURN, 0);
    pump();
    EXPECT_FALSE(SendMessage(c, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(codes_of(20),
              (std::vector<int>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
    notes().clear();
    // Dismissed without a choice.
    SendMessage(c, CB_SHOWDROPDOWN, TRUE, 0);
    PostMessage(c, WM_KEYDOWN, VK_ESCAPE, 0);
    pump();
    EXPECT_EQ(codes_of(20), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 2);
}

// In an open list of thirty lines a page key moves a page less the line
// kept in view (29 items), and stops at either end.
TEST_F(ListTest, PageKeysInAnOpenListMoveAPageLessOneLine) {
    open({{WC_COMBOBOX, 21, nullptr, vis | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 5, 5, 100,
           200}});
    HWND c = item(21);
    for (int i = 0; i < 100; ++i)
        SendMessage(c, CB_ADDSTRING, 0,
                    reinterpret_cast<LPARAM>(("item " + std::to_string(1000 + i)).c_str()));
    SendMessage(c, CB_SETCURSEL, 0, 0);
    SetFocus(c);
    auto keys_then_enter = [&](std::initializer_list<WPARAM> keys) {
        SendMessage(c, CB_SHOWDROPDOWN, TRUE, 0);
        for (WPARAM k : keys) PostMessage(c, WM_KEYDOWN, k, 0);
        PostMessage(c, WM_KEYDOWN, VK_RETURN, 0);
        pump();
        return static_cast<int>(SendMessage(c, CB_GETCURSEL, 0, 0));
    };
    EXPECT_EQ(keys_then_enter({VK_NEXT}), 29);
    EXPECT_EQ(keys_then_enter({VK_NEXT, VK_NEXT}), 87);
    EXPECT_EQ(keys_then_enter({VK_NEXT}), 99); // the last
    EXPECT_EQ(keys_then_enter({VK_PRIOR, VK_UP}), 69);
    EXPECT_EQ(keys_then_enter({VK_PRIOR, VK_PRIOR, VK_PRIOR}), 0); // the first
}

TEST_F(ListTest, DropDownComboEditsAndFindsItems) {
    open({{WC_COMBOBOX, 21, "start", vis | CBS_DROPDOWN | CBS_SORT | WS_TABSTOP, 5, 5, 100, 80}});
    HWND c = item(21);
    char buf[32];
    GetWindowText(c, buf, sizeof buf);
    EXPECT_STREQ(buf, "start");
    for (const char* t : {"time", "Alpha", "gamma"})
        SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    SendMessage(c, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, "Alpha");
    EXPECT_EQ(
        SendMessage(c, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("ga")),
        1);
    GetWindowText(c, buf, sizeof buf);
    EXPECT_STREQ(buf, "gamma");
    SetFocus(c);
    td::type_text("x");
    pump();
    GetWindowText(c, buf, sizeof buf);
    EXPECT_STREQ(buf, "x"); // the focus selected the whole text, typing replaced it
    std::vector<int> codes = codes_of(21);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], CBN_EDITUPDATE);
    EXPECT_EQ(codes.back(), CBN_EDITCHANGE);
}

// A sorted combo box orders its items without regard to case, as a user
// reads them, and a search starts after the item given and wraps round.
TEST_F(ListTest, SortedComboIgnoresCaseAndSearchesWrapFromTheItemAfter) {
    open({{WC_COMBOBOX, 22, nullptr, vis | CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP, 5, 5, 100,
           80}});
    HWND c = item(22);
    for (const char* t : {"beta", "Gamma", "alpha", "Beta2", "delta"})
        SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    std::vector<std::string> order;
    char buf[32];
    for (int i = 0; i < 5; ++i) {
        SendMessage(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        order.emplace_back(buf);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"alpha", "beta", "Beta2", "delta", "Gamma"}));
    auto find = [&](UINT msg, int after, const char* text) {
        return static_cast<int>(
            SendMessage(c, msg, static_cast<WPARAM>(after), reinterpret_cast<LPARAM>(text)));
    };
    EXPECT_EQ(find(CB_FINDSTRING, -1, "gam"), 4) << "from the start, the last item too";
    EXPECT_EQ(find(CB_FINDSTRING, -1, "BE"), 1);
    EXPECT_EQ(find(CB_FINDSTRING, 1, "be"), 2) << "the item after the one given first";
    EXPECT_EQ(find(CB_FINDSTRING, 2, "be"), 1) << "wrapping round past the end";
    EXPECT_EQ(find(CB_FINDSTRINGEXACT, -1, "BETA"), 1);
    EXPECT_EQ(find(CB_FINDSTRINGEXACT, 1, "beta"), 1) << "the only match, found on wrapping";
    EXPECT_EQ(find(CB_FINDSTRINGEXACT, -1, "bet"), CB_ERR);
    // An item inserted at an index stands there, sorted or not; the end is
    // an index too, one past it is not.
    EXPECT_EQ(find(CB_INSERTSTRING, 5, "zz-end"), 5);
    EXPECT_EQ(find(CB_INSERTSTRING, 7, "past"), CB_ERR);
    EXPECT_EQ(SendMessage(c, CB_GETCOUNT, 0, 0), 6);
}

} // namespace
