// Loading and selecting runs: the open model's list of selected runs (at
// most 16), its time range, and the names and types of the selected runs.
//
// Selected-run names are compared one way everywhere: without regard to case
// (name_cmp), as run-file names are. A reload of a selected run opens the new
// copy first and replaces the old one only when that worked; the 16-run limit
// applies only to names not selected already; a run is unloaded with its entry
// only when no other selected-run list refers to it.
#pragma once

#include <cstdint>

#include "model/context.h"

// Place of a newly loaded run: p > 0 puts a run that was not selected before
// at place p (from 1) when the list has at least p entries; 0 appends.
extern std::uint8_t new_run_place;

// Loads one run file into the list of a model context; 1 or 0. position >= 1:
// first; <= 0: a reloaded run keeps its place, a new one goes to the new-run
// place (not for -2); -1: nothing when a run of that name is selected. quiet
// suppresses every message. livesweep: the caller is the Livesweep re-run.
int load_runs(model_context* ctx, int position, const char* name, int quiet, int livesweep);
// Changes the open model's list; 1, or 0 when refused. Modes: 0 refresh (n
// 0); 1 the named runs go to the front in order and become the active part; 2
// each named run moves into or out of the active part; above 2 like 1 but an
// unknown name ends the call with 0; negative: unload the named runs (-5 and
// below without the refresh and without "Lost the run"); 10 and -10 refuse
// silently when no run was ever loaded.
int set_runs1(int mode, const char* const* names, int n);
// Fills selected_run_names and selected_run_types; returns the selected
// count. None selected: severity 7 "No runs are loaded. Please load runs"
// unless quiet.
int loaded_run_names(int quiet);
extern const char* selected_run_names[16]; // scratch copies
extern char selected_run_types[16];

// Recomputes a context's full time range from its entries (made-up 0 to 100,
// step 1, when none is usable).
void recompute_full_range(model_context* ctx);

// Called after the list changed: the Datasets page, the time axis and the
// title follow (the shell installs it).
using runs_changed_fn = void (*)();
void set_runs_changed_hook(runs_changed_fn fn);

// Registers another context whose selected runs must not be unloaded by
// another list's changes (reference runs read with a model's settings).
void register_run_context(model_context* ctx);
void unregister_run_context(model_context* ctx);
