// The Datasets page of the Control Panel: the run files available beside the
// model and in its package, and the runs loaded for the model (the active ones
// selected); buttons load, unload, load from anywhere, delete run files and
// tell about a run. Also the file chooser behind the simulation controls'
// dataset field.
#pragma once

#include "platform/win.h"

#include <string>
#include <vector>

struct run_setup;

// The page's dialog procedure (template 281).
INT_PTR runs_sel_proc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// Refills the available list when the page is shown: 1, else 0.
int refresh_datasets_page();
// When the page is shown: refills the loaded list with n names and selects
// the first `active`; n = -1 instead disables both lists until the page is
// next activated.
void fill_loaded_runs_list(const char* const* names, int n, int active);
// The loaded list from the open model's selected runs (the runs-changed hook).
void refresh_loaded_runs_list();
// Refills the available list of a page.
void fill_available_runs(HWND page);

// The run-file names (without extension) available for the open model: the
// open package's run members and the disk files ending in ".kdf" (any case)
// in the model's folder, the one run names are resolved against; sorted
// without case, the model's selected runs left out.
std::vector<std::string> available_run_names();

// The run setup's data-source list text (a scratch copy), "" when none.
const char* data_sources_text(const run_setup* setup);

// The file chooser behind a dataset or changes-file edit: mode 0 run files
// ("Dataset Input Name", the name without extension), 2 changes files
// ("Additional change file"), others command files ("Command/Database output
// files"). The chosen name goes in at the caret as ",name," and the text is
// then tidied (tidy_file_list).
void sim_command_file(HWND edit, int mode);
// Leading blanks and commas dropped, runs of commas made one, a trailing
// comma dropped.
std::string tidy_file_list(const std::string& text);

// The page window (null while not shown).
HWND datasets_page();
