// Which commands of the main menu can act now.
#pragma once

// Greys the items that cannot act now and enables the others: the model's
// file and simulation commands need an open model, Stop Simulation a running
// simulation, the web pages an address (there is none yet). Called before a
// menu opens and before a shortcut is taken.
void update_menu_states();
// Whether a command of the main menu can act now (after update_menu_states).
bool menu_item_enabled(int id);
