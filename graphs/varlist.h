// What the graphs of several variables share: the list of element names
// a variable, its causes or its uses give, and a run's series of an element
// with constants made into lines.
#pragma once

#include "draw/drawing.h"
#include "foundation/names.h"
#include "graphs/graphwin.h"
#include "model/model.h"
#include "tools/output.h"

#include <algorithm>
#include <iterator>

#include <cstdint>
#include <string>
#include <vector>

// The element names a graph of several variables shows for var: choice 0 the
// variable's selected elements, then the elements of its direct causes; 1
// then those of its direct uses; anything else the variable alone. The
// causes and uses are kept only where the tree kinds (levels, auxiliaries,
// data, initials, constants, lookups, test inputs, constraints) show their
// kind. Lookups go to *lookups (dropped when null); strings, test inputs,
// constraints and symbols without a value slot are never graphed. The model
// locked.
std::vector<std::string> graph_variable_list(symbol_id var, int choice,
                                             const std::uint8_t tree_kinds[9],
                                             std::vector<std::string>* lookups = nullptr);

// Every variable of the model whose kind the tree kinds show, by name, with
// its selected elements; lookups to *lookups as above. The model locked.
std::vector<std::string> all_variables_list(const std::uint8_t tree_kinds[9],
                                            std::vector<std::string>* lookups = nullptr);

// A size in millimetres from a tool set, kept to 1 mm .. 10 m.
int sane_graph_mm(int mm);

// A lookup's points in a run (x as times); the point count.
int read_lookup_points(const char* name, int run, std::vector<float>& x, std::vector<float>& y);

// The series of an element in a run against xname; a constant (or a series
// of one point) becomes a flat line from t0 to t1. The point count.
int read_series_or_constant(const char* name, const char* xname, int run, double t0, double t1,
                            std::vector<float>& values, std::vector<float>& times);

// The first of the window's three fonts at which the graph, as `wanted`
// sizes it, keeps at least 0.6 of its height on the output; the font is left
// active and its number in w.font_choice.
template <class Window>
void fit_graph_font(Window& w, void (*wanted)(const Window&, int*, int*), int* width, int* height) {
    for (int f = 0; f < 3; ++f) {
        use_graph_font(w.fonts[f]);
        w.font_choice = static_cast<std::uint8_t>(f);
        wanted(w, width, height);
        int aw = 0, ah = 0;
        graph_output_size(*width, *height, &aw, &ah);
        if (static_cast<double>(ah) >= 0.6 * *height) break;
    }
}

// The widest value label of the plots' ranges at `divisions` steps in the
// active font, at least five zeros wide.
template <class Plots> int value_label_width(const Plots& plots, int divisions) {
    int widest = 5 * std::max(text_width("0"), 1);
    for (const auto& p : plots) {
        // A plot whose range was chosen for round steps has its own count.
        const int n = p.divisions > 0 ? p.divisions : divisions;
        for (int i = 0; i <= n; ++i)
            widest = std::max(
                widest, text_width(format_number(p.low + i * (p.high - p.low) / n, 0, nullptr)));
    }
    return widest;
}

// ---- What the stacked graphs (sensitivity and strip) share: graphs piled
// in a window over one horizontal axis, from a tool with an option block.

struct toptset_field;
struct tool_record;

// The setup of a stacked-graph tool whose option block is `size` bytes read
// and written through `fields`: mode 0 zeroes the block and lets `defaults`
// fill it (and name the tool's action), reads the tool set's option line
// over it when `text` is given, then lets `settle` keep it sane and set the
// icon; mode 1 writes the option line to *out. Answers `size`.
int stacked_tool_setup(int mode, handle tool, std::string* out, const char* text, int size,
                       const toptset_field* fields, void (*defaults)(tool_record*),
                       void (*settle)(tool_record*));
// The defaults of the three fonts: the graphs' first at 12, 10 and 8 points,
// plain.
void default_stacked_fonts(font_spec& font, font_spec& small, font_spec& smallest);
void sane_stacked_fonts(font_spec& font, font_spec& small, font_spec& smallest);
// The defaults both stacked tools share: the fonts, two windows at most, the
// variable alone, both equation flags, and the tree kinds of levels,
// auxiliaries, data, initials, constants and lookups.
template <class Options> void default_stacked_options(Options& o) {
    default_stacked_fonts(o.font, o.small_font, o.smallest_font);
    o.max_windows = 2;
    o.var_choice = 255;
    o.eq_flag_a = o.eq_flag_b = 1;
    const std::uint8_t kinds[9] = {1, 1, 1, 1, 1, 1, 0, 0, 0};
    std::copy(std::begin(kinds), std::end(kinds), o.tree_kinds);
}
// At least one window; fonts that can be made.
template <class Options> void settle_stacked_options(Options& o) {
    o.max_windows = std::max(o.max_windows, 1);
    sane_stacked_fonts(o.font, o.small_font, o.smallest_font);
}

// "To show all elements will require n windows": 1 all, 0 the first only,
// -1 none.
int ask_all_windows(int windows);

// A plot's value range from the lowest and highest value in it (lo > hi:
// none, 0 to 100): rounded out to plain numbers when `round` or when the two
// are equal (widened first by a tenth of their size, at least 1), or
// fixed_low to fixed_high when that range is given and not empty; the zero
// line's position (0 when zero is not inside).
struct value_range {
    double low = 0, high = 100;
    std::int16_t zero_line = 0;
    // The plot's own division count (0: the window's).
    int divisions = 0;
};
// With round and a division count (above 0), the rounded range gets the
// count nearest it (from half to twice) whose divisions step by a round
// number (1, 2, 2.5 or 5 times a power of ten), its ends moving out to
// multiples of that step.
value_range fit_value_range(double lo, double hi, bool round, double fixed_low, double fixed_high,
                            int divisions = 0);

// A plot's name (with its units when `show_units` and there are some) over
// the plot, a hot text in `cell`.
void draw_plot_name(const std::string& name, const std::string& units, bool show_units, int left,
                    int right, int top, std::int32_t cell);
// A plot's frame, its grid of value and axis divisions, its zero line (a
// position 0..10000; 0 none) and its value labels at its left, every k-th
// division with a line's room between them, in the active font.
void draw_plot_axes(int left, int top, int right, int bottom, int value_divisions,
                    int axis_divisions, double low, double high, std::int16_t zero_line);
// The horizontal axis under the last plot, ending at `bottom`: a label per
// division (labels.size() - 1 divisions), every k-th with room between them,
// then the title a line lower, a hot text in *title_cell (added to `texts`
// when 0).
void draw_axis_labels(const std::vector<std::string>& labels, int left, int right, int bottom,
                      const std::string& title, handle texts, std::int32_t* title_cell);

// Lays a window of stacked plots out as the current output: the font that
// fits (as fit_graph_font) and the graphics window opened at the size
// `wanted` gives; 0 when it does not open. A tool run again takes its window
// over at the window's old size: the frame is then fitted to the size this
// layout wants, the size a new window gets.
template <class Window>
int open_stacked_window(Window& w, void (*wanted)(const Window&, int*, int*)) {
    int width = 0, height = 0;
    fit_graph_font(w, wanted, &width, &height);
    handle rec = cur_output;
    const bool reopening = opening_tool_window() != nullptr;
    if (!open_graph_window(rec, w.title.c_str(), -1, -1, width, height)) return 0;
    if (reopening && !drawing.gtx_mode && !drawing.printing) {
        int fitted_width = 0, fitted_height = 0;
        graph_output_size(std::max(width, min_graph_width), height, &fitted_width, &fitted_height);
        fit_toolwrap(rec, fitted_width, fitted_height);
    }
    return 1;
}

// Where a window of stacked plots draws: the output's size, the line height
// and character width of the font its layout chose (made active), and the
// plots' left and right edges (room for the widest value label at the left).
struct stacked_page {
    int width = 0, height = 0, line_height = 1, char_width = 1, left = 0, right = 0;
};
template <class Window, class Plots>
stacked_page begin_stacked_draw(const Window& w, const Plots& plots, int value_divisions) {
    stacked_page p;
    graph_output_size(576, 384, &p.width, &p.height);
    use_graph_font(w.fonts[std::min<int>(w.font_choice, 2)]);
    p.line_height = std::max(drawing.line_height, 1);
    p.char_width = std::max(drawing.char_width, 1);
    p.left = p.char_width + value_label_width(plots, value_divisions) + p.char_width;
    p.right = p.width - 2 * p.char_width;
    return p;
}
