// The native tier (see native.h): its switches and counters, and the log of
// its fallbacks. The IR of a pass is built in llvm/emit.cpp, compiled and
// linked in llvm/jit.cpp (the code generator's module, loaded by loader.cpp),
// on the compile worker of worker.cpp; run.cpp calls the compiled code.
#include <cstdlib>

#include "foundation/report.h"
#include "sim/native/compile_internal.h"

namespace native_detail {

std::atomic<int> fail_compiles{0}; // a bit per level
std::atomic<std::size_t> live_passes{0}, live_steps{0};
std::atomic<std::size_t> rolled_units{0};
std::atomic<std::size_t> handovers{0};
std::atomic<std::size_t> lane_units{0};
std::atomic<std::size_t> bounded_parts{0}, bound_misses{0};
std::atomic<std::size_t> engine_calls{0};
// Whether this thread is the worker's.
thread_local bool on_worker = false;
// The flag that drops the worker's compile under way (its job's): the
// modules not yet begun are not compiled once it is set.
thread_local const std::atomic<bool>* compile_dropped = nullptr;
// Test hook: while held, the worker's compiles wait before each module.
std::mutex hold_mutex;
std::condition_variable hold_changed;
bool compiles_held = false;
std::size_t held_compiles = 0;
std::atomic<std::size_t> dropped_compiles{0};
std::atomic<int> threads_setting{0};
std::atomic<bool> exiting{false};
std::atomic<std::size_t> wide_loops{0};

namespace {

std::atomic<int> mode_setting{-1};
std::atomic<bool> live_setting{false};
std::mutex log_mutex;
std::string last_fallback;

} // namespace

void log_fallback(const std::string& why) {
    {
        std::lock_guard<std::mutex> g(log_mutex);
        if (why == last_fallback) return;
        last_fallback = why;
    }
    report(0, "The model's equations run on the interpreter: %s", why.c_str());
}

void compiled() {
    std::lock_guard<std::mutex> g(log_mutex);
    last_fallback.clear();
}

} // namespace native_detail

using namespace native_detail;

void set_native_mode(int mode) {
    mode_setting = mode;
}

namespace {
thread_local bool auto_held = false;
}

native_auto_held::native_auto_held(bool hold) : was_(auto_held) {
    auto_held = auto_held || hold;
}

native_auto_held::~native_auto_held() {
    auto_held = was_;
}

int native_mode() {
#if !defined(KAVREL_NATIVE_MODULE)
    return nm_off; // a build without the tier: nothing to log either
#endif
    int m = mode_setting;
    if (m < 0) {
        const char* e = std::getenv("KAVREL_NATIVE");
        m = e && (*e == '0' || *e == '1' || *e == '2') && !e[1] ? *e - '0' : nm_auto;
        mode_setting = m;
    }
    return m == nm_auto && auto_held ? nm_off : m;
}

void set_native_live(bool live) {
    live_setting = live;
    if (live) resume_parked_jobs();
}

bool native_live() {
    return live_setting;
}

const std::atomic<bool>* native_detail::live_flag() {
    return &live_setting;
}

void set_native_compile_failure(bool fail, int level) {
    fail_compiles = fail ? level < 0 ? 3 : 1 << level : 0;
    // Failures made from here on are a run of their own: their first line
    // is logged even when an earlier run of them ended with the same line.
    compiled();
}

std::size_t native_live_passes() {
    return live_passes;
}

std::size_t native_live_steps() {
    return live_steps;
}

std::size_t native_handovers() {
    return handovers;
}

std::size_t native_lane_units() {
    return lane_units;
}

std::size_t native_bounded_parts() {
    return bounded_parts;
}

std::size_t native_bound_misses() {
    return bound_misses;
}

std::size_t native_rolled_units() {
    return rolled_units;
}

std::size_t native_engine_calls() {
    return engine_calls;
}

void set_native_compiles_held(bool held) {
    {
        std::lock_guard<std::mutex> g(hold_mutex);
        compiles_held = held;
    }
    hold_changed.notify_all();
}

std::size_t native_held_compiles() {
    std::lock_guard<std::mutex> g(hold_mutex);
    return held_compiles;
}

std::size_t native_dropped_compiles() {
    return dropped_compiles;
}

std::size_t native_wide_loops() {
    return wide_loops;
}

void set_native_compile_threads(int threads) {
    threads_setting = threads;
}
