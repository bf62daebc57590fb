// The History and Error Log window as it first opens: its size when nothing
// was saved, and a long log shown scrolled to its very end.
#include "shell_fixture.h"

#include "foundation/errlog.h"
#include "shell/floats.h"
#include "shell/history.h"
#include "shell/settings_rows.h"

#include <fstream>
#include <string>

namespace td = test_driver;

namespace {

class HistoryOpening : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        opts = opt_block{};
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1100, 900, TRUE);
        layout_frame(main_wnd);
    }
    void close_windows() override {
        if (HWND h = history_hwnd()) DestroyWindow(h);
        for (int k = 0; k < fw_count; ++k) set_float_window(static_cast<float_kind>(k), nullptr);
        ShellWorkbenchTest::close_windows();
        opts = opt_block{};
    }
    void make_log(const std::string& contents) {
        set_log_directories(dir.c_str(), dir.c_str());
        ASSERT_EQ(error_log(2), 1);
        error_log(0);
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::trunc);
        out << contents;
    }
};

TEST_F(HistoryOpening, WithNothingSavedItOpens480By320) {
    make_log("one\n");
    RECT c{};
    GetClientRect(container_wnd, &c);
    ASSERT_GT(c.right, 480);
    ASSERT_GT(c.bottom, 320);
    history_window(1, -1, -1, -1, -1);
    ASSERT_NE(history_hwnd(), nullptr);
    RECT r{};
    GetWindowRect(history_hwnd(), &r);
    EXPECT_EQ(r.right - r.left, 480);
    EXPECT_EQ(r.bottom - r.top, 320);
    td::run_until_idle();
}

TEST_F(HistoryOpening, ALongLogOpensScrolledToItsLastLineAndNoFurther) {
    std::string log;
    for (int i = 1; i <= 200; ++i) log += "message " + std::to_string(i) + "\n";
    make_log(log);
    history_window(1, -1, -1, 400, 300);
    ASSERT_NE(history_hwnd(), nullptr);
    td::run_until_idle();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(history_hwnd(), SB_VERT, &si));
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 199);
    ASSERT_GT(si.nPage, 1u);
    ASSERT_LT(si.nPage, 200u);
    // At the end: the last page shows the last line, with no blank row
    // after it.
    EXPECT_EQ(si.nPos + static_cast<int>(si.nPage), 200);
    // Scrolling down further does nothing.
    SendMessage(history_hwnd(), WM_VSCROLL, SB_PAGEDOWN, 0);
    SendMessage(history_hwnd(), WM_VSCROLL, SB_BOTTOM, 0);
    td::run_until_idle();
    // The page can change once the window has settled (a test run alone
    // meets the fonts first): the end is the last line whatever the page.
    SCROLLINFO after = si;
    ASSERT_TRUE(GetScrollInfo(history_hwnd(), SB_VERT, &after));
    EXPECT_EQ(after.nPos + static_cast<int>(after.nPage), 200);
    // One line up from the end moves the view by one line.
    SendMessage(history_hwnd(), WM_VSCROLL, SB_LINEUP, 0);
    td::run_until_idle();
    SCROLLINFO up = after;
    ASSERT_TRUE(GetScrollInfo(history_hwnd(), SB_VERT, &up));
    EXPECT_EQ(up.nPos, after.nPos - 1);
}

} // namespace
