// The model settings pages: the model's notes and password, the display flags
// of its sketch, its reference datasets, and two exports of its parameters.
// All three pages share one dialog procedure, which tells the page in hand by
// the controls it has. They edit the settings record of the current model.
#pragma once

#include "platform/dlg.h"
#include "platform/win.h"

#include <string>

// The pages' procedure (exported by name).
INT_PTR model_password_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// Runs one page (dlg_model_notes, dlg_model_flags or dlg_model_refs) on the
// current model: IDOK when its changes were taken, IDCANCEL, or -1 when there
// is no model or no such page.
INT_PTR model_settings_page(int template_id);

// "Model->Data": writes the name of every data variable of the current model,
// one a line, to a file the user chooses. 1 when written, 0 otherwise (after
// a message, or on Cancel).
int save_data_names();

// The hard-underbar box follows the far-eastern box: checked and greyed while
// the model uses two-byte characters, free otherwise.
void underbar_follows_far_east(HWND page);

// Writes the current model's settings (notes, time axis, run name, ...) into
// the model and a binary model file back to disk (a package or run file is
// not rewritten), then the settings file, leaving its "Model" key as it is.
// 1 when everything was written, 0 with no model or after a message.
int save_model_and_settings();

// The model information line of the notes page for the current model.
std::string model_info_text();

// Whether a reference line may be made of a name and a file: both non-empty,
// and no "=" in the name (it separates them in the stored line).
bool valid_reference(const std::string& name, const std::string& file);
