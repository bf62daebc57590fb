// Commands that close, replace or re-run the model while a dialog or question
// about it is up, or while a run goes on: the workbench's menu bar is out of
// reach under a modal box, and what reaches the workbench anyway (a press
// queued before the box came up, a shortcut) is refused until the command or
// run under way has ended.
#include "shell_fixture.h"

#include "runs/select.h"
#include "shell/bottombar.h"
#include "shell/controlpanel.h"
#include "shell/filechoice.h"
#include "shell/history.h"
#include "shell/menubar.h"
#include "shell/menustate.h"
#include "shell/rundrv.h"
#include "sim/runtypes.h"
#include "sim/simdata.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <functional>

namespace td = test_driver;

namespace {

class ModalCommands : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        install_run_driver();
        wip_install_sim_hooks();
        model = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
        run_file = dir + "/Current.kdf";
    }
    void TearDown() override {
        if (QWidget* p = QApplication::activePopupWidget()) p->close();
        ShellWorkbenchTest::TearDown();
    }

    // Everything a person (or a queued press) could do to reach command `id`
    // on the workbench while a modal box is up; the queue is then run inside
    // the box's own loop.
    static void try_command_under_box(int id, int ctrl_key) {
        EXPECT_FALSE(IsWindowEnabled(main_wnd));
        EXPECT_FALSE(menu_choose(main_wnd, static_cast<UINT>(id)));
        auto* bar = win_widget(main_wnd)->findChild<QMenuBar*>();
        if (bar) {
            EXPECT_FALSE(bar->isEnabled());
            QPoint at = bar->mapToGlobal(bar->actionGeometry(bar->actions()[0]).center());
            POINT origin{0, 0};
            ClientToScreen(main_wnd, &origin);
            td::click(main_wnd, at.x() - origin.x, at.y() - origin.y);
            EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        }
        PostMessage(main_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0); // a press queued earlier
        if (ctrl_key) td::press_key(ctrl_key, td::ctrl);
        td::run_until_idle();
    }

    int times_seen(const std::string& text_part) const {
        int n = 0;
        for (const auto& s : answerer::seen())
            if (s.text.find(text_part) != std::string::npos) ++n;
        return n;
    }
    int dialogs_seen(int template_id) const {
        int n = 0;
        for (const auto& s : answerer::seen())
            if (s.template_id == template_id) ++n;
        return n;
    }
    // Runs the main loop with `start` queued (keys need the loop's
    // shortcuts) until everything it led to is done.
    static void in_main_loop(const std::function<void()>& start) {
        SetFocus(main_wnd);
        start();
        td::on_idle([] {
            end_maintain(0, 0);
            PostMessage(nullptr, WM_NULL, 0, 0);
        });
        maintain(0);
    }
    void simulate_once() {
        ASSERT_TRUE(menu_choose(main_wnd, cmd_simulate));
        td::run_until_idle();
        ASSERT_TRUE(std::filesystem::exists(run_file));
        answerer::clear();
    }

    std::string model;
    std::string run_file;
};

TEST_F(ModalCommands, OpenDialogUpTakesNoSecondOpen) {
    answerer::dialog(dlg_file_choice)
        .call([](HWND) { try_command_under_box(cmd_open_model, 'O'); })
        .press(IDCANCEL);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_open_model));
    td::run_until_idle();
    EXPECT_EQ(dialogs_seen(dlg_file_choice), 1);
    EXPECT_TRUE(IsWindowEnabled(main_wnd));
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
}

TEST_F(ModalCommands, OverwriteQuestionUpTakesNoSecondSimulate) {
    simulate_once();
    answerer::box(question_caption)
        .text("overwrite")
        .call([](HWND) { try_command_under_box(cmd_simulate, 'R'); })
        .press(IDYES);
    in_main_loop([] { td::press_key('R', td::ctrl); });
    EXPECT_EQ(times_seen("overwrite"), 1);
    EXPECT_EQ(last_run_result, 1);
    EXPECT_EQ(sim_phase, phase_idle);
}

TEST_F(ModalCommands, NewModelUnderTheOverwriteQuestionKeepsTheModelAndItsRunFile) {
    simulate_once();
    auto before = std::filesystem::last_write_time(run_file);
    std::filesystem::last_write_time(run_file, before - std::chrono::hours(1));
    answerer::box(question_caption)
        .text("overwrite")
        .call([](HWND) { try_command_under_box(cmd_new_model, 'N'); })
        .press(IDYES);
    in_main_loop([] { td::press_key('R', td::ctrl); });
    // The run was made for the model the question was about, into the file
    // it named.
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    ASSERT_NE(model_rec, nullptr);
    EXPECT_EQ(model_rec->state, 1);
    EXPECT_GT(std::filesystem::last_write_time(run_file), before - std::chrono::hours(1));
    EXPECT_EQ(last_run_result, 1);
    loaded_run_names(1);
    EXPECT_STRCASEEQ(selected_run_names[0], "Current");
    // New Model works again once the run is over.
    menu_command(cmd_new_model);
    EXPECT_NE(title().find("No Model Open"), std::string::npos) << title();
}

// A window whose message, dispatched by the run's pump, records what the
// menus offer in the middle of the run and queues what a person would press
// then: New Model on the toolbar, a recent model, Simulate again.
struct mid_run_probe {
    bool seen = false;
    HWND window = nullptr;
    bool new_enabled = true, open_enabled = true, recent_enabled = true, stop_enabled = false;
    bool simulate_enabled = true;
    BOOL chose_new = TRUE;
};
mid_run_probe probe;
constexpr UINT probe_msg = WM_USER + 300;

LRESULT probe_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == probe_msg) {
        probe.seen = sim_phase >= phase_initialising;
        update_menu_states();
        probe.new_enabled = menu_item_enabled(cmd_new_model);
        probe.open_enabled = menu_item_enabled(cmd_open_model);
        probe.recent_enabled = menu_item_enabled(first_recent_item);
        probe.simulate_enabled = menu_item_enabled(cmd_simulate);
        probe.stop_enabled = menu_item_enabled(cmd_stop_simulation);
        probe.chose_new = menu_choose(main_wnd, cmd_new_model);
        PostMessage(main_wnd, WM_COMMAND, cmd_new_model, 0);
        PostMessage(main_wnd, WM_COMMAND, first_recent_item, 0);
        PostMessage(main_wnd, WM_COMMAND, cmd_open_model, 0);
        PostMessage(main_wnd, WM_COMMAND, cmd_simulate, 0);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

// The engine's pump at a save point: the probe is posted at the first one.
void pump_with_probe() {
    if (probe.window && sim_phase >= phase_initialising) {
        PostMessage(probe.window, probe_msg, 0, 0);
        probe.window = nullptr;
    }
    wip_show_time();
}

TEST_F(ModalCommands, DuringARunNothingClosesOrReplacesTheModel) {
    probe = mid_run_probe{};
    HWND w = make_test_window("ModalProbe", probe_proc);
    ASSERT_NE(w, nullptr);
    std::string other = sample("inventory.kmf");
    recent_models(1, 0, other.c_str());
    probe.window = w;
    set_sim_pump_hook(pump_with_probe);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_simulate));
    td::run_until_idle();
    wip_install_sim_hooks();
    ASSERT_TRUE(probe.seen) << "the probe was not dispatched during the run";
    EXPECT_FALSE(probe.new_enabled);
    EXPECT_FALSE(probe.open_enabled);
    EXPECT_FALSE(probe.recent_enabled);
    EXPECT_FALSE(probe.simulate_enabled);
    EXPECT_TRUE(probe.stop_enabled);
    EXPECT_FALSE(probe.chose_new);
    // The run ended normally for the model it began with, and was loaded.
    EXPECT_EQ(last_run_result, 1);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    EXPECT_EQ(log_text().find("Unable to write"), std::string::npos) << log_text();
    loaded_run_names(1);
    EXPECT_STRCASEEQ(selected_run_names[0], "Current");
    // Afterwards the items are back.
    update_menu_states();
    EXPECT_TRUE(menu_item_enabled(cmd_new_model));
    EXPECT_TRUE(menu_item_enabled(first_recent_item));
    DestroyWindow(w);
}

// Closing the main window mid-run: posted at the first save point.
bool close_posted = false;
void pump_with_close() {
    if (!close_posted && sim_phase >= phase_initialising) {
        PostMessage(main_wnd, WM_CLOSE, 0, 0);
        close_posted = true;
    }
    wip_show_time();
}

TEST_F(ModalCommands, ClosingTheProgramDuringARunStopsTheRunFirst) {
    close_posted = false;
    set_sim_pump_hook(pump_with_close);
    // The engine's own question comes at the next save point; the results
    // so far are kept, and the loop ends without waiting for the whole run.
    answerer::box(question_caption).text("save the results so far").press(IDYES);
    SetFocus(main_wnd);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_simulate));
    maintain(0); // returns only because the close ended the level
    wip_install_sim_hooks();
    EXPECT_TRUE(close_posted);
    EXPECT_EQ(last_run_result, sim_stopped_saved);
    EXPECT_EQ(maintain_depth(), 0);
    loaded_run_names(1);
    EXPECT_STRCASEEQ(selected_run_names[0], "Current");
}

// The Control Panel and the history window float in the container but are
// no windows of the model: clicked, they leave the menu bar, the bottom bar
// and the File commands to the model.
TEST_F(ModalCommands, FloatingWindowsLeaveTheMenusAndFileCommandsToTheModel) {
    answerer::box(severity_caption(6)).text("Unable to read the error log").press(IDOK);
    history_window(1, -1, -1, -1, -1);
    control_panel(1, -1, -1, -1, -1);
    ASSERT_NE(control_wnd, nullptr);
    ASSERT_NE(history_hwnd(), nullptr);
    td::run_until_idle();
    const auto bar_before = menu_texts(main_menu);
    const int mode_before = menu_bar_mode();
    auto bottom_text = [] {
        std::string all;
        for (const auto& it : bottom_items()) all += it.text;
        return all;
    };
    ASSERT_NE(bottom_text().find("population.kmf"), std::string::npos) << bottom_text();
    // With no diagram to take them, Save and Publish answer as the diagram
    // does and Print says there is nothing to print.
    std::vector<std::string> expected = {"Sorry not available", "There is no window to print",
                                         "Sorry not available"};
    const int severities[] = {8, 7, 8};
    for (HWND floating : {history_hwnd(), control_wnd}) {
        in_main_loop([floating] { td::click(floating, 20, 40); });
        EXPECT_NE(active_child, floating);
        EXPECT_EQ(menu_bar_mode(), mode_before);
        EXPECT_EQ(menu_texts(main_menu), bar_before);
        EXPECT_NE(bottom_text().find("population.kmf"), std::string::npos) << bottom_text();
        // The shortcuts and the File menu reach the model's commands.
        const std::function<void()> actions[] = {
            [] { td::press_key('S', td::ctrl); }, [] { td::press_key('P', td::ctrl); },
            [] { ASSERT_TRUE(menu_choose(main_wnd, cmd_publish)); }};
        for (int i = 0; i < 3; ++i) {
            answerer::box(severity_caption(severities[i])).text(expected[i]).press(IDOK);
            in_main_loop(actions[i]);
            EXPECT_EQ(answerer::pending(), 0u) << expected[i];
            answerer::clear();
        }
    }
    // Save and Save Settings have a mnemonic each.
    rebuild_menu_bar();
    std::string save_as = menu_texts(file_menu)[6];
    EXPECT_EQ(save_as, "Save Se&ttings");
    in_main_loop([] { td::press_key('W', td::ctrl); }); // Close
    EXPECT_NE(title().find("No Model Open"), std::string::npos) << title();
}

} // namespace
