// The work-in-progress window: the splash, the panel's lines and Stop
// button, the break keys, dragging, and the About box.
#include "shell_fixture.h"

#include "platform/controls.h"
#include "shell/state.h"
#include "sim/simdata.h"

#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace td = test_driver;

namespace {

class Wip : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        stop_request = 0;
    }
    void TearDown() override {
        stop_request = 0;
        sim_phase = phase_idle;
        ShellDialogTest::TearDown();
    }
    static RECT window_rect() {
        RECT r{};
        GetWindowRect(wip_wnd, &r);
        return r;
    }
};

TEST_F(Wip, DuringStartUpMessagesOnlyRepaintTheSplash) {
    EXPECT_EQ(wip_message(10, nullptr), 1);
    ASSERT_NE(wip_wnd, nullptr);
    HWND splash = wip_wnd;
    EXPECT_EQ(wip_mode, 10);
    EXPECT_TRUE(IsWindowVisible(splash));
    RECT r = window_rect();
    EXPECT_EQ(r.right - r.left, 512);
    EXPECT_EQ(r.bottom - r.top, 256);
    EXPECT_EQ(wip_message(1, "Reading %s", "model.kmf"), 1);
    EXPECT_EQ(wip_message(-2, "more"), 1);
    EXPECT_EQ(wip_wnd, splash);
    EXPECT_EQ(wip_mode, 10);
    EXPECT_TRUE(wip_line(1).empty());
    EXPECT_FALSE(wip_stop_shown());
    td::run_until_idle();
    // The splash is painted: not all one colour.
    QImage shot = td::image(splash);
    ASSERT_FALSE(shot.isNull());
    EXPECT_NE(shot.pixel(10, 10), shot.pixel(80, 124));
    EXPECT_EQ(wip_message(-10, nullptr), 0);
    EXPECT_EQ(wip_wnd, nullptr);
    EXPECT_FALSE(IsWindow(splash));
    EXPECT_FALSE(keep_hourglass);
}

TEST_F(Wip, LinesAndTheStopButtonFollowTheMode) {
    wip_message(-1, "Simulating %s", "run1");
    ASSERT_NE(wip_wnd, nullptr);
    EXPECT_EQ(wip_mode, 1);
    EXPECT_TRUE(IsWindowVisible(wip_wnd));
    EXPECT_EQ(wip_line(1), "Simulating run1");
    EXPECT_TRUE(wip_stop_shown());
    EXPECT_TRUE(keep_hourglass);
    wip_message(2, "Time %g", 12.5);
    EXPECT_EQ(wip_line(2), "Time 12.5");
    EXPECT_EQ(wip_line(1), "Simulating run1");
    EXPECT_FALSE(wip_stop_shown());
    wip_message(0, nullptr);
    EXPECT_FALSE(IsWindowVisible(wip_wnd));
    EXPECT_TRUE(wip_line(1).empty());
    EXPECT_TRUE(wip_line(2).empty());
    EXPECT_FALSE(keep_hourglass);
}

LRESULT plain_wnd(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(Wip, TheKeyboardGoesBackWhereItWasWhenThePanelCloses) {
    HWND top = make_test_window("WipFocusTest", plain_wnd, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200,
                                200, nullptr, "x");
    ASSERT_NE(top, nullptr);
    SetActiveWindow(top);
    SetFocus(top);
    wip_message(-1, "Simulating");
    EXPECT_EQ(GetFocus(), wip_wnd);
    wip_message(0, nullptr);
    EXPECT_EQ(GetFocus(), top);
}

TEST_F(Wip, TheQuietFormShowsNothingWhileLivesweepIsOn) {
    livesweep_state = ls_on;
    EXPECT_EQ(wip_message_quiet(-1, "Re-running"), 1);
    EXPECT_TRUE(wip_wnd == nullptr || !IsWindowVisible(wip_wnd));
    livesweep_state = ls_off;
    EXPECT_EQ(wip_message_quiet(-1, "Loading"), 1);
    EXPECT_TRUE(IsWindowVisible(wip_wnd));
    EXPECT_EQ(wip_line(1), "Loading");
}

TEST_F(Wip, LongTextsAreKeptToFiftyNineCharactersAndNeverOverflow) {
    std::string seventy(70, 'x');
    seventy.replace(60, 3, "END");
    wip_message(1, "%s", seventy.c_str());
    EXPECT_EQ(wip_line(1), seventy.substr(0, 59));
    std::string huge(20000, 'y');
    wip_message(3, "Reading %s and %s", huge.c_str(), huge.c_str());
    EXPECT_EQ(wip_line(2), ("Reading " + huge).substr(0, 59));
    td::run_until_idle();
}

TEST_F(Wip, TheStopButtonAndTheBreakKeysRaiseTheStopRequest) {
    wip_message(-1, "Simulating");
    HWND stop = GetDlgItem(wip_wnd, 2);
    ASSERT_NE(stop, nullptr);
    SendMessage(stop, BM_CLICK, 0, 0);
    td::run_until_idle();
    EXPECT_EQ(stop_request, 1);

    struct key {
        int vk;
        unsigned mods;
    } keys[] = {{VK_ESCAPE, td::none}, {'C', td::ctrl}, {VK_OEM_PERIOD, td::ctrl}};
    for (const key& k : keys) {
        stop_request = 0;
        SetFocus(wip_wnd);
        td::press_key(k.vk, k.mods);
        td::run_until_idle();
        EXPECT_EQ(stop_request, 1) << "key " << k.vk;
    }
    // A plain C is no break key.
    stop_request = 0;
    SetFocus(wip_wnd);
    td::press_key('C');
    td::run_until_idle();
    EXPECT_EQ(stop_request, 0);
}

// A Livesweep re-run pumps its messages once 8 ms have passed since its
// initial save, not at every save; a long re-run still hears the break key,
// and an ordinary run pumps at every save as before.
TEST_F(Wip, ALivesweepReRunPumpsOnlyOnceEightMillisecondsHavePassed) {
    const sim_pump_fn old_hook = sim_pump_hook();
    wip_install_sim_hooks();
    const sim_pump_fn pump = sim_pump_hook();
    ASSERT_NE(pump, nullptr);
    wip_message(-1, "Simulating");
    const std::uint8_t old_kind = run_kind;
    run_kind = rk_livesweep;
    PostMessage(wip_wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    sim_phase = phase_initialising; // the initial save starts the count
    pump();
    EXPECT_EQ(stop_request, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sim_phase = phase_saving;
    pump();
    EXPECT_EQ(stop_request, 1);

    run_kind = rk_ordinary;
    stop_request = 0;
    PostMessage(wip_wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    pump();
    EXPECT_EQ(stop_request, 1);
    run_kind = old_kind;
    set_sim_pump_hook(old_hook);
}

TEST_F(Wip, DraggingOutOfThePanelMovesItAndAClickInsideDoesNot) {
    wip_message(1, "Loading");
    RECT before = window_rect();
    RECT cr{};
    GetClientRect(wip_wnd, &cr);
    int y = cr.bottom / 2;
    td::mouse_down(wip_wnd, 10, y);
    td::run_until_idle();
    td::mouse_up(wip_wnd, 20, y);
    td::run_until_idle();
    RECT same = window_rect();
    EXPECT_EQ(same.left, before.left);
    td::mouse_down(wip_wnd, cr.right - 5, y);
    td::run_until_idle();
    td::mouse_up(wip_wnd, cr.right + 25, y);
    td::run_until_idle();
    RECT after = window_rect();
    EXPECT_EQ(after.left, before.left + 30);
    EXPECT_EQ(after.top, before.top);
}

TEST_F(Wip, ThePanelIsSizedFromTheFontAndCentred) {
    wip_message(1, "x");
    RECT cr{};
    GetClientRect(wip_wnd, &cr);
    HDC dc = GetDC(nullptr);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(cr.right, 42 * tm.tmAveCharWidth); // 42 characters by 8 lines
    EXPECT_EQ(cr.bottom, 8 * tm.tmHeight);
    RECT r = window_rect();
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    EXPECT_NEAR(cx, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
    EXPECT_NEAR(cy, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
}

TEST_F(Wip, WorkInProgressGraphsAreUpdatedAndDroppedWhenGone) {
    static int updates = 0;
    updates = 0;
    set_wip_graph_updater([](handle h) {
        ++updates;
        return h != 2; // graph 2's window is gone
    });
    EXPECT_EQ(wip_graph_add(1), 1);
    EXPECT_EQ(wip_graph_add(2), 1);
    EXPECT_EQ(wip_graph_add(1), 1); // once only
    wip_show_time();
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(wip_graph_count(), 1);
    for (int i = 10; i < 10 + max_wip_graphs; ++i) wip_graph_add(static_cast<handle>(i));
    EXPECT_EQ(wip_graph_count(), max_wip_graphs);
    // With graphs the panel stays hidden; closing empties the list.
    wip_message(1, "Simulating");
    EXPECT_TRUE(wip_wnd == nullptr || !IsWindowVisible(wip_wnd));
    wip_message(0, nullptr);
    EXPECT_EQ(wip_graph_count(), 0);
    set_wip_graph_updater(nullptr);
}

TEST_F(Wip, AboutBoxShowsTheVersionLine) {
    std::string line;
    answerer::dialog(359)
        .call([&](HWND d) {
            char buf[256] = {};
            GetDlgItemText(d, 304, buf, sizeof buf);
            line = buf;
        })
        .press(IDOK);
    EXPECT_EQ(about_box(359), 1);
    EXPECT_EQ(line, std::string("Kavrel Viewer for Linux Version ") + version_text());
}

// Each time the run reaches, the panel's second line says which.
TEST_F(Wip, ARunsPumpShowsTheTimeOnTheSecondLine) {
    const sim_pump_fn old_hook = sim_pump_hook();
    wip_install_sim_hooks();
    const sim_pump_fn pump = sim_pump_hook();
    ASSERT_NE(pump, nullptr);
    const std::uint8_t old_kind = run_kind;
    run_kind = rk_ordinary;
    const double old_time = sim_time;
    wip_message(-1, "Simulating %s", "run1");
    ASSERT_EQ(wip_mode, 1);
    const std::pair<double, const char*> times[] = {
        {0.5, "Time 0.5"}, {12.0, "Time 12"}, {150.25, "Time 150.25"}};
    for (const auto& [t, shown] : times) {
        sim_time = t;
        pump();
        EXPECT_EQ(wip_line(2), shown);
    }
    EXPECT_EQ(wip_line(1), "Simulating run1");
    wip_message(0, nullptr);
    sim_time = old_time;
    run_kind = old_kind;
    set_sim_pump_hook(old_hook);
}

} // namespace
