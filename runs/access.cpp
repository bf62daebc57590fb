// The run accessors.
#include "runs/access.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/context.h"

namespace {

bool is_data_type(int t) {
    return t == 5 || t == 6 || t == 12;
}
bool timed_type(char t) {
    return t == 'R' || t == 'r' || t == 'P' || t == 'p' || t == 'S' || t == 's';
}
bool lower_type(char t) {
    return t == 'r' || t == 's' || t == 'p';
}
int presence_bytes(std::uint64_t n) {
    return n ? static_cast<int>((n - 1) / 8 + 1) : 1;
}

std::string trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// Whether xname asks for the saved times as they are.
bool is_time_name(const char* xname) {
    return !xname || !*xname || name_cmp(xname, "Time") == 0;
}

// Scale and offset of a time base of the open model; false when xname is not
// one.
bool open_time_base(const char* xname, float& scale, float& offset) {
    handle s = cur_model_symbols;
    if (!s || !xname) return false;
    model_lock_guard g(s, 0);
    if (!g.ok()) return false;
    symbol_id id = find_symbol_in(s, xname);
    if (!id || !valid_symbol(id) || sym(id)->type != st_time_base) return false;
    scale = as_float(sym(id)->min);
    offset = as_float(sym(id)->elems);
    return std::isfinite(scale) && std::isfinite(offset);
}

// The dims record of a symbol of the published model, checked against its
// block; null when it lies outside.
const dim_record* checked_dims(symbol_id id) {
    if (!model_dims) return nullptr;
    std::uint32_t cells = reinterpret_cast<const bhead*>(model_dims)->cur;
    std::uint32_t c = sym(id)->dims;
    if (c < 5 || std::uint64_t{c} + sizeof(dim_record) / 4 > cells) return nullptr;
    const dim_record* d = dims_at(c);
    if (d->ndims > max_dims) return nullptr;
    return d;
}

// The element names of a range of the published model.
bool range_names(symbol_id range, std::vector<std::string>& out) {
    out.clear();
    if (!model_elists || !valid_symbol(range) || sym(range)->type != st_range) return false;
    std::uint32_t cells = reinterpret_cast<const bhead*>(model_elists)->cur;
    std::uint32_t c = sym(range)->elems;
    if (c < 5 || c >= cells) return false;
    const element_list* l = range_elements(range);
    if (!l || std::uint64_t{c} + 1 + l->count > cells) return false;
    for (std::uint32_t k = 0; k < l->count; ++k) {
        if (!valid_symbol(l->ids[k])) return false;
        out.emplace_back(sym_name(l->ids[k]));
    }
    return true;
}

// Reads the count at the head of a value record.
bool read_count(std::uint64_t off, std::int64_t& n) {
    if (cur_run->counts32) {
        std::uint32_t w;
        if (!run_read_at(off, &w, 4)) return false;
        n = static_cast<std::int32_t>(run_u32(w));
    } else {
        std::uint16_t h;
        if (!run_read_at(off, &h, 2)) return false;
        n = static_cast<std::int16_t>(run_u16(h));
    }
    return n >= 0;
}

bool read_floats(std::uint64_t off, std::size_t n, std::vector<float>& out) {
    out.resize(n);
    if (n && !run_read_at(off, out.data(), 4 * n)) return false;
    for (float& f : out) f = run_f32(f);
    return true;
}

// A column of a lower-case run: one value per saved time.
bool read_column(std::uint32_t col, std::vector<float>& out) {
    run_side* s = cur_side();
    const std::uint64_t n = static_cast<std::uint64_t>(std::max(cur_run->times, 0));
    const std::uint64_t len = s->row.row_length;
    if (col == 0 || col > len) return false;
    out.assign(n, NA);
    const std::uint64_t base = s->row.first_row;
    if (len <= 64) {
        // Short rows: read many rows at once.
        const std::uint64_t chunk = std::max<std::uint64_t>(1, 65536 / (4 * len));
        std::vector<float> buf;
        for (std::uint64_t k = 0; k < n; k += chunk) {
            std::uint64_t rows = std::min(chunk, n - k);
            if (!read_floats(base + 4 * k * len, static_cast<std::size_t>(rows * len), buf))
                return false;
            for (std::uint64_t r = 0; r < rows; ++r) out[k + r] = buf[r * len + col - 1];
        }
        return true;
    }
    for (std::uint64_t k = 0; k < n; ++k) {
        float f;
        if (!run_read_at(base + 4 * (k * len + col - 1), &f, 4)) return false;
        out[k] = run_f32(f);
    }
    return true;
}

// Converts times (and first and last) from the saved times to xname. 0 when
// xname is neither Time nor a time base of the open model.
int convert_times(const char* xname, std::vector<float>& times, double* first, double* last) {
    if (is_time_name(xname)) return 1;
    float scale, offset;
    if (!open_time_base(xname, scale, offset)) return 0;
    for (float& t : times) t = t * scale + offset;
    if (first) *first = *first * scale + offset;
    if (last) *last = *last * scale + offset;
    return 1;
}

} // namespace

// ------------------------------------------------------------- names ---

bool parse_run_name(const char* text, run_name& out) {
    out = run_name{};
    if (!text) return false;
    {
        // Brackets must pair up before the name is normalised.
        int depth = 0;
        for (const char* p = text; *p; ++p) {
            if (*p == '[' && ++depth > 1) return false;
            if (*p == ']' && --depth < 0) return false;
        }
        if (depth != 0) return false;
    }
    std::string s = scan_var_name(text);
    std::size_t br = s.find('[');
    out.name = trim(s.substr(0, br));
    if (out.name.empty()) return false;
    if (br == std::string::npos) return true;
    std::size_t close = s.find(']', br);
    if (close == std::string::npos || trim(s.substr(close + 1)).size()) return false;
    std::string inner = s.substr(br + 1, close - br - 1);
    std::size_t start = 0;
    for (;;) {
        std::size_t c = inner.find(',', start);
        std::string part = trim(inner.substr(start, c == std::string::npos ? c : c - start));
        if (part.size() >= 2 && part.front() == '"' && part.back() == '"')
            part = trim(part.substr(1, part.size() - 2));
        if (part.empty()) return false;
        out.subs.push_back(part);
        if (out.subs.size() > static_cast<std::size_t>(max_dims)) return false;
        if (c == std::string::npos) break;
        start = c + 1;
    }
    return true;
}

bool resolve_cur_run(const char* name, run_resolved& out) {
    out = run_resolved{};
    run_side* side = cur_side();
    if (!side || !cur_run->symbols) return false;
    run_name rn;
    if (!parse_run_name(name, rn)) return false;
    handle s = cur_run->symbols;
    model_lock_guard g(s, 0);
    if (!g.ok() || !model_hdr) return false;
    symbol_id id = find_symbol_in(s, rn.name.c_str());
    if (!id || !valid_symbol(id)) return false;
    const symbol_record* r = sym(id);
    const dim_record* d = checked_dims(id);
    if (!d || d->ndims != rn.subs.size()) return false;
    std::uint64_t element = 0;
    for (std::size_t k = 0; k < rn.subs.size(); ++k) {
        symbol_id e = find_symbol_in(s, rn.subs[k].c_str());
        if (!e || !valid_symbol(e) || sym(e)->type != st_element) return false;
        int pos = element_position(d->d[k].range, e);
        if (pos < 0 || static_cast<std::uint32_t>(pos) >= d->d[k].count) return false;
        element += static_cast<std::uint64_t>(pos) * d->d[k].stride;
    }
    if (element >= std::max<std::uint32_t>(d->count, 1)) return false;
    out.id = id;
    out.sym_type = r->type;
    out.element = static_cast<int>(element);
    if (r->slot < 0) return out.sym_type > st_last_with_slots; // a name without slots
    std::uint64_t slot = static_cast<std::uint64_t>(r->slot) + element;
    if (out.sym_type <= st_last_with_slots) {
        if (slot >= side->slots) return false;
        out.type_byte = side->slot_types[slot];
    } else if (out.sym_type == st_lookup) {
        if (slot >= side->lookups) return false;
    } else if (slot > 0x7FFFFFF) {
        return false;
    }
    out.slot = static_cast<int>(slot);
    if (r->subref && valid_symbol(r->subref) && sym(r->subref)->type == st_time_base)
        out.time_base = r->subref;
    return true;
}

bool read_slot_points(int slot, std::vector<float>& values, std::vector<int>* positions) {
    values.clear();
    if (positions) positions->clear();
    run_side* side = cur_side();
    if (!side || slot < 0 || static_cast<std::uint32_t>(slot) >= side->slots) return false;
    if (lower_type(cur_run->type)) {
        std::uint32_t col =
            side->columns.empty() ? 0 : side->columns[static_cast<std::size_t>(slot)];
        if (!read_column(col, values)) return false;
        if (positions)
            for (int k = 0; k < static_cast<int>(values.size()); ++k) positions->push_back(k);
        return true;
    }
    std::uint64_t off = side->offsets[static_cast<std::size_t>(slot)];
    if (!off) return false;
    int tb = side->slot_types[static_cast<std::size_t>(slot)];
    std::uint64_t npoints;
    if (cur_run->type == 'A')
        npoints = static_cast<std::uint64_t>(cur_run->time_count);
    else if (is_data_type(tb))
        npoints = static_cast<std::uint64_t>(cur_run->data_points);
    else
        npoints = static_cast<std::uint64_t>(cur_run->times);
    std::int64_t count = 0;
    if (!read_count(off, count)) return false;
    const std::uint64_t csize = cur_run->counts32 ? 4 : 2;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(presence_bytes(npoints)));
    if (!run_read_at(off + csize, bits.data(), bits.size())) return false;
    // Only bits within the axis count; the stored values are clamped to them.
    std::uint64_t set = 0;
    for (std::uint64_t p = 0; p < npoints; ++p)
        if (bits[p / 8] >> (p % 8) & 1) ++set;
    std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), set);
    std::vector<float> stored;
    if (!read_floats(off + csize + bits.size(), static_cast<std::size_t>(n), stored)) return false;
    if (positions) {
        std::size_t k = 0;
        for (std::uint64_t p = 0; p < npoints && k < stored.size(); ++p)
            if (bits[p / 8] >> (p % 8) & 1) {
                positions->push_back(static_cast<int>(p));
                values.push_back(stored[k++]);
            }
        return true;
    }
    values.resize(static_cast<std::size_t>(npoints));
    std::size_t k = 0;
    float prev = NA;
    for (std::uint64_t p = 0; p < npoints; ++p) {
        if (bits[p / 8] >> (p % 8) & 1) prev = k < stored.size() ? stored[k++] : NA;
        values[static_cast<std::size_t>(p)] = prev;
    }
    return true;
}

bool read_single_value(int slot, float& out) {
    run_side* side = cur_side();
    if (!side || slot < 0 || static_cast<std::uint32_t>(slot) >= side->slots) return false;
    if (!lower_type(cur_run->type) && !cur_run->constants_in_section) {
        out = as_float(side->offsets[static_cast<std::size_t>(slot)]);
        return true;
    }
    float f;
    if (!run_read_at(std::uint64_t{cur_run->constants} + 4ull * static_cast<std::uint64_t>(slot),
                     &f, 4))
        return false;
    out = run_f32(f);
    return true;
}

// -------------------------------------------------------------- series ---

int read_run_series(const char* name, const char* xname, int i, std::vector<float>& values,
                    std::vector<float>& times, double* first, double* last, int* data) {
    values.clear();
    times.clear();
    if (data) *data = 0;
    std::vector<float> axis;
    int is_data = 0;
    {
        run_lock l(i);
        if (!l || !timed_type(l->type)) return 0;
        run_side* side = cur_side();
        if (!name) {
            values = side->data_axis;
            times = side->data_axis;
            axis = side->data_axis;
        } else {
            run_resolved r;
            if (!resolve_cur_run(name, r) || r.slot < 0) return 0;
            if (r.sym_type >= st_lookup && r.sym_type <= st_constraint) return 0;
            if (r.sym_type > st_last_with_slots) return 0;
            int tb = r.type_byte;
            if (tb == 0 || tb > st_last_with_slots) return 0;
            if (is_constant_slot_type(tb)) {
                float v;
                if (!read_single_value(r.slot, v)) return 0;
                values.push_back(v);
                times.push_back(side->time_axis.empty() ? 0.0f : side->time_axis[0]);
                axis = side->time_axis;
            } else if (is_data_type(tb) && !lower_type(l->type)) {
                std::vector<int> pos;
                if (!read_slot_points(r.slot, values, &pos)) return 0;
                for (int p : pos) {
                    if (static_cast<std::size_t>(p) >= side->data_axis.size()) break;
                    times.push_back(side->data_axis[static_cast<std::size_t>(p)]);
                }
                values.resize(times.size());
                axis = side->data_axis;
                is_data = 1;
            } else {
                if (!read_slot_points(r.slot, values, nullptr)) return 0;
                values.resize(std::min(values.size(), side->time_axis.size()));
                times.assign(side->time_axis.begin(),
                             side->time_axis.begin() + static_cast<long>(values.size()));
                axis = side->time_axis;
                is_data = is_data_type(tb) ? 1 : 0;
            }
        }
    }
    // Only points that hold values.
    std::size_t w = 0;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (!is_na(values[k])) {
            values[w] = values[k];
            times[w] = times[k];
            ++w;
        }
    values.resize(w);
    times.resize(w);
    double f = axis.empty() ? 0.0 : axis.front(), la = axis.empty() ? 0.0 : axis.back();
    if (!convert_times(xname, times, &f, &la)) {
        values.clear();
        times.clear();
        return 0;
    }
    if (first) *first = f;
    if (last) *last = la;
    if (data) *data = is_data;
    return static_cast<int>(values.size());
}

namespace {

// An 'A' record whose points outnumber the times its time base marks is
// damaged: the user is told once per loaded run and variable (the readers
// run again at every repaint) which run and variable lost points.
void tell_dropped_points(int run, std::uint16_t serial, const char* name, const std::string& base,
                         int kept, int stored) {
    static std::set<std::tuple<int, std::uint16_t, std::string>> told;
    if (!told.insert({run, serial, name ? name : ""}).second) return;
    report(5,
           "Got %d != %d in expand_act: the run %s stores %d values of %s but its time base %s "
           "gives times for %d; the rest are left out",
           kept, stored, run_display_name(run), stored, name ? name : "", base.c_str(), kept);
}

} // namespace

int expand_act(const char* name, const char* xname, int i, std::vector<float>& values,
               std::vector<float>& times, double* first, double* last) {
    values.clear();
    times.clear();
    std::string base_name;
    std::vector<float> axis;
    int dropped = 0; // the stored count when points had no time
    std::uint16_t serial = 0;
    {
        run_lock l(i);
        if (!l || l->type != 'A') return 0;
        run_side* side = cur_side();
        run_resolved r;
        if (!resolve_cur_run(name, r) || r.slot < 0 || r.sym_type > st_last_with_slots) return 0;
        if (!side->offsets[static_cast<std::size_t>(r.slot)]) return 0;
        // The variable's time base (Time when it names none).
        symbol_id base = r.time_base;
        int base_slot = 0;
        {
            model_lock_guard g(l->symbols, 0);
            if (!g.ok()) return 0;
            if (!base) base = model_hdr->w[mh_time_symbol];
            if (!base || !valid_symbol(base)) return 0;
            base_name = sym_name(base);
            base_slot = sym(base)->slot;
        }
        if (base_slot < 0 || static_cast<std::uint32_t>(base_slot) >= side->slots) return 0;
        // The time base's axis, read once and kept while the run is loaded.
        auto it = std::find_if(side->time_base_axes.begin(), side->time_base_axes.end(),
                               [&](const auto& p) { return p.first == base; });
        if (it == side->time_base_axes.end()) {
            std::vector<float> tb;
            std::vector<int> pos;
            if (!read_slot_points(base_slot, tb, &pos)) return 0;
            side->time_base_axes.emplace_back(base, std::move(tb));
            it = side->time_base_axes.end() - 1;
        }
        axis = it->second;
        std::vector<int> pos;
        std::vector<float> stored;
        if (!read_slot_points(r.slot, stored, &pos)) return 0;
        // A point whose axis entry is missing is dropped, so values and
        // times always pair up.
        for (std::size_t k = 0; k < stored.size(); ++k) {
            auto p = static_cast<std::size_t>(pos[k]);
            if (p >= axis.size()) break;
            times.push_back(axis[p]);
            values.push_back(stored[k]);
        }
        if (values.size() != stored.size()) {
            dropped = static_cast<int>(stored.size());
            serial = l->serial;
        }
    }
    if (dropped)
        tell_dropped_points(i, serial, name, base_name, static_cast<int>(values.size()), dropped);
    double f = 0, la = 0;
    if (!axis.empty()) {
        auto [mn, mx] = std::minmax_element(axis.begin(), axis.end());
        f = *mn;
        la = *mx;
    }
    if (xname && *xname && name_cmp_us(xname, base_name.c_str()) != 0) {
        float vs, vo, xs, xo;
        if (!open_time_base(base_name.c_str(), vs, vo) || !open_time_base(xname, xs, xo) ||
            vs == 0.0f) {
            values.clear();
            times.clear();
            return 0;
        }
        auto conv = [&](double t) { return (t - vo) / vs * xs + xo; };
        for (float& t : times) t = static_cast<float>(conv(t));
        f = conv(f);
        la = conv(la);
    }
    if (first) *first = f;
    if (last) *last = la;
    return static_cast<int>(values.size());
}

int read_run_values(const char* name, const char* xname, int i, std::vector<float>& values,
                    std::vector<float>& times, double* first, double* last, int* data) {
    char t = run_type(i);
    if (timed_type(t)) {
        int n = read_run_series(name, xname, i, values, times, first, last, data);
        if (n) return n;
        if (data) *data = 0;
        return read_run_lookup(name, i, times, values);
    }
    if (t == 'A') {
        if (data) *data = 1;
        return expand_act(name, xname, i, values, times, first, last);
    }
    values.clear();
    times.clear();
    return 0;
}

int nearest_time_index(const float* times, int n, double t, bool before_ok) {
    if (!times || n <= 0) return -1;
    int j = static_cast<int>(std::upper_bound(times, times + n, static_cast<float>(t)) - times);
    double first = times[0], last = times[n - 1];
    double half = (last - first) / (2.0 * n);
    if (j == n) return n > 1 && t - last > half ? -1 : n - 1;
    if (j == 0) return !before_ok && n > 1 && first - t > half ? -1 : 0;
    return t - times[j - 1] < times[j] - t ? j - 1 : j;
}

int run_value_at_time(const char* name, const char* xname, int i, float* out, const float* time,
                      int mode) {
    if (out) *out = NA;
    char t = run_type(i);
    std::vector<float> v, tm;
    int n;
    if (timed_type(t)) {
        float c;
        if (run_constant_value(name, i, &c)) {
            if (out) *out = c;
            return 1;
        }
        n = read_run_series(name, xname, i, v, tm);
    } else if (t == 'A') {
        n = expand_act(name, xname, i, v, tm);
    } else {
        return 0;
    }
    if (n <= 0) return 0;
    float answer = NA;
    if (n == 1 && mode >= 0) {
        answer = v[0];
    } else if (!time || is_na(*time)) {
        answer = v[static_cast<std::size_t>(n - 1)];
    } else {
        double at = *time;
        int j = static_cast<int>(std::upper_bound(tm.begin(), tm.end(), *time) - tm.begin());
        double first = tm.front(), last = tm.back(), half = (last - first) / (2.0 * n);
        if (j == n) {
            if (!(n > 1 && at - last > half)) answer = v.back();
        } else if (j == 0) {
            if (!(n > 1 && first - at > half)) answer = v.front();
        } else {
            auto a = static_cast<std::size_t>(j - 1), b = static_cast<std::size_t>(j);
            if (mode > 0) {
                double span = tm[b] - tm[a];
                double w = span > 0 ? (at - tm[a]) / span : 1.0;
                if (is_na(v[a]) || is_na(v[b]))
                    answer = w < 0.5 ? v[a] : v[b];
                else
                    answer = static_cast<float>(v[a] + w * (v[b] - v[a]));
            } else {
                answer = at - tm[a] < tm[b] - at ? v[a] : v[b];
            }
        }
    }
    if (out) *out = answer;
    return 1;
}

int read_run_xy(const char* name_a, int run_a, std::vector<float>& values_a, const char* name_b,
                int run_b, std::vector<float>& values_b, double* min, double* max) {
    std::vector<float> ta, tb, va, vb;
    auto read = [](const char* n, int r, std::vector<float>& v, std::vector<float>& t) {
        return run_type(r) == 'A' ? expand_act(n, "Time", r, v, t)
                                  : read_run_series(n, "Time", r, v, t);
    };
    values_a.clear();
    values_b.clear();
    if (!read(name_a, run_a, va, ta) || !read(name_b, run_b, vb, tb)) return 0;
    // Half the smallest spacing in either series; with no spacing at all
    // (single points) times must match exactly.
    float spacing = FLT_MAX;
    for (const auto* t : {&ta, &tb})
        for (std::size_t k = 1; k < t->size(); ++k) {
            float d = (*t)[k] - (*t)[k - 1];
            if (d > 0 && d < spacing) spacing = d;
        }
    double tol = spacing == FLT_MAX ? 0.0 : spacing / 2.0;
    bool cut = model_rec != nullptr;
    double start = cut ? model_rec->start : 0, end = cut ? model_rec->end : 0;
    auto inside = [&](double t) { return !cut || (t + tol >= start && t - tol < end); };
    std::size_t a = 0, b = 0;
    double lo = 0, hi = 0;
    while (a < ta.size() && b < tb.size()) {
        if (!inside(ta[a])) {
            ++a;
            continue;
        }
        if (!inside(tb[b])) {
            ++b;
            continue;
        }
        double d = static_cast<double>(ta[a]) - tb[b];
        if (std::fabs(d) <= tol) {
            values_a.push_back(va[a]);
            values_b.push_back(vb[b]);
            double y = vb[b];
            if (values_b.size() == 1) lo = hi = y;
            lo = std::min(lo, y);
            hi = std::max(hi, y);
            ++a;
            ++b;
        } else if (d < 0) {
            ++a;
        } else {
            ++b;
        }
    }
    if (min) *min = lo;
    if (max) *max = hi;
    return static_cast<int>(values_a.size());
}

// ------------------------------------------------ single values and texts ---

int run_constant_value(const char* name, int i, float* out) {
    run_lock l(i);
    if (!l || l->type == 'A') return 0;
    run_resolved r;
    if (!resolve_cur_run(name, r) || r.slot < 0 || r.sym_type > st_last_with_slots) return 0;
    if (r.type_byte != st_initial && r.type_byte != st_constant) return 0;
    float v;
    if (!read_single_value(r.slot, v)) return 0;
    if (out) *out = v;
    return 1;
}

char* run_string_value(const char* name, int i) {
    run_lock l(i);
    if (!l) return nullptr;
    run_resolved r;
    if (!resolve_cur_run(name, r) || r.sym_type != st_string || r.slot < 0) return nullptr;
    std::uint64_t at = l->strings;
    if (!at) return nullptr;
    bhead head{};
    if (!run_read_at(at, &head, sizeof head)) return nullptr;
    head.guard = run_u32(head.guard);
    head.cur = run_u32(head.cur);
    if (head.guard != block_guard || head.cur < 7 || 4ull * head.cur > cur_side()->file_size)
        return nullptr;
    std::uint64_t cell = static_cast<std::uint64_t>(r.slot) + 7;
    if (cell >= head.cur) return nullptr;
    std::uint32_t text_cell;
    if (!run_read_at(at + 4 * cell, &text_cell, 4)) return nullptr;
    text_cell = run_u32(text_cell);
    if (text_cell < 5 || text_cell >= head.cur) return nullptr;
    std::vector<char> text(4ull * (head.cur - text_cell));
    if (!run_read_at(at + 4ull * text_cell, text.data(), text.size())) return nullptr;
    if (!std::memchr(text.data(), 0, text.size())) return nullptr;
    return scratch_strdup(text.data());
}

namespace {
// The lookup data block's cell count at the end of the lookup records.
bool lookup_block(std::uint64_t& at, std::uint32_t& cells) {
    run_side* side = cur_side();
    at = std::uint64_t{cur_run->lookups} + 52ull * side->lookups;
    bhead head{};
    if (!cur_run->lookups || !run_read_at(at, &head, sizeof head)) return false;
    head.guard = run_u32(head.guard);
    cells = run_u32(head.cur);
    return head.guard == block_guard && cells >= 5 && at + 4ull * cells <= side->file_size;
}

bool lookup_record(std::uint32_t k, kdf_lookup_record& rec) {
    if (!run_read_at(std::uint64_t{cur_run->lookups} + 52ull * k, &rec, sizeof rec)) return false;
    auto* w = reinterpret_cast<std::uint32_t*>(&rec);
    for (int n = 0; n < 13; ++n) w[n] = run_u32(w[n]);
    return true;
}
} // namespace

int read_run_lookup(const char* name, int i, std::vector<float>& x, std::vector<float>& y) {
    x.clear();
    y.clear();
    run_lock l(i);
    if (!l) return 0;
    run_resolved r;
    if (!resolve_cur_run(name, r) || r.sym_type != st_lookup || r.slot < 0) return 0;
    std::uint64_t at;
    std::uint32_t cells;
    kdf_lookup_record rec;
    if (!lookup_block(at, cells) || !lookup_record(static_cast<std::uint32_t>(r.slot), rec))
        return 0;
    std::uint64_t n = rec.npoints;
    if (rec.x_cell < 5 || rec.y_cell < 5 || rec.x_cell + n > cells || rec.y_cell + n > cells)
        return 0;
    if (!read_floats(at + 4ull * rec.x_cell, static_cast<std::size_t>(n), x) ||
        !read_floats(at + 4ull * rec.y_cell, static_cast<std::size_t>(n), y)) {
        x.clear();
        y.clear();
        return 0;
    }
    return static_cast<int>(n);
}

int read_run_constants(int i, std::vector<float>& out) {
    out.clear();
    run_lock l(i);
    if (!l || !l->constants) return 0;
    if (!read_floats(l->constants, cur_side()->slots, out)) {
        out.clear();
        return 0;
    }
    return static_cast<int>(out.size());
}

handle read_run_lookup_tables(int i, std::vector<kdf_lookup_record>& records, int keep) {
    records.clear();
    std::vector<std::pair<std::string, std::uint32_t>> run_names;
    handle block = 0;
    {
        run_lock l(i);
        if (!l) return 0;
        run_side* side = cur_side();
        std::uint64_t at;
        std::uint32_t cells;
        if (!lookup_block(at, cells)) return 0;
        for (std::uint32_t k = 0; k < side->lookups; ++k) {
            kdf_lookup_record rec;
            if (!lookup_record(k, rec)) return 0;
            std::uint64_t n = rec.npoints;
            if (rec.x_cell < 5 || rec.y_cell < 5 || rec.x_cell + n > cells ||
                rec.y_cell + n > cells)
                return 0;
            records.push_back(rec);
        }
        {
            model_lock_guard g(l->symbols, 0);
            if (!g.ok()) return 0;
            for (std::uint32_t k = 0; k < side->lookups; ++k) {
                const lookup_entry* e = lookup_at(static_cast<int>(k));
                if (!e || !valid_symbol(e->symbol)) return 0;
                run_names.emplace_back(sym_name(e->symbol), e->element);
            }
        }
        std::vector<std::uint32_t> img(cells);
        if (!run_read_at(at, img.data(), 4ull * cells)) return 0;
        for (auto& w : img) w = run_u32(w);
        img[2] = cells;
        img[3] = cells;
        if (img[4] == 0) img[4] = hblock_default_cells;
        block = new_handle(4 * cells);
        handle_lock<std::uint32_t> b(block);
        std::memcpy(b.get(), img.data(), 4ull * cells);
    }
    // The run's lookups must be the open model's, lookup by lookup.
    bool same = cur_model_symbols != 0;
    if (same) {
        model_lock_guard g(cur_model_symbols, 0);
        same = g.ok() && model_hdr->w[mh_lookups] == run_names.size();
        for (std::size_t k = 0; same && k < run_names.size(); ++k) {
            const lookup_entry* e = lookup_at(static_cast<int>(k));
            same = e && valid_symbol(e->symbol) &&
                   name_cmp_us(sym_name(e->symbol), run_names[k].first.c_str()) == 0 &&
                   e->element == run_names[k].second;
        }
    }
    if (!same) {
        free_handle(block);
        records.clear();
        return 0;
    }
    if (keep) return block;
    if (model_lock_flag != -1 && locked_model_symbols == cur_model_symbols) {
        // Replacing a published block would leave the published pointer stale.
        free_handle(block);
        records.clear();
        return 0;
    }
    handle old = get_header_word(cur_model_symbols, mh_lookup_data);
    set_header_word(cur_model_symbols, mh_lookup_data, block);
    free_hblock_if(old);
    handle list = get_header_word(cur_model_symbols, mh_lookup_list);
    if (list) {
        handle_lock<std::uint32_t> b(list);
        std::uint32_t cells = reinterpret_cast<bhead*>(b.get())->cur;
        for (std::size_t k = 0; k < records.size(); ++k) {
            std::uint64_t c = 5 + lookup_entry_cells * k;
            if (c + lookup_entry_cells > cells) break;
            auto* e = reinterpret_cast<lookup_entry*>(b.get() + c);
            e->npoints = records[k].npoints;
            e->x = records[k].x_cell;
            e->y = records[k].y_cell;
        }
    }
    return block;
}

// ----------------------------------------------------- name resolution ---

namespace {

// Resolves a name in run i (locked for the look-up); slot (may be null)
// receives its value slot, -1 when the name is not found.
bool resolve_in_run(const char* name, int i, int* slot, run_resolved& r) {
    if (slot) *slot = -1;
    run_lock l(i);
    if (!l || !resolve_cur_run(name, r)) return false;
    if (slot) *slot = r.slot;
    return true;
}

} // namespace

int run_var_type(const char* name, int i, int* slot) {
    run_resolved r;
    if (!resolve_in_run(name, i, slot, r)) return 0;
    return r.sym_type > st_last_with_slots ? r.sym_type : r.type_byte;
}

symbol_id run_var_slot(const char* name, int i, int* slot) {
    run_resolved r;
    if (!resolve_in_run(name, i, slot, r)) return 0;
    return r.id;
}

symbol_id run_find_symbol(const char* name, int i) {
    run_lock l(i);
    if (!l || !l->symbols) return 0;
    run_name rn;
    if (!parse_run_name(name, rn)) return 0;
    return find_symbol_in(l->symbols, rn.name.c_str());
}

int expand_element_names(const char* name, int i, std::vector<std::string>& out, int mode) {
    if (mode < 2) out.clear();
    run_name rn;
    if (!parse_run_name(name, rn)) return 0;
    std::vector<std::vector<std::string>> lists;
    std::string var;
    {
        run_lock l(i);
        if (!l) return 0;
        std::vector<symbol_id> dim_ranges;
        {
            model_lock_guard g(l->symbols, 0);
            if (!g.ok()) return 0;
            symbol_id id = find_symbol_in(l->symbols, rn.name.c_str());
            if (!id || !valid_symbol(id)) return 0;
            const dim_record* d = checked_dims(id);
            if (!d) return 0;
            var = sym_name(id);
            if (!rn.subs.empty() && rn.subs.size() != d->ndims) return 0;
            for (std::uint32_t k = 0; k < d->ndims; ++k) {
                std::vector<std::string> names;
                if (rn.subs.empty() || mode != 1) {
                    symbol_id r = d->d[k].range;
                    if (!rn.subs.empty()) {
                        symbol_id e = find_symbol_in(l->symbols, rn.subs[k].c_str());
                        if (!e || !valid_symbol(e)) return 0;
                        if (sym(e)->type == st_element) {
                            if (element_position(r, e) < 0) return 0;
                            names.emplace_back(sym_name(e));
                            lists.push_back(names);
                            continue;
                        }
                        if (sym(e)->type != st_range) return 0;
                        r = e;
                    }
                    if (!range_names(r, names)) return 0;
                }
                lists.push_back(names);
            }
        }
    }
    if (mode == 1 && !rn.subs.empty()) {
        // Subscripts in the open model's terms.
        model_lock_guard g(cur_model_symbols, 0);
        if (!g.ok()) return 0;
        for (std::size_t k = 0; k < rn.subs.size(); ++k) {
            symbol_id e = find_symbol_in(cur_model_symbols, rn.subs[k].c_str());
            if (!e || !valid_symbol(e)) return 0;
            std::vector<std::string> names;
            if (sym(e)->type == st_element)
                names.emplace_back(sym_name(e));
            else if (!range_names(e, names))
                return 0;
            lists[k] = names;
        }
    }
    std::uint64_t total = 1;
    for (auto& l : lists) total *= l.size();
    if (total == 0 || total > 100000000) return 0;
    if (mode >= 2) return static_cast<int>(total);
    std::vector<std::size_t> idx(lists.size(), 0);
    for (std::uint64_t n = 0; n < total; ++n) {
        std::string s = var;
        if (!lists.empty()) {
            s += '[';
            for (std::size_t k = 0; k < lists.size(); ++k) {
                if (k) s += ',';
                s += lists[k][idx[k]];
            }
            s += ']';
        }
        out.push_back(s);
        for (std::size_t k = lists.size(); k-- > 0;) {
            if (++idx[k] < lists[k].size()) break;
            idx[k] = 0;
        }
    }
    if (mode == 1) {
        // Every name must be an element of the run's variable.
        for (const std::string& s : out)
            if (!run_var_slot(s.c_str(), i)) {
                out.clear();
                return 0;
            }
    }
    return static_cast<int>(out.size());
}

std::string run_element_name(int i, symbol_id id, int element) {
    run_lock l(i);
    if (!l) return {};
    model_lock_guard g(l->symbols, 0);
    if (!g.ok() || !valid_symbol(id)) return {};
    const dim_record* d = checked_dims(id);
    if (!d || element < 0 ||
        static_cast<std::uint32_t>(element) >= std::max<std::uint32_t>(d->count, 1))
        return {};
    std::string s = sym_name(id);
    if (d->ndims == 0) return s;
    s += '[';
    for (std::uint32_t k = 0; k < d->ndims; ++k) {
        std::vector<std::string> names;
        if (!range_names(d->d[k].range, names) || d->d[k].stride == 0) return {};
        std::uint32_t pos = static_cast<std::uint32_t>(element) / d->d[k].stride % d->d[k].count;
        if (pos >= names.size()) return {};
        if (k) s += ',';
        s += names[pos];
    }
    return s + ']';
}

std::vector<std::string> model_slot_names(handle symbols) {
    std::vector<std::string> out;
    model_lock_guard g(symbols, 0);
    if (!g.ok() || !model_hdr) return out;
    std::uint64_t slots =
        std::uint64_t{model_hdr->w[mh_level_slots]} + model_hdr->w[mh_other_slots];
    if (slots > (1u << 26)) return out;
    out.assign(static_cast<std::size_t>(slots), std::string());
    std::uint32_t end = model_hdr->w[mh_sym_end];
    for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
        if (!valid_symbol(s)) continue;
        const symbol_record* r = sym(s);
        if (r->type == 0 || r->type > st_last_with_slots || r->slot < 0) continue;
        const dim_record* d = checked_dims(s);
        if (!d) continue;
        std::vector<std::vector<std::string>> names(d->ndims);
        bool ok = true;
        for (std::uint32_t k = 0; k < d->ndims && ok; ++k)
            ok = range_names(d->d[k].range, names[k]) && names[k].size() == d->d[k].count &&
                 d->d[k].stride > 0;
        if (!ok) continue;
        std::uint32_t count = std::max<std::uint32_t>(d->count, 1);
        for (std::uint32_t e = 0; e < count; ++e) {
            std::uint64_t slot = static_cast<std::uint64_t>(r->slot) + e;
            if (slot >= slots) break;
            std::string n = sym_name(s);
            if (d->ndims) {
                n += '[';
                for (std::uint32_t k = 0; k < d->ndims; ++k) {
                    if (k) n += ',';
                    n += names[k][e / d->d[k].stride % d->d[k].count];
                }
                n += ']';
            }
            out[static_cast<std::size_t>(slot)] = std::move(n);
        }
    }
    return out;
}

bool run_time_transform(const char* xname, float* scale, float* offset) {
    float sc = 1, of = 0;
    if (!is_time_name(xname) && !open_time_base(xname, sc, of)) return false;
    if (scale) *scale = sc;
    if (offset) *offset = of;
    return true;
}
