// The painted button bitmaps (see bitmaps.h). Every glyph is a few lines and
// shapes in a cell; the cells sit at the x offsets the toolbar and bottom-bar
// item tables name.
#include "resources/bitmaps.h"

#include "platform/win.h"

#include <initializer_list>

namespace {

constexpr COLORREF red = RGB(192, 0, 0);
constexpr COLORREF green = RGB(0, 128, 0);
constexpr COLORREF blue = RGB(0, 0, 160);
constexpr COLORREF yellow = RGB(224, 192, 0);
constexpr COLORREF white = RGB(255, 255, 255);

// Drawing in one cell of a strip: co-ordinates relative to the cell.
class cell_painter {
public:
    cell_painter(HDC dc, int x0, COLORREF text) : dc_(dc), x0_(x0), text_(text) {}
    void line(int x1, int y1, int x2, int y2, COLORREF c) {
        HPEN pen = CreatePen(PS_SOLID, 1, c);
        HGDIOBJ old = SelectObject(dc_, pen);
        MoveToEx(dc_, x0_ + x1, y1, nullptr);
        LineTo(dc_, x0_ + x2, y2);
        SelectObject(dc_, old);
        DeleteObject(pen);
    }
    void ink(int x1, int y1, int x2, int y2) { line(x1, y1, x2, y2, text_); }
    void box(int l, int t, int r, int b, COLORREF fill_colour) {
        HBRUSH brush = CreateSolidBrush(fill_colour);
        HPEN pen = CreatePen(PS_SOLID, 1, text_);
        HGDIOBJ ob = SelectObject(dc_, brush), op = SelectObject(dc_, pen);
        Rectangle(dc_, x0_ + l, t, x0_ + r, b);
        SelectObject(dc_, ob);
        SelectObject(dc_, op);
        DeleteObject(brush);
        DeleteObject(pen);
    }
    void solid(int l, int t, int r, int b, COLORREF c) {
        HBRUSH brush = CreateSolidBrush(c);
        RECT rc{x0_ + l, t, x0_ + r, b};
        FillRect(dc_, &rc, brush);
        DeleteObject(brush);
    }
    void shape(std::initializer_list<POINT> pts, COLORREF fill_colour) {
        POINT p[12];
        int n = 0;
        for (POINT q : pts)
            if (n < 12) p[n++] = POINT{x0_ + q.x, q.y};
        HBRUSH brush = CreateSolidBrush(fill_colour);
        HPEN pen = CreatePen(PS_SOLID, 1, text_);
        HGDIOBJ ob = SelectObject(dc_, brush), op = SelectObject(dc_, pen);
        Polygon(dc_, p, n);
        SelectObject(dc_, ob);
        SelectObject(dc_, op);
        DeleteObject(brush);
        DeleteObject(pen);
    }
    // A sheet of paper with a folded corner.
    void page(int l, int t, int r, int b) {
        shape({{l, t}, {r - 4, t}, {r, t + 4}, {r, b}, {l, b}}, white);
        ink(r - 4, t, r - 4, t + 4);
        ink(r - 4, t + 4, r, t + 4);
    }
    void disk(int l, int t) {
        box(l, t, l + 13, t + 13, blue);
        solid(l + 3, t + 1, l + 10, t + 6, white);
        solid(l + 4, t + 9, l + 9, t + 12, RGB(192, 192, 192));
    }
    void arrow_right(int l, int t, COLORREF c) {
        shape({{l, t + 3},
               {l + 5, t + 3},
               {l + 5, t},
               {l + 10, t + 5},
               {l + 5, t + 10},
               {l + 5, t + 7},
               {l, t + 7}},
              c);
    }
    void arrow_left(int l, int t, COLORREF c) {
        shape({{l + 10, t + 3},
               {l + 5, t + 3},
               {l + 5, t},
               {l, t + 5},
               {l + 5, t + 10},
               {l + 5, t + 7},
               {l + 10, t + 7}},
              c);
    }
    void house(int l, int t) {
        shape({{l + 5, t},
               {l + 10, t + 5},
               {l + 9, t + 5},
               {l + 9, t + 10},
               {l + 1, t + 10},
               {l + 1, t + 5},
               {l, t + 5}},
              yellow);
    }
    void slider(int l, int t) {
        ink(l, t + 6, l + 12, t + 6);
        box(l + 6, t + 2, l + 9, t + 11, RGB(192, 192, 192));
    }

private:
    HDC dc_;
    int x0_;
    COLORREF text_;
};

// The toolbar images, by the x offset the item table gives.
void paint_toolbar_cell(cell_painter& p, int offset) {
    switch (offset) {
    case 16: // a new model: a blank page
        p.page(3, 1, 13, 15);
        break;
    case 32: // open: a folder
        p.shape({{1, 4}, {5, 4}, {6, 6}, {13, 6}, {13, 14}, {1, 14}}, yellow);
        p.shape({{3, 8}, {15, 8}, {13, 14}, {1, 14}}, RGB(240, 216, 96));
        break;
    case 48: // save: a disk
        p.disk(1, 1);
        break;
    case 80: // copy: two pages
        p.page(1, 1, 10, 11);
        p.page(5, 4, 14, 15);
        break;
    case 112: // print: a printer
        p.page(4, 1, 12, 7);
        p.box(1, 7, 15, 13, RGB(192, 192, 192));
        p.solid(11, 9, 13, 10, green);
        break;
    case 128: // build windows: a window with two boxes joined
        p.box(1, 2, 15, 14, white);
        p.solid(2, 3, 14, 5, blue);
        p.box(3, 7, 7, 11, RGB(192, 192, 192));
        p.ink(7, 9, 10, 9);
        p.box(10, 7, 14, 11, RGB(192, 192, 192));
        break;
    case 144: // output windows: a window with a graph
        p.box(1, 2, 15, 14, white);
        p.solid(2, 3, 14, 5, blue);
        p.line(3, 12, 7, 8, red);
        p.line(7, 8, 10, 10, red);
        p.line(10, 10, 13, 6, red);
        break;
    case 160: // Control Panel: two sliders
        p.slider(1, -2);
        p.slider(3, 4);
        break;
    case 176: // subscripts: brackets
        p.ink(4, 2, 2, 2);
        p.ink(2, 2, 2, 13);
        p.ink(2, 13, 5, 13);
        p.ink(11, 2, 13, 2);
        p.ink(13, 2, 13, 13);
        p.ink(13, 13, 10, 13);
        p.solid(7, 4, 9, 6, blue);
        p.solid(7, 7, 9, 12, blue);
        break;
    case 192: // set up a simulation: a page with a pencil
        p.page(1, 1, 11, 15);
        p.line(7, 13, 14, 6, blue);
        p.line(8, 13, 15, 6, blue);
        break;
    case 208: // run: a filled play triangle
        p.shape({{4, 2}, {13, 8}, {4, 14}}, green);
        break;
    case 224: // a game: a die
        p.box(2, 2, 14, 14, white);
        p.solid(4, 4, 6, 6, red);
        p.solid(7, 7, 9, 9, red);
        p.solid(10, 10, 12, 12, red);
        break;
    case 240: // stop: a red square
        p.box(3, 3, 13, 13, red);
        break;
    case 272: // a drop-down chooser (9 wide)
        p.shape({{0, 6}, {6, 6}, {3, 9}}, RGB(0, 0, 0));
        break;
    case 288: // change constants: a slider
        p.slider(2, 2);
        break;
    case 304: // change lookups: a curve on axes
        p.ink(2, 2, 2, 13);
        p.ink(2, 13, 14, 13);
        p.line(3, 12, 7, 10, blue);
        p.line(7, 10, 10, 5, blue);
        p.line(10, 5, 14, 3, blue);
        break;
    case 320: // move forward
        p.arrow_right(3, 3, green);
        break;
    case 336: // move backward
        p.arrow_left(2, 3, red);
        break;
    case 352: // Plausitests: a check mark
        p.line(2, 8, 6, 12, green);
        p.line(2, 9, 6, 13, green);
        p.line(6, 12, 14, 3, green);
        p.line(6, 13, 14, 4, green);
        break;
    case 400: // simulate on change: a wave with a play marker
        p.line(1, 9, 4, 4, blue);
        p.line(4, 4, 7, 12, blue);
        p.line(7, 12, 10, 6, blue);
        p.shape({{11, 9}, {15, 12}, {11, 15}}, green);
        break;
    case 416: // read settings: an arrow into a page
        p.page(6, 1, 15, 15);
        p.arrow_right(0, 5, blue);
        break;
    case 432: // save settings: a disk with an arrow
        p.disk(3, 3);
        p.arrow_right(0, 0, green);
        break;
    case 448: // reset the current slider: a house
        p.house(3, 3);
        break;
    case 464: // reset all: two houses
        p.house(0, 1);
        p.house(5, 5);
        break;
    case 480: // save this run: a disk with a plus
        p.disk(1, 3);
        p.solid(11, 0, 13, 6, green);
        p.solid(9, 2, 15, 4, green);
        break;
    default:
        break;
    }
}

// The bottom bar's images (12 x 12 cells).
void paint_bottom_cell(cell_painter& p, int offset) {
    switch (offset) {
    case 12: // polarity: a plus and a minus
        p.ink(1, 3, 6, 3);
        p.ink(3, 1, 3, 6);
        p.ink(6, 9, 11, 9);
        break;
    case 24: // arrow width: three lines of growing width
        p.ink(1, 2, 11, 2);
        p.solid(1, 5, 11, 7, RGB(0, 0, 0));
        p.solid(1, 8, 11, 11, RGB(0, 0, 0));
        break;
    case 48: // next view
        p.shape({{3, 1}, {9, 6}, {3, 11}}, RGB(0, 0, 0));
        break;
    case 60: // previous view
        p.shape({{9, 1}, {3, 6}, {9, 11}}, RGB(0, 0, 0));
        break;
    case 72: // push to the background: a grey box behind a white one
        p.box(1, 1, 8, 8, RGB(128, 128, 128));
        p.box(4, 4, 11, 11, white);
        break;
    case 84: // text position: a box with a line of text below
        p.box(3, 1, 9, 6, white);
        p.ink(2, 9, 10, 9);
        break;
    case 96: // add the workbench variable: a box with a plus
        p.box(1, 3, 8, 10, white);
        p.ink(9, 2, 12, 2);
        p.ink(10, 0, 10, 5);
        break;
    case 108: // surround shape: an ellipse-like octagon
        p.shape({{3, 1}, {8, 1}, {11, 4}, {11, 7}, {8, 10}, {3, 10}, {0, 7}, {0, 4}}, white);
        break;
    default:
        break;
    }
}

// The caption buttons (16 x 14 cells): minimise, restore and close of the
// build window; then the tool frames' buttons, drawn inside 13 x 13 so a
// 15-pixel button with a one-pixel inset shows them whole.
void paint_caption_cell(cell_painter& p, int index) {
    const COLORREF grey = RGB(192, 192, 192);
    switch (index) {
    case 0:
        p.solid(4, 9, 11, 11, RGB(0, 0, 0));
        break;
    case 1:
        p.box(3, 5, 10, 11, white);
        p.ink(6, 2, 13, 2);
        p.ink(13, 2, 13, 8);
        p.ink(6, 2, 6, 5);
        break;
    case 2:
        for (int d = 0; d < 2; ++d) {
            p.ink(4 + d, 3, 12 + d, 11);
            p.ink(11 + d, 3, 3 + d, 11);
        }
        break;
    case caption_delete: // a waste basket
        p.shape({{3, 4}, {10, 4}, {9, 12}, {4, 12}}, white);
        p.ink(2, 3, 12, 3);
        p.ink(5, 2, 9, 2);
        p.ink(5, 6, 5, 11);
        p.ink(8, 6, 8, 11);
        break;
    case caption_lock:   // a closed padlock
    case caption_unlock: // the shackle up and open at the right
        p.box(2, 6, 11, 12, yellow);
        p.ink(6, 8, 6, 10);
        if (index == caption_lock) {
            p.ink(4, 6, 4, 2);
            p.ink(5, 1, 8, 1);
            p.ink(9, 2, 9, 6);
        } else {
            p.ink(4, 6, 4, 1);
            p.ink(5, 0, 8, 0);
            p.ink(9, 1, 9, 3);
        }
        break;
    case caption_print: // a printer with a sheet in and one out
        p.shape({{3, 0}, {9, 0}, {9, 5}, {3, 5}}, white);
        p.box(1, 5, 12, 10, grey);
        p.solid(9, 6, 11, 7, green);
        p.shape({{3, 9}, {9, 9}, {9, 12}, {3, 12}}, white);
        break;
    case caption_export: // a sheet with an arrow leaving it
        p.page(1, 1, 8, 12);
        p.shape({{4, 5}, {8, 5}, {8, 3}, {12, 6}, {8, 9}, {8, 7}, {4, 7}}, green);
        break;
    case caption_save: // a disk
        p.disk(0, 0);
        break;
    case caption_maximise: // a window with its title bar
        p.box(1, 1, 12, 12, white);
        p.solid(2, 2, 11, 4, blue);
        break;
    case caption_restore: // two windows, one behind the other
        p.box(4, 1, 12, 8, white);
        p.solid(5, 2, 11, 3, blue);
        p.box(1, 5, 9, 12, white);
        p.solid(2, 6, 8, 7, blue);
        break;
    default: // close, 13 x 13
        for (int d = 0; d < 2; ++d) {
            p.ink(2 + d, 2, 10 + d, 10);
            p.ink(10 + d, 2, 2 + d, 10);
        }
        break;
    }
}

// The axes of a small graph in a palette picture.
void graph_axes(cell_painter& p) {
    p.ink(1, 1, 1, 13);
    p.ink(1, 13, 15, 13);
}

// The palette pictures, by the icon's place (x, y) in the bitmap.
void paint_palette_cell(cell_painter& p, int x, int y) {
    switch (y * 1000 + x) {
    case 0: // horizontal bar graph
        p.solid(2, 2, 11, 5, blue);
        p.solid(2, 6, 14, 9, red);
        p.solid(2, 10, 8, 13, green);
        p.ink(1, 1, 1, 14);
        break;
    case 16: // bar graph
        p.solid(2, 6, 5, 13, blue);
        p.solid(6, 2, 9, 13, red);
        p.solid(10, 8, 13, 13, green);
        p.ink(1, 13, 15, 13);
        break;
    case 32: // runs compare: two pages and an equals sign
        p.page(0, 1, 7, 12);
        p.page(8, 3, 15, 14);
        p.ink(3, 6, 5, 6);
        p.ink(11, 8, 13, 8);
        break;
    case 48: // document: a page of lines
        p.page(2, 0, 13, 14);
        for (int l = 4; l <= 11; l += 2) p.ink(4, l, 11, l);
        break;
    case 15016: // Gantt: bars offset in time
        p.solid(1, 2, 8, 5, blue);
        p.solid(5, 6, 12, 9, red);
        p.solid(9, 10, 15, 13, green);
        break;
    case 15032:
    case 15048:
    case 15064:
    case 15080:
    case 15096:
    case 15112: { // graphs: lines, cumulative, stacked; then without markers
        graph_axes(p);
        p.line(2, 11, 6, 6, blue);
        p.line(6, 6, 10, 8, blue);
        p.line(10, 8, 14, 2, blue);
        if (x == 48 || x == 96) p.solid(2, 11, 14, 13, RGB(128, 128, 255));
        if (x == 64 || x == 112) {
            p.line(2, 12, 6, 10, red);
            p.line(6, 10, 14, 7, red);
        }
        if (x < 80) p.solid(5, 5, 8, 8, red);
        break;
    }
    case 15128: // loops: two arrows round a circle
        p.line(4, 3, 11, 3, red);
        p.line(11, 3, 13, 7, red);
        p.line(13, 7, 11, 11, blue);
        p.line(11, 11, 4, 11, blue);
        p.line(4, 11, 2, 7, blue);
        p.line(2, 7, 4, 3, red);
        p.ink(9, 1, 11, 3);
        p.ink(9, 5, 11, 3);
        p.ink(6, 9, 4, 11);
        p.ink(6, 13, 4, 11);
        break;
    case 15144: // outline: indented lines
        p.ink(1, 2, 10, 2);
        p.ink(4, 5, 13, 5);
        p.ink(4, 8, 12, 8);
        p.ink(7, 11, 15, 11);
        break;
    case 30000:
    case 30016:
    case 30032:
    case 30048:
    case 30064:
    case 30080: { // strip graphs: stacked strips, lines or points
        for (int s = 0; s < 3; ++s) {
            int b = 4 + s * 5;
            p.ink(1, b, 15, b);
            if (x >= 48) {
                for (int k = 3; k < 15; k += 4) p.solid(k, b - 2 - (k + s) % 2, k + 2, b, blue);
            } else {
                p.line(2, b - 1, 8, b - 3, blue);
                p.line(8, b - 3, 14, b - 1, blue);
            }
        }
        if (x == 16 || x == 64) p.solid(12, 0, 15, 3, red);
        if (x == 32 || x == 80) p.solid(12, 0, 15, 3, green);
        break;
    }
    case 30096:
    case 30112:
    case 30128:
    case 45128: { // sensitivity: a fan of lines, with bands
        graph_axes(p);
        if (x == 128 && y == 30) p.solid(3, 3, 15, 11, RGB(192, 192, 255));
        p.line(2, 12, 14, 2, blue);
        p.line(2, 12, 14, 6, red);
        p.line(2, 12, 14, 10, green);
        if (x == 112) p.solid(12, 0, 15, 3, red);
        break;
    }
    case 30144:
    case 45000:
    case 45016: { // trees: a variable joined to three
        const bool causes = x != 16, uses = x != 0;
        p.box(6, 5, 10, 9, white);
        for (int k = 0; k < 3; ++k) {
            int yy = 1 + k * 5;
            if (causes) {
                p.box(0, yy, 3, yy + 3, yellow);
                p.ink(3, yy + 1, 6, 7);
            }
            if (uses) {
                p.box(13, yy, 16, yy + 3, green);
                p.ink(10, 7, 13, yy + 1);
            }
        }
        break;
    }
    case 45048:
    case 45112: { // tables: a grid, time across or down
        p.box(1, 1, 15, 14, white);
        p.solid(2, 2, 14, 4, RGB(192, 192, 192));
        for (int k = 4; k < 14; k += 3) p.ink(1, k, 15, k);
        if (x == 48) {
            p.ink(5, 1, 5, 14);
            p.ink(10, 1, 10, 14);
        } else {
            p.ink(7, 1, 7, 14);
        }
        break;
    }
    case 45064: // statistics: a sigma
        p.ink(3, 2, 12, 2);
        p.ink(3, 2, 8, 7);
        p.ink(8, 7, 3, 12);
        p.ink(3, 12, 12, 12);
        p.ink(12, 2, 12, 4);
        p.ink(12, 12, 12, 10);
        break;
    case 45080: // units check: a ruler and a check mark
        p.box(0, 9, 15, 14, yellow);
        for (int k = 3; k < 15; k += 3) p.ink(k, 9, k, 11);
        p.line(3, 4, 6, 7, green);
        p.line(6, 7, 13, 0, green);
        break;
    default:
        break;
    }
}

HBITMAP blank(HDC screen, HDC mem, int w, int h, COLORREF face, HGDIOBJ* old) {
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    if (!bmp) return nullptr;
    *old = SelectObject(mem, bmp);
    HBRUSH brush = CreateSolidBrush(face);
    RECT rc{0, 0, w, h};
    FillRect(mem, &rc, brush);
    DeleteObject(brush);
    return bmp;
}

} // namespace

HBITMAP paint_resource_bitmap(int id, COLORREF face, COLORREF text) {
    int w = 0, h = 0;
    switch (id) {
    case bitmap_toolbar:
        w = 496, h = toolbar_strip_h;
        break;
    case bitmap_bottom_bar:
        w = 120, h = bottom_strip_h;
        break;
    case bitmap_caption:
        w = caption_cells * caption_cell_w, h = caption_cell_h;
        break;
    case bitmap_dropdown:
        w = 9, h = 12;
        break;
    case bitmap_palette:
    case bitmap_sketch_tools:
        w = palette_bitmap_w, h = palette_bitmap_h;
        break;
    default:
        return nullptr;
    }
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = nullptr;
    HBITMAP bmp = mem ? blank(screen, mem, w, h, face, &old) : nullptr;
    if (bmp) {
        switch (id) {
        case bitmap_toolbar:
            for (int x = 16; x < w; x += toolbar_cell_w) {
                cell_painter p(mem, x, text);
                paint_toolbar_cell(p, x);
            }
            break;
        case bitmap_bottom_bar:
            for (int x = 12; x < w; x += bottom_cell_w) {
                cell_painter p(mem, x, text);
                paint_bottom_cell(p, x);
            }
            break;
        case bitmap_palette:
        case bitmap_sketch_tools:
            for (int y = 0; y < palette_bitmap_h; y += palette_picture_h)
                for (int x = 0; x < palette_bitmap_w; x += palette_picture_w) {
                    // Each picture drawn with its own origin at the place.
                    POINT was;
                    SetViewportOrgEx(mem, 0, y, &was);
                    cell_painter p(mem, x, text);
                    paint_palette_cell(p, x, y);
                    SetViewportOrgEx(mem, was.x, was.y, nullptr);
                }
            break;
        case bitmap_caption:
            for (int i = 0; i < caption_cells; ++i) {
                cell_painter p(mem, i * caption_cell_w, text);
                paint_caption_cell(p, i);
            }
            break;
        default: {
            cell_painter p(mem, 0, text);
            p.shape({{1, 4}, {7, 4}, {4, 8}}, text);
            break;
        }
        }
        SelectObject(mem, old);
    }
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return bmp;
}
