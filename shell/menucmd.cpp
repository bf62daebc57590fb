// The workbench's menu commands: opening models, the file and help commands,
// and the dispatcher that sends every command id to its handler.
#include "shell/menucmd.h"
#include "shell/simdlg.h"
#include "shell/toolbar.h"

#include "foundation/app_strings.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/subpanel.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "platform/shellexec.h"
#include "resources/menus.h"
#include "resources/modelpages.h"
#include "shell/captionbtn.h"
#include "shell/changescmd.h"
#include "shell/controlpanel.h"
#include "shell/exitcheck.h"
#include "shell/filechoice.h"
#include "shell/history.h"
#include "shell/mainloop.h"
#include "shell/menustate.h"
#include "shell/modelsettings.h"
#include "shell/msgbox.h"
#include "shell/options.h"
#include "shell/palette.h"
#include "shell/password.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolset.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/simdata.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

const char* const forum_url = "https://kavrel.example/forum";

namespace {

std::string absolute_name(const char* name) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(name ? name : "", ec);
    return ec ? std::string(name ? name : "") : p.lexically_normal().string();
}

struct pending_open_request {
    int kind = 0; // 0 none, 1 name only, 2 or more name and flags
    std::string name;
    int flags = 0;
} pending_open;

void toggle_build_behind() {
    float_opts ^= fo_build_behind;
    bool on = (float_opts & fo_build_behind) != 0;
    if (main_menu) {
        CheckMenuItem(main_menu, cmd_keep_build_behind,
                      MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
        EnableMenuItem(main_menu, cmd_pop_build, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
    }
    arrange_windows(3);
    arrange_windows(2);
    arrange_windows(1);
}

open_outcome outcome;

// A file name as a message shows it: a name longer than a screen line can
// hold is cut in its middle, so a box never grows past the screen.
std::string shown_name(const std::string& name) {
    constexpr std::size_t most = 260;
    if (name.size() <= most) return name;
    return name.substr(0, most / 2 - 2) + " ... " + name.substr(name.size() - (most / 2 - 3));
}

// 0 for an analysis tool set (.kts), 1 for a sketch tool set (.sts), -1 for
// any other file.
int toolset_kind_of(const std::string& name) {
    auto ends = [&](const char* ext) {
        const std::size_t n = std::strlen(ext);
        if (name.size() < n) return false;
        for (std::size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != ext[i])
                return false;
        return true;
    };
    return ends(".kts") ? 0 : ends(".sts") ? 1 : -1;
}

void open_model_command(int id) {
    std::string name;
    int flags = 0;
    if (id != cmd_open_model) {
        const char* path = recent_models(0, id, nullptr);
        if (!path || !*path) return;
        name = path;
    }
    if (!leave_sim_mode(1)) return;
    if (id == cmd_open_model) {
        if (pending_open.kind > 0) {
            name = pending_open.name;
            if (pending_open.kind > 1) flags = pending_open.flags;
            pending_open = pending_open_request{};
        } else {
            const char* current = model_rec && model_rec->state != 2 ? current_model_name() : "";
            const char* chosen = choose_model_file(current);
            if (!chosen) return;
            name = chosen;
        }
    }
    if (name.empty()) return;
    // A tool set chosen from the file list replaces the palette's tools (or
    // the sketch's set); the model stays open.
    // What came of it is the outcome a FileOpen request hears, as for a model.
    if (int kind = toolset_kind_of(name); kind >= 0) {
        message_hold hold;
        const int read = read_toolset(name.c_str(), kind);
        ++outcome.serial;
        outcome.opened = read > 0;
        outcome.path = absolute_name(name.c_str());
        outcome.reason.clear();
        if (read <= 0) {
            const std::string why = hold.reasons();
            outcome.reason = why.empty() ? "No tools were read from the tool set." : why;
        }
        hold.release();
        return;
    }
    if (!confirm_close_model(1)) return;
    shell_open_model(1, 0, name.c_str(), flags);
}

// New Model and Close: the questions of the exit checks, then no model.
void new_model_command() {
    if (!leave_sim_mode(1)) return;
    if (!confirm_model_change()) return;
    shell_open_model(0, 1, "", 0);
}

void open_address(const std::string& url) {
    ShellExecute(main_wnd, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

std::string releases_url() {
    return "https://kavrel.example/releases?version=" + app_strings().version;
}

void file_command(int id) {
    update_menu_states();
    if (!menu_item_enabled(id)) return;
    if (id == cmd_close) {
        new_model_command();
        return;
    }
    // With no window active these commands answer as they do from the
    // model's diagram: it prints, and the viewer writes no model.
    if (build_wnd && IsWindow(build_wnd)) {
        SendMessage(build_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return;
    }
    if (id == cmd_print) {
        report(7, "There is no window to print: open the model's diagram or an output window "
                  "first.");
        return;
    }
    not_available(id);
}

void exit_command() {
    if (sim_phase >= phase_initialising) stop_request = 1;
    end_maintain(0, 0);
}

void set_pending_open(int kind, const char* name, int open_flags) {
    pending_open.kind = kind;
    pending_open.name = name ? name : "";
    pending_open.flags = open_flags;
}

const open_outcome& last_open_outcome() {
    return outcome;
}

int shell_open_model(int mode, int flags, const char* name, int open_flags) {
    model_closing();
    const bool named = mode != 0 && name && *name;
    // The model is known by its absolute path from here on (title, bottom
    // bar, recent models, settings).
    std::string path = named ? absolute_name(name) : std::string();
    if (named) name = path.c_str();
    int opened = 0;
    bool tell = false; // a failure the user should hear about
    std::string why;
    for (int attempt = 1; attempt <= password_tries; ++attempt) {
        message_hold hold;
        begin_password_try(attempt);
        opened = open_model(mode, flags, name ? name : "", open_flags);
        if (opened || !named) {
            hold.release();
            break;
        }
        password_answer pw = last_password_answer();
        if (pw == password_answer::cancelled) break; // the user's choice: nothing to say
        if (pw == password_answer::given && attempt < password_tries) continue;
        tell = true;
        why = hold.reasons();
        break;
    }
    if (named) {
        ++outcome.serial;
        outcome.opened = opened != 0;
        outcome.path = path;
        outcome.reason.clear();
    }
    if (tell) {
        outcome.reason = why.empty() ? "The reason is in the error log." : why;
        report(8, "The model %s could not be opened.\n\n%s", shown_name(path).c_str(),
               outcome.reason.c_str());
    } else if (named && !opened) {
        outcome.reason = "The model was not opened (the password was not given).";
    }
    if (!opened) {
        model_opened(); // the model that stays open gets its value cache again
        set_main_title(nullptr);
        return 0;
    }
    model_opened();
    if (named) read_package_toolset(name); // a package brings its own tools
    if (named) recent_models(1, 0, name);
    set_main_title(nullptr);
    set_bottom_text(model_rec && model_rec->state != 2 ? current_model_name() : "");
    // The new model's diagram replaces the old one's, once the title names it.
    find_sketch_window(name, 1, 0);
    return 1;
}

void not_available(int) {
    report(8, "Sorry not available in Kavrel Player configuration");
}

void help(int mode) {
    if (mode == -1) {
        WinHelp(main_wnd, nullptr, HELP_QUIT, 0);
        return;
    }
    const app_string_block& s = app_strings();
    std::string path =
        s.prog_dir + s.help_dir + "/" + (mode == 1 ? s.readme_help_file : s.help_file);
    if (WinHelp(main_wnd, path.c_str(), HELP_CONTENTS, 0)) return;
    // The pages of a help file are in the folder of its name without ".hlp".
    std::string pages = path.substr(0, path.rfind('.')) + "/index.html";
    std::error_code ec;
    if (std::filesystem::is_regular_file(pages, ec))
        report(6, "No web browser could be started to show the help page %s", pages.c_str());
    else
        report(6, "Help is not installed: %s was not found", path.c_str());
}

bool menu_command_served(int id) {
    switch (id) {
    case 501:
    case 502:
    case 503:
    case 504:
    case 509:
    case 518:
    case 523:
    case 524:
    case 525:
    case 526:
    case 529:
    case 530:
    case 538:
    case 539:
    case 542:
    case 563:
    case 564:
    case 565:
    case 566:
    case 567:
    case 572:
    case 573:
    case 574:
    case 575:
    case 576:
    case 580:
    case 584:
    case 585:
    case cmd_setup:
    case cmd_constant_changes:
    case cmd_lookup_changes:
    case cmd_model_notes:
    case cmd_model_display:
    case cmd_model_references:
    case cmd_units_equivalences:
    case cmd_caption_minimise:
    case cmd_caption_restore:
    case 599:
    case cmd_build_535:
    case cmd_build_582:
    case cmd_build_583:
        return true;
    default:
        return (id >= first_window_item && id <= more_windows_item) ||
               (id >= first_recent_item && id < first_recent_item + recent_model_count);
    }
}

namespace {

// The output record of the window in front: a diagram's, or a tool window's
// inside its frame (0: none). Print Options shows that window's form, as
// the window's own Print does.
int front_output_record() {
    HWND w = active_child;
    if (!w || !IsWindow(w)) return 0;
    const auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtr(w, GWLP_WNDPROC));
    if (proc == WNDPROC(sketch_parent_proc)) return static_cast<int>(GetWindowLongPtr(w, 0));
    if (proc != WNDPROC(toolwrapper_proc)) return 0;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (const LONG_PTR r = GetWindowLongPtr(c, 0)) return static_cast<int>(r);
    return 0;
}

// The menu item a posted simulation-control id stands for: the diagram's
// Ctrl+E, Ctrl+R and Ctrl+B and a slider's Ctrl+R post these ids rather than
// the items', and they must act as the items do (and not while those are grey).
int item_of_sim_command(int id) {
    switch (id) {
    case sc_setup:
        return cmd_setup;
    case sc_simulate:
    case sc_continue_game: // Simulate plays the next interval of a game
        return cmd_simulate;
    case sc_livesweep:
        return cmd_livesweep;
    default:
        return 0;
    }
}

} // namespace

namespace {

// The simulation commands: runs, set-up, games, Livesweep and the changes
// dialogs; false when the id is not one of them.
bool simulation_command(int id) {
    switch (id) {
    case cmd_simulate:
        sim_control_command(sc_simulate, 0, 0);
        break;
    case cmd_toolbar_run:
        sim_control_command(sc_toolbar_run, 0, 0);
        break;
    case cmd_run_game:
        sim_control_command(sc_start_game, 0, 0);
        show_mode(); // the game window, the toolbar and the title at once
        break;
    case cmd_livesweep:
        sim_control_command(sc_livesweep, 0, 0);
        show_mode();
        break;
    case cmd_plausitest:
        sim_control_command(sc_plausitest, 0, 0);
        break;
    case cmd_stop_simulation:
        // A run stops; set-up, a game or Livesweep is left (asking first).
        if (sim_phase >= phase_initialising)
            sim_control_command(sc_stop, 0, 0);
        else if (in_sim_mode())
            leave_sim_mode(1);
        show_mode();
        break;
    case cmd_setup:
        if (sim_control_command(sc_setup, 0, 0)) show_mode();
        break;
    case cmd_constant_changes:
        constant_changes_dialog(0);
        show_mode();
        break;
    case cmd_lookup_changes:
        lookup_changes_dialog(0);
        show_mode();
        break;
    default:
        return false;
    }
    return true;
}

// The commands that arrange, open or close the workbench's windows; false
// when the id is not one of them.
bool window_command(int id) {
    switch (id) {
    case cmd_keep_build_behind:
        toggle_build_behind();
        break;
    case cmd_close_sketches:
        close_sketch_windows(0);
        break;
    case cmd_pop_build:
        // With the diagram closed (Ctrl+W), bringing the build windows
        // forward opens it again: otherwise only reopening the model would.
        if (!arrange_windows(1) && model_rec && model_rec->state != 2)
            find_sketch_window(nullptr, 1, 0);
        break;
    case cmd_next_window:
        activate_window(active_child, 1, active_kind);
        break;
    case cmd_pop_output:
        arrange_windows(3);
        break;
    case cmd_close_all_output:
        close_all_tool_windows(0);
        break;
    case cmd_control_panel:
        control_panel(1, -1, -1, -1, -1);
        break;
    case cmd_error_history:
        history_window(1, -1, -1, -1, -1);
        break;
    case cmd_selection_history:
        selection_history(1, -1, -1, -1, -1);
        break;
    case cmd_subscript_control:
        create_subscript_panel(1, -1, -1, -1, -1);
        break;
    default:
        return false;
    }
    return true;
}

// The commands on the model, its files and the program's settings; false
// when the id is not one of them.
bool model_file_command(int id) {
    switch (id) {
    case cmd_new_model:
        new_model_command();
        break;
    case cmd_open_model:
        open_model_command(id);
        break;
    case cmd_print_options:
        print_options_dialog(front_output_record());
        break;
    case cmd_exit:
        exit_command();
        break;
    case cmd_options:
        options_dialog(302);
        break;
    case cmd_units_equivalences:
        units_equivalences_dialog();
        break;
    case cmd_read_changes:
        read_additional_changes();
        break;
    case cmd_write_changes:
        write_changes_command();
        break;
    case cmd_model_notes:
        model_settings_page(dlg_model_notes);
        break;
    case cmd_model_display:
        // The diagram shows what the flags now say.
        if (model_settings_page(dlg_model_flags) == IDOK && build_wnd && IsWindow(build_wnd))
            RedrawWindow(build_wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        break;
    case cmd_model_references:
        model_settings_page(dlg_model_refs);
        break;
    default:
        return false;
    }
    return true;
}

// The Help menu's commands; false when the id is not one of them.
bool help_command(int id) {
    switch (id) {
    case cmd_about:
        about_box(359);
        break;
    case cmd_release_notes:
        help(1);
        break;
    case cmd_online_forum:
        open_address(forum_url);
        break;
    case cmd_newer_releases:
        open_address(releases_url());
        break;
    case cmd_instructions:
        help(0);
        break;
    default:
        return false;
    }
    return true;
}

// Commands served elsewhere than by the main menu's own handlers: the
// simulation toolbar's items, the build window's, the caption buttons, the
// tools palette, the window list and the ids this edition does not serve;
// true when the id was one of them (and carried out).
bool routed_command(int id) {
    if (int item = item_of_sim_command(id)) {
        update_menu_states();
        if (menu_item_enabled(item)) menu_command(item);
        return true;
    }
    if (id == cmd_build_535 || id == cmd_build_582 || id == cmd_build_583) {
        if (build_wnd && IsWindow(build_wnd))
            PostMessage(build_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return true;
    }
    if (id == sc_end_game) {
        sim_control_command(sc_end_game, 0, 0);
        return true;
    }
    if (id == cmd_caption_minimise || id == cmd_caption_restore) {
        caption_button_command(id);
        return true;
    }
    if (id >= cmd_tool_first && id < cmd_tool_first + tool_menu_most) {
        run_palette_tool(nullptr, 0, id - cmd_tool_first, 0, 0);
        return true;
    }
    if (id < 501 || id > 599 || !menu_command_served(id)) {
        not_available(id);
        return true;
    }
    if ((id >= first_window_item && id <= more_windows_item) || id == cmd_output_list) {
        select_window_item(id);
        return true;
    }
    return false;
}

} // namespace

int menu_command(int id) {
    if (routed_command(id)) return 1;
    // One command on the model at a time. A command whose file dialog or
    // question is up, or a run, dispatches what the queue holds (a toolbar
    // press, a shortcut, a DDE request): a second Open, Simulate or New Model
    // from there would close or replace the model under the first.
    const bool on_model = touches_model(id);
    if (on_model && model_busy()) {
        MessageBeep(0);
        return 1;
    }
    std::optional<model_command_guard> under_way;
    if (on_model) {
        under_way.emplace();
        // The toolbar greys the model's buttons while the command runs.
        if (toolbar_wnd) InvalidateRect(toolbar_wnd, nullptr, FALSE);
    }
    if (id >= first_recent_item && id < first_recent_item + recent_model_count) {
        open_model_command(id);
        return 1;
    }
    if (!simulation_command(id) && !window_command(id) && !model_file_command(id) &&
        !help_command(id))
        not_available(id);
    return 1;
}
