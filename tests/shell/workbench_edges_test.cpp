// The workbench at its edges: Ctrl+C as a break key during a run, the
// progress window shown at once while start-up queues the others, and the
// build window's restore button giving it three quarters of the container.
#include "shell_fixture.h"

#include "shell/captionbtn.h"
#include "sim/simdata.h"

namespace td = test_driver;

namespace {

std::vector<int>& keys_seen() {
    static std::vector<int> k;
    return k;
}
LRESULT key_probe(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_KEYDOWN) keys_seen().push_back(static_cast<int>(wp));
    return DefWindowProc(w, m, wp, lp);
}

class WorkbenchEdges : public ShellWorkbenchTest {
protected:
    void TearDown() override {
        sim_phase = 0;
        stop_request = 0;
        win_set_key_state(VK_CONTROL, false);
        ShellWorkbenchTest::TearDown();
    }
};

// During a run Ctrl+C stops it, as Escape and Ctrl+. do; a C without Ctrl
// is typed as ever, and outside a run Ctrl+C reaches the window.
TEST_F(WorkbenchEdges, CtrlCStopsARunAndOnlyARun) {
    make_workbench();
    HWND probe = make_test_window("KeyProbe", key_probe, WS_OVERLAPPEDWINDOW, 100, 100);
    ASSERT_NE(probe, nullptr);
    SetFocus(probe);
    keys_seen().clear();
    sim_phase = phase_running;
    PostMessage(probe, WM_KEYDOWN, 'C', 0);
    pump_messages();
    EXPECT_EQ(stop_request, 0) << "a plain C is no break";
    EXPECT_EQ(keys_seen(), std::vector<int>{'C'});
    win_set_key_state(VK_CONTROL, true);
    PostMessage(probe, WM_KEYDOWN, 'C', 0);
    pump_messages();
    EXPECT_EQ(stop_request, 1) << "Ctrl+C breaks the run";
    EXPECT_EQ(keys_seen().size(), 1u) << "and goes no further";
    stop_request = 0;
    sim_phase = phase_idle;
    PostMessage(probe, WM_KEYDOWN, 'C', 0);
    pump_messages();
    EXPECT_EQ(stop_request, 0);
    EXPECT_EQ(keys_seen().size(), 2u) << "outside a run Ctrl+C is the window's";
    DestroyWindow(probe);
}

// While the queue is open, the progress window alone is shown when asked;
// hiding the active child with the queue closed lets it go first.
TEST_F(WorkbenchEdges, TheProgressWindowIsNeverQueued) {
    make_workbench();
    wip_message(10, nullptr);
    ASSERT_NE(wip_wnd, nullptr);
    ShowWindow(wip_wnd, SW_HIDE);
    HWND other = make_test_window("QueuedProbe", DefWindowProc, WS_OVERLAPPEDWINDOW, 100, 100);
    open_show_queue();
    EXPECT_EQ(show_window(other, SW_SHOW), 88);
    EXPECT_NE(show_window(wip_wnd, SW_SHOW), 88);
    EXPECT_TRUE(IsWindowVisible(wip_wnd)) << "shown at once";
    EXPECT_FALSE(IsWindowVisible(other)) << "still queued";
    show_window(nullptr, -1);
    EXPECT_TRUE(IsWindowVisible(other));
    wip_message(-10, nullptr);

    HWND child = make_test_window("ActiveProbe", DefWindowProc, WS_CHILD | WS_VISIBLE, 100, 100,
                                  container_wnd);
    ASSERT_NE(child, nullptr);
    active_child = child;
    show_window(child, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_NE(active_child, child) << "a hidden window is no longer the active one";
    DestroyWindow(other);
}

// Restore gives the maximised build window a frame of its own over the
// middle three quarters of the container, an eighth left free on each side.
TEST_F(WorkbenchEdges, RestoreGivesTheBuildWindowTheMiddleOfTheContainer) {
    make_workbench();
    ShowWindow(main_wnd, SW_SHOW);
    MoveWindow(container_wnd, 0, 30, 800, 480, TRUE);
    RECT c{};
    GetClientRect(container_wnd, &c);
    ASSERT_GT(c.right, 100);
    ASSERT_GT(c.bottom, 100);
    HWND w = make_test_window("BuildProbe", DefWindowProc, WS_CHILD | WS_VISIBLE, c.right, c.bottom,
                              container_wnd);
    ASSERT_NE(w, nullptr);
    build_wnd = w;
    active_child = w;
    active_kind = kind_build;
    shell_opts.build_maximised = 1;
    caption_button_command(cmd_caption_restore);
    EXPECT_EQ(shell_opts.build_maximised, 0);
    EXPECT_NE(GetWindowLong(w, GWL_STYLE) & WS_CAPTION, 0);
    RECT r{};
    GetWindowRect(w, &r);
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ScreenToClient(container_wnd, &tl);
    ScreenToClient(container_wnd, &br);
    EXPECT_NEAR(br.x - tl.x, 0.75 * c.right, 1.0);
    EXPECT_NEAR(br.y - tl.y, 0.75 * c.bottom, 1.0);
    EXPECT_NEAR(tl.x, c.right / 8.0, 1.0);
    EXPECT_NEAR(tl.y, c.bottom / 8.0, 1.0);
    EXPECT_NEAR(c.right - br.x, tl.x, 1.0) << "as much room right as left";
    EXPECT_NEAR(c.bottom - br.y, tl.y, 1.0) << "as much below as above";
    build_wnd = nullptr;
    active_child = nullptr;
    active_kind = kind_none;
    DestroyWindow(w);
}

} // namespace
