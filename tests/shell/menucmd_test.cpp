// The menu command dispatcher: every id of the command range is served or
// answered "Sorry not available ...", the workbench's WM_COMMAND routing,
// Keep Build Behind, opening models through the file choice dialog, the
// recent models and a pending open request, and help and web pages.
#include "shell_fixture.h"

#include "foundation/app_strings.h"
#include "resources/modelpages.h"
#include "resources/options.h"
#include "runs/select.h"
#include "shell/filechoice.h"
#include "shell/menustate.h"
#include "shell/rundrv.h"

#include <map>
#include <string>

namespace td = test_driver;

namespace {

class MenuCommands : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        // The program's folder is the test's, with its help pages.
        old_prog_dir = app_strings().prog_dir;
        app_strings().prog_dir = dir + "/";
        std::filesystem::create_directories(dir + "/help");
        std::ofstream(dir + "/help/kavread.html") << "<html>instructions</html>";
        std::ofstream(dir + "/help/readme.html") << "<html>release notes</html>";
    }
    void TearDown() override {
        app_strings().prog_dir = old_prog_dir;
        ShellWorkbenchTest::TearDown();
    }
    std::string old_prog_dir;
    static constexpr const char* sorry = "Sorry not available in Kavrel Player configuration";
};

TEST_F(MenuCommands, EveryIdIsServedOrAnsweredNotAvailable) {
    // Ids whose action shows something when nothing is open, with the answer.
    auto expect_shown = [](int id) {
        switch (id) {
        case cmd_about:
            answerer::dialog(359).press(IDOK);
            return true;
        case cmd_open_model:
        case cmd_read_changes:
        case cmd_write_changes:
            answerer::dialog(dlg_file_choice).press(IDCANCEL);
            return true;
        case cmd_output_list:
            answerer::box(severity_caption(8)).text("No Output Windows Open").press(IDOK);
            return true;
        case cmd_print_options:
            answerer::dialog(dlg_print_options).press(IDCANCEL);
            return true;
        case cmd_options:
            answerer::dialog(dlg_options).press(IDCANCEL);
            return true;
        case cmd_units_equivalences:
            answerer::dialog(dlg_units).press(IDCANCEL);
            return true;
        case cmd_constant_changes:
        case cmd_lookup_changes:
            answerer::box(severity_caption(8)).text("Open a model first").press(IDOK);
            return true;
        case cmd_error_history: // no error log was made here
            answerer::box(severity_caption(6)).text("Unable to read the error log").press(IDOK);
            return true;
        default:
            return false;
        }
    };
    int served = 0, refused = 0;
    for (int id = 495; id <= 605; ++id) {
        answerer::clear();
        bool is_served = menu_command_served(id);
        if (!is_served)
            answerer::box(severity_caption(8)).text(sorry).press(IDOK);
        else
            expect_shown(id);
        EXPECT_EQ(menu_command(id), 1);
        EXPECT_EQ(answerer::pending(), 0u) << "id " << id;
        bool said_sorry = false;
        for (const auto& s : answerer::seen())
            if (s.text == sorry) said_sorry = true;
        EXPECT_EQ(said_sorry, !is_served) << "id " << id;
        (is_served ? served : refused) += 1;
    }
    // The table of the main menu: every item of it is served.
    const int table[] = {501,
                         502,
                         504,
                         518,
                         523,
                         524,
                         525,
                         526,
                         529,
                         530,
                         539,
                         542,
                         563,
                         564,
                         565,
                         566,
                         567,
                         572,
                         573,
                         580,
                         584,
                         585,
                         599,
                         cmd_model_notes,
                         cmd_model_display,
                         cmd_model_references,
                         cmd_units_equivalences};
    for (int id : table) EXPECT_TRUE(menu_command_served(id)) << id;
    EXPECT_FALSE(menu_command_served(500));
    EXPECT_FALSE(menu_command_served(536)); // Ctrl+L's command: nothing serves it
    EXPECT_GT(refused, 0);
    EXPECT_GT(served, 30);
}

TEST_F(MenuCommands, TheModelMenuOpensTheModelSettingsPages) {
    // Greyed without a model.
    update_menu_states();
    for (int id : {cmd_model_notes, cmd_model_display, cmd_model_references})
        EXPECT_FALSE(menu_item_enabled(id)) << id;
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    update_menu_states();
    for (int id : {cmd_model_notes, cmd_model_display, cmd_model_references})
        EXPECT_TRUE(menu_item_enabled(id)) << id;
    auto flags = [] {
        std::uint8_t f = lock_model_settings(cur_model_symbols)->flags;
        unlock_model_settings(cur_model_symbols);
        return f;
    };
    ASSERT_FALSE(flags() & msf_hide_lookups);

    // Each page carries its own caption, the name of its menu item.
    std::map<int, std::string> captions;
    auto caption_of = [&captions](int id) {
        return [&captions, id](HWND d) {
            char text[128] = {};
            GetWindowText(d, text, sizeof text);
            captions[id] = text;
        };
    };

    // The display page, chosen from the menu: a box unchecked sets its bit.
    answerer::dialog(dlg_model_flags)
        .call(caption_of(dlg_model_flags))
        .call([](HWND d) { CheckDlgButton(d, idm_show_lookups, BST_UNCHECKED); })
        .press(IDOK);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_model_display));
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(flags() & msf_hide_lookups);

    // The notes page and the references page open on the same model;
    // Cancel changes nothing.
    answerer::dialog(dlg_model_notes)
        .call(caption_of(dlg_model_notes))
        .call([](HWND d) { CheckDlgButton(d, idm_show_notes, BST_CHECKED); })
        .press(IDCANCEL);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_model_notes));
    td::run_until_idle();
    answerer::dialog(dlg_model_refs).call(caption_of(dlg_model_refs)).press(IDCANCEL);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_model_references));
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(captions[dlg_model_notes], "Model Notes and Password");
    EXPECT_EQ(captions[dlg_model_flags], "Diagram Display");
    EXPECT_EQ(captions[dlg_model_refs], "Reference Datasets");
    EXPECT_FALSE(flags() & msf_show_notes);
}

TEST_F(MenuCommands, WorkbenchRoutesCommandsByRange) {
    // A text-edit window as the active child sees the low ids.
    struct child {
        static LRESULT proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_COMMAND) ids().push_back(LOWORD(wp));
            return DefWindowProc(w, m, wp, lp);
        }
        static std::vector<int>& ids() {
            static std::vector<int> v;
            return v;
        }
    };
    child::ids().clear();
    HWND edit = make_test_window("MenuEdit", child::proc, WS_CHILD | WS_VISIBLE, 50, 50,
                                 container_wnd, "notes");
    activate_window(edit, 0, 0);
    ASSERT_EQ(active_child, edit);
    EXPECT_EQ(active_kind, kind_text);
    SendMessage(main_wnd, WM_COMMAND, cmd_ignored, 0);
    SendMessage(main_wnd, WM_COMMAND, 499, 0);
    SendMessage(main_wnd, WM_COMMAND, cmd_save, 0);
    EXPECT_EQ(child::ids(), (std::vector<int>{499, cmd_save}));
    answerer::box(severity_caption(8)).text(sorry).press(IDOK);
    SendMessage(main_wnd, WM_COMMAND, 500, 0);
    EXPECT_EQ(busy_depth, 0);
}

TEST_F(MenuCommands, KeepBuildBehindToggles) {
    menu_command(cmd_keep_build_behind);
    EXPECT_TRUE(float_opts & fo_build_behind);
    EXPECT_TRUE(GetMenuState(main_menu, cmd_keep_build_behind, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(main_menu, cmd_pop_build, MF_BYCOMMAND) & MF_GRAYED);
    menu_command(cmd_keep_build_behind);
    EXPECT_FALSE(float_opts & fo_build_behind);
    EXPECT_FALSE(GetMenuState(main_menu, cmd_keep_build_behind, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(main_menu, cmd_pop_build, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(MenuCommands, OpenModelThroughTheFileChoiceDialog) {
    std::string model = sample("population.kmf");
    // Cancel leaves the current model and asks nothing else.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    menu_command(cmd_open_model);
    EXPECT_NE(title().find("No Model Open"), std::string::npos);

    answerer::dialog(dlg_file_choice).set_text(fdc_name, model).press(IDOK);
    menu_command(cmd_open_model);
    EXPECT_NE(title().find("Kavrel"), std::string::npos);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    ASSERT_NE(model_rec, nullptr);
    EXPECT_EQ(model_rec->state, 1);
    ASSERT_EQ(recent_model_paths().size(), 1u);
    EXPECT_EQ(recent_model_paths()[0], model);

    // The recent item opens its model without any dialog.
    std::string other = sample("inventory.kmf");
    answerer::dialog(dlg_file_choice).set_text(fdc_name, other).press(IDOK);
    menu_command(cmd_open_model);
    EXPECT_NE(title().find("inventory.kmf"), std::string::npos);
    menu_command(first_recent_item + 1); // population, now second
    EXPECT_NE(title().find("population.kmf"), std::string::npos);
    EXPECT_EQ(recent_model_paths()[0], model);

    // New Model leaves no model open.
    menu_command(cmd_new_model);
    EXPECT_NE(title().find("No Model Open"), std::string::npos);
}

TEST_F(MenuCommands, EveryRecentModelItemOpensItsModelTheOldestToo) {
    const std::string oldest = sample("population.kmf");
    const std::string second = sample("inventory.kmf");
    const std::string third = sample("epidemic.kmf");
    const std::string newest = sample("population.kmf", "newest.kmf");
    for (const std::string& m : {oldest, second, third, newest}) recent_models(1, 0, m.c_str());
    ASSERT_EQ(recent_model_paths().size(), static_cast<std::size_t>(recent_model_count));
    // The fourth item is the model opened first.
    EXPECT_TRUE(menu_command_served(first_recent_item + recent_model_count - 1));
    menu_command(first_recent_item + recent_model_count - 1);
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    EXPECT_EQ(recent_model_paths()[0], oldest);
    menu_command(first_recent_item + recent_model_count - 1); // now inventory
    EXPECT_NE(title().find("inventory.kmf"), std::string::npos) << title();
}

TEST_F(MenuCommands, PendingOpenRequestOpensWithoutADialog) {
    std::string model = sample("epidemic.kmf");
    set_pending_open(1, model.c_str(), 0);
    menu_command(cmd_open_model);
    EXPECT_NE(title().find("epidemic.kmf"), std::string::npos) << title();
    EXPECT_TRUE(answerer::seen().empty());
    // Used once: the next Open asks again.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    menu_command(cmd_open_model);
}

TEST_F(MenuCommands, OpenFailureKeepsTheCurrentModel) {
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    std::string bad = dir + "/broken.kmf";
    {
        std::ofstream out(bad);
        out << "not a model";
    }
    answerer::dialog(dlg_file_choice).set_text(fdc_name, bad).press(IDOK);
    answerer::box("Stop from Kavrel").text("broken.kmf").press(IDOK);
    menu_command(cmd_open_model);
    EXPECT_NE(log_text().find("broken.kmf"), std::string::npos) << log_text();
    EXPECT_NE(title().find("population.kmf"), std::string::npos) << title();
    EXPECT_EQ(recent_model_paths().size(), 1u);
}

TEST_F(MenuCommands, HelpAndWebPagesGoThroughTheDesktop) {
    shell_clear_requests();
    menu_command(cmd_instructions);
    menu_command(cmd_release_notes);
    menu_command(cmd_online_forum);
    menu_command(cmd_newer_releases);
    std::vector<std::string> targets;
    for (const auto& r : shell_requests()) targets.push_back(r.target);
    ASSERT_EQ(targets.size(), 4u);
    EXPECT_NE(targets[0].find(dir + "/help/kavread"), std::string::npos) << targets[0];
    EXPECT_NE(targets[1].find(dir + "/help/readme"), std::string::npos) << targets[1];
    EXPECT_EQ(targets[2], forum_url);
    EXPECT_NE(targets[3].find("version=" + app_strings().version), std::string::npos);

    // Without the help pages the user is told so.
    std::filesystem::remove(dir + "/help/kavread.html");
    answerer::box(severity_caption(6)).text("Help is not installed").press(IDOK);
    menu_command(cmd_instructions);
}

TEST_F(MenuCommands, ExitEndsTheOuterLevel) {
    td::on_idle([] { PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0); });
    maintain(0); // returns: Exit ended level 0
    EXPECT_EQ(maintain_depth(), 0);
    td::on_idle([] { PostMessage(main_wnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    maintain(0);
    td::on_idle([] { PostMessage(main_wnd, WM_CLOSE, 0, 0); });
    maintain(0);
    EXPECT_TRUE(IsWindow(main_wnd)); // closing asks the exit checks, never destroys
}

} // namespace

namespace {

class MenuSimulate : public MenuCommands {};

TEST_F(MenuSimulate, SimulateFromTheModelMenuLoadsTheRunFirst) {
    install_run_driver();
    wip_install_sim_hooks();
    std::string model = sample("population.kmf");
    ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
    ASSERT_TRUE(menu_choose(main_wnd, cmd_simulate));
    td::run_until_idle();
    ASSERT_NE(model_rec, nullptr);
    ASSERT_GE(model_rec->run_count, 1);
    loaded_run_names(1);
    EXPECT_STRCASEEQ(selected_run_names[0], "Current");
    EXPECT_TRUE(std::filesystem::exists(dir + "/Current.kdf"));
    EXPECT_EQ(last_run_result, 1);
    EXPECT_EQ(modal_count, 0);
    EXPECT_EQ(busy_depth, 0);
}

} // namespace
