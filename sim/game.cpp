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

// The player's decisions put in at the start of one interval.
struct game_decisions {
    long step = 0; // the step number the interval started at
    std::vector<std::pair<std::uint32_t, float>> values;
};

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
    // What a restart needs to replay the game: the set-up values the game
    // started with, and each later interval's start and decisions.
    std::vector<float> start_values;
    std::vector<std::uint8_t> start_changed;
    std::vector<game_decisions> history;
};
std::unique_ptr<game_session> game;

void free_session() {
    if (!game) return;
    bool own = game->own_pool;
    game.reset();
    interp_end();
    release_sim_pool(own);
}

// Puts decisions into the running model; the rates of the next step follow.
void apply_decisions(const game_decisions& d) {
    for (const auto& [slot, value] : d.values) value_array[slot] = value;
    eval_units(game->program.dynamic_order, em_stage);
    eval_units(game->program.rate_order, em_stage);
}

// Opens a game over the current model: compiled, interpreter started, the
// initial pass made with the set-up values of the options. sim_done when the
// game may go on (it is then `game`); else no game is left.
int open_session(const sim_options& o) {
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
    restamp_program(g->program);
    g->options = o;
    g->run_file = o.run_file ? o.run_file : "";
    g->info = o.info;
    g->options.run_file = g->run_file.empty() ? nullptr : g->run_file.c_str();
    if (o.setup_values && o.setup_changed) {
        g->start_values.assign(o.setup_values, o.setup_values + g->program.value_slots);
        g->start_changed.assign(o.setup_changed, o.setup_changed + g->program.value_slots);
    }
    g->options.setup_values = nullptr; // put in at the start only (below)
    g->options.setup_changed = nullptr;
    g->own_pool = take_sim_pool();
    if (!begin_run_interp(symbols, g->program, o)) {
        interp_end();
        release_sim_pool(g->own_pool);
        return sim_refused;
    }
    g->loop = std::make_unique<time_loop>(symbols, g->program, g->options, g->out);
    game = std::move(g);
    sim_options first = game->options;
    if (!game->start_values.empty()) {
        first.setup_values = game->start_values.data();
        first.setup_changed = game->start_changed.data();
    }
    game->options = first;
    byte_restore kind(run_kind);
    run_kind = rk_game;
    int r = game->loop->start();
    game->options.setup_values = nullptr;
    game->options.setup_changed = nullptr;
    if (r != sim_done) free_session();
    return r;
}

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
    int r = open_session(o);
    if (r != sim_done) {
        game_state = 0;
        return r;
    }
    game_state = 1;
    return game_interval_run();
}

int continue_game() {
    if (!game) return sim_refused;
    // The player's changes: constants and game inputs of the setup copies.
    game_decisions d;
    d.step = game->loop->step_number();
    setup_state* st = setup_copies();
    if (st && st->symbols == game->symbols && setup_copy) {
        handle_lock<float> v(setup_copy);
        std::vector<std::uint8_t> types;
        model_type_bytes(game->symbols, game->program.value_slots, types);
        for (std::uint32_t s = 0; s < game->program.value_slots && s < st->changed.size(); ++s)
            if (st->changed[s] && (types[s] == st_game || is_constant_slot_type(types[s])))
                d.values.emplace_back(s, v.get()[s]);
        apply_decisions(d);
    }
    game->history.push_back(std::move(d));
    return game_interval_run();
}

int game_back() {
    if (!game || game->running) return sim_refused;
    if (game->history.empty()) return sim_refused; // at the first interval's end
    // The game is made again from its start, each interval with the
    // decisions it had, up to where the last interval began: the player
    // stands there again and decides anew. The old session goes first (the
    // interpreter and the pool are one); what the replay needs is kept.
    const long back_to = game->history.back().step;
    game->history.pop_back();
    std::string run_file = std::move(game->run_file), info = std::move(game->info);
    std::vector<float> start_values = std::move(game->start_values);
    std::vector<std::uint8_t> start_changed = std::move(game->start_changed);
    std::vector<game_decisions> history = std::move(game->history);
    handle symbols = game->symbols;
    sim_options o = game->options;
    free_session();
    o.run_file = run_file.empty() ? nullptr : run_file.c_str();
    o.info = info;
    o.setup_values = start_values.empty() ? nullptr : start_values.data();
    o.setup_changed = start_changed.empty() ? nullptr : start_changed.data();
    o.setup = setup_copies();
    if (o.setup && o.setup->symbols != symbols) o.setup = nullptr;
    int r = symbols == cur_model_symbols ? open_session(o) : sim_refused;
    if (r != sim_done) {
        game_state = 0;
        return r;
    }
    game->history = std::move(history);
    byte_restore kind(run_kind);
    run_kind = rk_game;
    game->running = true;
    for (const game_decisions& d : game->history) {
        if (game->loop->step_number() < d.step) r = game->loop->advance(d.step);
        if (r != sim_done) break;
        apply_decisions(d);
    }
    if (r == sim_done && game->loop->step_number() < back_to) r = game->loop->advance(back_to);
    game->running = false;
    game_saved_times =
        static_cast<std::uint16_t>(std::min<std::size_t>(game->out.times.size(), 0xFFFF));
    if (sim_result_written(r) && game->options.run_file &&
        !write_results(game->symbols, game->program, game->options, game->out))
        r = sim_write_failed;
    if (r != sim_done || game->end_asked) end_game();
    return r;
}

double game_time() {
    if (!game || !value_array) return 0;
    return value_array[0];
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
    free_session();
}
