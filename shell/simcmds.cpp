// The simulation-control commands that need windows (see simcmds.h).
#include "shell/simcmds.h"
#include "shell/methods.h"

#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "model/context.h"
#include "platform/win.h"
#include "runs/select.h"
#include "shell/controls/slider.h"
#include "shell/filechoice.h"
#include "shell/questions.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/toolbar.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int pick_run_name() {
    if (!model_rec) return 0;
    std::vector<std::string> names = run_names_on_disk();
    if (names.empty()) {
        report(8, "There are no simulation runs to choose from");
        return 0;
    }
    std::vector<const char*> items;
    for (const std::string& n : names) items.push_back(n.c_str());
    const char* now = ctx_text(model_rec, model_rec->setup.run_name);
    int current = 0;
    for (std::size_t i = 0; now && i < names.size(); ++i)
        if (lower(names[i]) == lower(now)) current = static_cast<int>(i);
    int chosen =
        ask_list("Select a simulation name", items.data(), static_cast<int>(items.size()), current);
    if (chosen < 0 || chosen >= static_cast<int>(names.size())) return 0;
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name,
                                             names[static_cast<std::size_t>(chosen)].c_str());
    apply_run_name(1);
    return 1;
}

int pick_method() {
    if (!model_rec) return 0;
    int current = std::clamp<int>(model_rec->setup.method, 0, method_count - 1);
    int chosen = ask_list("Select an Integration Technique", method_names, method_count, current);
    if (chosen < 0 || chosen >= method_count) return 0;
    model_rec->setup.method = static_cast<std::uint8_t>(chosen);
    set_toolbar_label(method_slot, method_names[chosen]);
    return 1;
}

// The slider the user is working with: the one whose edit box (or which
// itself) has the focus, else the one last pressed.
HWND current_slider() {
    for (HWND w = GetFocus(); w; w = GetParent(w)) {
        char cls[32] = {};
        GetClassName(w, cls, sizeof cls);
        if (std::string(cls) == "Kavrel_vslider") return w;
    }
    HWND last = last_pressed_slider();
    return last && IsWindow(last) ? last : nullptr;
}

int reset_slider() {
    HWND slider = current_slider();
    setup_state* st = setup_copies();
    if (!slider || !st) return 0;
    int slot = slider_slot(slider);
    if (slot <= 0 || static_cast<std::size_t>(slot) >= st->model_values.size()) return 0;
    if (!set_setup_value(slot, st->model_values[static_cast<std::size_t>(slot)])) return 0;
    // The model's own value again: not a change for the next run.
    if (static_cast<std::size_t>(slot) < st->changed.size())
        st->changed[static_cast<std::size_t>(slot)] = 0;
    SendMessage(slider, vs_set_value, 0, 0); // shows the slot's value
    if (livesweep_state == ls_on) livesweep_rerun(0, 2, 0);
    return 1;
}

int save_run_as() {
    if (livesweep_state != ls_on || !model_rec) return 0;
    const char* name = run_name_or_current(model_rec);
    char* path =
        file_dialog("Save this run to", name, fd_save, ft_runs, 0, ft_runs, 0, nullptr, nullptr);
    if (!path || !*path) return 0;
    std::string file = path;
    std::string run = set_extension(file_name_part(file.c_str()), fk_none, 1);
    int r = livesweep_write_run(file.c_str(), run.c_str());
    if (!sim_result_written(r)) {
        if (r != sim_write_failed) report(8, "The run could not be saved to %s", file.c_str());
        return 0;
    }
    // Listed with the other runs for comparing; the sweep goes on showing its own.
    load_runs(model_rec, 0, file.c_str(), 0, 0);
    return 1;
}

} // namespace

std::vector<std::string> run_names_on_disk() {
    std::vector<std::string> names;
    fs::path dir = fs::path(dataset_path("x")).parent_path();
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        fs::path p = it->path();
        if (lower(p.extension().string()) != ".kdf") continue;
        names.push_back(p.stem().string());
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
    return names;
}

const char* method_name(int method) {
    return method >= 0 && method < method_count ? method_names[method] : method_names[0];
}

int shell_sim_window_command(int id, int, int) {
    switch (id) {
    case sc_pick_run_name:
        return pick_run_name();
    case sc_pick_method:
        return pick_method();
    case sc_reset_slider:
        return reset_slider();
    case sc_save_run_as:
        return save_run_as();
    default:
        return 0;
    }
}

HWND game_amount_field() {
    if (!toolbar_wnd) return nullptr;
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (toolbar_field_slot(c) == game_amount_slot) return c;
    return nullptr;
}

void show_game_time() {
    show_game_window();
    if (!game_in_progress()) {
        set_toolbar_label(game_time_slot, nullptr);
        return;
    }
    std::string t = std::string("Time ") + format_number(game_time(), 0, nullptr);
    set_toolbar_label(game_time_slot, t.c_str());
    if (HWND f = game_amount_field())
        SetWindowText(f, format_number(read_game_interval(0), 0, nullptr));
}

bool take_game_amount() {
    // The game window's decision and interval come first; the toolbar's
    // amount counts when the window's interval was left as it was.
    double before = read_game_interval(0);
    if (!take_game_window_fields()) return false;
    HWND f = game_amount_field();
    if (read_game_interval(0) != before) {
        // Typed in the window: the toolbar's field shows the same.
        if (f) SetWindowText(f, format_number(read_game_interval(0), 0, nullptr));
        return true;
    }
    if (!f) return true;
    char text[64] = {};
    GetWindowText(f, text, sizeof text);
    std::string s = text;
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    if (s.empty()) return true;
    float v = 0;
    if (!parse_number(s.c_str(), &v, 0) || !(v > 0)) {
        report(8, "Amount to Move must be a positive number of time units, not \"%s\"", s.c_str());
        return false;
    }
    if (v != read_game_interval(0)) game_interval = v;
    return true;
}
