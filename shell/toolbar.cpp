// The toolbar (see toolbar.h).
#include "shell/toolbar.h"
#include "shell/title.h"

#include "model/context.h"
#include "model/model.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/datasets.h"
#include "shell/menustate.h"
#include "shell/methods.h"
#include "shell/pump.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/simdata.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

// The item table as designed; the laid-out copy moves the items right of the
// run-name field.
constexpr toolbar_item base_items[toolbar_slots] = {
    {"New Model", nullptr, 16, 523, 2, 23},
    {"Open Model", nullptr, 32, 524, 25, 23},
    {"Save", nullptr, 48, 487, 48, 23},
    {"Print", nullptr, 112, 488, 83, 23},
    {},
    {"Copy", nullptr, 80, 489, 141, 23},
    {},
    {},
    {"Set up a Simulation", nullptr, 192, 629, 222, 23},
    {"Name the Simulation to be Made", nullptr, tk_edit, 637, 245, 80},
    {"Select a simulation name", nullptr, 272, 634, 325, 9},
    {"Run a Simulation", nullptr, 208, 630, 334, 23},
    {"Automatically simulate on change", nullptr, 400, 645, 357, 23},
    {"Start a Game", nullptr, 224, 633, 380, 23},
    {},
    {},
    {"Run Plausitests", nullptr, 352, 640, 449, 23},
    {"Build Windows - show/circulate", nullptr, 128, 504, 484, 23},
    {"Output Windows - show/circulate", nullptr, 144, 530, 507, 23},
    {"Control Panel", nullptr, 160, 564, 530, 23},
    {"Subscript Control", nullptr, 176, 567, 553, 23},
    {"Stop Simulation Setup", nullptr, 240, 631, 222, 23},
    {"Select an Integration Technique", "Euler", tk_label, 643, 2, 42},
    {"Change Model Constants", nullptr, 288, 635, 141, 23},
    {"Change Lookups", nullptr, 304, 636, 164, 23},
    {"Change Gaming Variables", nullptr, 288, 635, 141, 23},
    {"Stop Gaming", nullptr, 240, 631, 176, 23},
    {"Move Forward", nullptr, 320, 638, 199, 23},
    {"Move Backward", nullptr, 336, 639, 222, 23},
    {"Amount to Move", nullptr, tk_edit, 637, 291, 80},
    {"Current Game Time", "Game time", tk_label, no_command, 2, 139},
    {"List the Datasets to be Used for Data Variables", nullptr, tk_edit, 637, 44, 80},
    {"Select a dataset name", nullptr, 272, 644, 124, 9},
    {"Save constant/lookup setting to file", nullptr, 432, 647, 95, 23},
    {"Read constant/lookup settings from file", nullptr, 416, 646, 118, 23},
    {"You are in Livesweep Mode", "Livesweep", tk_label, no_command, 2, 81},
    {"Stop simulating", nullptr, 240, 631, 199, 23},
    {},
    {"Reset Current Slider to base model val (Home)", nullptr, 448, 649, 357, 23},
    {"Reset all Constants/Lookups to base model vals (Ctrl+Home)", nullptr, 464, 650, 380, 23},
    {"Save this run to...", nullptr, 480, 651, 222, 23},
    {},
};

// The items of each mode, by slot, left to right.
const std::vector<int> mode_lists[5] = {
    {0, 1, 2, 3, 5, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20},
    {0, 1, 2, 3, 23, 24, 21, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20},
    {30, 25, 26, 27, 28, 29, 17, 18, 19, 20},
    {22, 31, 32, 23, 24, 21, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20},
    {35, 33, 34, 36, 40, 9, 10, 11, 38, 39, 17, 18, 19, 20},
};

// Label texts the program set (the game time, the integration technique);
// empty: the table's own.
std::array<std::string, toolbar_slots> label_texts;

leave_mode_fn leave_hook = nullptr;
// While the program writes the run-name field, its EN_CHANGE is not the user's.
bool writing_field = false;

struct toolbar_state {
    std::array<toolbar_item, toolbar_slots> items{};
    std::array<HWND, toolbar_slots> edits{};
    int mode = tm_normal;
    std::vector<int> list = mode_lists[tm_normal];
    int pressed = -1; // list position + 2, negative while the pointer is off it; -1 none
    int hot = 0;      // list position + 2 of the item under the pointer; 0 none
    HBITMAP strip = nullptr;
    HBITMAP grey_strip = nullptr; // the same cells drawn in the shadow colour
    HWND window = nullptr;
    int width = 0;
};
toolbar_state bar;

bool in_list(int slot) {
    return std::find(bar.list.begin(), bar.list.end(), slot) != bar.list.end();
}

// Items that stand for a menu command of another number: the set-up and
// game toolbars' Change Model Constants (Change Gaming Variables) and Change
// Lookups are the Model menu's Constant Changes and Lookup Changes.
std::uint16_t menu_item_of(std::uint16_t command) {
    switch (command) {
    case 635:
        return cmd_constant_changes;
    case 636:
        return cmd_lookup_changes;
    default:
        return command;
    }
}

// Whether an item's command can act now, by the same rules as the menus:
// the model's file and simulation commands need an open model, and nothing
// that closes, replaces or re-runs the model acts while the model is busy.
// Under a modal dialog or box the workbench is disabled: nothing on the
// toolbar acts, and it all shows grey as the menus do.
bool workbench_disabled() {
    return main_wnd && IsWindow(main_wnd) && !IsWindowEnabled(main_wnd);
}

bool command_enabled(std::uint16_t command) {
    if (workbench_disabled()) return false;
    switch (command) {
    case cmd_pop_build: // greyed while Keep Build Behind is on
    case cmd_pop_output:
    case 635:
    case 636:
        update_menu_states();
        return menu_item_enabled(menu_item_of(command));
    case 523: // New Model
    case 524: // Open Model
        return !model_busy();
    case 487: // Save
    case 488: // Print
    case sc_setup:
    case sc_simulate:
    case sc_livesweep:
    case sc_start_game:
    case sc_plausitest:
        return model_is_open() && !model_busy();
    default:
        return true;
    }
}

// The strip as a grey button shows it: every cell's ink, coloured or not,
// in the shadow colour on the face. Null when the strip cannot be read.
HBITMAP grey_strip_of(HBITMAP strip) {
    BITMAP bm{};
    if (!strip || !GetObject(strip, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0 ||
        bm.bmWidth > 4096 || bm.bmHeight > 256)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> px(static_cast<std::size_t>(bm.bmWidth) *
                                  static_cast<std::size_t>(bm.bmHeight));
    HDC screen = GetDC(nullptr);
    HBITMAP grey = nullptr;
    if (GetDIBits(screen, strip, 0, static_cast<UINT>(bm.bmHeight), px.data(), &info,
                  DIB_RGB_COLORS) > 0) {
        auto bgr = [](COLORREF c) {
            return static_cast<std::uint32_t>(GetBValue(c)) |
                   (static_cast<std::uint32_t>(GetGValue(c)) << 8) |
                   (static_cast<std::uint32_t>(GetRValue(c)) << 16);
        };
        const std::uint32_t face = bgr(bevel_face_colour());
        const std::uint32_t shadow = bgr(bevel_shadow_colour());
        for (std::uint32_t& p : px) p = (p & 0xFFFFFF) == face ? face : shadow;
        grey = CreateCompatibleBitmap(screen, bm.bmWidth, bm.bmHeight);
        if (grey && !SetDIBits(screen, grey, 0, static_cast<UINT>(bm.bmHeight), px.data(), &info,
                               DIB_RGB_COLORS)) {
            DeleteObject(grey);
            grey = nullptr;
        }
    }
    ReleaseDC(nullptr, screen);
    return grey;
}

// Lays the current items out for a client width: the run-name field takes
// the free width (kept between 80 and 300) and the items right of it move.
void layout(int client_width) {
    for (int i = 0; i < toolbar_slots; ++i) {
        auto at = static_cast<std::size_t>(i);
        bar.items[at] = base_items[i];
        if (!label_texts[at].empty()) bar.items[at].label = label_texts[at].c_str();
    }
    if (!in_list(run_name_slot)) return;
    int right = 0;
    for (int s : bar.list) right = std::max(right, base_items[s].x + base_items[s].width);
    const toolbar_item& field = base_items[run_name_slot];
    int free = client_width - 2 - right;
    int w = std::clamp(field.width + free, run_name_min, run_name_max);
    int delta = w - field.width;
    bar.items[run_name_slot].width = static_cast<std::int16_t>(w);
    for (int s : bar.list)
        if (base_items[s].x > field.x)
            bar.items[static_cast<std::size_t>(s)].x =
                static_cast<std::int16_t>(base_items[s].x + delta);
}

void place_edits() {
    for (int s = 0; s < toolbar_slots; ++s) {
        HWND e = bar.edits[static_cast<std::size_t>(s)];
        if (!e) continue;
        const toolbar_item& it = bar.items[static_cast<std::size_t>(s)];
        if (in_list(s)) {
            MoveWindow(e, it.x, 2, it.width, 22, TRUE);
            ShowWindow(e, SW_SHOW);
        } else {
            ShowWindow(e, SW_HIDE);
        }
    }
}

void relayout() {
    layout(bar.width);
    place_edits();
    if (bar.window) InvalidateRect(bar.window, nullptr, TRUE);
}

// The item under a client point: list position + 2, 0 none.
int item_at(int x, int y) {
    if (y < 2 || y >= 24) return 0;
    for (std::size_t i = 0; i < bar.list.size(); ++i) {
        const toolbar_item& it = bar.items[static_cast<std::size_t>(bar.list[i])];
        if (x >= it.x && x < it.x + it.width) return static_cast<int>(i) + 2;
    }
    return 0;
}

const toolbar_item* item_of(int item) {
    int pos = (item < 0 ? -item : item) - 2;
    if (pos < 0 || pos >= static_cast<int>(bar.list.size())) return nullptr;
    return &bar.items[static_cast<std::size_t>(bar.list[static_cast<std::size_t>(pos)])];
}

void fill(HDC dc, int l, int t, int r, int b, HBRUSH brush) {
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, brush);
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT rc{};
    GetClientRect(w, &rc);
    fill(dc, 0, 0, rc.right, 26, bevel_face_brush());
    fill(dc, 0, 26, rc.right, 27, bevel_shadow_brush());
    fill(dc, 0, 27, rc.right, 28, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!bar.strip)
        bar.strip = paint_resource_bitmap(bitmap_toolbar, bevel_face_colour(), bevel_text_colour());
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, bevel_text_colour());
    SetBkColor(dc, bevel_face_colour());
    int prev_right = -1;
    for (std::size_t i = 0; i < bar.list.size(); ++i) {
        const toolbar_item& it = bar.items[static_cast<std::size_t>(bar.list[i])];
        int number = static_cast<int>(i) + 2;
        if (prev_right >= 0 && it.x > prev_right) {
            fill(dc, it.x - 6, 4, it.x - 5, 24, bevel_shadow_brush());
            fill(dc, it.x - 5, 4, it.x - 4, 24, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        }
        prev_right = it.x + it.width;
        if (it.kind == tk_label) {
            SetBkMode(dc, TRANSPARENT);
            TextOut(dc, it.x + 2, 3, it.label, static_cast<int>(std::strlen(it.label)));
        } else if (it.kind >= tk_first_image) {
            const bool enabled = command_enabled(it.command);
            if (!enabled && !bar.grey_strip) bar.grey_strip = grey_strip_of(bar.strip);
            bevel_content c{};
            c.kind = bevel_content::strip_cell;
            c.image = enabled ? bar.strip : bar.grey_strip;
            c.memory_dc = mem;
            c.cell_x = it.kind;
            c.cell_w = std::min<int>(toolbar_cell_w, it.width);
            c.inset_x = static_cast<std::uint8_t>((it.width - c.cell_w) / 2);
            c.inset_y = 3;
            c.dc_mode = bevel_content::dc_clear;
            int state = !enabled                                        ? -1
                        : bar.pressed == number                         ? 1
                        : (bar.hot == number || bar.pressed == -number) ? 0
                                                                        : -1;
            draw_bevel_button(dc, dc, it.x, 2, it.width, 22, state, &c);
        }
    }
    SelectObject(dc, old_font);
    DeleteDC(mem);
    EndPaint(w, &ps);
}

void run_item_command(std::uint16_t id) {
    if (id == no_command || !command_enabled(id)) return;
    id = menu_item_of(id);
    if (id == 644) {
        // The dataset field's chooser: the chosen run goes in at the caret.
        sim_command_file(bar.edits[dataset_list_slot], 0);
        return;
    }
    if (id < sc_setup) {
        // File and window commands: the workbench's (ids below 500, Copy and
        // Print among them, go on to the active window, as the Edit and File
        // menus' items do).
        if (main_wnd) SendMessage(main_wnd, WM_COMMAND, id, 0);
        return;
    }
    if (id == sc_stop && sim_phase < phase_initialising) {
        // Stop in set-up, gaming or Livesweep: leave the mode.
        if (leave_hook) leave_hook(1);
    } else {
        if (bar.window) InvalidateRect(bar.window, nullptr, FALSE); // grey while it runs
        sim_control_command(id, 0, 0);
    }
    toolbar_follow_mode();
    set_main_title(nullptr); // a mode entered or left names itself in the title
    refresh_sketch_values(); // the diagram's marks and objects follow the mode
}

void field_changed(int slot, HWND edit, int code) {
    if (writing_field) return;
    if (slot == run_name_slot && code == EN_CHANGE && model_rec) {
        char name[256];
        GetWindowText(edit, name, sizeof name);
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    sim_control_command(base_items[slot].command, code, slot);
}

} // namespace

void set_toolbar_label(int slot, const char* text) {
    if (slot < 0 || slot >= toolbar_slots || base_items[slot].kind != tk_label) return;
    auto at = static_cast<std::size_t>(slot);
    label_texts[at] = text ? text : "";
    bar.items[at].label =
        label_texts[at].empty() ? base_items[slot].label : label_texts[at].c_str();
    if (!bar.window) return;
    const toolbar_item& it = bar.items[at];
    RECT r{it.x, 2, it.x + it.width, 24};
    InvalidateRect(bar.window, &r, TRUE);
}

void set_toolbar_leave_hook(leave_mode_fn hook) {
    leave_hook = hook;
}

const toolbar_item& toolbar_slot(int slot) {
    return bar.items[static_cast<std::size_t>(std::clamp(slot, 0, toolbar_slots - 1))];
}
const std::vector<int>& toolbar_list() {
    return bar.list;
}
int toolbar_mode() {
    return bar.mode;
}

void show_sim_controls(int mode) {
    if (mode < tm_normal || mode > tm_livesweep) mode = tm_normal;
    bar.mode = mode;
    bar.list = mode_lists[mode];
    bar.pressed = -1;
    bar.hot = 0;
    relayout();
    if (mode == tm_setup || mode == tm_datasets || mode == tm_livesweep) apply_run_name(1);
    // The datasets items show the technique the next run integrates with.
    if (mode == tm_datasets && model_rec)
        set_toolbar_label(
            method_slot,
            method_names[model_rec->setup.method < method_count ? model_rec->setup.method : 0]);
}

// Whether the open model has data variables: their set-up names the datasets
// they read, so set-up shows the datasets items.
static bool model_has_data_variables() {
    if (!model_rec || !lock_model(0)) return false;
    bool found = false;
    for (int i = 0; i < model_alpha_count && !found; ++i)
        found = sym(model_alpha[i])->type == st_data;
    unlock_model(0);
    return found;
}

void toolbar_follow_mode() {
    int mode = livesweep_state == ls_on   ? tm_livesweep
               : game_state               ? tm_gaming
               : sim_phase == phase_setup ? (model_has_data_variables() ? tm_datasets : tm_setup)
                                          : tm_normal;
    if (mode != bar.mode) show_sim_controls(mode);
    // Which items are grey may have changed with the model or the run.
    if (bar.window) InvalidateRect(bar.window, nullptr, FALSE);
}

void apply_run_name(int flag) {
    HWND e = bar.edits[run_name_slot];
    if (!e) return;
    const char* name = "";
    if (flag && model_rec) {
        name = ctx_text(model_rec, model_rec->setup.run_name);
        if (!name || !*name) name = run_name_or_current(model_rec);
    }
    writing_field = true;
    SetWindowText(e, name ? name : "");
    writing_field = false;
}

int toolbar_field_slot(HWND edit) {
    if (!edit) return -1;
    for (int s = 0; s < toolbar_slots; ++s)
        if (bar.edits[static_cast<std::size_t>(s)] == edit) return s;
    return -1;
}

void invalidate_toolbar_item(HWND toolbar, int item) {
    const toolbar_item* it = item_of(item);
    if (!toolbar || !it) return;
    RECT r{it->x, 2, it->x + it->width, 24};
    InvalidateRect(toolbar, &r, FALSE);
}

HWND pressed_button_window() {
    return bar.window && bar.pressed != -1 ? bar.window : nullptr;
}

LRESULT vtoolbar_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE:
        bar = toolbar_state{};
        bar.window = w;
        for (int s = 0; s < toolbar_slots; ++s) {
            if (base_items[s].kind != tk_edit) continue;
            int id = s == run_name_slot ? 101 : 100;
            bar.edits[static_cast<std::size_t>(s)] = CreateWindow(
                WC_EDIT, "", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, base_items[s].x, 2,
                base_items[s].width, 22, w,
                handle_from_token<HMENU>(static_cast<std::uint32_t>(id)), hinst, nullptr);
        }
        show_sim_controls(tm_normal);
        return 0;
    case WM_DESTROY:
        if (bar.strip) DeleteObject(bar.strip);
        if (bar.grey_strip) DeleteObject(bar.grey_strip);
        bar = toolbar_state{};
        return 0;
    case WM_SIZE:
        bar.width = LOWORD(static_cast<std::uintptr_t>(lp));
        relayout();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_MOUSEMOVE: {
        if (sim_phase >= phase_saving || modal_count != 0) return 0;
        MSG pending;
        while (PeekMessage(&pending, w, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) lp = pending.lParam;
        int under = item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        if (bar.pressed != -1) {
            int held = bar.pressed < 0 ? -bar.pressed : bar.pressed;
            int now = under == held ? held : -held;
            if (now != bar.pressed) {
                bar.pressed = now;
                invalidate_toolbar_item(w, held);
            }
        }
        if (under != bar.hot) {
            if (bar.hot) invalidate_toolbar_item(w, bar.hot);
            if (under) invalidate_toolbar_item(w, under);
            bar.hot = under;
        }
        if (bar.hot && GetCapture() != w) SetCapture(w);
        if (!bar.hot && bar.pressed == -1 && GetCapture() == w && tooltip_state() != 3)
            ReleaseCapture();
        track_tooltip(w, bar.hot, 0);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        int under = item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        const toolbar_item* it = item_of(under);
        if (!it || (it->kind == tk_edit && it->command == 637)) return 0;
        if (!command_enabled(it->command)) return 0; // grey: no press
        bar.pressed = under;
        SetCapture(w);
        invalidate_toolbar_item(w, under);
        return 0;
    }
    case WM_LBUTTONUP: {
        if (GetCapture() == w) ReleaseCapture();
        int was = bar.pressed;
        bar.pressed = -1;
        if (was == -1) return 0;
        invalidate_toolbar_item(w, was);
        if (was > 0 && item_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp)) == was) {
            if (const toolbar_item* it = item_of(was)) run_item_command(it->command);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (bar.hot && reinterpret_cast<HWND>(lp) != w) {
            invalidate_toolbar_item(w, bar.hot);
            bar.hot = 0;
        }
        return 0;
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lp);
        int slot = toolbar_field_slot(from);
        if (slot >= 0) field_changed(slot, from, HIWORD(wp));
        return 0;
    }
    case wm_tip_request: {
        const toolbar_item* it = item_of(static_cast<int>(wp));
        auto* req = reinterpret_cast<tip_request*>(lp);
        if (!it || !req) return 0;
        req->text = it->tip;
        req->x = it->x;
        req->y = 24;
        return 1;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

void toolbar_follow_enabled() {
    const bool on = !workbench_disabled();
    for (HWND e : bar.edits)
        if (e && IsWindow(e) && (IsWindowEnabled(e) != FALSE) != on) EnableWindow(e, on);
    if (bar.window) InvalidateRect(bar.window, nullptr, FALSE);
}
