// Livesweep (see livesweep.h).
#include "sim/livesweep.h"

#include <memory>
#include <string>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/check.h"
#include "model/codegen.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/order.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace {

livesweep_timer_fn timer_hook = nullptr;
window_message_fn message_hook_fn = nullptr;
livesweep_refresh_fn refresh_hook = nullptr;

struct livesweep_run {
    handle symbols = 0;
    sim_program program;
};
std::unique_ptr<livesweep_run> compiled;
bool busy = false;
bool pending = false;
std::uint32_t pending_window = 0;
int pending_mode = 0;

bool compile_current() {
    handle s = cur_model_symbols;
    if (compiled && compiled->symbols == s) return true;
    auto c = std::make_unique<livesweep_run>();
    c->symbols = s;
    if (check_model(s) || !generate_code(s, c->program) || !order_program(s, c->program))
        return false;
    compiled = std::move(c);
    return true;
}

void arm_timer() {
    if (timer_hook) timer_hook(livesweep_timer_id, livesweep_timer_ms);
}

} // namespace

void set_livesweep_timer_hook(livesweep_timer_fn hook) {
    timer_hook = hook;
}
void set_window_message_hook(window_message_fn hook) {
    message_hook_fn = hook;
}
void set_livesweep_refresh_hook(livesweep_refresh_fn hook) {
    refresh_hook = hook;
}
bool livesweep_busy() {
    return busy;
}

int enter_livesweep(int) {
    if (!cur_model_symbols) return 0;
    livesweep_state = ls_entering;
    if (!ensure_setup_copy(0) || !compile_current()) {
        livesweep_state = ls_off;
        return 0;
    }
    livesweep_state = ls_on;
    set_native_live(true);
    sim_phase = phase_livesweep_ready;
    report_livesweep_on = true;
    return 1;
}

void leave_livesweep() {
    if (timer_hook) timer_hook(livesweep_timer_id, 0);
    pending = false;
    compiled.reset();
    livesweep_state = ls_off;
    set_native_live(false);
    report_livesweep_on = false;
    if (sim_phase == phase_livesweep_ready) sim_phase = phase_setup;
}

int livesweep_simulate(int, int, int, int* result) {
    int r = sim_refused;
    if (livesweep_state == ls_on && compile_current()) {
        setup_state* st = setup_copies();
        sim_options o;
        std::string path;
        handle_lock<float> values(setup_copy);
        if (st && st->symbols == compiled->symbols) {
            o.setup_values = values.get();
            o.setup_changed = st->changed.data();
            o.setup = st;
        }
        if (model_rec) o.method = model_rec->setup.method;
        {
            // Disk Livesweep: the re-run is also written as the current run.
            model_settings* ms = lock_model_settings(compiled->symbols);
            bool disk = ms && (ms->flags2 & msf2_disk_livesweep);
            unlock_model_settings(compiled->symbols);
            if (disk) {
                path = dataset_path(run_name_or_current(model_rec));
                o.run_file = path.c_str();
            }
        }
        std::uint8_t old_kind = run_kind;
        run_kind = rk_livesweep;
        if (refresh_hook) refresh_hook(0);
        r = run_program(compiled->symbols, compiled->program, o, nullptr);
        run_kind = old_kind;
        if (refresh_hook) refresh_hook(1);
    }
    if (result) *result = r;
    return r;
}

int livesweep_write_run(const char* path, const char* run_name) {
    if (livesweep_state != ls_on || busy || !path || !*path || !compile_current())
        return sim_refused;
    setup_state* st = setup_copies();
    sim_options o;
    handle_lock<float> values(setup_copy);
    if (st && st->symbols == compiled->symbols) {
        o.setup_values = values.get();
        o.setup_changed = st->changed.data();
        o.setup = st;
    }
    if (model_rec) o.method = model_rec->setup.method;
    o.run_file = path;
    o.run_name = run_name && *run_name ? run_name : "Current";
    if (model_rec) o.info = ctx_text(model_rec, model_rec->run_command);
    // An ordinary run of the values shown: the shown-run arrays stay as they are.
    std::uint8_t old_kind = run_kind;
    run_kind = rk_ordinary;
    busy = true;
    stop_request = 0;
    int r = run_program(compiled->symbols, compiled->program, o, nullptr);
    busy = false;
    run_kind = old_kind;
    return r;
}

int livesweep_rerun(std::uint32_t window, int mode, int) {
    if (livesweep_state != ls_on) return 0;
    if (busy) {
        // The running re-run is told to stop; the newest request runs later.
        stop_request = 1;
        pending = true;
        pending_window = window;
        pending_mode = mode;
        arm_timer();
        return 1;
    }
    busy = true;
    stop_request = 0;
    int result = 0;
    livesweep_simulate(0, 0, 0, &result);
    busy = false;
    if (window && message_hook_fn) message_hook_fn(window, livesweep_done_message);
    return 1;
}

long inline_again_proc(std::uint32_t, unsigned message, std::uintptr_t wparam, std::intptr_t) {
    if (message != wm_timer_message || wparam != static_cast<std::uintptr_t>(livesweep_timer_id))
        return 0;
    if (busy) {
        arm_timer(); // still running: try again later
        return 0;
    }
    if (timer_hook) timer_hook(livesweep_timer_id, 0);
    if (!pending) return 0;
    pending = false;
    livesweep_rerun(pending_window, pending_mode, 0);
    return 0;
}
