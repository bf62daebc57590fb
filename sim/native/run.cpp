// Calls into compiled code, and its lifetime: what runs a pass needs no code
// generator, only the entry the compile gave.
#include <exception>
#include <mutex>
#include <vector>

#include "sim/flat.h"
#include "sim/interp_core.h"
#include "sim/native/compile_internal.h"
#include "sim/simdata.h"

using namespace native_detail;

native_code::native_code(bool of_steps) : steps(of_steps) {
    ++(steps ? live_steps : live_passes);
}

namespace {

// The JIT's holds on code freed at exit, after the code generator's statics
// went: kept, and reachable, to the process's end.
void keep_to_exit(void* owner) {
    static std::vector<void*>* kept = new std::vector<void*>;
    static std::mutex m;
    std::lock_guard<std::mutex> g(m);
    kept->push_back(owner);
}

} // namespace

native_code::~native_code() {
    if (free_owner) {
        if (!exiting)
            free_owner(owner);
        else
            keep_to_exit(owner);
    }
    --(steps ? live_steps : live_passes);
}

native_steps_fn native_steps_of(const native_code& code) {
    return code.steps ? reinterpret_cast<native_steps_fn>(code.entry) : nullptr;
}

int native_run(const native_code& code, flat_pass& pass, const void* ops, int mode,
               std::uint32_t* bad) {
    native_frame frame{run_lookup_data(), 0, &pass, nullptr};
    int r = code.fn()(value_array, rate_array, run_lookup_tables(), ops, mode, &frame);
    if (r == -1) std::rethrow_exception(frame.error);
    if (r < -1) {
        handovers.fetch_add(1, std::memory_order_relaxed);
        *bad = frame.bad;
        return r + 1; // -(k + 1): the loop goes on from instruction k
    }
    return r;
}

struct native_bound {
    pass_fn fn;
    const void* ops;
    lookup_table* tables;
    native_frame frame;
};

native_bound_handle native_bind(const native_code& code, flat_pass& pass, const void* ops) {
    return native_bound_handle(new native_bound{
        code.fn(), ops, run_lookup_tables(), native_frame{run_lookup_data(), 0, &pass, nullptr}});
}

native_direct native_direct_of(native_bound& b) {
    return {b.fn, b.tables, b.ops, &b.frame};
}

int native_run_bound(native_bound& b, int mode, std::uint32_t* bad) {
    int r = b.fn(value_array, rate_array, b.tables, b.ops, mode, &b.frame);
    return r ? native_bound_result(b, r, bad) : 0;
}

int native_bound_result(native_bound& b, int r, std::uint32_t* bad) {
    if (r == -1) {
        std::exception_ptr error = std::move(b.frame.error);
        b.frame.error = nullptr;
        std::rethrow_exception(error);
    }
    if (r < -1) {
        handovers.fetch_add(1, std::memory_order_relaxed);
        *bad = b.frame.bad;
        return r + 1;
    }
    return r;
}

void native_code_free::operator()(native_code* code) const {
    delete code;
}

void native_bound_free::operator()(native_bound* bound) const {
    delete bound;
}
