// Expands arbitrary texts as value references against a model with one
// loaded run (numbers, subscripts, a string, a lookup) and a report's VAR
// texts taken from the input's first line: no crash, no read outside a value
// list, and a text without a backslash comes back as it is.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "graphs/sets/valuerefs.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "runs/select.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

namespace {

int quiet(int kind, const char*, const char* text) {
    if (kind == 10) {
        std::fprintf(stderr, "internal error: %s\n", text ? text : "");
        std::abort();
    }
    return 0;
}

bool ready() {
    static bool done = [] {
        init_vocabulary();
        set_report_stream(std::fopen("/dev/null", "w"));
        set_message_hook(quiet);
        model_builder b("refs");
        b.control(0, 4, 1, 1);
        b.range("region", {"north", "south"});
        b.constant("Switch", 1);
        b.constant("start[region]", 4);
        b.level("Stock", "inflow", "10");
        b.aux("inflow", "Switch * Stock / 10");
        b.lookup("Effect", {{0, 0}, {1, 2}});
        b.string_var("Label", "fuzz");
        if (!b.finish()) return false;
        const std::string dir = fuzz_temp_dir();
        model_dir = dir + "/";
        {
            run_builder rb(b.symbols());
            rb.times({0, 1, 2, 3, 4})
                .series("Stock", {10, 11, 12.1f, 13.3f, 14.6f})
                .series("inflow", {1, 1.1f, 1.2f, 1.3f, 1.5f})
                .constant("Switch", 1)
                .constant("start[north]", 4)
                .constant("start[south]", 4)
                .string_value("Label", "fuzz");
            if (!rb.write(dir + "/base.kdf")) return false;
        }
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir.c_str(), (dir + "/refs.kmf").c_str());
        return model_rec && load_runs(model_rec, 0, "base", 1, 0) == 1;
    }();
    return done;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ready()) std::abort();
    std::string input(reinterpret_cast<const char*>(data), size);
    input.erase(std::find(input.begin(), input.end(), '\0'), input.end());
    const std::size_t nl = input.find('\n');
    std::vector<std::string> vars;
    if (nl != std::string::npos) {
        std::string head = input.substr(0, nl);
        std::size_t at = 0;
        while (at <= head.size() && vars.size() < 8) {
            std::size_t bar = head.find('|', at);
            if (bar == std::string::npos) bar = head.size();
            vars.push_back(head.substr(at, bar - at));
            at = bar + 1;
        }
        input.erase(0, nl + 1);
    }
    int taken = -1;
    (void)expand_value_refs(input.c_str(), &taken, &vars, 0);
    if (taken < 0) std::abort();
    if (!std::strchr(input.c_str(), '\\') && expand_message_refs(input.c_str()) != input.c_str())
        std::abort();
    release_scratch_if_idle();
    return 0;
}
