// The Strip Graph tool: the workbench variable (with its causes, its uses,
// or every variable of the model) as narrow strips stacked in a graphics
// window sharing one horizontal axis, a line per selected run, over time or
// as autocorrelation or power spectrum; constants listed as text below.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>
#include <vector>

struct strip_options {
    font_spec font, small_font, smallest_font;
    std::int32_t strips_per_window, max_windows, strip_width, strip_height;
    float max_lag;
    std::uint8_t as_points, var_choice, eq_flag_a, eq_flag_b;
    std::int8_t strip_kind;
    std::uint8_t show_units, remove_mean;
    std::uint8_t tree_kinds[9];
};
static_assert(sizeof(strip_options) == 156);

struct strip_plot {
    std::string name, units;
    double low = 0, high = 100;
    std::vector<std::vector<std::int16_t>> xs, ys; // per run
    std::int16_t zero_line = 0;
    // Its own value division count (0: the window's), for round steps.
    int divisions = 0;
    // Livesweep: per run the value slot + 1 of the element (0 none).
    std::vector<std::uint32_t> live_slots;
};

struct strip_constant {
    std::string name, units;
    std::vector<float> values; // per run, NA none
};

struct strip_window {
    std::string title, x_title, x_var_name = "Time";
    font_spec fonts[3]{};
    std::uint8_t font_choice = 0;
    std::vector<std::string> run_labels;
    double x_low = 0, x_high = 1;
    int value_divisions = 5, axis_divisions = 10;
    int strip_width_mm = 60, strip_height_mm = 25;
    int kind = 0;
    std::uint8_t as_points = 0, show_units = 0;
    std::vector<strip_plot> strips;
    std::vector<strip_constant> constants;
    // What the autocorrelation and spectrum were worked out from, for their
    // Livesweep updates: the time range, each run's save interval, the
    // largest lag and whether the mean was removed.
    double t0 = 0, t1 = 0, max_lag = 0;
    std::vector<double> dts;
    bool remove_mean = false;
    // Per run position the loaded run it shows (-1 none), and the run the
    // strips' live slots were found for (-1 none): when Livesweep shows
    // another, they are found again, so a window opened before Livesweep
    // started follows it too.
    std::vector<int> runs;
    int live_found_for = -1;
};

// A label of more than 50 characters listed in 50: its first and third
// characters, "...", and its last 45.
std::string shorten_strip_label(const std::string& label);
// The constants one window lists at a height: 5/3 of the height over the
// lines each takes, at least 1.
int constants_per_window(int height, int runs, int line_height);

// The points of one run's strip: kind 0 the series inside [t0, t1]; 2 the
// autocorrelation up to max_lag at x = lag x dt; 1 the power spectrum, half
// its transform, at frequencies up to points / (2 (t1 - t0)) scaled by
// first_dt / dt (a span of no length taken as the series' own). x and y get
// the points; the axis top for this run goes to *top.
void strip_analysis(int kind, const std::vector<float>& times, const std::vector<float>& values,
                    double t0, double t1, double dt, double first_dt, double max_lag,
                    bool remove_mean, std::vector<float>& x, std::vector<float>& y, double* top);

// Fixes a strip's value range from every run's points (or fixed_low to
// fixed_high when that range is given and not empty) and maps them.
void map_strip(strip_plot& p, const strip_window& w, const std::vector<std::vector<float>>& xs,
               const std::vector<std::vector<float>>& ys, double fixed_low = 0,
               double fixed_high = 0);

int strip_tool_setup(int mode, handle tool, std::string* out, const char* text);
void strip_tool_run(handle tool);
strip_window* strip_window_of(handle record);
const std::vector<handle>& last_strip_records();
handle show_strip_window(strip_window w);
// Live-update callback: while Livesweep is on, the strips with live slots
// mapped again from the run value cache (an autocorrelation or spectrum
// worked out again from it first); the window is invalidated.
void strip_live_update(handle record);
// Before a Livesweep re-run: the strips of the run it shows are found (also
// in a window opened before Livesweep started) and their series asked of the
// value cache, so the re-run fills them. Other records: nothing.
void strip_prepare_live(handle record);
