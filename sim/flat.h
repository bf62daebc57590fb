// The flat form of a pass: the units of an evaluation order compiled once
// per run into one list of register instructions, run by one loop with no
// call per scalar unit.
//
// Operands are resolved when the form is built: a reference becomes the
// address of its value slot, a number the address of its pre-decoded float,
// and every intermediate result the accumulator or a register (doubles, so
// results are those of the interpreter to the bit). The common shapes are single instructions: an
// arithmetic operation, MIN or MAX, or a comparison reading two slots,
// numbers or registers, and writing a register or the unit's target.
//
// Units of several lanes made of arithmetic, comparisons, MIN, MAX, IF THEN
// ELSE and lookups are decoded too, into chunk loops: each operation one
// loop over up to 256 lanes, its operands resolved to a line of values, one
// value or a chunk buffer, the last one (or the last two + - * / together)
// storing into the target; a plain copy of another variable is one
// instruction. Units the form does not cover (other built-ins, vector
// functions, data calls, held values, random draws, pipelines, messages)
// stay calls of the interpreter inside the same list, so the order of
// evaluation never changes around them (a pass may bring together plain
// units of one shape that do not depend on one another: see the
// constructor).
//
// Stored values are checked for being finite once per pass (and before any
// step that could stop the run in another way); the first unit in the
// given order whose value is not finite is named, as the interpreter would.
// A unit of several lanes is checked after each chunk it stores, and names
// the first such lane, as the interpreter does.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "model/codegen.h"
#include "sim/native/native.h"
#include "sim/simdata.h"

struct flat_op;
struct wide_unit;

class flat_pass {
public:
    // Builds the pass of the units of order (value_array, the lookup tables
    // and the interpreter's stack must be ready: call after interp_begin).
    // An initial pass (run in mode em_initial) leaves the calls that set up
    // hidden states (smoothing, delays, trends) and the rates of such states
    // to the interpreter: the flat and native forms of those calls only read
    // the states.
    //
    // group: units of one shape that do not depend on one another are
    // brought together (a stable reordering that keeps every dependency), so
    // that the native code computes them as a loop or in lanes. Only stretches
    // of plain units between two checks are reordered, and a value not finite
    // is still named for the first such unit in order, as the interpreter
    // names it.
    flat_pass(const sim_program& program, const std::vector<int>& order, bool initial = false,
              bool group = false);
    ~flat_pass();
    flat_pass(const flat_pass&) = delete;
    flat_pass& operator=(const flat_pass&) = delete;

    // Points the instructions at the arrays and lookup tables of a new run
    // of a program with the same code (program: its code words).
    void bind(const sim_program& program);

    // Evaluates the pass in mode em_main or em_stage (em_initial for an
    // initial pass).
    void run(int mode);

    // Units of the pass evaluated by the flat instructions (the others are
    // calls of the interpreter).
    std::size_t flat_units() const { return flat_units_; }
    // Units of several lanes run by their decoded chunk loops (the others
    // are calls of the interpreter).
    std::size_t wide_units() const { return wide_units_; }
    // Whether the pass runs as native code (sim/native/native.h).
    bool native() const { return native_ != nullptr; }

    // The pass's code bound for the calls of one run (null when the pass
    // has no code yet; code the worker has finished is taken first), and the
    // pass run as run(mode) runs it, through that binding.
    native_bound_handle bind_native();
    void run_bound(native_bound& code, int mode) {
        std::uint32_t bad = 0;
        int r = native_run_bound(code, mode, &bad);
        if (r != 0) finish_bound(r, bad, mode);
    }
    // The same through a direct call of the code (native_direct_of(code)).
    void run_direct(const native_direct& d, native_bound& code, int mode) {
        int r = d.fn(value_array, rate_array, d.tables, d.ops, mode, d.frame);
        if (r != 0) finish_direct(code, r, mode);
    }

    // What run_direct does after the code returned r (not 0).
    void finish_direct(native_bound& code, int r, int mode) {
        std::uint32_t bad = 0;
        r = native_bound_result(code, r, &bad);
        if (r != 0) finish_bound(r, bad, mode);
    }
    // The instructions as the native compiler reads them (before bind), and
    // how many there are.
    native_listing listing(const sim_program& program) const;
    std::size_t size() const;

    // For the native code: runs wide unit index of the pass.
    void run_wide_unit(std::uint32_t index);

private:
    // Where an address in an instruction points, so that a new run can
    // point it at its own arrays: field 0 operand a, 1 operand b, 2 the
    // third word; kind one of pk_*; index the slot, number, lookup or code
    // word (of unit).
    enum patch_kind : std::uint8_t { pk_value, pk_rate, pk_number, pk_table, pk_code };
    struct patch {
        std::uint32_t op;
        std::uint8_t field;
        std::uint8_t kind;
        int unit;
        std::int64_t index;
    };
    struct store_check {
        std::uint32_t op; // index of the instruction that stores
        int unit;
        bool rate; // into rate_array
        std::int64_t slot;
    };
    bool compile(const sim_program& program, int unit);
    struct unit_compiler; // compile's reading of one unit (sim/flat.cpp)
    // The instructions, patches and checks of one unit, and whether the unit
    // is plain instructions that may be reordered (no call, no check).
    struct unit_span {
        std::uint32_t from, to;
        std::size_t patch_from, patch_to, check_from, check_to;
        bool plain;
    };
    // Reorders the stretches of plain units (see the constructor).
    void group_units(const std::vector<unit_span>& spans);
    // What run does after the native code returned r (not 0).
    void finish_bound(int r, std::uint32_t bad, int mode);
    // The loop over the instructions from from on, bad telling whether a
    // value stored before them is not finite (the native code hands a pass
    // over part way).
    void run_loop(std::size_t from, std::uint32_t bad, int mode);
    // Takes the code the worker has compiled (tier 0, then tier 1).
    void take_native();
    bool compile_wide(const sim_program& program, int unit);
    // A wide unit as the native compiler reads it.
    static native_wide describe(const wide_unit& w);
    void run_wide(const wide_unit& w);
    // Names the first lane of chunk k0..k0+n-1 of w whose stored value is
    // not finite.
    void report_wide(const wide_unit& w, std::uint32_t k0, std::uint32_t n);
    // Names the first unit in order whose stored value is not finite, of the
    // instructions before before (a stretch of reordered units cut there is
    // computed to its end first).
    [[noreturn]] void report_non_finite(std::size_t before, int mode);

    std::vector<flat_op> ops_;
    std::vector<patch> patches_;
    // Where bind last pointed the instructions: a run whose arrays, lookup
    // tables and code lie where the last one's did (the next run of a model
    // most often) needs no binding. code_units_: the units whose code the
    // instructions point into.
    const float *bound_values_ = nullptr, *bound_rates_ = nullptr;
    const void* bound_tables_ = nullptr;
    std::vector<int> code_units_;
    std::vector<const std::uint32_t*> bound_code_;
    std::vector<double> regs_;
    std::deque<float> numbers_;       // pre-decoded numbers (addresses stay put)
    std::vector<store_check> checks_; // in the order of the units
    // The instructions [first, second) of each stretch of reordered units.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> grouped_;
    std::vector<std::unique_ptr<wide_unit>> wides_;
    std::vector<double> wide_buffers_; // chunk buffers of the wide units
    std::size_t flat_units_ = 0;
    std::size_t wide_units_ = 0;
    bool initial_ = false;            // built for mode em_initial
    bool resolved_ = false;           // codes replaced by their handlers' addresses
    native_handle native_;            // the pass compiled (null: the loop of run)
    std::shared_ptr<native_job> job_; // its compile on the worker thread
};

// Whether passes built from now on may run their chunk loops with the
// processor's wider vectors where it has them (the default); off, the
// loops every processor runs (the same values). set_wider_vectors in
// sim/interp.h also drops the kept passes.
void set_flat_wider_vectors(bool on);
