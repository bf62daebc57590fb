// List box messages a program fills and reads its lists by: inserting at any
// place up to the end, selecting a range either way round, and tab stops in
// dialog units.
#include "dlg_fixture.h"

#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <string>
#include <vector>

using namespace dlgtest;

namespace {

class ListMessages : public ItemDialogTest {
protected:
    ListMessages() : ItemDialogTest("List messages") {}
    std::vector<std::string> texts(HWND list) {
        std::vector<std::string> out;
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char buf[64] = {};
            SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            out.emplace_back(buf);
        }
        return out;
    }
    std::vector<int> selected(HWND list) {
        std::vector<int> out;
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i)
            if (SendMessage(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) out.push_back(i);
        return out;
    }
    LRESULT insert(HWND list, int at, const char* text) {
        return SendMessage(list, LB_INSERTSTRING, static_cast<WPARAM>(at),
                           reinterpret_cast<LPARAM>(text));
    }
};

TEST_F(ListMessages, InsertingTakesEveryPlaceUpToTheEndAndNoneBeyond) {
    open({{WC_LISTBOX, 10, nullptr, vis | LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 5, 5, 100, 80}});
    HWND l = item(10);
    EXPECT_EQ(insert(l, 0, "b"), 0);
    EXPECT_EQ(insert(l, 0, "a"), 0);
    // The count itself is the place after the last item.
    EXPECT_EQ(insert(l, 2, "d"), 2);
    EXPECT_EQ(insert(l, 2, "c"), 2);
    EXPECT_EQ(insert(l, -1, "e"), 4); // -1: at the end
    EXPECT_EQ(insert(l, 6, "x"), LB_ERR);
    EXPECT_EQ(insert(l, -2, "x"), LB_ERR);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}

// LB_SELITEMRANGEEX selects from the first to the last when the first comes
// first (one item when they are the same) and deselects when it comes last.
TEST_F(ListMessages, ARangeIsSelectedOrDeselectedByItsDirection) {
    open({{WC_LISTBOX, 11, nullptr, vis | LBS_EXTENDEDSEL | LBS_NOTIFY, 5, 5, 100, 80}});
    HWND l = item(11);
    for (const char* t : {"a", "b", "c", "d", "e", "f"})
        SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    SendMessage(l, LB_SELITEMRANGEEX, 1, 4);
    EXPECT_EQ(selected(l), (std::vector<int>{1, 2, 3, 4}));
    SendMessage(l, LB_SELITEMRANGEEX, 3, 2); // last before first: off
    EXPECT_EQ(selected(l), (std::vector<int>{1, 4}));
    SendMessage(l, LB_SELITEMRANGEEX, 5, 5);
    EXPECT_EQ(selected(l), (std::vector<int>{1, 4, 5}));
    SendMessage(l, LB_SELITEMRANGEEX, 4, 4 - 1 - 99); // past the start: clipped
    EXPECT_EQ(selected(l), (std::vector<int>{5}));
    // LB_SELITEMRANGE: the flag says which, the range in the low and high words.
    SendMessage(l, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 0));
    EXPECT_EQ(selected(l), (std::vector<int>{0, 5}));
    SendMessage(l, LB_SELITEMRANGE, FALSE, MAKELPARAM(0, 5));
    EXPECT_TRUE(selected(l).empty());
}

// The starts of the dark runs of pixels along an item's rows: where each
// piece of text begins.
std::vector<int> ink_starts(const QImage& shot, const RECT& r) {
    std::vector<int> starts;
    bool inked = false;
    int gap = 0;
    for (int x = r.left; x < r.right && x < shot.width(); ++x) {
        bool dark = false;
        for (int y = r.top; y < r.bottom && y < shot.height() && !dark; ++y)
            dark = qGray(shot.pixel(x, y)) < 128;
        if (dark && !inked && (starts.empty() || gap > 4)) starts.push_back(x);
        if (dark)
            gap = 0;
        else
            ++gap;
        inked = dark;
    }
    return starts;
}

// Tab stops are given in dialog units, a quarter of the font's average
// character width each: text after a tab starts at its stop.
TEST_F(ListMessages, TabStopsAreDialogUnitsOfTheListsFont) {
    open({{WC_LISTBOX, 12, nullptr, vis | LBS_USETABSTOPS | LBS_NOTIFY, 5, 5, 200, 60}});
    HWND l = item(12);
    const int stops[2] = {40, 100};
    EXPECT_TRUE(SendMessage(l, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)));
    SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("i\tW\tW"));
    RECT item_rect{};
    SendMessage(l, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item_rect));
    // The dialog's own units are those of the list's font.
    RECT units{0, 0, 100, 0};
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    const double per_unit = units.right / 100.0;
    QWidget* w = win_widget(l);
    ASSERT_NE(w, nullptr);
    const QImage shot = w->grab().toImage();
    const std::vector<int> starts = ink_starts(shot, item_rect);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_NEAR(starts[1] - starts[0], 40 * per_unit, 3);
    EXPECT_NEAR(starts[2] - starts[0], 100 * per_unit, 3);
}

// Item heights go up to 255 pixels; a point below the items gives the
// nearest one with the high word set (outside the items).
TEST_F(ListMessages, ItemHeightsUpTo255AndPointsOutsideTheItems) {
    open({{WC_LISTBOX, 13, nullptr, vis | LBS_NOTIFY | WS_BORDER, 5, 5, 100, 100}});
    HWND l = item(13);
    for (const char* t : {"a", "b"}) SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    EXPECT_EQ(SendMessage(l, LB_SETITEMHEIGHT, 0, MAKELPARAM(255, 0)), 0);
    EXPECT_EQ(SendMessage(l, LB_GETITEMHEIGHT, 0, 0), 255);
    EXPECT_EQ(SendMessage(l, LB_SETITEMHEIGHT, 0, MAKELPARAM(256, 0)), LB_ERR);
    EXPECT_EQ(SendMessage(l, LB_SETITEMHEIGHT, 0, MAKELPARAM(0, 0)), LB_ERR);
    EXPECT_EQ(SendMessage(l, LB_GETITEMHEIGHT, 0, 0), 255);
    SendMessage(l, LB_SETITEMHEIGHT, 0, MAKELPARAM(12, 0));
    RECT first{};
    SendMessage(l, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    const LRESULT on =
        SendMessage(l, LB_ITEMFROMPOINT, 0, MAKELPARAM(first.left + 2, first.top + 2));
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(on)), 0);
    EXPECT_EQ(HIWORD(static_cast<std::uintptr_t>(on)), 0);
    // Below the last item: the last one, outside.
    const LRESULT below = SendMessage(l, LB_ITEMFROMPOINT, 0, MAKELPARAM(first.left + 2, 90));
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(below)), 1);
    EXPECT_EQ(HIWORD(static_cast<std::uintptr_t>(below)), 1);
}

// Items lie edge to edge: each item's rectangle starts where the one above
// ends, and a point belongs to the item whose rectangle holds it, its last
// row included and the next item's first row not; also after scrolling.
TEST_F(ListMessages, PointsBelongToTheItemWhoseRowsHoldThem) {
    open({{WC_LISTBOX, 14, nullptr, vis | LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 5, 5, 100, 60}});
    HWND l = item(14);
    for (const char* t : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"})
        SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    const int h = static_cast<int>(SendMessage(l, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(h, 1);
    auto rect_of = [&](int i) {
        RECT r{};
        SendMessage(l, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        return r;
    };
    auto at = [&](int x, int y) {
        return static_cast<int>(
            static_cast<std::uintptr_t>(SendMessage(l, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y))));
    };
    for (int top : {0, 3}) {
        SCOPED_TRACE(top);
        SendMessage(l, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
        ASSERT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), top);
        const RECT first = rect_of(top), second = rect_of(top + 1);
        EXPECT_EQ(first.bottom - first.top, h);
        EXPECT_EQ(second.top, first.bottom);
        EXPECT_EQ(at(first.left + 3, first.top), top);
        EXPECT_EQ(at(first.left + 3, first.bottom - 1), top);
        EXPECT_EQ(at(first.left + 3, first.bottom), top + 1);
        EXPECT_EQ(at(first.left + 3, second.bottom - 1), top + 1);
        EXPECT_EQ(at(first.left + 3, second.bottom), top + 2);
    }
}

} // namespace
