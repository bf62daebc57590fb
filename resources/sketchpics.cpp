// The sketch's numbered pictures (the cloud and the small symbols), drawn from
// outlines on a 16 x 16 grid so they stay sharp at every zoom.
#include "resources/sketchpics.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

namespace {

// Each picture from 2 on is an outline on a 16 x 16 grid: M x y moves, L x y
// ... draws lines on, C cx cy r a circle, D cx cy r a filled disc, E x0 y0
// x1 y1 an ellipse, R x0 y0 x1 y1 a rectangle.
const char* const outlines[sketch_picture_count + 1] = {
    nullptr,
    nullptr, // 1: the cloud, drawn as puffs
    "C8 8 3 M8 1L8 3 M8 13L8 15 M1 8L3 8 M13 8L15 8 M3 3L5 5 M11 11L13 13 M13 3L11 5 M3 13L5 11",
    "C8 3 2 M8 5L8 10 M4 7L12 7 M8 10L5 15 M8 10L11 15",
    "R3 8 13 15 M2 8L8 2L14 8 R7 11 9 15",
    "R1 8 15 15 M1 8L5 5L5 8L9 5L9 8 R11 2 13 8",
    "C8 6 5 R7 11 9 15",
    "C8 8 6 M10 5L7 5L6 6L7 8L9 8L10 10L9 11L6 11 M8 3L8 13",
    "C8 8 6 M8 8L8 4 M8 8L11 9",
    "M8 2L4 10 M8 2L12 10 E4 7 12 15",
    "M3 15L3 1 M3 2L13 2L11 5L13 8L3 8",
    "M8 1L10 6L15 6L11 9L13 15L8 11L3 15L5 9L1 6L6 6L8 1",
    "M8 14L2 7L2 4L4 2L6 2L8 4L10 2L12 2L14 4L14 7L8 14",
    "M10 1L4 9L8 9L6 15L12 7L8 7L10 1",
    "M2 8L6 12L14 3",
    "M3 3L13 13 M13 3L3 13",
    "M2 8L14 8 M10 4L14 8L10 12",
    "M14 8L2 8 M6 4L2 8L6 12",
    "M8 14L8 2 M4 6L8 2L12 6",
    "M8 2L8 14 M4 10L8 14L12 10",
    "M8 2L8 14 M2 8L14 8",
    "M2 8L14 8",
    "C8 8 6",
    "R2 2 14 14",
    "M8 2L14 14L2 14L8 2",
    "M8 1L15 8L8 15L1 8L8 1",
    "M4 2L12 2L15 8L12 14L4 14L1 8L4 2",
    "M1 3L7 4L7 14L1 13L1 3 M15 3L9 4L9 14L15 13L15 3",
    "R1 4 15 12 M1 4L8 9L15 4",
    "R1 5 13 11 R13 7 15 9 R3 7 8 9",
    "R2 4 13 15 M2 4L5 1L15 1L13 4 M15 1L15 12L13 15",
    "R1 4 10 12 M10 6L13 6L15 9L15 12L10 12 C4 13 2 C12 13 2",
    "M1 11L1 8L4 8L6 5L11 5L13 8L15 8L15 11L1 11 C4 12 2 C12 12 2",
    "M1 6L4 4L7 6L10 4L13 6L15 5 M1 11L4 9L7 11L10 9L13 11L15 10",
    "M8 1L5 7L6 10L4 9L4 12L8 15L12 12L12 9L10 10L11 7L8 1",
    "M2 14L5 6L14 2L10 11L2 14 M2 14L10 6",
    "C5 8 3 M8 8L15 8 M12 8L12 11 M14 8L14 10",
    "R3 7 13 15 M5 7L5 4L7 2L9 2L11 4L11 7",
    "M4 12L4 7L6 3L10 3L12 7L12 12L4 12 M2 12L14 12 D8 14 1",
    "C6 6 4 M9 9L14 14",
    "M2 2L2 14L14 14 M3 12L6 8L9 10L13 4",
    "M2 14L14 14 R3 9 5 14 R7 5 9 14 R11 7 13 14",
    "C8 8 6 M8 8L8 2 M8 8L14 8",
    "M3 2L13 2L3 14L13 14L3 2",
    "C8 8 3 C8 8 6 M8 1L8 3 M8 13L8 15 M1 8L3 8 M13 8L15 8",
    "M1 6L15 6 M1 10L15 10 M5 3L11 13 M11 3L5 13",
    "R5 1 11 15 M7 13L9 13",
    "R2 2 14 10 M8 10L8 13 M5 13L11 13",
    "C8 8 6 E5 2 11 14 M2 8L14 8",
    "C8 8 6 C8 8 3 D8 8 1",
    "C8 8 6 D8 4 1 M8 7L8 12",
};

// Grid to device: the 16 x 16 grid spread over r.
struct grid {
    RECT r;
    int gx(int v) const { return r.left + v * (r.right - r.left - 1) / 16; }
    int gy(int v) const { return r.top + v * (r.bottom - r.top - 1) / 16; }
    int radius(int v) const {
        return std::max(1, v * std::min(r.right - r.left, r.bottom - r.top) / 16);
    }
};

// The numbers after one letter of an outline.
std::vector<int> numbers(const char*& p) {
    std::vector<int> out;
    for (;;) {
        while (*p == ' ') ++p;
        if (!std::isdigit(static_cast<unsigned char>(*p))) return out;
        out.push_back(static_cast<int>(std::strtol(p, const_cast<char**>(&p), 10)));
    }
}

void draw_outline(HDC dc, const char* text, const grid& g, HBRUSH ink_brush) {
    for (const char* p = text; *p;) {
        const char op = *p++;
        const std::vector<int> v = numbers(p);
        switch (op) {
        case 'M':
            if (v.size() >= 2) MoveToEx(dc, g.gx(v[0]), g.gy(v[1]), nullptr);
            break;
        case 'L':
            for (std::size_t i = 0; i + 1 < v.size(); i += 2)
                LineTo(dc, g.gx(v[i]), g.gy(v[i + 1]));
            break;
        case 'C':
        case 'D':
            if (v.size() >= 3) {
                const int x = g.gx(v[0]), y = g.gy(v[1]), k = g.radius(v[2]);
                HGDIOBJ old = op == 'D' ? SelectObject(dc, ink_brush) : nullptr;
                Ellipse(dc, x - k, y - k, x + k + 1, y + k + 1);
                if (old) SelectObject(dc, old);
            }
            break;
        case 'E':
            if (v.size() >= 4) Ellipse(dc, g.gx(v[0]), g.gy(v[1]), g.gx(v[2]) + 1, g.gy(v[3]) + 1);
            break;
        case 'R':
            if (v.size() >= 4)
                Rectangle(dc, g.gx(v[0]), g.gy(v[1]), g.gx(v[2]) + 1, g.gy(v[3]) + 1);
            break;
        default:
            break; // blanks
        }
    }
}

// The cloud: three puffs over a flat base, one outline round them all (each
// puff is drawn again inside, without a pen, over the others' edges).
void draw_cloud(HDC dc, const RECT& r, int pen) {
    const int l = r.left, t = r.top, w = std::max<int>(3, r.right - r.left),
              h = std::max<int>(3, r.bottom - r.top), rr = l + w, b = t + h;
    const RECT puffs[3] = {{l, t + h / 4, l + w / 2, b},
                           {l + w / 4, t, l + 3 * w / 4, b - h / 4},
                           {l + w / 2, t + h / 4, rr, b}};
    for (const RECT& p : puffs) Ellipse(dc, p.left, p.top, p.right, p.bottom);
    HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_PEN));
    for (const RECT& p : puffs)
        if (p.right - p.left > 2 * pen + 1 && p.bottom - p.top > 2 * pen + 1)
            Ellipse(dc, p.left + pen, p.top + pen, p.right - pen, p.bottom - pen);
    SelectObject(dc, old);
}

} // namespace

SIZE sketch_picture_size(int n) {
    if (n < 1 || n > sketch_picture_count) return SIZE{0, 0};
    if (n == sketch_picture_cloud) return SIZE{28, 18};
    return SIZE{24, 24};
}

bool draw_sketch_picture(HDC dc, int n, const RECT& r, COLORREF ink, COLORREF paper) {
    if (n < 1 || n > sketch_picture_count || !dc) return false;
    const int size = std::min(r.right - r.left, r.bottom - r.top);
    const int width = n == sketch_picture_cloud ? 1 : std::max(1, size / 16);
    HPEN pen = CreatePen(PS_SOLID, width, ink);
    HBRUSH fill = CreateSolidBrush(paper);
    HBRUSH ink_brush = CreateSolidBrush(ink);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush =
        SelectObject(dc, n == sketch_picture_cloud ? fill : GetStockObject(NULL_BRUSH));
    if (n == sketch_picture_cloud)
        draw_cloud(dc, r, width);
    else
        draw_outline(dc, outlines[n], grid{r}, ink_brush);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(ink_brush);
    DeleteObject(fill);
    DeleteObject(pen);
    return true;
}
