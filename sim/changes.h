// Changes files (.cin): temporary changes of constants, lookups and strings
// for the next run, read into the setup copies and written from them. The
// text format is described in docs/formats/changes-file.md. A file with a bad
// line is reported (the line, a caret under the column, "Line n of file f")
// and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"

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

// One number as the changes files write it: ":NA:" or a finite decimal
// number within the float range (no "inf", "nan" or hexadecimal forms).
// scan_change_number reads it from the start of text (used: its length);
// parse_change_number takes a whole field (blanks around it allowed). The
// dialogs' number fields use the same, so they refuse what files refuse.
// false with why set otherwise.
bool scan_change_number(const char* text, std::size_t* used, float* out, std::string* why);
bool parse_change_number(const char* text, float* out, std::string* why);
// The rule for a lookup's points, in files and dialogs alike: at least one,
// as many y as x, no :NA:, x never decreasing. false with the index of the
// first bad point and why.
bool check_lookup_points(const std::vector<float>& x, const std::vector<float>& y, std::size_t* bad,
                         std::string* why);

// A changeable element of the open model: a constant, lookup or game input.
struct setup_item {
    std::string name;       // with its subscripts: "demand[north,food]"
    std::uint32_t sym = 0;  // the variable's symbol
    std::int32_t slot = -1; // constants and game inputs: the value slot
    int lookup = -1;        // lookups: the lookup slot
};
// The elements of the open model in name order: kind 0 constants, 1
// lookups, 2 game inputs.
std::vector<setup_item> setup_items(int kind);
