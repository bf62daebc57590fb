// Fuzz target of the run-file reader: opens the input as a run file and reads
// it through every accessor.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "runs/access.h"
#include "runs/readback.h"
#include "runs/runfile.h"
#include "runs/sens.h"

namespace {
// Ordinary messages are dropped; an internal error is shown, as the finding.
int quiet(int kind, const char*, const char* text) {
    if (kind == 10) std::fprintf(stderr, "internal error: %s\n", text ? text : "");
    return 0;
}

void read_everything(int r) {
    std::vector<float> v, t, x, y;
    double first, last;
    int data;
    loaded_run* rec = lock_rh(r);
    handle symbols = rec ? rec->symbols : 0;
    if (rec) unlock_rh();
    std::vector<std::string> names = model_slot_names(symbols);
    names.insert(names.end(), {"Time", "Effect", "Label", "Stock[north]", "Months", "x[", ""});
    if (names.size() > 400) names.resize(400);
    for (const std::string& n : names) {
        const char* c = n.c_str();
        read_run_series(c, "Time", r, v, t, &first, &last, &data);
        read_run_values(c, "Months", r, v, t, &first, &last, &data);
        expand_act(c, nullptr, r, v, t, &first, &last);
        float out, at = 1.5f;
        run_value_at_time(c, "Time", r, &out, &at, 1);
        run_value_at_time(c, "Time", r, &out, nullptr, 0);
        run_constant_value(c, r, &out);
        run_string_value(c, r);
        read_run_lookup(c, r, x, y);
        int slot;
        run_var_type(c, r, &slot);
        std::vector<std::string> elems;
        expand_element_names(c, r, elems, 0);
        std::vector<std::vector<float>> rows;
        sens_values(c, r, rows);
        sens_percentiles(c, r, v, "Time", 1.0);
        read_run_xy(c, r, v, "Time", r, y);
    }
    read_run_series(nullptr, "Time", r, v, t);
    read_run_constants(r, v);
    std::vector<kdf_lookup_record> recs;
    handle h = read_run_lookup_tables(r, recs, 1);
    free_handle(h);
    std::uint32_t head[9];
    run_sens_header(r, head);
    std::vector<changing_level> changing;
    changing_levels(r, changing, 0, 0);
    std::vector<std::vector<std::uint8_t>> delays;
    read_run_delays(r, delays);
    char** bases;
    run_time_bases(r, &bases);
    run_display_name(r);
    run_info_text(r);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        set_memory_debug(true);
        return true;
    }();
    (void)once;
    set_message_hook(quiet);
    report_message_level = 11; // drop messages below 6 (they would go to the log)
    reset_report_counts();
    // The input lives in the process's own folder, removed after each input
    // and the folder when the process ends.
    std::string path = fuzz_input_file("input.kdf", data, size);
    if (path.empty()) return 0;
    int r = kdf_open(path.c_str());
    if (r >= 0) {
        read_everything(r);
        unload_run(r);
    }
    free_loaded_runs();
    free_scratch();
    std::remove(path.c_str());
    // An internal error while reading or refusing the file is a finding.
    if (report_counts[10] != 0) __builtin_trap();
    return 0;
}
