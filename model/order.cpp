// Equation ordering (see order.h).
#include "model/order.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "foundation/report.h"
#include "model/check.h"
#include "model/constants.h"

bool order_nodes(const std::vector<order_node>& nodes, std::vector<int>& out,
                 std::vector<int>* loop) {
    out.clear();
    if (loop) loop->clear();
    const std::size_t limit = static_cast<std::size_t>(std::max(1, max_check_depth)) * 50;
    std::vector<std::uint8_t> state(nodes.size(), 0); // 0 new, 1 on the path, 2 placed
    struct frame {
        int node;
        std::size_t next;
    };
    std::vector<frame> path;
    for (std::size_t start = 0; start < nodes.size(); ++start) {
        if (state[start]) continue;
        path.push_back({static_cast<int>(start), 0});
        state[start] = 1;
        while (!path.empty()) {
            frame& f = path.back();
            const auto& deps = nodes[static_cast<std::size_t>(f.node)].deps;
            if (f.next < deps.size()) {
                int d = deps[f.next++];
                if (d < 0 || static_cast<std::size_t>(d) >= nodes.size() || state[d] == 2) continue;
                if (state[d] == 1) {
                    if (loop) {
                        auto it = std::find_if(path.begin(), path.end(),
                                               [d](const frame& x) { return x.node == d; });
                        for (; it != path.end(); ++it) loop->push_back(it->node);
                    }
                    return false;
                }
                if (path.size() >= limit) {
                    report(5, "%s", too_much_recursion_text);
                    return false;
                }
                state[d] = 1;
                path.push_back({d, 0});
                continue;
            }
            state[f.node] = 2;
            out.push_back(f.node);
            path.pop_back();
        }
    }
    return true;
}

namespace {

bool overlaps(const std::vector<std::uint32_t>& sorted_a, const std::vector<std::uint32_t>& b) {
    for (auto x : b)
        if (std::binary_search(sorted_a.begin(), sorted_a.end(), x)) return true;
    return false;
}

// Orders the units of one pass; false after a message.
bool order_pass(sim_program& p, const std::vector<int>& members, bool initial,
                std::vector<int>& result) {
    // The units computing each variable in this pass.
    // (A hidden unit is read by its host alone, never through its symbol.)
    std::map<symbol_id, std::vector<int>> by_sym;
    for (std::size_t i = 0; i < members.size(); ++i)
        if (!p.units[static_cast<std::size_t>(members[i])].hidden)
            by_sym[p.units[static_cast<std::size_t>(members[i])].sym].push_back(
                static_cast<int>(i));
    std::vector<std::vector<std::uint32_t>> sorted_targets(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        sorted_targets[i] = p.units[static_cast<std::size_t>(members[i])].targets;
        std::sort(sorted_targets[i].begin(), sorted_targets[i].end());
    }
    std::vector<order_node> nodes(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const code_unit& u = p.units[static_cast<std::size_t>(members[i])];
        for (const unit_read& r : u.reads) {
            if (!initial && !r.dynamic) continue;
            if (initial && !r.initial) continue;
            auto it = by_sym.find(r.sym);
            if (it == by_sym.end()) continue;
            for (int j : it->second) {
                if (it->second.size() > 1 && !r.elements.empty() &&
                    !overlaps(sorted_targets[static_cast<std::size_t>(j)], r.elements))
                    continue;
                if (static_cast<std::size_t>(j) == i && !r.elements.empty() &&
                    !overlaps(sorted_targets[i], r.elements))
                    continue;
                nodes[i].deps.push_back(j);
            }
        }
    }
    std::vector<int> order, loop;
    if (!order_nodes(nodes, order, &loop)) {
        if (loop.empty()) return false;
        std::string names;
        for (int k : loop)
            names +=
                std::string(sym_name(p.units[static_cast<std::size_t>(members[k])].sym)) + " -> ";
        names += sym_name(p.units[static_cast<std::size_t>(members[loop[0]])].sym);
        report(5, "%s: %s",
               initial ? "Simultaneous initial value equations" : "Simultaneous equations",
               names.c_str());
        return false;
    }
    result.clear();
    for (int k : order) result.push_back(members[static_cast<std::size_t>(k)]);
    return true;
}

} // namespace

int order_program(handle symbols, sim_program& p, bool behaviour_tests) {
    model_lock_guard g(symbols, 0);
    if (!g.ok()) return 0;
    std::vector<int> init, dyn, test_inputs;
    p.rate_order.clear();
    p.constraints.clear();
    p.test_initial_order.clear();
    p.test_dynamic_order.clear();
    p.tests_ordered = behaviour_tests;
    for (std::size_t i = 0; i < p.units.size(); ++i) {
        const code_unit& u = p.units[i];
        int k = static_cast<int>(i);
        switch (u.kind) {
        case uk_value:
            // Test inputs come after every other value (nothing else may read
            // them), so they are ordered among themselves.
            if (u.type == st_test_input) {
                if (behaviour_tests) test_inputs.push_back(k);
                break;
            }
            init.push_back(k);
            if (u.type <= st_last_dynamic || u.hidden) dyn.push_back(k);
            break;
        case uk_level_init:
            init.push_back(k);
            break;
        case uk_level_rate:
        case uk_state_rate:
            p.rate_order.push_back(k);
            break;
        case uk_constraint:
            p.constraints.push_back(k);
            break;
        }
    }
    bool ok = order_pass(p, init, true, p.initial_order);
    ok = order_pass(p, dyn, false, p.dynamic_order) && ok;
    if (!test_inputs.empty()) {
        ok = order_pass(p, test_inputs, true, p.test_initial_order) && ok;
        ok = order_pass(p, test_inputs, false, p.test_dynamic_order) && ok;
    }
    restamp_program(p);
    return ok ? 1 : 0;
}

void restamp_program(sim_program& p) {
    static std::atomic<std::uint64_t> stamps{0};
    p.stamp = ++stamps;
}
