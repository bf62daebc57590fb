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
// (-O1) before its first run (tests); or (auto, the default) at tier 1 on a
// worker thread for passes of native_auto_min_ops to native_auto_max_ops
// instructions, the flat loop running them until their code is ready. Larger
// passes stay on the loop: their compile would take the worker many seconds
// and much memory (about 3 s for 7,400 instructions). The environment
// variable KAVREL_NATIVE (0, 1, 2; else auto) sets the first value.
enum native_mode : int { nm_off = 0, nm_tier0 = 1, nm_tier1 = 2, nm_auto = 3 };
void set_native_mode(int mode);
int native_mode();
// Given to set_native_mode: back to the environment's choice (tests restore
// the mode so, for the engine suite runs under each mode).
inline constexpr int nm_environment = -1;
inline constexpr std::size_t native_auto_min_ops = 8, native_auto_max_ops = 16000;

// Whether this build has the native tier and the JIT starts.
bool native_available();

// Test hook: every compile from now on fails as a broken one would (the
// passes then run on the flat loop after their log line).
void set_native_compile_failure(bool fail);

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
};
struct native_listing {
    std::vector<native_op> ops;
    std::vector<float> numbers; // the pass's decoded numbers, by index
    std::size_t registers = 0;
};

// Compiles a listing at tier 0 or 1; null when it cannot, after one log line
// naming why (or, given why, with the reason there and nothing logged).
native_handle native_compile(const native_listing& listing, int level, std::string* why = nullptr);

// A compile on the worker thread (one thread for the process, one compile at
// a time, in the order asked).
struct native_job;
std::shared_ptr<native_job> native_compile_later(native_listing listing, int level);
// Whether the job has ended (compiled or failed).
bool native_done(const native_job& job);
// The code of an ended job (null when it failed, after one log line).
native_handle native_take(native_job& job);
// Drops a job: not started, it never starts; running, its code is freed when
// it ends. Does not wait.
void native_cancel(native_job& job);
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
