// Running a compiled model once, and the engine's view of the run going on
// (see run.h).
#include "sim/run.h"

#include <algorithm>
#include <cstring>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "model/check.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/setupstate.h"
#include "sim/timeloop.h"

namespace {

// The data sources of the run being prepared or run.
std::vector<std::string> data_sources;

// The output of runs whose caller keeps none (the run of the current model,
// a Livesweep re-run), kept with its storage for the next run of the model:
// the saved rows of a large model are hundreds of megabytes, and memory freed
// and mapped afresh is paid again in page faults on every run.
sim_output kept_output;
handle kept_for = 0;

// Empties an output for a new run, keeping the storage of its vectors.
void clear_output(sim_output& o) {
    o.violations.clear();
    o.constraint_checks = 0;
    o.constraints.clear(); // listed again at the run's first check
    o.times.clear();
    o.rows.clear();
    o.initial.clear();
    o.value_slots = 0;
    o.error.clear();
    o.rk_steps = 0;
}

} // namespace

void release_run_storage() {
    kept_output = sim_output{};
    kept_for = 0;
    // The flat passes (and their native code) were built for the model that
    // goes: they are freed with it, not when some other model next runs.
    forget_kept_passes();
}

int run_program(handle symbols, const sim_program& p, const sim_options& o, sim_output* out) {
    // A run of another model drops what was kept for the last one. Runs with
    // an output of their own count too: the set-up copies' initial run builds
    // the passes (and starts their compile) that the model's next runs keep.
    if (kept_for != symbols) {
        release_run_storage();
        kept_for = symbols;
    }
    sim_output& res = out ? *out : kept_output;
    if (native_check()) return run_checked(symbols, p, o, res);
    clear_output(res);
    bool own_pool = take_sim_pool();
    int result = sim_refused;
    if (begin_run_interp(symbols, p, o)) {
        {
            std::vector<std::uint8_t> types;
            model_type_bytes(symbols, p.value_slots, types);
            run_slot_types = types.data();
            time_loop loop(symbols, p, o, res);
            result = loop.run();
            run_slot_types = nullptr;
        }
        if (sim_result_written(result) && o.run_file && !o.initial_only)
            if (!write_results(symbols, p, o, res)) result = sim_write_failed;
        if (!o.run_file && result == sim_write_failed) result = sim_done;
    }
    interp_end();
    release_sim_pool(own_pool);
    return result;
}

namespace {
void (*exogenous_data_hook)() = nullptr;
}

void set_exogenous_data_hook(void (*hook)()) {
    exogenous_data_hook = hook;
}

int simulate_model(handle symbols, const sim_options& o, sim_output* out) {
    if (!symbols) return sim_refused;
    if (sim_phase < phase_preparing) data_sources.clear();
    if (exogenous_data_hook) exogenous_data_hook();
    if (check_model(symbols)) return sim_refused;
    sim_program p;
    if (!generate_code(symbols, p)) return sim_refused;
    if (!order_program(symbols, p, o.check_constraints || run_kind == rk_plausitest))
        return sim_refused;
    return run_program(symbols, p, o, out);
}

int wip_values(std::int32_t slot, std::vector<float>& out) {
    out.clear();
    if (!value_array || !run_in_progress || slot < 0 ||
        static_cast<std::uint32_t>(slot) >= value_slot_count)
        return 0;
    std::uint32_t count = 1;
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (g.ok()) {
            std::uint32_t end = model_hdr->w[mh_sym_end];
            for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells)
                if (valid_symbol(s) && sym(s)->type <= st_last_with_slots && sym(s)->slot == slot) {
                    count = sym_dims(s)->count;
                    break;
                }
        }
    }
    count = std::min(count, value_slot_count - static_cast<std::uint32_t>(slot));
    out.assign(value_array + slot, value_array + slot + count);
    return static_cast<int>(count);
}

// ------------------------------------------------------------ data sources ---

int data_source_index(const char* path) {
    if (sim_phase < phase_preparing || !path || !*path) return -1;
    std::string full = full_path(nullptr, path);
    for (std::size_t i = 0; i < data_sources.size(); ++i)
        if (name_cmp(data_sources[i].c_str(), full.c_str()) == 0) return static_cast<int>(i);
    data_sources.push_back(full);
    return static_cast<int>(data_sources.size() - 1);
}

const std::vector<std::string>& run_data_sources() {
    return data_sources;
}
