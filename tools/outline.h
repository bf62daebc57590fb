// The outline of a variable's causes or uses tree as indented text lines,
// written through the current report. The windowless core of the Outline
// tool.
#pragma once

#include <cstdint>

#include "model/model.h"

struct outline_options {
    int depth = 2;     // levels below the variable
    int direction = 0; // 0 causes, 1 uses
    std::uint8_t cause_opts[2] = {1, 1};
    // levels, auxiliaries, data, initials, constants, lookups, test inputs,
    // constraints, and the ninth switch (not read by the kind test)
    std::uint8_t show[9] = {1, 1, 1, 1, 1, 1, 0, 0, 0};
};

// Lines no longer than this (the tool's report line) are never cut by the
// indentation: it stops growing where a name would pass the line.
inline constexpr int outline_line_chars = 512;

// Builds the tree of var (cause_tree or uses_tree, depth levels; the kinds not
// shown removed, children sorted) and writes it: "+ " before a node with
// children, "- " before a leaf, then its printable name; each child on its own
// line, indented 5 more than its parent. Ends with a line feed. Sets
// cause_opts and tree_kind_flags from the options and uses the marks
// sf_mark_10 and sf_mark_04. Locks the model with nodes unless it is locked.
// Returns the number of lines written (0 when var is not a symbol).
int outline_text(symbol_id var, const outline_options& options);
