// Fuzz target of the run data a simulation takes in: the input is a run file
// read by the data-from-run adapter (data, lookup and constants forms), by a
// resume at a saved time, by the delay states handed to the engine and by the
// game's raw value reads, all against an open model. Refusals are ordinary
// messages; an internal error is a finding.
//
// KAVREL_FUZZ_SEED_DIR=<folder> makes the target write its seeds there first:
// runs of the open model simulated by the engine in each layout.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "model/constants.h"
#include "model/model.h"
#include "runs/readback.h"
#include "runs/runfile.h"
#include "runs/simdata_adapter.h"
#include "sim/interp.h"
#include "sim/run.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/support/model_builder.h"

namespace {

// Ordinary messages are dropped; an internal error is shown, as the finding.
int quiet(int kind, const char*, const char* text) {
    if (kind == 10) std::fprintf(stderr, "internal error: %s\n", text ? text : "");
    return 0;
}

void write_seeds(const char* dir) {
    struct layout {
        const char* name;
        char type;
        bool in_table;
    };
    for (const layout& l : {layout{"sim_R.kdf", 'R', true}, layout{"sim_R_section.kdf", 'R', false},
                            layout{"sim_r.kdf", 'r', true}}) {
        std::string p = std::string(dir) + "/" + l.name;
        sim_options o;
        o.run_file = p.c_str();
        o.run_type = l.type;
        o.constants_in_table = l.in_table;
        o.info = "sim  fuzz";
        if (simulate_model(cur_model_symbols, o, nullptr) != sim_done)
            std::fprintf(stderr, "seed %s not written\n", p.c_str());
    }
}

bool ready() {
    static bool done = [] {
        init_vocabulary();
        set_memory_debug(true);
        set_report_stream(std::fopen("/dev/null", "w"));
        set_message_hook(quiet);
        model_builder b("fuzzdata");
        b.control(0, 8, 0.5f, 1);
        b.range("region", {"north", "south"});
        b.constant("rate", 0.2f);
        b.constant("start[region]", 4);
        b.level("Stock", "inflow", "10");
        b.level("Pop[region]", "rate * Pop[region]", "start[region]");
        b.aux("inflow", "rate * Stock");
        b.aux("late", "DELAY FIXED(Stock, 2, 1)");
        b.lookup("Effect", {{0, 0}, {1, 2}, {4, 3}});
        b.aux("shaped", "Effect(Time)");
        b.string_var("Label", "fuzz");
        if (!b.finish()) return false;
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, fuzz_temp_dir().c_str(),
                    (fuzz_temp_dir() + "/fuzzdata.kmf").c_str());
        install_run_data_source_reader();
        set_delay_state_sink(accept_run_delays);
        if (const char* seeds = std::getenv("KAVREL_FUZZ_SEED_DIR")) write_seeds(seeds);
        return cur_model_symbols != 0 && ensure_setup_copy(0) == 1;
    }();
    return done;
}

// The adapter as an equation of the open model calls it.
void data_call(int function, const std::string& file, const char* variable, int elements,
               std::vector<float> numbers) {
    data_source_call call;
    call.function = function;
    call.texts = {file, variable};
    call.numbers = std::move(numbers);
    call.target = variable;
    call.elements = elements;
    std::vector<std::vector<float>> times, values;
    read_run_data_source(call, &times, &values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ready()) return 0;
    reset_report_counts();
    std::string path = fuzz_input_file("input.kdf", data, size);
    if (path.empty()) return 0;

    data_call(fn_get_kdf_data, path, "Stock", 1, {0, 1});
    data_call(fn_get_kdf_data, path, "Pop", 2, {1, 2});
    data_call(fn_get_kdf_data, path, "inflow", 1, {});
    data_call(fn_get_kdf_lookups, path, "Effect", 1, {0, 0});
    data_call(fn_get_kdf_constants, path, "rate", 1, {3});
    data_call(fn_get_kdf_constants, path, "start", 2, {0});
    data_call(fn_get_kdf_constants, path, "Label", 1, {0});

    int run = kdf_open(path.c_str());
    if (run >= 0) {
        const std::uint32_t slots = get_header_word(cur_model_symbols, mh_level_slots) +
                                    get_header_word(cur_model_symbols, mh_other_slots);
        std::vector<float> values(slots, 0.0f);
        for (int mode : {0, 2}) resume_from_run(run, values, 3.0, mode);
        resume_from_run(run, values, -1e30, 0);
        load_run_delays(run);
        game_state = 1;
        std::vector<float> out;
        for (std::uint32_t s = 0; s < slots + 2; ++s)
            read_run_var_values(run, static_cast<int>(s), out);
        game_state = 0;
    }
    unload_runs(1);
    free_scratch();
    std::remove(path.c_str());
    // Without the fuzz build's own check, an internal error still ends the run here.
    if (report_counts[10] != 0) __builtin_trap();
    return 0;
}
