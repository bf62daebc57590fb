// The run state of the tests that simulate through the workbench: the name
// of the next run, the run shown first, and the state put back afterwards.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: include this before them.
#pragma once

#include "model/context.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <string>

// The name the open model's next run is saved under.
inline void name_next_run(const char* name) {
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
}

// The name of the run shown first ("" with none loaded).
inline std::string first_selected_run() {
    if (model_rec->run_count < 1) return {};
    loaded_run_names(1);
    return selected_run_names[0];
}

// Puts the engine's run state back after a test that simulated or entered
// Livesweep through the workbench: Livesweep left, Setup cleared, every run
// unloaded, the phase, mode and flags as at start-up.
inline void reset_run_state() {
    if (livesweep_state == ls_on) leave_livesweep();
    clear_setup();
    unload_runs(1);
    sim_phase = phase_idle;
    livesweep_state = ls_off;
    stop_request = 0;
    run_kind = 0;
    ask_dataset_overwrite = true;
}
