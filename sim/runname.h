// Run names and run files: a run is named by the user, its file is that name
// with the run-file extension, relative to the model's folder (the file
// layer's base for relative names). Also the run-type letters a run file may
// carry.
#pragma once

struct model_context;

// The run name to use: the setup's, else the last run's name, else "Current"
// (ctx null: the current model record).
const char* run_name_or_current(model_context* ctx);

// Whether check_dataset_name asks before overwriting a run file (a settings
// option; on by default).
extern bool ask_dataset_overwrite;
// Checks a run name: the name is trimmed; one ending in the run-file
// extension loses it (the slot then points at a scratch copy); the run file's
// path is the name with "kdf" relative to the model's directory. An empty name
// or one with characters no file name may hold is refused ("%s is not a valid
// dataset name", severity 8); an existing run file is overwritten only when
// allowed, or when asking is off, or the user agrees, and a read-only one only
// when the user agrees. 1 accepted, -1 refused.
int check_dataset_name(char** name_slot, int overwrite_allowed);
// The run-file path of a run name (checked names only), in scratch memory.
char* dataset_path(const char* run_name);

// The run types: 'R' a simulation (upper case: constants in the value table,
// lower case: in their own section), 'S'/'s' a sensitivity run, 'P'/'p' a
// run with per-slot types, 'A' a run over a master axis other than time.
inline constexpr const char* run_type_letters = "RrSsPpA";
// Whether t is one of run_type_letters (the terminating zero is not).
bool is_run_type_letter(char t);
