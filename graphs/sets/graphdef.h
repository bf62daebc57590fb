// Graph definitions: the user tools of a custom graph set (line graphs, bar
// graphs, tables and text reports) as they are kept in memory, their text form
// (.kgd files and the section after the marker line of a model's settings
// text) and its keyword table.
//
// In memory a definition is a plain record with its strings held as strings;
// the cell-addressed layout exists only in the binary .kgf file, whose reader
// (graphset.h) decodes it into these records, checking every cell. The field
// comments name the keyword that sets each one.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <bit>
#include <cfloat>
#include <cstdint>
#include <string>
#include <vector>

enum : std::uint8_t {
    gd_line = 5,    // GRAPH
    gd_table = 6,   // TABLE
    gd_bar = 9,     // BAR-GRAPH
    gd_report = 19, // REPORT
};

// The run byte of a variable of a WIP definition: the running simulation.
inline constexpr std::int8_t gd_wip_run = -1;

// One variable entry of a line graph.
struct graph_var {
    float y_min = FLT_MAX, y_max = -FLT_MAX; // Y-MIN, Y-MAX (section defaults)
    std::string name;                        // with subscripts
    std::string label;                       // text after '|' in the entry
    std::string units;                       // UNITS (an empty value: " ")
    std::string dataset;                     // DATASET, FILE or RUN name
    std::string run_label;                   // text after '|' of DATASET or ":n"
    std::string extra_text;                  // CONFIDENCE or SENS-LINES text
    std::string mean_text;                   // MEAN text
    std::uint32_t colour = 0;                // LINE-COLOR (extra_kind 8), 0x00BBGGRR
    std::int8_t run = 0;                     // 0-based selected run; gd_wip_run
    std::int8_t scale_group = 0;
    std::uint8_t no_subs = 0;    // 1: the name has no subscripts
    std::int8_t line = 0;        // < 0: -LINE-STYLE index; > 0: LINE-WIDTH
    std::int8_t shape = 0;       // SHAPE index
    std::int8_t shape_size = 0;  // SHAPE size
    std::uint8_t extra_kind = 0; // 0 none, 1 CONFIDENCE, 2 SENS-LINES, 8 LINE-COLOR
    std::uint8_t mean = 0;       // MEAN given
    bool operator==(const graph_var&) const = default;
};

// One item of a bar graph: a VAR, OVAR or DATASET item.
struct bar_item {
    float time = NA;         // BAR-VAR-TIME
    std::string dataset;     // DATASET items ("" for "*n")
    std::string text;        // DATASET: text after '|'; VAR, OVAR: the AS-RUN text
    std::string name, label; // VAR, OVAR
    std::int8_t run = 0;     // "*n": n - 1
    std::uint8_t as_run_group = 0;
    bool operator==(const bar_item& o) const {
        return std::bit_cast<std::uint32_t>(time) == std::bit_cast<std::uint32_t>(o.time) &&
               dataset == o.dataset && text == o.text && name == o.name && label == o.label &&
               run == o.run && as_run_group == o.as_run_group;
    }
};

// One item of a table: a VAR entry or a COMLINE comment.
struct table_item {
    bool comment = false;
    std::string name, label; // comment: label holds the COMLINE text
    std::string dataset, dataset_label, format;
    std::int8_t run = 0;
    std::uint8_t no_subs = 0;
    bool operator==(const table_item&) const = default;
};

struct graph_def {
    // The common head.
    std::string name, title;
    handle window = 0; // output record of the window last opened (not stored)
    // Where that window stood as it opened, or was last taken over (frame
    // corner and tool window size; not stored): moving it from there is a
    // change of the set.
    std::int16_t shown[4] = {0, 0, 0, 0};
    bool shown_known = false;
    std::int16_t x = 0, y = 0, width = 0, height = 0; // LOCATION, SIZE
    std::uint8_t kind = 0;
    std::uint8_t wip = 0;
    std::uint8_t no_legend = 0; // NO-LEGEND (line and bar graphs)

    // Line graphs (kind 5); plot_width and plot_height also bar graphs and tables.
    float x_min = FLT_MAX, x_max = -FLT_MAX; // tables: NA unset
    float plot_width = 0, plot_height = 0;   // WIDTH, HEIGHT
    std::string stamp[2];                    // STAMP footer|annotation
    std::string x_axis, x_label, y_label;    // X-AXIS, X-LABEL (also bar), Y-LABEL
    std::string x_div_label;                 // X-DIV label (n|label or ?label)
    std::int16_t y_div = 0, x_div = 0;
    std::uint16_t max_points = 0;
    std::uint8_t cumulative = 0;
    std::int8_t stack = 0; // STACK or STACK-FILL value + 1
    std::uint8_t portrait = 0, label_intervals = 0;
    std::int8_t dots = 0; // DOTS 1, DOTS-LINES 2, STACK-FILL -1
    std::uint8_t soft_bounds = 0, graph_style = 0;
    std::vector<graph_var> vars;

    // Bar graphs (kind 9).
    float bar_time = NA;
    float y_min = FLT_MAX, y_max = -FLT_MAX;
    std::string subtitle, osubtitle;
    std::vector<bar_item> bar_vars, bar_ovars, bar_datasets;
    std::uint8_t horizontal = 0, bar_by_time = 0;
    // The stored sort byte: 1 FORCE, n + 1 for SORT n >= 1, 2 for SORT 0,
    // n - 1 for SORT n < 0 (0: no sort). bar_sort_run decodes it.
    std::int8_t sort = 0;

    // Reports (kind 19).
    std::vector<std::string> lines;     // text lines ("\f" for NEWPAGE)
    std::vector<std::string> var_texts; // VAR texts, in order
    font_spec font{};                   // reports and tables; face "" default

    // Tables (kind 6).
    float print_every = NA, special_time = NA;
    std::vector<table_item> items;
    std::uint16_t first_cellwidth = 0, cellwidth = 0;
    std::uint8_t time_down = 0, prettynum = 0, notime = 0;
};

// A set of definitions (one entry of the graph-set table, graphset.h).
struct graph_set {
    std::uint32_t owner = 0; // non-zero: the set given by an owner (the model)
    std::string name;        // the file the set came from or goes to ("" none)
    std::vector<graph_def> defs;
    std::uint16_t version = 0;
    // 0 unchanged; 1..127 changed interactively; 255 loaded for the open model.
    std::uint8_t state = 0;
    std::uint8_t wip = 0;       // some definition is a WIP definition
    std::uint8_t is_free = 1;   // the entry is free
    std::uint8_t from_text = 0; // read from text (.kgd or settings)
    std::uint8_t from_kgf = 0;  // read from a .kgf file (saving asks for a .kgd name)
    std::uint8_t for_model = 0; // loaded for the open model (asked about when it closes)
};

// Appends a definition, setting the set's WIP flag for a WIP definition.
void add_graph_def(graph_set& set, graph_def def);

// A definition of a kind with that kind's unset values.
graph_def make_graph_def(std::uint8_t kind);

// The run a bar graph sorts by, decoded from the stored byte: 0 no sort
// (FORCE or none), else the 1-based run of SORT n for n >= 1 and the negated
// run for n < 0 (descending); SORT 0 sorts by the first run (1).
int bar_sort_run(std::int8_t stored);

// ----------------------------------------------------------- keywords ---

inline constexpr int gd_keyword_count = 72;
enum : int {
    kw_bar_graph = 2,
    kw_graph = 3,
    kw_report = 4,
    kw_table = 5,
    kw_active_legend = 6,
    kw_as_run,
    kw_bar_by_time,
    kw_bar_time,
    kw_bar_var_time,
    kw_cellwidth,
    kw_confidence,
    kw_comline,
    kw_cummulative,
    kw_cumulative,
    kw_dataset,
    kw_dots,
    kw_dots_lines,
    kw_end_of_report,
    kw_first_cellwidth,
    kw_file,
    kw_font,
    kw_force,
    kw_format,
    kw_graph_style,
    kw_height,
    kw_horizontal,
    kw_label_intervals,
    kw_label_lines,
    kw_landscape,
    kw_line_color,
    kw_line_style,
    kw_line_width,
    kw_location,
    kw_max_points,
    kw_mean,
    kw_newpage,
    kw_no_legend,
    kw_notime,
    kw_osubtitle,
    kw_ovar,
    kw_portrait,
    kw_prettynum,
    kw_print_every,
    kw_run,
    kw_scale,
    kw_sens_lines,
    kw_sens_xy,
    kw_shape,
    kw_size,
    kw_soft_bounds,
    kw_sort,
    kw_special_time,
    kw_stack,
    kw_stack_fill,
    kw_stamp,
    kw_subtitle,
    kw_time_down,
    kw_title,
    kw_units,
    kw_var,
    kw_width,
    kw_wip,
    kw_x_axis,
    kw_x_div,
    kw_x_label,
    kw_x_max,
    kw_x_min,
    kw_y_div,
    kw_y_label,
    kw_y_max,
    kw_y_min, // 72
    kw_run1,  // 73: ":1" .. 81: ":9"
};
static_assert(kw_y_min == 72);

extern const char* const line_style_names[5];
extern const char* const shape_names[10];

// Decodes a line's keyword (with the leading blanks skipped): the code 1..81,
// or 0 for a line without a usable keyword (reported unless quiet, as the
// text form says). value (optional) receives the value with its trailing
// blanks cut.
int decode_keyword_line(const char* line, int quiet, std::string* value);

// Splits one entry off a VAR text: name (with subscripts), label (after '|')
// and whether the name has no subscripts. Returns the rest after the entry's
// ',', or null when the text holds no further entry.
const char* split_var_entry(const char* text, std::string& name, std::string& label, int& no_subs);
