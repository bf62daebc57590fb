// Fuzz target: the binary model file reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/memory.h"
#include "foundation/report.h"
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
    if (m.symbols) {
        // Whatever is accepted must be walkable.
        model_lock_guard g(m.symbols, 1);
        int n = 0;
        const symbol_id* a = alpha_index(&n);
        for (int i = 0; i < n; ++i) {
            for (std::uint32_t c = sym(a[i])->eqn; c; c = eq_at(c)->next)
                for (expr_node* k = node_skip(eq_nodes(eq_at(c))); k; k = node_next(k))
                    (void)node_child(k);
            (void)sym_name(a[i]);
            (void)sym_comment(a[i]);
        }
    }
    if (m.symbols) free_model(m.header, m.symbols);
    free_scratch();
    return 0;
}
