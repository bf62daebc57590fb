// The tools palette and window ordering: see palette.h.
#include "shell/palette.h"

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"
#include "platform/gdi.h"
#include "platform/menu.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "resources/menus.h"
#include "shell/controlpanel.h"
#include "shell/controls/bevel.h"
#include "shell/controls/tooltip.h"
#include "shell/pump.h"
#include "shell/state.h"
#include "shell/subpanel_wnd.h"
#include "shell/upcalls.h"
#include "shell/winlist.h"

#include <algorithm>
#include <string>
#include <vector>

void (*tool_action_runner)(tool_action action, handle tool) = nullptr;

namespace {

int cell_w = palette_cell_w;
int cell_h = palette_cell_h;
int hover_code = 0;   // cell + 3 under the mouse, 0 none
int pressed_code = 0; // cell + 3 held, negative while off it, 0 none
HWND hover_capture = nullptr;
HBITMAP bitmap = nullptr;

bool horizontal() {
    return shell_opts.palette == 1;
}

// The handles of the palette's current row (empty before a read).
std::vector<handle> current_row() {
    std::vector<handle> out;
    const palette_grid& g = palette_cells;
    for (int c = 0; c < g.cols; ++c) out.push_back(grid_tool(g, g.cur_row, c));
    return out;
}

// The tool a cell belongs to (its own, or the one to its left for the right
// half of a button); -1 none.
int tool_cell_at(const std::vector<handle>& row, int cell) {
    if (cell < 0 || cell >= static_cast<int>(row.size())) return -1;
    if (row[static_cast<std::size_t>(cell)]) return cell;
    if (cell > 0 && row[static_cast<std::size_t>(cell) - 1]) return cell - 1;
    return -1;
}

// The code (cell + 3) of the tool under a client point; 0 none.
int hit_code(HWND w, int x, int y) {
    RECT rc;
    GetClientRect(w, &rc);
    const bool hz = horizontal();
    const int along = hz ? rc.right - 2 : rc.bottom - 2;
    const int across = hz ? rc.bottom - 4 : rc.right - 4;
    int px = x - 2, py = y - 2;
    int a = hz ? px : py, b = hz ? py : px;
    if (a < 0 || b < 0 || a >= along || b >= across) return 0;
    int cell = a / (hz ? cell_w : cell_h);
    std::vector<handle> row = current_row();
    int t = tool_cell_at(row, cell);
    return t < 0 ? 0 : t + 3;
}

RECT button_rect(int code) {
    const int i = code - 3;
    if (horizontal())
        return {cell_w * i + 2, 2, cell_w * i + 2 + 2 * cell_w + 1, 2 + palette_cell_h};
    return {2, cell_h * i + 2, 2 + palette_cell_w, cell_h * i + 2 + 2 * cell_h + 1};
}

void repaint_code(int code) {
    if (code < 3 || !tools_wnd) return;
    RECT rc = button_rect(code);
    InvalidateRect(tools_wnd, &rc, FALSE);
}

void end_hover() {
    if (hover_capture && GetCapture() == hover_capture) ReleaseCapture();
    hover_capture = nullptr;
    int old = hover_code;
    hover_code = 0;
    repaint_code(old);
}

void paint(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT rc;
    GetClientRect(w, &rc);
    FillRect(dc, &rc, bevel_face_brush());
    // The shadow edge on the side that borders the container.
    RECT edge = horizontal() ? RECT{0, rc.bottom - 1, rc.right, rc.bottom}
                             : RECT{rc.right - 1, 0, rc.right, rc.bottom};
    FillRect(dc, &edge, bevel_shadow_brush());

    const bool hz = horizontal();
    const int bw = hz ? std::max(2 * cell_w, palette_cell_w) : palette_cell_w;
    const int bh = hz ? palette_cell_h : std::max(2 * cell_h, palette_cell_h);
    const int margin_x =
        hz && 2 * cell_w < palette_cell_w ? std::max(2 - (palette_cell_w - 2 * cell_w) / 2, 0) : 2;
    const int margin_y =
        !hz && 2 * cell_h < palette_cell_h ? std::max(2 - (palette_cell_h - 2 * cell_h) / 2, 0) : 2;
    HBITMAP pictures = palette_bitmap();
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = pictures && mem ? SelectObject(mem, pictures) : nullptr;

    std::vector<handle> row = current_row();
    const int n = static_cast<int>(row.size());
    bool drawn = false;
    for (int c = 0; c < n;) {
        const int x = hz ? 2 + c * cell_w : 2;
        const int y = hz ? 2 : 2 + c * cell_h;
        handle t = row[static_cast<std::size_t>(c)];
        if (!t) {
            if (drawn && c + 1 < n && row[static_cast<std::size_t>(c) + 1]) {
                // A separator in the middle of the empty cell.
                HPEN shadow = CreatePen(PS_SOLID, 1, bevel_shadow_colour());
                HGDIOBJ op = SelectObject(dc, shadow);
                if (hz) {
                    int mx = x + cell_w / 2;
                    MoveToEx(dc, mx, 1, nullptr);
                    LineTo(dc, mx, rc.bottom - 2);
                    SelectObject(dc, GetStockObject(WHITE_PEN));
                    MoveToEx(dc, mx + 1, 1, nullptr);
                    LineTo(dc, mx + 1, rc.bottom - 2);
                } else {
                    int my = y + cell_h / 2;
                    MoveToEx(dc, 1, my, nullptr);
                    LineTo(dc, rc.right - 2, my);
                    SelectObject(dc, GetStockObject(WHITE_PEN));
                    MoveToEx(dc, 1, my + 1, nullptr);
                    LineTo(dc, rc.right - 2, my + 1);
                }
                SelectObject(dc, op);
                DeleteObject(shadow);
            }
            ++c;
            continue;
        }
        tool_record* r = lock_tool(t);
        const std::uint32_t icon = r ? r->icon : 0;
        const bool greyed = r && ((r->state >> 8) & 0xFF);
        const bool locked = r && (r->state & 0xFF);
        COLORREF back = bevel_face_colour(), text = bevel_text_colour();
        if (greyed) {
            text = bevel_shadow_colour();
        } else if (r) {
            if (r->back_colour != -1) back = static_cast<COLORREF>(r->back_colour);
            if (r->text_colour != -1) text = static_cast<COLORREF>(r->text_colour);
        }
        unlock_tool(t);
        const int code = c + 3;
        int state = -1;
        if (locked || pressed_code == code)
            state = 1;
        else if (hover_code == code || pressed_code == -code)
            state = 0;
        RECT face{x, y, x + bw, y + bh};
        HBRUSH fb = CreateSolidBrush(back);
        FillRect(dc, &face, fb);
        DeleteObject(fb);
        bevel_content content;
        content.kind = bevel_content::none;
        content.dc_mode = bevel_content::dc_as_is;
        draw_bevel_button(dc, nullptr, x, y, bw, bh, state, &content);
        if (mem && pictures) {
            const int shift = state == 1 ? 1 : 0;
            const int pw = std::min(bw - 2 * margin_x - 3, palette_picture_w);
            const int ph = std::min(bh - 2 * margin_y - 3, palette_picture_h);
            SetTextColor(dc, text);
            SetBkColor(dc, back);
            // The pictures are drawn on the face colour; that colour is the
            // button's background here, everything else the picture.
            for (int py = 0; py < ph; ++py)
                for (int px = 0; px < pw; ++px) {
                    COLORREF p = GetPixel(mem, static_cast<int>(icon & 0xFFFF) + px,
                                          static_cast<int>(icon >> 16) + py);
                    if (p == bevel_face_colour() || p == CLR_INVALID) continue;
                    if (greyed) p = text;
                    SetPixelV(dc, x + margin_x + 2 + px + shift, y + margin_y + 2 + py + shift, p);
                }
        }
        drawn = true;
        c += 2;
    }
    if (old) SelectObject(mem, old);
    if (mem) DeleteDC(mem);
    EndPaint(w, &ps);
}

bool model_open() {
    return model_rec && model_rec->state != 2;
}

void run_tool_action(handle tool) {
    tool_record* r = lock_tool(tool);
    if (!r) return;
    tool_action action = tool_action_of(r->action);
    unlock_tool(tool);
    if (!action) return;
    if (tool_action_runner)
        tool_action_runner(action, tool);
    else
        action(tool);
}

// Runs a tool of the palette grid at (row, cell); the button is repainted
// by its cell afterwards.
void run_cell(const palette_grid& grid, int row, int cell, int options, int lock, bool refuse) {
    handle tool = grid_tool(grid, row, cell);
    if (!tool) return;
    ++busy_depth;
    struct lower {
        ~lower() { --busy_depth; }
    } lowered;
    if (options) {
        if (refuse) report(8, "Cannot change tool options in the Kavrel Viewer");
    } else if (lock) {
        if (refuse) report(8, "Cannot lock tools in the Kavrel Viewer");
    } else if (!model_open()) {
        if (refuse) report(8, "Open or start a new model first.");
    } else {
        run_tool_action(tool);
    }
    if (&grid == &palette_cells) repaint_code(cell + 3);
}

} // namespace

void palette_toolset_changed(int kind) {
    if (kind != 0 || !tools_wnd) return;
    hover_code = pressed_code = 0;
    RECT rc;
    GetClientRect(tools_wnd, &rc);
    SendMessage(tools_wnd, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    InvalidateRect(tools_wnd, nullptr, TRUE);
}

int palette_cell_width() {
    return cell_w;
}
int palette_cell_height() {
    return cell_h;
}

HBITMAP palette_bitmap() {
    if (!bitmap) bitmap = paint_resource_bitmap(bitmap_palette, bevel_face_colour(), RGB(0, 0, 0));
    return bitmap;
}

void free_palette_bitmap() {
    if (bitmap) DeleteObject(bitmap);
    bitmap = nullptr;
}

void run_palette_tool(const palette_grid* grid, int row, int index, int options, int lock) {
    if (!grid) {
        // The index-th occupied cell of the current row.
        std::vector<handle> cells = current_row();
        int seen = 0;
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            if (!cells[static_cast<std::size_t>(c)]) continue;
            if (seen++ == index) {
                run_cell(palette_cells, palette_cells.cur_row, c, options, lock, true);
                return;
            }
        }
        return;
    }
    run_cell(*grid, row, index, options, lock, true);
}

void run_palette_tool(handle tool) {
    const palette_grid& g = palette_cells;
    for (int c = 0; c < g.cols; ++c)
        if (grid_tool(g, g.cur_row, c) == tool) {
            run_cell(g, g.cur_row, c, 0, 0, true);
            return;
        }
    if (!tool) return;
    if (!model_open()) {
        report(8, "Open or start a new model first.");
        return;
    }
    ++busy_depth;
    run_tool_action(tool);
    --busy_depth;
}

void fill_tools_menu(HMENU menu) {
    if (!menu) return;
    while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
    int k = 0;
    for (handle t : current_row()) {
        if (!t || k >= tool_menu_most) continue;
        std::string name;
        for (char ch : tool_name(t)) {
            if (ch == '&') name += '&'; // shown as itself, not as a mnemonic
            name += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
        }
        if (name.empty()) name = "(unnamed tool)";
        std::string text = name;
        if (k < 10) {
            const char digit = static_cast<char>(k == 9 ? '0' : '1' + k);
            text = (k == 9 ? std::string("1&0 ") : std::string("&") + digit + " ") + name +
                   "\tCtrl+" + digit;
        }
        AppendMenu(menu, MF_STRING, static_cast<UINT_PTR>(cmd_tool_first + k), text.c_str());
        ++k;
    }
    if (k == 0) AppendMenu(menu, MF_STRING | MF_GRAYED, 0, "No tools in the palette");
}

bool palette_has_locked_tools() {
    for (handle t : current_row()) {
        if (!t) continue;
        tool_record* r = lock_tool(t);
        bool locked = r && (r->state & 0xFF);
        unlock_tool(t);
        if (locked) return true;
    }
    return false;
}

void rerun_locked_tools() {
    const palette_grid& g = palette_cells;
    const int row = g.cur_row;
    for (int c = 0; c < g.cols; ++c) {
        // The grid is read again each time: an action may replace the set.
        if (&g != &palette_cells || row != palette_cells.cur_row) return;
        handle t = grid_tool(g, row, c);
        if (!t) continue;
        tool_record* r = lock_tool(t);
        bool locked = r && (r->state & 0xFF);
        unlock_tool(t);
        if (locked) run_cell(g, row, c, 0, 0, false);
    }
}

LRESULT tools_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_SIZE: {
        RECT rc;
        GetClientRect(w, &rc);
        const int cols = palette_cells.cols;
        cell_w = palette_cell_w;
        cell_h = palette_cell_h;
        if (cols > 0) {
            if (horizontal())
                cell_w = std::min(static_cast<int>(rc.right - palette_cell_w / 2 - 3) / cols,
                                  (palette_cell_w + 1) / 2);
            else
                cell_h =
                    std::min(static_cast<int>(rc.bottom - 18) / cols, (palette_cell_h + 1) / 2);
            cell_w = std::max(cell_w, 1);
            cell_h = std::max(cell_h, 1);
        }
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    }
    case WM_PAINT:
        paint(w);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        int code = hit_code(w, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        if (!code) return 0;
        hover_capture = nullptr;
        int old = hover_code;
        hover_code = 0;
        repaint_code(old);
        SetCapture(w);
        pressed_code = code;
        repaint_code(code);
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (modal_count > 0) return 0;
        int code = hit_code(w, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        if (pressed_code) {
            int base = std::abs(pressed_code);
            int now = code == base ? base : -base;
            if (now != pressed_code) {
                pressed_code = now;
                repaint_code(base);
            }
            return 0;
        }
        if (code != hover_code) {
            repaint_code(hover_code);
            hover_code = code;
            if (code) {
                hover_capture = w;
                SetCapture(w);
                repaint_code(code);
            } else {
                if (GetCapture() == w) ReleaseCapture();
                hover_capture = nullptr;
            }
        }
        track_tooltip(w, code, 0);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
        if (GetCapture() == w) ReleaseCapture();
        hover_capture = nullptr;
        hover_code = 0;
        int code = pressed_code;
        pressed_code = 0;
        if (code > 0) {
            const bool ctrl = (wp & MK_CONTROL) != 0;
            const int lock = (wp & MK_SHIFT) ? 1 : 0;
            const int options = (m == WM_RBUTTONUP || ctrl) ? 1 : 0;
            run_palette_tool(&palette_cells, palette_cells.cur_row, code - 3, options, lock);
        }
        repaint_code(std::abs(code));
        return 0;
    }
    case WM_SYSKEYDOWN:
        if (hover_capture == w) end_hover();
        return DefWindowProc(w, m, wp, lp);
    case wm_tip_request: {
        auto* req = reinterpret_cast<tip_request*>(lp);
        int code = static_cast<int>(wp);
        if (!req || code < 3) return 0;
        handle t = grid_tool(palette_cells, palette_cells.cur_row, code - 3);
        if (!t) return 0;
        static std::string text;
        text = tool_name(t);
        if (text.empty()) return 0;
        req->text = text.c_str();
        req->code = code;
        if (horizontal()) {
            req->x = cell_w * (code - 3) + 2;
            req->y = palette_cell_h + 2;
        } else {
            req->side = true;
            req->x = palette_cell_w + 2;
            req->y = cell_h * (code - 3) + 2;
        }
        return 1;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

int arrange_windows(int mode) {
    if (!container_wnd) return 0;
    std::vector<HWND> list; // bottom of the Z order first
    for (HWND c = GetWindow(container_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c)) list.push_back(c);
    std::reverse(list.begin(), list.end());
    auto proc_of = [](HWND h) {
        return reinterpret_cast<WNDPROC>(GetWindowLongPtr(h, GWLP_WNDPROC));
    };
    const HWND panel = control_wnd, subs = subscript_panel_hwnd();
    auto is_float = [&](HWND h) { return h && (h == panel || h == subs); };
    auto kept_on_top = [&](HWND h) {
        return (h == panel && (float_opts & fo_control_on_top)) ||
               (h == subs && (float_opts & fo_subscript_on_top));
    };
    auto below = [](HWND h, HWND anchor) {
        SetWindowPos(h, anchor, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    };

    if (mode == 2) {
        auto it = std::find_if(list.begin(), list.end(), is_float);
        if (it == list.end()) return 0;
        HWND anchor = *it;
        for (auto j = it + 1; j != list.end(); ++j)
            if (!is_float(*j)) below(*j, anchor);
        activate_window(active_child && IsWindow(active_child) ? active_child : anchor, 0, 0);
        return 1;
    }
    const WNDPROC group = mode == 1 ? WNDPROC(sketch_parent_proc) : WNDPROC(toolwrapper_proc);
    auto it = std::find_if(list.begin(), list.end(), [&](HWND h) { return proc_of(h) == group; });
    if (it == list.end()) return 0;
    HWND anchor = *it;
    if (mode == 3 || !(float_opts & fo_build_behind)) {
        for (auto j = it + 1; j != list.end(); ++j)
            if (proc_of(*j) != group && !kept_on_top(*j)) below(*j, anchor);
    }
    HWND current = mode == 1
                       ? build_wnd
                       : (active_child && proc_of(active_child) == group ? active_child : nullptr);
    if (current && active_child == current)
        activate_window(current, 1, 0);
    else
        activate_window(current ? current : anchor, 0, 0);
    return 1;
}
