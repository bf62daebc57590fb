// Setup copies: the working copies that Simulation Setup, gaming and
// Livesweep change between runs (values of every value slot, lookup tables
// and their points, strings, delay states). A run of the current model takes
// its changed constants, lookups and strings from these copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "sim/setupstate.h"
#include "sim/simdata.h"

// The working copy of the values: one f32 per value slot (a movable block;
// input sliders bound to slot n read and write entry n). 0 while none.
extern handle setup_copy;

// Null while there are no copies.
setup_state* setup_copies();

// Builds the copies from the current model: its initial values (the model is
// checked, compiled and its initial pass run), lookups and strings. Replaces
// any copies. 1 on success; 0 when refused (no model, errors in the model).
int make_setup_copy();
// The copies of the current model, made when missing. 0 on failure.
int ensure_setup_copy(int argument);
// Drops the copies and the on-screen changes (and the input-override state:
// override_flags, override_held, and through the hook below the sketch's
// override marks, values copy and list).
void clear_setup();
using setup_cleanup_fn = void (*)();
void set_setup_cleanup_hook(setup_cleanup_fn hook);

// Whether the copies hold a change for the next run (a value, lookup or
// string marked changed).
bool setup_has_changes();

// Changes one value of the copy (marks it changed). 1 on success. The hook
// below is told of every value so changed.
int set_setup_value(std::int32_t slot, float value);
// Told after set_setup_value changed a slot, with the value now in the copy,
// so that every control showing that slot can show what the next run uses.
// Returns the hook it replaces (to be called on from the new one).
using setup_value_fn = void (*)(std::int32_t slot, float value);
setup_value_fn set_setup_value_hook(setup_value_fn hook);
// Replaces the points of a lookup slot in the copy. 1 on success.
int set_setup_lookup(std::uint32_t lookup, const std::vector<float>& x,
                     const std::vector<float>& y);
int set_setup_string(std::uint32_t string_slot, const std::string& text);

// Takes delay states read from a run (one delay object per entry, empty for
// none; see the run file's delay section) into the setup copies, and into the
// live delay objects when a run or game is going. The runs subsystem installs
// it as its delay-state sink. 1 on success, 0 when the states do not fit.
int accept_run_delays(const std::vector<std::vector<std::uint8_t>>& states);
