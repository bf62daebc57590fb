// Fuzz target: a run file (or a model file) opened for its model part, as the
// run tools and "open the model of a run" do: the information block checked,
// the model part read and whatever is accepted walked and freed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "fuzz/fuzz_files.h"
#include "fuzz/model_walk.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        init_vocabulary();
        set_message_hook([](int, const char*, const char*) { return 1; });
        return true;
    }();
    (void)ready;
    std::string path = fuzz_input_file("run.kdf", data, size);
    if (path.empty()) return 0;
    handle rec = read_binary_model(path.c_str(), 0);
    if (!rec) return 0;
    handle symbols = 0;
    {
        handle_lock<kmf_header> r(rec);
        symbols = kmf_word(*r.get(), kdf_word_symbols);
        auto fh = static_cast<file_handle>(kmf_word(*r.get(), kdf_word_file));
        if (fh >= 0) fh_close(fh);
        free_hblock_if(kmf_word(*r.get(), kdf_word_info));
    }
    fuzz_walk_model(symbols);
    free_model(rec, symbols);
    free_scratch();
    return 0;
}
