// The exit checks: asked before the program ends (and when the session ends)
// and, in part, before another model replaces the open one.
#pragma once

#include <vector>

// The exit checks, in order, each only when those before it agreed: the
// settings are written, the model (or its sketch) may be saved, changed
// custom graph sets may be saved, the subscript control closes. Every
// question is asked before anything is closed, so Cancel leaves all as it was.
// 1 when all agreed.
int run_exit_checks();
// The steps of the exit checks: each asks (1: agreed) and, once every step
// agreed, closes what it asked about. Tests may replace the table.
struct exit_step {
    const char* name;
    int (*ask)();
    void (*close)(); // may be null
};
std::vector<exit_step>& exit_steps();
void restore_exit_steps();

// With no model: agrees. With a sketch window: its close check. Else the
// graph sets' check.
int confirm_close_model(int flag);
// The questions the exit checks ask about the model, its sketches, graph
// sets and the Subscript Control, without closing anything (New Model and
// Close ask them before the model goes). 1 when the model may go.
int confirm_model_change();
// Writes the settings rows, the custom colours, the window positions, the
// current model's path ("Model") and the recent models to the settings file.
// Mode 0 re-reads the file first (-1, reported, when that fails); mode 1
// writes the table as it is. 1 when written.
int write_settings(int mode);
