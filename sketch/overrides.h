// Input overrides: in Livesweep a variable of the sketch may have its
// equation replaced by an input function of time (a step, ramp, pulse, pulse
// train, sine or square wave, growth, decay, or a constant driven by its
// slider). The engine asks for the values through its override hook after the
// initial pass (mode 1) and after each level update (mode 0); the slots held
// by an override are told to it through override_held, and an overridden
// constant is saved as a series through the run's type copy.
//
// The engine's override_flags, freeze_levels, override_held and type_copy
// (sim/simdata.h) are the very objects this code works on: override_held
// points into the tables kept here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win.h"

struct sketch_state;

// One override (all fields 32 bits, as the list's header entry shares the
// layout).
struct input_override {
    float p1 = 0, p2 = 0, p3 = 0, p4 = 0;
    std::uint32_t slot = 0;
    std::uint32_t shape = 0; // 0 inactive, else one of the shapes below
};
static_assert(sizeof(input_override) == 24);

// The shapes, coded by their radio buttons in the input options dialog.
enum : std::uint32_t {
    ovr_decay = 632,
    ovr_growth = 637,
    ovr_pulse = 644,
    ovr_pulse_train = 645,
    ovr_ramp = 646,
    ovr_sine = 647,
    ovr_slider = 648,
    ovr_square = 649,
    ovr_step = 650,
};

// The list has room for 19 overrides after its header entry.
inline constexpr int override_capacity = 20;

// The tables (one set for the process; empty while Livesweep has not set
// them up). list[0] is the header: count = entries in use + 1 (the list keeps
// one entry per overridden slot, so the count covers exactly the entries in
// use), current = the entry the dialog edits.
struct override_tables {
    std::vector<input_override> list;
    int count = 0;
    int current = 1;
    // Per value slot: 1 recomputed normally, 0 shown on the view (or a time
    // setting), 2 supplied by an override.
    std::vector<std::uint8_t> marks;
    // Per value slot: 2 where an override supplies the value (override_held
    // points here).
    std::vector<std::uint8_t> held;
    // Per value slot: every value the evaluator produced.
    std::vector<float> values_copy;
    // The Livesweep run's time range: TIME at the initial pass of the last
    // run and FINAL TIME.
    double time_from = 0, time_to = 0;
    bool time_known = false;
};
const override_tables& input_override_tables();

// Brings the tables into force. mode 1 (entering Livesweep, or after the view
// or shown level changed): sets the tables up when absent, marks the slots
// shown on the view, then asks for a re-run. mode 0: after the dialog's OK
// (with a sketch the marks are made again). mode 2: every override off.
void apply_input_overrides(const sketch_state* s, int mode);

// The engine's hook (see above).
void eval_input_overrides(int mode);

// The override of a value slot (null: none in force).
const input_override* find_input_override(std::int32_t slot);

// Checks the four typed numbers of a shape: each must parse whole and be
// finite; periods must be above 0 and ramp times differ. 1 with the numbers
// in out; 0 refused (reported at severity 8).
int check_override_numbers(std::uint32_t shape, const char* const texts[4], float out[4]);

// Stores an override for its slot: a shape replaces or adds the slot's entry,
// shape 0 removes it; then the tables are brought into force (apply mode 0).
// 1 done; 0 refused (the list is full, or no tables and no Livesweep).
int set_input_override(const sketch_state* s, const input_override& entry);

// Switches every override off (the engine's overrides-off command).
void input_overrides_off();
// Drops the tables (the engine cleared its setup copies).
void clear_input_overrides();

// Dialog 377 for a value slot of the sketch's model. 1 after OK, 0 cancelled.
int input_options_dialog(HWND owner, const sketch_state* s, std::int32_t slot);
INT_PTR input_options_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Opens the input options for the one selected variable of a live sketch
// (Livesweep on for its model), or with none selected for the workbench
// variable when the view shows it (a click in Livesweep chooses rather than
// selects). True when the dialog was shown.
bool open_input_options(HWND view);

// The range the quick sliders offer a value slot, which the dialog shows as
// a new override's first two numbers (the sliders set it; unset: 0 to 100).
using override_range_fn = bool (*)(std::int32_t slot, std::uint32_t symbol, float* lo, float* hi);
void set_override_range_source(override_range_fn fn);
// Told after the input options were confirmed (the sliders follow: a
// "Constant (with slider)" override gives its variable a slider over its
// range, and ending one takes it away).
using overrides_changed_fn = void (*)();
void set_overrides_changed_hook(overrides_changed_fn fn);

// Points the engine's override, overrides-off and setup clean-up hooks here.
void install_input_overrides();
