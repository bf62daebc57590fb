// What the graphs of several variables share: the list of element names
// a variable, its causes or its uses give, and a run's series of an element
// with constants made into lines.
#pragma once

#include "draw/drawing.h"
#include "foundation/names.h"
#include "graphs/graphwin.h"
#include "model/model.h"

#include <algorithm>

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
    for (const auto& p : plots)
        for (int i = 0; i <= divisions; ++i)
            widest = std::max(widest, text_width(format_number(
                                          p.low + i * (p.high - p.low) / divisions, 0, nullptr)));
    return widest;
}
