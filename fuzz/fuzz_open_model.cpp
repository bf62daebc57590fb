// Fuzz target: opening a model file the way the user does: the bytes read
// from disk, the settings text stored in the model parsed (flags, notes,
// references, the graph-set marker and what follows it), then the model made
// the current one and closed again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"

namespace {

// Reads the embedded graph set to its end, as the graph layer would.
int take_graph_set(const char* text, int embedded) {
    std::size_t n = embedded ? std::strlen(text) : 0;
    return n > 9 ? 1 : 0;
}

int give_password(const char*, char* out, std::size_t size) {
    std::snprintf(out, size, "%s", "pw");
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        init_vocabulary();
        set_message_hook([](int, const char*, const char*) { return 1; });
        set_graph_set_hook(take_graph_set);
        set_password_hook(give_password);
        return true;
    }();
    (void)ready;
    std::string path = fuzz_input_file("model.kmf", data, size);
    if (path.empty()) return 0;
    if (open_model(1, 0, path.c_str(), 0)) {
        // The settings as they would be saved again.
        write_model_settings(cur_model_header, cur_model_symbols, -1, nullptr);
    }
    close_model(0, 0);
    close_package();
    free_scratch();
    return 0;
}
