// Walks a model that a reader accepted, as the tools would: every equation
// tree, every name and comment. Whatever is accepted must be walkable.
#pragma once

#include <cstdint>

#include "model/model.h"

inline void fuzz_walk_model(handle symbols) {
    model_lock_guard g(symbols, 1);
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
