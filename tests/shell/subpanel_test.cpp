// The "Subscript Control" window: opened from the panel's logic inside the
// container, driven by clicks and keys as a person would, and kept in step
// with the subscript selection of the open model.
#include "subpanel_fixture.h"

#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/subpanel.h"
#include "model/varnames.h"
#include "platform/controls.h"
#include "resources/subpanel.h"
#include "shell/state.h"
#include "shell/subpanel_wnd.h"
#include "tests/support/model_builder.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

int change_calls = 0;
void count_change() {
    ++change_calls;
}

class SubscriptPanel : public SubscriptPanelTest {
protected:
    void SetUp() override {
        SubscriptPanelTest::SetUp();
        if (HasFatalFailure()) return;
        change_calls = 0;
        set_subscript_change_hook(count_change);
        open_regions_model();
    }
    void open_regions_model() {
        model_builder b("regions");
        b.range("region", {"north", "south", "east"});
        b.range("age", {"young", "old"});
        b.constant("pop[region]", 1);
        ASSERT_TRUE(b.finish());
        open_model_file(b, "regions.kmf");
    }

    HWND panel() { return subscript_panel_hwnd(); }
    HWND item(int id) { return GetDlgItem(panel(), id); }
    std::string text_of(int id) {
        char buf[256] = {};
        GetDlgItemText(panel(), id, buf, sizeof buf);
        return buf;
    }
    std::vector<std::string> combo_items() {
        std::vector<std::string> out;
        LRESULT n = SendMessage(item(idc_sp_range), CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char buf[256] = {};
            SendMessage(item(idc_sp_range), CB_GETLBTEXT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(buf));
            out.emplace_back(buf);
        }
        return out;
    }
    std::vector<std::string> list_items() { return test_driver::list_texts(item(idc_sp_elements)); }
    bool list_selected(int i) {
        return SendMessage(item(idc_sp_elements), LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
    }
    // Clicks the middle of a list item, or of a control.
    void click_item(int i, bool twice = false) {
        RECT r{};
        ASSERT_GT(SendMessage(item(idc_sp_elements), LB_GETITEMRECT, static_cast<WPARAM>(i),
                              reinterpret_cast<LPARAM>(&r)),
                  0);
        int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        if (twice)
            td::double_click(item(idc_sp_elements), x, y);
        else
            td::click(item(idc_sp_elements), x, y);
        td::run_until_idle();
    }
    void click_button(int id) {
        RECT r{};
        GetClientRect(item(id), &r);
        td::click(item(id), r.right / 2, r.bottom / 2);
        td::run_until_idle();
    }
    bool selected(const char* range, int position) {
        return subscript_selected(find_symbol(range), position);
    }
};

TEST_F(SubscriptPanel, OpensInTheContainerWithTheRangesAndTheFirstRangesElements) {
    ASSERT_EQ(create_subscript_panel(1, -1, -1, -1, -1), 1);
    td::run_until_idle();
    ASSERT_NE(panel(), nullptr);
    EXPECT_EQ(GetParent(panel()), container_wnd);
    EXPECT_TRUE(IsWindowVisible(panel()));
    char caption[64] = {};
    GetWindowText(panel(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Subscript Control");
    // Ranges alphabetically, each with its summary; the first one shown.
    EXPECT_EQ(combo_items(), (std::vector<std::string>{"age (All)", "region (All)"}));
    EXPECT_EQ(SendMessage(item(idc_sp_range), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(list_items(), (std::vector<std::string>{"young", "old"}));
    EXPECT_TRUE(list_selected(0));
    EXPECT_TRUE(list_selected(1));
    EXPECT_EQ(text_of(idc_sp_summary), "All selected");
}

TEST_F(SubscriptPanel, TheWorkbenchVariablesRangeIsShownFirst) {
    workbench_var.var = find_symbol("pop");
    ASSERT_EQ(create_subscript_panel(1, -1, -1, -1, -1), 1);
    td::run_until_idle();
    EXPECT_EQ(list_items(), (std::vector<std::string>{"north", "south", "east"}));
    EXPECT_EQ(SendMessage(item(idc_sp_range), CB_GETCURSEL, 0, 0), 1);
}

TEST_F(SubscriptPanel, ClickingElementsChangesTheSelectionAndEveryViewOfIt) {
    workbench_var.var = find_symbol("pop");
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    click_item(1); // "south" off
    EXPECT_FALSE(selected("region", 1));
    EXPECT_TRUE(selected("region", 0));
    EXPECT_FALSE(list_selected(1));
    EXPECT_EQ(text_of(idc_sp_summary), "2 of 3 selected");
    EXPECT_EQ(combo_items()[1], "region (2 of 3)");
    EXPECT_EQ(change_calls, 1);
    // The element names of a variable follow the selection.
    const char** names = nullptr;
    int n = var_element_names(find_symbol("pop"), &names, 0);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(names[0], "pop[north]");
    EXPECT_STREQ(names[1], "pop[east]");
    click_item(0); // "north" off: one left
    EXPECT_EQ(text_of(idc_sp_summary), "east selected");
    click_item(1); // "south" on again
    EXPECT_TRUE(selected("region", 1));
    EXPECT_EQ(change_calls, 3);
}

TEST_F(SubscriptPanel, AllNoneAndADoubleClickSelectWholeSpans) {
    workbench_var.var = find_symbol("pop");
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    click_button(idc_sp_none);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(selected("region", i));
    EXPECT_EQ(text_of(idc_sp_summary), "None selected");
    EXPECT_FALSE(list_selected(0));
    click_button(idc_sp_all);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(selected("region", i));
    EXPECT_EQ(text_of(idc_sp_summary), "All selected");
    // A double click keeps that element alone.
    click_item(2, true);
    EXPECT_FALSE(selected("region", 0));
    EXPECT_FALSE(selected("region", 1));
    EXPECT_TRUE(selected("region", 2));
    EXPECT_EQ(text_of(idc_sp_summary), "east selected");
    EXPECT_TRUE(list_selected(2));
    EXPECT_FALSE(list_selected(0));
    // The other range is untouched.
    EXPECT_TRUE(selected("age", 0));
    EXPECT_TRUE(selected("age", 1));
    // After All, a double click on the first element keeps that one, not the
    // element whose selection the list set last.
    click_button(idc_sp_all);
    click_item(0, true);
    EXPECT_TRUE(selected("region", 0));
    EXPECT_FALSE(selected("region", 1));
    EXPECT_FALSE(selected("region", 2));
    EXPECT_EQ(text_of(idc_sp_summary), "north selected");
    click_button(idc_sp_all);
    click_item(1, true);
    EXPECT_EQ(text_of(idc_sp_summary), "south selected");
}

TEST_F(SubscriptPanel, AnotherRangeIsChosenWithTheKeyboard) {
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    ASSERT_EQ(list_items().size(), 2u); // age
    SetFocus(item(idc_sp_range));
    td::run_until_idle();
    td::press_key(VK_DOWN);
    answerer::run_modeless(panel());
    EXPECT_EQ(subpanel_range(), find_symbol("region"));
    EXPECT_EQ(list_items(), (std::vector<std::string>{"north", "south", "east"}));
    EXPECT_EQ(SendMessage(item(idc_sp_range), CB_GETCURSEL, 0, 0), 1);
    // Escape closes (hides) the panel through the dialog's keyboard handling.
    SetFocus(item(idc_sp_elements));
    td::press_key(VK_ESCAPE);
    answerer::run_modeless(panel());
    EXPECT_FALSE(IsWindowVisible(panel()));
    EXPECT_TRUE(subscript_panel_open());
}

TEST_F(SubscriptPanel, PlacementIsKeptAndTheWindowHidesShowsAndCloses) {
    ASSERT_EQ(create_subscript_panel(1, 40, 30, 300, 260), 1);
    td::run_until_idle();
    HWND p = panel();
    ASSERT_NE(p, nullptr);
    RECT wr{};
    GetWindowRect(p, &wr);
    POINT o{wr.left, wr.top};
    ScreenToClient(container_wnd, &o);
    EXPECT_EQ(o.x, 40);
    EXPECT_EQ(o.y, 30);
    EXPECT_EQ(wr.right - wr.left, 300);
    EXPECT_EQ(wr.bottom - wr.top, 260);
    // The controls follow the size: the list fills the width within margins.
    RECT lr{};
    GetWindowRect(item(idc_sp_elements), &lr);
    RECT cr{};
    GetClientRect(p, &cr);
    EXPECT_GT(lr.right - lr.left, cr.right / 2);
    // Moved by the user: remembered.
    MoveWindow(p, 70, 50, 320, 240, TRUE);
    td::run_until_idle();
    int rect[4];
    subscript_panel_rect(rect);
    EXPECT_EQ(rect[0], 70);
    EXPECT_EQ(rect[1], 50);
    EXPECT_EQ(rect[2], 320);
    EXPECT_EQ(rect[3], 240);
    // Close hides; the selection and the logic stay.
    click_button(IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(p));
    EXPECT_TRUE(subscript_panel_open());
    // Shown again where it was, the same window.
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    EXPECT_EQ(panel(), p);
    EXPECT_TRUE(IsWindowVisible(p));
    GetWindowRect(p, &wr);
    o = {wr.left, wr.top};
    ScreenToClient(container_wnd, &o);
    EXPECT_EQ(o.x, 70);
    EXPECT_EQ(o.y, 50);
    // A placement outside the container is pulled back inside it.
    create_subscript_panel(1, 5000, -1, -1, -1);
    td::run_until_idle();
    GetWindowRect(p, &wr);
    o = {wr.left, wr.top};
    ScreenToClient(container_wnd, &o);
    RECT cc{};
    GetClientRect(container_wnd, &cc);
    EXPECT_LE(o.x, cc.right - 30);
    // -1 in all five closes it for good.
    create_subscript_panel(-1, -1, -1, -1, -1);
    EXPECT_EQ(panel(), nullptr);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(subscript_panel_open());
}

TEST_F(SubscriptPanel, ANewModelIsShownAtOnce) {
    create_subscript_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    model_builder b("flat");
    b.constant("k", 1);
    ASSERT_TRUE(b.finish());
    open_model_file(b, "flat.kmf");
    td::run_until_idle();
    EXPECT_TRUE(combo_items().empty());
    EXPECT_TRUE(list_items().empty());
    EXPECT_EQ(text_of(idc_sp_summary), "The model has no subscript ranges");
    EXPECT_FALSE(IsWindowEnabled(item(idc_sp_all)));
    EXPECT_FALSE(IsWindowEnabled(item(idc_sp_elements)));
    // And back to a model with ranges.
    open_regions_model();
    td::run_until_idle();
    EXPECT_EQ(combo_items().size(), 2u);
    EXPECT_EQ(list_items(), (std::vector<std::string>{"young", "old"}));
    EXPECT_TRUE(IsWindowEnabled(item(idc_sp_all)));
}

TEST_F(SubscriptPanel, WithoutAWorkbenchOnlyTheLogicOpens) {
    HWND c = container_wnd;
    container_wnd = nullptr;
    EXPECT_EQ(create_subscript_panel(1, -1, -1, -1, -1), 1);
    EXPECT_EQ(panel(), nullptr);
    EXPECT_EQ(subpanel_range(), find_symbol("age"));
    container_wnd = c;
}

} // namespace
