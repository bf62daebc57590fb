// Loading and selecting runs.
#include "runs/select.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "runs/runfile.h"
#include "sim/runname.h"

std::uint8_t new_run_place = 1;
const char* selected_run_names[16] = {};
char selected_run_types[16] = {};

namespace {

runs_changed_fn g_changed = nullptr;
std::vector<model_context*> g_contexts;

bool referenced_elsewhere(int run, std::uint16_t serial) {
    for (model_context* c : g_contexts) {
        if (!c || c == model_rec) continue;
        int n = std::clamp(c->run_count, 0, max_selected_runs);
        for (int k = 0; k < n; ++k)
            if (c->runs[k].run == run && c->runs[k].serial == serial) return true;
    }
    return false;
}

std::uint16_t record_serial(int run) {
    run_lock l(run);
    return l ? l->serial : 0;
}

// Unloads a run that left a list, unless another list still refers to it.
void release_run(int run, std::uint16_t serial) {
    if (run < 0 || record_serial(run) != serial) return;
    if (run_is_referenced(run) || referenced_elsewhere(run, serial)) return;
    unload_run(run);
}

void remove_entry(model_context* ctx, int e) {
    ctx_set_text(ctx, ctx->runs[e].name, "");
    for (int k = e; k + 1 < ctx->run_count; ++k) ctx->runs[k] = ctx->runs[k + 1];
    --ctx->run_count;
    ctx->runs[ctx->run_count] = selected_run{};
    // An active entry leaves the active part one shorter; the count is
    // bounded by the list after that (bounding it first took an active run
    // off twice when every run was active).
    if (e < ctx->active_count) --ctx->active_count;
    ctx->active_count = std::clamp(ctx->active_count, 0, ctx->run_count);
}

int find_entry(const model_context* ctx, const char* name) {
    int n = std::clamp(ctx->run_count, 0, max_selected_runs);
    for (int k = 0; k < n; ++k)
        if (name_cmp(ctx_text(ctx, ctx->runs[k].name), name) == 0) return k;
    return -1;
}

void move_entry(model_context* ctx, int from, int to) {
    if (from == to) return;
    selected_run s = ctx->runs[from];
    if (from < to)
        for (int k = from; k < to; ++k) ctx->runs[k] = ctx->runs[k + 1];
    else
        for (int k = from; k > to; --k) ctx->runs[k] = ctx->runs[k - 1];
    ctx->runs[to] = s;
}

void clamp_graph_range(model_context* ctx) {
    double fs = ctx->full_start, fe = ctx->full_end;
    if (ctx->end > fe || ctx->end <= fs) ctx->end = fe;
    if (ctx->special > fe || ctx->special <= fs) ctx->special = fe;
    if (ctx->start < fs || ctx->start >= fe) ctx->start = fs;
}

void changed() {
    if (g_changed) g_changed();
}

} // namespace

void set_runs_changed_hook(runs_changed_fn fn) {
    g_changed = fn;
}

void register_run_context(model_context* ctx) {
    if (ctx && std::find(g_contexts.begin(), g_contexts.end(), ctx) == g_contexts.end())
        g_contexts.push_back(ctx);
    set_run_reference_hook(referenced_elsewhere);
}
void unregister_run_context(model_context* ctx) {
    g_contexts.erase(std::remove(g_contexts.begin(), g_contexts.end(), ctx), g_contexts.end());
}

void recompute_full_range(model_context* ctx) {
    int n = std::clamp(ctx->run_count, 0, max_selected_runs);
    bool any = false;
    float fs = 0, fe = 0;
    for (int k = 0; k < n; ++k) {
        const selected_run& s = ctx->runs[k];
        if (!(s.last > s.first)) continue;
        if (!any || s.first < fs) fs = s.first;
        if (!any || s.last > fe) fe = s.last;
        any = true;
    }
    if (!any) {
        ctx->full_start = 0;
        ctx->full_end = 100;
        ctx->full_step = 1;
        ctx->made_up_range = 1;
        return;
    }
    ctx->full_start = fs;
    ctx->full_end = fe;
    ctx->full_step = ctx->runs[0].step > 0 ? ctx->runs[0].step : 1.0f;
    ctx->made_up_range = 0;
}

namespace {

// The run's name: the file name made relative to the model's directory,
// without its extension; the file: the full path with the run extension.
void run_name_and_file(model_context* ctx, const std::string& given, std::string& file,
                       std::string& run_name) {
    const char* dir = ctx->directory ? ctx_text(ctx, ctx->directory) : nullptr;
    if (dir && !*dir) dir = nullptr;
    file = full_path(dir, set_extension(given.c_str(), fk_run, 1));
    run_name = strip_model_dir(dir, file.c_str());
    if (run_name.size() > 4 && name_cmp(run_name.c_str() + run_name.size() - 4, ".kdf") == 0)
        run_name.resize(run_name.size() - 4);
}

// Opens the run file (a fresh copy when the run is loaded already) and checks
// that it holds values of a known type; -1, said unless quiet, when not.
int open_usable_run(const std::string& file, const std::string& run_name, const std::string& given,
                    bool fresh, int quiet) {
    const int run = fresh ? kdf_open_fresh(file.c_str()) : kdf_open(file.c_str());
    if (run < 0) {
        if (!quiet)
            report(8, "Unable to load\nRun: %s\nFrom file: %s", run_name.c_str(), file.c_str());
        return -1;
    }
    bool usable = true;
    if (run_time_count(run) == 0) {
        if (!quiet) report(8, "No values in run %s - unloaded", run_name.c_str());
        usable = false;
    } else if (const char type = run_type(run); !is_run_type_letter(type)) {
        if (!quiet) report(8, "Unknown kdf type %c in file %s", type, given.c_str());
        usable = false;
    }
    if (!usable) {
        release_run(run, record_serial(run));
        return -1;
    }
    return run;
}

// The loading messages: the names, the run's origin and information, and its
// payoff.
void report_loading(int run, char type, const std::string& given, const std::string& run_name) {
    loaded_run* rec = lock_rh(run);
    std::string origin = rec ? std::string(rec->origin, strnlen(rec->origin, 76)) : "";
    float payoff = rec ? rec->payoff : 0;
    if (rec) unlock_rh();
    report(0, "Loading %s as %s.  Origin is ..", given.c_str(), run_name.c_str());
    report(0, "%s", origin.c_str());
    std::string info = run_info_text(run);
    if (!info.empty()) report(1, "%s", info.c_str());
    if (type != 'A' && payoff != 0) report(0, "Payoff = %g", static_cast<double>(payoff));
}

// Puts the run into the list, in place of its old entry (old >= 0) or where
// position asks (1 and up: first; -2: last; else at the new-run place);
// returns its place.
int place_entry(model_context* ctx, int old, int position, int run, const std::string& run_name) {
    int place;
    if (old >= 0) {
        selected_run prev = ctx->runs[old];
        remove_entry(ctx, old);
        release_run(prev.run, prev.serial);
        place = position >= 1 ? 0 : old;
    } else if (position >= 1) {
        place = 0;
    } else if (position != -2 && new_run_place > 0 && ctx->run_count >= new_run_place) {
        place = new_run_place - 1;
    } else {
        place = ctx->run_count;
    }
    place = std::clamp(place, 0, ctx->run_count);
    // The caller refuses a run past the limit or took the old entry out: the
    // shift below writes one entry past the last.
    assert(ctx->run_count < max_selected_runs);
    for (int k = ctx->run_count; k > place; --k) ctx->runs[k] = ctx->runs[k - 1];
    ++ctx->run_count;
    ctx->active_count = 0;
    selected_run& s = ctx->runs[place];
    s = selected_run{};
    s.run = static_cast<std::int16_t>(run);
    s.serial = record_serial(run);
    s.name = ctx_set_text(ctx, 0, run_name.c_str());
    return place;
}

// The times a run covers: a simulation's first and last saved time and its
// SAVEPER; an activity run's span over the model's time bases. A run with no
// span gets 0 to 100 (made_up_range says so); a step not saved is the span
// over the points.
void run_time_span(model_context* ctx, int run, char type, const std::string& given, int quiet,
                   selected_run& s) {
    float first = 0, last = 0, step = 0;
    if (type != 'A') {
        std::vector<float> v, t;
        int n = read_run_series("Time", "Time", run, v, t);
        if (n > 0) {
            first = v.front();
            last = v.back();
        }
        float saveper = NA;
        if (run_value_at_time("SAVEPER", "Time", run, &saveper, nullptr, 0) && !is_na(saveper) &&
            saveper > 0)
            step = saveper;
    } else {
        char** bases = nullptr;
        int nb = run_time_bases(run, &bases);
        bool any = false;
        for (int k = 0; k < nb; ++k) {
            symbol_id id = cur_model_symbols ? find_symbol_in(cur_model_symbols, bases[k]) : 0;
            symbol_record r = id ? get_symbol(cur_model_symbols, id) : symbol_record{};
            if (!id || r.type != st_time_base) {
                if (!quiet)
                    report(3, "Time base %s in %s is not in the model", bases[k], given.c_str());
                continue;
            }
            std::vector<float> v, t;
            if (!expand_act(bases[k], bases[k], run, v, t)) continue;
            float scale = as_float(r.min), offset = as_float(r.elems);
            if (scale == 0) continue;
            for (float x : v) {
                float tt = (x - offset) / scale;
                if (!any || tt < first) first = tt;
                if (!any || tt > last) last = tt;
                any = true;
            }
        }
    }
    if (!(last > first)) {
        first = 0;
        last = 100;
        ctx->made_up_range = 1;
    }
    if (!(step > 0)) {
        int pts = run_time_count(run);
        step = pts >= 2 && last > first ? (last - first) / static_cast<float>(pts - 1) : 1.0f;
    }
    s.first = first;
    s.last = last;
    s.step = step;
}

// The context's time range after a run was loaded: the first run sets it;
// on the current model a later run widens it (the special time follows an
// end it stood at).
void take_run_range(model_context* ctx, int position, float first, float last) {
    if (ctx != model_rec) {
        recompute_full_range(ctx);
        if (ctx->run_count == 1 && (position != 0 || !(ctx->start > ctx->end))) {
            ctx->start = ctx->full_start;
            ctx->end = ctx->special = ctx->full_end;
            if (ctx->made_up_range) ctx->special = ctx->start;
        }
        return;
    }
    set_runs1(0, nullptr, 0);
    if (ctx->run_count == 1) {
        if (!(position == 0 && ctx->end < ctx->start)) {
            ctx->start = ctx->full_start;
            ctx->end = ctx->special = ctx->full_end;
            if (ctx->made_up_range) ctx->special = ctx->start;
        }
    } else {
        if (first < ctx->start) ctx->start = first;
        if (last > ctx->end) {
            bool at_end = ctx->special == ctx->end;
            ctx->end = last;
            if (at_end) ctx->special = ctx->made_up_range ? ctx->start : ctx->end;
        }
    }
    changed();
}

} // namespace

int load_runs(model_context* ctx, int position, const char* name, int quiet, int livesweep) {
    if (!ctx || !name) return 0;
    ctx->made_up_range = 0;
    std::string given(name);
    while (!given.empty() && std::strchr(" \t\r\n", given.back())) given.pop_back();
    if (given.empty()) return 0;
    std::string file, run_name;
    run_name_and_file(ctx, given, file, run_name);

    int old = find_entry(ctx, run_name.c_str());
    if (old >= 0 && position == -1) return 0;
    if (old < 0 && ctx->run_count >= max_selected_runs) {
        if (!quiet) report(8, "Can load at most %d runs at one time", max_selected_runs);
        return 0;
    }
    // The new copy first; the old entry stays until this worked.
    const int run = open_usable_run(file, run_name, given, old >= 0, quiet);
    if (run < 0) {
        reset_value_cache(-1, 0, 0);
        return 0;
    }
    const char type = run_type(run);
    if (!quiet) report_loading(run, type, given, run_name);

    const int place = place_entry(ctx, old, position, run, run_name);
    selected_run& s = ctx->runs[place];
    run_time_span(ctx, run, type, given, quiet, s);
    take_run_range(ctx, position, s.first, s.last);
    // The cache follows the list, except for the shown run of a Livesweep
    // re-run, whose arrays the re-run filled.
    if (!cache_livesweep() || !livesweep) {
        reset_value_cache(-1, 0, 0);
    } else if (place != shown_run_slot()) {
        reset_value_cache(place, 0, 0);
        changed();
    }
    return 1;
}

int set_runs1(int mode, const char* const* names, int n) {
    if (!model_rec || (mode != 0 && (!names || n <= 0))) return 0;
    model_context* ctx = model_rec;
    if (loaded_run_count() == 0) {
        if (mode == 10 || mode == -10 || !names) return 0;
        report(10, "set_runs1");
        return 0;
    }
    ctx->run_count = std::clamp(ctx->run_count, 0, max_selected_runs);
    if (mode > 0) {
        for (int k = 0; k < n; ++k) {
            int e = find_entry(ctx, names[k]);
            if (e < 0) {
                if (mode > 2) return 0;
                report(10, "Lost the run %s", names[k]);
                continue;
            }
            if (mode == 2) {
                if (e >= ctx->active_count) {
                    move_entry(ctx, e, ctx->active_count);
                    ++ctx->active_count;
                } else {
                    move_entry(ctx, e, ctx->active_count - 1);
                    --ctx->active_count;
                }
            } else {
                move_entry(ctx, e, std::min(k, ctx->run_count - 1));
            }
        }
        if (mode == 1) ctx->active_count = std::min(n, ctx->run_count);
    } else if (mode < 0) {
        for (int k = 0; k < n; ++k) {
            int e = find_entry(ctx, names[k]);
            if (e < 0) {
                if (mode > -5) report(10, "Lost the run %s", names[k]);
                continue;
            }
            selected_run prev = ctx->runs[e];
            remove_entry(ctx, e);
            release_run(prev.run, prev.serial);
        }
        if (mode <= -5) {
            reset_value_cache(-1, 0, 0);
            return 1;
        }
    }
    if (mode > 0) {
        if (ctx->run_count > 0) ctx->full_step = ctx->runs[0].step;
    } else {
        recompute_full_range(ctx);
    }
    clamp_graph_range(ctx);
    changed();
    if (names) reset_value_cache(-1, 0, 0);
    return 1;
}

int loaded_run_names(int quiet) {
    int n = model_rec ? std::clamp(model_rec->run_count, 0, max_selected_runs) : 0;
    for (int k = 0; k < 16; ++k) {
        selected_run_names[k] = nullptr;
        selected_run_types[k] = 0;
    }
    if (n == 0) {
        if (!quiet) report(7, "No runs are loaded. Please load runs");
        return 0;
    }
    for (int k = 0; k < n; ++k) {
        selected_run_names[k] =
            scratch_strdup(strip_model_dir(nullptr, ctx_text(model_rec, model_rec->runs[k].name)));
        selected_run_types[k] = run_type(model_rec->runs[k].run);
    }
    return n;
}
