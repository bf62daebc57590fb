// The run accessors: every read of a loaded run goes through here.
//
// Each accessor takes a run index, makes the run current for the read (a
// run_lock guard releases it on every way out) and returns a count, or 1 on
// success, and 0 without a message when the run, the name or the value is not
// there. Results go into containers, so no accessor writes past a caller's
// buffer. Variables are found by their element name in the run's own model
// part, so a run of another version of the model still reads by name; only
// time bases used as x variables are looked up in the open model.
//
// Slot type bytes: 5, 6 and 12 are data variables (read against the data time
// axis); other values below 22 are time series on the time axis; 22 to 24 are
// single values; 0 and 25 and above are not readable as series. Lookups (26),
// strings (27), test inputs (28) and constraints (29) are never series.
//
// Nearest-time rule: the first saved time above t and the one before it; the
// nearer wins, the later on a tie; a time before the first or after the last
// saved time by more than (last - first) / (2 n) has no value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "runs/runfile.h"

// A parsed element name: the variable's name and its subscripts as typed.
struct run_name {
    std::string name;
    std::vector<std::string> subs;
};
// Splits "Name[a, b]" (quotes, underscores and blanks normalised); false when
// there is no name, more than 8 subscripts or an unclosed bracket.
bool parse_run_name(const char* text, run_name& out);

// The series of a variable in run i against xname ("Time" or null: the saved
// times; else a time base of the open model, whose scale and offset convert
// the times). Points without a value are dropped. A null name gives the data
// time axis. first and last (optional) receive the first and last point of the
// axis used; data (optional) is set to 1 for a data variable. Run types 'R',
// 'r', 'P', 'p', 'S', 's' only. Returns the point count.
int read_run_series(const char* name, const char* xname, int i, std::vector<float>& values,
                    std::vector<float>& times, double* first = nullptr, double* last = nullptr,
                    int* data = nullptr);
// read_run_series, else the lookup's points (x as times); 'A' runs through
// expand_act with data set to 1.
int read_run_values(const char* name, const char* xname, int i, std::vector<float>& values,
                    std::vector<float>& times, double* first = nullptr, double* last = nullptr,
                    int* data = nullptr);
// The value at a time (null or NA: the last value). mode > 0 interpolates
// linearly between the points around the time; mode <= 0 takes the nearest;
// mode >= 0 gives the one value of a one-point series at any time. 1 when the
// variable was read (the value may be NA outside the run), 0 when not.
int run_value_at_time(const char* name, const char* xname, int i, float* out, const float* time,
                      int mode);
// 'A' runs: the variable against its own time base, converted to xname's
// time base when that differs. Returns the number of points.
int expand_act(const char* name, const char* xname, int i, std::vector<float>& values,
               std::vector<float>& times, double* first = nullptr, double* last = nullptr);
// Two series matched on time within half the smallest spacing found in
// either (exact matching when neither has two points), cut to the graph time
// range of the open model's context. Pairs are written compacted to values_a
// and values_b; min and max (optional) receive the range of the b values.
// Returns the number of pairs.
int read_run_xy(const char* name_a, int run_a, std::vector<float>& values_a, const char* name_b,
                int run_b, std::vector<float>& values_b, double* min = nullptr,
                double* max = nullptr);
// The single value of a constant (slot type byte 22 or 23). 'A' runs: 0.
int run_constant_value(const char* name, int i, float* out);
// A scratch copy of a string variable's text, null when absent.
char* run_string_value(const char* name, int i);
// A lookup's points. Returns the point count.
int read_run_lookup(const char* name, int i, std::vector<float>& x, std::vector<float>& y);
// The whole constants section (one value per value slot). Returns the count.
int read_run_constants(int i, std::vector<float>& out);
// The run's lookup records and its lookup data block (a new handle, or 0).
// Refused (0) unless the run's lookups are the open model's: the same count
// and, lookup by lookup, the same variable name and element. keep 0: the block
// replaces the open model's lookup data (and its lookup list follows the
// run's points); the open model must not be locked then.
handle read_run_lookup_tables(int i, std::vector<kdf_lookup_record>& records, int keep);
// Name resolution in run i's model: the symbol type when above 24, else the
// slot's type byte; 0 when unknown. slot (optional) receives the value slot
// (lookups: the lookup number; strings: the string slot).
int run_var_type(const char* name, int i, int* slot = nullptr);
// The symbol id (0 when no such element) and the slot.
symbol_id run_var_slot(const char* name, int i, int* slot = nullptr);
symbol_id run_find_symbol(const char* name, int i);
// The element names of a variable of run i: mode 0 with the run's subscript
// ranges, mode 1 with the open model's (the names are then checked in the
// run); mode 2 and above only count. A typed subscript that names a range
// stands for all its elements; one that names an element for that one.
int expand_element_names(const char* name, int i, std::vector<std::string>& out, int mode);
// The element name of one element of a symbol in run i's model ("" when bad).
std::string run_element_name(int i, symbol_id id, int element);

// The nearest-time rule over a sorted list of n times: the index of the
// point for t, or -1 when t lies more than (last - first) / (2 n) outside
// (with one point, any t takes it). before_ok: a time before the first point
// takes the first point however far it lies.
int nearest_time_index(const float* times, int n, double t, bool before_ok = false);

// The scale and offset that turn saved times into xname's time base (1 and 0
// for Time or null); false when xname is neither Time nor a time base of the
// open model.
bool run_time_transform(const char* xname, float* scale, float* offset);

// The element name of every value slot of a model ("" for a slot no variable
// names), from its own symbol table.
std::vector<std::string> model_slot_names(handle symbols);

// Internal, for the other readers of this subsystem (current run only).
struct run_resolved {
    symbol_id id = 0;
    int sym_type = 0;
    int slot = -1;           // value slot, lookup number or string slot
    int element = 0;         // element offset within the variable
    int type_byte = 0;       // slot type byte (value slots)
    symbol_id time_base = 0; // 'A' runs: the variable's time base (0: Time)
};
bool resolve_cur_run(const char* name, run_resolved& out);
// The stored series of a value slot of the current run, expanded to one value
// per point of its axis (NA where missing). data: the slot is a data variable
// (values only at the data axis points with a presence bit; positions gives
// the axis index of each). False when not saved or unreadable.
bool read_slot_points(int slot, std::vector<float>& values, std::vector<int>* positions);
// The single value of a slot of type 22 to 24 (offset table or constants
// section).
bool read_single_value(int slot, float& out);
