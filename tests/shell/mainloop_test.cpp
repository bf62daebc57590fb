// The main loop: nesting and its limit, ending levels (also from inside a
// deeper level), modal dialogs over running timers, the accelerators, the
// filters, the pump's break keys, and scratch memory between messages.
#include "shell_fixture.h"

#include "shell/upcalls.h"

#include "platform/msgbox.h"
#include "shell/menustate.h"
#include "sim/simdata.h"

namespace td = test_driver;

namespace {

class MainLoop : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        probe = make_test_window("LoopProbe", probe_proc, WS_OVERLAPPEDWINDOW, 100, 100);
        ASSERT_NE(probe, nullptr);
        events.clear();
    }
    void TearDown() override {
        sim_phase = 0;
        stop_request = 0;
        win_set_key_state(VK_CONTROL, false);
        win_set_key_state(VK_SHIFT, false);
        ShellWorkbenchTest::TearDown();
    }

    // Takes the WM_COMMAND ids posted to a window.
    static std::vector<int> posted_commands(HWND w) {
        std::vector<int> ids;
        MSG m{};
        while (PeekMessage(&m, w, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            ids.push_back(static_cast<int>(LOWORD(m.wParam)));
        return ids;
    }
    static MSG key(UINT message, int vk, HWND w) {
        MSG m{};
        m.hwnd = w;
        m.message = message;
        m.wParam = static_cast<WPARAM>(vk);
        return m;
    }

    static LRESULT probe_proc(HWND w, UINT m, WPARAM wp, LPARAM lp);
    static std::vector<std::string> events;
    static int nest_target;
    HWND probe = nullptr;
};

std::vector<std::string> MainLoop::events;
int MainLoop::nest_target = 0;

// WM_USER + n: enter a loop level with id n, posting the next deeper request
// first; WM_USER + 100 + k: end level k. WM_TIMER: counted. WM_KEYDOWN: noted.
LRESULT MainLoop::probe_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m >= WM_USER + 1 && m <= WM_USER + 20) {
        int n = static_cast<int>(m - WM_USER);
        if (n < nest_target) PostMessage(w, WM_USER + n + 1, 0, 0);
        if (n == nest_target) {
            events.push_back("deepest " + std::to_string(maintain_depth()));
            for (int k = n - 1; k >= 1; --k) PostMessage(w, WM_USER + 100 + k, 0, 0);
            PostMessage(w, WM_USER + 100, 0, 0);
        }
        maintain(n);
        events.push_back("left " + std::to_string(n));
        return 0;
    }
    if (m >= WM_USER + 100 && m <= WM_USER + 120) {
        end_maintain(static_cast<int>(m - WM_USER - 100), 0);
        return 0;
    }
    if (m == WM_TIMER) {
        events.push_back("tick");
        return 0;
    }
    if (m == WM_KEYDOWN) {
        events.push_back("key " + std::to_string(wp));
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(MainLoop, NestsNineLevelsAndRefusesTheTenth) {
    nest_target = 10; // levels 1..9 plus the outer 0 make ten requests
    answerer::box(severity_caption(10)).text("SS.Nesting too deep in maintain").press(IDOK);
    PostMessage(probe, WM_USER + 1, 0, 0);
    maintain(0);
    EXPECT_EQ(maintain_depth(), 0);
    ASSERT_FALSE(events.empty());
    // Level 0 plus nine handler levels: the tenth request came back at once.
    EXPECT_EQ(events[0], "deepest 9");
    EXPECT_EQ(events[1], "left 10");
    EXPECT_EQ(events.back(), "left 1");
}

TEST_F(MainLoop, EndingAnOuterLevelWaitsUntilItRegainsControl) {
    // Level 0 runs; a handler waits in level 7 (a DDE wait); Exit arrives
    // meanwhile and must not be lost; the wait then ends with its own result.
    std::int32_t inner_result = -5;
    int inner_depth_seen = -1;
    td::on_idle([&] {
        // inside level 7 now
        inner_depth_seen = maintain_depth();
        end_maintain(0, 0);                  // Exit while the wait runs: kept pending
        end_maintain(1234, 9);               // an id no level has: ignored
        end_maintain(7, 42);                 // the acknowledgement ends the wait
        PostMessage(nullptr, WM_NULL, 0, 0); // wakes the wait's GetMessage
    });
    struct waiter {
        static LRESULT proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_USER + 50) {
                maintain(7);
                *reinterpret_cast<std::int32_t*>(wp) = maintain_result;
                return 0;
            }
            return DefWindowProc(w, m, wp, lp);
        }
    };
    HWND w = make_test_window("LoopWaiter", waiter::proc);
    PostMessage(w, WM_USER + 50, reinterpret_cast<WPARAM>(&inner_result), 0);
    maintain(0); // returns only because the pending exit was honoured
    EXPECT_EQ(inner_depth_seen, 2);
    EXPECT_EQ(inner_result, 42);
    EXPECT_EQ(maintain_result, 0);
    EXPECT_EQ(maintain_depth(), 0);
}

TEST_F(MainLoop, ModalBoxKeepsTimersRunningInsideANestedLevel) {
    SetTimer(probe, 1, 100, nullptr);
    answerer::box("Message from Kavrel").call([](HWND) { td::advance(350); }).press(IDOK);
    td::on_idle([&] {
        MessageBox(probe, "Waiting", "Message from Kavrel", MB_OK);
        KillTimer(probe, 1);
        end_maintain(0, 0);
        PostMessage(nullptr, WM_NULL, 0, 0);
    });
    maintain(0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "tick"), 3);
}

TEST_F(MainLoop, CtrlLettersBecomeCommandsAndUnservedOnesAreSilent) {
    make_workbench();
    win_set_key_state(VK_CONTROL, true);
    const std::pair<int, int> table[] = {
        {'N', cmd_new_model}, {'O', cmd_open_model}, {'Q', cmd_exit}};
    for (auto [vk, id] : table) {
        MSG m = key(WM_KEYDOWN, vk, probe);
        loop_handle_message(&m);
        EXPECT_EQ(posted_commands(main_wnd), std::vector<int>{id}) << char(vk);
        EXPECT_TRUE(events.empty()) << "the key itself is not dispatched";
    }
    // The shortcuts of the model's commands act as their menu items do: taken
    // but idle while the item is grey (no model), posted once a model is open.
    const std::pair<int, int> model_table[] = {{'S', cmd_save},
                                               {'W', cmd_close},
                                               {'P', cmd_print},
                                               {'R', cmd_simulate},
                                               {'B', cmd_livesweep}};
    for (auto [vk, id] : model_table) {
        MSG m = key(WM_KEYDOWN, vk, probe);
        loop_handle_message(&m);
        EXPECT_TRUE(posted_commands(main_wnd).empty()) << char(vk);
        EXPECT_TRUE(events.empty()) << "the key itself is not dispatched";
    }
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    for (auto [vk, id] : model_table) {
        MSG m = key(WM_KEYDOWN, vk, probe);
        loop_handle_message(&m);
        EXPECT_EQ(posted_commands(main_wnd), std::vector<int>{id}) << char(vk);
    }
    // Ctrl+L, Ctrl+T, Ctrl+U: nothing serves them without a build window.
    for (int vk : {'L', 'T', 'U'}) {
        MSG m = key(WM_KEYDOWN, vk, probe);
        loop_handle_message(&m);
        EXPECT_TRUE(posted_commands(main_wnd).empty()) << char(vk);
    }
    // With a build window active, Ctrl+T and Ctrl+U go to it.
    HWND frame =
        CreateWindow("Kavrel_sketch_mother", "Model: m View: 1", WS_CHILD | WS_VISIBLE | WS_CAPTION,
                     0, 0, 200, 100, container_wnd, nullptr, hinst, nullptr);
    activate_window(frame, 0, 0);
    ASSERT_EQ(build_wnd, frame);
    for (int vk : {'T', 'U', 'L'}) {
        MSG m = key(WM_KEYDOWN, vk, probe);
        loop_handle_message(&m);
    }
    EXPECT_EQ(posted_commands(frame), (std::vector<int>{cmd_ctrl_t, cmd_ctrl_u}));
    EXPECT_TRUE(posted_commands(main_wnd).empty());
    // Without Ctrl a letter is an ordinary key for the focused window.
    win_set_key_state(VK_CONTROL, false);
    MSG m = key(WM_KEYDOWN, 'N', probe);
    loop_handle_message(&m);
    EXPECT_TRUE(posted_commands(main_wnd).empty());
    EXPECT_EQ(events, std::vector<std::string>{"key 78"});
}

TEST_F(MainLoop, F1PostsHelpOnPressAndRelease) {
    make_workbench();
    MSG down = key(WM_KEYDOWN, VK_F1, probe);
    MSG up = key(WM_KEYUP, VK_F1, probe);
    loop_handle_message(&down);
    loop_handle_message(&up);
    EXPECT_EQ(posted_commands(main_wnd), (std::vector<int>{cmd_instructions, cmd_instructions}));
    EXPECT_TRUE(events.empty());
}

bool filter_took = false;
bool take_keys(HWND, MSG* msg) {
    filter_took = msg->message == WM_KEYDOWN;
    return filter_took;
}

TEST_F(MainLoop, ModelessFiltersSeeKeysFirst) {
    make_workbench();
    add_loop_filter(probe, take_keys);
    MSG m = key(WM_KEYDOWN, 'A', probe);
    loop_handle_message(&m);
    EXPECT_TRUE(filter_took);
    EXPECT_TRUE(events.empty());
    remove_loop_filter(probe);
    filter_took = false;
    loop_handle_message(&m);
    EXPECT_FALSE(filter_took);
    EXPECT_EQ(events, std::vector<std::string>{"key 65"});
}

TEST_F(MainLoop, PumpTurnsBreakKeysIntoAStopRequestOnlyDuringARun) {
    make_workbench();
    SetFocus(probe);
    // Outside a run Escape reaches the window.
    PostMessage(probe, WM_KEYDOWN, VK_ESCAPE, 0);
    pump_messages();
    EXPECT_EQ(events, std::vector<std::string>{"key 27"});
    EXPECT_EQ(stop_request, 0);
    events.clear();
    sim_phase = phase_running;
    PostMessage(probe, WM_KEYDOWN, VK_ESCAPE, 0);
    pump_messages();
    EXPECT_EQ(stop_request, 1);
    EXPECT_TRUE(events.empty());
    stop_request = 0;
    win_set_key_state(VK_CONTROL, true);
    PostMessage(probe, WM_KEYDOWN, VK_OEM_PERIOD, 0);
    pump_messages();
    EXPECT_EQ(stop_request, 1);
    // The counters came back down.
    EXPECT_EQ(modal_count, 0);
    EXPECT_EQ(busy_depth, 0);
}

TEST_F(MainLoop, ScratchMemoryIsReleasedBetweenMessagesOnlyWhenNotBusy) {
    std::size_t during = 0, after_first = 1;
    struct s {
        static LRESULT proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_USER + 60) {
                scratch_alloc(1000);
                return 0;
            }
            return DefWindowProc(w, m, wp, lp);
        }
    };
    HWND w = make_test_window("LoopScratch", s::proc);
    free_scratch();
    PostMessage(w, WM_USER + 60, 0, 0);
    td::on_idle([&] {
        after_first = scratch_bytes_in_use(); // released after the message
        busy_guard busy;                      // a command in progress
        PostMessage(w, WM_USER + 60, 0, 0);
        MSG m{};
        GetMessage(&m, nullptr, 0, 0);
        loop_handle_message(&m);
        release_scratch_if_idle();
        during = scratch_bytes_in_use();
        end_maintain(0, 0);
        PostMessage(nullptr, WM_NULL, 0, 0);
    });
    maintain(0);
    EXPECT_EQ(after_first, 0u);
    EXPECT_GT(during, 0u);
    free_scratch();
}

TEST_F(MainLoop, EveryShownShortcutWorksAndMnemonicsAreUniqueInTheirMenu) {
    make_workbench();
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    recent_models(1, 0, model.c_str());
    int shortcuts = 0;
    for (int p = 0; p < GetMenuItemCount(main_menu); ++p) {
        HMENU menu = GetSubMenu(main_menu, p);
        std::vector<std::string> texts = menu_texts(menu);
        std::string mnemonics;
        for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
            const std::string& t = texts[static_cast<std::size_t>(i)];
            for (std::size_t a = t.find('&'); a != std::string::npos; a = t.find('&', a + 2)) {
                if (a + 1 >= t.size() || t[a + 1] == '&') continue;
                char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[a + 1])));
                EXPECT_EQ(mnemonics.find(c), std::string::npos)
                    << "\"" << c << "\" twice in pop-up " << p << ": " << t;
                mnemonics += c;
                break;
            }
            std::size_t tab = t.find('\t');
            if (tab == std::string::npos) continue;
            std::string keys = t.substr(tab + 1);
            EXPECT_EQ(keys.find('('), std::string::npos) << t; // shown as the desktop shows them
            int id = static_cast<int>(GetMenuItemID(menu, i));
            if (keys == "F1") {
                MSG m = key(WM_KEYDOWN, VK_F1, probe);
                loop_handle_message(&m);
            } else {
                ASSERT_EQ(keys.rfind("Ctrl+", 0), 0u) << t;
                ASSERT_EQ(keys.size(), 6u) << t;
                win_set_key_state(VK_CONTROL, true);
                MSG m = key(WM_KEYDOWN, keys[5], probe);
                loop_handle_message(&m);
                win_set_key_state(VK_CONTROL, false);
            }
            EXPECT_EQ(posted_commands(main_wnd), std::vector<int>{id}) << t;
            ++shortcuts;
        }
    }
    EXPECT_GE(shortcuts, 9);
}

TEST_F(MainLoop, ItemsThatCannotActNowAreGrey) {
    make_workbench();
    auto grey = [](int id) { return !menu_item_enabled(id); };
    const int model_items[] = {cmd_simulate, cmd_save,     cmd_print,     cmd_close,
                               cmd_save_as,  cmd_run_game, cmd_plausitest};
    update_menu_states();
    for (int id : model_items) EXPECT_TRUE(grey(id)) << id;
    EXPECT_TRUE(grey(cmd_stop_simulation));
    EXPECT_TRUE(grey(cmd_online_forum)); // no project pages yet
    EXPECT_TRUE(grey(cmd_newer_releases));
    EXPECT_FALSE(grey(cmd_open_model));

    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    update_menu_states();
    for (int id : model_items) EXPECT_FALSE(grey(id)) << id;
    EXPECT_TRUE(grey(cmd_stop_simulation));
    sim_phase = phase_running;
    update_menu_states();
    EXPECT_FALSE(grey(cmd_stop_simulation));
    EXPECT_TRUE(grey(cmd_simulate));
    sim_phase = 0;

    // With no window to take them: Save answers as the diagram does (the
    // viewer writes no model), Close closes the model.
    answerer::box(severity_caption(8)).text("Sorry not available").press(IDOK);
    SendMessage(main_wnd, WM_COMMAND, cmd_save, 0);
    SendMessage(main_wnd, WM_COMMAND, cmd_close, 0);
    EXPECT_NE(title().find("No Model Open"), std::string::npos) << title();
    // Nothing left to close or save: the commands are idle.
    SendMessage(main_wnd, WM_COMMAND, cmd_save, 0);

    // A graph or table left open after its model closed still prints.
    HWND frame = make_test_window("KTestFrame", toolwrapper_proc, WS_CHILD | WS_VISIBLE, 50, 50,
                                  container_wnd);
    activate_window(frame, 0, 0);
    ASSERT_EQ(active_kind, kind_output);
    update_menu_states();
    EXPECT_FALSE(grey(cmd_print));
    EXPECT_TRUE(grey(cmd_save));
    DestroyWindow(frame);
    activate_window(nullptr, 0, 0);
    update_menu_states();
    EXPECT_TRUE(grey(cmd_print));
}

// Stop also leaves set-up and a Livesweep waiting to re-run; while a run
// takes its initial values the model is busy and cannot be run again.
TEST_F(MainLoop, StopLeavesSetUpAndStartingUpIsBusy) {
    make_workbench();
    auto grey = [](int id) { return !menu_item_enabled(id); };
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    for (int phase : {phase_setup, phase_livesweep_ready}) {
        sim_phase = phase;
        update_menu_states();
        EXPECT_FALSE(grey(cmd_stop_simulation)) << phase;
    }
    sim_phase = phase_initialising;
    update_menu_states();
    EXPECT_FALSE(grey(cmd_stop_simulation));
    EXPECT_TRUE(grey(cmd_simulate));
    EXPECT_TRUE(grey(cmd_open_model));
    sim_phase = 0;
    update_menu_states();
    EXPECT_TRUE(grey(cmd_stop_simulation));
    EXPECT_FALSE(grey(cmd_simulate));
}

} // namespace
