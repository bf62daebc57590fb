// Tool sets: the built-in set read into the palette grid, and a 64 by 128
// tool set file of 4,000 tools of every kind read from disk.
#include "shell/toolset.h"

#include "foundation/report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int no_hook(int kind, const char*, const char*) {
    return kind >= question_yes_no ? 6 : 0;
}

void quiet() {
    set_message_hook(no_hook);
    static std::FILE* null = std::fopen("/dev/null", "w");
    set_report_stream(null);
}

void BM_BuiltInSetIntoThePalette(benchmark::State& state) {
    quiet();
    for (auto _ : state) {
        free_toolset(0);
        benchmark::DoNotOptimize(read_toolset(nullptr, 0));
    }
    free_toolset(0);
}
BENCHMARK(BM_BuiltInSetIntoThePalette)->Unit(benchmark::kMicrosecond);

void BM_LargeToolsetFile(benchmark::State& state) {
    quiet();
    std::string path = (std::filesystem::temp_directory_path() / "kavrel_bench_large.kts").string();
    {
        // Each tool takes the option lines of a built-in tool of its kind.
        const char* kinds[][2] = {
            {"Tree Diagram", "2,0,1,1,1,1,1,1,1,1,0,0,"},
            {"Document", "0,0,0,0,0,1,0,0,1,1,0,1,0,1,0,0,0,0,1,0,75,,"},
            {"Table", "-1,1,1,0,1,1,1,1,1,1,0,0,0,10,12,1"},
            {"Strip Graph", "0,0,0,1,0,1,1,1,1,1,1,0,0,6,2,0,"},
            {"Graph", "16,12,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,,,,0,1,\n\n\n"},
            {"Loops", nullptr},
        };
        std::ofstream f(path);
        f << "1.62\nrows=64,cols=128,=1,=1,=1,=1\n";
        for (int i = 0; i < 4000; ++i) {
            const auto& k = kinds[i % 6];
            f << k[0] << "|Tool " << i << "\n=" << i / 62 << ",=" << (i % 62) * 2
              << ",=-1,=-1,=0,=0,=0,=0,=0,\n";
            if (k[1]) f << k[1] << "\n";
        }
    }
    for (auto _ : state) {
        free_toolset(0);
        if (read_toolset(path.c_str(), 0) != 4000) state.SkipWithError("tools lost");
    }
    free_toolset(0);
    std::filesystem::remove(path);
}
BENCHMARK(BM_LargeToolsetFile)->Unit(benchmark::kMillisecond);

} // namespace
