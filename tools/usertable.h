// User tables: the TABLE definitions of a graph set run as user tools. A
// definition names its variables, each with the run it shows (a run file, a
// selected run, or every selected run), and the table lays them out in a
// grid window over one time axis, one row per variable element and run.
//
// The graph sets live above this library, so their runner hands the
// definition over in this plain form (graphs/custombar.h makes it).
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>
#include <vector>

struct user_table_item {
    bool comment = false;    // a comment line: text is the whole row
    std::string name, label; // variable (with subscripts) and its row label
    std::string text;        // comment text
    std::string dataset;     // run file name ("" none)
    std::string format;      // printf number format of the values ("" default)
    int run = 0;             // 0-based selected run; see every_run
    bool every_run = true;   // no run named: one row per selected run
};

struct user_table_spec {
    std::string title;
    int x = -1, y = -1, width = 0, height = 0; // -1 / 0: the default place and size
    font_spec font{};                          // face "" the default text font
    // The time axis: from start to end (NA: the model's) every interval (NA
    // or not above 0: every saved time), with the at-time (NA none) put in
    // its place.
    float interval = NA, start = NA, end = NA, at_time = NA;
    int first_cellwidth = 0, cellwidth = 0; // in widths of "0"; 0 the default
    bool time_down = false;                 // one row per column
    bool as_displayed = false;              // values in their display form
    bool notime = false;                    // no header row of the times
    std::vector<user_table_item> items;
};

// One row of the table as planned: the variable element, the run (its index
// among the loaded runs) and its colour mark, and the label. Rows of items
// whose run is not loaded are left out.
struct user_table_row {
    int item = -1; // index into items
    std::string element;
    int run = -1;   // loaded-run index (-1 for a comment)
    int colour = 0; // 1..12, 0 for a comment
    std::string label;
};

// Plans the rows (run files opened through kdf_open; the caller unloads
// them). first_run receives the run whose time axis the table takes (-1 when
// no item has a loaded run).
std::vector<user_table_row> plan_user_table(const user_table_spec& spec, int* first_run);

// Builds the table in a new grid window and returns its output record, or 0:
// "No variables for Table.  Load/Create Runs" (severity 8) when no variable
// has a loaded run. Run files it opened are unloaded again; the runs loaded
// before stay.
handle user_table(const user_table_spec& spec);
