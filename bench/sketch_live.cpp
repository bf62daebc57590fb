// The live sketch's repaint after a Livesweep re-run: a view of 200 stocks,
// each showing its behaviour graph of 400 saved times from a loaded run, with
// the value cache reset first (as every re-run resets it) so each iteration
// reads the series again, then the whole view painted into a 1600 x 1000
// window-sized image. The second benchmark paints with the cache kept (a
// repaint without a re-run).
#include <benchmark/benchmark.h>

#include <QImage>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/errlog.h"
#include "foundation/ini.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "graphs/graphtool.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/varnames.h"
#include "platform/gdi_internal.h"
#include "platform/shellexec.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/menucmd.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/native/native.h"
#include "sim/runname.h"
#include "sim/simdata.h"
#include "sketch/behave.h"
#include "sketch/drawsketch.h"
#include "sketch/sketchwin.h"
#include "sketch/sliders.h"
#include "sketch/views.h"
#include "tests/driver/driver.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"
#include "tests/support/view_layout.h"
#include "tools/output.h"

namespace {

constexpr int stocks = 200, saved = 400;

struct live_fixture {
    std::string dir;
    sketch_state s;
    live_fixture() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        test_driver::start(); // the application the workbench below needs too
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

// ---------------------------------------------------------------------------
// One slider move in Livesweep, through the workbench's queue: a model of
// about 5,000 values per step (200 stocks, their flows, 4,600 auxiliaries and
// the constant the slider moves), a view of the 200 stocks with behaviour
// graphs, the constant's quick slider, and one open line graph of a stock.
// Each iteration presses Right or Left on the sketch (the focused slider
// steps) and runs the queue until it is idle: the re-run, the value cache,
// the sliders, the sketch and the graph repaint. The counters split the time
// into the simulation, the cache (its preparation, the save steps and its
// refresh after the run) and the rest (the sketch's refresh, painting and
// dispatch), per move, in CPU time.
namespace {

// The splits are measured in the thread's CPU time: on a machine shared with
// other work, wall time counts the waits for a processor too.
double cpu_now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct move_split {
    double sim = 0, cache = 0, save = 0, sketch = 0;
    double run_start = 0;
} split;

// The sketch's refresh after a re-run (its sliders and what it invalidates)
// runs inside the cache's refresh: it is timed apart and counted with the
// painting and dispatch.
void (*sketch_refresh)() = nullptr;
bool in_cache_refresh = false;
void timed_sketch_refresh() {
    const double t = cpu_now();
    if (sketch_refresh) sketch_refresh();
    if (in_cache_refresh) split.sketch += cpu_now() - t;
}

double seconds_since(double t) {
    return cpu_now() - t;
}

void timed_refresh(int phase) {
    const double t = cpu_now();
    if (phase != 0) split.sim += seconds_since(split.run_start);
    in_cache_refresh = true;
    shell_livesweep_refresh(phase);
    in_cache_refresh = false;
    split.cache += seconds_since(t);
    if (phase == 0) split.run_start = cpu_now();
}

// A save step is timed on the steady clock: the thread's CPU clock is a
// system call, and one at each of hundreds of saves cost more than the step.
double steady_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
void timed_save(const float* values, std::uint32_t slots, int remaining) {
    const double t = steady_now();
    livesweep_save_values(values, slots, remaining);
    split.save += steady_now() - t;
}

struct workbench_fixture {
    std::string dir;
    workbench_fixture() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        test_driver::start();
        init_vocabulary();
        char tmpl[] = "/tmp/bench_slider_move_XXXXXX";
        dir = mkdtemp(tmpl);
        hinst = handle_from_token<HINSTANCE>(1);
        register_dialog_templates();
        register_menu_templates();
        set_ini_directory(dir.c_str());
        set_log_directories(dir.c_str(), dir.c_str());
        shell_record_only(true);
        set_message_hook([](int, const char*, const char*) { return 1; });
        install_tools_hooks();
        install_graph_hooks();
        install_sketch_hooks();
        install_quick_sliders();
        install_program_hooks();
        register_classes(hinst);
        open_model(0, -1, "", 0);
        create_main_window();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1600, 1000, TRUE);
        layout_frame(main_wnd);
        ask_dataset_overwrite = false;
        test_driver::run_until_idle();
    }
};

workbench_fixture& workbench() {
    static workbench_fixture f;
    return f;
}

// The model with `saves` save steps after the initial one.
std::string write_big_model(const std::string& dir, int saves) {
    model_builder b("sweep");
    b.control(0, static_cast<float>(saves) * 0.25f, 0.25f, 0.25f);
    b.constant("growth", 1);
    for (int i = 0; i < stocks; ++i) {
        const std::string n = std::to_string(i);
        b.level(("S" + n).c_str(), ("F" + n).c_str(), std::to_string(100 + i).c_str());
        b.aux(("F" + n).c_str(), ("0.002 * growth * S" + n).c_str());
        for (int j = 0; j < 23; ++j)
            b.aux(("X" + n + "_" + std::to_string(j)).c_str(),
                  ("S" + n + " * 0.5 + " + std::to_string(j)).c_str());
    }
    view_layout v(b, "Stocks");
    for (int i = 0; i < stocks; ++i)
        v.stock(("S" + std::to_string(i)).c_str(), 60 + (i % 20) * 75, 40 + (i / 20) * 90);
    v.variable("growth", 60, 930);
    const std::string path = dir + "/sweep" + std::to_string(saves) + ".kmf";
    if (!b.finish() || b.write(path.c_str()) != 1) return {};
    return path;
}

// The scalar model of the size of the large published world models that the
// engine's benchmark simulates (150 levels, 300 auxiliaries, 325 constants,
// 30 lookups, 10 smoothing and delay functions; 400 steps of 0.5, saved every
// 1), with a view of its 150 levels and the constant k0.
std::string write_world_model(const std::string& dir) {
    constexpr int levels = 150, lookups = 30, smooths = 10, misc = 25;
    model_builder b("world size");
    b.control(0, 200, 0.5f, 1);
    auto num = [](int i) { return std::to_string(i); };
    for (int i = 0; i < levels; ++i) {
        b.constant(("k" + num(i)).c_str(), 0.02f + 0.0001f * static_cast<float>(i));
        b.constant(("t" + num(i)).c_str(), 50.0f + static_cast<float>(i));
    }
    for (int j = 0; j < misc; ++j) b.constant(("g" + num(j)).c_str(), 3.0f + j);
    for (int j = 0; j < lookups; ++j)
        b.lookup(("tbl" + num(j)).c_str(), {{0, 0.5f + 0.01f * static_cast<float>(j)},
                                            {0.5f, 0.8f},
                                            {1, 1},
                                            {1.5f, 1.15f},
                                            {2, 1.25f},
                                            {3, 1.3f}});
    for (int i = 0; i < levels; ++i) {
        const std::string n = num(i), n1 = num((i + 1) % levels), n2 = num((i + 2) % levels);
        b.level(("L" + n).c_str(), ("f" + n + " - L" + n + " * k" + n + " * x" + n).c_str(),
                ("t" + n + " * 0.8").c_str());
        b.aux(("x" + n).c_str(), ("L" + n + " / t" + n).c_str());
        std::string e;
        if (i < lookups)
            e = "k" + n + " * L" + n1 + " * tbl" + n + "(x" + n + ")";
        else if (i < lookups + smooths)
            e = "k" + n + " * s" + num(i - lookups);
        else if (i % 3 == 0)
            e = "k" + n + " * MIN(L" + n1 + ", t" + n + ")";
        else if (i % 3 == 1)
            e = "k" + n + " * IF THEN ELSE(x" + n + " > 1, L" + n1 + " * 0.9, L" + n1 + ")";
        else
            e = "k" + n + " * (L" + n1 + " + L" + n2 + ") * 0.5 * MAX(1 - x" + n + ", 0.2)";
        b.aux(("f" + n).c_str(), e.c_str());
    }
    const char* fns[4] = {"SMOOTH", "SMOOTH3", "DELAY1", "DELAY3"};
    for (int j = 0; j < smooths; ++j)
        b.aux(("s" + num(j)).c_str(),
              (std::string(fns[j % 4]) + "(f" + num(40 + j) + ", g" + num(j) + ")").c_str());
    view_layout v(b, "Levels");
    for (int i = 0; i < levels; ++i)
        v.stock(("L" + num(i)).c_str(), 60 + (i % 15) * 95, 40 + (i / 15) * 90);
    v.variable("k0", 60, 930);
    const std::string path = dir + "/world.kmf";
    if (!b.finish() || b.write(path.c_str()) != 1) return {};
    return path;
}

// One slider move on the model at path, with a line graph of graphed.
void slider_move(benchmark::State& state, const std::string& path, const char* graphed) {
    if (path.empty() || shell_open_model(1, 0, path.c_str(), 0) != 1) {
        state.SkipWithError("the model could not be made");
        return;
    }
    test_driver::run_until_idle();
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "base");
    if (run_command(rc_simulate, 0, 0, nullptr) != 1) {
        state.SkipWithError("the first run failed");
        return;
    }
    // The line graph of S0.
    lock_model(0);
    workbench_var = {};
    workbench_var.var = find_symbol(graphed);
    unlock_model(0);
    handle tool =
        new_tool(find_tool_row("Graph"), "Graph", graph_tool_setup(0, 0, nullptr, nullptr));
    graph_tool_setup(0, tool, nullptr, nullptr);
    {
        tool_record* r = lock_tool(tool);
        tool_action action = tool_action_of(r->action);
        unlock_tool(tool);
        tool_action_runner(action, tool);
    }
    test_driver::run_until_idle();
    if (!last_graph_record()) {
        state.SkipWithError("the line graph did not open");
        return;
    }
    set_livesweep_refresh_hook(timed_refresh);
    set_livesweep_save_hook(timed_save);
    sketch_refresh = sketch_hooks.refresh;
    sketch_hooks.refresh = timed_sketch_refresh;
    menu_command(cmd_livesweep);
    test_driver::run_until_idle();
    HWND view = current_sketch_view();
    if (livesweep_state != ls_on || !view) {
        state.SkipWithError("Livesweep did not start");
        return;
    }
    SetFocus(view);
    slider_keys(view, -2, false); // the growth slider takes the focus
    set_behavior_display(true);
    test_driver::run_until_idle();
    // The passes' native code is compiled on a worker while the first
    // re-runs run on the flat loop; a drag a few seconds after the model
    // opened runs with it. One move takes the code.
    native_wait_idle();
    test_driver::press_key(VK_RIGHT);
    test_driver::run_until_idle();
    test_driver::press_key(VK_LEFT);
    test_driver::run_until_idle();
    split = {};
    int n = 0;
    double total = 0;
    for (auto _ : state) {
        const double t = cpu_now();
        test_driver::press_key(n++ % 2 ? VK_LEFT : VK_RIGHT);
        test_driver::run_until_idle();
        total += seconds_since(t);
    }
    const double moves =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["sim_ms"] = 1000 * (split.sim - split.save) / moves;
    state.counters["cache_ms"] = 1000 * (split.cache - split.sketch + split.save) / moves;
    state.counters["paint_ms"] = 1000 * (total - split.sim - split.cache + split.sketch) / moves;
    state.counters["values"] = get_header_word(cur_model_symbols, mh_level_slots) +
                               get_header_word(cur_model_symbols, mh_other_slots);
    menu_command(cmd_livesweep);
    test_driver::run_until_idle();
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    install_cache_livesweep_hook();
    sketch_hooks.refresh = sketch_refresh;
    close_framed_tool_windows(1);
    free_tool(tool);
    workbench_var = {};
}
void BM_LivesweepSliderMove(benchmark::State& state) {
    workbench_fixture& f = workbench();
    slider_move(state, write_big_model(f.dir, static_cast<int>(state.range(0))), "S0");
}
BENCHMARK(BM_LivesweepSliderMove)->Arg(100)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LivesweepSliderMoveWorldSize(benchmark::State& state) {
    workbench_fixture& f = workbench();
    slider_move(state, write_world_model(f.dir), "L0");
}
BENCHMARK(BM_LivesweepSliderMoveWorldSize)->Unit(benchmark::kMillisecond);

} // namespace
