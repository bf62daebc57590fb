// What the files of the native tier share: the tier's switches and counters
// (compile.cpp), the JIT session and the compile of a pass on several
// threads (jit.cpp), the IR of a pass (emit.cpp) and the compile worker
// (worker.cpp). Internal to sim/native.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/native/native.h"
#include "sim/native/object_cache.h"

#if defined(KAVREL_WITH_LLVM)
#include <llvm/ADT/SmallVector.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/Target/TargetMachine.h>
namespace llvm {
class Module;
}
#endif

namespace native_detail {

extern std::atomic<int> fail_compiles; // a bit per level
extern std::atomic<std::size_t> live_passes, live_steps;
extern std::atomic<std::size_t> rolled_units;
extern std::atomic<std::size_t> handovers;
extern std::atomic<std::size_t> lane_units;
extern std::atomic<std::size_t> bounded_parts, bound_misses;
extern std::atomic<std::size_t> engine_calls;
#if !defined(KAVREL_WITH_LLVM)
// Whether this thread is the worker's.
extern thread_local bool on_worker;
// The flag that drops the worker's compile under way (its job's): the
// modules not yet begun are not compiled once it is set.
extern thread_local const std::atomic<bool>* compile_dropped;
// (The code generator's module is told both in a compile_caller instead of
// reading the program's thread-locals from another object.)
#endif
// Test hook: while held, the worker's compiles wait before each module.
extern std::mutex hold_mutex;
extern std::condition_variable hold_changed;
extern bool compiles_held;
extern std::size_t held_compiles;
extern std::atomic<std::size_t> dropped_compiles;

// One log line for a run of compiles that fail alike (a model's passes are
// compiled together).
void log_fallback(const std::string& why);
// A compile succeeded: the next failure is logged again.
void compiled();

// What the compiles keep between them, given back once the worker has
// nothing left to do (nothing in a build without LLVM).
void release_compile_memory();

} // namespace native_detail

// What a call from native code into the engine needs: the pass (for its
// chunk loops) and the error a unit left to the interpreter threw, which
// goes on after the native code has returned (no exception crosses it).
// The points of the run's lookups come first: the native code reads them.
// The flag of values not finite follows: a pass handed to the flat loop part
// way leaves it there.
struct native_frame {
    const float* lookup_data;
    std::uint32_t bad;
    flat_pass* pass;
    std::exception_ptr error;
};
static_assert(offsetof(native_frame, lookup_data) == 0);

namespace native_detail {

// The signature of a compiled pass: value_array, rate_array, the run's
// lookup tables, the pass's bound instructions, the mode, the frame.
using pass_fn = std::int32_t (*)(float*, float*, lookup_table*, const void*, std::int32_t,
                                 native_frame*);

} // namespace native_detail

// Compiled code: its entry (a pass_fn, or for code of steps a
// native_steps_fn) and the code generator's hold on the memory it lives in,
// given back through free_owner when the code goes.
struct native_code {
    void* entry = nullptr;
    const bool steps;
    void* owner = nullptr;
    void (*free_owner)(void*) = nullptr;
    native_detail::pass_fn fn() const { return reinterpret_cast<native_detail::pass_fn>(entry); }
    explicit native_code(bool of_steps);
    ~native_code();
    native_code(const native_code&) = delete;
    native_code& operator=(const native_code&) = delete;
};

// Who asks for a compile: the worker (which leaves cores to the run, and
// whose compile a dropped job stops before its next module) or a run's own
// thread.
struct compile_caller {
    bool worker = false;
    const std::atomic<bool>* dropped = nullptr;
    bool live = false; // a live mode waits for the code (see set_native_live)
    const std::atomic<bool>* live_now = nullptr; // whether one does by now
    // Only code the object cache has whole: nothing is compiled, and the
    // compile fails when a module is not there.
    bool cache_only = false;
};

// The code generator, a module of its own (libkavrel_native.so) loaded on
// the first compile: LLVM's library is large, and a process that never
// compiles (a viewer that only shows a model, a tool that reads runs) does
// not map it. Both sides come from one build; size checks that.
struct native_backend {
    std::size_t size = sizeof(native_backend);
    // Makes the JIT: null, or why there is none.
    const char* (*start)();
    native_handle (*compile)(const native_listing& listing, int level, std::string* why,
                             const compile_caller& caller);
    native_handle (*compile_steps)(const native_listing& dynamic, const native_listing& rates,
                                   const native_step_shape& shape, int level, std::string* why,
                                   const compile_caller& caller);
    // What the compiles keep between them (see release_compile_memory).
    void (*release_memory)();
};

// The module's one entry point, found by name.
extern "C" const native_backend* kavrel_native_backend();

namespace native_detail {

// Set at exit once the worker has stopped, before the code generator's own
// statics go: code freed after it leaves the JIT's memory to the process's end.
extern std::atomic<bool> exiting;
// Finishes the worker's compile under way and ends its thread (at exit).
void stop_worker();
// Queues the tier 1 of every job that waits until its pass is hot.
void resume_parked_jobs();
// The flag set_native_live sets.
const std::atomic<bool>* live_flag();
// Loads the code generator's module if it is not yet (once; see loader.cpp).
void load_backend();
// A pass's code at level from the object cache, when it has every module
// of it (a worker's compile, found or not; nothing is compiled).
native_handle cached_code(const native_listing& listing, int level);

// LLVM's library is 100 MB of code and tables, and the system maps 64 KB of
// it around every page read. Its load (relocation, static constructors), the
// JIT's start and a compile each read scattered parts of it, a few MB at a
// time; left mapped, they add up to 50 MB over a first run's compiles.
// While a periodic code_trimmer lives, a thread of its own drops the
// library's mapped code every code_trim_interval; every trimmer drops it
// once more at its end. The pages stay in the system's file cache, and a
// page used again costs a minor fault. Each drop stops every thread of the
// process a moment and has the compile read its pages again (a large
// compile took a tenth longer): only the load and compiles of passes up to
// code_trim_max_ops, whose peak is mostly the library's pages, are trimmed
// as they go. The load is trimmed every code_load_trim_interval: it reads
// the library's relocations and symbols once, in order, a few hundred MB a
// second, so pages dropped are seldom read again (at 10 ms its peak was
// 37 MB over the process before it, at 1 ms 25 MB, for a millisecond more).
// The JIT's start is trimmed as the load is. A small compile reads about
// 10 MB of the library's code within 10 ms; dropped every
// code_small_trim_interval, tier 1 compiles of the large sample's passes
// peaked about 3 MB lower (94-96 MB against 97-100) for a third more compile
// time (small compiles take a few hundred milliseconds on the worker, and no
// run waits for them).
void drop_code_pages();
// madvise(advice) over libLLVM's and the module's never-written mappings,
// only the executable ones when code_only.
void advise_library_pages(int advice, bool code_only);
inline constexpr std::chrono::microseconds code_trim_interval{10000}, code_load_trim_interval{1000},
    code_small_trim_interval{1000};
inline constexpr std::size_t code_trim_max_ops = 2000;
class code_trimmer {
public:
    explicit code_trimmer(bool periodic, std::chrono::microseconds every = code_trim_interval);
    ~code_trimmer();
    code_trimmer(const code_trimmer&) = delete;
    code_trimmer& operator=(const code_trimmer&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};

// Compile threads set by a test (0: chosen by size and machine).
extern std::atomic<int> threads_setting;
// Units compiled as wide loops.
extern std::atomic<std::size_t> wide_loops;

} // namespace native_detail

#if defined(KAVREL_WITH_LLVM)

namespace native_detail {

// A target machine of the level for one compile (kept for the next).
struct machine_lease {
    int level;
    std::unique_ptr<llvm::TargetMachine> tm;
    explicit machine_lease(int l);
    ~machine_lease();
    machine_lease(const machine_lease&) = delete;
    machine_lease& operator=(const machine_lease&) = delete;
};

// One module of a pass: parts first..end, the main function in the first.
struct module_task {
    std::size_t first = 0, end = 0;
    bool main = false;
    llvm::SmallVector<char, 0> object;
    std::string error; // why it could not be compiled
    // The engine's functions and values the module calls and reads, as
    // symbols (name, address in this process) the code links with: the
    // module names no address of the process, so its object serves another.
    std::vector<std::pair<std::string, std::uint64_t>> hosts;
    // Its key in the object cache (keyed: it has one).
    cache_key key{};
    bool keyed = false;
    bool cache_only = false; // from the cache or not at all (compile_caller)
};

// Before a module's IR passes: its addresses made symbols (t.hosts) and
// its key found; true when t.object came from the cache (nothing is left
// to do then).
bool object_from_cache(int level, llvm::Module& m, module_task& t);
// After its compile: t.object filed under its key.
void object_to_cache(const module_task& t);
// The LLVM options the JIT sets for every compile (part of the key).
extern const char* const code_generator_options;

// The sizes of the parts a listing is cut into (in instructions).
std::vector<std::size_t> part_sizes(const native_listing& listing, int level);

// Parts t.first..t.end of a pass (and its main function when t.main).
void compile_module(const native_listing& listing, int level, const std::string& name,
                    const llvm::DataLayout& layout, module_task& t);
// The steps function of a program (see build_steps) in one module.
void compile_steps_module(const native_listing& dynamic, const native_listing& rates,
                          const native_step_shape& shape, int level, const std::string& name,
                          const llvm::DataLayout& layout, module_task& t);

} // namespace native_detail

#endif
