// The run-file reader and the table of loaded runs.
//
// A finished run lives in a run file (.kdf). Opening it reads what every
// later read needs (the run's model part, the variable offset table or the row
// layout, the run-type section and the time axes), checks every count and
// offset against the file and against each other, keeps the file open and
// enters the run into the table of loaded runs. A run is named everywhere by
// its index in that table; values are read from the open file on demand by
// the accessors (runs/access.h).
//
// The layout is described in docs/formats/run-file.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "model/model.h"

// ------------------------------------------------------------ the record ---

// One entry of the table of loaded runs: the run file's 164-byte header as
// read, with some words given a meaning in memory. Word n is the 32-bit word
// at byte 4 n.
struct loaded_run {
    std::uint16_t serial;       // load serial (the file's magic bytes overwritten)
    std::uint8_t kept;          // 1: loaded before the last mark_loaded_runs
    char type;                  // run_type_letter; 0: free record
    char origin[76];            // the header's name field (the run's origin), as in the file
    std::uint32_t name_cell;    // word 20: cell of the full file name in the run-name block
    std::int32_t file;          // word 21: file handle; see run_file_state below
    std::uint32_t constants;    // word 22: file offset of the constants section
    std::uint32_t lookups;      // word 23: file offset of the lookup section
    std::uint32_t strings;      // word 24: file offset of the string block
    std::uint32_t offset_table; // word 25: file offset of the offset table (or row head)
    std::uint32_t section;      // word 26: file offset of the run-type section
    std::uint32_t delays;       // word 27: file offset of the delay states (0 none)
    std::int32_t max_points;    // word 28: longest series of the run
    std::int32_t data_points;   // word 29: points of the data time axis
    std::int32_t times;         // word 30: saved times
    std::int32_t time_count;    // word 31: run_time_count (points of 'A' records)
    std::uint32_t word32;       // word 32: no meaning for the reader
    std::uint32_t word33; // word 33: unused in memory (the run's side state holds the section)
    std::uint32_t word34; // word 34: unused in memory (the side state holds the table)
    float payoff;         // word 35: payoff value (0 none)
    std::uint32_t word36; // word 36: unused in memory (the side state holds the axes)
    handle symbols;       // word 37: symbol block of the run's model part
    handle info;          // word 38: run information block, 0 none
    std::uint32_t word39; // word 39
    std::uint8_t constants_in_section; // byte 160: 0 constants kept in the offset table
    std::uint8_t counts32;             // byte 161: 32-bit value counts
    std::uint8_t spare[2];
};
static_assert(sizeof(loaded_run) == 164);
static_assert(offsetof(loaded_run, origin) == 4);
static_assert(offsetof(loaded_run, name_cell) == 80);
static_assert(offsetof(loaded_run, file) == 84);
static_assert(offsetof(loaded_run, offset_table) == 100);
static_assert(offsetof(loaded_run, times) == 120);
static_assert(offsetof(loaded_run, payoff) == 140);
static_assert(offsetof(loaded_run, symbols) == 148);
static_assert(offsetof(loaded_run, info) == 152);
static_assert(offsetof(loaded_run, constants_in_section) == 160);
static_assert(offsetof(loaded_run, counts32) == 161);

// States of loaded_run::file besides an open handle (>= 0).
enum : std::int32_t {
    run_file_unopened = -1, // could not be reopened; lock_rh reports it once
    run_file_closed = -2,   // closed for a moment while the file is rewritten
    run_file_broken = -3,   // reported as not loaded properly; reads refused
};

// The row-layout head of a lower-case run (20 bytes in the file).
struct kdf_row_head {
    std::uint32_t first_row;  // file offset of the first row
    std::uint32_t row_length; // floats per row
    std::uint32_t entries;    // entries of the table that follows
    std::uint8_t unused[6];
    std::uint8_t direct; // non-zero: one column per value slot; else (column, slot) pairs
    std::uint8_t unused2;
};
static_assert(sizeof(kdf_row_head) == 20);
static_assert(offsetof(kdf_row_head, direct) == 18);

// The 52-byte run-time record of one lookup in the lookup section.
struct kdf_lookup_record {
    std::uint32_t w0[5];
    std::uint32_t x_cell; // bytes 20-23: first x value in the lookup data block
    std::uint32_t y_cell; // bytes 24-27: first y value
    std::uint32_t w7;
    std::uint32_t npoints; // bytes 32-35
    std::uint32_t w9[4];
};
static_assert(sizeof(kdf_lookup_record) == 52);
static_assert(offsetof(kdf_lookup_record, npoints) == 32);

// The head of a sensitivity section (32 bytes, then K + S value slots).
struct kdf_sens_head {
    std::uint32_t rows;   // simulations
    std::uint32_t times;  // T: saved times per series variable
    std::uint32_t matrix; // file offset of the value matrix
    std::uint8_t unused[14];
    std::uint16_t singles; // K
    std::uint16_t series;  // S
    std::uint16_t unused2;
};
static_assert(sizeof(kdf_sens_head) == 32);
static_assert(offsetof(kdf_sens_head, singles) == 26);
static_assert(offsetof(kdf_sens_head, series) == 28);

// ------------------------------------------------------- the loaded runs ---

// Opens a run file (a leading '@' skipped, the run-file extension put on, the
// name made a full path relative to the model's directory) and returns its run
// index, or -1. A name already loaded returns its index without reading the
// file again, unless the file on disk is no longer the one that run was read
// from (another device, inode, size or modification time).
int kdf_open(const char* name);
// The same, but always reads the file into a new record, also when a run of
// that name is loaded (a reload reads the file afresh beside the old copy).
int kdf_open_fresh(const char* name);
// The index of the live run of that name (same name treatment, compared
// without case), -1 when none, when its file is not open or when the file on
// disk has been replaced since.
int find_run(const char* name);
// Frees run i (also a run whose file is broken); 1, or 0 for a bad index or a
// free record.
int unload_run(int i);
// all != 0: unloads every live run; 0: only the runs not kept (see
// mark_loaded_runs) that no selected-run list refers to.
void unload_runs(int all);
// Sets the kept flag of every live run (and clears that of free records).
void mark_loaded_runs();

// Record fields; 0 when the index is refused.
char run_type(int i);
char* run_display_name(int i); // scratch: file name without directory and extension
int run_time_count(int i);     // word 31
// The text of run i's information block: the run's command line, then after a
// line feed the run's comment when it has one ("" when none).
std::string run_info_text(int i);
int run_max_points(int i); // word 28
// The full file name of run i ("" when refused).
std::string run_file_name(int i);
// Scratch array of scratch copies of the names of the time bases (symbol type
// 15) of run i's model, in alphabetical order; their number.
int run_time_bases(int i, char*** list_out);
// Whether two runs share one model part (same symbol block).
bool runs_share_model(int a, int b);

// Number of records (free ones included) and the load serial counter.
int loaded_run_count();
std::uint16_t next_load_serial();

// The package layer closes a loaded run's file for a moment while it rewrites
// that file, and opens it again after: these mark the run closed and reopen it
// (a failed reopen leaves it run_file_unopened). Return the run index or -1.
int close_run_file_for_rewrite(const char* path);
int reopen_run_file(const char* path);

// Whether a run is referenced by a selected-run list (the open model's, or
// any list registered here); such runs are never dropped by kdf_open's retry.
using run_reference_fn = bool (*)(int run, std::uint16_t serial);
void set_run_reference_hook(run_reference_fn fn);
bool run_is_referenced(int i);

// Installs the file layer's before-delete hook (deleting a run file first
// unloads its run) and the run writer's after-replace hook (a run file
// written anew unloads the runs read from the old one). Called once at
// start-up; idempotent.
void install_run_delete_hook();

// Frees every loaded run and the table (the model is closing for good, or a
// test ends).
void free_loaded_runs();

// ---------------------------------------------------- the current run ---

// The current run (set by lock_rh, cleared by unlock_rh), null when none.
extern loaded_run* cur_run;
extern int cur_run_index;

// Makes run i current and returns its record, or 0: for a bad index, a free
// record, a record whose file could not be reopened (reported once: "The
// dataset %s not loaded properly.  Try unloading and reloading it", then the
// run is marked broken), or when a run is current already (severity 10: the
// pair is never nested). A broken or momentarily closed run is made current
// so its record can be read, but every file read refuses it.
loaded_run* lock_rh(int i);
// Releases the current run; severity 10 when there is none.
void unlock_rh();

// Holds run i current for the life of the guard (unlocks only when the lock
// succeeded), so every way out of an accessor releases the run.
class run_lock {
public:
    explicit run_lock(int i) : rec_(lock_rh(i)) {}
    ~run_lock() {
        if (rec_) unlock_rh();
    }
    run_lock(const run_lock&) = delete;
    run_lock& operator=(const run_lock&) = delete;
    loaded_run* get() const { return rec_; }
    loaded_run* operator->() const { return rec_; }
    explicit operator bool() const { return rec_ != nullptr; }

private:
    loaded_run* rec_;
};

// ------------------------------------------- state of the current run ---
// What the reader keeps in memory per loaded run; valid while the run is
// current (between lock_rh and unlock_rh).

// A file on disk as it was when a run was read from it (known: false when it
// could not be looked at, as for a package member).
struct file_identity {
    bool known = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtime_s = 0, mtime_ns = 0;
};

struct run_side {
    std::string path;     // full file name
    bool foreign = false; // the file's byte order is the other one
    std::uint64_t file_size = 0;
    file_identity identity;  // the file the run was read from
    std::uint32_t slots = 0; // value slots of the run's model (words 0 + 3)
    std::uint32_t level_slots = 0;
    std::uint32_t lookups = 0; // lookups of the run's model
    std::uint32_t delay_objects = 0;
    std::vector<std::uint8_t> slot_types; // one per value slot ('P'/'p': the payoff bytes)
    std::vector<std::uint32_t> offsets;   // upper-case runs: one per value slot
    kdf_row_head row{};                   // lower-case runs
    std::vector<std::uint32_t> columns;   // lower-case: column per value slot (0 none)
    std::vector<float> time_axis;         // saved times (word 30 points)
    std::vector<float> data_axis;         // data time axis (word 29 points)
    std::vector<std::uint8_t> section;    // sensitivity section (converted) or payoff bytes
    // 'A' runs: the axes of the time bases read so far (symbol id, values).
    std::vector<std::pair<symbol_id, std::vector<float>>> time_base_axes;
    std::vector<std::uint8_t> model_bytes_hash; // identity of the model part
    std::uint64_t model_part_size = 0;
};

// The side state of the current run (null when none).
run_side* cur_side();
// Reads n bytes at a file offset of the current run: false when the run's
// file is not open or the range lies outside the file.
bool run_read_at(std::uint64_t offset, void* buffer, std::size_t n);
// Converts words read from the current run's file to this machine's order.
std::uint32_t run_u32(std::uint32_t v);
std::uint16_t run_u16(std::uint16_t v);
float run_f32(float v);
