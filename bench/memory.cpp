// Speed of the memory layer: handle churn, lock pairs, scratch, piece-block
// strings and pools.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"

namespace {

// Allocates and frees handles of mixed sizes, the way records come and go.
void BM_HandleChurn(benchmark::State& state) {
    set_memory_debug(false);
    const auto live = static_cast<std::size_t>(state.range(0));
    std::vector<handle> held(live, 0);
    std::size_t i = 0;
    for (auto _ : state) {
        std::size_t k = (i * 7919) % live;
        free_handle(held[k]);
        held[k] = new_handle(static_cast<std::uint32_t>(16 + (i % 61) * 8));
        ++i;
    }
    for (handle h : held) free_handle(h);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleChurn)->Arg(64)->Arg(4096)->Arg(262144);

void BM_LockUnlock(benchmark::State& state) {
    set_memory_debug(state.range(0) != 0);
    handle h = new_handle(256);
    for (auto _ : state) {
        auto* p = static_cast<char*>(lock_handle(h));
        benchmark::DoNotOptimize(p[0]++);
        unlock_handle(h);
    }
    free_handle(h);
    set_memory_debug(false);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LockUnlock)->Arg(0)->Arg(1);

void BM_ResizeGrow(benchmark::State& state) {
    set_memory_debug(false);
    for (auto _ : state) {
        handle h = new_handle(16);
        for (std::uint32_t n = 32; n <= 65536; n *= 2) resize_handle(h, n);
        free_handle(h);
    }
}
BENCHMARK(BM_ResizeGrow);

// Small scratch pieces, released after every batch as the main loop does.
void BM_ScratchAlloc(benchmark::State& state) {
    const auto batch = state.range(0);
    for (auto _ : state) {
        for (std::int64_t i = 0; i < batch; ++i)
            benchmark::DoNotOptimize(scratch_alloc(static_cast<std::size_t>(8 + (i % 31) * 4)));
        free_scratch();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_ScratchAlloc)->Arg(100)->Arg(10000);

void BM_ScratchPrintf(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scratch_printf("%s[%d] = %g", "Population", i, i * 0.5));
        if (++i % 1000 == 0) free_scratch();
    }
    free_scratch();
}
BENCHMARK(BM_ScratchPrintf);

// Names stored and rewritten in a piece block, as the grid and name lists do.
void BM_CblockStrings(benchmark::State& state) {
    set_memory_debug(false);
    const auto count = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("variable name " + std::to_string(i * 37));
    for (auto _ : state) {
        handle block = new_cblock(0, 0, 0);
        std::vector<std::int32_t> cells;
        cells.reserve(names.size());
        for (const auto& n : names) cells.push_back(cblock_add_string(block, n.c_str(), 0));
        for (int i = 0; i < count; i += 3)
            cells[i] = cblock_set_string(block, cells[i], names[(i * 7) % count].c_str(), 0);
        for (int i = 0; i < count; i += 2) cblock_free(block, cells[i]);
        for (int i = 0; i < count; i += 2) cells[i] = cblock_add_string(block, "re-added", 0);
        free_hblock(block);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CblockStrings)->Arg(1000)->Arg(50000);

void BM_HblockStrings(benchmark::State& state) {
    set_memory_debug(false);
    for (auto _ : state) {
        handle block = new_hblock(0, 0, 0);
        for (int i = 0; i < 10000; ++i) hblock_add_string(block, "a name of some length");
        free_hblock(block);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_HblockStrings);

void BM_PoolAlloc(benchmark::State& state) {
    for (auto _ : state) {
        mem_pool* pool = new_block(0);
        for (int i = 0; i < 10000; ++i)
            benchmark::DoNotOptimize(block_alloc(pool, static_cast<std::size_t>(16 + i % 200), 0));
        free_block(pool);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PoolAlloc);

} // namespace
