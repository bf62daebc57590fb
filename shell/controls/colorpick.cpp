// The colour picker (see colorpick.h).
#include "shell/controls/colorpick.h"

#include "foundation/memory.h"
#include "platform/gdi.h"
#include "platform/messages.h"
#include "shell/controls/bevel.h"
#include "shell/mainloop.h"
#include "shell/state.h"

namespace {

// Rows 0 to 5 of the grid; rows 6 and 7 are the custom colours.
constexpr COLORREF fixed_colours[48] = {
    no_colour,  0x00FFFFFF, 0x00C0C0C0, 0x00A0A0A0, 0x00808080, 0x005C5C5C, 0x00404040,
    0x00000000, //
    0x00000000, 0x00004080, 0x00004040, 0x00004000, 0x00804000, 0x00800000, 0x00804040,
    0x00404040, //
    0x00000080, 0x000080FF, 0x00008080, 0x00008000, 0x00808040, 0x00FF0000, 0x00C08080,
    0x00808080, //
    0x000000FF, 0x0000A0FF, 0x0000C080, 0x0062A040, 0x00C0C000, 0x00FF8000, 0x00800080,
    0x00A0A0A0, //
    0x00FF00FF, 0x0000C0FF, 0x0000FFFF, 0x0000FF00, 0x00FFFF00, 0x00FFC000, 0x00400080,
    0x00C0C0C0, //
    0x00C080FF, 0x0080C0FF, 0x0080FFFF, 0x00C0FFC0, 0x00FFFFC0, 0x00FFC080, 0x00C080C0,
    0x00FFFFFF, //
};
constexpr COLORREF custom_default = 0x00C0C0C0;
COLORREF customs[16] = {custom_default, custom_default, custom_default, custom_default,
                        custom_default, custom_default, custom_default, custom_default,
                        custom_default, custom_default, custom_default, custom_default,
                        custom_default, custom_default, custom_default, custom_default};

constexpr int cell_w = 18, cell_h = 12, step_x = 20, step_y = 14, margin = 2;

// The picker's state while it is open: the flags of the button that opened
// it, the pressed cell (cell + 1 while the button is down over it, negated
// while the pointer is off it, 0 none) and the loop level's result.
struct picker_state {
    HWND window = nullptr;
    int flags = 0;
    int pressed = 0;
    int result = 0;
};
picker_state picker;

int screen_width() {
    return screen_right > 0 ? screen_right : GetSystemMetrics(SM_CXSCREEN);
}
int screen_height() {
    return screen_bottom > 0 ? screen_bottom : GetSystemMetrics(SM_CYSCREEN);
}

void draw_cell(HDC dc, int cell, bool down) {
    RECT r = picker_cell_rect(cell);
    bevel_content c{};
    c.inset_x = c.inset_y = 2;
    c.dc_mode = bevel_content::dc_clear;
    if (cell == 0 && (picker.flags & cbf_allow_none)) {
        c.kind = bevel_content::text;
        c.label = "-";
        c.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    } else {
        // Cell 0 without "none" picks black, so it shows black.
        c.kind = bevel_content::colour;
        c.swatch = cell == 0 ? 0 : picker_colour(cell);
    }
    draw_bevel_button(dc, dc, r.left, r.top, r.right - r.left, r.bottom - r.top, down ? 1 : 0, &c);
}

void redraw_cell(HWND w, int cell, bool down) {
    HDC dc = GetDC(w);
    draw_cell(dc, cell, down);
    ReleaseDC(w, dc);
}

void finish(HWND w, int result) {
    if (GetCapture() == w) ReleaseCapture();
    picker.result = result;
    end_maintain(static_cast<std::int32_t>(token_of(w)), result);
}

} // namespace

COLORREF custom_colour(int index) {
    return index >= 0 && index < 16 ? customs[index] : custom_default;
}
void set_custom_colour(int index, COLORREF colour) {
    if (index >= 0 && index < 16) customs[index] = colour;
}

COLORREF picker_colour(int cell) {
    if (cell < 0 || cell >= picker_cells) return no_colour;
    return cell < 48 ? fixed_colours[cell] : customs[cell - 48];
}

RECT picker_cell_rect(int cell) {
    int c = cell % 8, r = cell / 8;
    int x = margin + step_x * c, y = margin + step_y * r;
    return RECT{x, y, x + cell_w, y + cell_h};
}

int picker_cell_at(int x, int y) {
    if (x < margin || y < margin) return -1;
    int c = (x - margin) / step_x, r = (y - margin) / step_y;
    if (c > 7 || r > 7) return -1;
    if ((x - margin) % step_x >= cell_w || (y - margin) % step_y >= cell_h) return -1;
    return 8 * r + c;
}

POINT picker_origin(int x, int y, int height, int above) {
    int sw = screen_width(), sh = screen_height();
    int left = x;
    if (left + picker_width > sw) left = sw - picker_width;
    if (left < 0) left = 0;
    int top = y + height;
    if (above || top + picker_height > sh) top = y - picker_height;
    // Kept on screen at the top too: below the button when there is room,
    // else against the top edge.
    if (top < 0) top = y + height + picker_height <= sh ? y + height : 0;
    return POINT{left, top};
}

HWND picker_window() {
    return picker.window;
}

COLORREF pick_colour(int x, int y, int height, int above, int flags) {
    constexpr COLORREF nothing = static_cast<COLORREF>(-2);
    if (picker.window) return nothing; // one picker at a time
    POINT at = picker_origin(x, y, height, above);
    // The window the picker was opened from gets the activation back.
    HWND came_from = GetActiveWindow();
    HWND w = CreateWindow("Kavrel_color", "", WS_POPUP | WS_BORDER, at.x, at.y, picker_width,
                          picker_height, main_wnd, nullptr, hinst, nullptr);
    if (!w) return nothing;
    picker = picker_state{w, flags, 0, 0};
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    SetFocus(w);
    SetCapture(w);
    {
        busy_guard busy;
        // At the loop's depth limit maintain refuses the level at once: the
        // result stays 0, nothing picked.
        maintain(static_cast<std::int32_t>(token_of(w)));
    }
    int result = picker.result;
    if (GetCapture() == w) ReleaseCapture();
    picker = picker_state{};
    if (IsWindow(w)) DestroyWindow(w);
    if (came_from && IsWindow(came_from)) {
        SetActiveWindow(came_from);
        BringWindowToTop(came_from);
    }
    if (result <= 0) return nothing;
    int cell = result - 1;
    if (cell == 0) return (flags & cbf_allow_none) ? no_colour : 0;
    return picker_colour(cell);
}

LRESULT coloring_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc{};
        GetClientRect(w, &rc);
        FillRect(dc, &rc, bevel_face_brush());
        for (int i = 0; i < picker_cells; ++i) draw_cell(dc, i, picker.pressed == i + 1);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN: {
        int cell = picker_cell_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        if (cell < 0) return 0;
        picker.pressed = cell + 1;
        redraw_cell(w, cell, true);
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (picker.pressed == 0) return 0;
        int held = (picker.pressed > 0 ? picker.pressed : -picker.pressed) - 1;
        bool over = picker_cell_at(GET_X_LPARAM(lp), GET_Y_LPARAM(lp)) == held;
        if (picker.pressed > 0 && !over) {
            picker.pressed = -picker.pressed;
            redraw_cell(w, held, false);
        } else if (picker.pressed < 0 && over) {
            picker.pressed = -picker.pressed;
            redraw_cell(w, held, true);
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        int result = 0;
        if (picker.pressed > 0) {
            int cell = picker.pressed - 1;
            redraw_cell(w, cell, false);
            result = picker.pressed;
        }
        picker.pressed = 0;
        finish(w, result);
        return 0;
    }
    case WM_KILLFOCUS:
        if (picker.window == w) finish(w, 0);
        return 0;
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}
