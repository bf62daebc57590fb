// Documentation of the model as text: each variable's equations, units,
// range, group, name-and-text pairs, comment, causes and users, grouped by the
// model's groups; and the skeleton of the group structure. Written through the
// report writer to whatever it is aimed at, or to a text file. The windowless
// core of the Document tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"

// The tool's options, in the order of its option block (without the font).
struct document_options {
    int line_width = 75;
    std::uint8_t cause_constants = 0;
    std::uint8_t cause_comments = 0;
    std::uint8_t cause_values = 0;
    std::uint8_t check_units = 0;
    std::uint8_t numbering = 0;
    std::uint8_t equations = 1;
    std::uint8_t group_line = 1;
    std::uint8_t pair_lines = 1;
    std::uint8_t range = 1;
    std::uint8_t wrapped_comment = 0;
    std::uint8_t comment = 1;
    std::uint8_t to_file = 0;
    std::uint8_t units = 1;
    std::uint8_t user_comments = 0;
    std::uint8_t users = 0;
    std::uint8_t values = 0;
    std::uint8_t scope = 0;         // 0 the variable, 1 the model, 2 a group, 3 a kind
    std::uint8_t kind = 0;          // index into symbol_type_table (7: the group skeleton)
    std::uint8_t ordering = 0;      // 0 by definition, 1 alphabetical, other by group
    std::uint8_t equation_form = 0; // 0 as typed, 1 regenerated, 2 regenerated and compacted
};

// The line width lies between these; others are taken to the nearer bound.
inline constexpr int document_min_width = 20;
inline constexpr int document_max_width = 1000;
int document_line_width(int requested);

// The symbols a model scope lists, in order (before the scope's filter), and
// each one's running number (0 for none: groups, and without numbering).
// Numbers are kept here, not in the symbols, so any count of entries is
// numbered. Needs the model locked with nodes.
struct document_list {
    std::vector<symbol_id> symbols;
    std::vector<int> numbers;
    int numbered = 0; // the count the number width is taken from
};
document_list document_symbols(const document_options& options);
// Whether a listed symbol is documented in the options' scope (group: the
// group of scope 2).
bool document_selected(symbol_id s, const document_options& options, symbol_id group);
// The number format: "(%0Nd)" with N the digits of numbered + 1.
const char* document_number_format(int numbered);

// Writes the documentation of a model scope (1 to 3; group: the group of
// scope 2) through the current report at the options' line width. Sets the
// tree services' cause options on for the run and restores them. Locks the
// model with nodes unless locked. Returns the number of entries written.
int document_model(const document_options& options, symbol_id group);
// The same into a text file (lines end with LF, wrapped lines continue with a
// backslash): "Unable to open %s to write documentor" (severity 8) when it
// cannot be opened; a failed write is reported and keeps the old file. 1 when
// the whole file was written, 0 when not.
int document_model_to_file(const char* path, const document_options& options, symbol_id group);

// Writes the entry of one variable (the workbench scope) through the current
// report, ending with a line of 62 asterisks. Returns 1, 0 when var is not a
// symbol.
int document_variable(symbol_id var, const document_options& options);

// Writes the skeleton of the group structure to a file: per group "%s = A
// FUNCTION OF(" with the variables of other groups its equations use, then
// each such variable as a function of its group. "Unable to open %s"
// (severity 8) when the file cannot be opened. 1 when written, 0 when not.
int document_skeleton(const char* path);
// The skeleton's name of a group: the name without its marker, dots as
// blanks, with " sector", in double quotes.
std::string skeleton_group_name(symbol_id group);
