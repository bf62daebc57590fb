// Value references: the parts of a reference, the run and time it names, and
// the text its value gives.
#include "graphs/sets/valuerefs.h"

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "model/context.h"
#include "model/model.h"
#include "model/timebase.h"
#include "model/varnames.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "sim/simdata.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct ref_parts {
    std::string name, along, run, time, format;
    std::vector<std::string> choices;
    bool has_run = false, has_time = false, has_format = false, has_along = false;
};

std::string trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

ref_parts split_spec(const std::string& spec) {
    ref_parts r;
    char part = 0;
    std::string cur;
    auto flush = [&] {
        switch (part) {
        case 0:
            r.name = trim(cur);
            break;
        case '#':
            r.along = trim(cur);
            r.has_along = true;
            break;
        case '&':
            r.run = trim(cur);
            r.has_run = true;
            break;
        case '@':
            r.time = trim(cur);
            r.has_time = true;
            break;
        case '%':
            r.format = cur;
            r.has_format = true;
            break;
        case '?':
            r.choices.push_back(cur);
            break;
        }
        cur.clear();
    };
    for (char c : spec) {
        if (c == '#' || c == '&' || c == '@' || c == '%' || c == '?') {
            flush();
            part = c;
        } else {
            cur += c;
        }
    }
    flush();
    return r;
}

// The variable part of an element name ("Stock" of "Stock[north]").
std::string base_name(const char* name) {
    std::string base = name ? name : "";
    const std::size_t bracket = base.find('[');
    if (bracket != std::string::npos) base.resize(bracket);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return base;
}

} // namespace

bool run_holds_variable(const char* name, int run) {
    if (run < 0 || !name) return false;
    if (run_var_type(name, run) != 0) return true;
    const std::string base = base_name(name);
    return !base.empty() && run_var_type(base.c_str(), run) != 0;
}

std::string missing_in_run_text(const char* name, int run) {
    const char* shown = run >= 0 ? run_display_name(run) : nullptr;
    const std::string run_name = shown ? shown : "";
    const std::string base = base_name(name);
    const bool ours = !base.empty() && find_var_name(base.c_str(), nullptr, 1) != 0;
    if (ours)
        return "Run " + run_name + " does not hold " + std::string(name ? name : "") +
               ": it is a run of another model (or of an older version of this one)";
    return "No variable " + std::string(name ? name : "") + " in run " + run_name;
}

int first_run_holding(const char* name) {
    if (!model_rec || model_rec->run_count <= 0) return -1;
    for (int k = 0; k < model_rec->run_count && k < max_selected_runs; ++k)
        if (run_holds_variable(name, model_rec->runs[k].run)) return model_rec->runs[k].run;
    return model_rec->runs[0].run;
}

namespace {

// The loaded-run index a reference names; -1 none. sim: the running simulation.
int ref_run(const ref_parts& r, bool& sim) {
    sim = false;
    if (!r.has_run || r.run.empty()) {
        if (sim_phase >= phase_initialising && value_array) {
            sim = true;
            return -1;
        }
        // No run named: the newest run that holds the variable.
        if (!r.name.empty()) return first_run_holding(r.name.c_str());
        if (model_rec && model_rec->run_count > 0) return model_rec->runs[0].run;
        return -1;
    }
    if (r.run[0] == '*') {
        const int n = r.run.size() > 1 ? r.run[1] - '0' : 0;
        if (n < 1 || n > 9 || !model_rec || n > model_rec->run_count) return -1;
        return model_rec->runs[n - 1].run;
    }
    // A run not loaded is opened by its name (and stays loaded).
    const int loaded = find_run(r.run.c_str());
    return loaded >= 0 ? loaded : kdf_open(r.run.c_str());
}

double ref_time(const ref_parts& r) {
    if (r.has_time) {
        std::string t = r.time;
        for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        double chosen = NA;
        if (t == "SPECIAL")
            chosen = model_rec ? model_rec->special : 0;
        else if (t == "START")
            chosen = model_rec ? model_rec->start : 0;
        else if (t == "END")
            chosen = model_rec ? model_rec->end : 0;
        else {
            double v = 0;
            if (std::sscanf(r.time.c_str(), "%lg", &v) == 1) return v; // as given
        }
        if (!is_na(chosen) || t == "SPECIAL" || t == "START" || t == "END") {
            double v = chosen;
            time_basis_label(chosen, &v, 0, nullptr, 0);
            return v;
        }
    }
    double chosen = model_rec ? model_rec->special : 0;
    if ((game_state != 0 || sim_phase >= phase_saving) && value_array) chosen = value_array[0];
    double v = chosen;
    if (model_rec) time_basis_label(chosen, &v, 0, nullptr, 0);
    return v;
}

std::string format_value(const ref_parts& r, double v) {
    if (r.has_format && !r.format.empty()) return format_number_fmt(r.format.c_str(), 2, v);
    return format_number(v, 0, nullptr);
}

std::string choose(const ref_parts& r, double v) {
    for (const std::string& c : r.choices) {
        std::size_t eq = c.find('=');
        if (eq == std::string::npos) continue;
        double want = 0;
        if (std::sscanf(c.c_str(), "%lg", &want) != 1) continue;
        const double lo = want >= 0 ? 0.995 * want : 1.005 * want;
        const double hi = want >= 0 ? 1.005 * want : 0.995 * want;
        if (v == want || (v > lo && v < hi)) return c.substr(eq + 1);
    }
    return format_value(r, v);
}

std::string ref_value(const ref_parts& r) {
    bool sim = false;
    const int run = ref_run(r, sim);
    if (sim) {
        std::int32_t slot = -1;
        const int type = r.name.empty() ? 0 : find_var_name(r.name.c_str(), &slot, 1);
        if (type >= 1 && type <= 24 && slot >= 0 &&
            static_cast<std::uint32_t>(slot) < value_slot_count)
            return choose(r, value_array[slot]);
        return "-error-";
    }
    if (run < 0) return "--";
    if (r.name.empty()) {
        const char* shown = run_display_name(run);
        return shown ? shown : "";
    }
    const float at = static_cast<float>(ref_time(r));
    float value = NA;
    const char* along = r.has_along && !r.along.empty() ? r.along.c_str() : nullptr;
    if (run_value_at_time(r.name.c_str(), along, run, &value, &at, 1)) {
        if (is_na(value)) return "--";
        return choose(r, value);
    }
    if (char* s = run_string_value(r.name.c_str(), run)) return s;
    // A name the run does not know shows the missing value, never the run's name
    // as if it were one, and says so in the log.
    report(3, "%s for a value reference", missing_in_run_text(r.name.c_str(), run).c_str());
    return "--";
}

} // namespace

std::string expand_value_refs(const char* text, int* taken,
                              const std::vector<std::string>* var_texts, int lock) {
    if (!text) return {};
    std::string out;
    out.reserve(std::strlen(text) + 49);
    bool locked = false;
    if (lock) locked = lock_model(1) == 1;
    int count = 0;
    const char* p = text;
    while (*p) {
        const char* bs = std::strchr(p, '\\');
        if (!bs) {
            out += p;
            break;
        }
        out.append(p, bs);
        if (bs[1] == '\\') {
            out += '\\';
            p = bs + 2;
            continue;
        }
        const char* slash = std::strchr(bs + 1, '/');
        if (!slash) {
            out += '\\';
            p = bs + 1;
            continue;
        }
        std::string spec(bs + 1, slash);
        if (var_texts && trim(spec).empty()) {
            if (static_cast<std::size_t>(count) < var_texts->size())
                spec = (*var_texts)[static_cast<std::size_t>(count)];
            ++count;
        }
        out += ref_value(split_spec(spec));
        p = slash + 1;
    }
    if (locked) unlock_model(1);
    if (taken) *taken = count;
    return out;
}

const char* expand_message_refs(const char* text) {
    if (!text || !std::strchr(text, '\\')) return text;
    return scratch_strdup(expand_value_refs(text).c_str());
}

void install_value_ref_hook() {
    set_expand_refs_hook(expand_message_refs);
}
