// Run values for the text tools that follow Livesweep. The re-runs write the
// values of the run Livesweep shows into the value cache only, never into its
// run file, so a tool reading that run's file while Livesweep is on would
// show the run the re-runs stand in for. These read as the run accessors do
// (runs/access.h), and for the shown run during Livesweep take the
// cached values of a number variable in place of the file's. The caller
// holds the model (names are looked up); without it they read the file.
#pragma once

#include <vector>

// As read_run_values (the values and times; the point count).
int live_run_values(const char* name, const char* xname, int run, std::vector<float>& values,
                    std::vector<float>& times);
// As read_run_series.
int live_run_series(const char* name, const char* xname, int run, std::vector<float>& values,
                    std::vector<float>& times);
// As run_value_at_time (null or NA time: the last value; mode > 0
// interpolates, else the nearest; mode >= 0 gives a single value at any time).
int live_value_at_time(const char* name, const char* xname, int run, float* out, const float* time,
                       int mode);

// The value of the series at a time, chosen as run_value_at_time chooses it
// (NA outside the series by more than half its mean spacing). n > 0.
float series_value_at(const float* times, const float* values, int n, const float* time, int mode);
