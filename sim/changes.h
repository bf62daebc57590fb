// Changes files (.cin): temporary changes of constants, lookups and strings
// for the next run, read into the setup copies and written from them. The
// text format is described in docs/formats/changes-file.md. A file with a bad
// line is reported (the line, a caret under the column, "Line n of file f")
// and changes nothing.
#pragma once

#include <string>

// Reads the changes files of a list (names separated by blanks; a name with
// blanks in double quotes; ".cin" put on when a name has no extension;
// relative to the model's directory) into the setup copies, which are made
// when missing. 1 when every file was read and applied; 0 when any was
// refused (the files before it stay applied).
int read_change_files(const char* list);
// The gaming form: the same for the changes of a game interval.
int apply_change_files(const char* list, int unused, int flag, double unused_time);
// Reads changes from a text (tests and the fuzzer); name is used in messages.
int read_changes_text(const char* text, const char* name);
// Writes a changes file: mode 2 every constant, lookup and string of the
// model with the values of the setup copies (made when missing); any other
// mode only what the copies changed. 1 on success, 0 after a message (an
// existing file is kept when the write fails).
int write_changes_file(const char* name, int mode);
