// The sketch view's mouse: selecting, rubber band, panning, zooming, hover
// tips, double clicks that graph a variable, and following links.
#include "sketch/mouse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/package.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "graphs/lookupdlg.h"
#include "model/context.h"
#include "model/model.h"
#include "model/units.h"
#include "model/varnames.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "platform/shellexec.h"
#include "resources/menus.h"
#include "runs/cache.h"
#include "shell/bottombar.h"
#include "shell/controls/tooltip.h"
#include "shell/menucmd.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/state.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/toolset.h"
#include "shell/varselect.h"
#include "sim/changes.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/fontbar.h"
#include "sketch/geometry.h"
#include "sketch/inplace.h"
#include "sketch/ioobjects.h"
#include "sketch/keys.h"
#include "sketch/moves.h"
#include "sketch/overrides.h"
#include "sketch/sliders.h"
#include "sketch/viewnav.h"

namespace {

// The one drag: only one view can hold the mouse capture.
enum : int {
    dm_none = 0,
    dm_left = 1,
    dm_right = 2, // right press, or Ctrl with the left
    dm_shift = 3, // Shift with a right or Ctrl press
    dm_zoom = 8,
    dm_pan = 9,
};

struct drag_state {
    int mode = dm_none;
    HWND view = nullptr;
    int press_x = 0, press_y = 0; // sketch units at the press; pixels once panning or zooming
    bool passed = false;          // the pointer has left the threshold
    bool on_element = false;      // the press hit an element
    int start_zoom = 100;
    int start_scroll_x = 0, start_scroll_y = 0;
    int dirs = 0; // autoscroll: 1 left, 2 right, 4 up, 8 down
    bool timer = false;
    POINT last{};          // the pointer (pixels) at the last move
    bool in_band = false;  // the press was inside the selection's box
    bool moving = false;   // and a drag moves the selection
    int pressed = 0;       // the element pressed (0: empty space)
    selection_move move{}; // what a moving drag takes along
};
drag_state drag;

int elem_count(const sketch_state& s) {
    return s.view.count();
}
sketch_elem& elem(sketch_state& s, int n) {
    return s.view.elems[static_cast<std::size_t>(n)];
}
const sketch_elem& elem(const sketch_state& s, int n) {
    return s.view.elems[static_cast<std::size_t>(n)];
}

bool shown(const sketch_state& s, const sketch_elem& e) {
    return !e.hidden() && e.level_value() <= s.shown_level;
}

void stop_timer() {
    if (drag.timer && drag.view && IsWindow(drag.view)) KillTimer(drag.view, autoscroll_timer);
    drag.timer = false;
    drag.dirs = 0;
}

// Forgets the drag before the capture goes, so the capture-change message
// does not take it for a drag cut short.
void end_drag() {
    stop_timer();
    HWND view = drag.view;
    const bool moving = drag.moving;
    selection_move move = std::move(drag.move);
    drag = drag_state{};
    if (view && IsWindow(view))
        if (sketch_state* s = sketch_of(view)) {
            if (moving) {
                cancel_selection_move(*s, move);
                InvalidateRect(view, nullptr, FALSE);
            }
            show_element_position(view, *s, 0, false);
        }
    if (view && GetCapture() == view) ReleaseCapture();
}

POINT point_of(LPARAM lp) {
    return POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
}

int unit_x(const sketch_state& s, int px) {
    return pixel_to_unit(px, s.zoom, s.scroll_x);
}
int unit_y(const sketch_state& s, int py) {
    return pixel_to_unit(py, s.zoom, s.scroll_y);
}

// The band in sketch units as a normalised rectangle.
RECT band_rect(const sketch_state& s) {
    return RECT{std::min(s.band_x0, s.band_x1), std::min(s.band_y0, s.band_y1),
                std::max(s.band_x0, s.band_x1), std::max(s.band_y0, s.band_y1)};
}

// The Graph tool of the palette (its current row first), 0 when none.
handle graph_tool() {
    const int row = find_tool_row("Graph");
    if (row < 0 || !palette_cells.cells) return 0;
    const int type = analysis_tool_table[row].type;
    handle found = 0;
    for (int pass = 0; pass < 2 && !found; ++pass)
        for (int r = 0; r < palette_cells.rows && !found; ++r) {
            if ((pass == 0) != (r == palette_cells.cur_row)) continue;
            for (int c = 0; c < palette_cells.cols && !found; ++c) {
                handle t = grid_tool(palette_cells, r, c);
                tool_record* rec = t ? lock_tool(t) : nullptr;
                if (!rec) continue;
                if (rec->type == type) found = t;
                unlock_tool(t);
            }
        }
    return found;
}

// The name of element n's variable when it is a lookup, else "".
std::string lookup_name(const sketch_state& s, int n) {
    const sketch_elem& e = elem(s, n);
    if (e.kind != ek_variable || !e.payload || !s.symbols) return {};
    model_lock_guard lock(s.symbols, 0);
    if (!lock.ok() || !valid_symbol(e.payload)) return {};
    const symbol_record* r = sym(e.payload);
    if (!r || r->type != st_lookup) return {};
    return sym_name(e.payload);
}

// A folder only this user can read, made once, for package members a link
// opens (never beside the package, where another user might swap them).
std::string link_dir;

const std::string& private_link_dir() {
    std::string& dir = link_dir;
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavrel-links-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data())) dir = buf.data();
    }
    return dir;
}

// What a file link opens: a web address as it is; a member of the open
// package written into the private folder; else the file, relative to the
// model's folder. "" when a member cannot be written.
std::string link_target(const std::string& named) {
    if (named.find("://") != std::string::npos) return named;
    if (package_open()) {
        const int member = package_find(named.c_str());
        if (member >= 0) {
            auto data = package_member_data(member);
            const std::string& dir = private_link_dir();
            if (!data || dir.empty()) return {};
            std::string base = package_member_name(member);
            const std::size_t slash = base.find_last_of("/\\");
            if (slash != std::string::npos) base = base.substr(slash + 1);
            const std::string path = dir + "/" + base;
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) {
                report(8, "Unable to open %s", path.c_str());
                return {};
            }
            const bool ok = std::fwrite(data->data(), 1, data->size(), f) == data->size();
            if (std::fclose(f) != 0 || !ok) {
                report(8, "Unable to open %s", path.c_str());
                return {};
            }
            return path;
        }
    }
    if (!named.empty() && named[0] != '/') {
        const char* dir = current_model_dir();
        if (dir && *dir) {
            std::string d = dir;
            if (d.back() != '/') d += '/';
            return d + named;
        }
    }
    return named;
}

// A press: arms the drag, or toggles with Shift while a selection is active,
// or follows a link.
void button_down(HWND view, sketch_state& s, bool right, WPARAM keys, POINT p) {
    if (inplace_edit_open(view) && !end_inplace_edit(view, 0)) return;
    hide_tooltip(0);
    SetFocus(view);
    const int ux = unit_x(s, p.x), uy = unit_y(s, p.y);
    const bool ctrl = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
    const bool plain = !ctrl && !right;
    if (s.selection) {
        if (plain && shift) {
            if (hit_test(s, 0, ux, uy, true) == 1 && elem(s, s.hover).kind >= ek_variable) {
                const int n = s.hover;
                const bool on = !(elem(s, n).runtime & ef_selected);
                set_selected(s, n, on);
                s.last_selected = static_cast<std::uint16_t>(on ? n : 0);
                bool any = false;
                for (int i = 1; i < elem_count(s) && !any; ++i)
                    any = (elem(s, i).runtime & ef_selected) != 0;
                if (!any) s.selection = 0;
                s.band_shown = false;
                InvalidateRect(view, nullptr, FALSE);
            }
            s.hover = 0;
            return;
        }
        // A plain press inside the selection's box starts moving it.
        int l, t, r, b;
        if (plain && selected_box(s, &l, &t, &r, &b) && ux >= l && ux <= r && uy >= t && uy <= b) {
            end_drag();
            SetCapture(view);
            drag.view = view;
            drag.mode = dm_left;
            drag.press_x = s.press_x = ux;
            drag.press_y = s.press_y = uy;
            drag.last = p;
            drag.in_band = true;
            drag.moving = begin_selection_move(s, &drag.move);
            drag.pressed = hit_test(s, 0, ux, uy, true) == 1 ? s.hover : 0;
            drag.on_element = drag.pressed != 0;
            if (drag.pressed) show_element_position(view, s, drag.pressed, true);
            return;
        }
        clear_selection(s);
        InvalidateRect(view, nullptr, FALSE);
    }
    end_drag();
    SetCapture(view);
    drag.view = view;
    drag.mode = (!plain && shift) ? dm_shift : plain ? dm_left : dm_right;
    drag.press_x = s.press_x = ux;
    drag.press_y = s.press_y = uy;
    drag.passed = false;
    drag.last = p;
    const int hit = hit_test(s, drag.mode == dm_left ? 1 : 0, ux, uy, true);
    drag.on_element = hit != 0;
    if (hit) {
        if (drag.mode == dm_left && follow_element_link(view, s, s.hover)) {
            end_drag();
            s.hover = 0;
            return;
        }
        drag.pressed = s.hover;
        show_element_position(view, s, s.hover, true);
        return;
    }
    // On empty space: a left press may become a band; right and Shift drags
    // may pan or zoom; anything else ends here.
    if (drag.mode == dm_left && (s.mode == 0 || s.mode == 24)) return;
    if (drag.mode != dm_right && drag.mode != dm_shift) end_drag();
}

void update_autoscroll(HWND view, POINT p) {
    RECT rc;
    GetClientRect(view, &rc);
    int dirs = 0;
    if (p.x < 0) dirs |= 1;
    if (p.x >= rc.right) dirs |= 2;
    if (p.y < 0) dirs |= 4;
    if (p.y >= rc.bottom) dirs |= 8;
    drag.dirs = dirs;
    if (dirs && !drag.timer) {
        SetTimer(view, autoscroll_timer, autoscroll_ms, nullptr);
        drag.timer = true;
    }
}

// A moving drag: the selection follows the pointer's travel from the press;
// the readout shows where the pressed element is now.
void move_to_pointer(HWND view, sketch_state& s) {
    const int dx = unit_x(s, drag.last.x) - drag.press_x;
    const int dy = unit_y(s, drag.last.y) - drag.press_y;
    if (dx == drag.move.dx && dy == drag.move.dy) return;
    apply_selection_move(s, drag.move, dx, dy);
    if (drag.pressed) show_element_position(view, s, drag.pressed, true);
    InvalidateRect(view, nullptr, FALSE);
}

void mouse_move(HWND view, sketch_state& s, WPARAM keys, POINT p) {
    (void)keys;
    drag.last = p;
    if (drag.mode == dm_none) {
        // Hover: arm the tip for a variable (or any element) under the pointer.
        RECT rc;
        GetClientRect(view, &rc);
        int item = 0;
        if (PtInRect(&rc, p) && hit_test(s, 2, unit_x(s, p.x), unit_y(s, p.y), true) == 1)
            item = s.hover;
        s.hover = 0;
        track_tooltip(view, item, 0);
        return;
    }
    if (drag.view != view) return;
    if (drag.mode == dm_zoom) {
        const int zoom = std::clamp(drag.start_zoom + 10 * ((drag.press_y - p.y) / 10), 10, 500);
        if (zoom != s.zoom) {
            // The point pressed stays under the press position.
            const long ux =
                (static_cast<long>(drag.press_x) + drag.start_scroll_x) * 100 / drag.start_zoom;
            const long uy =
                (static_cast<long>(drag.press_y) + drag.start_scroll_y) * 100 / drag.start_zoom;
            set_sketch_zoom(view, zoom);
            scroll_sketch_to(view, static_cast<int>(ux * zoom / 100 - drag.press_x),
                             static_cast<int>(uy * zoom / 100 - drag.press_y));
        }
        return;
    }
    if (drag.mode == dm_pan) {
        scroll_sketch_to(view, drag.start_scroll_x - p.x + drag.press_x,
                         drag.start_scroll_y - p.y + drag.press_y);
        return;
    }
    const int ux = unit_x(s, p.x), uy = unit_y(s, p.y);
    if (drag.in_band) {
        if (!drag.moving) return;
        if (!drag.passed && std::abs(ux - drag.press_x) < drag_threshold &&
            std::abs(uy - drag.press_y) < drag_threshold)
            return;
        drag.passed = true;
        update_autoscroll(view, p);
        move_to_pointer(view, s);
        return;
    }
    if (!drag.passed) {
        if (std::abs(ux - drag.press_x) < drag_threshold &&
            std::abs(uy - drag.press_y) < drag_threshold)
            return;
        if (drag.mode == dm_right || drag.mode == dm_shift) {
            drag.press_x = unit_to_pixel(drag.press_x, s.zoom, s.scroll_x);
            drag.press_y = unit_to_pixel(drag.press_y, s.zoom, s.scroll_y);
            drag.start_scroll_x = s.scroll_x;
            drag.start_scroll_y = s.scroll_y;
            drag.start_zoom = s.zoom;
            drag.mode = drag.mode == dm_right ? dm_pan : dm_zoom;
            drag.passed = true;
            s.hover = 0;
            show_element_position(view, s, drag.pressed, false);
            mouse_move(view, s, keys, p);
            return;
        }
        if (drag.on_element) {
            // A left drag from an element: nothing while the pointer stays on
            // it (moving elements belongs to the layout tools).
            const sketch_elem& e = elem(s, s.hover);
            if (s.hover && ux >= e.x - e.w && ux <= e.x + e.w && uy >= e.y - e.h && uy <= e.y + e.h)
                return;
            s.hover = 0;
            show_element_position(view, s, drag.pressed, false);
            end_drag();
            return;
        }
        if (s.mode != 0 && s.mode != 24) {
            end_drag();
            return;
        }
        drag.passed = true;
        s.band_shown = true;
        s.band_x0 = s.band_x1 = drag.press_x;
        s.band_y0 = s.band_y1 = drag.press_y;
    }
    if (s.band_shown) {
        update_autoscroll(view, p);
        s.band_x1 = ux;
        s.band_y1 = uy;
        InvalidateRect(view, nullptr, FALSE);
    }
}

// One autoscroll tick: a line in each direction the pointer left the view,
// the band's corner following the pointer.
void autoscroll_tick(HWND view, sketch_state& s) {
    if (!drag.dirs || drag.view != view) {
        KillTimer(view, autoscroll_timer);
        drag.timer = false;
        return;
    }
    constexpr int line = 16;
    int x = s.scroll_x, y = s.scroll_y;
    if (drag.dirs & 1) x -= line;
    if (drag.dirs & 2) x += line;
    if (drag.dirs & 4) y -= line;
    if (drag.dirs & 8) y += line;
    scroll_sketch_to(view, x, y);
    if (drag.moving && drag.passed) move_to_pointer(view, s);
    if (s.band_shown) {
        s.band_x1 = unit_x(s, drag.last.x);
        s.band_y1 = unit_y(s, drag.last.y);
        InvalidateRect(view, nullptr, FALSE);
    }
}

void button_up(HWND view, sketch_state& s, bool right, WPARAM keys) {
    const int mode = drag.mode;
    const bool passed = drag.passed;
    const bool in_band = drag.in_band;
    const int pressed = drag.pressed;
    selection_move move = std::move(drag.move);
    stop_timer();
    drag = drag_state{};
    if (GetCapture() == view) ReleaseCapture();
    show_element_position(view, s, 0, false);
    if (mode == dm_none) return;
    const bool plain = !right && !(keys & MK_CONTROL);
    // Inside the selection's box: a drag moved it; a click selects what the
    // box merely covers, or in set-up acts on the element like any click.
    if (in_band && (passed || !sketch_in_setup())) {
        if (passed) {
            if (finish_selection_move(s, move)) sketch_layout_changed(view);
        } else if (pressed && !(elem(s, pressed).runtime & ef_selected) &&
                   elem(s, pressed).kind >= ek_variable) {
            // A click on an element the selection's box merely covers
            // selects that element instead.
            clear_selection(s);
            set_selected(s, pressed, true);
            s.last_selected = static_cast<std::uint16_t>(pressed);
            make_workbench_variable(s, pressed);
            s.selection = 2;
            show_element_font(s, GetParent(view), pressed);
        } else if (pressed && elem(s, pressed).kind >= ek_variable) {
            // A click on an element already selected chooses it again: the
            // workbench variable may have been chosen elsewhere since.
            s.last_selected = static_cast<std::uint16_t>(pressed);
            make_workbench_variable(s, pressed);
        }
        s.hover = 0;
        InvalidateRect(view, nullptr, FALSE);
        return;
    }
    if (s.band_shown) {
        const RECT b = band_rect(s);
        s.band_shown = false;
        s.selection = select_elements(s, b.left, b.top, b.right, b.bottom) ? 1 : 0;
        InvalidateRect(view, nullptr, FALSE);
        return;
    }
    if (mode == dm_pan || mode == dm_zoom) return;
    const int n = s.hover;
    const bool on_element = n > 0 && n < elem_count(s) && elem(s, n).kind >= ek_variable;
    if (plain && !passed && (s.mode == 0 || s.mode == 24) && !sketch_in_setup()) {
        if (!on_element || s.grab) return;
        set_selected(s, n, true);
        s.last_selected = static_cast<std::uint16_t>(n);
        make_workbench_variable(s, n);
        s.hover = 0;
        s.selection = 2;
        show_element_font(s, GetParent(view), n);
        InvalidateRect(view, nullptr, FALSE);
        return;
    }
    if (on_element) {
        // Set-up: a click on a variable edits its value in place.
        if (sketch_in_setup() && plain && sketch_setup_click(view, s, n) <= 0)
            make_workbench_variable(s, n); // no editor opened: it is chosen instead
        s.hover = 0;
        return;
    }
    // A right or Ctrl click on empty space asks the window for its context
    // actions. Any other release (a press that never became a drag, in a
    // state no tool claims) is ignored: it is the user's input, not a
    // program fault.
    if (mode == dm_right || mode == dm_shift)
        PostMessage(GetParent(view), WM_COMMAND, skc_context, 0);
}

void double_click(HWND view, sketch_state& s, WPARAM keys, POINT p) {
    if (drag.mode == dm_none && !s.band_shown) {
        if (hit_test(s, 0, s.press_x, s.press_y, true) == 1) {
            // A flow's valve stands for its flow.
            const int n = pair_variable(s.view, s.hover);
            const sketch_elem& e = elem(s, n);
            if (e.kind == ek_variable) {
                s.hover = 0;
                // A lookup opens its editor; another variable is graphed.
                const std::string lookup = lookup_name(s, n);
                if (make_workbench_variable(s, n)) {
                    if (!lookup.empty())
                        edit_lookup(lookup.c_str());
                    else if (handle tool = graph_tool())
                        run_palette_tool(tool);
                }
                return;
            }
            if (e.kind == ek_text || e.kind == ek_bitmap || e.kind == ek_metafile) {
                follow_element_link(view, s, n);
                s.hover = 0;
                return;
            }
        }
        s.hover = 0;
    }
    if (drag.mode == dm_none) button_down(view, s, false, keys & MK_SHIFT, p);
}

} // namespace

bool sketch_mouse_message(HWND view, sketch_state& s, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_SETCURSOR: {
        // A hand over what a click follows, the four arrows while panning.
        if (LOWORD(lp) != HTCLIENT) return false;
        const char* shape = IDC_ARROW;
        if (drag.mode == dm_pan && drag.view == view) {
            shape = IDC_SIZEALL;
        } else if (drag.mode == dm_none) {
            POINT p{};
            GetCursorPos(&p);
            ScreenToClient(view, &p);
            const std::uint16_t kept = s.hover;
            if (hit_test(s, 2, unit_x(s, p.x), unit_y(s, p.y), true) == 1) {
                const sketch_elem& e = elem(s, s.hover);
                if (e.link_lo || e.link_hi) shape = IDC_HAND;
            }
            s.hover = kept;
        }
        SetCursor(LoadCursor(nullptr, shape));
        return true;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        button_down(view, s, m == WM_RBUTTONDOWN, wp, point_of(lp));
        return true;
    case WM_MOUSEMOVE:
        mouse_move(view, s, wp, point_of(lp));
        return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (drag.view == view || drag.mode == dm_none) button_up(view, s, m == WM_RBUTTONUP, wp);
        return true;
    case WM_LBUTTONDBLCLK:
        double_click(view, s, wp, point_of(lp));
        return true;
    case WM_TIMER:
        if (wp != autoscroll_timer) return false;
        autoscroll_tick(view, s);
        return true;
    case WM_CAPTURECHANGED:
        if (drag.view == view && reinterpret_cast<HWND>(lp) != view) {
            stop_timer();
            if (drag.moving) cancel_selection_move(s, drag.move);
            drag = drag_state{};
            show_element_position(view, s, 0, false);
            s.band_shown = false;
            InvalidateRect(view, nullptr, FALSE);
        }
        return false;
    default:
        return false;
    }
}

void cancel_sketch_drag() {
    end_drag();
}

bool show_element_position(HWND view, sketch_state& s, int n, bool on) {
    const bool element = n > 0 && n < elem_count(s) && elem(s, n).kind >= ek_variable;
    const std::uint16_t was = s.readout;
    s.readout = static_cast<std::uint16_t>(on && element ? n : 0);
    std::string text;
    if (s.readout) {
        const sketch_elem& e = elem(s, n);
        text = std::to_string(e.x - e.w) + "," + std::to_string(e.y - e.h);
    }
    // The bar reads out only for the diagram it belongs to.
    HWND frame = view ? GetParent(view) : nullptr;
    if (frame && frame == build_wnd && active_kind == kind_build)
        set_bottom_item_text(bi_status, text.c_str());
    if (view && was != s.readout) InvalidateRect(view, nullptr, FALSE);
    return element;
}

void clear_selection(sketch_state& s) {
    for (auto& e : s.view.elems) e.runtime &= static_cast<std::uint8_t>(~ef_selected);
    s.selection = 0;
    s.band_shown = false;
    s.hover = 0;
    s.last_selected = 0;
    if (s.bar_element_font) {
        // The bar showed the selected element's font: the view's again.
        s.bar_element_font = false;
        HWND view = current_sketch_view();
        if (view && sketch_of(view) == &s) show_sketch_bar(s, GetParent(view));
    }
}

void set_selected(sketch_state& s, int n, bool on) {
    auto apply = [&](int i) {
        sketch_elem& e = elem(s, i);
        if (on)
            e.runtime |= ef_selected;
        else
            e.runtime &= static_cast<std::uint8_t>(~ef_selected);
    };
    if (n <= 0 || n >= elem_count(s)) return;
    apply(n);
    // A valve pair is one thing to the user: the valve before its flow
    // variable and the variable after its valve go together.
    const sketch_elem& e = elem(s, n);
    if (e.is_valve_pair() && n + 1 < elem_count(s)) apply(n + 1);
    if (e.kind == ek_variable && (e.shape & shape_pair) && n > 1 && elem(s, n - 1).is_valve_pair())
        apply(n - 1);
}

int select_elements(sketch_state& s, int x0, int y0, int x1, int y1) {
    const int l = std::min(x0, x1), r = std::max(x0, x1), t = std::min(y0, y1),
              b = std::max(y0, y1);
    int count = 0;
    for (int i = 1; i < elem_count(s); ++i) {
        sketch_elem& e = elem(s, i);
        if (e.kind != ek_connector && e.kind < ek_variable) continue;
        if (!shown(s, e)) continue;
        bool in;
        if (e.kind == ek_connector)
            in = e.arrow_x >= l && e.arrow_x <= r && e.arrow_y >= t && e.arrow_y <= b;
        else
            in = e.x + e.w >= l && e.x - e.w <= r && e.y + e.h >= t && e.y - e.h <= b;
        if (in) {
            e.runtime |= ef_selected;
            ++count;
        }
    }
    return count;
}

void paint_selection(HDC dc, const sketch_state& s) {
    // The element whose position the bar reads out is shown pressed.
    if (s.readout > 0 && s.readout < elem_count(s)) {
        const sketch_elem& e = elem(s, s.readout);
        if (e.kind >= ek_variable && shown(s, e) && !(s.selection && (e.runtime & ef_selected))) {
            RECT r{unit_to_pixel(e.x - e.w, s.zoom, s.scroll_x),
                   unit_to_pixel(e.y - e.h, s.zoom, s.scroll_y),
                   unit_to_pixel(e.x + e.w, s.zoom, s.scroll_x) + 1,
                   unit_to_pixel(e.y + e.h, s.zoom, s.scroll_y) + 1};
            InvertRect(dc, &r);
        }
    }
    if (s.selection) {
        for (int i = 1; i < elem_count(s); ++i) {
            const sketch_elem& e = elem(s, i);
            if (!(e.runtime & ef_selected) || !shown(s, e)) continue;
            RECT r;
            if (e.kind == ek_connector) {
                const int x = unit_to_pixel(static_cast<int>(e.arrow_x), s.zoom, s.scroll_x);
                const int y = unit_to_pixel(static_cast<int>(e.arrow_y), s.zoom, s.scroll_y);
                r = RECT{x - 3, y - 3, x + 3, y + 3};
            } else if (e.kind >= ek_variable) {
                r = RECT{unit_to_pixel(e.x - e.w, s.zoom, s.scroll_x),
                         unit_to_pixel(e.y - e.h, s.zoom, s.scroll_y),
                         unit_to_pixel(e.x + e.w, s.zoom, s.scroll_x) + 1,
                         unit_to_pixel(e.y + e.h, s.zoom, s.scroll_y) + 1};
            } else {
                continue;
            }
            InvertRect(dc, &r);
        }
    }
    if (s.band_shown) {
        const RECT b = band_rect(s);
        RECT r{unit_to_pixel(b.left, s.zoom, s.scroll_x), unit_to_pixel(b.top, s.zoom, s.scroll_y),
               unit_to_pixel(b.right, s.zoom, s.scroll_x) + 1,
               unit_to_pixel(b.bottom, s.zoom, s.scroll_y) + 1};
        DrawFocusRect(dc, &r);
    }
}

// The Livesweep working copy's value at a slot (NA when there is none).
static float working_copy_value(std::int32_t slot) {
    if (slot < 0 || !setup_copy || static_cast<std::uint32_t>(slot) >= handle_size(setup_copy) / 4)
        return NA;
    handle_lock<float> v(setup_copy);
    return v ? v.get()[slot] : NA;
}

std::string hover_text(const sketch_state& s, int n, std::int32_t* graph_slot) {
    if (graph_slot) *graph_slot = -1;
    if (n <= 0 || n >= elem_count(s) || !s.symbols) return {};
    // A flow's valve tells about the flow.
    if (elem(s, n).is_valve_pair()) n = pair_variable(s.view, n);
    if (n <= 0 || n >= elem_count(s)) return {};
    const sketch_elem& e = elem(s, n);
    if (e.kind != ek_variable || !e.payload) return {};
    std::string units, comment, subscript;
    std::int32_t slot = -1;
    bool scalar = false;
    float element_value = NA;
    bool element_shown = false;
    const bool live = livesweep_state == ls_on && s.symbols == cur_model_symbols;
    {
        model_lock_guard lock(s.symbols, 0);
        if (!lock.ok() || !valid_symbol(e.payload)) return {};
        const symbol_record* sym = ::sym(e.payload);
        if (!sym) return {};
        slot = sym->slot;
        scalar = sym->dims == scalar_dims && sym->type <= st_last_with_slots;
        if (live) {
            // In Livesweep: what an override holds, and a variable's
            // series, show as a behaviour graph; a subscripted constant
            // tells the element its slider drives and its value.
            std::int32_t at = -1;
            const int type = resolve_value_slot(e.payload, &at);
            if (type > 0 && at >= 0) {
                if ((override_flags & 1) && find_input_override(at)) {
                    if (graph_slot) *graph_slot = at;
                } else if (type == st_constant && sym->dims != scalar_dims) {
                    HWND w = element_slider(current_sketch_view(), n);
                    const qslider_rec* r = w ? quick_slider(w) : nullptr;
                    const std::int32_t shown = r ? r->slot : at;
                    const std::string name = sym_name(e.payload);
                    const std::string full =
                        element_name(e.payload, static_cast<std::uint32_t>(shown - sym->slot));
                    subscript = full.size() > name.size() ? full.substr(name.size()) : full;
                    element_value = working_copy_value(shown);
                    element_shown = true;
                } else if (type <= st_last_dynamic) {
                    if (graph_slot) *graph_slot = at;
                }
            }
        }
        if (sym->units) units = units_text(sym->units);
        std::string c = sym_comment(e.payload);
        if (!c.empty()) {
            std::vector<char> buf(c.begin(), c.end());
            buf.push_back('\0');
            comment = collapse_blanks(buf.data());
        }
    }
    std::string text;
    if (element_shown) {
        text = subscript + " ";
        if (!is_na(element_value) && std::isfinite(element_value))
            text += std::string("= ") + format_number(element_value, 0, nullptr) + " ";
    } else if (scalar && slot >= 0 && s.symbols == cur_model_symbols && value_cache_exists()) {
        // The value: the last saved value of the shown run (in Livesweep
        // the newest point), for a scalar of the open model.
        const float *times = nullptr, *values = nullptr;
        // Outside Livesweep no run is marked shown: the first selected run.
        const int run = shown_run_slot() >= 0 ? shown_run_slot() : 0;
        const int count = cached_series(slot, &times, &values, run);
        if (count > 0 && values && std::isfinite(values[count - 1])) {
            char b[40];
            std::snprintf(b, sizeof b, "%g", static_cast<double>(values[count - 1]));
            text = std::string("= ") + b + " ";
        }
    }
    if (!comment.empty()) {
        text += comment;
        if (!units.empty()) text += " (" + units + ")";
    } else {
        text += units;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The command a data-file link gives (the data-file import, which this
// edition answers as not available).
constexpr int data_file_command = 533;

void follow_file_link(HWND view, const std::string& named) {
    // A link acts once at a time: what it starts may pump messages.
    static bool following = false;
    if (following || named.empty()) return;
    following = true;
    struct done {
        ~done() { following = false; }
    } reset;
    const bool web = named.find("://") != std::string::npos;
    const int kind = web ? -1 : file_kind_of(named.c_str(), -1);
    switch (kind) {
    case fk_graph_text:
    case fk_graph_binary:
    case fk_command:
    case fk_db_outputs:
        return; // definitions this edition keeps no use for
    case fk_run:
        // The run is named after the file and made; the command waits for
        // the press to end.
        if (!model_rec) return;
        model_rec->setup.run_name =
            ctx_set_text(model_rec, model_rec->setup.run_name, named.c_str());
        apply_run_name(1);
        PostMessage(main_wnd, WM_COMMAND, cmd_simulate, 0);
        return;
    default:
        break;
    }
    const std::string target = link_target(named);
    if (target.empty()) return;
    switch (kind) {
    case fk_model:
    case fk_package_model:
    case fk_package_app:
    case fk_app_text:
    case fk_app_binary:
        // Opening a model closes this diagram: the command runs once the
        // press has ended.
        set_pending_open(1, target.c_str(), 0);
        PostMessage(main_wnd, WM_COMMAND, cmd_open_model, 0);
        return;
    case fk_changes: {
        if (sim_phase != phase_setup && sim_phase != phase_livesweep_ready && !game_state)
            menu_command(cmd_setup);
        if (!ensure_setup_copy(0)) return;
        const std::string list = "\"" + target + "\"";
        if (read_change_files(list.c_str()) && livesweep_state == ls_on) livesweep_rerun(0, 2, 0);
        show_mode();
        if (view && IsWindow(view)) InvalidateRect(view, nullptr, FALSE);
        return;
    }
    case fk_data:
        PostMessage(main_wnd, WM_COMMAND, data_file_command, 0);
        return;
    case fk_toolset:
    case fk_sketch_toolset: {
        // Read whole before it replaces the set: a bad file leaves the
        // tools as they were, with a message saying why.
        read_toolset(target.c_str(), kind == fk_toolset ? 0 : 1);
        return;
    }
    case fk_gaming:
        // Decisions for the game's next move: only while one waits for them.
        if (game_state == 2 || game_state == 4) {
            const std::string list = "\"" + target + "\"";
            apply_change_files(list.c_str(), 0, 1, 0);
            show_game_time();
        }
        return;
    default:
        break;
    }
    // Say what is being opened; the platform asks before it starts a
    // program, naming it.
    set_bottom_text(("Opening " + target).c_str());
    auto r = reinterpret_cast<std::intptr_t>(
        ShellExecute(view, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (r <= 32) report(8, "Unable to open %s", named.c_str());
}

int follow_element_link(HWND view, sketch_state& s, int n) {
    if (n <= 0 || n >= elem_count(s)) return 0;
    const sketch_elem& e = elem(s, n);
    const int hi = e.link_hi, lo = e.link_lo;
    if (!hi && !lo) {
        // The shared view's elements belong to every view: not this one's to
        // select or drag.
        if (!e.shared()) return 0;
        end_drag();
        return 1;
    }
    if (hi == 253 && lo == 253) {
        const std::size_t bar = e.text.find('|');
        if (bar == std::string::npos || bar == 0) return 2;
        const std::string named = e.text.substr(0, bar);
        end_drag();
        follow_file_link(view, named);
        return 2;
    }
    const int count = static_cast<int>(get_header_word(s.symbols, mh_view_count) & 0xFFFF);
    int target = -1;
    if (hi == 251)
        target = lo ? std::min(s.current_view + 1, count - 1) : std::max(s.current_view - 1, 0);
    else if (const int v = hi << 8 | lo; v >= 1 && v <= count)
        target = v - 1;
    if (target < 0) return 0;
    end_drag();
    show_sketch_view(view, target, hi == 251 ? (lo ? 1 : -1) : 0);
    return 1;
}

bool make_workbench_variable(const sketch_state& s, int n) {
    if (n <= 0 || n >= elem_count(s) || !s.symbols || s.symbols != cur_model_symbols) return false;
    n = pair_variable(s.view, n); // a flow's valve and its name go together
    const sketch_elem& e = elem(s, n);
    if (e.kind != ek_variable || !e.payload) return false;
    std::string name;
    {
        model_lock_guard lock(s.symbols, 0);
        if (!lock.ok() || !valid_symbol(e.payload)) return false;
        name = sym_name(e.payload);
    }
    return select_var_text(name.c_str(), 0, static_cast<int>(name.size())) == 1;
}

void remove_link_files() {
    if (link_dir.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(link_dir, ec);
    link_dir.clear();
}
