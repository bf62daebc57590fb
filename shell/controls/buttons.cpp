// The bitmap button and the colour button (see buttons.h).
#include "shell/controls/buttons.h"

#include "platform/gdi.h"
#include "platform/messages.h"
#include "resources/bitmaps.h"
#include "shell/controls/bevel.h"
#include "shell/controls/colorpick.h"
#include "shell/state.h"

#include <cstdlib>

namespace {

// ------------------------------------------------------------ bitmap button

int bit_state(HWND w) {
    return static_cast<int>((static_cast<DWORD>(GetWindowLong(w, 0)) >> 16) & 0xFF);
}
int bit_id(HWND w) {
    return static_cast<int>(static_cast<DWORD>(GetWindowLong(w, 0)) & 0xFFFF);
}
// Sets the state; true when it changed.
bool set_bit_state(HWND w, int state) {
    if (bit_state(w) == state) return false;
    DWORD v = (static_cast<DWORD>(GetWindowLong(w, 0)) & 0xFFFF) |
              (static_cast<DWORD>(state & 0xFF) << 16);
    SetWindowLong(w, 0, static_cast<LONG>(v));
    return true;
}
HBITMAP bit_bitmap(HWND w) {
    return handle_from_token<HBITMAP>(static_cast<std::uint32_t>(GetWindowLong(w, 4)));
}

void redraw(HWND w) {
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
}

bool inside_client(HWND w, LPARAM lp) {
    RECT rc{};
    GetClientRect(w, &rc);
    return PtInRect(&rc, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}) != 0;
}

void fill(HDC dc, int l, int t, int r, int b, HBRUSH brush) {
    if (r <= l || b <= t) return;
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, brush);
}

void paint_bitbutton(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT rc{};
    GetClientRect(w, &rc);
    int cw = rc.right, ch = rc.bottom;
    bool pressed = bit_state(w) == 2;
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    fill(dc, 1, 1, cw - 1, ch - 1, bevel_face_brush());
    int at;
    if (pressed) {
        fill(dc, 1, 1, cw - 1, 3, bevel_shadow_brush());
        fill(dc, 1, 1, 3, ch - 1, bevel_shadow_brush());
        at = 5;
    } else {
        fill(dc, 1, 1, cw - 1, 2, white);
        fill(dc, 1, 1, 2, ch - 1, white);
        fill(dc, cw - 3, 1, cw - 1, ch - 1, bevel_shadow_brush());
        fill(dc, 1, ch - 3, cw - 1, ch - 1, bevel_shadow_brush());
        at = 3;
    }
    // A button whose bitmap could not be loaded shows its face only.
    if (HBITMAP bmp = bit_bitmap(w); bmp && cw > 6 && ch > 6) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bmp);
        SetBkColor(dc, bevel_face_colour());
        SetTextColor(dc, bevel_text_colour());
        BitBlt(dc, at, at, cw - 6, ch - 6, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    EndPaint(w, &ps);
}

// ------------------------------------------------------------ colour button

COLORREF cb_colour(HWND w) {
    return static_cast<COLORREF>(GetWindowLong(w, 0));
}
WORD cb_flags(HWND w) {
    return GetWindowWord(w, 4);
}
void set_cb_flags(HWND w, WORD f) {
    SetWindowWord(w, 4, f);
}

void paint_colorbutton(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT rc{};
    GetClientRect(w, &rc);
    WORD flags = cb_flags(w);
    COLORREF colour = cb_colour(w);
    bevel_content c{};
    c.dc_mode = bevel_content::dc_clear;
    if (colour == no_colour && (flags & cbf_allow_none)) {
        c.kind = bevel_content::text;
        c.label = "-";
        c.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    } else {
        // "none" where it is not allowed stands for black, as the picker gives.
        if (colour == no_colour) colour = 0;
        if (flags & cbf_nearest) colour = GetNearestColor(dc, colour);
        c.kind = bevel_content::colour;
        c.swatch = colour;
    }
    draw_bevel_button(dc, dc, 0, 0, rc.right, rc.bottom, (flags & cbf_pressed) ? 1 : 0, &c);
    EndPaint(w, &ps);
}

} // namespace

HBITMAP load_button_bitmap(const char* name) {
    if (!name || !*name) return nullptr;
    if (name[0] == '#') {
        int id = std::atoi(name + 1);
        if (HBITMAP b = paint_resource_bitmap(id, bevel_face_colour(), bevel_text_colour()))
            return b;
        return LoadBitmap(hinst, MAKEINTRESOURCE(id));
    }
    return LoadBitmap(hinst, name);
}

LRESULT bitbutton_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lp);
        int id = GetDlgCtrlID(w);
        SetWindowLong(w, 0, static_cast<LONG>(id & 0xFFFF));
        HBITMAP bmp = load_button_bitmap(cs ? cs->lpszName : nullptr);
        SetWindowLong(w, 4, static_cast<LONG>(token_of(bmp)));
        return 0;
    }
    case WM_DESTROY:
        if (HBITMAP bmp = bit_bitmap(w)) DeleteObject(bmp);
        SetWindowLong(w, 4, 0);
        return 0;
    case WM_PAINT:
        paint_bitbutton(w);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        set_bit_state(w, 2);
        SetCapture(w);
        redraw(w);
        return 0;
    case WM_MOUSEMOVE: {
        int s = bit_state(w);
        if (s == 0 || GetCapture() != w) return 0;
        bool in = inside_client(w, lp);
        if ((in && s == 1 && set_bit_state(w, 2)) || (!in && s == 2 && set_bit_state(w, 1)))
            redraw(w);
        return 0;
    }
    case WM_LBUTTONUP: {
        if (GetCapture() == w) ReleaseCapture();
        if (bit_state(w) == 0) return 0;
        set_bit_state(w, 0);
        int id = bit_id(w);
        SendMessage(GetParent(w), WM_COMMAND, static_cast<WPARAM>(id), 0);
        if (IsWindow(w)) redraw(w);
        return 0;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}

LRESULT colorbutton_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_PAINT:
        paint_colorbutton(w);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case cb_set_colour:
        SetWindowLong(w, 0, static_cast<LONG>(lp));
        if (wp) set_cb_flags(w, static_cast<WORD>(wp));
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case cb_get_colour:
        return static_cast<LRESULT>(static_cast<LONG>(cb_colour(w)));
    case cb_set_flags:
        set_cb_flags(w, static_cast<WORD>(wp));
        InvalidateRect(w, nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        set_cb_flags(w, cb_flags(w) | cbf_pressed);
        SetCapture(w);
        redraw(w);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == w && (cb_flags(w) & cbf_pressed) && !inside_client(w, lp)) {
            set_cb_flags(w, cb_flags(w) & ~cbf_pressed);
            redraw(w);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (GetCapture() == w) ReleaseCapture();
        if (!(cb_flags(w) & cbf_pressed)) return 0;
        RECT wr{};
        GetWindowRect(w, &wr);
        COLORREF picked = pick_colour(wr.left, wr.top, wr.bottom - wr.top, 0, cb_flags(w));
        if (!IsWindow(w)) return 0;
        if (picked != static_cast<COLORREF>(-2)) SetWindowLong(w, 0, static_cast<LONG>(picked));
        set_cb_flags(w, cb_flags(w) & ~cbf_pressed);
        SendMessage(GetParent(w), WM_COMMAND, static_cast<WPARAM>(GetDlgCtrlID(w) & 0xFFFF), 0);
        if (IsWindow(w)) redraw(w);
        return 0;
    }
    default:
        return DefWindowProc(w, m, wp, lp);
    }
}
