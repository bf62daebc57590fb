// Start-up and shutdown: the command line, the settings file, the first
// model, the exit checks, the program-level recovery and the exit codes.
#include "shell/controls/tooltip.h"
#include "shell/settings_rows.h"
#include "shell_fixture.h"
#include "sim/runname.h"

#include "foundation/app_strings.h"
#include "platform/display.h"
#include "platform/msgbox.h"
#include "tests/common/env_override.h"

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace td = test_driver;

namespace {

class Startup : public ShellWorkbenchTest {
protected:
    // Runs the whole program on its arguments; `while_running` is called once
    // the main loop waits for input, then Exit is chosen.
    int run_program(const std::vector<std::string>& arguments,
                    std::function<void()> while_running = nullptr) {
        td::on_idle([while_running] {
            if (while_running) while_running();
            PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0);
        });
        int r = init_and_run(nullptr, arguments);
        win_clear_idle_actions();
        return r;
    }
    void end_program() {
        if (main_wnd) shutdown_ui();
        // The gauge class outlives the teardown (as it does in the program);
        // a second start in the same process registers it again.
        UnregisterClass("Kavrel_guage", hinst);
    }
};

TEST_F(Startup, ModelArgumentsQuotesAndTheSwitch) {
    struct row {
        std::vector<std::string> args;
        const char* name;
        bool no_model;
    };
    const row rows[] = {
        {{}, "", false},
        {{"   "}, "", false},
        {{"population.kmf"}, "population.kmf", false},
        {{"my model.kmf"}, "my model.kmf", false},    // one argument, blanks included
        {{"my", "model.kmf"}, "my model.kmf", false}, // unquoted: the arguments are one name
        {{"\"my model.kmf\""}, "my model.kmf", false},
        {{"\"my model.kmf\"-N"}, "", true},     // the switch right after the quote
        {{"\"my model.kmf\"", "-N"}, "", true}, // the switch as an argument of its own
        {{"-N"}, "", true},                     // a plain switch is not a model named "-N"
        {{"population.kmf", "-N"}, "", true},
        {{"-Nope.kmf"}, "-Nope.kmf", false}, // only the whole argument is the switch
        {{"\"unclosed name.kmf"}, "unclosed name.kmf", false},
    };
    for (const row& r : rows) {
        std::string shown;
        for (const std::string& a : r.args) shown += "[" + a + "]";
        start_arguments a = parse_start_arguments(r.args);
        EXPECT_EQ(a.name, r.name) << "arguments: " << shown;
        EXPECT_EQ(a.no_model, r.no_model) << "arguments: " << shown;
        EXPECT_EQ(a.settings, "") << "arguments: " << shown;
    }
}

TEST_F(Startup, ArgumentsWithBlanksStayWhole) {
    start_arguments a = parse_start_arguments({"/tmp/my settings.ini", "/tmp/a model.kmf", "-N"});
    EXPECT_EQ(a.settings, "/tmp/my settings.ini");
    EXPECT_TRUE(a.no_model);
    a = parse_start_arguments({"/tmp/My Settings.INI", "/tmp/a model.kmf"});
    EXPECT_EQ(a.settings, "/tmp/My Settings.INI");
    EXPECT_EQ(a.name, "/tmp/a model.kmf");
    // Only a first argument names the settings file.
    a = parse_start_arguments({"/tmp/a model.kmf", "other.ini"});
    EXPECT_EQ(a.settings, "");
    EXPECT_EQ(a.name, "/tmp/a model.kmf other.ini");
}

TEST_F(Startup, StartsOnANamedModelAndRemembersIt) {
    std::string model = sample("population.kmf");
    std::string seen_title;
    int state = -1;
    HWND bottom = nullptr;
    int r = run_program({model}, [&] {
        seen_title = title();
        state = model_rec ? model_rec->state : -1;
        bottom = bottom_wnd;
    });
    EXPECT_EQ(r, 1);
    EXPECT_NE(seen_title.find("Kavrel"), std::string::npos) << seen_title;
    EXPECT_NE(seen_title.find("population.kmf"), std::string::npos) << seen_title;
    EXPECT_EQ(state, 1);
    EXPECT_NE(bottom, nullptr);
    ASSERT_FALSE(recent_model_paths().empty());
    EXPECT_EQ(recent_model_paths()[0], model);
    // The exit checks wrote the settings: the model's path and the recent list.
    std::string ini = read_file(dir + "/kavread.ini");
    EXPECT_NE(ini.find("[kavrel]"), std::string::npos);
    EXPECT_NE(ini.find("Model=" + model), std::string::npos) << ini;
    EXPECT_NE(ini.find("ModelsOld0=" + model), std::string::npos) << ini;
    end_program();
}

TEST_F(Startup, SwitchStartsWithNoModelAndLeavesTheModelSettingAlone) {
    std::string model = sample("population.kmf");
    {
        std::ofstream ini(dir + "/kavread.ini");
        ini << "[kavrel]\nModel=" << model << "\n";
    }
    std::string seen_title;
    int r = run_program({"-N"}, [&] { seen_title = title(); });
    EXPECT_EQ(r, 1);
    EXPECT_NE(seen_title.find("No Model Open"), std::string::npos) << seen_title;
    end_program();
    // Not consulted, so not emptied by the start-up (the exit writes no model).
    EXPECT_TRUE(failures.empty());
}

TEST_F(Startup, ModelSettingIsAOneShotRequestThatStartEmptyMayVeto) {
    std::string model = sample("population.kmf");
    // Without StartEmpty the named model opens and the key is emptied at once.
    {
        std::ofstream ini(dir + "/kavread.ini");
        ini << "[kavrel]\nModel=" << model << "\n";
    }
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    EXPECT_EQ(startup_model_name(start_arguments{}), model);
    EXPECT_NE(read_file(dir + "/kavread.ini").find("Model=\n"), std::string::npos);

    // StartEmpty=1: nothing opens, but the request is used up all the same.
    {
        std::ofstream ini(dir + "/kavread.ini");
        ini << "[kavrel]\nModel=" << model << "\nStartEmpty=1\n";
    }
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    EXPECT_EQ(startup_model_name(start_arguments{}), "");
    EXPECT_NE(read_file(dir + "/kavread.ini").find("Model=\n"), std::string::npos);

    // A StartEmpty beginning with 0 does not stop the opening.
    {
        std::ofstream ini(dir + "/kavread.ini");
        ini << "[kavrel]\nModel=" << model << "\nStartEmpty=0yes\n";
    }
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    EXPECT_EQ(startup_model_name(start_arguments{}), model);

    // A name on the command line wins and leaves the setting untouched.
    start_arguments named;
    named.name = "other.kmf";
    EXPECT_EQ(startup_model_name(named), "other.kmf");
}

TEST_F(Startup, DefaultModelOnlyWhenItExistsInTheCurrentDirectory) {
    ASSERT_EQ(read_ini_file(nullptr, nullptr, 1), 1);
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(startup_model_name(start_arguments{}), "");
    sample("population.kmf", "kavread.kmf");
    // StartEmpty is not consulted for the default model.
    ini_set("StartEmpty", "1");
    EXPECT_EQ(startup_model_name(start_arguments{}), "kavread.kmf");
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(Startup, SettingsFileWrittenFreshWhenMissingAndNamedOnTheCommandLine) {
    // Missing: written fresh with its section line.
    int r = run_program({"-N"});
    EXPECT_EQ(r, 1);
    end_program();
    EXPECT_NE(read_file(dir + "/kavread.ini").find("[kavrel]"), std::string::npos);

    // A quoted settings path with a blank, then the model.
    std::filesystem::create_directories(dir + "/my settings");
    std::string ini = dir + "/my settings/other.ini";
    {
        std::ofstream out(ini);
        out << "[kavrel]\nStartEmpty=0\n";
    }
    std::string model = sample("inventory.kmf");
    std::string seen_title;
    r = run_program({ini, model}, [&] { seen_title = title(); });
    EXPECT_EQ(r, 1);
    EXPECT_EQ(std::string(ini_file_path()), ini);
    EXPECT_NE(seen_title.find("inventory.kmf"), std::string::npos) << seen_title;
    end_program();
    EXPECT_NE(read_file(ini).find("ModelsOld0=" + model), std::string::npos);
}

// What a name is on disk, to tell that a start left it alone.
struct disk_look {
    bool exists = false;
    mode_t mode = 0;    // of the name itself (a link is a link)
    off_t size = 0;     // of what it leads to
    std::string target; // of a link
    bool operator==(const disk_look&) const = default;
};
disk_look look_at(const std::string& path) {
    disk_look d;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return d;
    d.exists = true;
    d.mode = st.st_mode;
    if (::stat(path.c_str(), &st) == 0) d.size = st.st_size;
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n > 0) d.target.assign(buf, static_cast<std::size_t>(n));
    return d;
}

TEST_F(Startup, ASettingsFileThatCannotBeReadIsLeftAloneAndTheProgramRunsOnDefaults) {
    std::string dflt = dir + "/kavread.ini";
    struct row {
        const char* what;
        std::function<std::string()> make; // makes the file, returns its path
        bool named;                        // given on the command line
        const char* reason;
    };
    auto huge = [&] {
        std::string p = dir + "/huge.ini";
        std::ofstream(p) << "[kavrel]\nModel=x.kmf\n";
        EXPECT_EQ(::truncate(p.c_str(), (65LL << 20) + 1), 0); // sparse
        return p;
    };
    auto fifo = [&] {
        std::string p = dir + "/pipe.ini";
        EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
        return p;
    };
    auto link_to = [&](std::string target) {
        return [dflt, target] {
            EXPECT_EQ(::symlink(target.c_str(), dflt.c_str()), 0);
            return dflt;
        };
    };
    std::vector<row> rows = {
        {"a 65 MiB file", huge, true, "too large"},
        {"a named pipe", fifo, true, "named pipe"},
        {"a link to a named pipe, as the default file", [&] { return link_to(fifo())(); }, false,
         "named pipe"},
        {"a link to a device", link_to("/dev/null"), false, "character device"},
        {"a link to nothing", link_to(dir + "/nowhere.ini"), false, "No such file"},
    };
    if (geteuid() != 0) {
        auto locked = [&](std::string p) {
            return [p] {
                std::ofstream(p) << "[kavrel]\nModel=x.kmf\n";
                EXPECT_EQ(::chmod(p.c_str(), 0), 0);
                return p;
            };
        };
        rows.push_back({"an unreadable file", locked(dir + "/locked.ini"), true, "Permission"});
        rows.push_back({"an unreadable default file", locked(dflt), false, "Permission"});
    }
    for (const row& r : rows) {
        set_ini_directory(dir.c_str()); // as at a fresh start: no file read yet
        std::string path = r.make();
        disk_look before = look_at(path);
        std::vector<std::string> args = {"-N"};
        if (r.named) args.insert(args.begin(), path);
        std::string before_log = log_text();
        answerer::box("Message from Kavrel").text(path).press(IDOK);
        // Exit once the main loop waits: the box's answer comes first.
        std::function<void()> exit_when_free = [&] {
            if (modal_count > 0)
                td::on_idle(exit_when_free);
            else
                PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0);
        };
        td::on_idle(exit_when_free);
        EXPECT_EQ(init_and_run(nullptr, args), 1) << r.what;
        win_clear_idle_actions();
        EXPECT_EQ(answerer::pending(), 0u) << r.what << ": no box";
        end_program();
        EXPECT_EQ(look_at(path), before) << r.what;
        EXPECT_EQ(std::string(ini_file_path()), path) << r.what;
        // Said once at start-up, with the file and the reason.
        std::string said = log_text().substr(before_log.size());
        std::string head = "Unable to read settings file " + path + ": ";
        std::size_t at = said.find(head);
        ASSERT_NE(at, std::string::npos) << r.what << "\n" << said;
        EXPECT_NE(said.find(r.reason, at), std::string::npos) << r.what << "\n" << said;
        EXPECT_EQ(said.find(head, at + 1), std::string::npos) << r.what << "\n" << said;
        ::chmod(path.c_str(), 0600);
        ::unlink(path.c_str());
        ::unlink(dflt.c_str());
        ::unlink((dir + "/pipe.ini").c_str());
    }
}

TEST_F(Startup, WritesPastTheFileSizeLimitFailInsteadOfEndingTheProgram) {
    struct sigaction saved {};
    ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &saved), 0);
    std::signal(SIGXFSZ, SIG_DFL);
    set_defaults();
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    ::sigaction(SIGXFSZ, &saved, nullptr);
}

TEST_F(Startup, DefaultsComeBackBeforeTheSettingsAreRead) {
    // What a previous life of the program (or a test) left is reset.
    opts.print_date = 0;
    opts.print_width = 3;
    opts.sketch_positioning = 0;
    opts.r1c1_row = 'Z';
    std::snprintf(opts.tool_face, sizeof opts.tool_face, "%s", "Arial");
    tooltip_seconds = 30;
    ask_dataset_overwrite = false;
    program_defaults.tab_width = 9;
    program_defaults.livesweep_buffer_mult = 7;
    program_defaults.text_edit_labels[3] = "x";
    set_defaults();
    EXPECT_EQ(opts.print_date, 1);
    EXPECT_FLOAT_EQ(opts.print_width, 10);
    EXPECT_FLOAT_EQ(opts.print_height, 10);
    EXPECT_EQ(opts.sketch_positioning, 2);
    EXPECT_EQ(opts.r1c1_row, 'R');
    EXPECT_EQ(opts.r1c1_col, 'C');
    EXPECT_STREQ(opts.tool_face, "Times New Roman");
    EXPECT_STREQ(program_defaults.second_face, "Courier");
    EXPECT_EQ(tooltip_seconds, 5);
    EXPECT_TRUE(ask_dataset_overwrite);
    EXPECT_EQ(program_defaults.tab_width, 5);
    EXPECT_EQ(program_defaults.livesweep_colorize, 1);
    EXPECT_EQ(program_defaults.livesweep_include_zero, 1);
    EXPECT_FLOAT_EQ(program_defaults.livesweep_buffer_mult, 2);
    EXPECT_EQ(program_defaults.horizontal_divisions, 4);
    EXPECT_EQ(program_defaults.vertical_divisions, 4);
    const char* labels[] = {"Case-Sen", "Backward", "No-entrain", "Line 00000", "Pos 000"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(program_defaults.text_edit_labels[i], labels[i]);
    EXPECT_FALSE(app_strings().prog_dir.empty());
}

TEST_F(Startup, RecentModelsSurviveARestart) {
    std::string a = sample("population.kmf");
    std::string b = sample("epidemic.kmf");
    ASSERT_EQ(run_program({a}), 1);
    end_program();
    ASSERT_EQ(run_program({b}), 1);
    end_program();
    std::vector<std::string> items;
    ASSERT_EQ(run_program({"-N"}, [&] { items = menu_texts(file_menu); }), 1);
    end_program();
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[items.size() - 3], "-");
    EXPECT_EQ(items[items.size() - 2], "&1 " + menu_path_text(b.c_str()));
    EXPECT_EQ(items[items.size() - 1], "&2 " + menu_path_text(a.c_str()));
}

// Keep Build Behind chosen in one session is in force at the next start:
// its item checked and Bring Build Forward grey.
TEST_F(Startup, KeepBuildBehindComesBackCheckedAtTheNextStart) {
    ASSERT_EQ(run_program({"-N"}, [] { menu_command(cmd_keep_build_behind); }), 1);
    end_program();
    UINT behind = 0, pop = 0;
    ASSERT_EQ(run_program({"-N"},
                          [&] {
                              behind = GetMenuState(main_menu, cmd_keep_build_behind, MF_BYCOMMAND);
                              pop = GetMenuState(main_menu, cmd_pop_build, MF_BYCOMMAND);
                          }),
              1);
    end_program();
    float_opts = 0;
    EXPECT_TRUE(behind & MF_CHECKED);
    EXPECT_TRUE(pop & MF_GRAYED);
}

int no_log(int) {
    return 0;
}

TEST_F(Startup, NoErrorLogMeansOneLineOnStderrAndFailure) {
    make_error_log = no_log;
    testing::internal::CaptureStderr();
    int r = init_and_run(nullptr, {});
    std::string err = testing::internal::GetCapturedStderr();
    make_error_log = error_log;
    EXPECT_EQ(r, 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("kavrel.err"), std::string::npos) << err;
    EXPECT_EQ(main_wnd, nullptr);
}

TEST_F(Startup, ClassRegistrationFailureNamesTheCode) {
    fail_class_registration(-235);
    set_message_hook(nullptr);
    testing::internal::CaptureStderr();
    int r = init_and_run(nullptr, {"-N"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, 0);
    EXPECT_NE(err.find("Failed to initialize  RC235"), std::string::npos) << err;
    EXPECT_NE(log_text().find("Failed to initialize  RC235"), std::string::npos);
    EXPECT_EQ(main_wnd, nullptr);
    // What was registered before the failure is unregistered again by the
    // driver's reset in the tear-down.
}

// ------------------------------------------------------------ exit checks ---

std::vector<std::string> exit_log;
int ask_a() {
    exit_log.push_back("ask a");
    return 1;
}
int ask_b_cancel() {
    exit_log.push_back("ask b");
    return 0;
}
int ask_b() {
    exit_log.push_back("ask b");
    return 1;
}
void close_a() {
    exit_log.push_back("close a");
}
void close_b() {
    exit_log.push_back("close b");
}

TEST_F(Startup, ExitChecksAskEveryQuestionBeforeClosingAnything) {
    exit_log.clear();
    exit_steps() = {{"a", ask_a, close_a}, {"b", ask_b_cancel, close_b}};
    EXPECT_EQ(run_exit_checks(), 0);
    EXPECT_EQ(exit_log, (std::vector<std::string>{"ask a", "ask b"})); // nothing closed

    exit_log.clear();
    exit_steps() = {{"a", ask_a, close_a}, {"b", ask_b, close_b}};
    EXPECT_EQ(run_exit_checks(), 1);
    EXPECT_EQ(exit_log, (std::vector<std::string>{"ask a", "ask b", "close a", "close b"}));
}

int cancel_count = 0;
int ask_user_cancels() {
    ++cancel_count;
    int answer =
        ask_question(question_yes_no_cancel, "Save changes to graph set without name?", IDCANCEL);
    // Cancelled: the program runs on; the user closes the window next.
    if (answer != IDYES) test_driver::on_idle([] { PostMessage(main_wnd, WM_CLOSE, 0, 0); });
    return answer == IDYES;
}

TEST_F(Startup, CancelledExitKeepsTheProgramRunningUntilTheChecksAgree) {
    cancel_count = 0;
    exit_steps() = {{"graph sets", ask_user_cancels, nullptr}};
    answerer::box(question_caption).text("graph set").press(IDCANCEL);
    answerer::box(question_caption).text("graph set").press(IDYES);
    td::on_idle([&] { PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0); });
    int r = init_and_run(nullptr, {"-N"});
    EXPECT_EQ(r, 1);
    EXPECT_EQ(cancel_count, 2); // the first Exit was cancelled, the loop ran again
    end_program();
}

// ------------------------------------------------------- fatal messages ---

// A window whose procedure raises a fatal message on WM_USER + 1, optionally
// from inside a message box.
bool fatal_inside_box = false;
LRESULT fatal_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 1) {
        busy_guard busy;
        if (fatal_inside_box)
            MessageBox(main_wnd, "Working", "Message from Kavrel", MB_OK);
        else
            report(9, "Insufficient memory to allocate handle for %u bytes", 12u);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

HWND make_fatal_window() {
    return make_test_window("StartupFatal", fatal_proc);
}

TEST_F(Startup, FatalMessageRecoversCountersAndEndsAfterTheExitChecks) {
    fatal_inside_box = true;
    // The fatal message arrives while a modal box is up over a raised counter.
    answerer::box("Message from Kavrel")
        .text("Working")
        .call([](HWND) { report(9, "Insufficient memory to allocate handle for %u bytes", 12u); })
        .press(IDOK);
    answerer::box(severity_caption(9)).text("Insufficient memory").press(IDOK);
    answerer::box(severity_caption(8)).text("Aborting Kavrel").press(IDOK);
    HWND fatal = nullptr;
    td::on_idle([&] {
        fatal = make_fatal_window();
        PostMessage(fatal, WM_USER + 1, 0, 0);
    });
    int r = init_and_run(nullptr, {"-N"});
    EXPECT_EQ(r, -1);
    EXPECT_EQ(busy_depth, 0);
    EXPECT_EQ(modal_count, 0);
    EXPECT_EQ(dialog_depth, 0);
    EXPECT_EQ(maintain_depth(), 0);
    EXPECT_TRUE(dlg_modal_stack().empty());
    EXPECT_TRUE(IsWindowEnabled(main_wnd));
    end_program();
    fatal_inside_box = false;
}

int never_agree_count = 0;
int never_agree() {
    ++never_agree_count;
    return 0; // saving fails every time
}

TEST_F(Startup, ExitChecksThatNeverAgreeEndAfterBoundedRefusals) {
    never_agree_count = 0;
    answerer::box(severity_caption(9)).press(IDOK);
    answerer::box(severity_caption(8)).text("Aborting Kavrel").press(IDOK);
    for (int i = 1; i < fatal_exit_rounds; ++i)
        answerer::box(severity_caption(8))
            .text("Non Recoverable error - do not cancel")
            .press(IDOK);
    td::on_idle([&] {
        exit_steps() = {{"model", never_agree, nullptr}};
        PostMessage(make_fatal_window(), WM_USER + 1, 0, 0);
    });
    int r = init_and_run(nullptr, {"-N"});
    EXPECT_EQ(r, -1);
    EXPECT_EQ(never_agree_count, fatal_exit_rounds);
    EXPECT_NE(log_text().find("ends without saving"), std::string::npos);
    end_program();
}

TEST_F(Startup, WithoutADisplayTheProgramSaysSoAndFails) {
    env_override env;
    env.set("QT_QPA_PLATFORM", nullptr);
    env.set("DISPLAY", nullptr);
    env.set("WAYLAND_DISPLAY", "");
    std::string why;
    EXPECT_FALSE(display_available(&why));
    EXPECT_NE(why.find("DISPLAY"), std::string::npos);
    testing::internal::CaptureStderr();
    int status = kavrel_main({"population.kmf"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err, "kavrel: " + why + "\n");
    env.set("QT_QPA_PLATFORM", "offscreen");
    EXPECT_TRUE(display_available(nullptr));
}

TEST_F(Startup, ADisplayThatCannotBeOpenedIsRefusedBeforeQtAborts) {
    env_override env;
    env.set("QT_QPA_PLATFORM", nullptr);
    env.set("WAYLAND_DISPLAY", nullptr);
    // A display number no server listens on.
    env.set("DISPLAY", ":4711");
    std::string why;
    EXPECT_FALSE(display_available(&why));
    EXPECT_NE(why.find("cannot open the X display \":4711\""), std::string::npos) << why;
    testing::internal::CaptureStderr();
    int status = kavrel_main({});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(err, "kavrel: " + why + "\n");
    // The X platform asked for by name is checked the same way.
    env.set("QT_QPA_PLATFORM", "xcb");
    EXPECT_FALSE(display_available(nullptr));
    // A Wayland display with no socket behind it (or no plugin in this Qt).
    env.set("QT_QPA_PLATFORM", nullptr);
    env.set("DISPLAY", nullptr);
    env.set("WAYLAND_DISPLAY", "no-such-wayland-display-4711");
    why.clear();
    EXPECT_FALSE(display_available(&why));
    EXPECT_NE(why.find("Wayland display \"no-such-wayland-display-4711\""), std::string::npos)
        << why;
}

TEST_F(Startup, HelpVersionAndArgumentsThatCannotBeTaken) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(kavrel_main({"--help"}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(out, usage_text());
    EXPECT_NE(out.find("-N"), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_EQ(kavrel_main({"-h"}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), usage_text());
    testing::internal::CaptureStdout();
    EXPECT_EQ(kavrel_main({"--version"}), 0);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(app_strings().version), std::string::npos) << out;

    // Refused with the reason and the usage on stderr, nothing on stdout.
    struct row {
        std::vector<std::string> args;
        const char* reason;
    };
    std::string a = sample("population.kmf");
    const row refused[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"-Z", "x"}, "unknown option -Z"},
        {{"settings.ini", a, "-q"}, "unknown option -q"},
        {{a, sample("epidemic.kmf")}, "more than one model"},
        {{"one.kmf", "two.kpa"}, "more than one model"},
        {{"\"one.kmf\"", "two.kmf"}, "more than one model"},
    };
    for (const row& r : refused) {
        std::string shown;
        for (const std::string& x : r.args) shown += "[" + x + "]";
        EXPECT_FALSE(parse_start_arguments(r.args).error.empty()) << shown;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(kavrel_main(r.args), 2) << shown;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << shown;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(r.reason), std::string::npos) << shown << err;
        EXPECT_NE(err.find(usage_text()), std::string::npos) << shown << err;
    }
    // A name with blanks given unquoted is still one model, as is a name
    // starting with "-" that is a file name.
    EXPECT_EQ(parse_start_arguments({"my", "model.kmf"}).error, "");
    EXPECT_EQ(parse_start_arguments({"-Nope.kmf"}).error, "");
    EXPECT_EQ(parse_start_arguments({"./-x"}).name, "./-x");
}

} // namespace
