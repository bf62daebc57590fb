// File kinds (the extension table), file names and paths: text work only,
// apart from change_dir and make_dirs.
#pragma once

#include <cstddef>
#include <string>

// ------------------------------------------------------------- file kinds ---

// The extension table: a file kind is an index into it. The numbers are fixed
// (other subsystems and stored settings name kinds by number).
enum file_kind : int {
    fk_run = 0,            // "kdf" run file
    fk_model = 1,          // "kmf" binary model
    fk_text_model = 2,     // "kmt" text model (refused in this edition)
    fk_changes = 3,        // "cin" constant changes
    fk_data = 4,           // "dat" data file
    fk_graph_text = 5,     // "kgd" graph-set definitions, text
    fk_graph_binary = 6,   // "kgf" graph-set definitions, binary
    fk_toolset = 7,        // "kts" analysis tool set
    fk_sketch_toolset = 8, // "sts" sketch tool set
    fk_payoff = 9,         // "kpd" payoff definition
    fk_params = 10,        // "prm" parameter file (Kalman, sensitivity, ...)
    fk_package_model = 11, // "kpm" packaged model
    fk_package_app = 12,   // "kpa" packaged application
    fk_metafile = 13,      // "wmf" Windows metafile
    fk_gtx = 14,           // "gtx" graphics transfer format
    fk_tab = 15,           // "tab" tab-separated table
    fk_text = 16,          // "txt" plain text
    fk_csv = 17,           // "csv" comma-separated values
    fk_xls = 18,           // "xls" spreadsheet workbook
    fk_wk1 = 19,           // "wk1" Lotus worksheet
    fk_err = 20,           // "err" error log
    fk_ini = 21,           // "ini" settings file
    fk_none = 22,          // ""    no extension (set_extension removes one)
    fk_command = 23,       // "cmd" command script
    fk_emf = 24,           // "emf" enhanced metafile
    fk_pdf = 25,           // "pdf" printed document
    fk_app_text = 26,      // "kcd" application definition, text
    fk_app_binary = 27,    // "kcf" application definition, binary
    fk_gaming = 28,        // "gin" gaming changes
    fk_save_list = 29,     // "lst" save list
    fk_conversion = 30,    // "frm" data conversion format
    fk_db_inputs = 31,     // "kdi" database inputs
    fk_db_outputs = 32,    // "kdo" database outputs
    fk_opt_output = 33,    // "out" optimisation output
    fk_sens_control = 34,  // "ksc" sensitivity control
    fk_opt_control = 35,   // "koc" optimisation control
    fk_help = 36,          // "hlp" help file
    fk_temp = 37,          // "tmp" temporary file
    fk_xlsx = 38,          // "xlsx" spreadsheet workbook (newer form)
    fk_count = 39
};

// The extension of a kind without its dot ("kdf"); "" for fk_none and for a
// number outside the table.
const char* kind_extension(int kind);
// The kind of a name's extension (compared without case), or dflt when the
// name has no extension or one the table does not hold.
int file_kind_of(const char* name, int dflt);
// A scratch copy of name with the extension of kind: replace 0 adds it only
// when the name has none, 1 replaces an existing one; fk_none removes it.
char* set_extension(const char* name, int kind, int replace);

// ------------------------------------------------------------------ paths ---

// The model's directory: the base of relative names. Set by whoever opens a
// model (and by tests); "" means the current directory. A trailing "/" is
// optional.
extern std::string model_dir;

// The position of the extension's dot in name, or npos. A dot that begins the
// file name part (".profile") does not start an extension.
std::size_t extension_dot(const std::string& name);

// Path texts from outside ("C:\\x\\y.dat", stored names) may use "\\": it is
// read as "/". A leading "%NAME%" is replaced by that environment variable.

// A path text with "\\" read as "/" and a leading "%NAME%" replaced.
std::string normalise_path(const char* name);
// The full path of name relative to base (base null: the model's directory,
// else the current directory), with "." and ".." resolved.
std::string full_path(const char* base, const char* name);
// The full path of name relative to base (base null: the model's directory,
// else the current directory), with "." and ".." resolved, in scratch memory.
// Optional outputs, also in scratch memory: the directory with a trailing "/",
// the file name without its extension, the extension without its dot.
char* split_path(const char* base, const char* name, char** dir_out, char** name_out,
                 char** ext_out);
// path without the model's directory (or base) in front: a pointer into path,
// or path itself when it does not begin with that directory.
const char* strip_model_dir(const char* base, const char* path);
// The part of a path after its last "\\", "/" or ":" (a pointer into path).
const char* file_name_part(const char* path);
// A bare file name gets the model's directory (else the current directory) in
// front; a full path is made relative to the model's directory when it lies
// inside it; the result is cut to its last max_chars characters (0: no limit).
// Scratch memory.
char* model_relative_path(const char* path, int max_chars);
// Changes the current directory to the directory of path (or to path when it
// names a directory). 1 on success, 0 on failure.
int change_dir(const char* path);
// Makes a folder and the missing folders above it (mode 0777 less the umask);
// true when it exists as a folder afterwards.
bool make_dirs(const std::string& dir);
