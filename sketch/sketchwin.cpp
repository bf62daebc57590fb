// The sketch window: its frame and view, menus, scroll bars, view paging,
// print and copy commands, and the hooks the shell calls it through.
#include "sketch/sketchwin.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

#include "foundation/report.h"
#include "graphs/customgraph.h"
#include "graphs/sets/graphset.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "platform/clip.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/global.h"
#include "platform/menu.h"
#include "resources/menus.h"
#include "shell/controls/tooltip.h"
#include "shell/menubar.h"
#include "shell/options.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "sketch/behave.h"
#include "sketch/commands.h"
#include "sketch/drawsketch.h"
#include "sketch/fontbar.h"
#include "sketch/geometry.h"
#include "sketch/inplace.h"
#include "sketch/ioobjects.h"
#include "sketch/keys.h"
#include "sketch/livepaint.h"
#include "sketch/mouse.h"
#include "sketch/moves.h"
#include "sketch/pictures.h"
#include "sketch/sliders.h"
#include "sketch/viewprint.h"
#include "sketch/views.h"
#include "tools/output.h"
#include "tools/tree.h"

namespace {

// Pixels of empty room kept around the diagram.
constexpr int scroll_margin = 20;
// Pixels one wheel notch or arrow click moves.
constexpr int line_step = 16;

struct sketch_window {
    HWND frame = nullptr;
    HWND view = nullptr;
    handle record = 0; // the output record ('+') the workbench finds the sketch by
    std::string path;  // the model's file
    sketch_state s;
    // The diagram's Edit, View and Layout menus, in the menu bar while the
    // window is the active one.
    HMENU edit_menu = nullptr, view_menu = nullptr, layout_menu = nullptr;
    std::string menu_state; // what the menus' items show now (set only when it changes)
};

std::vector<std::unique_ptr<sketch_window>>& windows() {
    static std::vector<std::unique_ptr<sketch_window>> list;
    return list;
}

sketch_window* by_window(HWND w) {
    for (auto& p : windows())
        if (p->view == w || p->frame == w) return p.get();
    return nullptr;
}

// The frame's title (and the Windows menu's item): the model's file name
// and the view's name.
void update_title(sketch_window& sw) {
    std::string model = sw.path;
    const std::size_t slash = model.find_last_of('/');
    if (slash != std::string::npos) model = model.substr(slash + 1);
    if (model.empty()) model = "Unnamed";
    const std::string title = "Model: " + model + " View: " + sw.s.view.rec.name;
    SetWindowText(sw.frame, title.c_str());
    add_window_menu_item(sw.frame);
}

void check(HMENU menu, int id, bool on) {
    CheckMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}
void enable(HMENU menu, int id, bool on) {
    EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

bool menus_shown(const sketch_window& sw) {
    return main_menu && sw.edit_menu && GetSubMenu(main_menu, popup_view) == sw.edit_menu;
}

// Whether the bar's third pop-up is the Changes menu rather than Layout,
// and whether it should be: in Livesweep or Simulation Setup the changes the
// user makes are the ones to read and write; otherwise the diagram's layout.
bool changes_shown(const sketch_window& sw) {
    return menus_shown(sw) && changes_menu && GetSubMenu(main_menu, popup_insert) == changes_menu;
}
bool changes_wanted() {
    return changes_menu && (livesweep_state == ls_on || sim_phase == phase_setup);
}

void show_menus(sketch_window& sw);

// The menus' states: Undo and Redo name their step, the depth and zoom
// shown are checked, Layout is open while something is selected. Kept up to
// date as the window changes, since the menu bar's pop-ups open without
// asking the window.
void update_menus(sketch_window& sw) {
    if (!sw.edit_menu) return;
    const sketch_state& s = sw.s;
    bool undo_on = false, redo_on = false;
    const std::string undo = undo_menu_text(s, false, &undo_on);
    const std::string redo = undo_menu_text(s, true, &redo_on);
    // The items change only when this does (the window calls this often).
    const std::string state = undo + (undo_on ? "1" : "0") + redo + (redo_on ? "1" : "0") + "|" +
                              std::to_string(s.shown_level) + "|" + std::to_string(s.zoom) +
                              (s.fit ? "f" : "");
    if (state != sw.menu_state) {
        sw.menu_state = state;
        ModifyMenu(sw.edit_menu, skc_undo, MF_BYCOMMAND | MF_STRING, skc_undo, undo.c_str());
        enable(sw.edit_menu, skc_undo, undo_on);
        ModifyMenu(sw.edit_menu, skc_redo, MF_BYCOMMAND | MF_STRING, skc_redo, redo.c_str());
        enable(sw.edit_menu, skc_redo, redo_on);
        // A viewer neither cuts from nor pastes into the model's diagram.
        enable(sw.edit_menu, skc_cut, false);
        enable(sw.edit_menu, skc_paste, false);
        for (int level = 0; level <= max_level; ++level)
            check(sw.view_menu, skc_hide_level + level, level == s.shown_level);
        static const int zooms[] = {200, 100, 75, 50};
        for (int i = 0; i < 4; ++i) check(sw.view_menu, 367 + i, !s.fit && s.zoom == zooms[i]);
        check(sw.view_menu, 371, s.fit);
    }
    if (!menus_shown(sw)) return;
    // The mode changed under the window (set-up entered or left).
    if (changes_shown(sw) != changes_wanted()) {
        show_menus(sw);
        return;
    }
    if (changes_shown(sw)) return;
    const bool open = (GetMenuState(main_menu, popup_insert, MF_BYPOSITION) & MF_GRAYED) == 0;
    if (open != (s.selection != 0)) {
        EnableMenuItem(main_menu, popup_insert,
                       MF_BYPOSITION | (s.selection ? MF_ENABLED : MF_GRAYED));
        if (main_wnd) DrawMenuBar(main_wnd);
    }
}

void show_menus(sketch_window& sw) {
    if (!sw.edit_menu || !main_menu) return;
    if (changes_wanted()) {
        diagram_menu_bar(sw.edit_menu, sw.view_menu, changes_menu, "&Changes", true);
        EnableMenuItem(main_menu, cmd_stop_simulation, MF_BYCOMMAND | MF_ENABLED);
        if (main_wnd) DrawMenuBar(main_wnd);
    } else {
        diagram_menu_bar(sw.edit_menu, sw.view_menu, sw.layout_menu, "&Layout",
                         sw.s.selection != 0);
    }
    update_menus(sw);
}

void update_scroll_bars(sketch_window& sw) {
    RECT rc;
    GetClientRect(sw.view, &rc);
    const sketch_state& s = sw.s;
    int lo_x = s.min_x <= s.max_x ? s.min_x : 0, hi_x = s.min_x <= s.max_x ? s.max_x : 0;
    int lo_y = s.min_y <= s.max_y ? s.min_y : 0, hi_y = s.min_y <= s.max_y ? s.max_y : 0;
    for (int bar : {SB_HORZ, SB_VERT}) {
        int page = bar == SB_HORZ ? rc.right : rc.bottom;
        int lo, hi;
        if (bar == SB_HORZ)
            sketch_scroll_range(lo_x, hi_x, s.zoom, page, &lo, &hi);
        else
            sketch_scroll_range(lo_y, hi_y, s.zoom, page, &lo, &hi);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = lo;
        si.nMax = hi + std::max(page, 1) - 1;
        si.nPage = static_cast<UINT>(std::max(page, 1));
        si.nPos = bar == SB_HORZ ? s.scroll_x : s.scroll_y;
        SetScrollInfo(sw.view, bar, &si, TRUE);
    }
}

void scroll_to(sketch_window& sw, int x, int y) {
    RECT rc;
    GetClientRect(sw.view, &rc);
    sketch_state& s = sw.s;
    int lo, hi;
    sketch_scroll_range(s.min_x <= s.max_x ? s.min_x : 0, s.min_x <= s.max_x ? s.max_x : 0, s.zoom,
                        rc.right, &lo, &hi);
    x = std::clamp(x, lo, hi);
    sketch_scroll_range(s.min_y <= s.max_y ? s.min_y : 0, s.min_y <= s.max_y ? s.max_y : 0, s.zoom,
                        rc.bottom, &lo, &hi);
    y = std::clamp(y, lo, hi);
    if (x == s.scroll_x && y == s.scroll_y) return;
    s.scroll_x = x;
    s.scroll_y = y;
    update_scroll_bars(sw);
    follow_inplace_edit(sw.view, s);
    place_io_objects(sw.view, s);
    InvalidateRect(sw.view, nullptr, FALSE);
}

void scroll_bar_message(sketch_window& sw, int bar, WPARAM wp) {
    RECT rc;
    GetClientRect(sw.view, &rc);
    int page = bar == SB_HORZ ? rc.right : rc.bottom;
    int pos = bar == SB_HORZ ? sw.s.scroll_x : sw.s.scroll_y;
    switch (LOWORD(wp)) {
    case SB_LINEUP:
        pos -= line_step;
        break;
    case SB_LINEDOWN:
        pos += line_step;
        break;
    case SB_PAGEUP:
        pos -= std::max(line_step, page - line_step);
        break;
    case SB_PAGEDOWN:
        pos += std::max(line_step, page - line_step);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS | SIF_POS;
        if (GetScrollInfo(sw.view, bar, &si))
            pos = LOWORD(wp) == SB_THUMBTRACK ? si.nTrackPos : static_cast<int>(HIWORD(wp));
        break;
    }
    case SB_TOP:
        pos = -32768;
        break;
    case SB_BOTTOM:
        pos = 32767;
        break;
    default:
        return;
    }
    if (bar == SB_HORZ)
        scroll_to(sw, pos, sw.s.scroll_y);
    else
        scroll_to(sw, sw.s.scroll_x, pos);
}

// Zooms about a point of the client area (pixels), which stays where it is.
void zoom_about(sketch_window& sw, int zoom, int px, int py) {
    zoom = std::clamp(zoom, 10, 500);
    sketch_state& s = sw.s;
    if (zoom == s.zoom) return;
    const long ux = (static_cast<long>(px) + s.scroll_x) * 100 / s.zoom;
    const long uy = (static_cast<long>(py) + s.scroll_y) * 100 / s.zoom;
    s.zoom = zoom;
    s.fit = false;
    if (model_rec && s.symbols == cur_model_symbols)
        model_rec->sketch_zoom = static_cast<std::int16_t>(zoom);
    update_scroll_bars(sw);
    s.scroll_x = s.scroll_y = 0x7FFFFFFF; // so scroll_to always takes the new place
    scroll_to(sw, static_cast<int>(ux * zoom / 100 - px), static_cast<int>(uy * zoom / 100 - py));
    place_io_objects(sw.view, s);
    InvalidateRect(sw.view, nullptr, FALSE);
}

// The wheel: each notch, a part of one counting whole, scrolls one line (up
// for a turn away from the user; across with Shift). With Ctrl each whole
// notch zooms by 10 points about the window's centre; a part of a notch does
// nothing.
void wheel_message(sketch_window& sw, WPARAM wp, LPARAM) {
    const int delta = static_cast<short>(HIWORD(wp));
    if (!delta) return;
    if (LOWORD(wp) & MK_CONTROL) {
        const int notches = delta / 120;
        if (!notches) return;
        const int zoom = std::clamp(sw.s.zoom + 10 * notches, 10, 500);
        if (zoom == sw.s.zoom) return;
        RECT rc;
        GetClientRect(sw.view, &rc);
        zoom_about(sw, zoom, rc.right / 2, rc.bottom / 2);
        return;
    }
    const int notches = (std::abs(delta) + 119) / 120;
    const int move = (delta > 0 ? -1 : 1) * notches * line_step;
    if (LOWORD(wp) & MK_SHIFT)
        scroll_to(sw, sw.s.scroll_x + move, sw.s.scroll_y);
    else
        scroll_to(sw, sw.s.scroll_x, sw.s.scroll_y + move);
}

void fit_zoom(sketch_window& sw);

// Whether view i of the model can be shown on its own (named, not the
// shared view). recs: the locked view block of n records.
bool usable_view(const view_rec* recs, std::uint32_t n, std::uint32_t i) {
    return i < n && recs[i].name[0] && !(recs[i].flags & 1);
}

// Shows view `number`, or with a step the nearest usable one in that
// direction from it (staying on the current view when there is none).
void show_view(sketch_window& sw, int number, int step) {
    sketch_state& s = sw.s;
    if (s.symbols != cur_model_symbols || !s.symbols) return;
    handle vb = get_header_word(s.symbols, mh_views);
    std::uint32_t n = get_header_word(s.symbols, mh_view_count) & 0xFFFF;
    if (!vb || !handle_valid(vb)) return;
    n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
    {
        handle_lock<view_rec> recs(vb);
        if (!recs) return;
        int i = number;
        while (i >= 0 && static_cast<std::uint32_t>(i) < n &&
               !usable_view(recs.get(), n, static_cast<std::uint32_t>(i)) && step)
            i += step;
        if (i < 0 || static_cast<std::uint32_t>(i) >= n ||
            !usable_view(recs.get(), n, static_cast<std::uint32_t>(i)))
            i = s.current_view;
        number = i;
    }
    cancel_sketch_drag();
    end_inplace_edit(sw.view, 2);
    hide_tooltip(0);
    clear_selection(s);
    destroy_io_objects(sw.view, s);
    if (load_view(s, number, 0, false, 0, false) < 0) return;
    if (model_rec) model_rec->sketch_view = static_cast<std::int16_t>(s.current_view);
    update_title(sw);
    update_menus(sw);
    show_sketch_bar(s, sw.frame);
    if (s.fit) fit_zoom(sw);
    update_scroll_bars(sw);
    s.scroll_x = s.scroll_y = 0x7FFFFFFF;
    scroll_to(sw, 0, 0);
    make_io_objects(sw.view, s, 0);
    InvalidateRect(sw.view, nullptr, FALSE);
}

// The zoom at which the whole diagram fits the client (at most 100 %, the
// diagram centred), as Fit to Screen computes it.
void fit_zoom(sketch_window& sw) {
    sketch_state& s = sw.s;
    RECT rc;
    GetClientRect(sw.view, &rc);
    if (rc.right <= 2 * scroll_margin || rc.bottom <= 2 * scroll_margin) return;
    int zoom = 100, sx = 0, sy = 0;
    fit_view_zoom(s, rc.right, rc.bottom, &zoom, &sx, &sy);
    s.zoom = zoom;
    if (model_rec && s.symbols == cur_model_symbols) model_rec->sketch_zoom = 5;
    update_scroll_bars(sw);
    s.scroll_x = s.scroll_y = 0x7FFFFFFF;
    scroll_to(sw, sx, sy);
    place_io_objects(sw.view, s);
    InvalidateRect(sw.view, nullptr, FALSE);
}

// Print: the current view, the selection, or every named view in turn (the
// view that was current comes back). Copy: the selection when there is one,
// else the whole view.
void print_command(sketch_window& sw) {
    view_output_settings set = view_output_settings_now();
    if (set.what != 2) {
        output_view(sw.frame, sw.view, sw.s, vo_print, set);
        return;
    }
    sketch_state& s = sw.s;
    if (s.symbols != cur_model_symbols || !s.symbols) return;
    const int current = s.current_view;
    handle vb = get_header_word(s.symbols, mh_views);
    std::uint32_t n = get_header_word(s.symbols, mh_view_count) & 0xFFFF;
    if (!vb || !handle_valid(vb)) return;
    n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
    set.what = 0;
    clear_selection(s);
    // One document, a page (or more) per view.
    view_print_job job;
    for (std::uint32_t i = 0; i < n; ++i) {
        bool usable = false;
        {
            handle_lock<view_rec> recs(vb);
            usable = recs && usable_view(recs.get(), n, i);
        }
        if (!usable || load_view(s, static_cast<int>(i), 0, false, 0, false) < 0) continue;
        print_view_into(sw.view, s, set, job);
    }
    end_view_print_job(job);
    show_view(sw, current, 0);
}

// A right click on empty space: the view's own actions at the pointer.
void context_menu(sketch_window& sw) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenu(menu, MF_STRING, sketch_cmd_previous_view, "&Previous View");
    AppendMenu(menu, MF_STRING, sketch_cmd_next_view, "&Next View");
    AppendMenu(menu, MF_STRING, bar_choose_view, "&Views...");
    AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenu(menu, MF_STRING | (sw.s.fit ? MF_CHECKED : 0), skc_zoom_fit, "&Fit to Screen");
    AppendMenu(menu, MF_SEPARATOR, 0, nullptr);
    bool on = false;
    const std::string undo = undo_menu_text(sw.s, false, &on);
    AppendMenu(menu, MF_STRING | (on ? 0 : MF_GRAYED), skc_undo, undo.c_str());
    AppendMenu(menu, MF_STRING, skc_select_all, "&Select all\t(Ctrl+A)");
    AppendMenu(menu, MF_STRING, skc_copy, "&Copy\t(Ctrl+C)");
    AppendMenu(menu, MF_STRING, skc_print, "&Print...");
    POINT p{};
    GetCursorPos(&p);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, sw.view, nullptr));
    DestroyMenu(menu);
    if (chosen) PostMessage(sw.frame, WM_COMMAND, chosen, 0);
}

// The window's commands: previous and next view, close, print, copy.

// The one selected element of the view (0: none, or more than one).
int single_selected(const sketch_state& s) {
    int found = 0;
    for (int i = 1; i < s.view.count(); ++i)
        if (s.view.elems[static_cast<std::size_t>(i)].runtime & ef_selected) {
            if (found) return 0;
            found = i;
        }
    return found;
}

// A stored metafile picture to the clipboard as a metafile picture with its
// own mapping mode and extents. False when its block is not a sound picture.
bool copy_metafile_element(HWND owner, const sketch_elem& e) {
    metafile_info mi;
    if (!check_metafile(e.blob, &mi)) return false;
    HMETAFILE mf = SetMetaFileBitsEx(mi.bytes, e.blob.data() + mi.bits);
    if (!mf) return false;
    if (!put_metafile_picture(owner, mf, mi.mapping_mode, mi.x_extent, mi.y_extent))
        report(8, "Unable to copy to the clipboard");
    return true;
}

// A stored bitmap to the clipboard as a device-independent bitmap: its
// header, colour table and bits packed one after another (the file image
// may leave a gap before the bits). False when its block is not a sound
// bitmap.
bool copy_bitmap_element(HWND owner, const sketch_elem& e) {
    bitmap_info bi;
    if (!check_bitmap(e.blob, &bi)) return false;
    constexpr std::size_t header_at = 4 + 14; // after the size word and the file header
    std::uint32_t header = 0;
    std::memcpy(&header, e.blob.data() + header_at, 4);
    const std::size_t entry = header == 12 ? 3 : 4;
    const std::size_t table_end =
        std::min<std::size_t>(bi.pixels, bi.table + static_cast<std::size_t>(bi.colours) * entry);
    if (table_end < header_at ||
        bi.pixels + static_cast<std::size_t>(bi.pixel_bytes) > e.blob.size())
        return false;
    const std::size_t head_bytes = table_end - header_at;
    bool done = false;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, head_bytes + bi.pixel_bytes);
    if (mem) {
        auto* out = static_cast<std::uint8_t*>(GlobalLock(mem));
        std::memcpy(out, e.blob.data() + header_at, head_bytes);
        std::memcpy(out + head_bytes, e.blob.data() + bi.pixels, bi.pixel_bytes);
        GlobalUnlock(mem);
        done = clip_put(owner, CF_DIB, mem);
        if (!done) GlobalFree(mem);
    }
    if (!done) report(8, "Unable to copy to the clipboard");
    return true;
}

// Copy of exactly one selected element that copies as itself: a stored
// metafile picture, or an output object (its window is told to copy). True
// when that was done (or said to have failed).
bool copy_single_element(sketch_window& sw) {
    const int n = single_selected(sw.s);
    if (!n) return false;
    const sketch_elem& e = sw.s.view.elems[static_cast<std::size_t>(n)];
    if (e.kind == ek_metafile) return copy_metafile_element(sw.frame, e);
    if (e.kind == ek_bitmap) return copy_bitmap_element(sw.frame, e);
    if (e.kind == ek_text && (e.flags & ef_io_object) && e.label != io_input_slider) {
        HWND w = io_object_window(sw.view, n);
        if (!w || !IsWindow(w)) return false;
        SendMessage(w, WM_COMMAND, cmd_export_output, 0);
        return true;
    }
    return false;
}

void sketch_command(sketch_window& sw, int id) {
    switch (id) {
    case sketch_cmd_previous_view:
        show_view(sw, sw.s.current_view - 1, -1);
        break;
    case sketch_cmd_next_view:
        show_view(sw, sw.s.current_view + 1, 1);
        break;
    case sketch_cmd_close: {
        // Set-up, a game or Livesweep works on this diagram: it ends first,
        // with its question; a No keeps both.
        HWND frame = sw.frame;
        if (in_sim_mode()) {
            if (!leave_sim_mode(1)) break;
            show_mode();
        }
        if (IsWindow(frame)) DestroyWindow(frame);
        break;
    }
    case bar_choose_view:  // the view list with "**New**" (sketch/commands)
    case bar_choose_depth: // the depth list; Livesweep's sliders follow it
        sketch_frame_command(sw.view, id);
        break;
    case skc_print:
        if (print_options_dialog(static_cast<int>(sw.record))) print_command(sw);
        break;
    case skc_copy:
        // One stored picture copies as its own picture; one output object
        // copies itself, as its window's copy does.
        if (copy_single_element(sw)) break;
        // The selection (Select All for the whole view); nothing selected
        // copies nothing.
        if (!sw.s.selection || !selection_bounds(sw.s, nullptr)) {
            report(8, "Nothing selected");
            break;
        }
        output_view(sw.frame, sw.view, sw.s, vo_copy_selection, view_output_settings_now());
        break;
    case skc_select_all:
        if (select_elements(sw.s, -32768, -32768, 32767, 32767)) sw.s.selection = 1;
        InvalidateRect(sw.view, nullptr, FALSE);
        break;
    case skc_undo:
    case skc_redo:
        cancel_sketch_drag();
        if (id == skc_undo ? sketch_undo(sw.s) : sketch_redo(sw.s)) {
            update_scroll_bars(sw);
            InvalidateRect(sw.view, nullptr, FALSE);
        }
        break;
    case skc_context:
        context_menu(sw);
        break;
    default:
        if (!sketch_frame_command(sw.view, id)) live_sketch_command(sw.view, id);
        // Fit to Screen is kept: a resize fits the diagram again.
        if (id == skc_zoom_fit) sw.s.fit = true;
        break;
    }
}

// The keys the view acts on; true when taken. A key held down acts once.
bool key_down(sketch_window& sw, int vk, LPARAM lp) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    if ((!ctrl || vk == VK_HOME) && live_sketch_key(sw.view, vk, shift)) return true;
    const int action = sketch_key_command(vk, ctrl, shift, sw.s.shown_level < max_level);
    if (!action) return false;
    if (lp & (1L << 30)) return true; // auto-repeat
    if (action == skc_escape) {
        cancel_sketch_drag(); // a move under way goes back
        if (sw.s.selection) {
            clear_selection(sw.s);
            InvalidateRect(sw.view, nullptr, FALSE);
        }
    } else if (action <= skc_sim_base + 3 && action >= skc_sim_base) {
        post_sim_command(action - skc_sim_base);
    } else if (action == sketch_cmd_close && active_child && active_child != sw.frame &&
               IsWindow(active_child)) {
        // Close belongs to the window in front (an output window the keys
        // reached the diagram through), not to the diagram behind it.
        PostMessage(active_child, WM_COMMAND, static_cast<WPARAM>(sketch_cmd_close), 0);
    } else {
        PostMessage(sw.frame, WM_COMMAND, static_cast<WPARAM>(action), 0);
    }
    return true;
}

// The hover tip of element n, placed at its lower left corner.
LRESULT tip_answer(sketch_window& sw, int n, tip_request* req) {
    static std::string text;
    if (!req) return 0;
    std::int32_t graph_slot = -1;
    text = hover_text(sw.s, n, &graph_slot);
    if (graph_slot >= 0) {
        // The tip draws the variable's behaviour instead of its text.
        req->graph = true;
        req->graph_index = graph_slot;
        if (text.empty()) text.assign(1, ' ');
    }
    if (text.empty()) return 0;
    const sketch_elem& e = sw.s.view.elems[static_cast<std::size_t>(n)];
    req->text = text.c_str();
    req->x = unit_to_pixel(e.x - e.w, sw.s.zoom, sw.s.scroll_x);
    req->y = unit_to_pixel(e.y + e.h, sw.s.zoom, sw.s.scroll_y);
    req->hit = n;
    req->text_ready = true;
    return 1;
}

void place_view(sketch_window& sw) {
    RECT rc;
    GetClientRect(sw.frame, &rc);
    MoveWindow(sw.view, 0, 0, rc.right, rc.bottom, TRUE);
}

void forget(HWND w) {
    auto& list = windows();
    for (auto& p : list)
        if (p->frame == w) {
            if (p->record) free_output_record(p->record);
            p->record = 0;
            if (GetCapture() == p->view) cancel_sketch_drag();
            if (tooltip_control() == p->view) hide_tooltip(1);
            forget_inplace_edit(p->view);
            destroy_io_objects(p->view, p->s);
            // The bar must not keep menus that are going.
            if (menus_shown(*p)) rebuild_menu_bar();
            for (HMENU m : {p->edit_menu, p->view_menu, p->layout_menu})
                if (m) DestroyMenu(m);
            p->edit_menu = p->view_menu = p->layout_menu = nullptr;
            remove_window_menu_item(p->frame);
        }
    list.erase(
        std::remove_if(list.begin(), list.end(), [&](const auto& p) { return p->frame == w; }),
        list.end());
    if (build_wnd == w) build_wnd = nullptr;
}

LRESULT frame_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    sketch_window* sw = by_window(w);
    switch (m) {
    case WM_SIZE:
        if (sw && sw->view) place_view(*sw);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the view covers the frame
    case WM_SETFOCUS:
        // The keys belong to the view, or to the entry while one is open.
        if (sw && sw->view) {
            HWND edit = inplace_edit_window(sw->view);
            SetFocus(edit && inplace_edit_open(sw->view) ? edit : sw->view);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(w);
        return 0;
    case WM_COMMAND:
        if (sw) {
            HWND frame = sw->frame;
            sketch_command(*sw, LOWORD(wp));
            // The command may have closed the window.
            if (sketch_window* still = by_window(frame)) update_menus(*still);
        }
        return 0;
    case WM_NCACTIVATE:
        // Activated: the menu bar takes the diagram's menus; the Windows
        // menu lists it (activation takes a shown window off that list).
        if (sw && wp) {
            show_menus(*sw);
            add_window_menu_item(sw->frame);
        }
        break;
    case WM_NCDESTROY:
        forget(w);
        break;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

// Maximised build windows fill the container.
// The container has no word for its children when it changes size (the
// window manager sizes the workbench after start-up), so a view checks as it
// paints. True when a frame moved.
bool fit_frames() {
    if (!shell_opts.build_maximised || !container_wnd) return false;
    RECT c;
    GetClientRect(container_wnd, &c);
    bool moved = false;
    for (auto& p : windows()) {
        RECT f;
        GetWindowRect(p->frame, &f);
        if (f.right - f.left == c.right && f.bottom - f.top == c.bottom) continue;
        MoveWindow(p->frame, 0, 0, c.right, c.bottom, TRUE);
        moved = true;
    }
    return moved;
}

LRESULT view_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    sketch_window* sw = by_window(w);
    if (!sw) return DefWindowProc(w, m, wp, lp);
    if (sw->s.symbols == cur_model_symbols && sketch_mouse_message(w, sw->s, m, wp, lp)) {
        if (m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN)
            if (sketch_window* still = by_window(w)) update_menus(*still);
        return m == WM_SETCURSOR ? TRUE : 0;
    }
    switch (m) {
    case wm_tip_request:
        return tip_answer(*sw, static_cast<int>(wp), reinterpret_cast<tip_request*>(lp));
    case WM_KEYDOWN:
        if (key_down(*sw, static_cast<int>(wp), lp)) {
            if (sketch_window* still = by_window(w)) update_menus(*still);
            return 0;
        }
        break;
    case WM_KILLFOCUS:
        if (tooltip_state() < 3) hide_tooltip(0);
        break;
    case WM_PAINT: {
        if (fit_frames()) {
            sw = by_window(w);
            if (!sw) return 0;
        }
        update_menus(*sw);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc;
        GetClientRect(w, &rc);
        // A model closed under the window leaves it blank until it closes.
        if (sw->s.symbols == cur_model_symbols) {
            paint_sketch_retained(dc, w, sw->s, rc);
            paint_sketch_live(dc, w, sw->s);
            paint_selection(dc, sw->s);
        } else
            FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
        EndPaint(w, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // painting fills the background
    case WM_SIZE:
        if (sw->s.fit) fit_zoom(*sw);
        update_scroll_bars(*sw);
        scroll_to(*sw, sw->s.scroll_x, sw->s.scroll_y);
        return 0;
    case WM_HSCROLL:
        scroll_bar_message(*sw, SB_HORZ, wp);
        return 0;
    case WM_VSCROLL:
        scroll_bar_message(*sw, SB_VERT, wp);
        return 0;
    case WM_MOUSEWHEEL:
        wheel_message(*sw, wp, lp);
        return 0;
    default:
        break;
    }
    return DefWindowProc(w, m, wp, lp);
}

// The view to open: the saved one unless it is the shared view (which the
// others show merged in), else the first that is not shared.
int first_view(handle symbols, int saved) {
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t n = get_header_word(symbols, mh_view_count) & 0xFFFF;
    if (!vb || !handle_valid(vb)) return 0;
    n = std::min<std::uint32_t>(n, handle_size(vb) / sizeof(view_rec));
    handle_lock<view_rec> recs(vb);
    auto usable = [&](std::uint32_t i) {
        return i < n && recs.get()[i].name[0] && !(recs.get()[i].flags & 1);
    };
    if (saved >= 0 && usable(static_cast<std::uint32_t>(saved))) return saved;
    for (std::uint32_t i = 0; i < n; ++i)
        if (usable(i)) return static_cast<int>(i);
    return 0;
}

handle back_record() {
    return windows().empty() ? 0 : windows().back()->record;
}

// The name a sketch is found by: its model file's name, or with whole_path
// the full path.
bool same_name(const std::string& path, const char* name, bool whole_path) {
    std::string mine = path;
    if (!whole_path) {
        const std::size_t slash = mine.find_last_of('/');
        if (slash != std::string::npos) mine = mine.substr(slash + 1);
    }
    return strcasecmp(mine.c_str(), name) == 0;
}

handle find_hook(const char* name, int mode, int flags) {
    if (mode == 3) {
        for (auto& p : windows()) InvalidateRect(p->view, nullptr, FALSE);
        return 0;
    }
    // At start-up (2) and when a model opens (1): the current model's diagram.
    // A model named on the command line opened before the workbench took its
    // size: at start-up its window takes the container's now.
    if (mode == 2 && !windows().empty()) {
        fit_frames();
        return back_record();
    }
    if (mode == 1 || mode == 2) {
        open_sketch_window();
        return back_record();
    }
    // Otherwise a lookup by the model's file name, activating the window
    // found unless mode is negative.
    if (!name) return 0;
    for (auto& p : windows()) {
        if (!same_name(p->path, name, flags != 0)) continue;
        if (mode >= 0) {
            ShowWindow(p->frame, SW_SHOW);
            BringWindowToTop(p->frame);
            SetFocus(p->view);
        }
        return p->record;
    }
    return 0;
}

void refresh_hook() {
    for (auto& p : windows()) {
        if (p->s.symbols != cur_model_symbols) continue;
        // The objects follow: in Livesweep each re-run tells the output
        // windows and the sliders; otherwise the runs or the mode changed,
        // and the outputs are made again.
        HWND view = p->view;
        make_io_objects(view, p->s, livesweep_state == ls_on ? 2 : 1);
        if (!by_window(view)) continue;
        if (!invalidate_live_changes(p->view, p->s)) InvalidateRect(p->view, nullptr, FALSE);
    }
}

int close_hook(handle record) {
    if (!record) return close_all_sketch_windows();
    for (auto& p : windows())
        if (p->record == record) {
            DestroyWindow(p->frame);
            break;
        }
    return 1;
}

// A view-only window has nothing to save: every window may close.
int query_close_hook(handle) {
    return 1;
}

} // namespace

void sketch_scroll_range(int lo, int hi, int zoom, int page, int* min_pos, int* max_pos) {
    long a = static_cast<long>(lo) * zoom / 100 - scroll_margin;
    long b = static_cast<long>(hi) * zoom / 100 + scroll_margin - std::max(page, 0);
    // The origin stays reachable, so a diagram that fits is shown as laid out.
    a = std::min(a, 0L);
    b = std::max(b, 0L);
    *min_pos = static_cast<int>(std::clamp(a, -2000000L, 2000000L));
    *max_pos = static_cast<int>(std::clamp(b, -2000000L, 2000000L));
}

HWND open_sketch_window() {
    close_all_sketch_windows();
    if (!container_wnd || !cur_model_symbols || !model_rec || model_rec->state == 2) return nullptr;
    auto sw = std::make_unique<sketch_window>();
    sw->s.symbols = cur_model_symbols;
    sw->s.header = cur_model_header;
    int zoom = model_rec->sketch_zoom;
    sw->s.zoom = zoom >= 10 && zoom <= 500 ? zoom : 100;
    if (load_view(sw->s, first_view(cur_model_symbols, model_rec->sketch_view), 0, false, 0,
                  false) < 0)
        return nullptr;
    if (zoom == 5) sw->s.fit = true; // kept as "fit to the window"
    RECT c;
    GetClientRect(container_wnd, &c);
    std::string title = sw->s.view.rec.name;
    if (const char* path = current_model_name()) sw->path = path;
    {
        // The record must not become the tools' current one.
        const handle saved = cur_output;
        sw->record = new_output_record(0, '+');
        cur_output = saved;
    }
    sketch_window* p = sw.get();
    windows().push_back(std::move(sw));
    p->frame = CreateWindow("Kavrel_sketch_mother", title.c_str(),
                            WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, c.right, c.bottom,
                            container_wnd, nullptr, hinst, nullptr);
    if (!p->frame) {
        windows().pop_back();
        return nullptr;
    }
    p->view = CreateWindow("Kavrel_sketch", title.c_str(),
                           WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, 0, c.right, c.bottom,
                           p->frame, nullptr, hinst, nullptr);
    if (!p->view) {
        DestroyWindow(p->frame);
        return nullptr;
    }
    if (p->record) {
        if (auto* r = static_cast<output_record*>(lock_handle(p->record))) {
            r->window = p->view;
            r->type = '+';
            unlock_handle(p->record);
        }
        SetWindowLongPtr(p->frame, 0, static_cast<LONG_PTR>(p->record));
        SetWindowLongPtr(p->view, 0, static_cast<LONG_PTR>(p->record));
    }
    place_view(*p);
    p->edit_menu = LoadMenu(hinst, MAKEINTRESOURCE(menu_sketch_edit));
    p->view_menu = LoadMenu(hinst, MAKEINTRESOURCE(menu_sketch_view));
    p->layout_menu = LoadMenu(hinst, MAKEINTRESOURCE(menu_sketch_layout));
    update_title(*p);
    if (p->s.fit) fit_zoom(*p);
    update_scroll_bars(*p);
    ShowWindow(p->frame, SW_SHOW);
    build_wnd = p->frame;
    // The active child of the workbench: the keys go to the diagram (Page
    // Down, Escape), also when the workbench itself gets the focus later.
    activate_window(p->frame, 0, 0);
    make_io_objects(p->view, p->s, 0);
    InvalidateRect(p->view, nullptr, FALSE);
    return p->view;
}

int close_all_sketch_windows() {
    std::vector<HWND> frames;
    for (auto& p : windows()) frames.push_back(p->frame);
    for (HWND f : frames)
        if (IsWindow(f)) DestroyWindow(f);
    windows().clear();
    return 1;
}

sketch_state* sketch_of(HWND view) {
    for (auto& p : windows())
        if (p->view == view) return &p->s;
    return nullptr;
}

handle sketch_record(HWND view) {
    sketch_window* sw = by_window(view);
    return sw ? sw->record : 0;
}

HWND current_sketch_view() {
    return windows().empty() ? nullptr : windows().back()->view;
}

void scroll_sketch_to(HWND view, int x, int y) {
    if (sketch_window* sw = by_window(view)) scroll_to(*sw, x, y);
}

void set_sketch_zoom(HWND view, int zoom) {
    sketch_window* sw = by_window(view);
    if (sw) {
        sw->s.fit = false;
        zoom_about(*sw, zoom, 0, 0);
    }
}

void show_sketch_view(HWND view, int number, int step) {
    if (sketch_window* sw = by_window(view)) show_view(*sw, number, step);
}

void sketch_layout_changed(HWND view) {
    if (sketch_window* sw = by_window(view)) {
        update_scroll_bars(*sw);
        update_menus(*sw);
    }
}

void zoom_to_fit(HWND view) {
    if (sketch_window* sw = by_window(view)) {
        sw->s.fit = true;
        fit_zoom(*sw);
    }
}

bool sketch_link_look(const sketch_state& s, std::uint32_t cause, std::uint32_t effect,
                      tree_link_look* out) {
    const auto& el = s.view.elems;
    auto symbol_of = [&](std::uint16_t n) -> std::uint32_t {
        if (n == 0 || n >= el.size()) return 0;
        const sketch_elem& e = el[n];
        return e.kind == ek_variable || e.kind == ek_valve ? e.payload : 0;
    };
    for (const sketch_elem& c : el) {
        if (c.kind != ek_connector || c.width_code > 20) continue; // pipes carry no cause
        if (symbol_of(c.tail) != cause || symbol_of(c.head) != effect) continue;
        if (!out) return true;
        out->colour = c.line_colour == 0 || c.line_colour == 0xFFFFFFFFu
                          ? -1
                          : static_cast<int>(c.line_colour & 0xFFFFFF);
        out->width = c.width_code;
        out->polarity = c.mark > 1 ? static_cast<char>(c.mark) : 0;
        return true;
    }
    return false;
}

namespace {

// The tree tool asks the diagram shown how its arrows look.
bool tree_link_hook(std::uint32_t cause, std::uint32_t effect, tree_link_look* out) {
    HWND view = current_sketch_view();
    const sketch_state* s = view ? sketch_of(view) : nullptr;
    return s && sketch_link_look(*s, cause, effect, out);
}

} // namespace

// Print Options' choices for a diagram window's record.
bool print_choices_hook(handle record, diagram_print_choices* out) {
    for (auto& p : windows()) {
        if (p->record != record || !record) continue;
        const view_print_sizes z = view_print_sizes_of(p->s);
        out->view_w = z.view_w;
        out->view_h = z.view_h;
        out->sel_w = z.sel_w;
        out->sel_h = z.sel_h;
        out->views = z.views;
        out->model = p->path.substr(p->path.find_last_of('/') + 1);
        if (out->model.empty()) out->model = "Unnamed";
        out->view = p->s.view.rec.name;
        return true;
    }
    return false;
}

// A tip's behaviour graph: the value slot's series in every loaded run, with
// the variable's name and scale, over the tip.
void tip_behavior_graph(HDC dc, const RECT& client, int slot) {
    symbol_record record{};
    bool known = false;
    {
        model_lock_guard lock(cur_model_symbols, 0);
        std::uint32_t element = 0;
        if (const symbol_id id = lock.ok() ? slot_symbol(slot, &element) : 0) {
            record = *sym(id);
            known = true;
        }
    }
    draw_behavior_graph(dc, known ? &record : nullptr, slot, client.left + 2, client.top + 2,
                        client.right - 2, client.bottom - 2, true, true);
}

namespace {

setup_value_fn previous_value_hook = nullptr;

// A value of the setup copy changed: every control on the diagrams showing
// that value shows the new one, whichever control changed it.
void setup_value_hook(std::int32_t slot, float value) {
    show_slot_value(slot, value);
    quick_sliders_value_changed(slot, value);
    inplace_value_changed(slot, value);
    if (previous_value_hook) previous_value_hook(slot, value);
}

} // namespace

namespace {

// At the start of a run of a model whose graph set is shown during runs: the
// set's work-in-progress graphs when the options open them, else the
// sketch's output objects made again to follow the run. Whether either shows
// a window (the progress panel then stands aside).
int run_start_hook() {
    if (float_opts & fo_wip_graph) return open_wip_graphs();
    const graph_set* set = graph_set_at(current_graph_set());
    if (!set || !set->wip) return 0;
    return update_io_objects() ? 1 : 0;
}

} // namespace

void install_sketch_hooks() {
    if (const setup_value_fn previous = set_setup_value_hook(setup_value_hook);
        previous != setup_value_hook)
        previous_value_hook = previous;
    set_tip_graph_painter(tip_behavior_graph);
    sketch_hooks.print_choices = print_choices_hook;
    tree_link_style_hook = tree_link_hook;
    sketch_hooks.find = find_hook;
    sketch_hooks.close = close_hook;
    sketch_hooks.query_close = query_close_hook;
    sketch_hooks.frame_proc = frame_proc;
    sketch_hooks.view_proc = view_proc;
    sketch_hooks.refresh = refresh_hook;
    pending_io_rect_hook = take_pending_io_rect;
    sketch_hooks.shutdown = remove_link_files;
    set_wip_run_start_hook(run_start_hook);
}
