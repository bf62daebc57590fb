// A tab control's items keep the value a program gives each: changed in
// place, and moving with their tab when an earlier one is deleted.
#include "dlg_fixture.h"

#include <gtest/gtest.h>

#include <string>

using namespace dlgtest;

namespace {

class TabItems : public ItemDialogTest {
protected:
    TabItems() : ItemDialogTest("Tabs") {}
    std::pair<std::string, LPARAM> get(HWND tab, int i) {
        char buf[32] = {};
        TCITEM ti{TCIF_TEXT | TCIF_PARAM, 0, 0, buf, sizeof buf, 0, 0};
        if (!SendMessage(tab, TCM_GETITEM, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti)))
            return {"?", -1};
        return {buf, ti.lParam};
    }
};

TEST_F(TabItems, ValuesAreChangedInPlaceAndMoveWithTheirTabs) {
    open({{WC_TABCONTROL, 50, nullptr, vis | WS_TABSTOP, 5, 5, 200, 100}});
    HWND tab = item(50);
    const char* names[] = {"One", "Two", "Three"};
    for (int i = 0; i < 3; ++i) {
        TCITEM ti{TCIF_TEXT | TCIF_PARAM, 0, 0, const_cast<char*>(names[i]), 0, 0, 100 + i};
        SendMessage(tab, TCM_INSERTITEM, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti));
    }
    // Only the value: the text stays.
    TCITEM value{TCIF_PARAM, 0, 0, nullptr, 0, 0, 555};
    EXPECT_TRUE(SendMessage(tab, TCM_SETITEM, 1, reinterpret_cast<LPARAM>(&value)));
    EXPECT_EQ(get(tab, 1), (std::pair<std::string, LPARAM>{"Two", 555}));
    // Only the text: the value stays.
    TCITEM text{TCIF_TEXT, 0, 0, const_cast<char*>("Drei"), 0, 0, 0};
    EXPECT_TRUE(SendMessage(tab, TCM_SETITEM, 2, reinterpret_cast<LPARAM>(&text)));
    EXPECT_EQ(get(tab, 2), (std::pair<std::string, LPARAM>{"Drei", 102}));
    EXPECT_FALSE(SendMessage(tab, TCM_SETITEM, 3, reinterpret_cast<LPARAM>(&value)));
    // The first tab deleted: the others move up with their values.
    EXPECT_TRUE(SendMessage(tab, TCM_DELETEITEM, 0, 0));
    EXPECT_EQ(SendMessage(tab, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(get(tab, 0), (std::pair<std::string, LPARAM>{"Two", 555}));
    EXPECT_EQ(get(tab, 1), (std::pair<std::string, LPARAM>{"Drei", 102}));
    // A tab inserted in the middle takes its own value, the later ones keep theirs.
    TCITEM mid{TCIF_TEXT | TCIF_PARAM, 0, 0, const_cast<char*>("Mid"), 0, 0, 7};
    EXPECT_EQ(SendMessage(tab, TCM_INSERTITEM, 1, reinterpret_cast<LPARAM>(&mid)), 1);
    EXPECT_EQ(get(tab, 1), (std::pair<std::string, LPARAM>{"Mid", 7}));
    EXPECT_EQ(get(tab, 2), (std::pair<std::string, LPARAM>{"Drei", 102}));
}

} // namespace
