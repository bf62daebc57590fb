// The drawing layer: the one process-wide drawing state every picture of the
// program goes through (graphs, the lookup editor, text and grid windows,
// sketches, printed pages, metafiles and the graphics transfer file). It holds
// the active drawing device and the device text is measured on, a stack of
// saved levels, the choice between colour and monochrome, the active font with
// its metrics, and the text measuring services.
//
// A drawing pass is bracketed by one push and one pop; use `draw_pass`, which
// pops only what it pushed.
#pragma once

#include "foundation/names.h"
#include "platform/gdi.h"

#include <array>
#include <cstdint>

// Levels of active devices: the current one and three saved.
inline constexpr int draw_max_depth = 4;

struct draw_level {
    HDC dc = nullptr;
    HDC measure = nullptr;
    HFONT font = nullptr;
    // What the push derived for this level, given back by the pop.
    std::uint8_t colour_mode = 1;
    std::uint8_t styled_lines = 0;
    std::uint8_t flags[4] = {0, 0, 0, 0};
};

struct draw_state {
    HDC cur_dc = nullptr;      // the active drawing device; null when none
    HDC measure_dc = nullptr;  // fonts are made and text measured here
    HDC printer_dc = nullptr;  // the open printer; null when none
    std::uint8_t printing = 0; // 0 screen, 1 a graph is printed, 2 a text print job
    std::int32_t gtx_mode = 0; // non-zero while saving or copying; < 0 writing a .gtx
    // Logical pixels per inch: screen x, screen y, printer x, printer y.
    std::int32_t device_res[4] = {96, 96, 72, 72};
    std::uint8_t colour_mode = 1;  // 1 colour, 0 black with fill patterns
    std::uint8_t styled_lines = 0; // curves told apart by dash style
    std::uint8_t output_flag_4 = 0, output_flag_5 = 0, line_markers = 0, output_flag_7 = 0;
    font_spec active_font{};
    std::uint32_t active_scale = 0; // per cent; 0 = 1:1
    bool font_valid = false;        // false: the next select_font makes a font
    std::uint8_t font_in_dc = 0;
    HFONT cur_font = nullptr;
    std::int32_t line_height = 0, ascent = 0, descent = 0;
    std::int32_t char_width = 0, overhang = 0;
    bool fixed_pitch = true;                // no width table
    std::array<std::int32_t, 256> widths{}; // of characters 0-255, less the overhang
    std::int32_t tab_stops = 8;             // tab width in characters
    // Where a printed graph sits on the page (device pixels); the clips of the
    // primitives, in device pixels, move with it.
    std::int32_t page_offset_x = 0, page_offset_y = 0;
    int depth = 0;
    draw_level levels[draw_max_depth];
};

// The process-wide drawing state.
extern draw_state drawing;

// The output option byte for the device being pushed: the printer byte while a
// text print job runs, the screen byte on the screen, the printer byte while a
// graph prints, the export byte while saving or copying. Read from the option
// block (display, print, clipboard).
std::uint8_t output_option_byte();

// Makes (drawing_dc, measuring_dc) the active pair and decides colour or
// monochrome for it. 1 when pushed; 0 (severity 10 "active_dc_pop") at the
// fourth level already, the active pair unchanged.
int active_dc_push(HDC drawing_dc, HDC measuring_dc);
// Ends the active pair: its font is deleted and the level below comes back
// with its font and every flag its push derived. `dc` (null = any) must be the
// active drawing device ("Baddcpop", severity 10, and the pop is done all the
// same); with nothing pushed, "<SS.Active_dc_pop" and nothing changes.
void active_dc_pop(HDC dc);

// One drawing pass: pushes in the constructor and pops in the destructor, but
// only when its push succeeded, so a refused push never unwinds the level of
// an enclosing pass. Draw only when ok().
class draw_pass {
public:
    draw_pass(HDC drawing_dc, HDC measuring_dc)
        : dc_(drawing_dc), pushed_(active_dc_push(drawing_dc, measuring_dc) == 1) {}
    ~draw_pass() {
        if (pushed_) active_dc_pop(dc_);
    }
    draw_pass(const draw_pass&) = delete;
    draw_pass& operator=(const draw_pass&) = delete;
    bool ok() const { return pushed_; }

private:
    HDC dc_;
    bool pushed_;
};

// A memory device holding a bitmap of w x h compatible with the screen, for
// drawing off the screen and laying the result over a box; ok() is false when
// either could not be made. Both are freed when it goes.
class memory_canvas {
public:
    memory_canvas(int w, int h);
    ~memory_canvas();
    memory_canvas(const memory_canvas&) = delete;
    memory_canvas& operator=(const memory_canvas&) = delete;
    bool ok() const { return bitmap_ != nullptr; }
    HDC dc() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// The colour decision for a device given an option byte: bits 0-1 = 1 colour,
// 2 monochrome; otherwise colour when the device has more than one plane,
// more than one bit per pixel or more than two colours. No device: monochrome.
bool device_draws_in_colour(HDC measuring_dc, std::uint8_t option_byte);

// Parts of a font override that replace those of the font_spec.
enum : int { fo_colour = 2, fo_size = 8, fo_style = 16, fo_face = 32 };
// The size a font spec falls back to when its size reads as 0 or negative.
inline constexpr int default_font_points = 10;

// The ink of a font colour: its default colour (0xFFFFFFFF) is black, as
// the windows draw it, not the white its low bytes would give.
COLORREF font_ink(std::uint32_t colour);
// Makes `spec` (null: the active font) the active font, selected into the
// active devices (target 1; forced while printing) or only measured on a
// screen device (target 0). See the header of the file for the override.
// 0 when nothing had to change, else 1.
int select_font(int target, const font_spec* spec, const font_spec* override, int flags,
                std::uint32_t colour, std::uint32_t scale, bool no_scale);
// Makes `spec` the active font for drawing, at its own size and colour.
inline void use_graph_font(const font_spec& spec) {
    select_font(1, &spec, nullptr, 0, 0xFFFFFFFFu, 0, false);
}
// Reads the metrics of the font selected in dc.
void take_font_metrics(HDC dc);
// A font spec from outside data made safe: the face ends within 31
// characters, a size that reads as 0 or negative becomes the default.
font_spec sane_font_spec(const font_spec& spec);

// Width in device units of a text (up to NUL) in the active font.
int text_width(const char* text);
// The device's extent: height << 16 | width; 0 when the device refuses.
std::uint32_t text_extent(HDC dc, const char* text, int length);
// Device x after the first n characters of a line that starts at x0; a line
// feed or the end of the text stops the walk, a tab goes to the next stop.
int text_index_to_x(int x0, const char* line, int n);
// Index of the character of a line under device x (0 for an empty line).
int text_x_to_index(const char* line, int x);
// Width of one character in the active font.
int char_advance(unsigned char c);

// Device pixels of a length in centimetres, on the screen or the printer.
int cm_to_device(double cm, int horizontal);
