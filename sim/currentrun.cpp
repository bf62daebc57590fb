// The run of the current model (see currentrun.h).
#include "sim/currentrun.h"

#include <string>

#include "foundation/memory.h"
#include "model/model.h"
#include "sim/game.h"
#include "sim/run.h"
#include "sim/runname.h"
#include "sim/setup.h"

run_result run_simulation(const run_setup* setup) {
    run_result res;
    if (!cur_model_symbols) return res;
    // A game in progress writes on into the run file it started with.
    if (run_kind == rk_game && game_in_progress()) {
        res = game_run();
        res.status = continue_game();
        return res;
    }
    sim_options o;
    if (setup) o.method = setup->method;
    o.run_name = "Current";
    if (model_rec) {
        const char* name = ctx_text(model_rec, setup ? setup->run_name : 0);
        if (!name || !*name) name = run_name_or_current(model_rec);
        o.run_name = name;
        o.info = ctx_text(model_rec, model_rec->run_command);
        const char* extra = setup ? ctx_text(model_rec, setup->info_text) : "";
        if (extra && *extra) o.info += std::string("\n") + extra;
    }
    res.run_name = o.run_name;
    res.run_file = dataset_path(o.run_name.c_str());
    o.run_file = res.run_file.c_str();
    // The changes of the setup copies go into the run; the values block stays
    // locked while the run initialises. A game takes them into its first
    // interval.
    auto run = [&] {
        return run_kind == rk_game ? start_game(o) : simulate_model(cur_model_symbols, o, nullptr);
    };
    setup_state* st = setup_copies();
    if (st && st->symbols == cur_model_symbols) {
        handle_lock<float> values(setup_copy);
        o.setup_values = values.get();
        o.setup_changed = st->changed.data();
        o.setup = st;
        res.status = run();
    } else {
        res.status = run();
    }
    return res;
}
