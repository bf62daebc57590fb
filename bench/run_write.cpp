// Writing a run file against writing the same number of bytes with one
// fwrite: 2,000 saved variables over 1,001 saved times, in the row layout
// (no reordering beyond picking columns) and in the upper-case layout (a
// record per variable with its presence bits).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "model/model.h"
#include "sim/runwrite.h"
#include "tests/support/model_builder.h"

namespace {

constexpr std::size_t slots = 2000, times = 1001;

struct image_fixture {
    model_builder b{"writer"};
    run_image img;
    std::string dir;
    image_fixture() {
        init_vocabulary();
        b.level("S", "1", "0");
        b.finish();
        char tmpl[] = "/tmp/kavrel_run_write_XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        img.symbols = b.symbols();
        img.slot_types.assign(slots, 17);
        img.slot_types[0] = 8;
        img.saved.assign(slots, 1);
        for (std::size_t k = 0; k < times; ++k) img.times.push_back(static_cast<float>(k));
        img.rows.resize(slots * times);
        for (std::size_t k = 0; k < times; ++k)
            for (std::size_t s = 0; s < slots; ++s)
                img.rows[k * slots + s] =
                    s == 0 ? static_cast<float>(k) : static_cast<float>(s * 0.5 + k * 0.25);
        img.constants.assign(slots, 0);
    }
};

image_fixture& fixture() {
    static image_fixture f;
    return f;
}

void write_image(benchmark::State& state, char type) {
    image_fixture& f = fixture();
    f.img.type = type;
    std::string path = f.dir + "/bench.kdf";
    for (auto _ : state) {
        int r = write_run_file(path.c_str(), f.img);
        if (r != 1) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(slots * times * 4));
}

void BM_WriteRowLayout(benchmark::State& state) {
    write_image(state, 'r');
}
BENCHMARK(BM_WriteRowLayout)->Unit(benchmark::kMillisecond);

void BM_WriteRecordLayout(benchmark::State& state) {
    write_image(state, 'R');
}
BENCHMARK(BM_WriteRecordLayout)->Unit(benchmark::kMillisecond);

// The same bytes in one fwrite to a temporary file synced and renamed into
// place, as the file layer commits every write.
void BM_PlainFwrite(benchmark::State& state) {
    image_fixture& f = fixture();
    std::string path = f.dir + "/plain.bin", tmp = path + ".tmp";
    for (auto _ : state) {
        std::FILE* fp = std::fopen(tmp.c_str(), "wb");
        std::fwrite(f.img.rows.data(), 4, f.img.rows.size(), fp);
        std::fflush(fp);
        fsync(fileno(fp));
        std::fclose(fp);
        std::rename(tmp.c_str(), path.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(slots * times * 4));
}
BENCHMARK(BM_PlainFwrite)->Unit(benchmark::kMillisecond);

} // namespace
