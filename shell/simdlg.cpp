// The simulation dialogs (see simdlg.h).
#include "shell/simdlg.h"

#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "model/model.h"
#include "platform/controls.h"
#include "resources/simdlg.h"
#include "shell/dialogs.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/changes.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/runtypes.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

std::string number_text(float v) {
    if (is_na(v)) return ":NA:";
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", static_cast<double>(v));
    return b;
}

// The shortest text that reads back as the same float: a table shown and
// taken again unchanged must not count as changed, nor move a point.
std::string exact_text(float v) {
    if (is_na(v)) return ":NA:";
    char b[32];
    auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

std::string item_text(HWND dialog, int id) {
    char b[4096] = {};
    GetDlgItemText(dialog, id, b, sizeof b);
    return b;
}

// The set-up copy's value of a slot (NA when none).
float setup_value(std::int32_t slot) {
    setup_state* st = setup_copies();
    if (!st || slot < 0 || static_cast<std::size_t>(slot) >= st->changed.size()) return NA;
    handle_lock<float> values(setup_copy);
    return values ? values.get()[slot] : NA;
}

// Refuses a field: the message, then the focus back in the field with its
// text selected, as a person retypes it.
void refuse_field(HWND dialog, int id, const std::string& message) {
    report(8, "%s", message.c_str());
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessage(field, EM_SETSEL, 0, -1);
}

// ---- Constant Changes / Gaming Changes ------------------------------------

struct constant_state {
    std::vector<setup_item> items;
    std::vector<float> values;            // the values shown (the copy's, then the typed ones)
    std::vector<float> model;             // the model's own
    std::map<std::size_t, float> pending; // typed for OK
    std::size_t first = 0;
    int chosen = -1;
    bool gaming = false;
};

std::string list_line(const constant_state& st, std::size_t i) {
    const setup_item& it = st.items[i];
    bool changed = st.values[i] != st.model[i] && !(is_na(st.values[i]) && is_na(st.model[i]));
    return std::string(changed ? "* " : "   ") + it.name + " = " + number_text(st.values[i]);
}

void show_chosen(HWND dialog, constant_state& st) {
    int i = static_cast<int>(SendDlgItemMessage(dialog, ids_list, LB_GETCURSEL, 0, 0));
    if (i < 0 || static_cast<std::size_t>(i) >= st.items.size()) return;
    st.chosen = i;
    auto k = static_cast<std::size_t>(i);
    SetDlgItemText(dialog, ids_value, number_text(st.values[k]).c_str());
    std::string note = "Model value: " + number_text(st.model[k]);
    SetDlgItemText(dialog, ids_model_value, note.c_str());
}

void relist(HWND dialog, const constant_state& st, std::size_t i) {
    HWND list = GetDlgItem(dialog, ids_list);
    SendMessage(list, LB_DELETESTRING, i, 0);
    std::string line = list_line(st, i);
    SendMessage(list, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessage(list, LB_SETCURSEL, i, 0);
}

// Takes the value field for the chosen element. false (after the message,
// the field focused) when it does not parse.
bool take_value(HWND dialog, constant_state& st) {
    if (st.chosen < 0) return true;
    auto k = static_cast<std::size_t>(st.chosen);
    std::string text = item_text(dialog, ids_value);
    if (text == number_text(st.values[k])) return true; // as shown: no change
    float v = 0;
    std::string why;
    if (!parse_change_number(text.c_str(), &v, &why)) {
        refuse_field(dialog, ids_value,
                     "The value of " + st.items[k].name + " is not a number: \"" + text + "\"\n" +
                         why + ".");
        return false;
    }
    st.values[k] = v;
    st.pending[k] = v;
    relist(dialog, st, k);
    SetDlgItemText(dialog, ids_value, number_text(v).c_str());
    return true;
}

INT_PTR constant_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<constant_state>(dialog);
    switch (message) {
    case WM_INITDIALOG: {
        st = begin_dialog<constant_state>(dialog, lparam);
        if (st->gaming) {
            SetWindowText(dialog, "Gaming Changes");
            SetDlgItemText(dialog, ids_note,
                           "Decisions for the next interval (* changed from the model):");
        }
        HWND list = GetDlgItem(dialog, ids_list);
        for (std::size_t i = 0; i < st->items.size(); ++i) {
            std::string line = list_line(*st, i);
            SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        }
        SendMessage(list, LB_SETCURSEL, st->first, 0);
        show_chosen(dialog, *st);
        HWND value = GetDlgItem(dialog, ids_value);
        SetFocus(value);
        SendMessage(value, EM_SETSEL, 0, -1);
        return FALSE;
    }
    case WM_COMMAND:
        if (!st) return FALSE;
        switch (LOWORD(wparam)) {
        case ids_list:
            if (HIWORD(wparam) == LBN_SELCHANGE) {
                // The typed value goes with the element it was typed for.
                int now =
                    static_cast<int>(SendDlgItemMessage(dialog, ids_list, LB_GETCURSEL, 0, 0));
                int was = st->chosen;
                if (was >= 0 && now != was) {
                    SendDlgItemMessage(dialog, ids_list, LB_SETCURSEL, was, 0);
                    if (!take_value(dialog, *st)) return TRUE;
                    SendDlgItemMessage(dialog, ids_list, LB_SETCURSEL, now, 0);
                }
                show_chosen(dialog, *st);
            }
            return TRUE;
        case ids_set:
            take_value(dialog, *st);
            return TRUE;
        case ids_reset:
            if (st->chosen >= 0) {
                auto k = static_cast<std::size_t>(st->chosen);
                st->values[k] = st->model[k];
                st->pending[k] = st->model[k];
                relist(dialog, *st, k);
                show_chosen(dialog, *st);
            }
            return TRUE;
        case IDOK:
            if (!take_value(dialog, *st)) return TRUE;
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

// Enters set-up for a change dialog when no game or Livesweep holds the
// copies; false when refused.
bool copies_for_changes() {
    if (game_state || livesweep_state == ls_on) return ensure_setup_copy(0) != 0;
    if (sim_phase != phase_setup && !enter_setup_mode(0)) return false;
    set_main_title(nullptr);
    return true;
}

// ---- Lookup Changes --------------------------------------------------------

struct lookup_state {
    std::vector<setup_item> items;
    std::size_t first = 0;
    int shown = -1;
    std::map<int, std::pair<std::vector<float>, std::vector<float>>> pending; // by lookup slot
};

bool copy_points(int slot, std::vector<float>& x, std::vector<float>& y) {
    setup_state* st = setup_copies();
    if (!st || slot < 0 || static_cast<std::size_t>(slot) >= st->lookups.size()) return false;
    const lookup_table& t = st->lookups[static_cast<std::size_t>(slot)];
    if (t.x + t.count > st->lookup_data.size() || t.y + t.count > st->lookup_data.size())
        return false;
    x.assign(st->lookup_data.begin() + t.x, st->lookup_data.begin() + t.x + t.count);
    y.assign(st->lookup_data.begin() + t.y, st->lookup_data.begin() + t.y + t.count);
    return true;
}

void show_points(HWND dialog, lookup_state& st, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= st.items.size()) return;
    st.shown = index;
    int slot = st.items[static_cast<std::size_t>(index)].lookup;
    std::vector<float> x, y;
    if (auto it = st.pending.find(slot); it != st.pending.end()) {
        x = it->second.first;
        y = it->second.second;
    } else {
        copy_points(slot, x, y);
    }
    std::string text;
    for (std::size_t i = 0; i < x.size(); ++i)
        text += exact_text(x[i]) + ", " + exact_text(y[i]) + "\r\n";
    SetDlgItemText(dialog, ids_points, text.c_str());
}

// Reads the table of points of the lookup shown. false (after the message,
// the table focused) when a line does not parse or the points break the
// lookup rule.
bool take_points(HWND dialog, lookup_state& st) {
    if (st.shown < 0) return true;
    const setup_item& item = st.items[static_cast<std::size_t>(st.shown)];
    std::istringstream lines(item_text(dialog, ids_points));
    std::vector<float> x, y;
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::size_t cut = line.find_first_of(",\t");
        if (cut == std::string::npos) cut = line.find(' ', line.find_first_not_of(' '));
        float a = 0, b = 0;
        std::string why;
        if (cut == std::string::npos) {
            refuse_field(dialog, ids_points,
                         item.name + ", line " + std::to_string(number) +
                             ": a point needs an x and a y value (\"" + line + "\").");
            return false;
        }
        std::string xs = line.substr(0, cut), ys = line.substr(cut + 1);
        if (!parse_change_number(xs.c_str(), &a, &why) ||
            !parse_change_number(ys.c_str(), &b, &why)) {
            refuse_field(dialog, ids_points,
                         item.name + ", line " + std::to_string(number) + ": " + why + " (\"" +
                             line + "\").");
            return false;
        }
        x.push_back(a);
        y.push_back(b);
    }
    std::size_t bad = 0;
    std::string why;
    if (!check_lookup_points(x, y, &bad, &why)) {
        std::string at = x.empty() ? "" : " (point " + std::to_string(bad + 1) + ")";
        refuse_field(dialog, ids_points, item.name + ": " + why + at + ".");
        return false;
    }
    std::vector<float> ox, oy;
    copy_points(item.lookup, ox, oy);
    if (x != ox || y != oy || st.pending.count(item.lookup)) st.pending[item.lookup] = {x, y};
    return true;
}

INT_PTR lookup_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* st = dialog_data<lookup_state>(dialog);
    switch (message) {
    case WM_INITDIALOG: {
        st = begin_dialog<lookup_state>(dialog, lparam);
        HWND combo = GetDlgItem(dialog, ids_lookup);
        for (const setup_item& it : st->items)
            SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(it.name.c_str()));
        SendMessage(combo, CB_SETCURSEL, st->first, 0);
        show_points(dialog, *st, static_cast<int>(st->first));
        SetFocus(GetDlgItem(dialog, ids_points));
        return FALSE;
    }
    case WM_COMMAND:
        if (!st) return FALSE;
        switch (LOWORD(wparam)) {
        case ids_lookup:
            if (HIWORD(wparam) == CBN_SELCHANGE) {
                int now =
                    static_cast<int>(SendDlgItemMessage(dialog, ids_lookup, CB_GETCURSEL, 0, 0));
                if (now == st->shown) return TRUE;
                if (!take_points(dialog, *st)) {
                    SendDlgItemMessage(dialog, ids_lookup, CB_SETCURSEL, st->shown, 0);
                    return TRUE;
                }
                show_points(dialog, *st, now);
            }
            return TRUE;
        case ids_graph:
            // The editor starts from and writes to the working copy: points
            // typed here first are refused or kept as typed; once the editor
            // takes its points over, they are what the table shows.
            if (st->shown < 0 || !take_points(dialog, *st)) return TRUE;
            if (open_lookup_editor(st->items[static_cast<std::size_t>(st->shown)].name.c_str())) {
                st->pending.erase(st->items[static_cast<std::size_t>(st->shown)].lookup);
                show_points(dialog, *st, st->shown);
            }
            return TRUE;
        case IDOK:
            if (!take_points(dialog, *st)) return TRUE;
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

// ---- The game window -------------------------------------------------------

HWND game_wnd = nullptr;
std::vector<std::string> gauge_names; // one per gauge row

// The gauge rows: value slots (i32) of the game's table, or none.
std::vector<std::int32_t> gauge_slots() {
    std::vector<std::int32_t> out;
    if (!game_gauges || game_gauge_count <= 0) return out;
    handle_lock<std::int32_t> rows(game_gauges);
    if (!rows) return out;
    out.assign(rows.get(), rows.get() + game_gauge_count);
    return out;
}

// Fills the game's gauge rows from the model: its game inputs, else its
// constants.
void make_gauges() {
    std::vector<setup_item> items = setup_items(2);
    if (items.empty()) items = setup_items(0);
    free_handle(game_gauges);
    game_gauges = 0;
    game_gauge_count = 0;
    gauge_names.clear();
    if (items.empty()) return;
    game_gauges = new_handle(static_cast<std::uint32_t>(4 * items.size()));
    if (!game_gauges) return;
    handle_lock<std::int32_t> rows(game_gauges);
    for (std::size_t i = 0; i < items.size(); ++i) {
        rows.get()[i] = items[i].slot;
        gauge_names.push_back(items[i].name);
    }
    game_gauge_count = static_cast<int>(items.size());
}

std::string gauge_line(std::size_t i, std::int32_t slot) {
    setup_state* st = setup_copies();
    float v = NA;
    bool changed = false;
    if (st && slot >= 0 && static_cast<std::size_t>(slot) < st->changed.size()) {
        handle_lock<float> values(setup_copy);
        if (values) v = values.get()[slot];
        changed = st->changed[static_cast<std::size_t>(slot)] != 0;
    }
    std::string name = i < gauge_names.size() ? gauge_names[i] : "?";
    return std::string(changed ? "* " : "   ") + name + " = " + number_text(v);
}

void fill_game_window() {
    if (!game_wnd) return;
    std::string time = "Time=" + std::string(format_number(game_time(), 0, nullptr));
    SetDlgItemText(game_wnd, ids_game_time, time.c_str());
    SetDlgItemText(game_wnd, ids_game_interval, format_number(read_game_interval(0), 0, nullptr));
    HWND list = GetDlgItem(game_wnd, ids_list);
    int at = static_cast<int>(SendMessage(list, LB_GETCURSEL, 0, 0));
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    std::vector<std::int32_t> slots = gauge_slots();
    for (std::size_t i = 0; i < slots.size(); ++i) {
        std::string line = gauge_line(i, slots[i]);
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    if (!slots.empty()) {
        at = std::clamp(at, 0, static_cast<int>(slots.size()) - 1);
        SendMessage(list, LB_SETCURSEL, at, 0);
        SetDlgItemText(game_wnd, ids_value,
                       number_text(setup_value(slots[static_cast<std::size_t>(at)])).c_str());
    }
    EnableWindow(GetDlgItem(game_wnd, ids_game_back), game_in_progress());
}

// The chosen row's typed decision into the set-up copy. false after a
// message with the field focused.
bool take_decision() {
    std::vector<std::int32_t> slots = gauge_slots();
    int at = static_cast<int>(SendDlgItemMessage(game_wnd, ids_list, LB_GETCURSEL, 0, 0));
    if (at < 0 || static_cast<std::size_t>(at) >= slots.size()) return true;
    std::int32_t slot = slots[static_cast<std::size_t>(at)];
    std::string text = item_text(game_wnd, ids_value);
    if (text == number_text(setup_value(slot))) return true;
    float v = 0;
    std::string why;
    if (!parse_change_number(text.c_str(), &v, &why)) {
        refuse_field(game_wnd, ids_value,
                     "The value of " + gauge_names[static_cast<std::size_t>(at)] +
                         " is not a number: \"" + text + "\"\n" + why + ".");
        return false;
    }
    set_setup_value(slot, v);
    HWND list = GetDlgItem(game_wnd, ids_list);
    std::string line = gauge_line(static_cast<std::size_t>(at), slot);
    SendMessage(list, LB_DELETESTRING, at, 0);
    SendMessage(list, LB_INSERTSTRING, at, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessage(list, LB_SETCURSEL, at, 0);
    return true;
}

void game_move(int command) {
    // A move runs from here as from the toolbar; the run driver takes the
    // window's fields first (take_game_window_fields) and shows the time after.
    sim_control_command(command, 0, 0);
    if (!game_in_progress()) apply_run_name(0); // no game run to name any more
    toolbar_follow_mode();
    show_game_window(); // hidden when the game is over
    set_main_title(nullptr);
}

INT_PTR game_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        fit_dialog(dialog, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case ids_list:
            if (HIWORD(wparam) == LBN_SELCHANGE) {
                std::vector<std::int32_t> slots = gauge_slots();
                int at = static_cast<int>(SendDlgItemMessage(dialog, ids_list, LB_GETCURSEL, 0, 0));
                if (at >= 0 && static_cast<std::size_t>(at) < slots.size())
                    SetDlgItemText(
                        dialog, ids_value,
                        number_text(setup_value(slots[static_cast<std::size_t>(at)])).c_str());
            }
            return TRUE;
        case ids_set:
            take_decision();
            return TRUE;
        case ids_game_forward:
            game_move(sc_continue_game);
            return TRUE;
        case ids_game_back:
            game_move(sc_game_back);
            return TRUE;
        case ids_game_end:
        case IDCANCEL: // the close box ends the game as End Game does
            game_move(sc_end_game);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

// ---- Plausitest ------------------------------------------------------------

std::vector<plausitest_line> kept_lines;
long kept_checks = 0;

INT_PTR plausitest_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        begin_dialog<void>(dialog, lparam);
        long failed = std::count_if(kept_lines.begin(), kept_lines.end(),
                                    [](const plausitest_line& l) { return !l.held; });
        std::string summary;
        if (kept_lines.empty())
            summary = "The model has no behaviour tests (constraints) to check.";
        else
            summary = std::to_string(kept_lines.size()) + " behaviour test(s) checked at " +
                      std::to_string(kept_checks) + " times: " +
                      (failed ? std::to_string(failed) + " violated, " +
                                    std::to_string(static_cast<long>(kept_lines.size()) - failed) +
                                    " held."
                              : "all held.");
        SetDlgItemText(dialog, ids_pt_summary, summary.c_str());
        HWND list = GetDlgItem(dialog, ids_pt_list);
        for (const plausitest_line& l : kept_lines) {
            std::string line = l.held ? "Held       " + l.element
                                      : "VIOLATED   " + l.element + "   first at time " +
                                            format_number(l.first_time, 0, nullptr) + " (" +
                                            std::to_string(l.count) + " of " +
                                            std::to_string(kept_checks) + " checks)";
            SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR pause_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        begin_dialog<void>(dialog, lparam);
        double time = *reinterpret_cast<const double*>(lparam);
        std::string text = "The simulation is paused at time " +
                           std::string(format_number(time, 0, nullptr)) + ".";
        SetDlgItemText(dialog, ids_pause_text, text.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            EndDialog(dialog, IDOK);
            return TRUE;
        case ids_pause_stop:
        case IDCANCEL:
            EndDialog(dialog, ids_pause_stop);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

int sim_pause_dialog(double time) {
    INT_PTR r = run_dialog(dlg_sim_pause, nullptr, pause_proc, reinterpret_cast<LPARAM>(&time));
    return r == IDOK ? 0 : 1;
}

void show_game_window() {
    if (!game_in_progress()) {
        close_game_window();
        return;
    }
    if (!game_wnd || !IsWindow(game_wnd) || !IsWindowVisible(game_wnd)) {
        make_gauges();
        create_modeless(dlg_game, game_proc, main_wnd, &game_wnd, 1);
        if (!game_wnd) return;
        ShowWindow(game_wnd, SW_SHOW);
        game_window_open = true;
        set_wip_game_window_hook(game_window);
    }
    fill_game_window();
}

void close_game_window() {
    game_window_open = false;
    gauge_names.clear();
    if (game_wnd && IsWindow(game_wnd)) {
        SendDlgItemMessage(game_wnd, ids_list, LB_RESETCONTENT, 0, 0);
        ShowWindow(game_wnd, SW_HIDE);
    }
}

HWND game_window() {
    return game_wnd && IsWindow(game_wnd) && IsWindowVisible(game_wnd) ? game_wnd : nullptr;
}

void activate_game_window() {
    HWND w = game_window();
    if (!w) return;
    BringWindowToTop(w);
    SetActiveWindow(w);
}

bool take_game_window_fields() {
    if (!game_window()) return true;
    // Both fields are checked before either is taken.
    std::string text = item_text(game_wnd, ids_game_interval);
    float interval = 0;
    bool typed = text != format_number(read_game_interval(0), 0, nullptr);
    std::string why;
    if (typed && (!parse_change_number(text.c_str(), &interval, &why) || !(interval > 0))) {
        refuse_field(game_wnd, ids_game_interval,
                     "The interval must be a positive number of time units, not \"" + text + "\".");
        return false;
    }
    if (!take_decision()) return false;
    if (typed) game_interval = interval;
    return true;
}

void destroy_game_window() {
    close_game_window();
    if (game_wnd && IsWindow(game_wnd)) destroy_modeless(&game_wnd);
    game_wnd = nullptr;
}

int constant_changes_dialog(std::uint32_t symbol) {
    if (!model_is_open()) {
        report(8, "Open a model first.");
        return 0;
    }
    if (!copies_for_changes()) return 0;
    constant_state st;
    st.gaming = game_state != 0;
    if (st.gaming) st.items = setup_items(2);
    for (setup_item& it : setup_items(0)) st.items.push_back(std::move(it));
    setup_state* copies = setup_copies();
    if (st.items.empty() || !copies) {
        report(8, "The model has no constants to change.");
        return 0;
    }
    {
        handle_lock<float> values(setup_copy);
        if (!values) return 0;
        for (std::size_t i = 0; i < st.items.size(); ++i) {
            auto slot = static_cast<std::size_t>(st.items[i].slot);
            bool ok = slot < copies->model_values.size();
            st.values.push_back(ok ? values.get()[slot] : NA);
            st.model.push_back(ok ? copies->model_values[slot] : NA);
            if (symbol && st.items[i].sym == symbol && st.first == 0 &&
                (i == 0 || st.items[i - 1].sym != symbol))
                st.first = i;
        }
    }
    if (run_dialog(dlg_constant_changes, nullptr, constant_proc, reinterpret_cast<LPARAM>(&st)) !=
        IDOK)
        return 1;
    // Every typed value was checked when typed: all are taken now.
    for (const auto& [i, v] : st.pending) {
        auto slot = st.items[i].slot;
        set_setup_value(slot, v);
        // The model's own value again is no change for the next run.
        if (v == st.model[i] && static_cast<std::size_t>(slot) < copies->changed.size())
            copies->changed[static_cast<std::size_t>(slot)] = 0;
    }
    if (!st.pending.empty() && livesweep_state == ls_on) livesweep_rerun(0, 2, 0);
    if (game_window()) fill_game_window(); // its rows show the new decisions
    return 1;
}

int lookup_changes_dialog(std::uint32_t symbol) {
    if (!model_is_open()) {
        report(8, "Open a model first.");
        return 0;
    }
    if (game_state) {
        report(8, "Lookups cannot be changed during a game.");
        return 0;
    }
    if (!copies_for_changes()) return 0;
    lookup_state st;
    st.items = setup_items(1);
    if (st.items.empty()) {
        report(8, "The model has no lookups to change.");
        return 0;
    }
    for (std::size_t i = 0; i < st.items.size(); ++i)
        if (symbol && st.items[i].sym == symbol) {
            st.first = i;
            break;
        }
    if (run_dialog(dlg_lookup_changes, nullptr, lookup_proc, reinterpret_cast<LPARAM>(&st)) != IDOK)
        return 1;
    for (const auto& [slot, xy] : st.pending)
        set_setup_lookup(static_cast<std::uint32_t>(slot), xy.first, xy.second);
    if (!st.pending.empty() && livesweep_state == ls_on) livesweep_rerun(0, 2, 0);
    return 1;
}

void keep_plausitest_results(const sim_output& results) {
    kept_lines.clear();
    kept_checks = results.constraint_checks;
    for (const std::string& name : results.constraints) {
        plausitest_line l;
        l.element = name;
        auto v = std::find_if(results.violations.begin(), results.violations.end(),
                              [&](const constraint_violation& c) { return c.element == name; });
        if (v != results.violations.end()) {
            l.held = false;
            l.first_time = v->first_time;
            l.count = v->count;
        }
        kept_lines.push_back(std::move(l));
    }
}

const std::vector<plausitest_line>& plausitest_lines(long* checks) {
    if (checks) *checks = kept_checks;
    return kept_lines;
}

void show_plausitest_dialog() {
    run_dialog(dlg_plausitest, nullptr, plausitest_proc, 0);
}
