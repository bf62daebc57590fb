// The Table tool: the workbench variable (alone, with its causes or with its
// uses, or the levels that still change) over the times of the selected runs,
// one row per element and run, in the tool's grid window. The window keeps
// its time axis, so a second table there falls under the same time columns.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "model/constants.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The option block (120 bytes), the saved fields at their offsets.
struct table_tool_options {
    std::uint8_t related;      // 0 and its causes, 1 and its uses, other alone
    std::uint8_t eq_switch[2]; // the cause collection's switches
    std::uint8_t as_displayed; // values in their display form
    std::uint8_t show[8];      // the kind switches of the trees
    font_spec font;
    std::int32_t first_column_width; // in widths of "0"
    std::int32_t column_width;       // in widths of "0"
    std::uint8_t layout;             // one row per column
    std::uint8_t ninth_show;         // the ninth kind switch (not saved)
    std::uint8_t spare1[2];
    float interval;
    float relative_threshold;
    float absolute_threshold;
    std::uint8_t changing_levels;
    std::uint8_t spare2[3];
    float fixed_time;
    std::uint8_t time_choice;
    std::uint8_t array_output;
    std::uint8_t spectral; // 0 none, 2 autocorrelation, other power spectrum
    std::uint8_t spare3;
    float max_lag;
    char number_format[8];
    std::uint8_t spare4[20];
};
static_assert(sizeof(table_tool_options) == 120);
static_assert(offsetof(table_tool_options, font) == 12);
static_assert(offsetof(table_tool_options, interval) == 64);
static_assert(offsetof(table_tool_options, fixed_time) == 80);
static_assert(offsetof(table_tool_options, max_lag) == 88);
static_assert(offsetof(table_tool_options, number_format) == 92);

table_tool_options table_defaults();

// One entry of a table: a variable and the element names it shows.
struct table_entry {
    symbol_id var = 0;
    std::vector<std::string> elements;
};
// The entries of the variable under the options (the model locked with
// nodes): its elements, then its causes or its uses, filtered and ordered.
std::vector<table_entry> table_entries(symbol_id var, const table_tool_options& o);

// The label of an element row of a variable shown over several rows: the
// subscript part ("[a,b]") of the element name, the name itself when it has
// none.
std::string element_row_label(const std::string& element);

// An element name rebuilt from its parts: the name, then "[", the subscript
// names with "," between them and "]"; a name without subscripts as it is.
struct run_name;
std::string subscript_label(const run_name& parsed);

// The rows of the array output of one variable's elements: each row the
// elements that differ only from the varying position on (agreeing before
// it), labelled by the subscript at the outer position (where the next row
// first differs; kept from the previous row when that comes earlier, which
// begins a new block); header marks a row that needs a header first (the
// first row, a new block, or a change of length, positions, subscript count
// or column names). An element that cannot be grouped is a row of its own
// with varying -1.
struct array_row {
    std::vector<int> elements;
    int varying = -1;
    int outer = -1;
    bool header = false;
};
std::vector<array_row> array_output_layout(const std::vector<run_name>& parsed);

int table_tool_setup(int mode, handle tool, std::string* out, const char* text);
void table_tool_run(handle tool);
