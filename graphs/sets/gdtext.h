// The reader of graph definitions in text form, over the current text source.
#pragma once

#include "graphs/sets/graphdef.h"

#include <string>
#include <vector>

// The marker line that opens a graph set in a model's settings text.
inline constexpr const char* graph_set_marker_line = "///---\\\\\\";

// Reads sections from the current text source's next line on, adding each
// definition read to the set, until the text ends. quiet: no messages about
// bad lines.
// What a reading left out: the names of the definitions refused (each also
// reported at severity 5), and whether the text ended inside a line, as a
// file cut short does (the writer ends every line).
struct gd_read_notes {
    std::vector<std::string> refused;
    bool cut = false;
};
void read_graph_definitions(graph_set& set, int quiet, gd_read_notes* notes = nullptr);

// The text form of one definition and of a whole set (the marker line first
// when marker). Empty with *error set when a value cannot be written so that
// it reads back the same (the message names the definition).
std::string graph_def_text(const graph_def& def, std::string* error);
std::string graph_set_text(const graph_set& set, bool marker, std::string* error);
