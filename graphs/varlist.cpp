// Variable lists and series of the multi-variable graphs: see varlist.h.
#include "graphs/varlist.h"

#include "foundation/names.h"
#include "model/trees.h"
#include "model/varnames.h"
#include "runs/core/access.h"

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

std::vector<std::string> graph_variable_list(symbol_id var, int choice,
                                             const std::uint8_t tree_kinds[9]) {
    std::vector<std::string> out;
    if (!var) return out;
    add_elements(var, out);
    if (choice != 0 && choice != 1) return out;
    int saved[9];
    std::copy(std::begin(tree_kind_flags), std::end(tree_kind_flags), saved);
    for (int i = 0; i < 9; ++i) tree_kind_flags[i] = tree_kinds ? tree_kinds[i] : 1;
    symbol_id found[4096];
    const int n = choice == 0 ? symbol_causes(var, found, 4096) : symbol_uses(var, found, 4096);
    std::vector<symbol_id> kept;
    for (int i = 0; i < n; ++i) {
        const symbol_id s = found[i];
        const symbol_record* r = sym(s);
        if (!r || s == var) continue;
        // Values only: lookups, strings, test inputs and constraints are not graphs.
        if (r->type == 0 || r->type > 24 || r->slot < 0) continue;
        if (!tree_kind_shown(r->type)) continue;
        kept.push_back(s);
    }
    std::copy(std::begin(saved), std::end(saved), tree_kind_flags);
    // By name, as the trees list them.
    std::sort(kept.begin(), kept.end(), [](symbol_id a, symbol_id b) {
        const std::string na = varformat(a, 0);
        return name_cmp(na.c_str(), varformat(b, 0)) < 0;
    });
    for (symbol_id s : kept) add_elements(s, out);
    return out;
}

std::vector<std::string> all_variables_list(const std::uint8_t tree_kinds[9]) {
    std::vector<std::string> out;
    int saved[9];
    std::copy(std::begin(tree_kind_flags), std::end(tree_kind_flags), saved);
    for (int i = 0; i < 9; ++i) tree_kind_flags[i] = tree_kinds ? tree_kinds[i] : 1;
    int count = 0;
    const symbol_id* alpha = alpha_index(&count);
    for (int i = 0; alpha && i < count; ++i) {
        const symbol_record* r = sym(alpha[i]);
        if (!r || r->type == 0 || r->type > 24 || r->slot < 0) continue;
        if (!tree_kind_shown(r->type)) continue;
        add_elements(alpha[i], out);
    }
    std::copy(std::begin(saved), std::end(saved), tree_kind_flags);
    return out;
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
