// Lays out a view of a model being built: writes real stored element records
// (the layout of docs/formats/model-file.md, "Views") through the model
// store's writer. Elements are numbered in the order they are added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/model_builder.h"

class view_layout {
public:
    // A new view of the model (flags: 1 the shared view, 2 without it).
    view_layout(model_builder& b, const char* name, std::uint8_t flags = 0);
    int view() const { return view_; }

    // Variables by name: a stock (box), an auxiliary or constant (name only),
    // a shadow (name in angle brackets). Each returns its element number.
    int stock(const char* name, int x, int y);
    int variable(const char* name, int x, int y, int shape = 0);
    int shadow(const char* name, int x, int y);
    // A cloud (sketch bitmap 1), the source or sink of a flow.
    int cloud(int x, int y);
    // A flow between two elements: a valve pair at (x, y) with pipes from and
    // to the two ends. Returns the flow variable's element number.
    int flow(const char* name, int from, int to, int x, int y);
    // An arrow between two elements; bend != 0 curves it through a handle
    // point that far off the middle of the line.
    int arrow(int from, int to, int bend = 0);
    // Arrows into every placed variable from each placed cause of its
    // equations (curved every other one).
    void arrows_from_causes();
    // A text box; view_link 1-based view number (0 none).
    int text_box(const char* text, int x, int y, int view_link = 0);
    // An input slider object for a variable, with its range "min,max,step";
    // a name with subscripts ("demand[north,food]") names one element.
    int input_slider(const char* name, int x, int y, const char* range);
    // An output object showing a custom graph of the model's graph set by
    // name, centred at (x, y) with half sizes w and h.
    int output_graph(const char* graph, int x, int y, int w, int h);
    // An element with a look of its own: style bits (1 outline, 2 text
    // colour, 4 fill, 8 size, 16 style, 32 face) choose which of outline,
    // fill and font replace the view's; label is its label position.
    struct look {
        std::uint8_t style = 0;
        std::uint32_t outline = 0, fill = 0;
        font_spec font{};
        int line_width = 0;
    };
    int styled(int kind, std::uint32_t payload, int x, int y, int w, int h, int shape, int label,
               const look& l, const std::string& text = {}, int flags = 1);
    // A picture element: kind 30 (a sized BMP image) or 31 (a sized metafile
    // picture), its block as given.
    int picture(int kind, const std::vector<std::uint8_t>& block, int x, int y, int w, int h);
    // A raw record (tests of bad input).
    int raw(const std::vector<std::uint8_t>& record);

    // The element numbers of placed variables by name.
    int element_of(const char* name) const;

private:
    static std::vector<std::uint8_t> record(int kind, std::uint32_t payload, int x, int y, int w,
                                            int h, int shape, int flags, int label, const look& l,
                                            const std::string& text);
    int element(int kind, std::uint32_t payload, int x, int y, int w, int h, int shape, int flags,
                const std::string& text = {}, int link = 0, int label = 255);
    int connector(int from, int to, int path, int width, const std::vector<int>& points);
    model_builder& b_;
    int view_;
    struct placed {
        std::string name;
        int element;
        int x, y;
    };
    std::vector<placed> placed_;
    std::vector<std::pair<int, int>> arrows_;
};

// The view of add_stock_ring's model: a generated grid of 1,001 elements,
// each stock filled from a cloud through its flow, the arrows from the
// equations' causes, and a note beside each stock.
void lay_out_stock_ring(model_builder& b);
