// The file layer: operating-system files, members of the open package and
// in-memory files behind one small-integer handle; text streams; file names,
// extensions and paths.
//
// Writing never destroys the old file before the new one is complete: every
// write goes to a temporary file in the same folder, which replaces the old
// file only when it is closed successfully. A failed or abandoned write leaves
// the old file as it was.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "foundation/types.h"

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

// Path texts from outside ("C:\\x\\y.dat", stored names) may use "\\": it is
// read as "/". A leading "%NAME%" is replaced by that environment variable.

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

// ----------------------------------------------------------- file handles ---

// Opens for reading: a member of the open package of that name first (see
// file_status), else the disk file. Negative when neither exists.
file_handle fh_open_read(const char* name);
// Opens bytes from memory for reading (the bytes are copied).
file_handle fh_open_bytes(const void* data, std::size_t bytes, const char* name);
// Opens for writing (and reading back). in_memory 0: a temporary file in the
// same folder, renamed over name by a successful fh_close; in_memory 1: an
// in-memory file kept under name after fh_close (memory_file_*). Negative
// when the file cannot be made.
file_handle fh_open_write(const char* name, int unused, int in_memory);
// Bytes moved (0 at the end or on failure; a failed write marks the handle
// so that fh_close refuses to commit it).
std::size_t fh_read(file_handle h, void* buffer, std::size_t bytes);
std::size_t fh_write(file_handle h, const void* buffer, std::size_t bytes);
// origin 0 from the start, 1 from the current position, 2 from the end. The
// new position, or -1 (position unchanged) for a bad handle, origin or a
// position before the start. Positions past the end are allowed; a write
// there fills the gap with zeros.
long fh_seek(file_handle h, long offset, int origin);
long fh_size(file_handle h); // -1 for a bad handle
// Closes. For a write: commits it (the new file replaces the old). Negative
// when the final write or the rename failed, or a write had failed before:
// then the old file is kept, the temporary one removed, and "Unable to write
// %s" (severity 8) names the file. 0 for a bad handle, 1 on success.
int fh_close(file_handle h);
// Drops a write: the temporary file is removed and the old file kept. For a
// read handle the same as fh_close. No message.
void fh_abandon(file_handle h);
// The bytes of an open in-memory file or package member (null otherwise).
const unsigned char* fh_memory_data(file_handle h, std::size_t* bytes);
// The name a handle was opened with ("" for a bad handle).
const char* fh_name(file_handle h);
int fh_open_count();

// Closes a handle when the guard ends unless released; a write still open then
// is abandoned (the old file is kept), so an unwind never commits half a file.
class fh_guard {
public:
    explicit fh_guard(file_handle h) : h_(h) {}
    ~fh_guard() {
        if (h_ > 0) fh_abandon(h_);
    }
    fh_guard(const fh_guard&) = delete;
    fh_guard& operator=(const fh_guard&) = delete;
    file_handle get() const { return h_; }
    // Commits through fh_close; its result.
    int close() {
        file_handle h = h_;
        h_ = -1;
        return fh_close(h);
    }

private:
    file_handle h_;
};

// In-memory files closed by fh_close: their bytes by name (null when none).
const unsigned char* memory_file_data(const char* name, std::size_t* bytes);
void memory_file_drop(const char* name);

// ---------------------------------------------------------------- streams ---

// A text stream; mode as fopen. "w"/"wb" write a temporary file renamed over
// name by close_stream; "r" reads a package member when the package holds
// name. Null when it cannot be opened.
std::FILE* open_stream(const char* name, const char* mode);
// Closes a stream of open_stream (any other stream is simply closed). For a
// write: negative when the stream had an error or the rename failed (the old
// file kept, "Unable to write %s", severity 8), else 1.
int close_stream(std::FILE* stream);
// Drops a stream being written: the old file is kept. No message.
void abandon_stream(std::FILE* stream);
// Writes text with each line feed as CR LF. 1 on success, 0 on failure.
int write_crlf(std::FILE* stream, const char* text);

// ------------------------------------------------------- files and names ---

// 0 missing, 1 disk file only, 2 member of the open package, 3 member of the
// open package that also exists on disk. disk_only: the package is not
// consulted (0 or 1).
int file_status(const char* name, int disk_only);
// mode 1: deletes the disk file (asking first about a read-only one) and drops
// a package member of that name, after closing a loaded run of that name
// (through the hook below). mode -2: drops only a package member of that name
// and never touches the disk. 1 when something was deleted or dropped.
int delete_file(const char* name, int mode);
// Called by delete_file(name, 1) before the file goes: the runs subsystem
// installs a function that closes a loaded run of that name. Null: none.
void set_before_delete_hook(void (*hook)(const char* path));
// Keeps the current file at path as its backup (path + ".bak") before a save;
// the file itself stays in place until the new one replaces it. Non-zero when
// the backup was made or there was no file; 0 after "Unable to rename %s to
// %s" (severity 8). backup_out (may be null) receives the backup's path in
// scratch memory.
int save_with_backup(const char* path, char** backup_out);
// 1 when no disk file exists at path or the user agrees to overwrite it.
int ask_overwrite(const char* path);
// When the open package holds name: writes the member to the disk file of the
// same name (beside the package) and returns that path (scratch). When such a
// disk file exists already: flag 1 asks "Do you want to overwrite the file %s
// with the package file" first, flag 0 keeps the disk file; either way the
// disk path is returned. Without such a member, the name itself. Null on
// failure (a message says why).
char* extract_member(const char* name, int flag);
// The names of the open package's members of a file kind (-1: every kind) in
// a scratch array (grown by grow entries at a time; the names are scratch
// copies); *list_out is null when there are none. Returns the count.
int list_package_members(int kind, char*** list_out, int grow);
