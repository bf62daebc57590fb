// The settings file "kavread.ini": key=value lines under "[kavrel]".
//
// The table keeps the keys in the order they were read or added; keys are
// compared without regard to case. Sections other than "[kavrel]" are kept
// as they were read and written back after it, so a file shared with another
// program loses nothing.
#pragma once

#include <string>

// Reads the settings file into the table, replacing what it held.
// path: the file, or 0 for the last file read (the default "kavread.ini" in
// the settings directory when none was read yet). A path may begin with
// %NAME%, the value of an environment variable.
// command_line: 0, or the address of the command-line pointer. When the line
// (leading blanks skipped) begins with a name ending in ".ini" (any case)
// followed by a blank, tab, line feed or the end, or with such a name in
// double quotes, that name is the settings file and the pointer is moved past
// it and the white space after it.
// quiet: no message on failure.
// A missing file (nothing at all by that name) is written fresh ("[kavrel]")
// and read again. A file that is there but cannot be read (no permission, a
// folder, a pipe or device, a link to nothing or in a loop, too large) is
// left alone: "Unable to read settings file %s: <reason>; ..." (severity 5,
// also kept in ini_read_failure) and writes of the table are refused until a
// file is read.
// Returns 1 on success, negative on failure (-1 unreadable, -2 could not be
// created); the table is then empty.
int read_ini_file(const char* path, char** command_line, int quiet);
// The message of the last read when the file was there but could not be read
// (see read_ini_file), else "".
const char* ini_read_failure();
// Says why the last read could not make the missing settings file (a box),
// unless the making of that file has failed and been said already since it
// was last written (by such a call or by write_ini_file); 1 when it said so.
// A settings file that cannot be made is so said once, not at every read or
// write that meets it again.
int report_ini_make_failure();

// Copies the value of a key, or the default (0 taken as "") when the key is
// absent, into line_buf (through line_buf_assign of the text sources); 1 when
// that text is non-empty, else 0.
int ini_get(const char* key, const char* default_value);
// The value of a key as an owned string, or the default when absent.
std::string ini_get_string(const char* key, const char* default_value);
// The stored value of a key, or 0 when absent; valid until the table changes.
const char* ini_value(const char* key);

// Sets or adds a key (added at the end); a null value removes it. Line breaks
// in a value become blanks. Returns 0 (and changes nothing) for a key that
// cannot be written as a line: empty, holding '=' or a line break, or
// beginning with '[', ';' or '#'; else 1. Blanks around the key are dropped.
int ini_set(const char* key, const char* value);

// 0 frees the table; 1 writes the file and frees the table; 2 writes it and
// keeps the table. The file is written to a temporary file in the same folder
// and renamed over the old one only when all of it was written, so a failed
// write keeps the old file. Returns 1 on success, negative when the file could
// not be written (with a message), 0 without writing when the file is there
// but could not be read (see read_ini_file).
int write_ini_file(int mode);

// The settings file the table belongs to ("" before the first read or write).
const char* ini_file_path();
// Number of keys in the table.
int ini_count();

// The directory of the default settings file: $XDG_CONFIG_HOME/kavrel (else
// $HOME/.config/kavrel) when it can be made and written, else HOMEDRIVE plus
// HOMEPATH when both are set, else $HOME. set_ini_directory overrides it
// (tests; 0 restores the default) and forgets the last file read.
std::string ini_directory();
void set_ini_directory(const char* dir);

// A path beginning with %NAME% with the variable's value in its place; the
// path unchanged when it does not begin so or the variable is not set.
std::string expand_env_prefix(const char* path);

// Takes a leading settings-file name off a command line as read_ini_file
// does: returns the name ("" when none) and moves *command_line past it.
std::string take_ini_name(char** command_line);
