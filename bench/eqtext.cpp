// The text services on a large model (100 subscripted levels and flows over
// 100 elements): writing every equation, element and slot names, and causes
// trees.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "tests/support/model_builder.h"

namespace {

void make_large_current() {
    static bool made = [] {
        init_vocabulary();
        register_text_writers();
        model_builder b("large");
        add_stock_ring(b);
        b.finish();
        model_pair m = b.release();
        close_model(m.header, m.symbols);
        return true;
    }();
    (void)made;
}

void BM_WriteEveryEquation(benchmark::State& state) {
    make_large_current();
    lock_model(1);
    for (auto _ : state) {
        text_report(512, 70, 0, report_none, 0, 0);
        int n = 0;
        const symbol_id* a = alpha_index(&n);
        for (int i = 0; i < n; ++i)
            for (equation_record* e = first_equation(a[i]); e; e = next_equation(e))
                write_expr(e, 0);
        benchmark::DoNotOptimize(report_lines().size());
        free_scratch();
    }
    unlock_model(1);
}
BENCHMARK(BM_WriteEveryEquation);

void BM_OffsetNames(benchmark::State& state) {
    make_large_current();
    lock_model(0);
    std::int32_t slots = static_cast<std::int32_t>(model_value_slots());
    for (auto _ : state) {
        for (std::int32_t s = 0; s < slots; s += 97) benchmark::DoNotOptimize(offset_name(s));
        free_scratch();
    }
    unlock_model(0);
}
BENCHMARK(BM_OffsetNames);

void BM_CauseTreeDepth5(benchmark::State& state) {
    make_large_current();
    lock_model(1);
    symbol_id s = find_symbol("stock 0");
    for (auto _ : state) {
        clear_var_flag(sf_mark_10);
        tree_node* root = new_tree_node(s);
        sym(s)->flags |= sf_mark_10;
        for (int level = 1; level <= 5; ++level) cause_tree(root, level);
        benchmark::DoNotOptimize(tree_size(root));
        free_scratch();
    }
    unlock_model(1);
}
BENCHMARK(BM_CauseTreeDepth5);

void BM_CauseElementsOfAllElements(benchmark::State& state) {
    make_large_current();
    lock_model(1);
    symbol_id s = find_symbol("flow 0");
    for (auto _ : state) {
        const char** names = nullptr;
        int n = var_element_names(s, &names, 0);
        text_report(512, 0, 0, report_collect, 0, 0);
        clear_cause_element_list();
        for (int i = 0; i < n; ++i) print_var_equation(names[i], 1, 1);
        benchmark::DoNotOptimize(sort_tree_list(cause_element_list(), nullptr));
        text_report(0, 0, 0, report_none, 0, 0);
        free_scratch();
    }
    unlock_model(1);
}
BENCHMARK(BM_CauseElementsOfAllElements);

} // namespace
