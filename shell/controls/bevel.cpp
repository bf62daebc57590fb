// The bevelled button face (see bevel.h).
#include "shell/controls/bevel.h"

#include "resources/bitmaps.h"

#include <cstring>

namespace {

void fill(HDC dc, int l, int t, int r, int b, HBRUSH brush) {
    if (r <= l || b <= t) return;
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, brush);
}

HBRUSH stock(int which) {
    return static_cast<HBRUSH>(GetStockObject(which));
}

// The length of the longest start of `text` that fits `width` pixels.
int fitting_length(HDC dc, const char* text, int width, SIZE* size) {
    int n = static_cast<int>(std::strlen(text));
    while (n > 0) {
        GetTextExtentPoint32(dc, text, n, size);
        if (size->cx <= width) return n;
        --n;
    }
    *size = SIZE{0, 0};
    return 0;
}

void draw_text(HDC dc, HDC measure, int x, int y, int w, int h, int shift, const bevel_content& c) {
    if (!c.label || !*c.label) return;
    HGDIOBJ old = c.font ? SelectObject(dc, c.font) : nullptr;
    HGDIOBJ old_measure = c.font && measure != dc ? SelectObject(measure, c.font) : nullptr;
    SIZE size{};
    int n = fitting_length(measure, c.label, w - 2, &size);
    int bk = SetBkMode(dc, TRANSPARENT);
    TextOut(dc, x + (w - size.cx) / 2 + shift, y + (h - size.cy) / 2 + shift, c.label, n);
    SetBkMode(dc, bk);
    if (old_measure) SelectObject(measure, old_measure);
    if (old) SelectObject(dc, old);
}

void draw_bitmap(HDC dc, int x, int y, int w, int h, int shift, const bevel_content& c) {
    if (!c.image) return; // nothing to copy: the face stays empty
    BITMAP bm{};
    if (!GetObject(c.image, sizeof bm, &bm)) return;
    int sx = 0, sy = 0, cw = bm.bmWidth, ch = bm.bmHeight;
    if (c.kind == bevel_content::strip_cell) {
        sx = c.cell_x;
        sy = c.cell_y;
        cw = c.cell_w;
        ch = bm.bmHeight - c.cell_y;
    }
    int dw = w - 2 * c.inset_x, dh = h - 2 * c.inset_y;
    if (cw < dw) dw = cw;
    if (ch < dh) dh = ch;
    if (dw <= 0 || dh <= 0 || sx + dw > bm.bmWidth) return;
    HDC mem = c.memory_dc;
    bool own = !mem || c.dc_mode >= bevel_content::dc_own_memory;
    if (own) mem = CreateCompatibleDC(dc);
    if (!mem) return;
    HGDIOBJ old = SelectObject(mem, c.image);
    BitBlt(dc, x + c.inset_x + shift, y + c.inset_y + shift, dw, dh, mem, sx, sy, SRCCOPY);
    SelectObject(mem, old);
    if (own) DeleteDC(mem);
}

} // namespace

// The system colours themselves: the workbench's colour set is read from
// them, and the platform keeps one brush per system colour.
COLORREF bevel_face_colour() {
    return GetSysColor(COLOR_BTNFACE);
}
COLORREF bevel_shadow_colour() {
    return GetSysColor(COLOR_BTNSHADOW);
}
COLORREF bevel_text_colour() {
    return GetSysColor(COLOR_BTNTEXT);
}
HBRUSH bevel_face_brush() {
    return GetSysColorBrush(COLOR_BTNFACE);
}
HBRUSH bevel_shadow_brush() {
    return GetSysColorBrush(COLOR_BTNSHADOW);
}

void draw_bevel_button(HDC dc, HDC measure, int x, int y, int w, int h, int state,
                       const bevel_content* content) {
    if (!dc || w <= 0 || h <= 0) return;
    bevel_content none{};
    const bevel_content& c = content ? *content : none;
    if (!measure) measure = dc;
    COLORREF old_text = 0, old_bk = 0;
    if (c.dc_mode >= bevel_content::dc_colours) {
        old_text = SetTextColor(dc, bevel_text_colour());
        old_bk = SetBkColor(dc, bevel_face_colour());
    }
    if (c.dc_mode >= bevel_content::dc_clear) fill(dc, x, y, x + w, y + h, bevel_face_brush());
    int r = x + w, b = y + h;
    HBRUSH white = stock(WHITE_BRUSH), black = stock(BLACK_BRUSH);
    if (state > 0) {
        fill(dc, x, y, r, y + 1, black);
        fill(dc, x, y, x + 1, b, black);
        fill(dc, x, b - 1, r, b, white);
        fill(dc, r - 1, y, r, b, white);
        fill(dc, x + 1, y + 1, r - 1, y + 2, bevel_shadow_brush());
        fill(dc, x + 1, y + 1, x + 2, b - 1, bevel_shadow_brush());
    } else if (state == 0) {
        fill(dc, x, y, r, y + 1, white);
        fill(dc, x, y, x + 1, b, white);
        fill(dc, x, b - 1, r, b, black);
        fill(dc, r - 1, y, r, b, black);
        fill(dc, x + 1, b - 2, r - 1, b - 1, bevel_shadow_brush());
        fill(dc, r - 2, y + 1, r - 1, b - 1, bevel_shadow_brush());
    }
    int shift = state > 0 ? 1 : 0;
    switch (c.kind) {
    case bevel_content::text:
        draw_text(dc, measure, x, y, w, h, shift, c);
        break;
    case bevel_content::strip_cell:
    case bevel_content::bitmap:
        draw_bitmap(dc, x, y, w, h, shift, c);
        break;
    case bevel_content::colour: {
        // The face inside the bevel, less the insets.
        HBRUSH brush = CreateSolidBrush(c.swatch);
        fill(dc, x + c.inset_x + shift, y + c.inset_y + shift, r - c.inset_x + shift,
             b - c.inset_y + shift, brush);
        DeleteObject(brush);
        break;
    }
    default:
        break;
    }
    if (c.dc_mode >= bevel_content::dc_colours) {
        SetTextColor(dc, old_text);
        SetBkColor(dc, old_bk);
    }
}

HBITMAP caption_strip() {
    static HBITMAP strip = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        strip = paint_resource_bitmap(bitmap_caption, bevel_face_colour(), bevel_text_colour());
    }
    return strip;
}

void draw_caption_cell(HDC dc, int x, int y, int w, int h, int state, int cell,
                       const char* letter) {
    bevel_content c;
    if (HBITMAP strip = caption_strip()) {
        c.kind = bevel_content::strip_cell;
        c.image = strip;
        c.cell_x = cell * caption_cell_w;
        c.cell_y = 0;
        c.cell_w = caption_cell_w;
    } else {
        c.kind = bevel_content::text;
        c.label = letter;
    }
    c.inset_x = 1;
    c.inset_y = 1;
    draw_bevel_button(dc, nullptr, x, y, w, h, state, &c);
}
