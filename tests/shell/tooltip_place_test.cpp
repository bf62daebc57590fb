// Where a tip goes and when none comes: a given text below the pointer and
// clear of its arrow, kept inside the screen at its right edge, and no wait
// for a tip over a place that has none.
#include "shell_fixture.h"

#include "shell/controls/tooltip.h"

namespace td = test_driver;

namespace {

class TipPlace : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        screen_right = 1280;
        screen_bottom = 800;
        host =
            make_test_window("TipHost", DefWindowProc, WS_POPUP | WS_VISIBLE, 1280, 400, main_wnd);
        ASSERT_NE(host, nullptr);
        SetFocus(host);
        td::run_until_idle();
    }
    void TearDown() override {
        hide_tooltip(1);
        screen_right = screen_bottom = 0;
        ShellWorkbenchTest::TearDown();
    }
    static RECT tip_rect() {
        RECT r{};
        if (tooltip_wnd) GetWindowRect(tooltip_wnd, &r);
        return r;
    }
    HWND host = nullptr;
};

// A tip with its text given shows under the pointer, 22 pixels down so the
// arrow does not cover it, starting at the pointer's x.
TEST_F(TipPlace, AGivenTipStandsBelowThePointersArrow) {
    td::mouse_move(host, 300, 100);
    POINT pointer{};
    GetCursorPos(&pointer);
    show_tooltip(nullptr, host, 1, "Simulate the model");
    ASSERT_NE(tooltip_wnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(tooltip_wnd));
    const RECT r = tip_rect();
    EXPECT_EQ(r.top, pointer.y + 22);
    EXPECT_EQ(r.left, pointer.x);
}

// Near the screen's right edge the tip moves left until its right edge is
// the screen's; near the bottom it moves up to end there.
TEST_F(TipPlace, AGivenTipStaysInsideTheScreen) {
    td::mouse_move(host, 1275, 100);
    show_tooltip(nullptr, host, 1, "A tip much wider than what is left of the screen");
    RECT r = tip_rect();
    EXPECT_EQ(r.right, 1280);
    EXPECT_GT(r.left, 0);
    hide_tooltip(1);
    MoveWindow(host, 0, 400, 1280, 400, TRUE);
    td::mouse_move(host, 200, 395);
    show_tooltip(nullptr, host, 1, "Near the bottom");
    r = tip_rect();
    EXPECT_EQ(r.bottom, 800);
    EXPECT_GT(r.top, 0);
}

// Over a place without a tip (item 0) nothing waits to show, however long
// the pointer stays; over an item the wait starts.
TEST_F(TipPlace, NoTipIsAwaitedOverAPlaceWithoutOne) {
    td::mouse_move(host, 50, 50);
    track_tooltip(host, 0, 0);
    EXPECT_EQ(tooltip_state(), 0);
    td::advance(3000);
    EXPECT_TRUE(tooltip_wnd == nullptr || !IsWindowVisible(tooltip_wnd));
    EXPECT_EQ(tooltip_state(), 0);
    track_tooltip(host, 4, 0);
    EXPECT_EQ(tooltip_state(), 1) << "waiting for the item's tip";
    EXPECT_EQ(tooltip_control(), host);
    hide_tooltip(0);
    EXPECT_EQ(tooltip_state(), 0);
    EXPECT_EQ(tooltip_control(), host) << "hidden, the control is remembered";
    hide_tooltip(1);
    EXPECT_EQ(tooltip_state(), 0);
    EXPECT_EQ(tooltip_control(), nullptr) << "forgotten";
}

} // namespace
