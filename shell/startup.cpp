// Start-up and shut-down: the command line, defaults and settings, the first
// model, the main loop's exit checks and the recovery after a fatal error.
#include "shell/startup.h"

#include "foundation/app_strings.h"
#include "foundation/errlog.h"
#include "foundation/files.h"
#include "foundation/ini.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/subpanel.h"
#include "platform/display.h"
#include "platform/dlg.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "shell/controlpanel.h"
#include "shell/controls/tooltip.h"
#include "shell/dialogs.h"
#include "shell/exitcheck.h"
#include "shell/fonts.h"
#include "shell/mainloop.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/msgbox.h"
#include "shell/pump.h"
#include "shell/rundrv.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/showqueue.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/toolbar.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/runname.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <strings.h>

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string trimmed(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && is_blank(text[b])) ++b;
    while (e > b && is_blank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

bool ends_with_ini(const std::string& name) {
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".ini") == 0;
}

// Whether an argument names a model file on its own: an existing file, or a
// name with the extension of a kind the program opens.
bool names_model_file(const std::string& a) {
    static const char* const kinds[] = {".kmf", ".kpm", ".kpa", ".kdf", ".kcd", ".kcf", ".cmd"};
    for (const char* k : kinds) {
        std::size_t n = std::strlen(k);
        if (a.size() > n && strcasecmp(a.c_str() + a.size() - n, k) == 0) return true;
    }
    std::error_code ec;
    return std::filesystem::is_regular_file(a, ec);
}

// Runs the exit checks once; a fatal message inside one counts as a refusal.
int exit_checks_guarded() {
    try {
        return run_exit_checks();
    } catch (const fatal_unwind&) {
        recover_program_state();
        return 0;
    }
}

// After a fatal message: the exit checks until they agree, each refusal
// answered with "Non Recoverable error - do not cancel", at most
// fatal_exit_rounds times; then the program ends without saving.
void exit_after_fatal() {
    try {
        report(8, "Aborting Kavrel");
    } catch (const fatal_unwind&) {
        recover_program_state();
    }
    for (int round = 1;; ++round) {
        if (exit_checks_guarded()) return;
        if (round >= fatal_exit_rounds) {
            report(5, "Kavrel ends without saving after %d refusals of the exit checks", round);
            return;
        }
        try {
            report(8, "Non Recoverable error - do not cancel");
        } catch (const fatal_unwind&) {
            recover_program_state();
        }
    }
}

} // namespace

int (*make_error_log)(int mode) = error_log;

bool looks_like_switch(const std::string& a) {
    if (a.size() < 2 || a[0] != '-') return false;
    if (a[1] == '-') return true;
    return a.find_first_of("./") == std::string::npos;
}

std::string usage_text() {
    return "Usage: kavrel [SETTINGS.ini] [MODEL] [-N]\n"
           "       kavrel --help | --version\n"
           "\n"
           "  SETTINGS.ini  the settings file to use (only as the first argument)\n"
           "  MODEL         the model to open (.kmf, .kpm, .kpa, .kdf)\n"
           "  -N            start with no model open\n"
           "  -h, --help    show this text and exit\n"
           "  --version     show the version and exit\n";
}

start_arguments parse_start_arguments(const std::vector<std::string>& args) {
    start_arguments out;
    std::size_t first = 0;
    if (!args.empty() && ends_with_ini(trimmed(args[0]))) {
        out.settings = trimmed(args[0]);
        first = 1;
    }
    std::vector<std::string> rest;
    for (std::size_t i = first; i < args.size(); ++i) {
        std::string a = trimmed(args[i]);
        if (a == "-N")
            out.no_model = true; // a plain "-N" is the switch, not a model of that name
        else if (a == "--help" || a == "-h")
            out.help = true;
        else if (a == "--version")
            out.version = true;
        else if (looks_like_switch(a)) {
            if (out.error.empty()) out.error = "unknown option " + a;
        } else if (!a.empty())
            rest.push_back(a);
    }
    if (!rest.empty() && rest[0][0] == '"') {
        // A name in double quotes; what follows its closing quote is only
        // looked at for "-N" right after it.
        std::size_t close = rest[0].find('"', 1);
        out.name = rest[0].substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && rest[0].compare(close + 1, 2, "-N") == 0)
            out.no_model = true;
        if (rest.size() > 1 && out.error.empty())
            out.error = "more than one model named (" + out.name + ", " + rest[1] + ")";
    } else {
        // Unquoted: the arguments together are one name, unless they are
        // several models.
        for (const std::string& a : rest) out.name += (out.name.empty() ? "" : " ") + a;
        int models = 0;
        for (const std::string& a : rest)
            if (names_model_file(a)) ++models;
        std::error_code ec;
        if (models > 1 && !std::filesystem::exists(out.name, ec) && out.error.empty())
            out.error = "more than one model named (" + rest[0] + ", " + rest[1] + ")";
    }
    out.name = trimmed(out.name);
    if (out.no_model) out.name.clear();
    return out;
}

std::string startup_model_name(const start_arguments& args) {
    if (args.no_model) return "";
    if (!args.name.empty()) return args.name;
    std::string model = ini_get_string("Model", "");
    if (!model.empty()) {
        // A one-shot request: emptied and written at once.
        ini_set("Model", "");
        write_ini_file(2);
        std::string empty = ini_get_string("StartEmpty", "");
        if (!empty.empty() && empty[0] != '0') return "";
        return model;
    }
    const std::string& dflt = app_strings().default_model;
    std::error_code ec;
    return std::filesystem::exists(dflt, ec) ? dflt : "";
}

start_defaults program_defaults;

void set_defaults() {
    ignore_file_size_signal();
    app_strings(); // made with prog_dir, the program's folder
    shell_opts = shell_options{};
    float_opts = 0;
    // Print time and date, 10 by 10 inch pages, sketches centred, the R1C1
    // letters, the tool-output face: the option block's own defaults.
    opts = opt_block{};
    program_defaults = start_defaults{};
    tooltip_seconds = 5;
    ask_dataset_overwrite = true;
    // Floating-point faults are masked (the default of the C runtime here):
    // an overflow or a division by zero gives an infinity or NaN, which the
    // engine reports. No SIGFPE handler is installed: returning from one
    // after an integer division fault would run the faulting instruction
    // again for ever.
}

void recover_program_state() {
    reset_main_loop();
    busy_depth = 0;
    reset_pump_state();
    reset_dialog_state();
    reset_message_box_state();
    for (HWND d : dlg_modal_stack())
        if (IsWindow(d)) DestroyWindow(d);
    if (main_wnd && IsWindow(main_wnd)) EnableWindow(main_wnd, TRUE);
}

int init_and_run(HINSTANCE previous, const std::vector<std::string>& arguments) {
    set_defaults();
    if (!make_error_log(2)) {
        std::fprintf(stderr,
                     "kavrel: cannot create the error log %s (program, settings and "
                     "temporary directories tried)\n",
                     app_strings().error_log_name.c_str());
        return 0;
    }
    error_log(0);
    init_vocabulary();

    start_arguments args = parse_start_arguments(arguments);
    const char* settings = args.settings.empty() ? nullptr : args.settings.c_str();
    // A missing file is made by the read itself. One that is there but cannot
    // be read is never replaced: the program runs on defaults and says so in
    // a box (and the log) once the workbench is up.
    read_ini_file(settings, nullptr, 1);
    std::string settings_failure = ini_read_failure();
    read_settings_rows();
    // The Scaling page's divisions are not kept in the settings file.
    program_defaults.horizontal_divisions = 4;
    program_defaults.vertical_divisions = 4;

    if (!previous) {
        int c = register_classes(hinst);
        if (c < 0) {
            report(8, "Failed to initialize  RC%2d", -c);
            std::fprintf(stderr, "kavrel: Failed to initialize  RC%2d\n", -c);
            return 0;
        }
    }
    register_menu_templates();
    register_dialog_templates();
    install_program_hooks(); // every core hook, in one place (shell/wiring.cpp)

    // Start-up under the first arming of the program-level recovery.
    try {
        std::string name = startup_model_name(args);
        wip_message(10, "%s", "");
        open_model(0, -1, "", 0);
        {
            busy_guard busy;
            open_show_queue();
            if (!create_main_window()) {
                report(8, "Failed to create the main window");
                return -1;
            }
            read_settings_rows();
            if (shell_opts.palette == 2) show_window(tools_wnd, SW_HIDE);
            if (shell_opts.toolbar) show_window(toolbar_wnd, SW_SHOW);
            if (shell_opts.bottom) show_window(bottom_wnd, SW_SHOW);
            if (!name.empty())
                shell_open_model(1, -1, name.c_str(), 0);
            else
                shell_open_model(0, -1, "", 0);
            // The font list (of the printer and screen the settings chose) is
            // made when first asked for: it opens every font file on the
            // machine, which took more than the rest of start-up.
            restore_float_positions();
            write_ini_file(2);
            if (!toolset_loaded()) read_toolset("", 0);
            wip_message(-10, "%s", "");
            show_window(nullptr, -1);
            layout_frame(main_wnd);
            if (float_opts & (fo_control_on_top | fo_subscript_on_top | fo_build_behind)) {
                if (float_opts & fo_build_behind) {
                    arrange_windows(3);
                    CheckMenuItem(main_menu, cmd_keep_build_behind, MF_BYCOMMAND | MF_CHECKED);
                    EnableMenuItem(main_menu, cmd_pop_build, MF_BYCOMMAND | MF_GRAYED);
                }
                arrange_windows(2);
            }
            find_sketch_window(nullptr, 2, 0);
        }
        // Shown (and logged) once the workbench is up, over it.
        if (!settings_failure.empty()) report(6, "%s", settings_failure.c_str());
    } catch (const fatal_unwind&) {
        recover_program_state();
        report(5, "Aborting Kavrel");
        write_ini_file(1);
        return -1;
    }

    // The running program under the second arming.
    try {
        for (;;) {
            maintain(0);
            if (maintain_result == -1 && maintain_depth() == 0) {
                // The queue failed: end after one round of the exit checks.
                exit_checks_guarded();
                return 1;
            }
            if (run_exit_checks()) return 1;
        }
    } catch (const fatal_unwind&) {
        recover_program_state();
    }
    exit_after_fatal();
    return -1;
}

void shutdown_ui() {
    close_all_tool_windows(1);
    free_toolset(0);
    free_toolset(1);
    dde_quit_spreadsheets(0);
    wip_destroy();
    help(-1);
    control_panel(-1, -1, -1, -1, -1);
    create_subscript_panel(-1, -1, -1, -1, -1);
    hide_tooltip(1);
    destroy_game_window();
    if (main_wnd && IsWindow(main_wnd)) DestroyWindow(main_wnd);
    if (tooltip_wnd && IsWindow(tooltip_wnd)) DestroyWindow(tooltip_wnd);
    clear_window_list();
    reset_shell_state();
    unregister_classes();
    free_sketch_bitmaps();
    // The globals: the model and its record, the string cells, the fonts.
    model_closing();
    close_model(0, 0);
    app_strings_clear_cells();
    free_dialog_fonts();
    clear_recent_models();
}

// Qt could not start its window system after the display was found: the
// process ends with status 2 once this returns.
static void display_failed(const std::string& why) {
    std::fprintf(stderr, "kavrel: the window system could not be started: %s\n", why.c_str());
}

int kavrel_main(const std::vector<std::string>& arguments) {
    start_arguments args = parse_start_arguments(arguments);
    if (!args.error.empty()) {
        std::fprintf(stderr, "kavrel: %s\n%s", args.error.c_str(), usage_text().c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (args.version) {
        std::printf("%s %s\n", product_title(), app_strings().version.c_str());
        return 0;
    }
    std::string why;
    if (!start_display_application(&why, display_failed)) {
        std::fprintf(stderr, "kavrel: %s\n", why.c_str());
        return 2;
    }
    hinst = handle_from_token<HINSTANCE>(1);
    int r = init_and_run(nullptr, arguments);
    if (r != 0 && hinst) shutdown_ui();
    free_all_handles();
    free_scratch();
    hinst = nullptr;
    if (r == 1) return 0;
    return r == 0 ? 2 : 3;
}
