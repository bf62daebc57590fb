// Run comparison: how two loaded simulation runs differ for one class of
// variables, written as text through the report writer (docwriter.h).
//
// Variables are matched by name in each run's own model part, so runs of two
// versions of a model compare: a variable one run lacks, one whose type or
// shape changed, is reported rather than read through the wrong slot.
//
// The comparison needs no window. The text goes to whatever report is current;
// before its first line the header hook runs (the Runs Compare tool opens its
// window and prints its class heading there). Nothing is written, and the hook
// is not called, when there is no difference.
#pragma once

// Separates the entries of the comparison text.
inline constexpr const char* compare_separator =
    "-----------------------------------------------------------\n";

// Called once per comparison call, before the first text it writes, with the
// two run names as the call was given them. Null: nothing.
extern void (*compare_header_hook)(const char* name1, const char* name2);

// Compares run2 with run1 for one class: 23 constants, 26 lookups, 5 data, 22
// initials, 8 levels, 17 auxiliaries, 19 game inputs. reverse != 0 (the second
// call, runs swapped) reports only presence, type and dimension differences.
// rel and abs are the tolerances (both 0: exact). Returns -1 after a refusal
// (severity 8: the same run twice, a run that is not loaded or not from a
// simulation), else the number of differences written.
int compare_runs(const char* name1, int run1, const char* name2, int run2, int reverse, int cls,
                 float rel, float abs);
