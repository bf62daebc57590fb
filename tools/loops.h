// The feedback loops through a variable: a depth-first search over the uses
// lists of the locked model (with nodes), each loop then checked against the
// equations, sorted by length, cleaned of duplicates and written as text
// through the report writer. The windowless core of the Loops tool.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/model.h"

// The search stops once it has built more loops than this.
inline constexpr int loop_count_cap = 32765;
// At most this many loops are kept after the check.
inline constexpr int loop_table_max = 8000;
// More loops than this are shown only when the user asks for them.
inline constexpr int loops_shown_freely = 50;
// Links deeper than this cut the search.
inline constexpr int loop_depth_limit = 32;
// The longest loop the search can find, in variables besides the searched
// one: members at the depths 0 to loop_depth_limit.
inline constexpr int loop_longest = loop_depth_limit + 1;

struct loop_list {
    // Each loop lists the variables from the first after the searched variable
    // to the last before it, each using the one before it. Sorted by length.
    std::vector<std::vector<symbol_id>> loops;
    int checked = 0;      // loops that passed the check, before the truncation to 8000
    bool capped = false;  // the search stopped past loop_count_cap
    bool stopped = false; // the search stopped on stop_request
    bool cut = false;     // some path was cut by the depth limit: longer loops may exist
};

// Whether a variable can be on a feedback loop (auxiliaries and levels).
bool loop_variable_type(symbol_id var);

// Finds the loops through var. Needs the model locked with nodes. Clears and
// uses the marks sf_mark_04, sf_mark_08 and sf_mark_10 and the search depth
// word of every symbol. Without show_all, members hidden from listings
// (sf_hidden) are left out and loops that then repeat an earlier loop of the
// same length are dropped. More than loop_table_max checked loops give
// "Too many (%d) loops - truncating to 8000" (severity 8) and the first 8000.
// Returns the number of loops (0: none found or a refused type; the list is
// empty then and no message is given).
int find_loops(symbol_id var, bool show_all, loop_list& out);

// Writes loops[0 .. count) through the current report: "Loop Number %d of
// length %d", the variable's printable name indented by 2, each member's
// indented by 7.
void write_loops(symbol_id var, const loop_list& list, int count);

// The two lines that say the search was cut by the depth limit, naming var.
std::string loops_cut_note(symbol_id var);

// The tool's whole text: refuses a variable that is not an auxiliary or a
// level ("Only Auxiliary and Level variables can be involved in feedback
// loops", severity 8), reports "There are no feedback loops involving %s"
// (severity 7) when none is found (saying so when the depth limit cut the
// search), asks ask_more(count) before writing more than 50 (none, or an
// answer of 0, keeps 50), then calls open (when given) to point the report
// at the window, and writes the cut note (when the search was cut) and the
// loops through the current report. open answering false writes nothing.
// Locks the model with nodes unless it is locked already. Returns the number
// of loops written.
int loops_text(symbol_id var, bool show_all, const std::function<int(int count)>& ask_more,
               const std::function<bool()>& open = {});
