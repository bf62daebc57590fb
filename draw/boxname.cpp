// Boxed names and aligned texts (see boxname.h).
#include "draw/boxname.h"

#include "draw/drawing.h"
#include "draw/prims.h"
#include "platform/win.h"
#include "shell/fonts.h"
#include "shell/state.h"

#include <algorithm>
#include <cstring>

namespace {

// Inner box of a mode in per cent of the box, and the usable share of its
// width and height (numerator, denominator).
struct inner_box {
    int left, top, right, bottom;
    int wn, wd, hn, hd;
};

inner_box inner_of(int mode) {
    switch (mode) {
    case 2:
    case 4:
    case 5:
    case 6:
        return {14, 14, 86, 86, 5, 7, 5, 7};
    case 9:
        return {25, 50, 75, 100, 1, 2, 1, 2};
    case 10:
        return {25, 0, 75, 50, 1, 2, 1, 2};
    case 11:
        return {25, 25, 75, 75, 1, 2, 1, 2};
    default:
        return {2, 0, 98, 100, 24, 25, 1, 1};
    }
}

// Bytes of the character starting at s (a multi-byte character stays whole).
int char_len(const char* s) {
    auto c = static_cast<unsigned char>(*s);
    int n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    for (int i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return i;
    return n;
}

bool is_break_char(char c) {
    return std::strchr("-/\\.,;:)]}!?+*=&|<>", c) != nullptr && c != '\0';
}

int extent(HDC dc, const char* s, int n) {
    if (n <= 0) return drawing.overhang;
    SIZE z{};
    if (dc && GetTextExtentPoint32(dc, s, n, &z)) return z.cx;
    int w = drawing.overhang;
    for (int i = 0; i < n; ++i) w += char_advance(static_cast<unsigned char>(s[i]));
    return w;
}

// One wrap. kind 1: at blanks and underscores; 2: also before break
// characters; 3: at the width alone.
std::vector<std::string> wrap(HDC dc, const char* text, int width, int kind, bool* forced) {
    std::vector<std::string> lines;
    if (forced) *forced = false;
    const char* p = text;
    while (*p && static_cast<int>(lines.size()) < boxed_max_lines) {
        int n = 0, cut = -1, resume = -1;
        bool over = false;
        while (p[n]) {
            int len = char_len(p + n);
            if (extent(dc, p, n + len) > width) {
                over = true;
                if (kind != 3 && n > 0 && (p[n] == ' ' || p[n] == '_')) {
                    cut = n; // the blank that overflows ends the line and goes
                    resume = n + 1;
                }
                break;
            }
            if (kind != 3 && (p[n] == ' ' || p[n] == '_')) {
                cut = n;
                resume = n + 1;
            } else if (kind == 2 && n > 0 && is_break_char(p[n])) {
                cut = n;
                resume = n;
            }
            n += len;
        }
        if (!over) {
            lines.emplace_back(p, static_cast<std::size_t>(n));
            break;
        }
        if (cut > 0 || (cut == 0 && resume == 1)) {
            lines.emplace_back(p, static_cast<std::size_t>(cut));
            p += resume;
        } else {
            if (forced) *forced = true;
            int take = std::max(n, char_len(p)); // at least one character
            lines.emplace_back(p, static_cast<std::size_t>(take));
            p += take;
        }
    }
    return lines;
}

std::vector<std::string> even_lines(const char* text, int width) {
    std::vector<int> starts; // byte offsets of characters
    for (const char* p = text; *p; p += char_len(p)) starts.push_back(static_cast<int>(p - text));
    int chars = static_cast<int>(starts.size());
    int avg = drawing.fixed_pitch ? drawing.char_width / 2 : std::max(1, drawing.char_width / 2);
    int per = std::max(1, width / std::max(1, avg));
    int count = std::min(boxed_max_lines, (chars - 1) / per + 1);
    while (per > 1 && (per - 1) * count >= chars) --per;
    std::vector<std::string> lines;
    for (int l = 0; l < count; ++l) {
        int a = l * per;
        if (a >= chars) break;
        int b = l == count - 1 ? chars : std::min(chars, a + per);
        int end =
            b < chars ? starts[static_cast<std::size_t>(b)] : static_cast<int>(std::strlen(text));
        lines.emplace_back(text + starts[static_cast<std::size_t>(a)],
                           static_cast<std::size_t>(end - starts[static_cast<std::size_t>(a)]));
    }
    return lines;
}

} // namespace

std::vector<std::string> wrap_boxed_name(HDC dc, const char* text, int w, int h, bool even,
                                         bool* forced_out) {
    bool forced = false;
    std::vector<std::string> first = wrap(dc, text, w, 1, &forced);
    if (forced_out) *forced_out = forced;
    int lh = std::max(1, drawing.line_height);
    int n1 = static_cast<int>(first.size());
    if (!forced && static_cast<long long>(n1 * 9 + 11) * lh <= 20LL * h) return first;
    if (even) return even_lines(text, w);
    std::vector<std::string> second = wrap(dc, text, w, 2, nullptr);
    std::vector<std::string> third =
        static_cast<long long>(second.size()) * lh > h ? wrap(dc, text, w, 3, nullptr) : second;
    if (!forced && third.size() >= first.size()) return first;
    return second.size() > third.size() ? third : second;
}

namespace {

// The lines of a boxed name and the box they are placed in, in per cent of
// the name's rectangle.
struct boxed_layout {
    std::vector<std::string> lines;
    int pl = 0, pt = 0, pr = 100, pb = 100;
};

// One line in the lower (mode 9) or upper (mode 10) half's band: the band
// the line's width leaves free, kept inside the rectangle.
void half_band(boxed_layout& l, int mode, int tw, int w, int h, int lh) {
    int p = static_cast<int>((10LL * tw / 8) * 100 / std::max(1, w));
    int band = lh * 100 / std::max(1, h) + 1;
    if (mode == 9 && p >= 51) {
        l.pt = p;
        l.pb = p + band;
        if (static_cast<long long>(p) * h / 100 + lh + 2 > h) {
            l.pt = (h - lh - 2) * 100 / std::max(1, h);
            l.pb = 100;
        }
    } else if (mode == 10 && 100 - p < 50) {
        int q = 100 - p;
        l.pt = q - band;
        l.pb = q;
        if (static_cast<long long>(q) * h / 100 < lh + 2) {
            l.pt = 0;
            l.pb = (lh + 2) * 100 / std::max(1, h) + 1;
        }
    }
}

// The mode's lines for a text tw wide in a w x h rectangle: one line when it
// fits the mode's share of the width (or the mode is 0 or below), else
// word-wrapped in the mode's inner box.
boxed_layout lay_out_boxed_name(HDC mdc, const char* text, int mode, int tw, int w, int h, int lh,
                                bool even_split) {
    boxed_layout l;
    if (mode <= 0) {
        l.lines.emplace_back(text);
        return l;
    }
    bool one = false;
    if (mode == 2 || mode == 4 || mode == 5 || mode == 6 || mode == 11)
        one = 9LL * w >= 10LL * tw;
    else if (mode == 9 || mode == 10)
        one = 8LL * w >= 10LL * tw;
    else
        one = w >= tw;
    if (one) {
        l.lines.emplace_back(text);
        if (mode == 9 || mode == 10) half_band(l, mode, tw, w, h, lh);
        return l;
    }
    inner_box b = inner_of(mode);
    l.pl = b.left;
    l.pt = b.top;
    l.pr = b.right;
    l.pb = b.bottom;
    l.lines = wrap_boxed_name(mdc, text, w * b.wn / b.wd, h * b.hn / b.hd, even_split, nullptr);
    return l;
}

// One line beside the rectangle (modes below 0: -4 right, -3 left, -2 above,
// else below); the y below it.
int draw_beside(HDC draw_dc, const RECT& rect, int mode, const char* text, int tw, int lh) {
    int x = rect.left, y0 = rect.top;
    switch (mode) {
    case -4:
        x = rect.right;
        y0 = (rect.top + rect.bottom - lh) / 2;
        break;
    case -3:
        x = rect.left - tw;
        y0 = (rect.top + rect.bottom - lh) / 2;
        break;
    case -2:
        x = (rect.left + rect.right - tw) / 2;
        y0 = rect.top - lh;
        break;
    default:
        x = (rect.left + rect.right - tw) / 2;
        y0 = rect.bottom;
        break;
    }
    TextOut(draw_dc, x, y0, text, static_cast<int>(std::strlen(text)));
    return y0 + lh;
}

// The lines centred in the box, the block centred in its height (at its top
// in mode 12) or spread over it when taller; drawn gets the ink's box. The y
// below the last line.
int draw_lines_in_box(HDC draw_dc, const RECT& box, int mode, const std::vector<std::string>& lines,
                      int lh, RECT& drawn) {
    const int n = static_cast<int>(lines.size()), bh = box.bottom - box.top;
    int y = box.top, step = lh;
    const int x_mid = (box.left + box.right) / 2;
    if (n * lh <= bh) {
        if (mode != 12) y = box.top + (bh - n * lh) / 2;
    } else if (n >= 2 && bh > lh) {
        step = (bh - lh) / (n - 1);
    }
    for (const std::string& line : lines) {
        int lw = extent(draw_dc, line.c_str(), static_cast<int>(line.size()));
        int x = x_mid - lw / 2;
        TextOut(draw_dc, x, y, line.c_str(), static_cast<int>(line.size()));
        drawn.left = std::min<LONG>(drawn.left, x);
        drawn.right = std::max<LONG>(drawn.right, x + lw);
        drawn.top = std::min<LONG>(drawn.top, y);
        drawn.bottom = std::max<LONG>(drawn.bottom, y + lh);
        y += step;
    }
    return y - step + lh;
}

} // namespace

int draw_boxed_name(HDC draw_dc, HDC measure_dc, const RECT& rect, int mode, const char* text,
                    RECT* out_rect, HWND window, bool on_screen, bool measure_only,
                    bool even_split) {
    if (!text || !*text) return 0;
    HWND screen_wnd = main_wnd;
    HDC mdc = on_screen ? GetDC(screen_wnd) : (measure_dc ? measure_dc : draw_dc);
    if (!mdc) return 0;
    HFONT font = make_font(mdc, drawing.active_font, static_cast<int>(drawing.active_scale));
    HGDIOBJ old_m = font ? SelectObject(mdc, font) : nullptr;
    TEXTMETRIC tm{};
    GetTextMetrics(mdc, &tm);
    int lh = tm.tmHeight > 0 ? static_cast<int>(tm.tmHeight) : std::max(1, drawing.line_height);
    int saved_lh = drawing.line_height;
    drawing.line_height = lh;

    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    bool vertical = drawing.active_font.style & font_vertical;
    if (w <= 0 || h <= 0 || vertical) mode = std::min(mode, 0);
    int tw = extent(mdc, text, static_cast<int>(std::strlen(text)));
    const boxed_layout l = lay_out_boxed_name(mdc, text, mode, tw, w, h, lh, even_split);
    int n = static_cast<int>(l.lines.size());
    if (font) SelectObject(mdc, old_m);
    if (on_screen) ReleaseDC(screen_wnd, mdc);
    if (font) DeleteObject(font);
    drawing.line_height = saved_lh;
    if (measure_only) return n * lh;

    RECT box = out_rect ? *out_rect : rect;
    int bw = box.right - box.left, bh = box.bottom - box.top;
    box.left += bw * l.pl / 100;
    box.right -= bw * (100 - l.pr) / 100;
    box.top += bh * l.pt / 100;
    box.bottom -= bh * (100 - l.pb) / 100;
    if (out_rect) *out_rect = box;

    HDC fdc = measure_dc ? measure_dc : draw_dc;
    HFONT f = make_font(fdc, drawing.active_font, static_cast<int>(drawing.active_scale));
    HGDIOBJ old_d = f ? SelectObject(draw_dc, f) : nullptr;
    HGDIOBJ old_f = (f && fdc != draw_dc) ? SelectObject(fdc, f) : nullptr;
    RECT drawn{box.right, box.bottom, box.left, box.top};
    const int y = mode < 0 ? draw_beside(draw_dc, rect, mode, text, tw, lh)
                           : draw_lines_in_box(draw_dc, box, mode, l.lines, lh, drawn);
    if (f) {
        SelectObject(draw_dc, old_d);
        if (old_f) SelectObject(fdc, old_f);
        DeleteObject(f);
    }
    if (window && mode == 0) InvalidateRect(window, &drawn, TRUE);
    return y;
}

RECT draw_text_aligned(int x, int y, char horizontal, char vertical, const char* text) {
    RECT r{x, y, x, y};
    HDC dc = drawing.cur_dc;
    if (!text) return r;
    int n = static_cast<int>(std::strlen(text));
    int w = text_width(text);
    int top;
    switch (vertical) {
    case 'B':
    case 'b':
        top = y - drawing.ascent - drawing.descent;
        break;
    case 'C':
    case 'c':
        top = y - drawing.line_height / 2;
        break;
    case 'T':
    case 't':
        top = y;
        break;
    default:
        top = y - drawing.ascent;
        break;
    }
    int left = x;
    if (horizontal == 'C' || horizontal == 'c') left -= w / 2;
    if (horizontal == 'R' || horizontal == 'r') left -= w;
    if (dc) {
        if (!drawing.colour_mode) SetTextColor(dc, 0);
        TextOut(dc, left, top, text, n);
    }
    gtx_text(left, top + drawing.ascent, text);
    r = RECT{left, top, left + w, top + drawing.line_height};
    return r;
}
