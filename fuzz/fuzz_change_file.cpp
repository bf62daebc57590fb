// Fuzz target: a changes file read from disk whole, line splitting and
// parsing together, as a simulation's changes list names it. Any file is
// either applied or refused with a message; a refused file changes nothing in
// the setup copies, and an internal error is a finding.
//
// KAVREL_FUZZ_SEED_DIR=<folder> makes the target write its seeds there first:
// the changes files the program writes for the model (every value, and only
// the changed ones).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/changes_model.h"
#include "fuzz/fuzz_files.h"
#include "model/model.h"
#include "sim/changes.h"
#include "sim/setup.h"

namespace {

// Ordinary messages are dropped; an internal error is shown, as the finding.
int quiet(int kind, const char*, const char* text) {
    if (kind == 10) std::fprintf(stderr, "internal error: %s\n", text ? text : "");
    return 0;
}

void write_seeds(const std::string& dir) {
    write_changes_file((dir + "/every_value.cin").c_str(), 2);
    // A few changes made through the reader, then only those written.
    read_changes_text("k = 7\nc[south] = 4\ncurve = (0,1) (5,2) (10,0)\nlabel = \"seed\"",
                      "seed.cin");
    write_changes_file((dir + "/changed.cin").c_str(), 0);
}

bool ready() {
    static bool done = [] {
        init_vocabulary();
        set_memory_debug(true);
        set_report_stream(std::fopen("/dev/null", "w"));
        set_message_hook(quiet);
        if (!open_changes_model()) return false;
        if (const char* seeds = std::getenv("KAVREL_FUZZ_SEED_DIR")) write_seeds(seeds);
        return true;
    }();
    return done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ready()) return 0;
    reset_report_counts();
    std::string path = fuzz_input_file("input.cin", data, size);
    if (path.empty()) return 0;
    setup_state* st = setup_copies();
    std::vector<std::uint8_t> changed = st->changed;
    std::vector<float> values(changed.size());
    std::vector<std::string> strings = st->strings;
    {
        handle_lock<float> v(setup_copy);
        std::memcpy(values.data(), v.get(), 4 * values.size());
    }
    // The list form a run's setup gives: a quoted name.
    std::string list = "\"" + path + "\"";
    if (!read_change_files(list.c_str())) {
        handle_lock<float> v(setup_copy);
        if (std::memcmp(values.data(), v.get(), 4 * values.size()) != 0 || st->changed != changed ||
            st->strings != strings)
            __builtin_trap(); // a refused file changed the copies
    }
    free_scratch();
    std::remove(path.c_str());
    if (report_counts[10] != 0) __builtin_trap();
    return 0;
}
