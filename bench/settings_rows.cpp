// Settings rows: every row, the custom colours and a window position written
// to the settings file and read back; and the history window opened on a
// 10 MB error log (read, split into lines and shown).
#include "shell/settings_rows.h"
#include "foundation/errlog.h"
#include "foundation/ini.h"
#include "platform/win.h"
#include "shell/history.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string bench_dir() {
    static std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / "kavrel_bench_settings").string();
        std::filesystem::create_directories(d);
        set_ini_directory(d.c_str());
        set_log_directories(d.c_str(), d.c_str());
        return d;
    }();
    return dir;
}

void BM_SettingsRowsWriteAndReadBack(benchmark::State& state) {
    bench_dir();
    read_ini_file(nullptr, nullptr, 1);
    opt_block o;
    o.print_comment = "Printed for the quarterly review";
    o.err_dim[2] = 640;
    std::uint8_t flags = 5;
    for (auto _ : state) {
        put_settings_rows(o, flags);
        put_custom_colours(o);
        ini_set("Err History", window_place_text({1, 10, 20, 300, 200}).c_str());
        write_ini_file(1);
        read_ini_file(nullptr, nullptr, 1);
        opt_block back;
        std::uint8_t back_flags = 0;
        read_custom_colours(back);
        read_settings(back, back_flags);
        window_place p;
        parse_window_place(ini_value("Err History"), &p);
        benchmark::DoNotOptimize(back.err_dim[2] + p.w);
    }
    write_ini_file(0);
}
BENCHMARK(BM_SettingsRowsWriteAndReadBack)->Unit(benchmark::kMillisecond);

void BM_HistoryWindowOfA10MBLog(benchmark::State& state) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform_ensure_application();
    bench_dir();
    error_log(2);
    error_log(0);
    {
        std::ofstream out(error_log_path(), std::ios::binary | std::ios::trunc);
        std::string line = "Caution: the model's units do not balance in the equation of "
                           "population growth rate (line ";
        std::size_t written = 0;
        for (int i = 0; written < 10u * 1024 * 1024; ++i) {
            std::string l = line + std::to_string(i) + ")\n";
            out << l;
            written += l.size();
        }
    }
    for (auto _ : state) {
        history_window(1, 0, 0, 600, 400);
        benchmark::DoNotOptimize(history_lines().size());
        state.PauseTiming();
        DestroyWindow(history_hwnd());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HistoryWindowOfA10MBLog)->Unit(benchmark::kMillisecond);

} // namespace
