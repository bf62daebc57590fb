// The run of the current model: what the run driver asks the engine for. The
// run is described by the model record's run setup and the setup copies; the
// engine answers with what it ran and wrote, and the driver loads exactly that.
#pragma once

#include "model/context.h"
#include "sim/runtypes.h"

// Runs the current model as the run setup describes: the run name gives the
// run file (the model's directory, run-file extension; without a name in the
// setup, run_name_or_current), the method comes from the setup, the
// command-line text of the model record and the setup's information text go
// into the information block, and the changes of the setup copies go into
// the run. In a game (run_kind rk_game) the first request starts the game and
// later ones run its next interval, into the game's own run file.
run_result run_simulation(const run_setup* setup);
