// The interpreter: runs the eq_code of the compiled units over value_array
// and rate_array, lane by lane in chunks (one opcode over many elements at a
// time), with the built-in functions of the vocabulary: arithmetic with NA
// propagation, the test inputs of time, lookups through lookup_table records,
// smoothing and delays as hidden levels, the pipeline delay as a
// delay_object, held values (INITIAL, SAMPLE IF TRUE), seeded random streams,
// vector reductions and the message function.
//
// A result that is not a finite number, and a fatal error of a built-in, end
// the run: the interpreter throws run_unwind with a message naming the
// variable (and element) being computed; the time loop catches it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/codegen.h"
#include "sim/flat.h"
#include "sim/interp_core.h"
#include "sim/native/native.h"
#include "sim/simdata.h"

// The number of values in p[0..n) that are not finite (infinite or NaN).
std::uint32_t count_non_finite(const float* p, std::size_t n);
// v[i] += h r[i] for i in [0, n): one Euler step of a range of states. True
// when any of the new values is not finite.
bool euler_update(float* v, const float* r, std::size_t n, float h);

// Prepares a run of the program: value_array and rate_array (all 0, NA for
// data variables), the lookup tables from the model's lookup list (or from
// the given copies), the delay-object pointers and the random streams, all
// from sim_pool (made when absent). 1 on success.
int interp_begin(const sim_program& program, handle symbols,
                 const lookup_table* lookup_copy = nullptr, const float* lookup_data_copy = nullptr,
                 std::uint32_t lookup_data_cells = 0);
// Forgets the run's structures (the pool is freed by the caller).
void interp_end();

// Evaluates the units in order. The dynamic and rate passes of the run's
// program (outside the initial pass) go through their flat forms (sim/flat.h)
// while those are on.
void eval_units(const std::vector<int>& order, int mode);
// The passes of a step (the dynamic order, then the rates) of the running
// program p in mode em_main or em_stage, as eval_units runs them, their
// native code bound once for many steps. The time loop keeps one while it steps
// (never longer than a call of its advance: no run may start in between).
class step_passes {
public:
    explicit step_passes(const sim_program& p);
    ~step_passes();
    step_passes(const step_passes&) = delete;
    step_passes& operator=(const step_passes&) = delete;
    void run(int mode = em_main) {
        // Both passes bound: they stay the run's until the advance ends.
        if (bound_) {
            dynamic_pass_->run_direct(dynamic_direct_, *dynamic_, mode);
            rates_pass_->run_direct(rates_direct_, *rates_, mode);
            return;
        }
        run_unbound(mode);
    }
    // Steps n + 1 .. last of the plain Euler road (each: the states' Euler
    // update by h, the time t0 + n dt, then run()) in one call of the
    // program's compiled steps, when it has them and run() has bound the
    // passes. False when nothing was done. Else n is the last step begun:
    // last, or with states_bad a step whose updated states are not all
    // finite, nothing after its update done (the caller reports it, or sets
    // the time and runs the passes itself).
    bool steps(long& n, long last, double t0, double dt, float h, bool& states_bad);

private:
    void run_unbound(int mode);
    const sim_program& p_;
    flat_pass *dynamic_pass_ = nullptr, *rates_pass_ = nullptr;
    native_bound_handle dynamic_, rates_;
    native_direct dynamic_direct_{}, rates_direct_{};
    bool bound_ = false;
    native_steps_fn steps_ = nullptr;
    native_steps_state steps_state_;
};
// Steps made by compiled steps so far (tests).
std::size_t native_steps_made();
// Runs the initial pass of the running program p (its initial_order, in
// mode em_initial) through its flat form, kept from an earlier run of the
// same code (built at the second run): the interpreter's values and errors,
// with the targets of the units after one that fails as the interpreter
// leaves them. The set-up values changed (setup_changed, per value slot;
// null: none) go in right after their units, which must be units that store
// a number. False (nothing done) when there is no such form or a changed
// value belongs to another unit: the caller evaluates the units one by one.
bool run_initial_pass(const sim_program& p, const float* setup_values = nullptr,
                      const std::uint8_t* setup_changed = nullptr);
// Initial passes built so far (tests: a run that reuses one builds none),
// and runs of the initial pass through its flat form so far.
std::size_t initial_pass_builds();
std::size_t initial_pass_runs();
// Whether runs build and use the flat forms: on unless the environment
// variable KAVREL_REFERENCE_ENGINE is set (not "0"), which leaves every unit
// to the interpreter; the next interp_begin follows a change.
void set_flat_passes(bool on);
bool flat_passes();
// Whether the flat passes may run chunk loops with the processor's wider
// vectors (on by default; off for tests of the loops every processor runs).
// Forgets the flat passes kept from earlier runs.
void set_wider_vectors(bool on); // between runs
// Forgets the flat passes kept from earlier runs (and frees their native
// code): when the model they were built for is closed.
void forget_kept_passes();
// The kept passes taken aside (none kept from then on) and put back (the
// passes kept meanwhile freed): a checking run builds passes of its own
// without costing the model its compiled ones.
std::shared_ptr<void> take_kept_passes();
void put_back_kept_passes(std::shared_ptr<void> kept);
// Units of the current run's flat passes that run as flat instructions (the
// others are left to the interpreter); 0 without flat passes.
std::size_t flat_unit_count();
// Units of several lanes of the current run's flat passes that run as their
// decoded chunk loops; 0 without flat passes.
std::size_t wide_unit_count();
// Passes of the current run that run as native code (sim/native/native.h).
std::size_t native_pass_count();

// (run_lookup_tables and run_lookup_data are in sim/interp_core.h.)
std::uint32_t run_lookup_data_cells();
// The delay objects (program.delay_objects pointers; null until initialised).
delay_object** run_delay_objects();

// Seeded random streams: deterministic for a seed.
struct random_stream {
    std::uint64_t s[4];
};
void seed_stream(random_stream& r, double seed);
double stream_uniform(random_stream& r); // [0, 1)
double stream_normal(random_stream& r);  // mean 0, deviation 1

// A call that reads data or constants from an outside source (a run file,
// a spreadsheet): GET KDF DATA, GET XLS CONSTANTS, ...
struct data_source_call {
    int function = 0;               // built-in code (fn_get_*)
    std::vector<std::string> texts; // the leading text arguments (file, sheet or variable, ...)
    std::vector<float> numbers;     // the number arguments (as the first element sees them)
    std::string target;             // the equation's variable (its first element's name)
    int elements = 0;               // elements the equation computes, in order
};
// Fills, per element, a series (times and values) for the data forms, or one
// value (values only) for the constants forms. Installed by the runs
// subsystem (over get_run_data and the spreadsheet readers). 1 on success, 0
// after a message.
using data_source_reader = int (*)(const data_source_call& call,
                                   std::vector<std::vector<float>>* times,
                                   std::vector<std::vector<float>>* values);
void set_data_source_reader(data_source_reader reader);

// Evaluates a constraint unit; the lanes whose result is 0 (false) go to
// failed (NA counts as not known, not as false).
void eval_constraint(int unit, std::vector<std::uint32_t>& failed);

// The value slot a unit's lane computes (-1 for units without a target).
std::int64_t unit_target_slot(int unit, std::uint32_t lane);

// The element of a unit's lane as text, for messages.
std::string unit_element_text(int unit, std::uint32_t lane);
