// The Control Panel and its Time Axis and Scaling pages.
#include "shell/controlpanel.h"
#include "shell/graphspage.h"

#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi.h"
#include "resources/panel.h"
#include "resources/varselect.h"
#include "shell/controls/scaler.h"
#include "shell/datasets.h"
#include "shell/dialogs.h"
#include "shell/floats.h"
#include "shell/showqueue.h"
#include "shell/state.h"
#include "shell/varselect.h"
#include "shell/winlist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

scaling_options scaling_opts;

namespace {
panel_save_fn panel_save = nullptr;
} // namespace

void set_panel_save_hook(panel_save_fn fn) {
    panel_save = fn;
}
HWND control_wnd = nullptr;
HWND control_page = nullptr;
std::uint8_t control_tab = 0;

namespace {

struct page_entry {
    const char* name;
    int dialog;
    DLGPROC proc;
};

bool page_scroll_message(HWND page, UINT message, WPARAM wparam);

// The Datasets page is shell/datasets, the Graphs page shell/graphspage.
const page_entry pages[5] = {
    {"Variable", dlg_page_variable, variable_proc}, {"Time Axis", dlg_page_time_axis, globals_proc},
    {"Scaling", dlg_page_scaling, scaling_proc},    {"Datasets", dlg_page_datasets, runs_sel_proc},
    {"Graphs", dlg_page_graphs, user_proc},
};

constexpr int grip_size = 16;

// Set while the program writes an edit box of the Time Axis page (its
// EN_CHANGE must not apply the text again) or applies one (an apply that
// re-applies the other end must not recurse).
bool writing_time = false;
bool applying_time = false;
// The time axis changed while the Time Axis page was not looking.
bool time_refresh = false;
// Posted to the Time Axis page to check a box that lost the focus.
constexpr UINT wm_check_time = WM_USER + 61;

HWND tab_control(HWND panel) {
    return GetDlgItem(panel, idc_tabs);
}

HWND time_page() {
    return control_page && control_tab == tab_time_axis ? control_page : nullptr;
}

void layout_panel(HWND panel) {
    RECT c{};
    GetClientRect(panel, &c);
    HWND check = GetDlgItem(panel, idc_keep_on_top);
    HWND close = GetDlgItem(panel, idc_close);
    HWND grip = GetDlgItem(panel, idc_size_grip);
    RECT cr{}, br{};
    if (check) GetWindowRect(check, &cr);
    if (close) GetWindowRect(close, &br);
    int bh = br.bottom - br.top, bw = br.right - br.left;
    int ch = cr.bottom - cr.top, cw = cr.right - cr.left;
    int row = (bh > ch ? bh : ch) + 4;
    int row_top = c.bottom - row;
    if (check) MoveWindow(check, 2, row_top + (row - ch) / 2, cw, ch, TRUE);
    if (grip)
        MoveWindow(grip, c.right - grip_size, c.bottom - grip_size, grip_size, grip_size, TRUE);
    if (close)
        MoveWindow(close, c.right - grip_size - 20 - bw, row_top + (row - bh) / 2, bw, bh, TRUE);
    HWND tabs = tab_control(panel);
    if (!tabs) return;
    int th = row_top - 4 - 2;
    MoveWindow(tabs, 2, 2, c.right - 4, th > 0 ? th : 0, TRUE);
    if (control_page) {
        RECT area{};
        GetClientRect(tabs, &area);
        SendMessage(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        MoveWindow(control_page, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, TRUE);
    }
}

// Puts the panel in its place in the z-order: on top when kept there, else
// just below the floating windows that must stay above it.
void replace_panel(HWND panel) {
    if (float_opts & fo_control_on_top)
        SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    else
        place_in_container(panel, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int time_edit_of(int marker) {
    return marker == sm_start ? idt_start : marker == sm_end ? idt_end : idt_special;
}

// Marker positions of a time (fractions rounded, as typed values are).
int start_marker(double t, double s, double p) {
    int x = static_cast<int>(std::lround((t - s) * p)) + scaler.margin;
    return x < 1 ? 1 : x;
}
int end_marker(double t, double e, double p) {
    int x = scaler.width - static_cast<int>(std::lround((e - t) * p)) - scaler.margin;
    return x > scaler.width - 1 ? scaler.width - 1 : x;
}

void repaint_scaler() {
    HWND page = time_page();
    if (page) InvalidateRect(GetDlgItem(page, idt_scaler), nullptr, TRUE);
}

// The model's time variable (0 when it has none).
symbol_id model_time_symbol() {
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr) return 0;
    return model_hdr->w[mh_time_symbol];
}

// The value of a control variable whose equation is a plain number.
bool control_constant(const char* name, double* out) {
    symbol_id id = find_symbol(name);
    if (id == 0) return false;
    model_lock_guard g(cur_model_symbols, 1);
    if (!g.ok() || !valid_symbol(id) || sym(id)->eqn == 0) return false;
    expr_node* body = node_skip(eq_nodes(eq_at(sym(id)->eqn)));
    if (!body || body->code != nc_number) return false;
    double v = as_float(body->operand);
    if (!std::isfinite(v) || is_na(v)) return false;
    *out = v;
    return true;
}

// With no run selected the full range is made up; the model's own INITIAL
// TIME and FINAL TIME are a better guess than 0 to 100.
void take_model_range(model_context& c) {
    if (c.run_count > 0) return;
    double s = 0, e = 0;
    if (!control_constant("INITIAL TIME", &s) || !control_constant("FINAL TIME", &e) || !(e > s))
        return;
    const bool defaults = c.start == c.full_start && c.end == c.full_end;
    c.full_start = static_cast<float>(s);
    c.full_end = static_cast<float>(e);
    if (defaults) {
        c.start = c.full_start;
        c.end = c.special = c.full_end;
    }
}

// Times outside the full range (left from another range, or read from a
// model's stored settings) come back inside it, so that every marker lies on
// the bar.
void clamp_times(model_context& c) {
    const double s = c.full_start, e = c.full_end;
    if (!(e > s)) return;
    auto inside = [&](double t) { return std::isfinite(t) && t >= s && t <= e; };
    if (!inside(c.start)) c.start = s;
    if (!inside(c.end) || c.end <= c.start) c.end = e;
    if (!inside(c.special)) c.special = e;
}

void fill_time_bases(HWND combo) {
    symbol_id current = model_rec ? model_rec->time_base : 0;
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok() || !model_hdr) return;
    symbol_id time = model_hdr->w[mh_time_symbol];
    std::uint32_t end = model_hdr->w[mh_sym_end];
    for (symbol_id id = first_symbol_cell; id + symbol_cells <= end; id += symbol_cells) {
        if (!valid_symbol(id) || (id != time && sym(id)->type != st_time_base)) continue;
        LRESULT i = SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(sym_name(id)));
        if (i < 0) continue;
        SendMessage(combo, CB_SETITEMDATA, static_cast<WPARAM>(i), static_cast<LPARAM>(id));
        if (id == current || (current == 0 && id == time))
            SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
}

void move_by_arrow(HWND page, int id) {
    if (!model_rec) return;
    model_context& c = *model_rec;
    double d = scaler_step(c.arrow_step);
    double s = c.full_start, e = c.full_end;
    int edit = 0;
    switch (id) {
    case idt_end_left:
        c.end = c.end - d < c.start + d ? c.start + d : c.end - d;
        edit = idt_end;
        break;
    case idt_end_right:
        c.end = c.end + d > e ? (e > c.end ? e : c.end) : c.end + d;
        edit = idt_end;
        break;
    case idt_start_left:
        c.start = c.start - d < s ? (s < c.start ? s : c.start) : c.start - d;
        edit = idt_start;
        break;
    case idt_start_right:
        if (c.start + d < c.end) c.start += d;
        edit = idt_start;
        break;
    case idt_special_left:
        c.special = c.special - d < s ? s : c.special - d;
        edit = idt_special;
        break;
    case idt_special_right:
        c.special = c.special + d > e ? e : c.special + d;
        edit = idt_special;
        break;
    default:
        return;
    }
    double p = scaler_ppu(scaler, s, e);
    if (scaler_has_room(scaler)) {
        scaler.start_x = start_marker(c.start, s, p);
        scaler.end_x = end_marker(c.end, e, p);
        scaler.special_x = end_marker(c.special, e, p);
    }
    show_time_value(edit, edit == idt_start ? c.start : edit == idt_end ? c.end : c.special);
    InvalidateRect(GetDlgItem(page, idt_scaler), nullptr, TRUE);
}

// Reads a division count from a combo: false when it is no whole number of
// at least 1.
bool read_divisions(HWND dialog, int id, int* out) {
    char text[32];
    GetDlgItemText(dialog, id, text, sizeof text);
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    while (end && *end == ' ') ++end;
    if (end == text || (end && *end) || v < 1 || v > 1000000) return false;
    *out = static_cast<int>(v);
    return true;
}

void refuse_divisions(HWND dialog, int id) {
    MessageBeep(0);
    SendDlgItemMessage(dialog, id, CB_SETEDITSEL, 0, MAKELPARAM(0, 0xFFFF));
    SetFocus(GetDlgItem(dialog, id));
}

void show_buffer_mult(HWND dialog) {
    char text[32];
    std::snprintf(text, sizeof text, "%s", format_number(scaling_opts.buffer_mult, 0, nullptr));
    SetDlgItemText(dialog, ids_buffer, text);
}

void show_scaling(HWND dialog) {
    for (int id : {ids_hdiv, ids_vdiv}) {
        SendDlgItemMessage(dialog, id, CB_RESETCONTENT, 0, 0);
        for (int i = 1; i <= 10; ++i) {
            char n[4];
            std::snprintf(n, sizeof n, "%d", i);
            SendDlgItemMessage(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n));
        }
        SetDlgItemInt(
            dialog, id,
            static_cast<UINT>(id == ids_hdiv ? scaling_opts.h_divisions : scaling_opts.v_divisions),
            FALSE);
    }
    const scaling_options& o = scaling_opts;
    CheckDlgButton(dialog, ids_line0, (o.extra_lines & xl_zero) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ids_line1, (o.extra_lines & xl_one) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ids_line_special,
                   (o.extra_lines & xl_special) ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(dialog, ids_raw, ids_rounded, o.raw ? ids_raw : ids_rounded);
    CheckDlgButton(dialog, ids_include0, o.include_zero ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ids_colorize, o.colorize ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ids_freeze, (o.sweep & sw_freeze) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ids_no_change, (o.sweep & sw_no_change) ? BST_CHECKED : BST_UNCHECKED);
    show_buffer_mult(dialog);
}

void toggle_bit(std::uint8_t& bits, std::uint8_t bit, bool on) {
    bits = static_cast<std::uint8_t>(on ? (bits | bit) : (bits & ~bit));
}

// Whether a typed time may be taken for that box: a start from the full
// start to before the end, an end after the start up to the full end, a
// special time strictly inside the full range. A time outside the full range
// has no place on the bar.
bool time_allowed(int id, double t) {
    if (!model_rec || is_na(t) || !std::isfinite(t)) return false;
    const model_context& c = *model_rec;
    const double s = c.full_start, e = c.full_end;
    if (id == idt_start) return t >= s && t < c.end;
    if (id == idt_end) return t > c.start && t <= e;
    if (id == idt_special) return t > s && t < e;
    return false;
}

// Takes an allowed time; taking one end re-applies the other, whose marker
// follows the new scale.
void take_time(HWND page, int id, double t) {
    model_context& c = *model_rec;
    double s = c.full_start, e = c.full_end;
    bool room = scaler_has_room(scaler);
    double p = e > s && room ? (scaler.width - 2 * scaler.margin) / (e - s) : scaler.ppu;
    applying_time = true;
    if (id == idt_end) {
        c.end = t;
        if (room) {
            scaler.end_x = end_marker(t, e, p);
            scaler.start_x = start_marker(c.start, s, p);
        }
    } else if (id == idt_special) {
        c.special = t;
        if (room) scaler.special_x = end_marker(t, e, p);
    } else if (id == idt_start) {
        c.start = t;
        if (room) {
            scaler.start_x = start_marker(t, s, p);
            scaler.end_x = end_marker(c.end, e, p);
        }
    }
    applying_time = false;
    InvalidateRect(GetDlgItem(page, idt_scaler), nullptr, TRUE);
}

std::string time_label(double t) {
    char text[64] = "";
    time_basis_label(t, nullptr, 0, text, sizeof text);
    return text;
}

// The message for a typed time that is refused: the field, what was typed
// and the times allowed.
std::string time_refusal(int id, const char* typed, double t) {
    const model_context& c = *model_rec;
    const std::string s = time_label(c.full_start), e = time_label(c.full_end);
    std::string field = id == idt_start ? "Start Time"
                        : id == idt_end ? "End Time"
                                        : "Special Time";
    std::string why = "The " + field + " \"" + typed + "\" is refused";
    if (is_na(t) || !std::isfinite(t)) why += ": it is not a time";
    why += ".\n\nThe " + field + " must be ";
    if (id == idt_start)
        why += "at least " + s + " and less than the End Time (" + time_label(c.end) + ").";
    else if (id == idt_end)
        why += "more than the Start Time (" + time_label(c.start) + ") and at most " + e + ".";
    else
        why += "more than " + s + " and less than " + e + ".";
    return why;
}

// A Time Axis box that lost the focus: text that is no allowed time is
// refused with a message and the box and bar go back to the time the box had
// when it got the focus (or, when that is no longer allowed, the time in
// force).
int focus_edit = 0;
double focus_time = 0;
bool checking_time = false;

double time_of(int id) {
    const model_context& c = *model_rec;
    return id == idt_start ? c.start : id == idt_end ? c.end : c.special;
}

void check_time_edit(HWND page, int id) {
    if (!model_rec || !page || checking_time) return;
    char text[32];
    GetDlgItemText(page, id, text, sizeof text);
    double t = decode_string(text);
    if (time_allowed(id, t)) {
        if (t != time_of(id)) take_time(page, id, t);
        return;
    }
    checking_time = true;
    const std::string why = time_refusal(id, text, t);
    double back = id == focus_edit ? focus_time : time_of(id);
    if (back != time_of(id) && time_allowed(id, back)) take_time(page, id, back);
    show_time_value(id, time_of(id));
    report(8, "%s", why.c_str());
    checking_time = false;
}

// The current page scrolls when the tab control's area is smaller than its
// controls: one unit is 20 pixels, a page move the visible units less one.
constexpr int scroll_unit = 20;
int page_content = 0; // the lowest control's bottom, unscrolled
int page_pos = 0;     // in units
bool page_sizing = false;

int page_units(HWND page) {
    RECT c{};
    GetClientRect(page, &c);
    return std::max(1, static_cast<int>(c.bottom) / scroll_unit);
}

int last_page_pos(HWND page) {
    RECT c{};
    GetClientRect(page, &c);
    if (page_content <= c.bottom) return 0;
    int units = (page_content + scroll_unit - 1) / scroll_unit;
    return std::max(0, units - page_units(page));
}

void scroll_page_to(HWND page, int pos) {
    pos = std::clamp(pos, 0, last_page_pos(page));
    if (pos != page_pos) {
        ScrollWindow(page, 0, (page_pos - pos) * scroll_unit, nullptr, nullptr);
        page_pos = pos;
    }
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_POS;
    si.nPos = page_pos;
    SetScrollInfo(page, SB_VERT, &si, TRUE);
}

void update_page_scroll(HWND page) {
    if (page_sizing) return;
    page_sizing = true;
    RECT c{};
    GetClientRect(page, &c);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    si.nPage = 1; // nothing to scroll: the range fits the page
    if (page_content > c.bottom) {
        si.nMax = (page_content + scroll_unit - 1) / scroll_unit - 1;
        si.nPage = static_cast<UINT>(page_units(page));
    }
    SetScrollInfo(page, SB_VERT, &si, TRUE);
    scroll_page_to(page, page_pos);
    page_sizing = false;
}

// Notes how far down the new page's controls reach (before any scrolling).
void measure_page(HWND page) {
    page_pos = 0;
    page_content = 0;
    for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(c, &r);
        POINT bottom{r.left, r.bottom};
        ScreenToClient(page, &bottom);
        page_content = std::max(page_content, static_cast<int>(bottom.y));
    }
    if (page_content > 0) page_content += 4;
}

// The scrolling messages of every page; true when handled.
bool page_scroll_message(HWND page, UINT message, WPARAM wparam) {
    if (page != control_page) return false;
    if (message == WM_SIZE) {
        update_page_scroll(page);
        return false; // the page may lay out too
    }
    if (message != WM_VSCROLL) return false;
    int step = std::max(1, page_units(page) - 1);
    switch (LOWORD(wparam)) {
    case SB_LINEUP:
        scroll_page_to(page, page_pos - 1);
        break;
    case SB_LINEDOWN:
        scroll_page_to(page, page_pos + 1);
        break;
    case SB_PAGEUP:
        scroll_page_to(page, page_pos - step);
        break;
    case SB_PAGEDOWN:
        scroll_page_to(page, page_pos + step);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(page, SB_VERT, &si);
        scroll_page_to(page, si.nTrackPos);
        break;
    }
    case SB_TOP:
        scroll_page_to(page, 0);
        break;
    case SB_BOTTOM:
        scroll_page_to(page, last_page_pos(page));
        break;
    default:
        break;
    }
    return true;
}

} // namespace

// ------------------------------------------------------------- the panel ---

namespace {

// The control that had the keyboard when the panel was closed.
HWND panel_focus = nullptr;

// Hides the panel, keeping the control that had the keyboard for its return;
// the window that was active before it gets the keyboard back.
void close_panel(HWND panel) {
    HWND f = GetFocus();
    if (f && IsChild(panel, f)) panel_focus = f;
    ShowWindow(panel, SW_HIDE);
    // The panel floats: it was never the active child, which is still there
    // (it is only looked for anew when it went).
    if (active_child && IsWindow(active_child) && IsWindowVisible(active_child))
        SetFocus(active_child);
    else
        activate_window(nullptr, 0, 0);
}

// The controls Tab visits, in order: the page's, then the panel's own.
std::vector<HWND> panel_tab_stops(HWND panel) {
    std::vector<HWND> out;
    auto add_children = [&](HWND parent) {
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if ((GetWindowLong(c, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(c) &&
                IsWindowEnabled(c))
                out.push_back(c);
    };
    if (control_page) add_children(control_page);
    add_children(panel);
    return out;
}

// Tab and Shift+Tab in the panel: the page sits inside the tab control, so
// the dialog's own Tab would never reach the page's controls from the
// panel's, nor leave the page.
bool panel_key_filter(HWND panel, MSG* msg) {
    auto dialog_keys = [&] { return IsDialogMessage(panel, msg) != 0; };
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_TAB) return dialog_keys();
    if ((GetKeyState(VK_CONTROL) & 0x8000) || (GetKeyState(VK_MENU) & 0x8000)) return dialog_keys();
    HWND f = GetFocus();
    if (!f || (f != panel && !IsChild(panel, f))) return dialog_keys();
    const std::vector<HWND> stops = panel_tab_stops(panel);
    if (stops.empty()) return dialog_keys();
    const int n = static_cast<int>(stops.size());
    int at = -1;
    for (int i = 0; i < n && at < 0; ++i)
        if (stops[static_cast<std::size_t>(i)] == f ||
            IsChild(stops[static_cast<std::size_t>(i)], f))
            at = i;
    const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const int next = at < 0 ? (back ? n - 1 : 0) : ((at + (back ? -1 : 1)) % n + n) % n;
    HWND to = stops[static_cast<std::size_t>(next)];
    SetFocus(to);
    if (SendMessage(to, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessage(to, EM_SETSEL, 0, -1);
    dlg_mark_keyboard_focus(to);
    return true;
}

} // namespace

void fill_graph_list() {
    if (control_page && IsWindow(control_page) && control_tab == tab_graphs)
        refill_graphs_page(control_page);
}

void focus_panel() {
    if (!control_wnd || !IsWindowVisible(control_wnd)) return;
    HWND f = GetFocus();
    if (f && IsChild(control_wnd, f)) return;
    HWND to = panel_focus && IsWindow(panel_focus) && IsChild(control_wnd, panel_focus) &&
                      IsWindowVisible(panel_focus) && IsWindowEnabled(panel_focus)
                  ? panel_focus
                  : nullptr;
    // A page's own first control: the Variable page's name field, else the
    // first control the Tab key reaches.
    if (!to && control_page && control_tab == tab_variable) to = GetDlgItem(control_page, idv_name);
    if (!to && control_page) to = GetNextDlgTabItem(control_page, nullptr, FALSE);
    SetFocus(to ? to : control_wnd);
    if (to && to == GetDlgItem(control_page, idv_name)) SendMessage(to, EM_SETSEL, 0, -1);
}

void next_control_tab(int step) {
    if (!control_wnd) return;
    const int n = 5;
    select_tab(control_wnd, ((control_tab + step) % n + n) % n, true);
    panel_focus = nullptr;
    focus_panel();
}

bool panel_has_focus() {
    HWND f = GetFocus();
    return control_wnd && IsWindowVisible(control_wnd) && f &&
           (f == control_wnd || IsChild(control_wnd, f));
}

void control_panel(int show, int x, int y, int w, int h) {
    if (show == -1) {
        if (control_page) DestroyWindow(control_page);
        control_page = nullptr;
        if (control_wnd) destroy_modeless(&control_wnd);
        set_float_window(fw_control, nullptr);
        return;
    }
    if (!control_wnd) {
        HWND parent = container_wnd ? container_wnd : main_wnd;
        if (!create_modeless(dlg_control_panel, control_proc, parent, &control_wnd, 1)) return;
        add_dialog_filter(control_wnd, panel_key_filter, 1);
        set_float_window(fw_control, control_wnd);
    }
    if (x != -1) place_in_container(control_wnd, x, y, w, h, SWP_NOACTIVATE);
    if (!show) return;
    replace_panel(control_wnd);
    // The model or its runs may have changed while the panel was closed.
    fill_graph_list();
    refresh_datasets_page();
    refresh_loaded_runs_list();
    ShowWindow(control_wnd, SW_SHOW);
    if (!show_queue_open()) focus_panel(); // not while start-up restores it
    // Asked for, it comes forward over the build and output windows (a
    // diagram filling the container would hide it), then goes back under
    // the floating windows that stay above it.
    SetWindowPos(control_wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    place_in_container(control_wnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (!show_queue_open()) SetActiveWindow(control_wnd);
}

// Widens and heightens a button of the panel's bottom row to hold its text
// in the panel's font (never smaller than it is).
static void fit_button_text(HWND button, int extra_width) {
    if (!button) return;
    char text[64] = {};
    GetWindowText(button, text, sizeof text);
    HDC dc = GetDC(nullptr); // a control has no drawing surface of its own to measure on
    HFONT font = reinterpret_cast<HFONT>(SendMessage(button, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32(dc, text, static_cast<int>(std::strlen(text)), &size);
    if (old) SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    RECT r{};
    GetWindowRect(button, &r);
    const int w = std::max<int>(r.right - r.left, size.cx + extra_width);
    const int h = std::max<int>(r.bottom - r.top, size.cy + 6);
    SetWindowPos(button, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void control_panel_font_changed() {
    if (!control_wnd || !IsWindow(control_wnd)) return;
    refont_dialog(control_wnd);
    fit_button_text(GetDlgItem(control_wnd, idc_keep_on_top), 24); // the box and its gap
    fit_button_text(GetDlgItem(control_wnd, idc_close), 16);
    // The page is made again so that it measures itself in the new font;
    // the tabs and buttons take their places around it.
    select_tab(control_wnd, control_tab, false);
    layout_panel(control_wnd);
}

void select_tab(HWND panel, int index, bool set) {
    if (index < 0 || index > 4 || !panel) return;
    HWND tabs = tab_control(panel);
    control_tab = static_cast<std::uint8_t>(index);
    if (control_page) DestroyWindow(control_page);
    control_page = nullptr;
    if (set && tabs) SendMessage(tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    control_page = CreateDialogParam(hinst, MAKEINTRESOURCE(pages[index].dialog),
                                     tabs ? tabs : panel, pages[index].proc, 0);
    if (!control_page) return;
    measure_page(control_page);
    // The Variable page lays its controls out to any size: it never scrolls.
    if (index == tab_variable) page_content = 0;
    layout_panel(panel);
    update_page_scroll(control_page);
    ShowWindow(control_page, SW_SHOW);
}

INT_PTR control_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        HFONT font = fit_dialog(dialog, -1);
        CheckDlgButton(dialog, idc_keep_on_top,
                       (float_opts & fo_control_on_top) ? BST_CHECKED : BST_UNCHECKED);
        HWND tabs = CreateWindow(
            WC_TABCONTROL, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 2, 2, 10, 10, dialog,
            reinterpret_cast<HMENU>(static_cast<std::intptr_t>(idc_tabs)), hinst, nullptr);
        if (tabs && font) SendMessage(tabs, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        for (int i = 0; i < 5; ++i) {
            TCITEM item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<char*>(pages[i].name);
            SendMessage(tabs, TCM_INSERTITEM, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(&item));
        }
        CreateWindow(WC_SCROLLBAR, "", WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP, 0, 0, grip_size,
                     grip_size, dialog,
                     reinterpret_cast<HMENU>(static_cast<std::intptr_t>(idc_size_grip)), hinst,
                     nullptr);
        layout_panel(dialog);
        select_tab(dialog, control_tab, true);
        return TRUE;
    }
    case WM_SIZE:
        layout_panel(dialog);
        return TRUE;
    case WM_NOTIFY: {
        const auto* nm = reinterpret_cast<const NMHDR*>(lparam);
        if (nm && nm->code == TCN_SELCHANGE) {
            int i = static_cast<int>(SendMessage(nm->hwndFrom, TCM_GETCURSEL, 0, 0));
            if (i != control_tab) {
                select_tab(dialog, i, false);
                // The new page takes the keyboard unless the tabs have it.
                if (GetFocus() != nm->hwndFrom) {
                    panel_focus = nullptr;
                    focus_panel();
                }
            }
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case idc_keep_on_top:
            float_opts ^= fo_control_on_top;
            replace_panel(dialog);
            return TRUE;
        case idc_save:
            if (panel_save) panel_save();
            return TRUE;
        case IDOK:
            // Enter in a page reaches the panel (the page is a control of
            // it): the page decides what Enter does.
            if (control_page) SendMessage(control_page, WM_COMMAND, wparam, lparam);
            return TRUE;
        case idc_close:
        case IDCANCEL:
            close_panel(dialog);
            return TRUE;
        default:
            // So does Enter on a focused button of the page.
            if (control_page && lparam &&
                GetParent(reinterpret_cast<HWND>(lparam)) == control_page) {
                SendMessage(control_page, WM_COMMAND, wparam, lparam);
                return TRUE;
            }
            return FALSE;
        }
    case WM_CLOSE:
        close_panel(dialog);
        return TRUE;
    case WM_ACTIVATE:
    case WM_CHILDACTIVATE:
        if (control_page) SendMessage(control_page, message, wparam, lparam);
        return FALSE;
    case WM_DESTROY:
        control_page = nullptr;
        if (float_window(fw_control) == dialog) set_float_window(fw_control, nullptr);
        return FALSE;
    default:
        return FALSE;
    }
}

// ------------------------------------------------------------- time axis ---

void show_time_value(int control, double value) {
    HWND page = time_page();
    if (control == 0) {
        if (!model_rec) return;
        show_time_value(idt_start, model_rec->start);
        show_time_value(idt_end, model_rec->end);
        show_time_value(idt_special, model_rec->special);
        return;
    }
    if (!page) return;
    char text[64] = "";
    time_basis_label(value, nullptr, 0, text, sizeof text);
    bool was = writing_time;
    writing_time = true;
    SetDlgItemText(page, control, text);
    writing_time = was;
}

void set_time_base_var(symbol_id variable, int reset, int keep_list) {
    if (reset == -1) {
        time_refresh = true;
        return;
    }
    if (!model_rec) return;
    model_context& c = *model_rec;
    if (reset == 1 || (reset == 0 && c.time_base == 0)) {
        c.start = c.full_start;
        c.end = c.full_end;
        c.special = c.full_end;
    }
    if (variable == 0) variable = model_time_symbol();
    if (variable == 0) {
        report(10, "MODEL MISSING TIME");
        return;
    }
    c.time_base = variable;
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (g.ok() && valid_symbol(variable))
            c.time_base_name = ctx_set_text(&c, c.time_base_name, sym_name(variable));
    }
    HWND page = time_page();
    if (!page) return;
    if (!keep_list) {
        HWND combo = GetDlgItem(page, idt_base);
        SendMessage(combo, CB_RESETCONTENT, 0, 0);
        SendMessage(combo, CB_ADDSTRING, 0,
                    reinterpret_cast<LPARAM>(ctx_text(&c, c.time_base_name)));
        SendMessage(combo, CB_SETCURSEL, 0, 0);
    }
    show_time_value(0, 0);
}

void time_axis_scale(int snap) {
    if (!model_rec) return;
    model_context& c = *model_rec;
    clamp_times(c);
    double s = c.full_start, e = c.full_end;
    double d = scaler_step(c.arrow_step);
    scaler.ppu = scaler_ppu(scaler, s, e);
    scaler.steps = (e - s) / d;
    // A bar without room between its margins has no markers to place and
    // nothing to snap to.
    if (scaler.width != 0 && scaler_has_room(scaler)) {
        double p = scaler.ppu;
        scaler.start_x = static_cast<int>(std::trunc((c.start - s) * p)) + scaler.margin;
        scaler.end_x = scaler.width - static_cast<int>(std::trunc((e - c.end) * p)) - scaler.margin;
        scaler.special_x =
            scaler.width - static_cast<int>(std::trunc((e - c.special) * p)) - scaler.margin;
        if (snap) {
            c.start = scaler_snap(scaler, sm_start, scaler.start_x, s, e, d);
            c.end = scaler_snap(scaler, sm_end, scaler.end_x, s, e, d);
            if (c.end <= c.start) c.end = c.start + d;
            c.special = scaler_snap(scaler, sm_special, scaler.special_x, s, e, d);
        }
    }
    repaint_scaler();
    show_time_value(0, 0);
    set_time_base_var(c.time_base, 0, 0);
}

void apply_time_edit(HWND page, int id) {
    if (!model_rec || !page || applying_time) return;
    char text[32];
    GetDlgItemText(page, id, text, sizeof text);
    double t = decode_string(text);
    if (!time_allowed(id, t)) return;
    take_time(page, id, t);
}

void refresh_time_axis() {
    if (!model_rec) return;
    take_model_range(*model_rec);
    clamp_times(*model_rec);
    if (time_page()) time_axis_scale(0);
}

INT_PTR globals_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (page_scroll_message(dialog, message, wparam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        fit_dialog(dialog, -1);
        control_page = dialog;
        time_refresh = false;
        if (model_rec) {
            take_model_range(*model_rec);
            set_time_base_var(model_rec->time_base, 0, 0);
            time_axis_scale(0);
        }
        return TRUE;
    case WM_ACTIVATE:
    case WM_CHILDACTIVATE:
        if (time_refresh && model_rec) {
            time_refresh = false;
            InvalidateRect(GetDlgItem(dialog, idt_scaler), nullptr, TRUE);
            set_time_base_var(model_rec->time_base, 0, 0);
        }
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wparam), code = HIWORD(wparam);
        if (id == idt_scaler && code > scn_moved) {
            if (model_rec) {
                int edit = time_edit_of(code - scn_moved);
                show_time_value(edit, edit == idt_start ? model_rec->start
                                      : edit == idt_end ? model_rec->end
                                                        : model_rec->special);
            }
            return TRUE;
        }
        switch (id) {
        case idt_base:
            if (code == CBN_DROPDOWN) fill_time_bases(reinterpret_cast<HWND>(lparam));
            if (code == CBN_SELCHANGE) {
                HWND combo = reinterpret_cast<HWND>(lparam);
                LRESULT i = SendMessage(combo, CB_GETCURSEL, 0, 0);
                LRESULT v =
                    i < 0 ? 0 : SendMessage(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0);
                if (v > 0) set_time_base_var(static_cast<symbol_id>(v), 0, 1);
            }
            return TRUE;
        case idt_reset:
            if (model_rec) {
                model_rec->start = model_rec->full_start;
                model_rec->end = model_rec->full_end;
                model_rec->special = model_rec->full_end;
                time_axis_scale(0);
            }
            return TRUE;
        case idt_start:
        case idt_end:
        case idt_special:
            if (code == EN_CHANGE && !writing_time) apply_time_edit(dialog, id);
            if (code == EN_SETFOCUS && model_rec && !checking_time) {
                focus_edit = id;
                focus_time = time_of(id);
            }
            // Checked once the focus has settled: a box that loses the focus
            // because its page is going away shows no message.
            if (code == EN_KILLFOCUS && !checking_time)
                PostMessage(dialog, wm_check_time, static_cast<WPARAM>(id), 0);
            return TRUE;
        case idt_start_left:
        case idt_start_right:
        case idt_end_left:
        case idt_end_right:
        case idt_special_left:
        case idt_special_right:
            move_by_arrow(dialog, id);
            return TRUE;
        default:
            return FALSE;
        }
    }
    case wm_check_time:
        check_time_edit(dialog, static_cast<int>(wparam));
        return TRUE;
    case WM_DESTROY:
        if (control_page == dialog) control_page = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

// --------------------------------------------------------------- scaling ---

INT_PTR scaling_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (page_scroll_message(dialog, message, wparam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        fit_dialog(dialog, -1);
        show_scaling(dialog);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wparam), code = HIWORD(wparam);
        auto checked = [&](int c) { return IsDlgButtonChecked(dialog, c) == BST_CHECKED; };
        scaling_options& o = scaling_opts;
        switch (id) {
        case ids_hdiv:
        case ids_vdiv: {
            int& field = id == ids_hdiv ? o.h_divisions : o.v_divisions;
            if (code == CBN_SELCHANGE) {
                LRESULT i = SendDlgItemMessage(dialog, id, CB_GETCURSEL, 0, 0);
                if (i >= 0) field = static_cast<int>(i) + 1;
            } else if (code == CBN_KILLFOCUS) {
                int v = 0;
                if (read_divisions(dialog, id, &v))
                    field = v;
                else
                    refuse_divisions(dialog, id);
            }
            return TRUE;
        }
        case ids_line0:
            toggle_bit(o.extra_lines, xl_zero, checked(id));
            return TRUE;
        case ids_line1:
            toggle_bit(o.extra_lines, xl_one, checked(id));
            return TRUE;
        case ids_line_special:
            toggle_bit(o.extra_lines, xl_special, checked(id));
            return TRUE;
        case ids_raw:
        case ids_rounded:
            o.raw = checked(ids_raw) ? 1 : 0;
            return TRUE;
        case ids_include0:
            o.include_zero = checked(id) ? 1 : 0;
            return TRUE;
        case ids_colorize:
            o.colorize = checked(id) ? 1 : 0;
            return TRUE;
        case ids_freeze:
        case ids_no_change: {
            std::uint8_t bit = id == ids_freeze ? sw_freeze : sw_no_change;
            bool on = checked(id);
            // Freeze and No change on drag exclude each other.
            o.sweep = on ? bit : static_cast<std::uint8_t>(o.sweep & ~bit);
            int other = id == ids_freeze ? ids_no_change : ids_freeze;
            if (on) CheckDlgButton(dialog, other, BST_UNCHECKED);
            return TRUE;
        }
        case ids_buffer: {
            char text[32];
            GetDlgItemText(dialog, ids_buffer, text, sizeof text);
            float v = 0;
            if (code == EN_CHANGE && parse_number(text, &v, 0) && std::isfinite(v))
                o.buffer_mult = v < 1.0f ? 1.0f : v;
            if (code == EN_KILLFOCUS) show_buffer_mult(dialog);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}
