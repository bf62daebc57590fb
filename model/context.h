// The model context record: what belongs to the open model in the shell and
// the tools (time axis, selected runs, run setup, sketch window, subscript
// selection, names). Created from the model's settings block by
// read_model_settings, kept in a movable block whose handle is model-header
// word 24, and locked into model_rec for the life of the open model.
//
// Texts are cells of the record's own string block (a piece block), so they
// can be replaced in place; 0 is "".
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/types.h"
#include "model/constants.h"

// The next run (read by the run driver). Texts are cells of the string block.
struct run_setup {
    std::uint32_t run_name;     // name of the next run
    std::uint32_t changes;      // "-c": changes files (.cin), blank-separated
    std::uint32_t opt_file;     // "-o": second file name used with the optimisation flag
    std::uint32_t payoff;       // "-p": payoff definition file
    std::uint32_t sens;         // "-s" or "-b" text
    std::uint32_t data_sources; // "-d": data-source list
    std::uint32_t a_text;       // "-a" text
    std::uint32_t b_text;       // "-b" text
    std::uint32_t info_text;    // text written into the run file's information block
    std::uint8_t optimise;      // optimisation flag
    std::uint8_t r_flag;        // "-r"
    std::uint8_t s_over_b;      // "-s" chosen over "-b"
    std::uint8_t k_flag;        // "-k"
    std::uint8_t i_flag;        // "-I"
    std::uint8_t method; // integration method (0 Euler, 1 RK4, 2 RK2, 3 RK auto, 4 difference)
    std::uint8_t spare[2];
};
static_assert(sizeof(run_setup) == 44);

// One selected run (20 bytes).
struct selected_run {
    float first;          // first saved time
    float last;           // last saved time
    float step;           // save step
    std::uint32_t name;   // cell of the run's name in the string block
    std::int16_t run;     // index in the table of loaded runs
    std::uint16_t serial; // load serial of that record when selected
};
static_assert(sizeof(selected_run) == 20);

// The subscript selection: per subscript range, which elements are selected
// (a bit per element position), kept in a movable block: per range one entry
// {range symbol, element count, bits...}.
struct subscript_selection_entry {
    symbol_id range;
    std::uint32_t count; // elements of the range
    std::uint32_t words; // 32-bit words of bits that follow
};

struct model_context {
    // Time axis of the graphs.
    double start;   // graph start time
    double end;     // graph end time
    double special; // special time
    selected_run runs[max_selected_runs];
    float full_start; // full range over the selected runs
    float full_end;
    float full_step;              // also the saving interval shown by the tools
    handle sketch;                // output-record handle of the model's sketch window (0 none)
    std::int32_t run_count;       // selected runs (at most 16)
    std::int32_t active_count;    // the first selected runs that are active
    std::uint32_t data_list;      // data-source list text
    std::uint32_t directory;      // the model's last-used directory
    handle strings;               // string block (piece block) of the texts of this record
    std::uint32_t time_base_name; // name of the time-axis variable
    run_setup setup;              // the next run
    std::uint8_t graph_set;       // index of the current custom graph set (0 none)
    std::uint8_t state;           // 2: no model open; 1: a model is open
    std::uint8_t made_up_range;   // the full range was made up (no usable times)
    std::uint8_t run_optimise;    // run flag: optimisation
    std::uint8_t run_toolbar;     // run flag: started from the toolbar
    std::uint8_t spare1[3];
    float arrow_step;            // step of the time axis arrow buttons (1.0 when not positive)
    symbol_id time_base;         // the time-axis variable (0: Time)
    std::int16_t sketch_zoom;    // saved sketch zoom (5 fit, 10 to 500 percent)
    std::int16_t sketch_view;    // saved view number
    std::uint32_t last_run_name; // the last run's name
    std::uint32_t run_command;   // the run's command-line text
    std::uint32_t title_var;     // the title's variable text
    std::uint32_t redirects;     // redirect list: texts "name=value" separated by '\n'
    handle subscripts;           // subscript selection block (subscript_selection_entry...)
    std::int32_t window[4];      // placement of the model's sketch window (x, y, w, h; -1 unset)
};

// The locked pointer to the current model's context (null while none).
extern model_context* model_rec;
extern handle model_rec_handle;

// Makes a context with the defaults (start 0, end 100, step 1, no runs, state
// 2); its handle.
handle new_model_context();
void free_model_context(handle h);
// Locks a context into model_rec (unlocking the previous one); 0 unlocks.
void set_model_rec(handle h);

// Texts of a context (null context: model_rec).
const char* ctx_text(const model_context* ctx, std::uint32_t cell);
// Replaces a text; returns its new cell. The context must be model_rec or
// locked by the caller; the string block may move (never the context).
std::uint32_t ctx_set_text(model_context* ctx, std::uint32_t cell, const char* text);
