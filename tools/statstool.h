// The Stats tool: Count, Min, Max, Mean, Median, StDev, (Norm), percentiles
// and, across runs, R-square and the points matched, for the workbench
// variable (or with its causes or its uses), one row per element and run in
// the tool's grid window: over time in the analysis range, across the
// simulations of sensitivity runs at one time, or across the variable's
// elements at one time.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The option block (144 bytes), the saved fields at their offsets.
struct stats_tool_options {
    std::uint8_t variable_set; // 0 and its causes, 1 and its uses, other alone
    std::uint8_t print_switch[2];
    std::uint8_t display;    // numbers in their display form
    std::uint8_t kinds[8];   // the kind switches of the trees
    std::uint8_t ninth_kind; // not saved
    std::uint8_t spare1[3];
    font_spec font;
    std::int32_t first_tab;     // in widths of "0"
    std::int32_t tab_width;     // in widths of "0"
    std::uint8_t label_per_run; // 0: later runs' rows are labelled " : run"
    std::uint8_t r_square;
    std::uint8_t time_choice; // 1 start, 2 end, 3 the time field, other the special time
    std::uint8_t spare2;
    float time;
    std::int32_t percentiles[8]; // tenths of a percent, 0 unused
    std::uint8_t mode;           // 0 over time, 1 across sensitivity runs, 2 across subscripts
    char number_format[8];
    std::uint8_t spare3[31];
};
static_assert(sizeof(stats_tool_options) == 144);
static_assert(offsetof(stats_tool_options, font) == 16);
static_assert(offsetof(stats_tool_options, time) == 68);
static_assert(offsetof(stats_tool_options, mode) == 104);

stats_tool_options stats_defaults();

int stats_tool_setup(int mode, handle tool, std::string* out, const char* text);
void stats_tool_run(handle tool);
