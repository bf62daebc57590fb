// Fuzz target: the binary model file reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/model_walk.h"
#include "model/model.h"
#include "model/modelfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        init_vocabulary();
        set_report_stream(std::fopen("/dev/null", "w"));
        return true;
    }();
    (void)ready;
    model_pair m = read_model_bytes(data, size, "fuzz.kmf");
    if (m.symbols) fuzz_walk_model(m.symbols);
    if (m.symbols) free_model(m.header, m.symbols);
    free_scratch();
    return 0;
}
