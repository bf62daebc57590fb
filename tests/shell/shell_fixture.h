// The fixtures of the shell's tests.
//
// ShellDialogTest (the dialog utilities, the file choice dialog, the
// work-in-progress window, the subscript panel, the run driver): the test
// driver, the answerer (every box and dialog must be answered), the
// reporter's hook set to the shell's show_message, and a log stream off the
// disk.
//
// ShellWorkbenchTest (start-up, the main window, the main loop, the menu
// dispatcher, the window list, the hooks): the same, with the menus, a
// private folder for the settings file, the error log and model files, and
// the workbench taken down after each test.
#pragma once

#include "foundation/errlog.h"
#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "platform/menu.h"
#include "platform/shellexec.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "shell/controlpanel.h"
#include "shell/dialogs.h"
#include "shell/exitcheck.h"
#include "shell/mainloop.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/msgbox.h"
#include "shell/pump.h"
#include "shell/questions.h"
#include "shell/showqueue.h"
#include "shell/startup.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/driver/answerer.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A window of a test's own class (registered on first use): top-level, or
// a child of `parent`; w x h pixels. Null when it could not be made.
inline HWND make_test_window(const char* class_name, WNDPROC proc, DWORD style = 0, int w = 10,
                             int h = 10, HWND parent = nullptr, const char* title = "") {
    WNDCLASS wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = hinst;
    wc.lpszClassName = class_name;
    RegisterClass(&wc); // fails harmlessly when the class is there already
    return CreateWindow(class_name, title, style, 0, 0, w, h, parent, nullptr, hinst, nullptr);
}

class ShellDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_driver::start();
        reset_counters();
        register_dialog_templates();
        answerer::clear();
        answerer::install([this](const std::string& m) { failures.push_back(m); });
        set_message_hook(show_message);
        log_ = std::tmpfile();
        set_report_stream(log_);
        clear_message_list();
    }
    void TearDown() override {
        EXPECT_TRUE(failures.empty()) << joined_failures();
        EXPECT_EQ(answerer::pending(), 0u) << "answers left unused";
        EXPECT_EQ(modal_count, 0);
        EXPECT_EQ(dialog_depth, 0);
        EXPECT_EQ(busy_depth, 0);
        answerer::uninstall();
        answerer::clear();
        close_windows();
        wip_destroy();
        set_message_hook(nullptr);
        set_report_stream(nullptr);
        if (log_) std::fclose(log_);
        log_ = nullptr;
        test_driver::reset();
        reset_counters();
        set_dialog_font_specs("", "", "");
        free_dialog_fonts();
    }
    // What a fixture built on this one closes before the driver stops.
    virtual void close_windows() {}

    std::string joined_failures() const {
        std::string s;
        for (const auto& f : failures) s += f + "\n";
        return s;
    }
    // The captions and the texts of the boxes and dialogs seen so far.
    static std::vector<std::string> seen_captions() {
        std::vector<std::string> out;
        for (const auto& s : answerer::seen()) out.push_back(s.caption);
        return out;
    }
    static std::vector<std::string> seen_texts() {
        std::vector<std::string> out;
        for (const auto& s : answerer::seen()) out.push_back(s.text);
        return out;
    }
    // What the reporter logged so far.
    std::string log_text() const {
        if (!log_) return {};
        std::fflush(log_);
        long end = std::ftell(log_);
        std::string s(static_cast<std::size_t>(end > 0 ? end : 0), '\0');
        std::rewind(log_);
        std::size_t n = std::fread(s.data(), 1, s.size(), log_);
        s.resize(n);
        std::fseek(log_, 0, SEEK_END);
        return s;
    }

    std::vector<std::string> failures;
    std::FILE* log_ = nullptr;

private:
    static void reset_counters() {
        reset_pump_state();
        reset_dialog_state();
        reset_message_box_state();
        reset_main_loop();
    }
};

class ShellWorkbenchTest : public ShellDialogTest {
protected:
    void SetUp() override {
        ShellDialogTest::SetUp();
        register_menu_templates();
        char tmpl[] = "/tmp/kavrel_shell_XXXXXX";
        const char* made = mkdtemp(tmpl);
        ASSERT_NE(made, nullptr);
        dir = made;
        set_ini_directory(dir.c_str());
        set_log_directories(dir.c_str(), dir.c_str());
        shell_record_only(true);
        shell_clear_requests();
        hinst = handle_from_token<HINSTANCE>(1);
        restore_exit_steps();
    }
    void TearDown() override {
        EXPECT_EQ(maintain_depth(), 0);
        ShellDialogTest::TearDown();
        restore_exit_steps();
        fail_class_registration(0);
        shell_record_only(false);
        set_ini_directory(nullptr);
        set_log_directories(nullptr, nullptr);
        ini_set("Model", nullptr);
        write_ini_file(0);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        hinst = nullptr;
    }
    void close_windows() override {
        if (main_wnd) shutdown_ui();
        clear_window_list();
        clear_recent_models();
        reset_shell_state();
        close_model(0, 0);
        // A test that left Simulation Setup or Livesweep's ready state on
        // (the menu commands leave it before a model closes; the tests close
        // it directly) leaves it here, with its working copies.
        if (sim_phase == phase_setup || sim_phase == phase_livesweep_ready) sim_phase = phase_idle;
        clear_setup();
        // The control panel's tab is remembered while the program runs.
        control_tab = 0;
    }

    // The workbench without the rest of the start-up: classes, an empty
    // model, the main window.
    void make_workbench() {
        ASSERT_EQ(register_classes(hinst), 1);
        open_model(0, -1, "", 0);
        ASSERT_NE(create_main_window(), nullptr);
        ShowWindow(toolbar_wnd, SW_SHOW);
        ShowWindow(bottom_wnd, SW_SHOW);
        layout_frame(main_wnd);
    }

    // A copy of a sample model in the test's folder.
    std::string sample(const char* name, const char* as = nullptr) {
        std::string from = std::string(KAVREL_BINARY_DIR) + "/samples/" + name;
        std::string to = dir + "/" + (as ? as : name);
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    std::string read_file(const std::string& path) const {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static std::string title() {
        char buf[512];
        int n = GetWindowText(main_wnd, buf, sizeof buf);
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    // Texts of a menu's items in order ("-" for separators).
    static std::vector<std::string> menu_texts(HMENU menu) {
        std::vector<std::string> out;
        int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
            char buf[256];
            int len = GetMenuString(menu, static_cast<UINT>(i), buf, sizeof buf, MF_BYPOSITION);
            UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            bool popup = GetSubMenu(menu, i) != nullptr; // its state holds a count
            if (!popup && state != static_cast<UINT>(-1) && (state & MF_SEPARATOR))
                out.push_back("-");
            else
                out.push_back(std::string(buf, len > 0 ? static_cast<std::size_t>(len) : 0));
        }
        return out;
    }

    std::string dir;
};
