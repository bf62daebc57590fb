// Gaming (see game.h): one time loop kept between intervals.
#include "sim/game.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "model/check.h"
#include "model/model.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/setup.h"
#include "sim/timeloop.h"

double game_interval = 0;
handle game_gauges = 0;
int game_gauge_count = 0;

namespace {

struct game_session {
    handle symbols = 0;
    sim_program program;
    sim_options options;
    std::string run_file, info;
    sim_output out;
    std::unique_ptr<time_loop> loop;
    bool own_pool = false;
    bool running = false;   // an interval is being run
    bool end_asked = false; // end_game was called while it ran
};
std::unique_ptr<game_session> game;

// Steps of one interval (at least one).
long interval_steps() {
    double h = game->loop->time_step();
    double interval = read_game_interval(0);
    return std::max(1L, std::lround(interval / h));
}

int game_interval_run() {
    game_session& g = *game;
    long until = g.loop->step_number() + interval_steps();
    byte_restore kind(run_kind);
    run_kind = rk_game;
    g.running = true;
    int r = g.loop->advance(until);
    g.running = false;
    game_saved_times =
        static_cast<std::uint16_t>(std::min<std::size_t>(g.out.times.size(), 0xFFFF));
    if (sim_result_written(r) && g.options.run_file &&
        !write_results(g.symbols, g.program, g.options, g.out))
        r = sim_write_failed;
    bool over = r != sim_done || g.loop->step_number() >= g.loop->steps() || g.end_asked;
    if (over) end_game();
    return r;
}

} // namespace

bool game_in_progress() {
    return game != nullptr;
}

run_result game_run() {
    run_result r;
    if (game) {
        r.run_name = game->options.run_name;
        r.run_file = game->run_file;
    }
    return r;
}

double read_game_interval(int) {
    if (game_interval > 0) return game_interval;
    if (game && value_array) {
        symbol_id gi = find_symbol_in(game->symbols, "GAME INTERVAL");
        if (gi) {
            std::int32_t slot = get_symbol(game->symbols, gi).slot;
            if (slot >= 0 && static_cast<std::uint32_t>(slot) < game->program.value_slots &&
                value_array[slot] > 0)
                return value_array[slot];
        }
        if (game->program.saveper) {
            std::int32_t slot = get_symbol(game->symbols, game->program.saveper).slot;
            if (slot >= 0 && static_cast<std::uint32_t>(slot) < game->program.value_slots &&
                value_array[slot] > 0)
                return value_array[slot];
        }
    }
    return 1;
}

int start_game(const sim_options& o) {
    end_game();
    handle symbols = cur_model_symbols;
    if (!symbols || check_model(symbols)) return sim_refused;
    auto g = std::make_unique<game_session>();
    g->symbols = symbols;
    if (!generate_code(symbols, g->program) ||
        !order_program(symbols, g->program, o.check_constraints || run_kind == rk_plausitest))
        return sim_refused;
    // Game inputs hold the player's decisions: they are not recomputed after the initial pass.
    std::vector<int> dyn;
    for (int u : g->program.dynamic_order)
        if (g->program.units[static_cast<std::size_t>(u)].type != st_game) dyn.push_back(u);
    g->program.dynamic_order = dyn;
    g->options = o;
    g->run_file = o.run_file ? o.run_file : "";
    g->info = o.info;
    g->options.run_file = g->run_file.empty() ? nullptr : g->run_file.c_str();
    g->options.setup_values = nullptr; // put in at the start only (below)
    g->own_pool = take_sim_pool();
    if (!begin_run_interp(symbols, g->program, o)) {
        interp_end();
        release_sim_pool(g->own_pool);
        return sim_refused;
    }
    g->loop = std::make_unique<time_loop>(symbols, g->program, g->options, g->out);
    game = std::move(g);
    {
        sim_options first = game->options;
        first.setup_values = o.setup_values;
        first.setup_changed = o.setup_changed;
        game->options = first;
        byte_restore kind(run_kind);
        run_kind = rk_game;
        int r = game->loop->start();
        game->options.setup_values = nullptr;
        game->options.setup_changed = nullptr;
        if (r != sim_done) {
            end_game();
            return r;
        }
    }
    game_state = 1;
    return game_interval_run();
}

int continue_game() {
    if (!game) return sim_refused;
    // The player's changes: constants and game inputs of the setup copies.
    setup_state* st = setup_copies();
    if (st && st->symbols == game->symbols && setup_copy) {
        handle_lock<float> v(setup_copy);
        std::vector<std::uint8_t> types;
        model_type_bytes(game->symbols, game->program.value_slots, types);
        for (std::uint32_t s = 0; s < game->program.value_slots && s < st->changed.size(); ++s)
            if (st->changed[s] && (types[s] == st_game || is_constant_slot_type(types[s])))
                value_array[s] = v.get()[s];
        // The rates of the next step follow the decisions.
        eval_units(game->program.dynamic_order, em_stage);
        eval_units(game->program.rate_order, em_stage);
    }
    return game_interval_run();
}

void end_game() {
    game_state = 0;
    // Asked from the pump while an interval runs: the interval ends it.
    if (game && game->running) {
        game->end_asked = true;
        return;
    }
    free_handle(game_gauges);
    game_gauges = 0;
    game_gauge_count = 0;
    if (!game) return;
    bool own = game->own_pool;
    game.reset();
    interp_end();
    release_sim_pool(own);
}
