// Custom graph sets: the process-wide table of sets, loading a set from a
// .kgd text file, a .kgf binary file or the section after the marker line of
// a model's settings text, saving a set as text, and running its definitions
// as user tools.
//
// A set is named by its index in the table (1 and up; 0 none). Entry 0 is
// never used. Messages are the ones the loader and writer have always given.
#pragma once

#include "graphs/sets/gdtext.h"
#include "graphs/sets/graphdef.h"

#include <cstdint>
#include <string>
#include <vector>

// The table: entry 0 unused; starts with two entries, the second free.
std::vector<graph_set>& graph_sets();
// The entry of an index, null when out of range or free.
graph_set* graph_set_at(int index);
// The index of the loaded set of that name (case-insensitive, after the name
// was made model-relative); a null name: the first free entry, the table
// growing by one when none is free. 0 when not found.
int find_graph_set(const char* name);
// Makes entry index (0: the first free one) an empty set with that name and
// owner; returns its index.
int init_graph_set(int index, const char* name, std::uint32_t owner);
// Frees an entry (its definitions and name) and marks it free.
void free_graph_set(int index);
// A new entry holding a copy of the set's definitions; name, owner and flags 0.
int copy_graph_set(int index);
// Marks the set changed interactively (state 1) and, for an owner's set, the
// owner as changed (through the hook below).
void mark_set_modified(int index);

// Loads a set. name null: from the text source already open (the line read
// next must be the marker line, else an empty set). as_text forces the text
// reader; quiet suppresses the open and read failures and the question about
// interactive changes; for_model returns a loaded set of that name at once and
// marks the set state 255; owner goes into a set read from text. Returns the
// index, 0 on failure.
int load_graph_set(const char* name, int as_text, int quiet, int for_model, std::uint32_t owner);
// Loads the text of a set (the marker line first) into a new entry.
int load_graph_set_text(const char* text, int quiet, int for_model, std::uint32_t owner);

// Saves a set as text: fh an open file to append to (the marker line first),
// or -1 for a .kgd file of its own (asking for a name where the set has none,
// came from a .kgf file or belongs to an owner). symbols: the open model's
// symbols, whose current set becomes the copy of an owner's set. 1 written.
int save_graph_set_text(handle symbols, int index, file_handle fh, int ask_name);

// The set the open model uses (its context's byte), 0 none.
int current_graph_set();
void set_current_graph_set(int index);

// The hook of the model store: loads the set of a model's settings, from
// text (from_text 1: the section after the marker line) or a named file,
// after freeing the unchanged sets loaded for the model opened before.
int model_graph_set_hook(const char* text_or_name, int from_text);

// Asks about every changed set of the user's own (all: any; else those of the
// open model), then frees them (the shell's ask_save_graph_sets); 1 to go on, 0 when the user
// cancelled or a save failed (nothing is freed then).
int query_save_graph_sets(int all);
// Once a model has opened: a graph set saved for it beside its file (the
// model's name with .kgd, as the exit question saves the set the model
// carries inside it) is used in place of that inside set. A model whose
// settings name a set file of their own keeps that one; a saved file with no
// definition that reads keeps the inside set.
void use_saved_model_graph_set();
