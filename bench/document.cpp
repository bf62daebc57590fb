// The Document tool's text of the large model (100 subscripted levels and
// flows over 100 elements) written to a file, every option of the model scope
// on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "tests/support/model_builder.h"
#include "tools/document.h"

namespace {

void BM_DocumentLargeModelToFile(benchmark::State& state) {
    init_vocabulary();
    register_text_writers();
    model_builder b("large");
    add_stock_ring(b);
    b.finish();
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    std::FILE* sink = std::tmpfile();
    set_report_stream(sink);
    document_options o;
    o.scope = 1;
    o.numbering = 1;
    o.users = 1;
    o.cause_comments = 1;
    o.ordering = 2;
    const std::string path = "/tmp/bench_document.txt";
    for (auto _ : state) {
        benchmark::DoNotOptimize(document_model_to_file(path.c_str(), o, 0));
        free_scratch();
    }
    std::remove(path.c_str());
    set_report_stream(nullptr);
    std::fclose(sink);
    close_model(0, 0);
}
BENCHMARK(BM_DocumentLargeModelToFile)->Unit(benchmark::kMillisecond);

} // namespace
