// The workbench at its edges: Ctrl+C as a break key during a run, the
// progress window shown at once while start-up queues the others, and the
// build window's restore button giving it three quarters of the container.
#include "shell_fixture.h"

#include "shell/captionbtn.h"
#include "shell/changescmd.h"
#include "shell/title.h"
#include "shell/wiring.h"
#include "sim/runtypes.h"
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
    MSG drop{};
    while (PeekMessage(&drop, main_wnd, WM_USER, WM_USER, PM_REMOVE)) {
    }
    show_window(nullptr, -1);
    EXPECT_TRUE(IsWindowVisible(other));
    MSG told{};
    EXPECT_TRUE(PeekMessage(&told, main_wnd, WM_USER, WM_USER, PM_REMOVE))
        << "the main window is told the start-up's windows are up";
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

// The maximised build window's caption buttons are on the menu bar while
// it is active, but not while the progress window is up over the workbench.
TEST_F(WorkbenchEdges, NoCaptionButtonsWhileTheProgressWindowIsUp) {
    make_workbench();
    ShowWindow(main_wnd, SW_SHOW);
    HWND w = make_test_window("BuildProbe", DefWindowProc, WS_CHILD | WS_VISIBLE, 300, 200,
                              container_wnd);
    ASSERT_NE(w, nullptr);
    build_wnd = w;
    active_child = w;
    active_kind = kind_build;
    shell_opts.build_maximised = 1;
    draw_caption_buttons(-1);
    EXPECT_TRUE(caption_buttons_shown());
    wip_message(10, nullptr);
    ASSERT_TRUE(wip_wnd && IsWindowVisible(wip_wnd));
    draw_caption_buttons(-1);
    EXPECT_FALSE(caption_buttons_shown());
    wip_message(-10, nullptr);
    draw_caption_buttons(-1);
    EXPECT_TRUE(caption_buttons_shown());
    build_wnd = nullptr;
    active_child = nullptr;
    active_kind = kind_none;
    shell_opts.build_maximised = 0;
    draw_caption_buttons(-1);
    DestroyWindow(w);
}

// Putting the shell back to its start-up state forgets every window, menu
// and flag, the game window's included.
TEST_F(WorkbenchEdges, ResetForgetsEveryWindowAndFlag) {
    make_workbench();
    game_window_open = true;
    keep_hourglass = true;
    caption_state = 3;
    float_opts = 5;
    active_kind = kind_build;
    reset_shell_state();
    EXPECT_FALSE(game_window_open);
    EXPECT_FALSE(keep_hourglass);
    EXPECT_EQ(caption_state, 0);
    EXPECT_EQ(float_opts, 0);
    EXPECT_EQ(active_kind, kind_none);
    EXPECT_EQ(main_wnd, nullptr);
    EXPECT_EQ(main_menu, nullptr);
    EXPECT_EQ(toolbar_wnd, nullptr);
}

// A Plausitest run that found nothing says how many checks it made; one
// that found violations says how many and lists each.
TEST_F(WorkbenchEdges, PlausitestResultsGoToTheMessageList) {
    sim_output clean;
    clean.constraint_checks = 12;
    shell_plausitest_results(clean);
    int n = 0;
    const char* const* lines = message_list_lines(&n);
    ASSERT_GE(n, 1);
    EXPECT_NE(std::string(lines[n - 1]).find("every constraint held (12 checks)"),
              std::string::npos)
        << lines[n - 1];
}

// A changes file without a name is no file: nothing is read or asked.
TEST_F(WorkbenchEdges, AChangesFileWithoutANameReadsNothing) {
    make_workbench();
    const std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    EXPECT_EQ(read_additional_changes_from(""), 0);
    EXPECT_EQ(read_additional_changes_from(nullptr), 0);
    EXPECT_TRUE(answerer::seen().empty()) << "no question, no box";
}

} // namespace
