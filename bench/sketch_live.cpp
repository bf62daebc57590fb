// The live sketch's repaint after a Livesweep re-run: a view of 200 stocks,
// each showing its behaviour graph of 400 saved times from a loaded run, with
// the value cache reset first (as every re-run resets it) so each iteration
// reads the series again, then the whole view painted into a 1600 x 1000
// window-sized image. The second benchmark paints with the cache kept (a
// repaint without a re-run).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/paths.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "platform/gdi_internal.h"
#include "runs/core/cache.h"
#include "runs/core/runfile.h"
#include "runs/core/select.h"
#include "sketch/behave.h"
#include "sketch/drawsketch.h"
#include "sketch/views.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"
#include "tests/support/view_layout.h"

namespace {

constexpr int stocks = 200, saved = 400;

struct live_fixture {
    std::string dir;
    sketch_state s;
    live_fixture() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_sketch_live";
        static char* argv[] = {name, nullptr};
        static QGuiApplication* app = new QGuiApplication(argc, argv);
        (void)app;
        init_vocabulary();
        char tmpl[] = "/tmp/bench_sketch_live_XXXXXX";
        dir = mkdtemp(tmpl);
        model_builder b("live");
        b.control(0, 100, 0.25f, 0.25f);
        for (int i = 0; i < stocks; ++i) {
            const std::string n = "S" + std::to_string(i);
            b.level(n.c_str(), ("0.01 * " + n).c_str(), std::to_string(100 + i).c_str());
        }
        view_layout v(b, "Stocks");
        for (int i = 0; i < stocks; ++i)
            v.stock(("S" + std::to_string(i)).c_str(), 60 + (i % 20) * 75, 40 + (i / 20) * 90);
        b.finish();
        std::vector<float> times(saved);
        for (int i = 0; i < saved; ++i) times[static_cast<std::size_t>(i)] = i * 0.25f;
        run_builder rb(b.symbols());
        rb.times(times);
        for (int k = 0; k < stocks; ++k) {
            std::vector<float> vals(saved);
            for (int i = 0; i < saved; ++i)
                vals[static_cast<std::size_t>(i)] =
                    static_cast<float>(100 + k + 40 * std::sin(i / (20.0 + k)));
            rb.series(("S" + std::to_string(k)).c_str(), vals);
        }
        rb.write(dir + "/base.kdf");
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir.c_str(), (dir + "/live.kmf").c_str());
        model_dir = dir;
        load_runs(model_rec, 0, "base", 1, 0);
        s.symbols = cur_model_symbols;
        s.header = cur_model_header;
        load_view(s, 0, 0, false, 0, false);
        set_behavior_display(true);
    }
    ~live_fixture() {
        set_behavior_display(false);
        close_model(0, 0);
        model_dir.clear();
        (void)std::system(("rm -rf '" + dir + "'").c_str());
    }
};

live_fixture& fixture() {
    static live_fixture f;
    return f;
}

void paint(benchmark::State& state, bool reset) {
    live_fixture& f = fixture();
    QImage img(1600, 1000, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    const RECT client{0, 0, 1600, 1000};
    reset_value_cache(-1, 1, 1);
    for (auto _ : state) {
        if (reset) reset_value_cache(-1, 1, 1);
        paint_sketch(dc, f.s, client);
        paint_behavior_graphs(dc, f.s);
        benchmark::DoNotOptimize(img.constBits());
    }
    gdi_delete_image_dc(dc);
    state.counters["graphs"] = static_cast<double>(behavior_graph_slots(f.s).size());
}

void BM_LiveSketchRepaintAfterReRun(benchmark::State& state) {
    paint(state, true);
}
BENCHMARK(BM_LiveSketchRepaintAfterReRun)->Unit(benchmark::kMillisecond);

void BM_LiveSketchRepaint(benchmark::State& state) {
    paint(state, false);
}
BENCHMARK(BM_LiveSketchRepaint)->Unit(benchmark::kMillisecond);

} // namespace
