// The shell's side of the settings rows: reading them into the options at
// start-up, putting them back with the custom colours and the windows'
// saved positions, and restoring those positions.
#pragma once

// Applies the settings to the options (start-up, before and after the main
// window is made): the custom colours, the settings rows, the measurement
// system of the locale, and the dialog fonts when the settings name them.
void read_settings_rows();
// Puts every settings row, the custom colours and the window-position keys
// into the settings table (the caller writes the file).
void store_settings();
// Makes the dialog fonts from the option block's normal and compressed fonts.
void apply_dialog_fonts();

// Whether the user's locale measures in centimetres (its measurement system).
bool locale_is_metric();

// The window-position keys ("Control Dlg", "Subscript Dlg", "Sel History",
// "Err History"): restoring calls each present key's opener with (visible,
// x, y, width, height); a value that does not give five numbers (reported
// once), or a place wholly off the screen, is ignored. Saving writes each open window's place,
// or removes the key.
void restore_float_positions();
void save_window_positions();
