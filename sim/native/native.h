// The engine's native tier: the flat form of a pass (sim/flat.h) compiled
// in-process to machine code through LLVM's ORC JIT, one function per pass.
//
// The code does what the flat instructions do, in the same order, over the
// same storage (floats in value_array and rate_array, doubles in between),
// with the same NA rules and the same finite checks: a stored value that is
// not finite is reported by the flat pass, naming the same unit. Units the
// flat form leaves to the interpreter (and the chunk loops of units of
// several lanes) are calls from the native code into the same functions the
// flat loop calls, so the interpreter stays the reference and the fallback.
//
// Without LLVM (a build without it, a JIT that does not start) or when a
// compile fails, a pass runs on the flat loop, after one log line.
// KAVREL_NATIVE_DUMP=file appends the IR of each compiled pass to file.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class flat_pass;
struct native_code;
struct native_code_free {
    void operator()(native_code* code) const;
};
// The compiled code of one pass; freeing it frees the machine code.
using native_handle = std::unique_ptr<native_code, native_code_free>;

// When passes are compiled: never; every pass at tier 0 (-O0) or tier 1
// (-O1) before its first run (tests); or (auto, the default) on a worker
// thread for passes of native_auto_min_ops to native_auto_max_ops
// instructions, the flat loop running them until their code is ready: tier 0
// first (a third of tier 1's compile, on all cores but one: 5,000 values are
// ready within about half a second, and run a fifth faster than on the
// loop), then tier 1, which replaces it. Larger passes stay on the loop:
// their compile would keep the worker and half the processor busy for more
// than ten seconds (30,000 instructions: 5 s). The environment variable
// KAVREL_NATIVE (0, 1, 2; else auto) sets the first value.
enum native_mode : int { nm_off = 0, nm_tier0 = 1, nm_tier1 = 2, nm_auto = 3 };
void set_native_mode(int mode);
int native_mode();
// Given to set_native_mode: back to the environment's choice (tests restore
// the mode so, for the engine suite runs under each mode).
inline constexpr int nm_environment = -1;
// While one lives, this thread's native_mode reads nm_auto as nm_off: a run
// made only to show values (a diagram's read-only slider before any run)
// starts no compile and loads no code generator; the passes it builds are
// built again, with their compile, by the next run. (Simulation Setup and
// Livesweep do start them with their initial run: their re-runs follow.)
// Forced tiers are left as they are.
class native_auto_held {
public:
    explicit native_auto_held(bool hold);
    ~native_auto_held();
    native_auto_held(const native_auto_held&) = delete;
    native_auto_held& operator=(const native_auto_held&) = delete;

private:
    bool was_;
};
inline constexpr std::size_t native_auto_min_ops = 8, native_auto_max_ops = 64000,
                             native_auto_tier0_max_ops = native_auto_max_ops;

// Whether this build has the native tier and the JIT starts.
bool native_available();

// Test hook: every compile (of level, or of every level when -1) from now
// on fails as a broken one would (the passes then run on the flat loop after
// their log line, or on tier 0 when tier 1 fails).
void set_native_compile_failure(bool fail, int level = -1);

// How many threads one compile may use (0, the default: as the processor
// allows). Tests set it to compare a pass compiled by one thread and by several.
void set_native_compile_threads(int threads);

// While a live mode (Livesweep) re-runs the model as the user moves its
// sliders, every re-run waits on the passes' tier 1 code: the worker's
// compiles then use every core but one, whatever the machine's load (on
// their own they leave half the cores, and those the load leaves, to the
// rest of the system). Set while Livesweep is on.
void set_native_live(bool live);
bool native_live();

// Tier 1 when hot (the viewer turns it on; off, every auto job compiles its
// tier 1 right after its tier 0): a pass's tier 1 is compiled only once the
// pass is still run native_hot_after after its compile was asked for (a
// long run, or a later run of the kept passes), or while a live mode is on
// (entering one queues every waiting tier 1). A short model run once, as
// most are in a viewer, then costs a tier 0 compile: a third of the time
// and little of the memory of tier 1 (the large sample's peak was over
// 100 MB with tier 1). Compiled steps wait the same way.
void set_native_tier1_when_hot(bool on);
inline constexpr std::chrono::milliseconds native_hot_after{100};
// Test hook: how long after its compile was asked for a pass run counts as
// hot (native_hot_after unless set).
void set_native_hot_after(std::chrono::milliseconds after);

// Passes whose machine code is alive (compiled and not yet freed).
std::size_t native_live_passes();

// One instruction of a flat pass as the compiler needs it: its code, its
// operands resolved to a kind and index (field 0 a, 1 b, 2 c), its
// registers, and for calls the count of arguments.
enum native_kind : std::uint8_t { nk_value, nk_rate, nk_number, nk_table, nk_code, nk_none = 0xFF };
struct native_operand {
    std::uint8_t kind = nk_none;
    std::int64_t index = 0;
};
struct native_op {
    std::uint16_t code = 0;
    std::uint32_t a = 0, b = 0; // register or unit operands
    native_operand field[3];
    std::uint32_t nargs = 0; // fo_call, fo_rate
    // fo_call, fo_rate: the built-in, the first slot of its hidden states in
    // value_array (and rate_array) and their count (0: none).
    std::uint32_t fn = 0, state = 0, states = 0;
    // fo_call of LOOKUP EXTRAPOLATE or LOOKUP INVERT: the run's table it
    // reads (-1: not known, the engine's call looks it up).
    std::int64_t table = -1;
};
// A unit of several lanes (fo_wide) as its chunk loops compute it: steps in
// order, each one operation over every lane, the last one storing into the
// target. An operand is a lane of a variable (at: slot of lane 0), one value
// read by every lane (at: a slot or number) or the result of an earlier step.
// Units with lookups are described by lanes and target alone (steps empty):
// the compiler calls their loops.
enum native_wide_op : std::uint8_t {
    nw_binary, // binary: FLAT_BINARY's operation over x[0], x[1]
    nw_pair,   // (x[0] binary x[1]) binary2 x[2], or x[2] binary2 (...) when right
    nw_neg,
    nw_not,
    nw_same,  // x[0] as it is
    nw_if,    // x[0] != 0 ? x[1] : x[2]
    nw_gather // lane i reads slot slots[i] of value_array
};
enum native_wide_kind : std::uint8_t { nwk_step, nwk_lane, nwk_one };
struct native_wide_operand {
    std::uint8_t kind = nwk_one;
    native_operand at;      // nwk_lane, nwk_one
    std::uint32_t step = 0; // nwk_step
};
struct native_wide_step {
    std::uint8_t op = nw_same;
    std::int8_t binary = -1, binary2 = -1;
    bool right = false;
    native_wide_operand x[3];
    std::vector<std::int64_t> slots; // nw_gather
};
struct native_wide {
    std::uint32_t lanes = 0;
    native_operand target;
    std::vector<native_wide_step> steps;
};
struct native_listing {
    std::vector<native_op> ops;
    std::vector<float> numbers; // the pass's decoded numbers, by index
    std::size_t registers = 0;
    std::vector<native_wide> wides; // by fo_wide's a
};

// Units of several lanes compiled as native loops so far (tests).
std::size_t native_wide_loops();

// Compiles a listing at tier 0 or 1; null when it cannot, after one log line
// naming why (or, given why, with the reason there and nothing logged).
native_handle native_compile(const native_listing& listing, int level, std::string* why = nullptr);

// A compile on the worker thread (one thread for the process, one compile at
// a time, each job's tier 0 before any tier 1, in the order asked, except
// that a pass asked for far less often than another waiting, such as the
// initial pass against the passes of every step, comes after it); level -1
// is auto: tier 0 then tier 1 for passes of up to native_auto_tier0_max_ops
// instructions, tier 1 alone for larger ones. A job dropped (native_cancel)
// leaves the queue, so the compiles of the passes that replace it go first.
struct native_job;
std::shared_ptr<native_job> native_compile_later(native_listing listing, int level);
// Whether the job has ended (every level compiled or failed).
bool native_done(const native_job& job);
// Code of the job not taken yet, the best level first (null when there is
// none; a level that failed logs one line). Once tier 1 is taken, tier 0
// code is never handed over.
native_handle native_take(native_job& job);
// Drops a job: not started, it leaves the queue; under way, its compile stops
// before its next module (modules on the worker are small) and what it made
// is freed. Does not wait.
void native_cancel(native_job& job);
// Test hooks: while held, the worker's compiles wait before each module
// (native_held_compiles of them waiting); compiles given up part way because
// their job was dropped, so far.
void set_native_compiles_held(bool held);
std::size_t native_held_compiles();
std::size_t native_dropped_compiles();
// Test hook: told of each compile the worker has done (its instructions and
// level), on the worker's thread; null: none.
using native_compile_hook = void (*)(std::size_t instructions, int level);
void set_native_compile_hook(native_compile_hook hook);
// Waits until the worker has nothing left to do (tests, benchmarks).
void native_wait_idle();

// Runs compiled code for pass (its instructions bound to the run's arrays):
// 0 when the pass is done, k + 1 when the values stored before instruction k
// include one that is not finite (the flat pass names it), -(k + 1) when the
// flat loop is to compute the pass on from instruction k (an operand there
// may be NA, which the compiled code tests only there), *bad then telling
// whether a value stored before k is not finite. An error of a unit left to
// the interpreter is thrown on as it was thrown.
int native_run(const native_code& code, flat_pass& pass, const void* ops, int mode,
               std::uint32_t* bad);

// A pass's code bound for many calls over one run's arrays (the time loop's
// steps between saves call each pass thousands of times): native_run with
// its frame and look-ups made once. Bind after the run's arrays and lookups
// are set; the code and the pass must outlive the binding.
struct native_bound;
struct native_bound_free {
    void operator()(native_bound* bound) const;
};
using native_bound_handle = std::unique_ptr<native_bound, native_bound_free>;
native_bound_handle native_bind(const native_code& code, flat_pass& pass, const void* ops);
// As native_run.
int native_run_bound(native_bound& bound, int mode, std::uint32_t* bad);
// The bound code as a direct call, for the time loop's steps between saves
// (a call fewer per pass and step): fn(value_array, rate_array, tables, ops,
// mode, frame) returning 0 is done; any other result goes to
// native_bound_result, which returns what native_run_bound would have.
struct lookup_table;
struct native_frame;
struct native_direct {
    std::int32_t (*fn)(float*, float*, lookup_table*, const void*, std::int32_t, native_frame*);
    lookup_table* tables;
    const void* ops;
    native_frame* frame;
};
native_direct native_direct_of(native_bound& bound);
int native_bound_result(native_bound& bound, int r, std::uint32_t* bad);

// The steps of the plain Euler road (the time loop's steps between saves
// with nothing else to do: the states' update, the time, the dynamic pass,
// the rates) of a small program, compiled as one function with its two
// passes: a step's values then go from one pass to the next in registers,
// and a step costs no call. The passes' code is the code their own compiles
// make, so a pass that stops part way is finished by its flat pass as its
// own code's would be.
//
// The shape: the levels in value_array[1, level_slots), the hidden states
// from value_array[value_slots] on, hidden_states of them.
struct native_step_shape {
    std::uint32_t level_slots = 0, value_slots = 0, hidden_states = 0;
    bool operator==(const native_step_shape& o) const {
        return level_slots == o.level_slots && value_slots == o.value_slots &&
               hidden_states == o.hidden_states;
    }
};
// Programs whose two passes have more instructions than this step through
// their passes' own code: their steps cost many times a call, and the
// passes compiled a second time, in one module, cost more than they gain
// (the world-size model, 1,392 instructions: 2-3 % faster runs for three
// times the compile). On the worker a unit of several lanes counts each
// lane.
inline constexpr std::size_t native_steps_max_ops = 512;
// What the compiled steps read and write: the run's lookup tables, the
// passes' bound instructions and frames (dynamic, then rates), the steps
// made (n, in), the last step to make, the time of step 0 and the time step
// (the time of step n is t0 + n dt, as the time loop computes it), the
// states' step h, and the result of a pass that stopped.
struct native_steps_state {
    lookup_table* tables = nullptr;
    const void* ops[2] = {};
    native_frame* frame[2] = {};
    std::int64_t n = 0, last = 0;
    double t0 = 0, dt = 0;
    float h = 0;
    std::int32_t result = 0;
};
// What the compiled steps return, state.n being the last step begun:
// every step made (n == last); a state of step n is not finite (nothing
// after the update done); the dynamic pass or the rates of step n stopped
// with state.result (native_bound_result of that pass tells what to do).
enum native_steps_end : std::int32_t { ns_done = 0, ns_states = 1, ns_dynamic = 2, ns_rates = 3 };
using native_steps_fn = std::int32_t (*)(float*, float*, native_steps_state*);
// Compiles the steps of a program (as native_compile, one module).
native_handle native_compile_steps(const native_listing& dynamic, const native_listing& rates,
                                   const native_step_shape& shape, int level,
                                   std::string* why = nullptr);
// The same on the worker thread, at tier 1 (taken with native_take).
std::shared_ptr<native_job> native_compile_steps_later(native_listing dynamic, native_listing rates,
                                                       const native_step_shape& shape);
// The steps function of code compiled by native_compile_steps (null for a
// pass's code).
native_steps_fn native_steps_of(const native_code& code);
// Compiled steps whose machine code is alive (they are not counted among
// the passes).
std::size_t native_live_steps();

// Consecutive units that repeat one another (the same instructions over
// slots a stride apart from unit to unit) are compiled as one loop over
// them. Units compiled so in loops so far (tests).
std::size_t native_rolled_units();
// Times compiled code handed a pass to the flat loop (an operand that may be
// NA, a stored value that may not be finite) so far (tests).
std::size_t native_handovers();
// Repeated units computed in lanes (several at once by vector operations)
// so far (tests).
std::size_t native_lane_units();
// Parts compiled with bounded code (which leaves out the NA tests of results
// that cannot be NA while the slots read stay under a bound), and the times
// such code found a slot out of its bounds and gave way to the fully tested
// code, so far (tests).
std::size_t native_bounded_parts();
std::size_t native_bound_misses();
// Built-in calls compiled code left to the engine (the random draws, the
// pipeline delay and calls of unusual shapes) made so far (tests).
std::size_t native_engine_calls();
