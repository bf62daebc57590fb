// The keys of a framed output window: Page Up and Page Down scroll its tool
// window by a page, sideways with Shift or Ctrl; the arrows scroll by lines.
#include "platform/messages.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<UINT, int>> g_scrolls;

LRESULT scroll_logging_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_VSCROLL || m == WM_HSCROLL) {
        g_scrolls.push_back({m, LOWORD(wp)});
        return 0;
    }
    if (m == WM_COMMAND && LOWORD(wp) == cmd_close_output) {
        const handle rec = record_of(w);
        unlist_output_window(rec);
        destroy_tool_window(w);
        free_output_record(rec);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

class OutputKeys : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        g_scrolls.clear();
        WNDCLASS wc{};
        wc.lpfnWndProc = scroll_logging_proc;
        wc.hInstance = hinst;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.lpszClassName = "KScrollLogTool";
        RegisterClass(&wc);
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(container_wnd, 50, 30, 600, 400, TRUE);
    }
    void TearDown() override {
        win_set_key_state(VK_SHIFT, false);
        win_set_key_state(VK_CONTROL, false);
        close_framed_tool_windows(1);
        EXPECT_TRUE(test_driver::find_windows("Kavrel_toolwrap").empty());
        ShellWorkbenchTest::TearDown();
    }
    HWND open_frame() {
        rec_ = new_output_record(16, 5);
        auto* r = static_cast<output_record*>(lock_handle(rec_));
        HWND win = open_output_window(rec_, "KScrollLogTool", "keys", 20, 20, 200, 120, 0);
        if (win && !r->window) {
            SetWindowLongPtr(win, 0, static_cast<LONG_PTR>(rec_));
            r->window = win;
        }
        unlock_handle(rec_);
        return win ? GetParent(win) : nullptr;
    }
    handle rec_ = 0;
};

TEST_F(OutputKeys, PagesAndArrowsScrollTheToolWindow) {
    HWND f = open_frame();
    ASSERT_NE(f, nullptr);
    for (WPARAM k : {VK_PRIOR, VK_NEXT, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT})
        SendMessage(f, WM_KEYDOWN, k, 0);
    const std::vector<std::pair<UINT, int>> plain = {
        {WM_VSCROLL, SB_PAGEUP},   {WM_VSCROLL, SB_PAGEDOWN}, {WM_VSCROLL, SB_LINEUP},
        {WM_VSCROLL, SB_LINEDOWN}, {WM_HSCROLL, SB_LINEUP},   {WM_HSCROLL, SB_LINEDOWN}};
    EXPECT_EQ(g_scrolls, plain);

    // With Shift, and with Ctrl, the pages go sideways; the arrows do not change.
    for (int modifier : {VK_SHIFT, VK_CONTROL}) {
        g_scrolls.clear();
        win_set_key_state(modifier, true);
        SendMessage(f, WM_KEYDOWN, VK_PRIOR, 0);
        SendMessage(f, WM_KEYDOWN, VK_NEXT, 0);
        SendMessage(f, WM_KEYDOWN, VK_UP, 0);
        win_set_key_state(modifier, false);
        const std::vector<std::pair<UINT, int>> sideways = {
            {WM_HSCROLL, SB_PAGEUP}, {WM_HSCROLL, SB_PAGEDOWN}, {WM_VSCROLL, SB_LINEUP}};
        EXPECT_EQ(g_scrolls, sideways) << modifier;
    }
}

} // namespace
