// The records a run is described by and reports back: the options it runs
// with, the values it computed, its result code, and what the run of the
// current model wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct setup_state;

// The results of a run (simulate_model, run_program, the game): one meaning per value.
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
    std::string run_name;           // the run's name, reported back in run_result
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
    long constraint_checks = 0;           // evaluations of the constraints (steps checked)
    std::vector<std::string> constraints; // every constraint element checked, in model order
    std::vector<float> times;             // saved times
    std::vector<float>
        rows; // per saved time: value_slots floats (none in a Livesweep re-run without a run file)
    std::vector<float> initial; // the values after the initial pass
    std::uint32_t value_slots = 0;
    std::string error;   // the message that ended the run ("" none)
    double rk_steps = 0; // steps taken by im_rk_auto (sub-steps counted)
};

// What a run of the current model did: its result, and the run file it wrote
// under which run name. The run driver loads exactly this file.
struct run_result {
    int status = sim_refused;
    std::string run_name; // the name the run was made under (as the setup holds it)
    std::string run_file; // the full path of the run file ("" : none was asked for)
    // Whether the run left a new run file at run_file.
    bool written() const { return !run_file.empty() && sim_result_written(status); }
};

// The break question asked at a save point after stop_request.
inline constexpr const char* save_results_question =
    "Do you want to save the results so far (cancel to continue simulation)";
