// Fuzz target: the changes-file reader. Any text is either applied or
// refused with a message; nothing may crash, and a refused text changes
// nothing in the setup copies.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/changes_model.h"
#include "model/model.h"
#include "sim/changes.h"
#include "sim/setup.h"

namespace {

bool ready() {
    static bool done = [] {
        init_vocabulary();
        set_report_stream(std::fopen("/dev/null", "w"));
        return open_changes_model();
    }();
    return done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ready()) return 0;
    reset_report_counts();
    std::string text(reinterpret_cast<const char*>(data), size);
    for (char& c : text)
        if (c == 0) c = ' ';
    setup_state* st = setup_copies();
    std::vector<std::uint8_t> changed = st->changed;
    std::vector<float> values(changed.size());
    {
        handle_lock<float> v(setup_copy);
        std::memcpy(values.data(), v.get(), 4 * values.size());
    }
    if (!read_changes_text(text.c_str(), "fuzz.cin")) {
        handle_lock<float> v(setup_copy);
        if (std::memcmp(values.data(), v.get(), 4 * values.size()) != 0 || st->changed != changed)
            __builtin_trap(); // a refused text changed the copies
    }
    free_scratch();
    if (report_counts[10] != 0) __builtin_trap(); // an internal error is a finding
    return 0;
}
