// Puts the engine's run state back after a test that simulated or entered
// Livesweep through the workbench: Livesweep left, Setup cleared, every run
// unloaded, the phase, mode and flags as at start-up.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: include this before them.
#pragma once

#include "runs/runfile.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

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
