// The time loop (see timeloop.h).
#include "sim/timeloop.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "sim/interp.h"
#include "sim/runwrite.h"
#include "sim/setupstate.h"
#include "sim/simdata.h"

double step_count(double t0, double t1, double dt) {
    // Float control values are a few parts in 10^8 off what was written, so a
    // step that ends within a millionth of FINAL TIME's scale reaches it.
    double scale = std::max(1.0, (std::fabs(t0) + std::fabs(t1)) / dt);
    return std::floor((t1 - t0) / dt + std::min(1e-3, 1e-6 * scale));
}

namespace {
bool plain_steps_allowed = true;
} // namespace

void set_plain_steps(bool on) {
    plain_steps_allowed = on;
}

class time_loop::impl {
public:
    impl(handle symbols, const sim_program& p, const sim_options& o, sim_output& out)
        : symbols_(symbols), p_(p), o_(o), out_(out) {}

    // The whole run: start, then every step.
    int run();
    // The initial pass and the first save; sim_done when the run may go on.
    int start();
    // Steps up to step number until (at most the last); the run's result.
    int advance(long until);
    long steps() const { return steps_; }
    long step_number() const { return n_; }
    double time_step() const { return dt_; }

private:
    long steps_ = 0, save_every_ = 1, n_ = 0, pauses_ = 1;
    double t0_ = 0, pause_ = 0, next_pause_ = 0;
    // equation: the cell of the equation the error arose in (0: none).
    int finish(const std::string& error, bool stopped, bool given_up, std::uint32_t equation = 0);
    static std::string error_text(const run_unwind& e);

    handle symbols_;
    const sim_program& p_;
    const sim_options& o_;
    sim_output& out_;
    std::vector<std::uint32_t> states_; // indexes of integrated values
    std::vector<double> x0_, k1_, k2_, k3_, k4_, y1_, y2_, xs_, kh_;
    double dt_ = 1;

    void set_time(double t) {
        sim_time = t;
        sim_dt = dt_;
        sim_time_hi = t + dt_ / 2;
        sim_time_lo = t - dt_ / 2;
        value_array[0] = static_cast<float>(t);
    }

    // Input overrides: units that compute an overridden slot, and the values
    // the overrides supplied (put back after those units).
    std::vector<std::uint8_t> unit_overridden_;
    std::vector<float> supplied_;

    // Whether an override held a slot when the run started: Livesweep sets
    // the tables up for as long as it lasts, most often holding nothing, and
    // then the passes run whole (not unit by unit, copying every value).
    bool held_ = false;
    bool overrides_active() const { return held_ && override_flags && override_held; }

    void prepare_overrides() {
        unit_overridden_.assign(p_.units.size(), 0);
        held_ = false;
        if (!override_flags || !override_held) return;
        for (std::uint32_t s = 0; s < p_.value_slots && !held_; ++s) held_ = override_held[s] == 2;
        if (!held_) return;
        for (std::size_t u = 0; u < p_.units.size(); ++u) {
            if (p_.units[u].kind != uk_value && p_.units[u].kind != uk_level_init) continue;
            for (std::uint32_t lane = 0; lane < p_.units[u].targets.size(); ++lane) {
                std::int64_t slot = unit_target_slot(static_cast<int>(u), lane);
                if (slot >= 0 && slot < p_.value_slots && override_held[slot] == 2)
                    unit_overridden_[u] = 1;
            }
        }
    }
    void keep_supplied() {
        if (overrides_active()) supplied_.assign(value_array, value_array + p_.value_slots);
    }
    void restore_supplied(int u) {
        if (supplied_.empty() || !unit_overridden_[static_cast<std::size_t>(u)]) return;
        const code_unit& cu = p_.units[static_cast<std::size_t>(u)];
        for (std::uint32_t lane = 0; lane < cu.targets.size(); ++lane) {
            std::int64_t slot = unit_target_slot(u, lane);
            if (slot >= 0 && slot < p_.value_slots && override_held[slot] == 2)
                value_array[slot] = supplied_[static_cast<std::size_t>(slot)];
        }
    }
    void eval_list(const std::vector<int>& order, int mode) {
        if (supplied_.empty()) {
            eval_units(order, mode);
            return;
        }
        for (int u : order) {
            eval_unit(u, mode);
            restore_supplied(u);
        }
    }

    // The passes of the current advance (null outside it).
    step_passes* passes_ = nullptr;

    void evaluate(int mode) {
        if (passes_ && supplied_.empty()) {
            passes_->run(mode);
        } else {
            eval_list(p_.dynamic_order, mode);
            eval_units(p_.rate_order, mode);
        }
        if (overrides_active())
            for (std::uint32_t s = 1; s < p_.level_slots; ++s)
                if (override_held[s] == 2) rate_array[s] = 0;
    }

    void get_states(std::vector<double>& x) {
        for (std::size_t i = 0; i < states_.size(); ++i) x[i] = value_array[states_[i]];
    }
    void get_rates(std::vector<double>& k) {
        for (std::size_t i = 0; i < states_.size(); ++i) k[i] = rate_array[states_[i]];
    }
    // Sets the states to x + h k.
    void put_states(const std::vector<double>& x, double h, const std::vector<double>& k) {
        for (std::size_t i = 0; i < states_.size(); ++i)
            value_array[states_[i]] = static_cast<float>(x[i] + h * k[i]);
    }

    // The rates at states x + h k and time t.
    void stage(const std::vector<double>& x, double h, const std::vector<double>& k, double t,
               std::vector<double>& out) {
        put_states(x, h, k);
        set_time(t);
        evaluate(em_stage);
        get_rates(out);
    }

    // One fourth-order step from x at t with k1 given; the new states into y.
    void rk4(const std::vector<double>& x, double t, double h, const std::vector<double>& k1,
             std::vector<double>& y) {
        stage(x, h / 2, k1, t + h / 2, k2_);
        stage(x, h / 2, k2_, t + h / 2, k3_);
        stage(x, h, k3_, t + h, k4_);
        for (std::size_t i = 0; i < states_.size(); ++i)
            y[i] = x[i] + h / 6 * (k1[i] + 2 * k2_[i] + 2 * k3_[i] + k4_[i]);
    }

    void check_states() {
        if (!count_non_finite(value_array + 1, p_.level_slots ? p_.level_slots - 1 : 0) &&
            !count_non_finite(value_array + p_.value_slots, p_.hidden_states))
            return;
        for (std::uint32_t s : states_) {
            if (std::isfinite(value_array[s])) continue;
            std::string name = "a hidden state";
            std::uint32_t eqn = 0;
            for (std::size_t u = 0; u < p_.units.size(); ++u) {
                const code_unit& cu = p_.units[u];
                if (cu.kind != uk_level_rate || s >= p_.level_slots) continue;
                model_lock_guard g(symbols_, 0);
                std::int32_t first = sym(cu.sym)->slot;
                for (std::size_t lane = 0; lane < cu.targets.size(); ++lane)
                    if (static_cast<std::uint32_t>(first) + cu.targets[lane] == s) {
                        name = element_text(cu.sym, cu.targets[lane]);
                        eqn = cu.eqn;
                    }
            }
            throw run_unwind("Floating point error computing " + name, eqn);
        }
    }

    // One step of the states from t. False when every state is known to be
    // finite afterwards; true when check_states must look.
    bool step(double t) {
        if (override_flags && freeze_levels) return true;
        std::size_t n = states_.size();
        switch (o_.method) {
        case im_rk4:
            get_states(x0_);
            get_rates(k1_);
            rk4(x0_, t, dt_, k1_, y1_);
            put_states(y1_, 0, k1_);
            break;
        case im_rk2:
            get_states(x0_);
            get_rates(k1_);
            stage(x0_, dt_, k1_, t + dt_, k2_);
            for (std::size_t i = 0; i < n; ++i) y1_[i] = x0_[i] + dt_ / 2 * (k1_[i] + k2_[i]);
            put_states(y1_, 0, k1_);
            break;
        case im_rk_auto:
            auto_step(t);
            break;
        default: {
            // Euler over the two ranges of states: the levels and the hidden
            // states, each pass also telling whether a result is not finite.
            float h = static_cast<float>(dt_);
            bool bad = false;
            if (p_.level_slots > 1)
                bad = euler_update(value_array + 1, rate_array + 1, p_.level_slots - 1, h);
            bad |= euler_update(value_array + p_.value_slots, rate_array + p_.value_slots,
                                p_.hidden_states, h);
            return bad;
        }
        }
        return true;
    }

    double h_ = 0; // step of the automatic control, kept between steps

    void auto_step(double t) {
        double end = t + dt_;
        double tc = t;
        if (h_ <= 0 || h_ > dt_) h_ = dt_;
        get_states(xs_);
        get_rates(k1_);
        bool first = true;
        while (tc < end - dt_ * 1e-9) {
            double h = std::min(h_, end - tc);
            if (!first) stage(xs_, 0, k1_, tc, k1_);
            first = false;
            rk4(xs_, tc, h, k1_, y1_);
            rk4(xs_, tc, h / 2, k1_, x0_);
            // Zeros, as the rates it reads: x + 0 k keeps the sign of a zero x
            // only when k is not negative.
            std::fill(kh_.begin(), kh_.end(), 0.0);
            stage(x0_, 0, kh_, tc + h / 2, kh_);
            rk4(x0_, tc + h / 2, h / 2, kh_, y2_);
            double err = 0;
            for (std::size_t i = 0; i < states_.size(); ++i) {
                double scale = std::max(1.0, std::fabs(y2_[i]));
                err = std::max(err, std::fabs(y1_[i] - y2_[i]) / (o_.rk_tolerance * scale));
            }
            out_.rk_steps += 1;
            if (err <= 1 || h <= dt_ / 1024) {
                // Richardson: the error of the two half steps is a sixteenth of the difference.
                for (std::size_t i = 0; i < states_.size(); ++i)
                    xs_[i] = y2_[i] + (y2_[i] - y1_[i]) / 15;
                tc += h;
                if (err < 0.05) h_ = std::min(dt_, h * 2);
                // k1 for the next sub-step is evaluated at its start.
            } else {
                // Rejected: k1 still holds the rates at the start of the sub-step.
                h_ = h / 2;
                first = true;
            }
        }
        put_states(xs_, 0, k1_);
    }

    // One step of the general road: the states from the time before, then
    // the overrides, the passes and the constraints at the new time.
    void one_step() {
        long n = ++n_;
        double t = t0_ + static_cast<double>(n - 1) * dt_;
        if (step(t)) check_states();
        set_time(t0_ + static_cast<double>(n) * dt_);
        if (override_flags)
            if (override_eval_fn h = override_hook()) h(0);
        keep_supplied();
        evaluate(em_main);
        check_constraints();
    }

    // Whether a step is only the Euler update and the passes: no overrides
    // (nor values they supplied), no constraints to check. Read again at
    // every save: a hook called there may change it.
    bool plain_euler() const {
        return plain_steps_allowed && o_.method != im_rk4 && o_.method != im_rk2 &&
               o_.method != im_rk_auto && !override_flags && supplied_.empty() &&
               (p_.constraints.empty() || !behaviour_test());
    }

    // Steps up to step number last on the plain road: what one_step does
    // then, with nothing tested per step that cannot have changed.
    void plain_steps(long last, step_passes& passes) {
        float h = static_cast<float>(dt_);
        float* levels = value_array + 1;
        const float* level_rates = rate_array + 1;
        std::size_t level_count = p_.level_slots > 1 ? p_.level_slots - 1 : 0;
        float* hidden = value_array + p_.value_slots;
        const float* hidden_rates = rate_array + p_.value_slots;
        std::size_t hidden_count = p_.hidden_states;
        while (n_ < last) {
            // The program's compiled steps make as many steps as they can;
            // a step whose states are not all finite comes back updated.
            bool bad = false;
            if (passes.steps(n_, last, t0_, dt_, h, bad)) {
                if (!bad) break;
            } else {
                ++n_;
                bad = level_count && euler_update(levels, level_rates, level_count, h);
                if (hidden_count) bad |= euler_update(hidden, hidden_rates, hidden_count, h);
            }
            if (bad) check_states(); // at the time before, as one_step reports it
            set_time(t0_ + static_cast<double>(n_) * dt_);
            passes.run();
        }
    }

    // The initial pass (or part of it), with the run's changed values put in
    // as soon as their units have computed them.
    void initial_pass(const std::vector<int>& order) {
        for (int u : order) {
            eval_unit(u, em_initial);
            restore_supplied(u);
            if (!o_.setup_values || !o_.setup_changed) continue;
            const code_unit& cu = p_.units[static_cast<std::size_t>(u)];
            if (cu.kind != uk_value) continue;
            for (std::uint32_t lane = 0; lane < cu.targets.size(); ++lane) {
                std::int64_t slot = unit_target_slot(u, lane);
                if (slot >= 0 && slot < p_.value_slots && o_.setup_changed[slot])
                    value_array[slot] = o_.setup_values[slot];
            }
        }
    }

    // The whole initial pass: through its kept flat form when no override
    // acts between its units (and changed set-up values are those of
    // numbers, which it puts in), else unit by unit.
    void whole_initial_pass() {
        if (supplied_.empty() && run_initial_pass(p_, o_.setup_values, o_.setup_changed)) return;
        initial_pass(p_.initial_order);
    }

    std::vector<std::uint32_t> failed_;

    // Whether this run is a behaviour test (test inputs computed, constraints
    // checked). A program compiled with test inputs but not ordered for them
    // cannot compute them, so its constraints are not checked (said at the start).
    bool behaviour_test() const {
        return (o_.check_constraints || run_kind == rk_plausitest) &&
               (p_.tests_ordered || !p_.test_input_values);
    }

    // The behaviour-test constraints at the current time, after the test
    // inputs they may read.
    void check_constraints() {
        if (p_.constraints.empty() || !behaviour_test()) return;
        eval_units(p_.test_dynamic_order, em_main);
        bool first = out_.constraint_checks++ == 0;
        for (int u : p_.constraints) {
            if (first)
                for (std::uint32_t lane = 0;
                     lane < p_.units[static_cast<std::size_t>(u)].targets.size(); ++lane)
                    out_.constraints.push_back(unit_element_text(u, lane));
            eval_constraint(u, failed_);
            for (std::uint32_t lane : failed_) {
                std::string name = unit_element_text(u, lane);
                auto it =
                    std::find_if(out_.violations.begin(), out_.violations.end(),
                                 [&](const constraint_violation& v) { return v.element == name; });
                if (it == out_.violations.end())
                    out_.violations.push_back({name, sim_time, 1});
                else
                    ++it->count;
            }
        }
    }

    // Whether the saved values are kept in out_.rows. A Livesweep re-run
    // without a run file has no reader of them: the value cache's save hook
    // takes what it shows from value_array at each save.
    bool keep_rows_ = true;

    void save() {
        out_.times.push_back(value_array[0]);
        if (keep_rows_)
            out_.rows.insert(out_.rows.end(), value_array, value_array + p_.value_slots);
    }

    // A control value as written: the shortest decimal that gives the float in
    // the slot of a control variable, so that TIME STEP 0.1 steps by a tenth
    // and not by the float nearest to it.
    double control(symbol_id id, double dflt) {
        if (!id) return dflt;
        std::int32_t slot = get_symbol(symbols_, id).slot;
        if (slot < 0 || static_cast<std::uint32_t>(slot) >= p_.value_slots) return dflt;
        return as_written(value_array[slot]);
    }

    // control_units(), kept for the next run of the same program unchanged
    // (its address and stamp): a Livesweep re-run asks again for the list.
    std::vector<int> kept_control_units() const {
        thread_local const sim_program* program = nullptr;
        thread_local std::uint64_t stamp = 0;
        thread_local std::vector<int> units;
        if (!p_.stamp || program != &p_ || stamp != p_.stamp) {
            units = control_units();
            program = &p_;
            stamp = p_.stamp;
        }
        assert(units == control_units()); // builds with assertions look again
        return units;
    }
    // The units of the initial order that compute the control variables and
    // the values they read, in order.
    std::vector<int> control_units() const {
        // A sorted list: the controls read few values, and a run of a large
        // model asks it once for each of its units.
        std::vector<symbol_id> needed;
        auto need = [&](symbol_id s) {
            auto at = std::lower_bound(needed.begin(), needed.end(), s);
            if (at == needed.end() || *at != s) needed.insert(at, s);
        };
        for (symbol_id s : {p_.initial_time, p_.final_time, p_.time_step, p_.saveper, p_.sim_pause})
            if (s) need(s);
        std::vector<int> out;
        for (auto it = p_.initial_order.rbegin(); it != p_.initial_order.rend(); ++it) {
            const code_unit& cu = p_.units[static_cast<std::size_t>(*it)];
            if (cu.hidden || !std::binary_search(needed.begin(), needed.end(), cu.sym)) continue;
            out.push_back(*it);
            for (const unit_read& r : cu.reads)
                if (r.initial) need(r.sym);
        }
        std::reverse(out.begin(), out.end());
        return out;
    }
};

int time_loop::impl::finish(const std::string& error, bool stopped, bool given_up,
                            std::uint32_t equation) {
    if (out_.constraint_checks) {
        for (const auto& v : out_.violations)
            report(3, "The constraint %s does not hold from time %g (%ld of %ld checks)",
                   v.element.c_str(), v.first_time, v.count, out_.constraint_checks);
        if (out_.violations.empty())
            report(0, "All %zu constraints hold over %ld checks", p_.constraints.size(),
                   out_.constraint_checks);
        if (plausitest_fn h = plausitest_hook()) h(out_);
    }
    if (!error.empty()) {
        out_.error = error;
        report(5, "%s", error.c_str());
        if (equation) {
            model_lock_guard g(symbols_, 1);
            if (g.ok()) add_error_equation(eq_at(equation));
        }
        if (out_.initial.empty() && value_array)
            out_.initial.assign(value_array, value_array + p_.value_slots);
    }
    if (given_up) return sim_given_up;
    if (!error.empty()) return sim_error_saved;
    return stopped ? sim_stopped_saved : sim_done;
}

std::string time_loop::impl::error_text(const run_unwind& e) {
    std::string error = e.what();
    char at[64];
    std::snprintf(at, sizeof at, " at time %g", sim_time);
    return error + at;
}

int time_loop::impl::start() {
    states_.reserve((p_.level_slots > 1 ? p_.level_slots - 1 : 0) + p_.hidden_states);
    for (std::uint32_t s = 1; s < p_.level_slots; ++s) states_.push_back(s);
    for (std::uint32_t s = 0; s < p_.hidden_states; ++s) states_.push_back(p_.value_slots + s);
    // The Runge-Kutta methods' vectors (Euler needs none).
    if (o_.method == im_rk4 || o_.method == im_rk2 || o_.method == im_rk_auto)
        for (auto* v : {&x0_, &k1_, &k2_, &k3_, &k4_, &y1_, &y2_, &xs_, &kh_})
            v->assign(states_.size(), 0);
    out_.value_slots = p_.value_slots;

    byte_restore phase(sim_phase);
    sim_phase = phase_initialising;
    try {
        // The control values first, with only the units they need, at Time 0;
        // every other equation waits for Time to be INITIAL TIME.
        dt_ = 1;
        set_time(0);
        initial_pass(kept_control_units());
        t0_ = control(p_.initial_time, 0);
        double t1 = control(p_.final_time, 100);
        dt_ = control(p_.time_step, 1);
        double saveper = control(p_.saveper, dt_);
        pause_ = control(p_.sim_pause, 0);
        if (!(dt_ > 0) || !std::isfinite(dt_)) {
            report(5, "TIME STEP must be a positive number (it is %g)", dt_);
            return sim_refused;
        }
        if (!std::isfinite(t0_) || !std::isfinite(t1) || t1 < t0_) {
            report(5, "FINAL TIME (%g) must not come before INITIAL TIME (%g)", t1, t0_);
            return sim_refused;
        }
        double steps_f = step_count(t0_, t1, dt_);
        if (steps_f > 2e9) {
            report(5, "The run would take too many steps (%g)", steps_f);
            return sim_refused;
        }
        steps_ = static_cast<long>(steps_f);
        if (o_.max_steps > 0 && steps_ > o_.max_steps) {
            report(5, "The run would take %ld steps, more than the %ld allowed", steps_,
                   o_.max_steps);
            return sim_refused;
        }
        if (!(saveper > 0) || !std::isfinite(saveper)) saveper = dt_;
        save_every_ = std::max(1L, std::lround(saveper / dt_));
        if (std::fabs(static_cast<double>(save_every_) * dt_ - saveper) > saveper * 1e-6 &&
            saveper > dt_)
            report(3, "SAVEPER %g is not a multiple of TIME STEP %g; values are saved every %g",
                   saveper, dt_, static_cast<double>(save_every_) * dt_);
        long saves = steps_ / save_every_ + 1 + (steps_ % save_every_ ? 1 : 0);
        keep_rows_ = run_kind != rk_livesweep || o_.run_file;
        if (keep_rows_) out_.rows.reserve(static_cast<std::size_t>(saves) * p_.value_slots);

        // The initial pass.
        set_time(t0_);
        // Overridden slots are NA until the overrides supply them; their own
        // equations are not used while an override is in force.
        prepare_overrides();
        if (overrides_active())
            for (std::uint32_t s = 0; s < p_.value_slots; ++s)
                if (override_held[s] == 2) value_array[s] = NA;
        if ((o_.check_constraints || run_kind == rk_plausitest) && !behaviour_test())
            report(3, "The test inputs were not prepared for this run; the constraints are not "
                      "checked");
        keep_supplied();
        whole_initial_pass();
        if (behaviour_test()) eval_units(p_.test_initial_order, em_initial);
        // Delay states taken from a saved run replace the fresh pipelines.
        if (o_.setup && o_.setup->delays.size() == p_.delay_objects && p_.delay_objects)
            load_delay_states(o_.setup->delays, run_delay_objects(), p_.delay_objects);
        if (override_flags)
            if (override_eval_fn h = override_hook()) h(1);
        keep_supplied();
        out_.initial.assign(value_array, value_array + p_.value_slots);
        if (o_.initial_only) return sim_done;
        evaluate(em_main);
        check_constraints();
        save();
        // The initial save is a save like the others: whoever follows the run
        // point by point (the work-in-progress graph, the value cache of a
        // Livesweep re-run) sees it too; a changed initial value or an
        // overridden constant shows at the first point.
        if (run_kind == rk_livesweep)
            if (livesweep_save_fn h = livesweep_save_hook())
                h(value_array, p_.value_slots, static_cast<int>(steps_ / save_every_));
        if (sim_pump_fn pump = sim_pump_hook()) pump();
        pauses_ = 1;
        next_pause_ = pause_ > 0 ? t0_ + pause_ : 0;
        n_ = 0;
    } catch (const run_unwind& e) {
        return finish(error_text(e), false, false, e.equation);
    }
    return sim_done;
}

int time_loop::impl::advance(long until) {
    byte_restore phase(sim_phase);
    byte_restore progress(run_in_progress);
    sim_phase = phase_running;
    run_in_progress = 1;
    bool stopped = false, given_up = false;
    until = std::min(until, steps_);
    step_passes passes(p_);
    passes_ = &passes;
    struct forget {
        step_passes*& p;
        ~forget() { p = nullptr; }
    } forget_passes{passes_};
    try {
        while (n_ < until) {
            // The steps up to the next save (every save_every_ steps, the last
            // step and until): nothing but the steps happens in between.
            long left = save_every_ - n_ % save_every_;
            long last = until - n_ <= left ? until : n_ + left;
            if (plain_euler())
                plain_steps(last, passes);
            else
                while (n_ < last) one_step();
            long n = n_;
            sim_phase = phase_saving;
            save();
            if (run_kind == rk_livesweep)
                if (livesweep_save_fn h = livesweep_save_hook())
                    h(value_array, p_.value_slots, static_cast<int>((steps_ - n) / save_every_));
            if (sim_pump_fn pump = sim_pump_hook()) pump();
            sim_phase = phase_running;
            if (pause_ > 0 && sim_time + dt_ / 2 >= next_pause_) {
                while (next_pause_ <= sim_time + dt_ / 2)
                    next_pause_ = t0_ + static_cast<double>(++pauses_) * pause_;
                if (sim_pause_fn h = sim_pause_hook())
                    if (h(sim_time)) stop_request = 1;
            }
            if (stop_request) {
                stop_request = 0;
                if (run_kind == rk_livesweep) {
                    given_up = true;
                    break;
                }
                int answer = ask_question(question_yes_no_cancel, save_results_question, 6);
                if (answer == 6) {
                    stopped = true;
                    break;
                }
                if (answer == 7) {
                    given_up = true;
                    break;
                }
            }
        }
    } catch (const run_unwind& e) {
        return finish(error_text(e), false, false, e.equation);
    }
    return finish("", stopped, given_up);
}

int time_loop::impl::run() {
    int r = start();
    if (r != sim_done || o_.initial_only) return r;
    return advance(steps_);
}

time_loop::time_loop(handle symbols, const sim_program& program, const sim_options& options,
                     sim_output& out)
    : impl_(std::make_unique<impl>(symbols, program, options, out)) {}
time_loop::~time_loop() = default;
int time_loop::run() {
    return impl_->run();
}
int time_loop::start() {
    return impl_->start();
}
int time_loop::advance(long until) {
    return impl_->advance(until);
}
long time_loop::steps() const {
    return impl_->steps();
}
long time_loop::step_number() const {
    return impl_->step_number();
}
double time_loop::time_step() const {
    return impl_->time_step();
}

bool take_sim_pool() {
    if (sim_pool) return false;
    sim_pool = new_block(0);
    return true;
}

void release_sim_pool(bool own) {
    if (!own || !sim_pool) return;
    free_block(sim_pool);
    sim_pool = nullptr;
}

bool begin_run_interp(handle symbols, const sim_program& p, const sim_options& o) {
    if (o.setup && o.setup->lookups.size() == p.lookups && !o.setup->lookup_data.empty())
        return interp_begin(p, symbols, o.setup->lookups.data(), o.setup->lookup_data.data(),
                            static_cast<std::uint32_t>(o.setup->lookup_data.size()));
    return interp_begin(p, symbols);
}

bool model_type_bytes(handle symbols, std::uint32_t slots, std::vector<std::uint8_t>& out) {
    out.assign(slots, 0);
    model_lock_guard g(symbols, 0);
    if (!g.ok()) return false;
    if (model_slot_types) std::memcpy(out.data(), model_slot_types, slots);
    return true;
}

namespace {

// The texts of the model's string variables, by string slot.
std::vector<std::string> string_values(handle symbols) {
    std::vector<std::string> out;
    model_lock_guard g(symbols, 1);
    if (!g.ok() || !model_eqs) return out;
    out.resize(model_hdr->w[mh_string_slots]);
    std::uint32_t end = model_hdr->w[mh_sym_end];
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
        if (!valid_symbol(s) || sym(s)->type != st_string || sym(s)->slot < 0 || !sym(s)->eqn)
            continue;
        expr_node* body = node_skip(eq_nodes(eq_at(sym(s)->eqn)));
        std::string text = body && body->code == nc_literal ? node_text(body) : "";
        for (std::uint32_t k = 0; k < sym_dims(s)->count; ++k)
            if (static_cast<std::size_t>(sym(s)->slot) + k < out.size())
                out[sym(s)->slot + k] = text;
    }
    return out;
}

} // namespace

int write_results(handle symbols, const sim_program& p, const sim_options& o,
                  const sim_output& out) {
    run_image img;
    img.type = o.run_type == 'r' ? 'r' : 'R';
    img.symbols = symbols;
    img.info = o.info;
    img.constants_in_table = o.constants_in_table;
    if (!model_type_bytes(symbols, p.value_slots, img.slot_types)) return 0;
    // While input overrides are in force their type copy says what each slot is
    // (an overridden constant is saved as a series).
    if (override_flags && type_copy && handle_size(type_copy) >= p.value_slots) {
        handle_lock<std::uint8_t> t(type_copy);
        if (t) std::memcpy(img.slot_types.data(), t.get(), p.value_slots);
    }
    bool data = false;
    img.saved.assign(p.value_slots, 0);
    for (std::uint32_t s = 0; s < p.value_slots; ++s) {
        img.saved[s] = img.slot_types[s] < st_initial ? 1 : 0;
        data = data || is_data_slot_type(img.slot_types[s]);
    }
    img.times = out.times;
    img.rows_in = &out.rows;
    if (data) img.data_times = out.times;
    img.constants = out.initial;
    img.lookups.assign(run_lookup_tables(), run_lookup_tables() + p.lookups);
    img.lookup_data.assign(run_lookup_data(), run_lookup_data() + run_lookup_data_cells());
    img.strings = o.setup && o.setup->strings.size() ? o.setup->strings : string_values(symbols);
    img.with_delay_section = p.delay_objects > 0;
    delay_object** d = run_delay_objects();
    for (std::uint32_t i = 0; i < p.delay_objects; ++i) {
        std::vector<std::uint8_t> bytes;
        if (d && d[i]) {
            const auto* b = reinterpret_cast<const std::uint8_t*>(d[i]);
            bytes.assign(b, b + delay_object_bytes(d[i]->capacity));
        }
        img.delay_states.push_back(std::move(bytes));
    }
    return write_run_file(o.run_file, img);
}
