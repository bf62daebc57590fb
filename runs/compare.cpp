// Run comparison: see compare.h.
#include "runs/compare.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/report.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"

void (*compare_header_hook)(const char* name1, const char* name2) = nullptr;

namespace {

// One element of a variable: its name as the run's model spells it, its slot
// type byte and its value slot (lookups: the lookup slot; -1 none).
struct elem_info {
    std::string name;
    int type_byte = 0;
    int slot = -1;
};

struct var_info {
    std::string name;
    int type = 0;
    bool mixed = false;
    std::uint32_t ndims = 0;
    std::uint32_t count = 0;
    std::vector<elem_info> elems;
    // Folded element name -> index, made on the first lookup that misses
    // the same position (the other run's ranges were reordered).
    mutable std::unordered_map<std::string, std::size_t> by_elem;
};

// What the comparison needs of one run's model part and axes, read once.
struct run_info {
    std::vector<var_info> vars; // alphabetical, as the model's index
    std::unordered_map<std::string, std::size_t> by_name;
    std::vector<float> times;
    std::vector<float> data_times;
};

// Elements of a variable beyond this are taken as a damaged model part.
constexpr std::uint32_t max_elements = 1u << 24;

std::string fold(const std::string& s) {
    std::string f = s;
    for (char& c : f) c = static_cast<char>(fold_lower[static_cast<unsigned char>(c)]);
    return f;
}

bool is_data_byte(int t) {
    return t == st_data || t == 6 || t == 12;
}
bool timed_type(char t) {
    return t == 'R' || t == 'r' || t == 'P' || t == 'p' || t == 'S' || t == 's';
}
bool compared_type(int t) {
    return t == st_data || t == st_level || t == st_aux || t == st_game || t == st_initial ||
           t == st_constant || t == st_lookup;
}
// Whether an element's type byte belongs to the class (the data class takes
// every data variable's byte).
bool byte_is(int type_byte, int cls) {
    return cls == st_data ? is_data_byte(type_byte) : type_byte == cls;
}

// The dims record of a symbol of the published model, checked against its block.
const dim_record* checked_dims(symbol_id id) {
    if (!model_dims) return nullptr;
    std::uint32_t cells = reinterpret_cast<const bhead*>(model_dims)->cur;
    std::uint32_t c = sym(id)->dims;
    if (c < 5 || std::uint64_t{c} + sizeof(dim_record) / 4 > cells) return nullptr;
    const dim_record* d = dims_at(c);
    return d->ndims > max_dims ? nullptr : d;
}

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

// Reads the variables of a run's model part (the run current, its model
// published) and its axes. False when the run or its model cannot be read.
bool collect(int run, run_info& out) {
    run_lock l(run);
    if (!l || !l->symbols) return false;
    const run_side* side = cur_side();
    if (!side) return false;
    out.times = side->time_axis;
    out.data_times = side->data_axis;
    model_lock_guard g(l->symbols, 0);
    if (!g.ok() || !model_hdr || !model_alpha) return false;
    for (int k = 0; k < model_alpha_count; ++k) {
        const symbol_id id = model_alpha[k];
        if (!valid_symbol(id)) continue;
        const symbol_record* r = sym(id);
        if (!compared_type(r->type)) continue;
        const dim_record* d = checked_dims(id);
        if (!d) continue;
        var_info v;
        v.name = sym_name(id);
        v.type = r->type;
        v.mixed = (r->flags & sf_mixed_types) != 0;
        v.ndims = d->ndims;
        v.count = std::max<std::uint32_t>(d->count, 1);
        if (v.count > max_elements) continue;
        std::vector<std::vector<std::string>> subs(d->ndims);
        bool ok = true;
        for (std::uint32_t n = 0; n < d->ndims && ok; ++n)
            ok = range_names(d->d[n].range, subs[n]) && d->d[n].stride != 0 && d->d[n].count != 0;
        if (!ok) continue;
        v.elems.resize(v.count);
        for (std::uint32_t e = 0; e < v.count; ++e) {
            elem_info& el = v.elems[e];
            el.name = v.name;
            if (d->ndims) {
                el.name += '[';
                for (std::uint32_t n = 0; n < d->ndims; ++n) {
                    std::uint32_t pos = e / d->d[n].stride % d->d[n].count;
                    if (n) el.name += ',';
                    el.name += pos < subs[n].size() ? subs[n][pos] : "?";
                }
                el.name += ']';
            }
            if (r->slot < 0) continue;
            const std::uint64_t slot = static_cast<std::uint64_t>(r->slot) + e;
            if (v.type == st_lookup) {
                if (slot < side->lookups) {
                    el.slot = static_cast<int>(slot);
                    el.type_byte = st_lookup;
                }
            } else if (slot < side->slots && slot < side->slot_types.size()) {
                el.slot = static_cast<int>(slot);
                el.type_byte = side->slot_types[static_cast<std::size_t>(slot)];
            }
        }
        out.by_name.emplace(fold(v.name), out.vars.size());
        out.vars.push_back(std::move(v));
    }
    return true;
}

// The element of w named like e (same position first), null when none.
const elem_info* matching_elem(const var_info& w, std::size_t pos, const elem_info& e) {
    if (pos < w.elems.size() && name_cmp(w.elems[pos].name.c_str(), e.name.c_str()) == 0)
        return &w.elems[pos];
    if (w.by_elem.empty())
        for (std::size_t k = 0; k < w.elems.size(); ++k)
            w.by_elem.emplace(fold(w.elems[k].name), k);
    auto it = w.by_elem.find(fold(e.name));
    return it == w.by_elem.end() ? nullptr : &w.elems[it->second];
}

// Whether two values differ: exactly, or with tolerances when either is set
// (then a difference with NA on one side always counts).
bool differ(float x, float y, float rel, float abs) {
    if (x == y) return false;
    if (rel == 0 && abs == 0) return true;
    if (x == NA || y == NA || !std::isfinite(x) || !std::isfinite(y)) return true;
    const double d = std::fabs(static_cast<double>(x) - static_cast<double>(y));
    const double mean = std::fabs((static_cast<double>(x) + static_cast<double>(y)) / 2);
    return d > abs && d > rel * mean;
}

bool single_value(int run, int slot, float& out) {
    run_lock l(run);
    return l && read_single_value(slot, out);
}

// A slot's series over its axis (the run current): data variables NA where
// no value was given, other series repeating their last value. Empty when
// unreadable.
std::vector<float> current_series(int slot, int type_byte) {
    std::vector<float> v;
    if (is_data_byte(type_byte)) {
        std::vector<float> stored;
        std::vector<int> pos;
        if (!read_slot_points(slot, stored, &pos)) return v;
        v.assign(cur_side()->data_axis.size(), NA);
        for (std::size_t k = 0; k < stored.size() && k < pos.size(); ++k)
            if (pos[k] >= 0 && static_cast<std::size_t>(pos[k]) < v.size())
                v[static_cast<std::size_t>(pos[k])] = stored[k];
    } else if (!read_slot_points(slot, v, nullptr)) {
        v.clear();
    }
    return v;
}

// The series of many slots of one run, read while it is current once.
using series_map = std::unordered_map<int, std::vector<float>>;
void read_series(int run, const std::vector<std::pair<int, int>>& slots, series_map& out) {
    run_lock l(run);
    if (!l) return;
    for (const auto& [slot, type_byte] : slots)
        if (!out.count(slot)) out.emplace(slot, current_series(slot, type_byte));
}

void drop_trailing_na(std::vector<float>& v) {
    while (!v.empty() && v.back() == NA) v.pop_back();
}

// The text of one comparison call, kept until the run models are let go.
class cmp_text {
public:
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list ap;
        va_start(ap, format);
        char small[512];
        va_list ap2;
        va_copy(ap2, ap);
        int n = std::vsnprintf(small, sizeof small, format, ap);
        if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
            text_ += small;
        } else if (n > 0) {
            std::string big(static_cast<std::size_t>(n) + 1, '\0');
            std::vsnprintf(big.data(), big.size(), format, ap2);
            big.pop_back();
            text_ += big;
        }
        va_end(ap2);
        va_end(ap);
    }
    void separator() { text_ += compare_separator; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

struct cmp_call {
    const char* name1;
    int run1;
    const char* name2;
    int run2;
    bool reverse;
    int cls;
    float rel, abs;
    cmp_text out;
    int found = 0;
};

void compare_lookup_points(cmp_call& c, const elem_info& e, const elem_info& f) {
    std::vector<float> x1, y1, x2, y2;
    read_run_lookup(e.name.c_str(), c.run1, x1, y1);
    read_run_lookup(f.name.c_str(), c.run2, x2, y2);
    // Lookups are compared exactly, whatever the tolerances.
    if (x1 == x2 && y1 == y2) return;
    ++c.found;
    cmp_text& o = c.out;
    o.printf("%s - has changed in value\n", e.name.c_str());
    if (x1 == x2) {
        o.printf("     %-20s%-20s%-20s\n", "X", c.name1, c.name2);
        for (std::size_t k = 0; k < x1.size(); ++k)
            o.printf("     %-20.4g%-20.4g%-20.4g\n", static_cast<double>(x1[k]),
                     static_cast<double>(y1[k]), static_cast<double>(y2[k]));
    } else {
        o.printf("        %-24s        %-24s\n", c.name1, c.name2);
        o.printf("     %12s | %-12s     %12s | %-12s\n", "X", "Y", "X", "Y");
        const std::size_t common = std::min(x1.size(), x2.size());
        for (std::size_t k = 0; k < common; ++k)
            o.printf("     %12.4g | %-12.4g     %12.4g | %-12.4g\n", static_cast<double>(x1[k]),
                     static_cast<double>(y1[k]), static_cast<double>(x2[k]),
                     static_cast<double>(y2[k]));
        for (std::size_t k = common; k < x1.size(); ++k)
            o.printf("     %12.4g | %-12.4g\n", static_cast<double>(x1[k]),
                     static_cast<double>(y1[k]));
        for (std::size_t k = common; k < x2.size(); ++k)
            o.printf("     %27s    %12.4g|%-12.4g\n", "", static_cast<double>(x2[k]),
                     static_cast<double>(y2[k]));
    }
    o.separator();
}

void compare_lookups(cmp_call& c, const run_info& a, const run_info& b) {
    for (const var_info& v : a.vars) {
        if (v.type != st_lookup) continue;
        auto it = b.by_name.find(fold(v.name));
        if (it == b.by_name.end()) {
            ++c.found;
            c.out.printf("The table %s is not contained in run %s\n", v.name.c_str(), c.name2);
            continue;
        }
        const var_info& w = b.vars[it->second];
        if (w.type != st_lookup) {
            ++c.found;
            c.out.printf("The table %s is not a table in run %s\n", v.name.c_str(), c.name2);
            continue;
        }
        if (v.count != w.count || v.ndims != w.ndims) {
            ++c.found;
            c.out.printf("The table %s has different dimensions in the second run\n",
                         v.name.c_str());
            continue;
        }
        if (c.reverse) continue;
        for (std::size_t k = 0; k < v.elems.size(); ++k) {
            const elem_info* f = matching_elem(w, k, v.elems[k]);
            if (!f) {
                ++c.found;
                c.out.printf("The table %s is not contained in run %s\n", v.elems[k].name.c_str(),
                             c.name2);
                continue;
            }
            compare_lookup_points(c, v.elems[k], *f);
        }
    }
}

// Whether a variable of run 1 takes part in the class.
bool in_class(const var_info& v, int cls) {
    if (v.type == cls) return true;
    if ((cls == st_game || v.mixed) &&
        (v.type == st_aux || v.type == st_level || v.type == st_data))
        for (const elem_info& e : v.elems)
            if (byte_is(e.type_byte, cls)) return true;
    return false;
}

void compare_series(cmp_call& c, const elem_info& e, const elem_info& f, std::size_t limit,
                    const std::vector<float>& axis, const series_map& s1, const series_map& s2) {
    auto it1 = s1.find(e.slot);
    auto it2 = s2.find(f.slot);
    std::vector<float> x = it1 == s1.end() ? std::vector<float>() : it1->second;
    std::vector<float> y = it2 == s2.end() ? std::vector<float>() : it2->second;
    const std::size_t n = std::min({x.size(), y.size(), limit});
    cmp_text& o = c.out;
    if (n == 0) {
        drop_trailing_na(x);
        drop_trailing_na(y);
        if (x.empty() && y.empty()) return;
        ++c.found;
        o.printf("%s - %srun has no values\n", e.name.c_str(), x.empty() ? "first " : "second ");
        o.separator();
        return;
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (!differ(x[k], y[k], c.rel, c.abs)) continue;
        ++c.found;
        const double t = k < axis.size() ? static_cast<double>(axis[k]) : static_cast<double>(k);
        o.printf("%s - has different values at time %g and perhaps beyond\n", e.name.c_str(), t);
        o.printf("     %-12.6g  %s\n", static_cast<double>(x[k]), c.name1);
        o.printf("     %-12.6g  %s\n", static_cast<double>(y[k]), c.name2);
        o.separator();
        return;
    }
}

void compare_class(cmp_call& c, const run_info& a, const run_info& b) {
    const int cls = c.cls;
    // The time axes of series classes: values are compared only over the
    // leading times both runs share.
    bool values = true;
    std::size_t limit = 0;
    const bool data = cls == st_data && !a.data_times.empty() && !b.data_times.empty();
    const std::vector<float>& ta = data ? a.data_times : a.times;
    const std::vector<float>& tb = data ? b.data_times : b.times;
    if (cls < st_initial) {
        if (cls == st_data && a.data_times.empty() != b.data_times.empty()) {
            values = false;
        } else {
            const std::size_t common = std::min(ta.size(), tb.size());
            while (limit < common && ta[limit] == tb[limit]) ++limit;
            if (limit == 0 && (common > 0 || ta.size() != tb.size())) values = false;
        }
        const bool note =
            !values || limit < std::min(ta.size(), tb.size()) || ta.size() != tb.size();
        if (note && !c.reverse) {
            ++c.found;
            if (!values)
                c.out.printf("Time axes different, not able to compare values\n");
            else
                c.out.printf("Time axes may differ - comparing only to time %g\n",
                             static_cast<double>(ta[limit - 1]));
            c.out.separator();
        }
    }
    // The series to compare, read with each run current once.
    series_map s1, s2;
    if (values && !c.reverse && cls != st_constant && cls != st_initial) {
        std::vector<std::pair<int, int>> want1, want2;
        for (const var_info& v : a.vars) {
            if (!in_class(v, cls)) continue;
            auto it = b.by_name.find(fold(v.name));
            if (it == b.by_name.end()) continue;
            const var_info& w = b.vars[it->second];
            if ((v.type == cls && w.type != cls) || v.count != w.count || v.ndims != w.ndims)
                continue;
            for (std::size_t k = 0; k < v.elems.size(); ++k) {
                const elem_info& e = v.elems[k];
                if (!byte_is(e.type_byte, cls)) continue;
                const elem_info* f = matching_elem(w, k, e);
                if (!f || !byte_is(f->type_byte, cls)) continue;
                want1.emplace_back(e.slot, e.type_byte);
                want2.emplace_back(f->slot, f->type_byte);
            }
        }
        read_series(c.run1, want1, s1);
        read_series(c.run2, want2, s2);
    }
    for (const var_info& v : a.vars) {
        if (!in_class(v, cls)) continue;
        auto it = b.by_name.find(fold(v.name));
        if (it == b.by_name.end()) {
            ++c.found;
            c.out.printf("-%s- in run %s is not contained in run %s\n", v.name.c_str(), c.name1,
                         c.name2);
            c.out.separator();
            continue;
        }
        const var_info& w = b.vars[it->second];
        if (v.type == cls && w.type != cls) {
            ++c.found;
            c.out.separator();
            c.out.printf("-%s- in run %s is of different type in run %s\n", v.name.c_str(), c.name1,
                         c.name2);
            c.out.separator();
            continue;
        }
        if (v.count != w.count || v.ndims != w.ndims) {
            ++c.found;
            c.out.separator();
            c.out.printf("%s has different dimensions in run %s\n", v.name.c_str(), c.name2);
            c.out.separator();
            continue;
        }
        for (std::size_t k = 0; k < v.elems.size(); ++k) {
            const elem_info& e = v.elems[k];
            if (!byte_is(e.type_byte, cls)) continue;
            const elem_info* f = matching_elem(w, k, e);
            if (!f || !byte_is(f->type_byte, cls)) {
                ++c.found;
                c.out.printf("-%s- of run %s has different type in run %s\n", e.name.c_str(),
                             c.name1, c.name2);
                continue;
            }
            if (c.reverse) continue;
            if (cls == st_constant || cls == st_initial) {
                float x = NA, y = NA;
                const bool hx = single_value(c.run1, e.slot, x);
                const bool hy = single_value(c.run2, f->slot, y);
                if (hx == hy && !differ(x, y, c.rel, c.abs)) continue;
                ++c.found;
                c.out.printf("%s - has changed in value\n", e.name.c_str());
                c.out.printf("     %-12.6g  %s\n", static_cast<double>(x), c.name1);
                c.out.printf("     %-12.6g  %s\n", static_cast<double>(y), c.name2);
            } else if (values) {
                compare_series(c, e, *f, limit, ta, s1, s2);
            }
        }
    }
}

} // namespace

int compare_runs(const char* name1, int run1, const char* name2, int run2, int reverse, int cls,
                 float rel, float abs) {
    if (!name1) name1 = "";
    if (!name2) name2 = "";
    if (run1 == run2) {
        report(8, "Trying to compare a run with itself");
        return -1;
    }
    const char t1 = run_type(run1);
    if (!t1) {
        report(8, "Unable to find run1");
        return -1;
    }
    if (!timed_type(t1)) {
        report(8, "Run1 is not from a simulation");
        return -1;
    }
    const char t2 = run_type(run2);
    if (!t2) {
        report(8, "Unable to find run2");
        return -1;
    }
    if (!timed_type(t2)) {
        report(8, "Run is not from a simulation");
        return -1;
    }
    handle symbols1 = 0;
    {
        run_lock l(run1);
        if (l) symbols1 = l->symbols;
    }
    cmp_call c{name1, run1, name2, run2, reverse != 0, cls, rel, abs, {}, 0};
    int unreadable = 0;
    {
        // Run 1's model part stays published for the whole comparison (the
        // accessors on run 1 then find it in place); nothing inside shows a
        // message or pumps, so no paint reads the open model meanwhile. The
        // guard puts the open model back on every way out.
        model_lock_guard hold(symbols1, 0);
        run_info a, b;
        if (!hold.ok() || !collect(run1, a))
            unreadable = 1;
        else if (!collect(run2, b))
            unreadable = 2;
        else if (cls == st_lookup)
            compare_lookups(c, a, b);
        else
            compare_class(c, a, b);
    }
    if (unreadable) {
        report(8, unreadable == 1 ? "Unable to find run1" : "Unable to find run2");
        return -1;
    }
    if (!c.out.text().empty()) {
        if (compare_header_hook) compare_header_hook(name1, name2);
        doc_puts(c.out.text().c_str());
    }
    return c.found;
}
