// Variable lists and series of the multi-variable graphs: see varlist.h.
#include "graphs/varlist.h"

#include "foundation/names.h"
#include "model/constants.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "runs/access.h"

#include <algorithm>
#include <string>

namespace {

void add_elements(symbol_id s, std::vector<std::string>& out) {
    const char** list = nullptr;
    const int n = var_element_names(s, &list, 0);
    for (int i = 0; i < n && list; ++i)
        if (list[i] && std::find(out.begin(), out.end(), list[i]) == out.end())
            out.emplace_back(list[i]);
}

} // namespace

namespace {

// Where a symbol goes: 1 a value graph, 2 a lookup graph, 0 none.
int graph_kind_of(symbol_id s) {
    const symbol_record* r = sym(s);
    if (!r || r->slot < 0) return 0;
    if (r->type == st_lookup) return 2;
    return r->type >= 1 && r->type <= 24 ? 1 : 0;
}

// Sets the tree filter's kinds for the life of the guard.
struct kinds_guard {
    int saved[9];
    explicit kinds_guard(const std::uint8_t kinds[9]) {
        std::copy(std::begin(tree_kind_flags), std::end(tree_kind_flags), saved);
        for (int i = 0; i < 9; ++i) tree_kind_flags[i] = kinds ? kinds[i] : 1;
    }
    ~kinds_guard() { std::copy(std::begin(saved), std::end(saved), tree_kind_flags); }
};

void place(symbol_id s, std::vector<std::string>& out, std::vector<std::string>* lookups) {
    const int kind = graph_kind_of(s);
    if (kind == 1) add_elements(s, out);
    if (kind == 2 && lookups) add_elements(s, *lookups);
}

} // namespace

std::vector<std::string> graph_variable_list(symbol_id var, int choice,
                                             const std::uint8_t tree_kinds[9],
                                             std::vector<std::string>* lookups) {
    std::vector<std::string> out;
    if (lookups) lookups->clear();
    if (!var) return out;
    place(var, out, lookups);
    if (choice != 0 && choice != 1) return out;
    kinds_guard guard(tree_kinds);
    symbol_id found[4096];
    const int n = choice == 0 ? symbol_causes(var, found, 4096) : symbol_uses(var, found, 4096);
    std::vector<symbol_id> kept;
    for (int i = 0; i < n; ++i) {
        const symbol_id s = found[i];
        if (s == var || !graph_kind_of(s) || !tree_kind_shown(sym(s)->type)) continue;
        kept.push_back(s);
    }
    // By name, as the trees list them.
    std::sort(kept.begin(), kept.end(), [](symbol_id a, symbol_id b) {
        const std::string na = varformat(a, 0);
        return name_cmp(na.c_str(), varformat(b, 0)) < 0;
    });
    for (symbol_id s : kept) place(s, out, lookups);
    return out;
}

std::vector<std::string> all_variables_list(const std::uint8_t tree_kinds[9],
                                            std::vector<std::string>* lookups) {
    std::vector<std::string> out;
    if (lookups) lookups->clear();
    kinds_guard guard(tree_kinds);
    int count = 0;
    const symbol_id* alpha = alpha_index(&count);
    for (int i = 0; alpha && i < count; ++i)
        if (graph_kind_of(alpha[i]) && tree_kind_shown(sym(alpha[i])->type))
            place(alpha[i], out, lookups);
    return out;
}

int sane_graph_mm(int mm) {
    return std::clamp(mm, 1, 10000);
}

int read_lookup_points(const char* name, int run, std::vector<float>& x, std::vector<float>& y) {
    x.clear();
    y.clear();
    if (run < 0) return 0;
    read_run_lookup(name, run, x, y);
    const std::size_t n = std::min(x.size(), y.size());
    x.resize(n);
    y.resize(n);
    return static_cast<int>(n);
}

int read_series_or_constant(const char* name, const char* xname, int run, double t0, double t1,
                            std::vector<float>& values, std::vector<float>& times) {
    values.clear();
    times.clear();
    read_run_values(name, xname, run, values, times);
    if (values.empty()) {
        float v = NA;
        if (run_constant_value(name, run, &v) == 1) values.assign(1, v);
    }
    if (values.size() == 1) {
        values.assign(2, values[0]);
        times.assign({static_cast<float>(t0), static_cast<float>(t1)});
    }
    return static_cast<int>(values.size());
}
