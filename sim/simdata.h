// The engine's shared records and state: the run-time lookup record, the
// delay object, the state bytes other subsystems read or set, the value
// arrays of the running simulation, the time globals and the hooks the shell
// and the sketch fill in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/memory.h"
#include "foundation/types.h"

// ------------------------------------------------------------- lookup_table ---

// The 52-byte run-time record of one lookup slot. Points live in the lookup
// data block (a float pool): x values from cell x, y values from cell y.
struct lookup_table {
    std::uint32_t symbol;   // lookup variable
    std::uint32_t element;  // element offset within the variable
    std::int32_t segment;   // current segment (index of its left point)
    float slope;            // 0 (kept for the layout of the run file's lookup records)
    std::uint32_t flags;    // lookup_points_rise, set by the run; 0 in run files
    std::uint32_t x;        // cell of the first x value in the lookup data block
    std::uint32_t y;        // cell of the first y value
    std::uint32_t capacity; // points reserved at both cells
    std::uint32_t count;    // points
    float xmin, xmax, ymin, ymax;
};
static_assert(sizeof(lookup_table) == 52);
// A table's flag, set where a run puts its points in place: every x is a
// number not below the one before, so an x strictly between two neighbouring
// points lies in no other segment. The native code's lookups rely on it.
inline constexpr std::uint32_t lookup_points_rise = 1;
static_assert(offsetof(lookup_table, x) == 20);
static_assert(offsetof(lookup_table, y) == 24);
static_assert(offsetof(lookup_table, count) == 32);

// ------------------------------------------------------------- delay_object ---

// The pipeline delay: a 28-byte head, then capacity entries of 8 bytes (the
// value and the time at which it leaves the pipeline), used as a ring; this
// is what run files keep. In memory the entries are followed (at an 8-byte
// boundary) by their due times in double, as the time axis is: a float due
// time (4.05 is 4.0500002) would put the output a step late.
struct delay_entry {
    float value;
    float due;
};
struct delay_object {
    std::uint32_t kind;     // function code of the owning call (fn_delay_fixed)
    std::int32_t first;     // index of the oldest entry
    std::int32_t live;      // entries in the pipeline
    float delay;            // delay time
    float initial;          // output before the first entry is due
    float output;           // current output
    std::uint16_t capacity; // entries allocated after the head
    std::uint16_t flags;
    delay_entry* entries() { return reinterpret_cast<delay_entry*>(this + 1); }
    const delay_entry* entries() const { return reinterpret_cast<const delay_entry*>(this + 1); }
    double* due_times();
};
static_assert(sizeof(delay_object) == 28);
static_assert(offsetof(delay_object, capacity) == 24);
inline constexpr std::size_t delay_object_bytes(std::size_t capacity) {
    return sizeof(delay_object) + 8 * capacity;
}
inline constexpr std::uint32_t max_delay_capacity = 0xFFFF;
// An object in memory: the bytes above, then the due times in double.
inline constexpr std::size_t delay_due_offset(std::size_t capacity) {
    return (delay_object_bytes(capacity) + 7) & ~std::size_t{7};
}
inline constexpr std::size_t delay_object_alloc_bytes(std::size_t capacity) {
    return delay_due_offset(capacity) + 8 * capacity;
}
inline double* delay_object::due_times() {
    return reinterpret_cast<double*>(reinterpret_cast<std::uint8_t*>(this) +
                                     delay_due_offset(capacity));
}

// Copies saved delay states over live delay objects (growing them as needed;
// the capacity field is set back to the allocation's). count: live objects.
void load_delay_states(const std::vector<std::vector<std::uint8_t>>& states, delay_object** live,
                       std::uint32_t count);

// --------------------------------------------------------------- the state ---

// sim_phase: 0 idle, 1 a run is being prepared, 2 simulation set-up,
// 3 Livesweep ready, 4 initialising, 5 running, 6 running and saving.
enum : std::uint8_t {
    phase_idle = 0,
    phase_preparing = 1,
    phase_setup = 2,
    phase_livesweep_ready = 3,
    phase_initialising = 4,
    phase_running = 5,
    phase_saving = 6,
};
extern std::uint8_t sim_phase;
// 0 no game; 1 first interval; 2 and 4 waiting for decisions.
extern std::uint8_t game_state;
// 1 ordinary, 3 game, 4 Plausitest, 5 Livesweep.
enum : std::uint8_t { rk_ordinary = 1, rk_game = 3, rk_plausitest = 4, rk_livesweep = 5 };
extern std::uint8_t run_kind;
// Livesweep's state: off, entering (the first run of the mode is being
// made), on.
enum : std::uint8_t { ls_off = 0, ls_entering = 1, ls_on = 2 };
extern std::uint8_t livesweep_state;
// Set by the shell (Esc, Ctrl+C, Ctrl+.) or by a Livesweep request while a
// run is busy; the time loop looks at it at every save point.
extern volatile std::uint8_t stop_request;
// Set while the time loop saves values.
extern std::uint8_t run_in_progress;
// The input-override flags (bit 1 in force, bit 2 tables set up) and the
// freeze switch, owned by the sketch's override code and read here.
extern std::uint8_t override_flags;
extern std::uint8_t freeze_levels;
// The run's per-slot type bytes while input overrides are in force (a
// movable block; 0 none): an overridden constant is saved as a series.
extern handle type_copy;
// The game's saved-time counter.
extern std::uint16_t game_saved_times;

// Values of the running simulation: one f32 per value slot (slot 0 Time;
// levels first), followed by the engine's hidden states; rate_array holds the
// rates of the levels and of the integrated hidden states at the same
// indexes. Null while no simulation runs.
extern float* value_array;
extern float* rate_array;
extern std::uint32_t value_slot_count; // model value slots (levels + others)
extern std::uint32_t level_slot_count;
// The run's per-slot type bytes (value_slot_count entries) while running.
extern std::uint8_t* run_slot_types;
// The pool of the running simulation (value arrays, delay objects, random
// streams, saved values, work arrays); null outside a run.
extern mem_pool* sim_pool;

// TIME, TIME STEP and the comparison bounds TIME +- TIME STEP / 2.
extern double sim_time;
extern double sim_dt;
extern double sim_time_hi;
extern double sim_time_lo;
// A float as its writer meant it: the shortest decimal that gives the float
// v, in double (0.1f gives 0.1); control values and saved due times.
double as_written(float v);

// --------------------------------------------------------------------- hooks ---

// Called at every save point of a run (the shell pumps messages there).
using sim_pump_fn = void (*)();
void set_sim_pump_hook(sim_pump_fn hook);
// Called when TIME passes a multiple of SIMULATION PAUSE (the shell shows its
// pause); returning non-zero asks the run to stop.
using sim_pause_fn = int (*)(double time);
void set_sim_pause_hook(sim_pause_fn hook);
// The input overrides (mode 1 after the initial pass, 0 after each level
// update) while override_flags is non-zero.
using override_eval_fn = void (*)(int mode);
void set_override_hook(override_eval_fn hook);
// The slots actively overridden with a shape other than the slider constant
// (set to NA before the initial pass) and those that hold overridden levels
// (rate 0): one byte per value slot, 2 where an override supplies the value;
// null when none.
extern std::uint8_t* override_held;
// Expands value references in the text of the message built-in (null: the
// text as it is). Returns a text valid until the next scratch release.
using expand_refs_fn = const char* (*)(const char* text);
void set_expand_refs_hook(expand_refs_fn hook);
// The Livesweep save step: called at every save point of a Livesweep run with
// the current values (the value cache writes its shown-run arrays).
using livesweep_save_fn = void (*)(const float* values, std::uint32_t slots, int remaining_saves);
void set_livesweep_save_hook(livesweep_save_fn hook);

// Shows the results of a behaviour test (the Plausitest dialog, when the
// shell has one); called after a run that checked constraints.
struct sim_output;
using plausitest_fn = void (*)(const sim_output& results);
void set_plausitest_hook(plausitest_fn hook);

// Called after a run file was written anew at path (the new file renamed
// over the old one): the runs subsystem drops what it read from the old file.
using run_file_replaced_fn = void (*)(const char* path);
void set_run_file_replaced_hook(run_file_replaced_fn hook);

// The hooks as set (null when none).
sim_pump_fn sim_pump_hook();
sim_pause_fn sim_pause_hook();
override_eval_fn override_hook();
expand_refs_fn expand_refs_hook();
livesweep_save_fn livesweep_save_hook();
plausitest_fn plausitest_hook();
run_file_replaced_fn run_file_replaced_hook();
