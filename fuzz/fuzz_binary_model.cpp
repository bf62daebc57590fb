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
    {
        // Whatever is accepted must be walkable.
        model_lock_guard g(symbols, 1);
        int n = 0;
        const symbol_id* a = alpha_index(&n);
        for (int i = 0; i < n; ++i) {
            for (std::uint32_t c = sym(a[i])->eqn; c; c = eq_at(c)->next)
                for (expr_node* k = node_skip(eq_nodes(eq_at(c))); k; k = node_next(k))
                    (void)node_child(k);
            (void)sym_name(a[i]);
        }
    }
    free_model(rec, symbols);
    free_scratch();
    return 0;
}
