// Code generation (see codegen.h and docs/formats/eq-code.md).
#include "model/codegen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "foundation/report.h"
#include "model/constants.h"
#include "model/eqtext.h"

std::string element_text(symbol_id id, std::uint32_t offset) {
    if (!valid_symbol(id)) return "error";
    std::string s = sym_name(id);
    const dim_record* d = sym_dims(id);
    if (!d->ndims) return s;
    s += '[';
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        std::uint32_t stride = d->d[i].stride ? d->d[i].stride : 1;
        std::uint32_t pos = d->d[i].count ? (offset / stride) % d->d[i].count : 0;
        const element_list* l = range_elements(d->d[i].range);
        if (i) s += ',';
        s += l && pos < l->count && valid_symbol(l->ids[pos]) ? sym_name(l->ids[pos]) : "?";
    }
    return s + ']';
}

int position_cache::position(symbol_id range, symbol_id element) {
    auto it = map_.find(range);
    if (it == map_.end()) {
        std::unordered_map<symbol_id, int> m;
        if (const element_list* l = range_elements(range))
            for (std::uint32_t k = 0; k < l->count; ++k) m.emplace(l->ids[k], static_cast<int>(k));
        it = map_.emplace(range, std::move(m)).first;
    }
    auto e = it->second.find(element);
    return e == it->second.end() ? -1 : e->second;
}

namespace {

struct loop_info {
    symbol_id range;
    std::vector<symbol_id> elems;
};

class compiler {
public:
    explicit compiler(sim_program& p) : P(p) {}
    int errors = 0;

    void setup_lookups() {
        std::uint32_t n = model_hdr->w[mh_lookups];
        for (std::uint32_t i = 0; i < n; ++i) {
            const lookup_entry* e = lookup_at(static_cast<int>(i));
            if (e) lookup_index_[{e->symbol, e->element}] = i;
        }
        P.lookups = n;
    }

    // A lookup filled from an outside source.
    void lookup_from_source(symbol_id s) {
        for (std::uint32_t cell = sym(s)->eqn; cell;) {
            equation_record* e = eq_at(cell);
            cell = e->next;
            if (!e->nnodes) continue;
            eq_ = e;
            expr_node* root = eq_nodes(e);
            expr_node* body = node_skip(root);
            if (!body || body->code != nc_call_lookups || !set_loops(s, root)) continue;
            expr_node* f = node_child(body);
            const builtin_function* bf =
                builtin_by_code(static_cast<int>(sym(f->operand)->min & 0xFFFF));
            if (!bf) continue;
            lookup_source src;
            src.function = bf->code;
            src.sym = s;
            int k = 0;
            for (expr_node* a = node_child(node_next(f)); a; a = node_next(a)) {
                if (a->code == nc_init_mark || a->code == nc_comment) continue;
                if (k++ < bf->text_args)
                    src.texts.push_back(literal_text(a));
                else
                    src.numbers.push_back(a->code == nc_number ? as_float(a->operand) : NA);
            }
            for (std::uint32_t off : lhs_offsets_) {
                auto it = lookup_index_.find({s, off});
                src.lookups.push_back(it == lookup_index_.end() ? -1
                                                                : static_cast<int>(it->second));
            }
            P.lookup_sources.push_back(std::move(src));
        }
    }

    void compile_symbol(symbol_id s) {
        int type = sym(s)->type;
        if (type == st_lookup) {
            lookup_from_source(s);
            return;
        }
        if (!has_value_slots(type) && type != st_constraint && type != st_test_input) return;
        if (s == model_hdr->w[mh_time_symbol]) return;
        for (std::uint32_t cell = sym(s)->eqn; cell;) {
            equation_record* e = eq_at(cell);
            std::uint32_t this_cell = cell;
            cell = e->next;
            if (!e->nnodes) continue;
            eq_ = e;
            expr_node* root = eq_nodes(e);
            int kind = root->code;
            if (!set_loops(s, root)) continue;
            expr_node* body = node_skip(root);
            if (kind == nc_level_eq) {
                expr_node* init = body ? node_skip_comments(node_next(body)) : nullptr;
                unit(s, this_cell, uk_level_rate, type, body);
                unit(s, this_cell, uk_level_init, type, init);
            } else {
                unit(s, this_cell, type == st_constraint ? uk_constraint : uk_value, type, body);
            }
        }
    }

    // Test inputs have no model slot: each gets a place in the engine's own
    // values after the held values (its offset from their start here, the
    // base added by finish once the held values are counted).
    void setup_test_inputs() {
        std::uint32_t end = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells) {
            if (!valid_symbol(s) || sym(s)->type != st_test_input) continue;
            test_offset_[s] = P.test_input_values;
            P.test_input_values += sym_dims(s)->count;
        }
    }

    void finish() {
        std::uint32_t held_base = P.value_slots + P.hidden_states;
        for (auto [u, pos] : held_fixups_) P.units[u].code[pos] += held_base;
        std::uint32_t test_base = held_base + P.held_values;
        for (auto [u, pos] : test_fixups_) P.units[u].code[pos] += test_base;
    }

private:
    sim_program& P;
    position_cache pos_;
    std::map<std::pair<symbol_id, std::uint32_t>, std::uint32_t> lookup_index_;
    std::vector<std::pair<std::size_t, std::size_t>> held_fixups_; // unit, code position (in ops)
    std::map<symbol_id, std::uint32_t> test_offset_; // test input -> offset in the test values
    std::vector<std::pair<std::size_t, std::size_t>> test_fixups_; // unit, code position

    // The equation being compiled.
    symbol_id var_ = 0;
    std::vector<loop_info> outer_;
    std::vector<std::uint32_t> lhs_offsets_; // element offset of each outer lane
    std::uint32_t lanes_ = 1;
    std::vector<loop_info> inner_; // loops of the vector call being compiled
    std::uint32_t inner_m_ = 1;

    // The unit being built.
    std::vector<std::uint32_t> data_, ops_;
    std::size_t hdr_len_ = 0;
    int sp_ = 0, max_sp_ = 0;
    std::uint32_t max_m_ = 1;
    std::vector<unit_read> reads_;
    std::vector<std::size_t> held_here_; // positions in ops_ of held operands
    std::vector<std::size_t> test_here_; // positions in ops_ of test-input address bases
    bool fail_ = false;
    equation_record* eq_ = nullptr; // the equation being compiled
    bool no_initial_ = false;       // compiling an input that the initial pass ignores
    // Calls taken out of the unit being compiled: call node -> its first held
    // value (before the held values' base is added).
    std::map<expr_node*, std::uint32_t> hoisted_;

    void error(const std::string& text) {
        if (!fail_) {
            report(5, "%s", text.c_str());
            add_error_equation(eq_);
        }
        fail_ = true;
    }

    bool set_loops(symbol_id s, expr_node* root) {
        var_ = s;
        outer_.clear();
        const dim_record* d = sym_dims(s);
        expr_node* lhs = node_skip_comments(node_child(root));
        std::vector<std::vector<std::uint32_t>> positions(d->ndims);
        if (lhs && lhs->code == nc_subscripted) {
            std::uint32_t i = 0;
            expr_node* v = node_child(lhs);
            for (expr_node* x = v ? node_next(v) : nullptr; x && i < d->ndims;
                 x = node_next(x), ++i) {
                symbol_id e = x->operand;
                symbol_id dr = d->d[i].range;
                if (sym(e)->type == st_element) {
                    positions[i].push_back(static_cast<std::uint32_t>(pos_.position(dr, e)));
                } else {
                    loop_info li{e, {}};
                    const element_list* l = range_elements(e);
                    for (std::uint32_t k = 0; l && k < l->count; ++k) {
                        li.elems.push_back(l->ids[k]);
                        positions[i].push_back(
                            static_cast<std::uint32_t>(pos_.position(dr, l->ids[k])));
                    }
                    outer_.push_back(std::move(li));
                }
            }
        } else {
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                loop_info li{d->d[i].range, {}};
                const element_list* l = range_elements(d->d[i].range);
                for (std::uint32_t k = 0; l && k < l->count; ++k) {
                    li.elems.push_back(l->ids[k]);
                    positions[i].push_back(k);
                }
                outer_.push_back(std::move(li));
            }
        }
        lhs_offsets_.clear();
        std::vector<std::uint32_t> idx(d->ndims, 0);
        for (std::uint32_t i = 0; i < d->ndims; ++i)
            if (positions[i].empty()) return false;
        for (;;) {
            std::uint32_t off = 0;
            for (std::uint32_t i = 0; i < d->ndims; ++i)
                off += positions[i][idx[i]] * d->d[i].stride;
            lhs_offsets_.push_back(off);
            int i = static_cast<int>(d->ndims) - 1;
            while (i >= 0 && ++idx[i] == positions[i].size()) idx[i--] = 0;
            if (i < 0) break;
        }
        lanes_ = static_cast<std::uint32_t>(lhs_offsets_.size());
        return true;
    }

    // Writes an address for per-lane values: strided when they form a line.
    void address(const std::vector<std::int64_t>& v, std::vector<std::uint32_t>& out) {
        std::int64_t base = v.empty() ? 0 : v[0];
        std::int64_t stride = v.size() > 1 ? v[1] - v[0] : 0;
        bool line = true;
        for (std::size_t k = 0; k < v.size() && line; ++k)
            line = v[k] == base + stride * static_cast<std::int64_t>(k);
        if (line && stride >= -0x7FFFFFFF && stride <= 0x7FFFFFFF) {
            out.insert(out.end(), {addr_strided, static_cast<std::uint32_t>(base),
                                   static_cast<std::uint32_t>(static_cast<std::int32_t>(stride))});
            return;
        }
        // A table of offsets from the smallest slot, so that every offset is positive.
        base = *std::min_element(v.begin(), v.end());
        std::uint32_t cell = static_cast<std::uint32_t>(hdr_len_ + data_.size());
        for (std::int64_t x : v) data_.push_back(static_cast<std::uint32_t>(x - base));
        out.insert(out.end(), {addr_table, static_cast<std::uint32_t>(base), cell});
    }

    // The element symbol a loop range gives in a lane (outer or inner).
    symbol_id lane_element(symbol_id range, bool reduced, std::uint32_t lane) {
        std::uint32_t k = lane, j = 0;
        if (!inner_.empty()) {
            k = lane / inner_m_;
            j = lane % inner_m_;
        }
        if (reduced) {
            for (int i = static_cast<int>(inner_.size()) - 1; i >= 0; --i) {
                std::uint32_t n = static_cast<std::uint32_t>(inner_[i].elems.size());
                if (inner_[i].range == range) return inner_[i].elems[j % n];
                j /= n;
            }
            return 0;
        }
        // Outer loop whose range is the one named, else one within it.
        int pick = -1;
        for (std::size_t i = 0; i < outer_.size() && pick < 0; ++i)
            if (outer_[i].range == range) pick = static_cast<int>(i);
        for (std::size_t i = 0; i < outer_.size() && pick < 0; ++i) {
            bool within = true;
            for (symbol_id e : outer_[i].elems)
                if (pos_.position(range, e) < 0) within = false;
            if (within) pick = static_cast<int>(i);
        }
        if (pick < 0) return 0;
        for (int i = static_cast<int>(outer_.size()) - 1; i >= 0; --i) {
            std::uint32_t n = static_cast<std::uint32_t>(outer_[i].elems.size());
            if (i == pick) return outer_[i].elems[k % n];
            k /= n;
        }
        return 0;
    }

    std::uint32_t cur_lanes() const { return inner_.empty() ? lanes_ : lanes_ * inner_m_; }

    // Element offsets of a reference in every lane; false after an error.
    bool ref_offsets(symbol_id v, expr_node* subs, std::vector<std::int64_t>& off) {
        const dim_record* d = sym_dims(v);
        std::uint32_t n = cur_lanes();
        off.assign(n, 0);
        std::uint32_t i = 0;
        for (expr_node* s = subs; s && i < d->ndims; s = node_next(s), ++i) {
            symbol_id x = s->operand;
            symbol_id dr = d->d[i].range;
            std::uint32_t stride = d->d[i].stride;
            if (sym(x)->type == st_element) {
                int p = pos_.position(dr, x);
                for (auto& o : off) o += static_cast<std::int64_t>(p) * stride;
                continue;
            }
            bool reduced = s->code == nc_sum_sub;
            for (std::uint32_t lane = 0; lane < n; ++lane) {
                symbol_id e = lane_element(x, reduced, lane);
                int p = e ? pos_.position(dr, e) : -1;
                if (p < 0) {
                    error(std::string("The subscript ") + sym_name(x) + " of " + sym_name(v) +
                          " does not fit the equation for " + sym_name(var_));
                    return false;
                }
                off[lane] += static_cast<std::int64_t>(p) * stride;
            }
        }
        return true;
    }

    void push(int n = 1) {
        sp_ += n;
        max_sp_ = std::max(max_sp_, sp_);
    }

    void record_read(symbol_id v, const std::vector<std::int64_t>& off, bool dynamic) {
        unit_read r{v, dynamic, {}, !no_initial_};
        if (sym_dims(v)->count > 1) {
            for (auto o : off) r.elements.push_back(static_cast<std::uint32_t>(o));
            std::sort(r.elements.begin(), r.elements.end());
            r.elements.erase(std::unique(r.elements.begin(), r.elements.end()), r.elements.end());
        }
        reads_.push_back(std::move(r));
    }

    void reference(symbol_id v, expr_node* subs, bool dynamic) {
        std::vector<std::int64_t> off;
        if (!ref_offsets(v, subs, off)) return;
        record_read(v, off, dynamic);
        std::int64_t base = slot_base(v);
        for (auto& o : off) o += base;
        ops_.push_back(nc_ref);
        address(off, ops_);
        if (sym(v)->type == st_test_input) test_here_.push_back(ops_.size() - 2);
        push();
    }

    // The first value slot of a variable (a test input's: its offset among the
    // test values, completed by finish).
    std::int64_t slot_base(symbol_id v) {
        if (sym(v)->type != st_test_input) return sym(v)->slot;
        auto it = test_offset_.find(v);
        return it == test_offset_.end() ? 0 : it->second;
    }

    // Lookup indexes of a lookup reference in every lane.
    bool lookup_address(expr_node* l, std::vector<std::uint32_t>& out, bool dynamic) {
        expr_node* lv = l->code == nc_subscripted ? node_child(l) : l;
        symbol_id v = lv->operand;
        std::vector<std::int64_t> off;
        if (!ref_offsets(v, l->code == nc_subscripted ? node_next(lv) : nullptr, off)) return false;
        record_read(v, off, dynamic);
        for (auto& o : off) {
            auto it = lookup_index_.find({v, static_cast<std::uint32_t>(o)});
            if (it == lookup_index_.end()) {
                error(std::string("The lookup ") + element_text(v, static_cast<std::uint32_t>(o)) +
                      " has no points");
                return false;
            }
            o = it->second;
        }
        address(off, out);
        return true;
    }

    // The text of a text argument: a quoted literal, or the text of a string
    // variable's equation.
    std::string literal_text(expr_node* a) {
        if (a->code == nc_literal) return node_text(a);
        if (a->code == nc_ref && valid_symbol(a->operand) && sym(a->operand)->type == st_string &&
            sym(a->operand)->eqn) {
            expr_node* b = node_skip(eq_nodes(eq_at(sym(a->operand)->eqn)));
            if (b && b->code == nc_literal) return node_text(b);
        }
        return "";
    }

    // A constant order argument (a number, or a constant defined by a number).
    int constant_order(expr_node* a) {
        while (a && a->code == nc_paren) a = node_child(a);
        if (!a) return -1;
        if (a->code == nc_number) return static_cast<int>(std::lround(as_float(a->operand)));
        if (a->code == nc_ref && valid_symbol(a->operand) && sym(a->operand)->type == st_constant &&
            sym(a->operand)->eqn) {
            expr_node* b = node_skip(eq_nodes(eq_at(sym(a->operand)->eqn)));
            if (b && b->code == nc_number)
                return static_cast<int>(std::lround(as_float(b->operand)));
        }
        return -1;
    }

    struct pending_rate {
        int fn, nargs;
        std::uint32_t a, b, c;
        std::vector<expr_node*> args;
    };
    std::vector<pending_rate> rates_;
    std::map<expr_node*, std::array<std::uint32_t, 2>> alloc_; // stateful calls of this equation

    void call(expr_node* n, bool dynamic) {
        expr_node* f = node_child(n);
        expr_node* arglist = node_next(f);
        int fn = static_cast<int>(sym(f->operand)->min & 0xFFFF);
        const builtin_function* bf = builtin_by_code(fn);
        std::vector<expr_node*> args;
        for (expr_node* a = node_child(arglist); a; a = node_next(a))
            if (a->code != nc_init_mark && a->code != nc_comment) args.push_back(a);
        if ((n->code == nc_call_data || n->code == nc_call_constants) && inner_.empty()) {
            // Data or constants from an outside source: the leading texts (quoted
            // literals or string variables), then the number arguments.
            std::uint32_t first_text = static_cast<std::uint32_t>(P.texts.size());
            std::size_t ntexts = std::min<std::size_t>(
                static_cast<std::size_t>(std::max<int>(bf->text_args, 0)), args.size());
            for (std::size_t i = 0; i < ntexts; ++i) P.texts.push_back(literal_text(args[i]));
            for (std::size_t i = ntexts; i < args.size(); ++i) expr(args[i], dynamic);
            std::uint32_t nargs = static_cast<std::uint32_t>(args.size() - ntexts);
            ops_.insert(ops_.end(),
                        {static_cast<std::uint32_t>(n->code), static_cast<std::uint32_t>(fn), nargs,
                         P.data_calls++, first_text, static_cast<std::uint32_t>(ntexts)});
            sp_ -= static_cast<int>(nargs);
            push();
            return;
        }
        if (n->code == nc_call_data || n->code == nc_call_constants || n->code == nc_call_lookups) {
            report(3, "%s in the equation for %s reads an outside source; the values are NA",
                   bf->name, sym_name(var_));
            ops_.insert(ops_.end(), {nc_number, float_bits(NA)});
            push();
            return;
        }
        std::uint32_t a = 0, b = 0, c = 0;
        std::size_t first_value = 0;
        if (bf->kind == fnk_lookup) {
            std::vector<std::uint32_t> addr;
            if (!lookup_address(args[0], addr, dynamic)) return;
            a = addr[0];
            b = addr[1];
            c = addr[2];
            first_value = 1;
        } else if (fn == fn_message) {
            a = static_cast<std::uint32_t>(P.texts.size());
            P.texts.push_back(literal_text(args[0]));
            first_value = 1;
        }
        if (n->code == nc_vector_call) {
            vector_call(fn, args[0], dynamic);
            return;
        }
        if (sym(var_)->type == st_test_input && keeps_state(*bf)) {
            error(std::string("The test input ") + sym_name(var_) + " uses " + bf->name +
                  ", which keeps state; a test input may use only functions without memory");
            return;
        }
        bool arg_dyn = dynamic && !(bf->flags & fnf_output_from_state);
        bool own_init = bf->flags & fnf_own_initial;
        for (std::size_t i = first_value; i < args.size(); ++i) {
            bool saved = no_initial_;
            if (own_init && i == 0) no_initial_ = true;
            expr(args[i], arg_dyn);
            no_initial_ = saved;
        }
        int nargs = static_cast<int>(args.size() - first_value);
        bool held = bf->state == fs_held;
        auto done = alloc_.find(n);
        if (done != alloc_.end()) {
            // The same call compiled again (inside the rate unit of an outer call).
            a = done->second[0];
            b = done->second[1];
        } else if (keeps_state(*bf)) {
            if (!inner_.empty()) {
                error(std::string(bf->name) + " cannot be used inside a vector function");
                return;
            }
            int per = bf->state == fs_integrated ? bf->states : 0;
            if (per < 0) {
                // The order: the fourth argument.
                int order = constant_order(args[3]);
                if (order < 1 || order > 100) {
                    error(std::string("The order of ") + bf->name + " in the equation for " +
                          sym_name(var_) + " must be a constant from 1 to 100");
                    return;
                }
                per = order;
            }
            if (per > 0) {
                a = P.value_slots + P.hidden_states;
                b = static_cast<std::uint32_t>(per);
                P.hidden_states += static_cast<std::uint32_t>(per) * lanes_;
                rates_.push_back({fn, nargs, a, b, 0, args});
            } else if (bf->state == fs_delay_object) {
                a = P.delay_objects;
                P.delay_objects += lanes_;
                rates_.push_back({fn, nargs, a, 0, 0, args});
            } else {
                // Held values: INITIAL, SAMPLE IF TRUE, the random streams.
                a = P.held_values;
                P.held_values += lanes_;
                if (bf->kind == fnk_random) b = P.random_streams++;
            }
            alloc_[n] = {a, b};
        }
        ops_.insert(ops_.end(), {nc_call, static_cast<std::uint32_t>(fn),
                                 static_cast<std::uint32_t>(nargs), a, b, c});
        if (held) held_here_.push_back(ops_.size() - 3);
        sp_ -= nargs;
        push();
    }

    void vector_call(int fn, expr_node* arg, bool dynamic) {
        if (!inner_.empty()) {
            error(std::string("Vector functions cannot be nested (equation for ") + sym_name(var_) +
                  ")");
            return;
        }
        // The reduced ranges, in the order the argument names them.
        std::vector<expr_node*> stack{arg};
        while (!stack.empty()) {
            expr_node* n = stack.back();
            stack.pop_back();
            if (n->code == nc_sum_sub) {
                bool seen = false;
                for (auto& l : inner_) seen = seen || l.range == n->operand;
                if (!seen) {
                    loop_info li{n->operand, {}};
                    const element_list* el = range_elements(n->operand);
                    for (std::uint32_t k = 0; el && k < el->count; ++k)
                        li.elems.push_back(el->ids[k]);
                    inner_.push_back(std::move(li));
                }
            }
            if (node_has_children(n->code))
                for (expr_node* k = node_child(n); k; k = node_next(k)) stack.push_back(k);
        }
        std::sort(inner_.begin(), inner_.end(),
                  [](const loop_info& x, const loop_info& y) { return x.range < y.range; });
        inner_m_ = 1;
        for (auto& l : inner_)
            inner_m_ *= static_cast<std::uint32_t>(std::max<std::size_t>(1, l.elems.size()));
        std::uint32_t m = inner_m_;
        ops_.insert(ops_.end(), {nc_vector_call, static_cast<std::uint32_t>(fn), m, 0});
        std::size_t len_at = ops_.size() - 1;
        int sp0 = sp_;
        expr(arg, dynamic);
        ops_.push_back(op_end);
        ops_[len_at] = static_cast<std::uint32_t>(ops_.size() - len_at - 1);
        sp_ = sp0;
        push();
        max_m_ = std::max(max_m_, m);
        inner_.clear();
        inner_m_ = 1;
    }

    void expr(expr_node* n, bool dynamic) {
        if (fail_) return;
        if (!hoisted_.empty()) {
            auto h = hoisted_.find(n);
            if (h != hoisted_.end()) {
                // The call's value, computed by its own unit.
                ops_.insert(ops_.end(), {nc_ref, addr_strided, h->second, 1});
                held_here_.push_back(ops_.size() - 2);
                push();
                return;
            }
        }
        // Every call shape is handled as nc_call.
        switch (node_dispatch_code(n->code)) {
        case nc_number:
            ops_.insert(ops_.end(), {nc_number, n->operand});
            push();
            return;
        case nc_ref:
            reference(n->operand, nullptr, dynamic);
            return;
        case nc_subscripted: {
            expr_node* v = node_child(n);
            reference(v->operand, node_next(v), dynamic);
            return;
        }
        case nc_paren:
        case nc_pos:
            expr(node_child(n), dynamic);
            return;
        case nc_neg:
        case nc_not:
            expr(node_child(n), dynamic);
            ops_.push_back(n->code);
            return;
        case nc_lookup_call: {
            expr_node* l = node_child(n);
            expr(node_next(l), dynamic);
            std::vector<std::uint32_t> addr;
            if (!lookup_address(l, addr, dynamic)) return;
            ops_.push_back(nc_lookup_call);
            ops_.insert(ops_.end(), addr.begin(), addr.end());
            return;
        }
        case nc_call:
            call(n, dynamic);
            return;
        case nc_literal:
            ops_.insert(ops_.end(), {nc_number, 0});
            push();
            return;
        case nc_number_list: {
            std::vector<float> v;
            for (expr_node* k = node_child(n); k; k = node_next(k))
                if (k->code == nc_number) v.push_back(as_float(k->operand));
            if (v.size() != lanes_) {
                error(std::string("The constant list of ") + sym_name(var_) + " does not fit");
                return;
            }
            std::uint32_t cell = static_cast<std::uint32_t>(hdr_len_ + data_.size());
            for (float f : v) data_.push_back(float_bits(f));
            ops_.insert(ops_.end(), {op_number_table, cell});
            push();
            return;
        }
        default:
            break;
        }
        if (n->code >= nc_add && n->code <= nc_or) {
            expr_node* a = node_child(n);
            expr(a, dynamic);
            expr(node_next(a), dynamic);
            ops_.push_back(n->code);
            --sp_;
            return;
        }
        error(std::string("The equation for ") + sym_name(var_) +
              " holds a node that cannot be compiled (" + std::to_string(n->code) + ")");
    }

    void begin_unit() {
        data_.clear();
        ops_.clear();
        sp_ = max_sp_ = 0;
        max_m_ = 1;
        reads_.clear();
        held_here_.clear();
        test_here_.clear();
        hdr_len_ = 8 + outer_.size();
    }

    // held_target: the first held value the unit computes (its lanes in
    // order) instead of the variable's slots; -1 for none.
    void end_unit(symbol_id s, std::uint32_t eqn, unit_kind kind, int type, std::uint32_t array,
                  bool with_target, std::int64_t held_target = -1) {
        code_unit u;
        u.sym = s;
        u.eqn = eqn;
        u.kind = kind;
        u.type = type;
        u.targets = lhs_offsets_;
        u.reads = std::move(reads_);
        std::vector<std::uint32_t>& c = u.code;
        c.push_back(lanes_);
        c.push_back(static_cast<std::uint32_t>(outer_.size()));
        for (auto& l : outer_) c.push_back(static_cast<std::uint32_t>(l.elems.size()));
        c.push_back(with_target ? array : 2);
        std::vector<std::int64_t> slots;
        for (std::size_t k = 0; k < lhs_offsets_.size(); ++k)
            slots.push_back(held_target >= 0 ? held_target + static_cast<std::int64_t>(k)
                                             : slot_base(s) + lhs_offsets_[k]);
        std::vector<std::uint32_t> addr;
        if (with_target)
            address(slots, addr);
        else
            addr = {addr_strided, 0, 0};
        std::size_t target_base_at = c.size() + 1;
        c.insert(c.end(), addr.begin(), addr.end());
        std::size_t ops_start_at = c.size();
        c.push_back(0); // ops start, below
        c.push_back(max_m_);
        // hdr_len_ = 8 + loops: N, L, counts, array, form, base, stride, start, m.
        c.insert(c.end(), data_.begin(), data_.end());
        std::uint32_t start = static_cast<std::uint32_t>(c.size());
        c[ops_start_at] = start;
        c.insert(c.end(), ops_.begin(), ops_.end());
        c.push_back(op_end);
        std::size_t ui = P.units.size();
        for (std::size_t pos : held_here_) held_fixups_.push_back({ui, start + pos});
        for (std::size_t pos : test_here_) test_fixups_.push_back({ui, start + pos});
        if (held_target >= 0)
            held_fixups_.push_back({ui, target_base_at});
        else if (with_target && type == st_test_input)
            test_fixups_.push_back({ui, target_base_at});
        P.max_stack = std::max(P.max_stack, static_cast<std::uint32_t>(max_sp_ + 1));
        P.max_lanes = std::max(P.max_lanes, max_m_);
        P.units.push_back(std::move(u));
    }

    // The outermost calls of functions that keep state in an expression.
    void state_calls(expr_node* n, std::vector<expr_node*>& out) {
        if (!n) return;
        if (n->code == nc_call) {
            expr_node* f = node_child(n);
            const builtin_function* bf =
                f && valid_symbol(f->operand)
                    ? builtin_by_code(static_cast<int>(sym(f->operand)->min & 0xFFFF))
                    : nullptr;
            if (bf && keeps_state(*bf)) {
                out.push_back(n);
                return;
            }
        }
        if (node_has_children(n->code))
            for (expr_node* k = node_child(n); k; k = node_next(k)) state_calls(k, out);
    }

    // A level's rate and a constraint are never evaluated in the initial
    // pass, where states get their initial values, pipelines are made and
    // held values set. So each call in them of a function that keeps state
    // becomes a unit of its own computing the call's value into held values,
    // ordered in both passes as an auxiliary holding the call would be; the
    // host reads those values. A state function then gives the same values
    // in a rate as through an auxiliary. False after an error.
    bool hoist_state_calls(symbol_id s, std::uint32_t eqn, unit_kind kind, int type,
                           expr_node* body) {
        std::vector<expr_node*> calls;
        state_calls(body, calls);
        for (expr_node* n : calls) {
            begin_unit();
            expr(n, true);
            for (const unit_read& r : reads_)
                if (kind == uk_constraint && sym(r.sym)->type == st_test_input)
                    error(std::string("The constraint ") + sym_name(s) +
                          " uses a function that keeps state over the test input " +
                          sym_name(r.sym));
            if (fail_) return false;
            std::uint32_t at = P.held_values;
            P.held_values += lanes_;
            sp_ = 0;
            end_unit(s, eqn, uk_value, type, 0, true, at);
            P.units.back().hidden = true;
            hoisted_[n] = at;
        }
        return true;
    }

    void unit(symbol_id s, std::uint32_t eqn, unit_kind kind, int type, expr_node* body) {
        fail_ = false;
        rates_.clear();
        alloc_.clear();
        hoisted_.clear();
        if (body && (kind == uk_level_rate || kind == uk_constraint) &&
            !hoist_state_calls(s, eqn, kind, type, body)) {
            ++errors;
            return;
        }
        begin_unit();
        if (!body) {
            // A data variable without an expression: its values come from a data source.
            ops_.insert(ops_.end(), {nc_number, float_bits(NA)});
            push();
        } else {
            // Test inputs are computed at every step like auxiliaries.
            expr(body, kind != uk_level_init && (type <= st_last_dynamic || type == st_test_input));
        }
        if (fail_) {
            ++errors;
            return;
        }
        sp_ = 0;
        end_unit(s, eqn, kind, type, kind == uk_level_rate ? 1u : 0u, kind != uk_constraint);
        // The rate units of the stateful calls of this unit.
        std::vector<pending_rate> rates = std::move(rates_);
        for (auto& r : rates) {
            begin_unit();
            const builtin_function* bf = builtin_by_code(r.fn);
            (void)bf;
            for (expr_node* a : r.args) expr(a, true);
            ops_.insert(ops_.end(), {op_state_rate, static_cast<std::uint32_t>(r.fn),
                                     static_cast<std::uint32_t>(r.nargs), r.a, r.b, r.c});
            if (fail_) {
                ++errors;
                return;
            }
            end_unit(s, eqn, uk_state_rate, type, 2, false);
        }
    }
};

} // namespace

int generate_code(handle symbols, sim_program& out) {
    out = sim_program{};
    int errors = 0;
    std::uint32_t delays = 0;
    {
        model_lock_guard g(symbols, 1);
        if (!g.ok() || !model_eqs) {
            report(5, "The model has no equations to compile");
            return 0;
        }
        out.level_slots = model_hdr->w[mh_level_slots];
        out.value_slots = model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots];
        compiler c(out);
        c.setup_lookups();
        c.setup_test_inputs();
        std::uint32_t end = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end; s += symbol_cells)
            if (valid_symbol(s)) c.compile_symbol(s);
        c.finish();
        errors = c.errors;
        delays = out.delay_objects;
    }
    out.initial_time = find_symbol_in(symbols, "INITIAL TIME");
    out.final_time = find_symbol_in(symbols, "FINAL TIME");
    out.time_step = find_symbol_in(symbols, "TIME STEP");
    out.saveper = find_symbol_in(symbols, "SAVEPER");
    out.sim_pause = find_symbol_in(symbols, "SIMULATION PAUSE");
    set_header_word(symbols, mh_delay_objects, delays);
    return errors ? 0 : 1;
}
