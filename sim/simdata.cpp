// The engine's state bytes, value arrays, time globals and hooks.
#include "sim/simdata.h"

#include <charconv>
#include <cmath>
#include <cstring>

std::uint8_t sim_phase = phase_idle;
std::uint8_t game_state = 0;
std::uint8_t run_kind = rk_ordinary;
std::uint8_t livesweep_state = ls_off;
volatile std::uint8_t stop_request = 0;
std::uint8_t run_in_progress = 0;
std::uint8_t override_flags = 0;
std::uint8_t freeze_levels = 0;
std::uint16_t game_saved_times = 0;

float* value_array = nullptr;
float* rate_array = nullptr;
std::uint32_t value_slot_count = 0;
std::uint32_t level_slot_count = 0;
std::uint8_t* run_slot_types = nullptr;
mem_pool* sim_pool = nullptr;
std::uint8_t* override_held = nullptr;
handle type_copy = 0;

double sim_time = 0;
double sim_dt = 1;
double sim_time_hi = 0.5;
double sim_time_lo = -0.5;

namespace {
sim_pump_fn pump_hook = nullptr;
sim_pause_fn pause_hook = nullptr;
override_eval_fn override_fn = nullptr;
expand_refs_fn expand_fn = nullptr;
livesweep_save_fn livesweep_fn = nullptr;
plausitest_fn plausitest_fn_set = nullptr;
run_file_replaced_fn replaced_fn = nullptr;
} // namespace

void set_sim_pump_hook(sim_pump_fn hook) {
    pump_hook = hook;
}
void set_sim_pause_hook(sim_pause_fn hook) {
    pause_hook = hook;
}
void set_override_hook(override_eval_fn hook) {
    override_fn = hook;
}
void set_expand_refs_hook(expand_refs_fn hook) {
    expand_fn = hook;
}
void set_livesweep_save_hook(livesweep_save_fn hook) {
    livesweep_fn = hook;
}
sim_pump_fn sim_pump_hook() {
    return pump_hook;
}
sim_pause_fn sim_pause_hook() {
    return pause_hook;
}
override_eval_fn override_hook() {
    return override_fn;
}
expand_refs_fn expand_refs_hook() {
    return expand_fn;
}
livesweep_save_fn livesweep_save_hook() {
    return livesweep_fn;
}
void set_plausitest_hook(plausitest_fn hook) {
    plausitest_fn_set = hook;
}
plausitest_fn plausitest_hook() {
    return plausitest_fn_set;
}
void set_run_file_replaced_hook(run_file_replaced_fn hook) {
    replaced_fn = hook;
}
run_file_replaced_fn run_file_replaced_hook() {
    return replaced_fn;
}

void load_delay_states(const std::vector<std::vector<std::uint8_t>>& states, delay_object** live,
                       std::uint32_t count) {
    if (!live) return;
    for (std::uint32_t i = 0; i < count && i < states.size(); ++i) {
        const auto& b = states[i];
        if (b.size() < sizeof(delay_object)) continue;
        std::uint16_t cap;
        std::memcpy(&cap, b.data() + 24, 2);
        if (b.size() != delay_object_bytes(cap)) continue;
        delay_object* d = live[i];
        std::uint16_t have = d ? d->capacity : 0;
        if (!d || have < cap) {
            if (!sim_pool) return;
            d = static_cast<delay_object*>(block_alloc(sim_pool, delay_object_alloc_bytes(cap), 0));
            have = cap;
            live[i] = d;
        }
        std::memcpy(d, b.data(), b.size());
        d->capacity = have;
        // The ring may now be larger than the saved one: lay the live entries out from 0.
        if (have != cap && cap) {
            std::vector<delay_entry> e(static_cast<std::size_t>(d->live));
            const auto* src = reinterpret_cast<const delay_entry*>(b.data() + sizeof(delay_object));
            for (std::int32_t k = 0; k < d->live && k < cap; ++k)
                e[static_cast<std::size_t>(k)] = src[(d->first + k) % cap];
            d->first = 0;
            std::memcpy(d->entries(), e.data(), sizeof(delay_entry) * e.size());
        }
        // A run keeps float due times: each is taken as the shortest decimal
        // that gives it (4.0500002 as 4.05), as the control values are.
        double* due = d->due_times();
        for (std::uint32_t k = 0; k < have; ++k) due[k] = as_written(d->entries()[k].due);
    }
}

double as_written(float v) {
    if (!std::isfinite(v)) return v;
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, v).ptr;
    double d = v;
    std::from_chars(text, end, d);
    return d;
}
