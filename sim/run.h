// The time loop: a checked, ordered and compiled model is run from INITIAL
// TIME to FINAL TIME with Euler, second- or fourth-order Runge-Kutta or
// Runge-Kutta with automatic step control; values are kept at every save time
// (every SAVEPER, and FINAL TIME), the shell's pump hook is called there and
// the break flag looked at; a result that is not a finite number or a fatal
// error of a built-in ends the run cleanly, naming the variable, and what was
// computed is kept and written. The run file is written once, at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "model/codegen.h"
#include "model/context.h"
#include "sim/runwrite.h"

// The results of run_simulation and simulate_model: one meaning per value.
enum sim_result : int {
    sim_refused = 0, // nothing was run (no model, errors in the model, bad control values)
    sim_done = 1,    // the run reached FINAL TIME; its file was written (when one was asked for)
    sim_stopped_saved = 2, // the user stopped the run and kept the results so far (written)
    sim_error_saved = 3,   // an error ended the run; what was computed was written
    sim_write_failed = 4,  // the run ended but its file could not be written (the old one kept)
    sim_given_up = 50,     // the user stopped the run without keeping it; nothing written
};
// Whether a result left a new run file.
inline bool sim_result_written(int r) {
    return r == sim_done || r == sim_stopped_saved || r == sim_error_saved;
}

// Integration methods (run_setup::method).
enum integration_method : int {
    im_euler = 0,
    im_rk4 = 1,
    im_rk2 = 2,
    im_rk_auto = 3,
    im_difference = 4, // treated as Euler
};

struct sim_options {
    int method = im_euler;
    const char* run_file = nullptr; // null: nothing is written
    char run_type = 'R';            // 'R' or 'r'
    std::string info;               // run information text
    double rk_tolerance = 1e-4;     // relative tolerance of im_rk_auto
    bool constants_in_table = true;
    // Changes for this run (null: none): values by slot where changed is 1,
    // and the lookups and strings of the setup copies.
    const float* setup_values = nullptr;
    const std::uint8_t* setup_changed = nullptr;
    const struct setup_state* setup = nullptr;
    bool initial_only = false;      // stop after the initial pass (out->initial)
    long max_steps = 0;             // refuse runs of more steps (0: no limit)
    bool check_constraints = false; // evaluate the constraints (always in a Plausitest run)
};

// A behaviour-test constraint that did not hold.
struct constraint_violation {
    std::string element; // the constraint's element name
    double first_time = 0;
    long count = 0; // evaluations (steps) at which it was false
};

// What a run computed (kept after the run for tests and Livesweep).
struct sim_output {
    std::vector<constraint_violation> violations;
    long constraint_checks = 0; // evaluations of the constraints (steps checked)
    std::vector<float> times;   // saved times
    std::vector<float> rows;    // per saved time: value_slots floats
    std::vector<float> initial; // the values after the initial pass
    std::uint32_t value_slots = 0;
    std::string error;   // the message that ended the run ("" none)
    double rk_steps = 0; // steps taken by im_rk_auto (sub-steps counted)
};

// Checks, orders, compiles and runs the model, then writes the run file
// when asked. The model must not be locked. out may be null.
int simulate_model(handle symbols, const sim_options& options, sim_output* out);

// Runs a compiled program (already ordered) over its model.
int run_program(handle symbols, const sim_program& program, const sim_options& options,
                sim_output* out);

// The run of the current model described by a run setup: the run name gives
// the run file (the model's directory, run-file extension), the method
// comes from the setup, the command-line text of the model record goes into
// the information block.
int run_simulation(run_setup* setup, int unused, int argument);

// The run name to use: the setup's, else the last run's name, else "Current".
const char* run_name_or_current(model_context* ctx);

// The break question asked at a save point after stop_request.
inline constexpr const char* save_results_question =
    "Do you want to save the results so far (cancel to continue simulation)";

// The values of one slot while a simulation runs (all elements of the
// variable whose first slot it is); returns the count (0 outside a run).
int wip_values(std::int32_t slot, std::vector<float>& out);

// Registers a spreadsheet or data file as a data source of the run being
// prepared or run (sim_phase 1 or above) and returns its index in the run's
// list (the same index for the same file); -1 outside a run.
int data_source_index(const char* path);
// The data sources registered for the current run.
const std::vector<std::string>& run_data_sources();

// Shows the results of a behaviour test (the Plausitest dialog, when the
// shell has one); called after a run that checked constraints.
using plausitest_fn = void (*)(const sim_output& results);
void set_plausitest_hook(plausitest_fn hook);
