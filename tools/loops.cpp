// Feedback loops through a variable.
#include "tools/loops.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "foundation/docwriter.h"
#include "foundation/report.h"
#include "model/references.h"
#include "model/varnames.h"
#include "sim/simdata.h"

namespace {

// A search result: nothing to be found from here (none), a path-dependent
// answer (a member of the current path was met, or the search was stopped),
// a cut by the depth limit that holds whatever the path, or loops.
enum class found_kind { none, on_path, cut, chain };

struct found {
    found_kind kind = found_kind::none;
    // Loops with their members in reverse order (the deepest first), so that
    // each level of the search appends itself.
    std::vector<std::vector<symbol_id>> loops;
};

class loop_search {
public:
    explicit loop_search(symbol_id root) : root_(root) {}

    found run() {
        found all;
        for (symbol_id u : users(root_)) {
            found r = visit(u, 0);
            if (r.kind == found_kind::chain) merge(all, std::move(r));
            if (halted()) break;
        }
        return all;
    }
    bool capped() const { return capped_; }
    bool stopped() const { return stopped_; }
    bool cut() const { return cut_; }

private:
    // The uses list of a symbol, checked against the uses block.
    static std::vector<symbol_id> users(symbol_id s) {
        std::vector<symbol_id> out;
        if (!model_uses || !valid_symbol(s)) return out;
        std::uint32_t cell = sym(s)->uses;
        std::uint32_t used = block_used_cells(model_uses);
        if (cell < 5 || std::uint64_t{cell} + 1 > used) return out;
        const auto* u = reinterpret_cast<const uses_list*>(model_uses + cell);
        if (std::uint64_t{cell} + 1 + u->count > used) return out;
        for (std::uint32_t i = 0; i < u->count; ++i)
            if (valid_symbol(u->ids[i])) out.push_back(u->ids[i]);
        return out;
    }

    bool halted() const { return capped_ || stopped_; }

    // The newer chain goes in front of the loops held so far.
    static void merge(found& held, found&& next) {
        if (held.kind == found_kind::chain)
            next.loops.insert(next.loops.end(), std::make_move_iterator(held.loops.begin()),
                              std::make_move_iterator(held.loops.end()));
        held = std::move(next);
    }

    found visit(symbol_id s, int depth) {
        if (s == root_) {
            // Counting here, as each loop is completed, lets a dense model stop
            // at the cap instead of building every chain first.
            if (++count_ > loop_count_cap) capped_ = true;
            found f;
            f.kind = found_kind::chain;
            f.loops.emplace_back();
            return f;
        }
        if (halted()) return {found_kind::on_path, {}};
        if ((++polls_ & 0xFFF) == 0 && stop_request) {
            stopped_ = true;
            return {found_kind::on_path, {}};
        }
        symbol_record* r = sym(s);
        if (r->type == st_initial || (r->flags & sf_mark_08)) return {};
        std::vector<symbol_id> next = users(s);
        if (next.empty()) return {};
        if (r->flags & sf_mark_10) return {found_kind::on_path, {}};
        if (depth > loop_depth_limit) {
            cut_ = true;
            return {found_kind::cut, {}};
        }
        if ((r->flags & sf_mark_04) && depth >= r->depth) return {found_kind::cut, {}};

        r->flags |= sf_mark_10;
        found held;
        bool any_cut = false, any_on_path = false;
        for (symbol_id u : next) {
            found f = visit(u, depth + 1);
            switch (f.kind) {
            case found_kind::chain:
                merge(held, std::move(f));
                break;
            case found_kind::cut:
                any_cut = true;
                break;
            case found_kind::on_path:
                any_on_path = true;
                break;
            case found_kind::none:
                break;
            }
            if (halted()) break;
        }
        r = sym(s);
        r->flags &= static_cast<std::uint16_t>(~sf_mark_10);
        if (held.kind == found_kind::chain) {
            for (auto& loop : held.loops) loop.push_back(s);
            return held;
        }
        if (halted() || any_on_path) return {found_kind::on_path, {}};
        if (any_cut) {
            // Only a search that found nothing but depth cuts is remembered:
            // from here at this depth or deeper nothing can be found, whatever
            // the path. A search that found loops, or that met the current
            // path, says nothing about a later visit.
            r->flags |= sf_mark_04;
            r->depth = static_cast<std::uint16_t>(depth);
            return {found_kind::cut, {}};
        }
        r->flags |= sf_mark_08;
        return {};
    }

    symbol_id root_;
    int count_ = 0;
    unsigned polls_ = 0;
    bool capped_ = false;
    bool stopped_ = false;
    bool cut_ = false;
};

// Whether any equation of user refers to var outside its initial-value parts:
// a link through an initial value is no feedback.
bool refers_to(symbol_id user, symbol_id var) {
    bool hit = false;
    int k = 0;
    for (equation_record* e = first_equation(user); e && !hit && k < max_equations_per_symbol;
         e = next_equation(e), ++k)
        for_each_reference(e, false, true, [&](int, symbol_id v) { hit = hit || v == var; });
    return hit;
}

bool loop_holds(symbol_id var, const std::vector<symbol_id>& loop) {
    symbol_id before = var;
    for (symbol_id m : loop) {
        if (!refers_to(m, before)) return false;
        before = m;
    }
    return refers_to(var, before);
}

} // namespace

bool loop_variable_type(symbol_id var) {
    if (!valid_symbol(var)) return false;
    int t = sym(var)->type;
    return t == st_aux || t == st_level;
}

int find_loops(symbol_id var, bool show_all, loop_list& out) {
    out = loop_list{};
    if (!loop_variable_type(var)) return 0;
    clear_var_flag(sf_mark_04 | sf_mark_08 | sf_mark_10);
    loop_search search(var);
    found all = search.run();
    out.capped = search.capped();
    out.stopped = search.stopped();
    out.cut = search.cut();
    clear_var_flag(sf_mark_04 | sf_mark_08 | sf_mark_10);

    for (auto& loop : all.loops) {
        std::reverse(loop.begin(), loop.end());
        if (!loop_holds(var, loop)) continue;
        ++out.checked;
        if (static_cast<int>(out.loops.size()) < loop_table_max)
            out.loops.push_back(std::move(loop));
    }
    if (out.checked > loop_table_max)
        report(8, "Too many (%d) loops - truncating to %d", out.checked, loop_table_max);

    if (!show_all)
        for (auto& loop : out.loops)
            std::erase_if(loop, [](symbol_id m) { return (sym(m)->flags & sf_hidden) != 0; });
    std::stable_sort(out.loops.begin(), out.loops.end(),
                     [](const auto& a, const auto& b) { return a.size() < b.size(); });
    if (!show_all) {
        // Equal lengths come in no particular order, so a repeat is looked for
        // among every earlier loop, not only the one before it.
        std::set<std::vector<symbol_id>> seen;
        std::erase_if(out.loops, [&](const auto& loop) { return !seen.insert(loop).second; });
    }
    return static_cast<int>(out.loops.size());
}

void write_loops(symbol_id var, const loop_list& list, int count) {
    count = std::min<int>(count, static_cast<int>(list.loops.size()));
    for (int i = 0; i < count; ++i) {
        const auto& loop = list.loops[static_cast<std::size_t>(i)];
        docprintf("Loop Number %d of length %d\n", i + 1, static_cast<int>(loop.size()));
        docprintf("  %s\n", varformat(var, 0));
        for (symbol_id m : loop) docprintf("       %s\n", varformat(m, 0));
    }
}

std::string loops_cut_note(symbol_id var) {
    return "The search was cut at its depth limit of " + std::to_string(loop_longest + 1) +
           " links (loops of up to " + std::to_string(loop_longest) +
           " variables).\nLonger loops through " + varformat(var, 0) +
           " may exist and are not listed.";
}

int loops_text(symbol_id var, bool show_all, const std::function<int(int count)>& ask_more,
               const std::function<bool()>& open) {
    model_lock_guard lock(cur_model_symbols, 1);
    if (!lock.ok()) return 0;
    if (!loop_variable_type(var)) {
        report(8, "Only Auxiliary and Level variables can be involved in feedback loops");
        return 0;
    }
    loop_list list;
    int n = find_loops(var, show_all, list);
    if (n == 0) {
        if (list.cut)
            report(7, "There are no feedback loops involving %s.\n%s", varformat(var, 0),
                   loops_cut_note(var).c_str());
        else
            report(7, "There are no feedback loops involving %s", varformat(var, 0));
        return 0;
    }
    if (n > loops_shown_freely && !(ask_more && ask_more(n))) n = loops_shown_freely;
    if (open && !open()) return 0;
    if (list.cut) docprintf("%s\n", loops_cut_note(var).c_str());
    write_loops(var, list, n);
    return n;
}
