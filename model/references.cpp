// The references of an equation: the variables and elements it names.
#include "model/references.h"

#include <cstdint>
#include <vector>

#include "model/varnames.h"

namespace {

// Positions of every dimension of var for one of its elements.
std::vector<std::uint32_t> positions_of(const dim_record* d, std::uint32_t element) {
    std::vector<std::uint32_t> p(d->ndims);
    for (std::uint32_t i = 0; i < d->ndims; ++i) p[i] = (element / d->d[i].stride) % d->d[i].count;
    return p;
}

// The subscripts of the left-hand side of an equation (symbols, one per
// dimension; empty for an unsubscripted one).
std::vector<symbol_id> lhs_subscripts(const node_view& v) {
    std::vector<symbol_id> subs;
    int lhs = v.child(0);
    while (lhs >= 0 && v.at(lhs).code == nc_comment) lhs = v.next(lhs);
    if (lhs < 0 || v.at(lhs).code != nc_subscripted) return subs;
    int c = v.child(lhs);
    for (int s = c >= 0 ? v.next(c) : -1; s >= 0 && subs.size() <= max_dims; s = v.next(s))
        if (v.at(s).code != nc_comment) subs.push_back(v.at(s).operand);
    return subs;
}

} // namespace

equation_record* equation_for_element(symbol_id var, std::uint32_t element, int* position) {
    if (position) *position = -1;
    const dim_record* d = safe_dims(var);
    if (!d || element >= d->count) return nullptr;
    std::vector<std::uint32_t> pos = positions_of(d, element);
    int k = 0;
    for (equation_record* e = first_equation(var); e && k < max_equations_per_symbol;
         e = next_equation(e), ++k) {
        node_view v = equation_nodes(e);
        if (!v.ok(0)) continue;
        std::vector<symbol_id> subs = lhs_subscripts(v);
        bool match = true;
        if (!subs.empty()) {
            if (subs.size() != d->ndims) continue;
            for (std::uint32_t i = 0; i < d->ndims && match; ++i) {
                symbol_id el = range_element_at(d->d[i].range, static_cast<int>(pos[i]));
                symbol_id s = subs[i];
                if (s == el) continue;
                if (!valid_symbol(s)) {
                    match = false;
                } else if (sym(s)->type == st_range) {
                    match = s == d->d[i].range || safe_element_position(s, el) >= 0;
                } else {
                    match = false;
                }
            }
        }
        if (match) {
            if (position) *position = k;
            return e;
        }
    }
    return nullptr;
}

void referenced_elements(equation_record* e, int node, symbol_id owner, std::uint32_t element,
                         std::vector<std::uint32_t>& out, std::size_t max_elements) {
    node_view v = equation_nodes(e);
    if (!v.ok(node)) return;
    symbol_id var = 0;
    std::vector<int> sub_nodes;
    const expr_node& n = v.at(node);
    if (n.code == nc_subscripted) {
        int c = v.child(node);
        while (c >= 0 && v.at(c).code == nc_comment) c = v.next(c);
        if (c < 0) return;
        var = v.at(c).operand;
        for (int s = v.next(c); s >= 0 && sub_nodes.size() <= max_dims; s = v.next(s))
            if (v.at(s).code != nc_comment) sub_nodes.push_back(s);
    } else {
        var = n.operand;
    }
    const dim_record* xd = valid_symbol(var) ? safe_dims(var) : nullptr;
    if (!xd) return;
    const dim_record* od = safe_dims(owner);
    std::vector<symbol_id> owner_elems; // the owner's element per dimension
    std::vector<symbol_id> owner_subs = lhs_subscripts(v);
    if (od && element < od->count) {
        std::vector<std::uint32_t> p = positions_of(od, element);
        for (std::uint32_t i = 0; i < od->ndims; ++i)
            owner_elems.push_back(range_element_at(od->d[i].range, static_cast<int>(p[i])));
    }
    // The owner's element that stands for range r in this equation, 0 when none.
    auto owner_element_for = [&](symbol_id r) -> symbol_id {
        for (std::size_t i = 0; i < owner_elems.size(); ++i)
            if (od->d[i].range == r || (i < owner_subs.size() && owner_subs[i] == r))
                return owner_elems[i];
        for (symbol_id el : owner_elems)
            if (safe_element_position(r, el) >= 0) return el;
        return 0;
    };
    bool all = !sub_nodes.empty() && sub_nodes.size() != xd->ndims;
    std::vector<std::vector<std::uint32_t>> sets(xd->ndims);
    for (std::uint32_t j = 0; j < xd->ndims; ++j) {
        symbol_id xr = xd->d[j].range;
        std::vector<std::uint32_t>& set = sets[j];
        auto add_all = [&]() {
            set.clear();
            for (std::uint32_t k = 0; k < xd->d[j].count; ++k) set.push_back(k);
        };
        if (all) {
            add_all();
            continue;
        }
        symbol_id s = sub_nodes.empty() ? xr : v.at(sub_nodes[j]).operand;
        int code = sub_nodes.empty() ? int{nc_symbol} : int{v.at(sub_nodes[j]).code};
        if (!valid_symbol(s)) {
            add_all();
            continue;
        }
        if (sym(s)->type == st_element) {
            int p = safe_element_position(xr, s);
            if (p >= 0 && static_cast<std::uint32_t>(p) < xd->d[j].count)
                set.push_back(static_cast<std::uint32_t>(p));
            else
                add_all();
            continue;
        }
        if (sym(s)->type != st_range) {
            add_all();
            continue;
        }
        if (code == nc_sum_sub) {
            const element_list* l = safe_range_elements(s);
            for (std::uint32_t k = 0; l && k < l->count; ++k) {
                int p = s == xr ? static_cast<int>(k) : safe_element_position(xr, l->ids[k]);
                if (p >= 0 && static_cast<std::uint32_t>(p) < xd->d[j].count)
                    set.push_back(static_cast<std::uint32_t>(p));
            }
            if (set.empty()) add_all();
            continue;
        }
        symbol_id el = owner_element_for(s);
        int p = el ? safe_element_position(xr, el) : -1;
        if (p >= 0 && static_cast<std::uint32_t>(p) < xd->d[j].count)
            set.push_back(static_cast<std::uint32_t>(p));
        else
            add_all();
    }
    // The product of the sets.
    std::vector<std::size_t> idx(sets.size(), 0);
    for (std::size_t produced = 0; produced < max_elements; ++produced) {
        std::uint32_t off = 0;
        for (std::size_t j = 0; j < sets.size(); ++j) {
            if (sets[j].empty()) return;
            off += sets[j][idx[j]] * xd->d[j].stride;
        }
        out.push_back(off);
        std::size_t k = sets.size();
        for (;;) {
            if (k == 0) return;
            --k;
            if (++idx[k] < sets[k].size()) break;
            idx[k] = 0;
        }
    }
}

void for_each_reference(equation_record* e, bool init_parts, bool lookups,
                        const std::function<void(int node, symbol_id var)>& fn) {
    node_view v = equation_nodes(e);
    if (!v.ok(0)) return;
    int kind = v.at(0).code;
    if (kind == nc_range_def || kind == nc_lookup_eq) return;
    // The body: every child of the root after the left-hand side.
    std::vector<int> stack;
    int lhs = v.child(0);
    while (lhs >= 0 && v.at(lhs).code == nc_comment) lhs = v.next(lhs);
    if (lhs < 0) return;
    std::vector<int> body;
    for (int c = v.next(lhs); c >= 0 && body.size() < v.count; c = v.next(c))
        if (v.at(c).code != nc_comment) body.push_back(c);
    if (kind == nc_level_eq && !init_parts && body.size() > 1)
        body.erase(body.begin() + 1, body.end()); // resize(1) trips GCC 12's -Warray-bounds at -O3
    for (auto it = body.rbegin(); it != body.rend(); ++it) stack.push_back(*it);
    std::size_t visits = 0;
    while (!stack.empty() && visits++ < 4ull * v.count + 16) {
        int i = stack.back();
        stack.pop_back();
        const expr_node& n = v.at(i);
        switch (n.code) {
        case nc_ref:
            if (valid_symbol(n.operand) && is_variable_type(sym(n.operand)->type)) fn(i, n.operand);
            continue;
        case nc_subscripted: {
            int c = v.child(i);
            while (c >= 0 && v.at(c).code == nc_comment) c = v.next(c);
            if (c >= 0 && valid_symbol(v.at(c).operand) &&
                is_variable_type(sym(v.at(c).operand)->type))
                fn(i, v.at(c).operand);
            continue;
        }
        case nc_symbol:
            // A lookup named as a table (a lookup function's first argument).
            if (lookups && valid_symbol(n.operand) && sym(n.operand)->type == st_lookup)
                fn(i, n.operand);
            continue;
        case nc_lookup_call: {
            int l = v.child(i);
            while (l >= 0 && v.at(l).code == nc_comment) l = v.next(l);
            if (l < 0) continue;
            int x = v.next(l);
            if (x >= 0) stack.push_back(x);
            if (lookups) stack.push_back(l);
            continue;
        }
        case nc_arglist: {
            std::vector<int> args;
            for (int a = v.child(i); a >= 0 && args.size() < v.count; a = v.next(a)) {
                if (v.at(a).code == nc_init_mark) {
                    if (!init_parts) break;
                    continue;
                }
                args.push_back(a);
            }
            for (auto it = args.rbegin(); it != args.rend(); ++it) stack.push_back(*it);
            continue;
        }
        default:
            break;
        }
        std::vector<int> kids;
        for (int c = v.child(i); c >= 0 && kids.size() < v.count; c = v.next(c)) kids.push_back(c);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
    }
}
