// The drawing layer's state: active devices, the colour decision, fonts and
// text measuring.
#include "draw/drawing.h"

#include "foundation/report.h"
#include "platform/win.h"
#include "shell/fonts.h"
#include "shell/settings_rows.h"
#include "shell/state.h"

#include <algorithm>
#include <cstring>

draw_state drawing;

namespace {

// Bits 2-3 of the option byte: dash styles in colour only when 01, in
// monochrome unless 10 ("Only solid lines").
std::uint8_t styled_from(std::uint8_t byte, bool colour) {
    int field = (byte >> 2) & 3;
    return colour ? field == 1 : field != 2;
}

void derive_flags(HDC measuring) {
    std::uint8_t byte = output_option_byte();
    bool colour = device_draws_in_colour(measuring, byte);
    drawing.colour_mode = colour ? 1 : 0;
    drawing.styled_lines = styled_from(byte, colour);
    drawing.output_flag_4 = (byte & 0x10) ? 0 : 1;
    drawing.output_flag_5 = (byte >> 5) & 1;
    drawing.line_markers = (byte >> 6) & 1;
    drawing.output_flag_7 = (byte >> 7) & 1;
}

void save_flags(draw_level& l) {
    l.colour_mode = drawing.colour_mode;
    l.styled_lines = drawing.styled_lines;
    l.flags[0] = drawing.output_flag_4;
    l.flags[1] = drawing.output_flag_5;
    l.flags[2] = drawing.line_markers;
    l.flags[3] = drawing.output_flag_7;
}

void restore_flags(const draw_level& l) {
    drawing.colour_mode = l.colour_mode;
    drawing.styled_lines = l.styled_lines;
    drawing.output_flag_4 = l.flags[0];
    drawing.output_flag_5 = l.flags[1];
    drawing.line_markers = l.flags[2];
    drawing.output_flag_7 = l.flags[3];
}

HGDIOBJ stock_font() {
    return GetStockObject(SYSTEM_FONT);
}

// Takes the font out of the active devices (the stock font goes in).
void deselect_font() {
    if (drawing.cur_dc) SelectObject(drawing.cur_dc, stock_font());
    if (drawing.measure_dc && drawing.measure_dc != drawing.cur_dc)
        SelectObject(drawing.measure_dc, stock_font());
}

int resolution(int horizontal) {
    int i = (drawing.printing ? 2 : 0) + (horizontal ? 0 : 1);
    return drawing.device_res[i];
}

} // namespace

std::uint8_t output_option_byte() {
    if (drawing.printing == 2) return opts.colour_modes[1];
    if (drawing.gtx_mode == 0) return opts.colour_modes[drawing.printing == 1 ? 1 : 0];
    return opts.colour_modes[2];
}

bool device_draws_in_colour(HDC measuring, std::uint8_t byte) {
    int kind = byte & 3;
    if (kind == 1) return true;
    if (kind == 2) return false;
    if (!measuring) return false;
    if (GetDeviceCaps(measuring, PLANES) > 1) return true;
    if (GetDeviceCaps(measuring, BITSPIXEL) > 1) return true;
    return GetDeviceCaps(measuring, NUMCOLORS) > 2;
}

int active_dc_push(HDC dc, HDC measuring) {
    if (drawing.depth >= draw_max_depth) {
        report(10, "active_dc_pop");
        return 0;
    }
    if (drawing.depth >= 1) {
        draw_level& l = drawing.levels[drawing.depth];
        l.dc = drawing.cur_dc;
        l.measure = drawing.measure_dc;
        l.font = drawing.cur_font;
        save_flags(l);
        deselect_font(); // the font lives on in its slot
        drawing.cur_font = nullptr;
    }
    ++drawing.depth;
    drawing.font_valid = false;
    drawing.cur_dc = dc;
    drawing.measure_dc = measuring;
    derive_flags(measuring);
    return 1;
}

void active_dc_pop(HDC dc) {
    if (drawing.depth < 1) {
        report(10, "<SS.Active_dc_pop");
        return;
    }
    if (dc && dc != drawing.cur_dc) report(10, "Baddcpop");
    if (drawing.cur_font) {
        deselect_font();
        DeleteObject(drawing.cur_font);
        drawing.cur_font = nullptr;
    }
    --drawing.depth;
    if (drawing.depth >= 1) {
        const draw_level& l = drawing.levels[drawing.depth];
        drawing.cur_dc = l.dc;
        drawing.measure_dc = l.measure;
        drawing.cur_font = l.font;
        if (l.font) {
            if (l.dc) SelectObject(l.dc, l.font);
            if (l.measure && l.measure != l.dc) SelectObject(l.measure, l.font);
        }
        restore_flags(l);
        drawing.levels[drawing.depth] = draw_level{};
    } else {
        drawing.cur_dc = nullptr;
        drawing.measure_dc = nullptr;
        drawing.cur_font = nullptr;
    }
    drawing.font_valid = false;
}

font_spec sane_font_spec(const font_spec& in) {
    font_spec f = in;
    f.face[sizeof f.face - 1] = '\0';
    if (static_cast<std::int8_t>(f.size) <= 0) f.size = default_font_points;
    return f;
}

COLORREF font_ink(std::uint32_t colour) {
    return colour == 0xFFFFFFFFu ? RGB(0, 0, 0) : static_cast<COLORREF>(colour & 0xFFFFFF);
}

int select_font(int target, const font_spec* spec, const font_spec* over, int flags,
                std::uint32_t colour, std::uint32_t scale, bool no_scale) {
    if (drawing.printing) target = 1;
    font_spec want = sane_font_spec(spec ? *spec : drawing.active_font);
    if (over) {
        font_spec o = sane_font_spec(*over);
        if (flags & fo_colour) want.colour = o.colour;
        if (flags & fo_size) want.size = o.size;
        if (flags & fo_style) want.style = o.style;
        if (flags & fo_face) std::memcpy(want.face, o.face, sizeof want.face);
    }
    if (colour != 0xFFFFFFFFu) want.colour = colour;
    std::uint32_t key = no_scale ? 0 : scale;
    const font_spec& a = drawing.active_font;
    if (drawing.font_valid && target == drawing.font_in_dc && want.colour == a.colour &&
        want.size == a.size && want.style == a.style && want.face[0] &&
        std::strcmp(want.face, a.face) == 0 && key == drawing.active_scale)
        return 0;

    HDC draw_dc = drawing.cur_dc, measure = drawing.measure_dc;
    HWND borrowed = nullptr;
    bool borrowing = target == 0 || !draw_dc;
    if (borrowing) {
        borrowed = main_wnd;
        draw_dc = measure = GetDC(borrowed);
    }
    if (!measure) measure = draw_dc;
    drawing.active_font = want;
    drawing.active_scale = key;
    drawing.font_in_dc = static_cast<std::uint8_t>(target);
    drawing.font_valid = true;

    HFONT made = measure ? make_font(measure, want, 0) : nullptr;
    HGDIOBJ use = made ? static_cast<HGDIOBJ>(made) : stock_font();
    if (target == 0) deselect_font();
    if (measure) SelectObject(measure, use);
    if (draw_dc && draw_dc != measure) SelectObject(draw_dc, use);
    if (drawing.cur_font) DeleteObject(drawing.cur_font);
    drawing.cur_font = made;
    if (target == 1 && drawing.colour_mode && draw_dc) SetTextColor(draw_dc, font_ink(want.colour));
    if (measure) take_font_metrics(measure);
    if (borrowing) {
        if (draw_dc) {
            SelectObject(draw_dc, stock_font());
            ReleaseDC(borrowed, draw_dc);
        }
        if (drawing.cur_font) DeleteObject(drawing.cur_font);
        drawing.cur_font = nullptr;
    }
    return 1;
}

void take_font_metrics(HDC dc) {
    TEXTMETRIC tm{};
    if (!dc || !GetTextMetrics(dc, &tm)) return;
    drawing.line_height = tm.tmHeight;
    drawing.ascent = tm.tmAscent;
    drawing.descent = tm.tmDescent;
    drawing.overhang = tm.tmOverhang;
    drawing.char_width = 2 * tm.tmAveCharWidth;
    drawing.fixed_pitch = tm.tmMaxCharWidth == tm.tmAveCharWidth;
    if (drawing.fixed_pitch) {
        drawing.char_width -= tm.tmOverhang;
        return;
    }
    int w[256];
    if (!GetCharWidth32(dc, 0, 255, w))
        for (int& v : w) v = tm.tmAveCharWidth;
    for (int i = 0; i < 256; ++i)
        drawing.widths[static_cast<std::size_t>(i)] = w[i] - tm.tmOverhang;
}

std::uint32_t text_extent(HDC dc, const char* text, int length) {
    SIZE s{};
    if (!dc || !text || length < 0 || !GetTextExtentPoint32(dc, text, length, &s)) return 0;
    return (static_cast<std::uint32_t>(s.cy & 0xFFFF) << 16) |
           static_cast<std::uint32_t>(s.cx & 0xFFFF);
}

int char_advance(unsigned char c) {
    return drawing.fixed_pitch ? drawing.char_width : drawing.widths[c];
}

int text_width(const char* text) {
    if (!text) return 0;
    if (drawing.font_in_dc == 1 && drawing.measure_dc)
        return static_cast<int>(
            text_extent(drawing.measure_dc, text, static_cast<int>(std::strlen(text))) & 0xFFFF);
    if (!drawing.fixed_pitch) {
        int w = drawing.overhang;
        for (const char* p = text; *p; ++p) w += drawing.widths[static_cast<unsigned char>(*p)];
        return w;
    }
    int n = 0;
    while (text[n] && text[n] != '\n') ++n;
    return n * drawing.char_width;
}

namespace {

int tab_unit() {
    int unit = drawing.fixed_pitch ? drawing.char_width : drawing.widths['B'];
    return std::max(1, drawing.tab_stops * unit);
}

// The x after character c at x.
int advance_at(int x, int x0, unsigned char c) {
    if (c == '\t') {
        int u = tab_unit();
        return x0 + ((x - x0) / u + 1) * u;
    }
    return x + char_advance(c);
}

} // namespace

int text_index_to_x(int x0, const char* line, int n) {
    int x = x0;
    for (int i = 0; line && i < n && line[i] && line[i] != '\n'; ++i)
        x = advance_at(x, x0, static_cast<unsigned char>(line[i]));
    return x;
}

int text_x_to_index(const char* line, int x) {
    if (!line) return 0;
    int at = 0, i = 0;
    for (; line[i] && line[i] != '\n'; ++i) {
        at = advance_at(at, 0, static_cast<unsigned char>(line[i]));
        if (at >= x) return i;
    }
    return i;
}

int cm_to_device(double cm, int horizontal) {
    return static_cast<int>(resolution(horizontal) * cm * 0.39370078740157477);
}

memory_canvas::memory_canvas(int w, int h) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = dc_ ? CreateCompatibleBitmap(screen, w, h) : nullptr;
    if (screen) ReleaseDC(nullptr, screen);
    if (bitmap_) old_ = SelectObject(dc_, bitmap_);
}

memory_canvas::~memory_canvas() {
    if (bitmap_) {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
    }
    if (dc_) DeleteDC(dc_);
}
