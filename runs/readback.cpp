// Reading runs back into a simulation.
#include "runs/readback.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "sim/simdata.h"

namespace {

void* sim_or_scratch(std::size_t bytes) {
    if (sim_pool) return block_alloc(sim_pool, bytes, 0);
    return scratch_alloc(bytes);
}

int symbol_type_in_run(int i, symbol_id id) {
    run_lock l(i);
    if (!l) return 0;
    model_lock_guard g(l->symbols, 0);
    return g.ok() && valid_symbol(id) ? sym(id)->type : 0;
}

std::string upper(const std::string& s) {
    std::string u = s;
    str_upper(u.data());
    for (char& c : u)
        if (c == '_') c = ' ';
    return u;
}

delay_state_sink g_sink = nullptr;
std::vector<std::vector<std::uint8_t>> g_last_delays;

// The rows of a constants destination, each of cols values.
void make_rows(run_const_dest* constants) {
    constants->row = static_cast<float**>(
        sim_or_scratch(sizeof(float*) * static_cast<std::size_t>(std::max(constants->rows, 1))));
    for (int k = 0; k < constants->rows; ++k)
        constants->row[k] = static_cast<float*>(
            sim_or_scratch(4 * static_cast<std::size_t>(std::max(constants->cols, 1))));
}

// A data block of n points: their times, then their values.
run_data_block* make_block(int n) {
    auto* blk = static_cast<run_data_block*>(
        sim_or_scratch(sizeof(run_data_block) + 8 * static_cast<std::size_t>(n)));
    blk->times = reinterpret_cast<float*>(blk + 1);
    blk->values = blk->times + n;
    blk->count = n;
    return blk;
}

// No run file: the value a everywhere (data: one point at time 0).
void fill_without_file(run_data_dest* data, run_const_dest* constants, float a) {
    if (constants) {
        make_rows(constants);
        for (int r = 0; r < constants->rows; ++r)
            for (int c = 0; c < constants->cols; ++c) constants->row[r][c] = a;
        return;
    }
    for (int k = 0; k < data->count; ++k) {
        run_data_block* blk = make_block(1);
        blk->times[0] = 0;
        blk->values[0] = a;
        data->blocks[k] = blk;
    }
}

// The run file opened and the variable found in it with a type that has
// values and `need` elements, whose names are put in names; its symbol type
// in *type. The run's index, or -1 (said why).
int open_run_variable(const char* file, const char* variable, const run_name& rn, std::int64_t need,
                      std::vector<std::string>& names, int* type) {
    int run = kdf_open(file);
    if (run < 0) {
        report(5, "Unable to open %s to get data", file);
        return -1;
    }
    symbol_id id = run_find_symbol(rn.name.c_str(), run);
    if (!id) {
        report(5, "The variable %s is not contained in %s", variable, file);
        return -1;
    }
    int st = symbol_type_in_run(run, id);
    if (!(st <= st_last_with_slots || st == st_lookup)) {
        report(5, "The variable %s in file %s of wrong type for query", variable, file);
        return -1;
    }
    int found = expand_element_names(variable, run, names, rn.subs.empty() ? 0 : 1);
    if (found <= 0) {
        report(5, "The variable %s not dimensioned correctly for file %s", variable, file);
        return -1;
    }
    if (found != need) {
        report(5, "The variable %s in file %s has %d elements (need %d)", variable, file, found,
               static_cast<int>(need));
        return -1;
    }
    *type = st;
    return run;
}

// A series' value at time a as a constant: its first before its start, its
// last after its end, else the nearer of the two points around a (the
// earlier on a tie).
float constant_at(const std::vector<float>& v, const std::vector<float>& t, int n, float a) {
    float value = v[0];
    if (n > 1 && a > t[0]) {
        if (a >= t.back()) {
            value = v.back();
        } else {
            auto j = static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), a) - t.begin());
            value = a - t[j - 1] <= t[j] - a ? v[j - 1] : v[j];
        }
    }
    return value;
}

} // namespace

int get_run_data(run_data_dest* data, run_const_dest* constants, const char* file,
                 const char* variable, float a, float b) {
    run_name rn;
    if (!parse_run_name(variable, rn)) {
        report(5, "Unable to understand %s as a variable name", variable ? variable : "");
        return 0;
    }
    if ((data == nullptr) == (constants == nullptr)) return 0;
    const std::int64_t need =
        constants ? std::int64_t{constants->rows} * constants->cols : std::int64_t{data->count};
    if (need < 0 || need > (1 << 24)) return 0;
    if (constants && (constants->rows < 0 || constants->cols < 0)) return 0;
    if (data)
        data->blocks = static_cast<run_data_block**>(sim_or_scratch(
            sizeof(run_data_block*) * static_cast<std::size_t>(std::max<std::int64_t>(need, 1))));
    if (!file || !*file) {
        fill_without_file(data, constants, a);
        return 1;
    }
    std::vector<std::string> names;
    int st = 0;
    const int run = open_run_variable(file, variable, rn, need, names, &st);
    if (run < 0) return 0;
    const char type = run_type(run);
    std::vector<float> axis_v, axis_t;
    float first = 0, last = 0;
    if (type != 'A' && read_run_series("Time", "Time", run, axis_v, axis_t) > 0) {
        first = axis_v.front();
        last = axis_v.back();
    }
    auto read_element = [&](const std::string& n, std::vector<float>& v, std::vector<float>& t) {
        int got = type == 'A' ? expand_act(n.c_str(), "Time", run, v, t)
                              : read_run_series(n.c_str(), "Time", run, v, t);
        if (got <= 0 && st == st_lookup) got = read_run_lookup(n.c_str(), run, t, v);
        return got;
    };
    if (constants) {
        make_rows(constants);
        for (std::int64_t k = 0; k < need; ++k) {
            std::vector<float> v, t;
            int n = read_element(names[static_cast<std::size_t>(k)], v, t);
            if (n <= 0) {
                report(5, "The variable %s not found in file %s\n",
                       names[static_cast<std::size_t>(k)].c_str(), file);
                return 0;
            }
            constants->row[k / std::max(constants->cols, 1)][k % std::max(constants->cols, 1)] =
                constant_at(v, t, n, a);
        }
        return 1;
    }
    for (std::int64_t k = 0; k < need; ++k) {
        std::vector<float> v, t;
        int n = read_element(names[static_cast<std::size_t>(k)], v, t);
        if (n <= 0) {
            report(5, "The variable %s not found in file %s",
                   names[static_cast<std::size_t>(k)].c_str(), file);
            return 0;
        }
        if (n == 1 && st != st_lookup && axis_v.size() > 1) {
            // A single value over the run's whole time span.
            v = {v[0], v[0]};
            t = {first, last};
            n = 2;
        }
        run_data_block* blk = make_block(n);
        for (int p = 0; p < n; ++p) {
            float tt = t[static_cast<std::size_t>(p)];
            blk->times[p] = b > 0 ? tt * b + a : tt;
            blk->values[p] = v[static_cast<std::size_t>(p)];
        }
        data->blocks[k] = blk;
    }
    return 1;
}

int resume_from_run(int i, std::vector<float>& values, double time, int mode) {
    // The open model's slot layout, and the run's.
    std::vector<std::string> open_names = model_slot_names(cur_model_symbols);
    std::vector<std::uint8_t> open_types(open_names.size(), 0);
    std::uint32_t open_levels = 0;
    if (cur_model_symbols) {
        model_lock_guard g(cur_model_symbols, 0);
        if (!g.ok()) return 0;
        open_levels = model_hdr->w[mh_level_slots];
        if (model_slot_types) std::memcpy(open_types.data(), model_slot_types, open_types.size());
    }
    if (open_names.empty() || values.size() < open_names.size()) return 0;
    handle run_symbols;
    {
        run_lock l(i);
        if (!l) return 0;
        run_symbols = l->symbols;
    }
    std::vector<std::string> run_names = model_slot_names(run_symbols);

    run_lock l(i);
    if (!l) return 0;
    run_side* side = cur_side();
    const std::vector<float>& axis = side->time_axis;
    int j = nearest_time_index(axis.data(), static_cast<int>(axis.size()), time, mode != 0);
    if (j < 0) return 0;
    const std::size_t covered = mode == 0 ? open_levels : open_names.size();

    // The slot map: the same layout, or by element name.
    std::vector<int> map(covered, -1);
    bool same =
        run_names.size() == open_names.size() && side->slot_types.size() == open_types.size();
    for (std::size_t s = 0; same && s < open_names.size(); ++s)
        same = name_cmp_us(run_names[s].c_str(), open_names[s].c_str()) == 0 &&
               side->slot_types[s] == open_types[s];
    if (same) {
        for (std::size_t s = 0; s < covered; ++s) map[s] = static_cast<int>(s);
    } else {
        std::unordered_map<std::string, int> by_name;
        for (std::size_t s = 0; s < run_names.size(); ++s)
            if (!run_names[s].empty()) by_name.emplace(upper(run_names[s]), static_cast<int>(s));
        for (std::size_t s = 0; s < covered; ++s) {
            if (open_names[s].empty()) continue;
            auto it = by_name.find(upper(open_names[s]));
            if (it == by_name.end()) return 0; // a slot the run cannot fill
            map[s] = it->second;
        }
    }
    for (std::size_t s = 0; s < covered; ++s) {
        int rs = map[s];
        if (rs < 0) continue;
        int tb = side->slot_types[static_cast<std::size_t>(rs)];
        if ((tb < st_initial && tb > 0 && mode <= 1) || tb == st_game) {
            std::vector<float> v;
            std::vector<int> pos;
            bool data = tb == 5 || tb == 6 || tb == 12;
            bool lower = l->type == 'r' || l->type == 's' || l->type == 'p';
            if (data && !lower) {
                // The last data point at or before the chosen saved time.
                if (!read_slot_points(rs, v, &pos)) continue;
                float value = NA;
                for (std::size_t k = 0; k < pos.size(); ++k) {
                    auto p = static_cast<std::size_t>(pos[k]);
                    if (p < side->data_axis.size() &&
                        side->data_axis[p] <= axis[static_cast<std::size_t>(j)])
                        value = v[k];
                }
                values[s] = value;
            } else {
                if (!read_slot_points(rs, v, nullptr) || static_cast<std::size_t>(j) >= v.size())
                    continue;
                values[s] = v[static_cast<std::size_t>(j)];
            }
        } else if (is_constant_slot_type(tb) && mode <= 1) {
            if (open_types[s] == st_level)
                report(5, "Level %s not saved, cannot resume to time %g", open_names[s].c_str(),
                       time);
            float v;
            if (read_single_value(rs, v)) values[s] = v;
        }
    }
    if (mode == 1) game_saved_times = static_cast<std::uint16_t>(j + 1);
    return static_cast<int>(covered);
}

int read_run_delays(int i, std::vector<std::vector<std::uint8_t>>& out) {
    out.clear();
    if (i < 0) {
        out = g_last_delays;
        return out.empty() ? 0 : 1;
    }
    std::uint32_t open_delays =
        cur_model_symbols ? get_header_word(cur_model_symbols, mh_delay_objects) : 0;
    run_lock l(i);
    if (!l) return 0;
    run_side* side = cur_side();
    if (side->delay_objects != open_delays || !l->delays) return 0;
    std::vector<std::vector<std::uint8_t>> states(side->delay_objects);
    std::uint64_t at = l->delays;
    const bool foreign = side->foreign;
    for (std::uint32_t k = 0; k < side->delay_objects; ++k) {
        std::uint16_t raw;
        if (!run_read_at(at, &raw, 2)) return 0;
        auto n = static_cast<std::int16_t>(run_u16(raw));
        at += 2;
        if (n < 0) return 0;
        if (n == 0) continue;
        std::vector<std::uint8_t>& obj = states[k];
        obj.resize(28 + 8 * static_cast<std::size_t>(n));
        if (!run_read_at(at, obj.data(), obj.size())) return 0;
        at += obj.size();
        if (foreign) {
            for (std::size_t b = 0; b < obj.size(); b += 4) {
                if (b == 24) {
                    std::uint16_t c[2];
                    std::memcpy(c, obj.data() + 24, 4);
                    c[0] = swap16(c[0]);
                    c[1] = swap16(c[1]);
                    std::memcpy(obj.data() + 24, c, 4);
                    continue;
                }
                std::uint32_t w;
                std::memcpy(&w, obj.data() + b, 4);
                w = swap32(w);
                std::memcpy(obj.data() + b, &w, 4);
            }
        }
        std::uint16_t cap;
        std::memcpy(&cap, obj.data() + 24, 2);
        if (cap != static_cast<std::uint16_t>(n)) return 0;
    }
    out = std::move(states);
    g_last_delays = out;
    return 1;
}

void set_delay_state_sink(delay_state_sink fn) {
    g_sink = fn;
}

int load_run_delays(int i) {
    if (!cur_model_symbols || get_header_word(cur_model_symbols, mh_delay_objects) == 0) return 1;
    std::vector<std::vector<std::uint8_t>> states;
    if (!read_run_delays(i, states)) return 0;
    return g_sink ? g_sink(states) : 0;
}

int read_run_var_values(int i, int slot, std::vector<float>& out) {
    out.clear();
    if (game_state == 0) return 0;
    run_lock l(i);
    if (!l || !std::strchr("RrPpSs", l->type) || !l->type) return 0;
    run_side* side = cur_side();
    if (slot < 0 || static_cast<std::uint32_t>(slot) >= side->slots) return 0;
    int tb = side->slot_types[static_cast<std::size_t>(slot)];
    if (tb > 0 && tb < st_initial) {
        const bool lower = l->type == 'r' || l->type == 's' || l->type == 'p';
        if (lower) {
            if (!read_slot_points(slot, out, nullptr)) return 0;
            return static_cast<int>(out.size());
        }
        std::vector<int> pos;
        if (!read_slot_points(slot, out, &pos)) return 0;
        return static_cast<int>(out.size());
    }
    float v;
    if (!read_single_value(slot, v)) return 0;
    out.push_back(v);
    return 1;
}
