// Which commands of the main menu can act now.
#pragma once

// Greys the items that cannot act now and enables the others: the model's
// file and simulation commands need an open model, Stop Simulation a running
// simulation, the web pages an address (there is none yet). While the model
// is busy (see model_busy) every command that would close, replace or re-run
// it is grey. Called before a menu opens and before a shortcut is taken.
void update_menu_states();
// Whether a command of the main menu can act now (after update_menu_states).
bool menu_item_enabled(int id);

// Commands that close, replace, re-run or re-read the model: New, Open and
// the recent models, Close, the simulation commands and the changes files.
bool touches_model(int id);
// True while such a command is under way (its file dialog or question may be
// up, with the loop of that dialog dispatching whatever was queued) or a
// simulation is prepared or running: another such command must wait.
bool model_busy();
// Marks a command that touches the model as under way for its whole
// duration (an unwind included).
struct model_command_guard {
    model_command_guard();
    ~model_command_guard();
    model_command_guard(const model_command_guard&) = delete;
    model_command_guard& operator=(const model_command_guard&) = delete;
};
