// The run value cache: each variable's series per selected run, kept in
// memory after the first read for the graphs, the sketch and its sliders.
//
// Entries are indexed by the variable's value slot in the open model and by
// the run's place in the list of selected runs (the run slot, 0 to 15). Every
// entry has room for all 16 run slots, whatever the selected count was when
// it was made. A run slot whose loaded run no longer carries the load serial
// of its selection is absent.
//
// Lifetime of returned series: the pointers cached_series and
// cached_time_base give stay valid until the next reset_value_cache (any
// mode). Growing the shown run's arrays during a Livesweep re-run moves them
// into new memory but keeps the old arrays until that reset, so a pointer in
// hand never dangles; it may only miss the newest points.
//
// No call here nests lock_model: the open model is locked only when no one
// holds it already.
#pragma once

#include <cstddef>
#include <cstdint>

// The series of the variable at value slot in the run at run_slot: the point
// count, with times and values pointing into the cache. xname (optional): a
// time base of the open model whose cached series replaces the times when its
// count matches. 0 when the variable has no values in that run.
int cached_series(int slot, const float** times, const float** values, int run_slot,
                  const char* xname = nullptr);
// Drops the cache and prepares an empty one; chooses the shown run slot.
// mode 0 prepares it for Livesweep (outside Livesweep it is mode 1, and does
// nothing while there is no cache); 1 a plain reset; 2 drops the cache
// without preparing a new one. no_lock: the caller holds the model lock
// already, and the sketch is not redrawn.
void reset_value_cache(int run_slot, int mode, int no_lock);
// For an xname other than "Time": the cached series of that time base when
// it has count points (then *times points at it); the count.
int cached_time_base(const char* xname, const float** times, int count, int run_slot);

// Changes at every reset and every growth of the shown-run arrays.
std::uint32_t value_cache_generation();
bool value_cache_exists();

// Livesweep. The engine says when Livesweep is on; during a re-run it hands
// every save step here, which writes the value of each slot with a shown-run
// array at the points counter and grows the arrays (capacity: counter +
// remaining saves + 5.5, truncated) when the counter reaches the capacity.
void set_cache_livesweep(bool on);
bool cache_livesweep();
void livesweep_save_values(const float* value_array, std::size_t nvalues, int remaining_saves);
// Installs livesweep_save_values as the engine's Livesweep save step.
void install_cache_livesweep_hook();
int shown_run_slot();
int shown_run_index();
int cache_points_counter();
void set_cache_points_counter(int n);

// Called after a reset unless no_lock (the sketch redraws its variables and
// input-output objects).
using cache_refresh_fn = void (*)();
void set_cache_refresh_hook(cache_refresh_fn fn);
