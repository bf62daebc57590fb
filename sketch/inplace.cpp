// The in-place number entry on the diagram in Simulation Setup: opening it
// below a constant, following the view, and storing or dropping the number.
#include "sketch/inplace.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/report.h"
#include "graphs/lookupdlg.h"
#include "model/model.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "shell/simdlg.h"
#include "shell/state.h"
#include "shell/varselect.h"
#include "sim/control.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/geometry.h"

namespace {

struct entry {
    HWND view = nullptr;
    HWND edit = nullptr;
    WNDPROC base = nullptr;
    HFONT font = nullptr;
    int slot = -1;
    int element = 0;
    bool open = false;
};
entry current;

LRESULT edit_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    WNDPROC base = current.base;
    if (m == WM_KEYDOWN && w == current.edit) {
        if (wp == VK_RETURN) {
            end_inplace_edit(current.view, 0);
            return 0;
        }
        if (wp == VK_ESCAPE) {
            end_inplace_edit(current.view, 2);
            return 0;
        }
    }
    if (m == WM_CHAR && (wp == '\r' || wp == 27)) return 0;
    return base ? CallWindowProc(base, w, m, wp, lp) : DefWindowProc(w, m, wp, lp);
}

HWND make_edit(HWND view) {
    if (current.view == view && current.edit && IsWindow(current.edit)) return current.edit;
    HWND edit = CreateWindow("Edit", "", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 80, 20, view,
                             nullptr, hinst, nullptr);
    if (!edit) return nullptr;
    if (current.font) DeleteObject(current.font);
    current = entry{};
    current.view = view;
    current.edit = edit;
    current.base = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(edit_proc)));
    return edit;
}

// Puts the entry below its variable, kept inside the client.
void place_entry(HWND view, const sketch_state& s) {
    if (!current.edit || current.element <= 0 || current.element >= s.view.count()) return;
    const sketch_elem& e = s.view.elems[static_cast<std::size_t>(current.element)];
    RECT rc;
    GetClientRect(view, &rc);
    RECT wr;
    GetWindowRect(current.edit, &wr);
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    int x = unit_to_pixel(e.x, s.zoom, s.scroll_x) - width / 2;
    int y = unit_to_pixel(e.y + e.h, s.zoom, s.scroll_y);
    x = std::max(0, std::min(x, static_cast<int>(rc.right) - width));
    y = std::max(0, std::min(y, static_cast<int>(rc.bottom) - height));
    MoveWindow(current.edit, x, y, width, height, TRUE);
}

} // namespace

void follow_inplace_edit(HWND view, const sketch_state& s) {
    if (inplace_edit_open(view)) place_entry(view, s);
}

bool parse_entry_number(const std::string& text, double* value) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v) || (errno == ERANGE && std::fabs(v) > 1)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    // Stored as a 32-bit float: beyond its range it would become infinite.
    if (std::fabs(v) > 3.4028234663852886e38) return false;
    *value = v;
    return true;
}

bool sketch_in_setup() {
    return sim_phase == phase_setup || sim_phase == phase_livesweep_ready || game_state != 0;
}

int sketch_setup_click(HWND view, sketch_state& s, int n) {
    if (n <= 0 || n >= s.view.count() || s.symbols != cur_model_symbols) return 0;
    const sketch_elem& e = s.view.elems[static_cast<std::size_t>(n)];
    if (e.kind != ek_variable || !e.payload) return 0;
    // While Livesweep runs the sliders change values; a click only chooses.
    if (livesweep_state == ls_on) return -1;
    int type = 0, slot = -1;
    bool scalar = false;
    std::string name;
    const std::uint32_t symbol = e.payload;
    {
        model_lock_guard lock(s.symbols, 0);
        if (!lock.ok() || !valid_symbol(e.payload)) return 0;
        const symbol_record* r = sym(e.payload);
        type = r->type;
        slot = r->slot;
        scalar = r->dims == scalar_dims;
        name = sym_name(e.payload);
    }
    // A lookup opens the lookup editor (a subscripted one the Lookup Changes
    // dialog), then becomes the workbench variable. A game changes no
    // lookups.
    if (type == st_lookup && !game_state) {
        if (scalar)
            edit_lookup(name.c_str());
        else
            lookup_changes_dialog(symbol);
        if (s.symbols == cur_model_symbols)
            select_var_text(name.c_str(), 0, static_cast<int>(name.size()));
        return 1;
    }
    const bool wanted = game_state ? type == st_game : type == st_constant;
    if (!wanted || slot < 0) return 0;
    if (!scalar) return constant_changes_dialog(e.payload) ? 2 : 0;
    // The copy the entry writes into: made now when missing (a game may not
    // have one yet); without it there is nothing to edit.
    if (!ensure_setup_copy(0) || !setup_copy) return 0;
    setup_state* st = setup_copies();
    if (!st || static_cast<std::size_t>(slot) >= st->changed.size()) return 0;
    float value = 0;
    {
        handle_lock<float> values(setup_copy);
        if (!values) return 0;
        value = values.get()[slot];
    }
    open_inplace_edit(view, s, n, value, slot);
    return 1;
}

void open_inplace_edit(HWND view, const sketch_state& s, int n, float value, int slot) {
    HWND edit = make_edit(view);
    if (!edit) return;
    RECT rc;
    GetClientRect(view, &rc);
    // The diagram's own text size at its zoom, so the entry reads like the
    // name above it. A font left from an entry that never ended is a fault
    // of this code.
    if (current.font) {
        report(10, "SWW1223");
        DeleteObject(current.font);
        current.font = nullptr;
    }
    current.font =
        CreateFont(-std::max(8, 11 * s.zoom / 100), 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Sans");
    if (current.font) SendMessage(edit, WM_SETFONT, reinterpret_cast<WPARAM>(current.font), TRUE);
    HDC dc = GetDC(edit);
    HGDIOBJ old = current.font ? SelectObject(dc, current.font) : nullptr;
    SIZE m{};
    GetTextExtentPoint32(dc, "M", 1, &m);
    TEXTMETRIC tm{};
    GetTextMetrics(dc, &tm);
    if (old) SelectObject(dc, old);
    ReleaseDC(edit, dc);
    if (tm.tmHeight <= 0) tm.tmHeight = std::max(8, 11 * s.zoom / 100);
    const int width = std::min<int>(10 * std::max<int>(m.cx, 6), rc.right);
    const int height =
        std::min<int>(tm.tmHeight + 2 * GetSystemMetrics(SM_CYBORDER) + 7, rc.bottom);
    char text[40];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    MoveWindow(edit, 0, 0, width, height, FALSE);
    current.element = n;
    place_entry(view, s);
    SetWindowText(edit, text);
    ShowWindow(edit, SW_SHOW);
    SendMessage(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    current.slot = slot;
    current.open = true;
}

bool inplace_edit_open(HWND view) {
    return current.open && current.view == view;
}

bool end_inplace_edit(HWND view, int mode) {
    if (!inplace_edit_open(view)) return true;
    if (mode <= 1) {
        char text[41] = {};
        GetWindowText(current.edit, text, sizeof text);
        double v = 0;
        if (!parse_entry_number(text, &v)) {
            report(8, "Bad number %s", text);
            SetFocus(current.edit);
            return false;
        }
        if (!ensure_setup_copy(0) || !set_setup_value(current.slot, static_cast<float>(v))) {
            SetFocus(current.edit);
            return false;
        }
    }
    current.open = false;
    ShowWindow(current.edit, SW_HIDE);
    // The entry's font lives while it is shown.
    if (current.font) {
        SendMessage(current.edit, WM_SETFONT, 0, FALSE);
        DeleteObject(current.font);
        current.font = nullptr;
    }
    if (IsWindow(view)) {
        SetFocus(view);
        InvalidateRect(view, nullptr, FALSE);
    }
    return true;
}

void inplace_value_changed(int slot, float value) {
    if (!current.open || current.slot != slot || !current.edit || !IsWindow(current.edit)) return;
    char text[40];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    SetWindowText(current.edit, text);
    SendMessage(current.edit, EM_SETSEL, 0, -1);
}

HWND inplace_edit_window(HWND view) {
    return current.view == view ? current.edit : nullptr;
}

void forget_inplace_edit(HWND view) {
    if (current.view != view) return;
    if (current.font) DeleteObject(current.font);
    current = entry{};
}
