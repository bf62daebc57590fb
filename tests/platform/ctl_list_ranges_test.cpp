// List boxes: the selected items read into a buffer no larger than the
// program gave, ranges selected by their low and high words, and the top
// item kept among the items there are.
#include "dlg_fixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace dlgtest;

namespace {

class ListRanges : public ItemDialogTest {
protected:
    ListRanges() : ItemDialogTest("List ranges") {}
    HWND filled(int id, DWORD style, int n) {
        open({{WC_LISTBOX, id, nullptr, vis | style | WS_VSCROLL | WS_BORDER, 5, 5, 100, 40}});
        HWND l = item(id);
        for (int i = 0; i < n; ++i) {
            const std::string t = "item " + std::to_string(i);
            SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
        }
        return l;
    }
};

TEST_F(ListRanges, SelectedItemsFillNoMoreThanTheBufferGiven) {
    HWND l = filled(20, LBS_MULTIPLESEL, 6);
    SendMessage(l, LB_SELITEMRANGE, TRUE, MAKELPARAM(1, 4));
    EXPECT_EQ(SendMessage(l, LB_GETSELCOUNT, 0, 0), 4);
    int out[4] = {-1, -1, -1, -1};
    EXPECT_EQ(SendMessage(l, LB_GETSELITEMS, 2, reinterpret_cast<LPARAM>(out)), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], -1); // past the buffer: untouched
    int all[6] = {};
    EXPECT_EQ(SendMessage(l, LB_GETSELITEMS, 6, reinterpret_cast<LPARAM>(all)), 4);
    EXPECT_EQ(std::vector<int>(all, all + 4), (std::vector<int>{1, 2, 3, 4}));
    // Deselecting the middle by the same words.
    SendMessage(l, LB_SELITEMRANGE, FALSE, MAKELPARAM(2, 3));
    EXPECT_EQ(SendMessage(l, LB_GETSELITEMS, 6, reinterpret_cast<LPARAM>(all)), 2);
    EXPECT_EQ(std::vector<int>(all, all + 2), (std::vector<int>{1, 4}));
}

TEST_F(ListRanges, TheTopItemIsOneOfTheItems) {
    HWND l = filled(21, 0, 12);
    EXPECT_EQ(SendMessage(l, LB_SETTOPINDEX, 11, 0), 0);
    EXPECT_EQ(SendMessage(l, LB_SETTOPINDEX, 12, 0), LB_ERR);
    EXPECT_EQ(SendMessage(l, LB_SETTOPINDEX, static_cast<WPARAM>(-1), 0), LB_ERR);
    EXPECT_EQ(SendMessage(l, LB_SETTOPINDEX, 3, 0), 0);
    EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), 3);
}

} // namespace
