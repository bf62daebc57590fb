// The model check (see check.h).
#include "model/check.h"

#include <cmath>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/codegen.h"
#include "model/constants.h"
#include "model/eqtext.h"
#include "model/model.h"

int max_check_depth = 400;

namespace {

// The equation kinds that may define a variable of a type.
bool kind_fits(int type, int kind, bool mixed) {
    if (mixed && type < st_lookup && kind != nc_lookup_eq && kind != nc_string_eq &&
        kind != nc_range_def)
        return true;
    switch (type) {
    case st_level:
        return kind == nc_level_eq;
    case st_aux:
        return kind == nc_aux_eq;
    case st_data:
        return kind == nc_data_eq;
    case st_game:
        return kind == nc_game_eq || kind == nc_aux_eq;
    case st_time_base:
        return kind == nc_time_base_eq;
    case st_initial:
        return kind == nc_initial_eq;
    case st_constant:
        return kind == nc_constant_eq;
    case st_data_constant:
        return kind == nc_data_constant_eq || kind == nc_constant_eq;
    case st_lookup:
        return kind == nc_lookup_eq;
    case st_string:
        return kind == nc_string_eq;
    case st_test_input:
        return kind == nc_test_input_eq;
    case st_constraint:
        return kind == nc_constraint_eq;
    default:
        return false;
    }
}

// A variable of a type this program knows (has_value_slots, or one of the
// named types above them).
bool is_known_variable_type(int t) {
    return has_value_slots(t) || t == st_lookup || t == st_string || t == st_test_input ||
           t == st_constraint;
}

position_cache* positions = nullptr;

int element_position_cached(symbol_id range, symbol_id element) {
    return positions ? positions->position(range, element) : element_position(range, element);
}

// Whether every element of range a belongs to range b.
bool range_within(symbol_id a, symbol_id b) {
    if (a == b) return true;
    const element_list* la = range_elements(a);
    if (!la) return false;
    for (std::uint32_t i = 0; i < la->count; ++i)
        if (element_position_cached(b, la->ids[i]) < 0) return false;
    return true;
}

class checker {
public:
    int errors = 0;
    bool aborted = false; // the recursion guard stopped the check

    void error(int severity, const std::string& text) {
        report(severity, "%s", text.c_str());
        add_error_equation(cur_eq_);
        ++errors;
    }

    void check_symbol(symbol_id s) {
        symbol_record* r = sym(s);
        int type = r->type;
        if (!is_known_variable_type(type)) return;
        if (s == model_hdr->w[mh_time_symbol]) return;
        const char* name = sym_name(s);
        cur_eq_ = nullptr;
        if (!r->eqn) {
            error(4, std::string(name) + " is not defined");
            return;
        }
        const dim_record* d = sym_dims(s);
        std::vector<std::uint8_t> covered(d->count, 0);
        bool mixed = (r->flags & sf_mixed_types) != 0;
        std::uint32_t cell = r->eqn;
        for (int guard = 0; cell && guard < 1000000; ++guard) {
            equation_record* e = eq_at(cell);
            cell = e->next;
            cur_eq_ = nullptr;
            if (!e->nnodes) {
                error(5, std::string("The equation for ") + name + " is empty");
                continue;
            }
            expr_node* root = eq_nodes(e);
            int kind = root->code;
            if (kind == nc_unparsed) {
                error(5, std::string("The equation for ") + name +
                             " is kept only as text and cannot be simulated");
                continue;
            }
            if (kind == nc_function_of) {
                error(5,
                      std::string(name) + " is only A FUNCTION OF its causes and has no equation");
                continue;
            }
            if (!kind_fits(type, kind, mixed)) {
                error(5, std::string("The equation for ") + name + " does not fit its type");
                continue;
            }
            std::vector<symbol_id> loops;
            if (!check_lhs(s, root, covered, loops)) continue;
            expr_node* body = node_skip(root);
            cur_name_ = name;
            cur_eq_ = e;
            cur_type_ = type;
            loops_ = loops;
            inner_.clear();
            if (kind == nc_lookup_eq || kind == nc_string_eq) continue;
            if (!body) {
                if (kind == nc_data_eq) continue; // data without an expression: from a source
                error(5, std::string("The equation for ") + name + " has no expression");
                continue;
            }
            int parts = 0;
            for (expr_node* b = body; b; b = node_skip_comments(node_next(b))) {
                ++parts;
                expr(b, 0);
            }
            if (kind == nc_level_eq && parts != 2)
                error(5, std::string("The level ") + name + " needs a rate and an initial value");
            if (kind == nc_constant_eq && body->code == nc_number_list) {
                int n = 0;
                for (expr_node* k = node_child(body); k; k = node_next(k))
                    if (k->code == nc_number) ++n;
                std::uint32_t lanes = 1;
                for (symbol_id l : loops)
                    if (const element_list* el = range_elements(l)) lanes *= el->count;
                if (static_cast<std::uint32_t>(n) != lanes)
                    error(5, std::string("The constant list of ") + name + " has " +
                                 std::to_string(n) + " values for " + std::to_string(lanes) +
                                 " elements");
            }
        }
        cur_eq_ = nullptr;
        for (std::uint32_t k = 0; k < covered.size(); ++k)
            if (!covered[k] && type != st_lookup) error(4, element_text(s, k) + " is not defined");
    }

    void check_lookups() {
        std::uint32_t n = model_hdr->w[mh_lookups];
        for (std::uint32_t i = 0; i < n; ++i) {
            const lookup_entry* e = lookup_at(static_cast<int>(i));
            if (!e || !valid_symbol(e->symbol)) {
                error(5, "Lookup " + std::to_string(i) + " belongs to no variable");
                continue;
            }
            std::string nm = element_text(e->symbol, e->element);
            // Points read from an outside source at each run are not checked here.
            if (sym(e->symbol)->eqn) {
                expr_node* body = node_skip(eq_nodes(eq_at(sym(e->symbol)->eqn)));
                if (body && body->code == nc_call_lookups) continue;
            }
            const float* x = lookup_x(e);
            const float* y = lookup_y(e);
            std::uint64_t cells =
                model_lookup_data ? reinterpret_cast<const bhead*>(model_lookup_data)->cur : 0;
            if (std::uint64_t{e->x} + e->npoints > cells ||
                std::uint64_t{e->y} + e->npoints > cells) {
                error(5, "The points of the lookup " + nm + " lie outside the lookup data");
                continue;
            }
            if (e->npoints < 1 || !x || !y) {
                error(5, "The lookup " + nm + " has no points");
                continue;
            }
            for (std::uint32_t k = 0; k < e->npoints; ++k) {
                if (!std::isfinite(x[k]) || !std::isfinite(y[k])) {
                    error(5, "The lookup " + nm + " has a point that is not a number");
                    break;
                }
                if (k && x[k] < x[k - 1]) {
                    error(5, "The x values of the lookup " + nm + " do not increase (point " +
                                 std::to_string(k + 1) + ")");
                    break;
                }
            }
        }
    }

private:
    const char* cur_name_ = "";
    equation_record* cur_eq_ = nullptr; // the equation whose expression is checked
    int cur_type_ = 0;                  // type of the variable whose equation is checked
    // The outermost call of a function that keeps state whose arguments are
    // being checked (only in constraints; null elsewhere).
    const builtin_function* state_call_ = nullptr;
    std::vector<symbol_id> loops_; // ranges the equation loops over
    std::vector<symbol_id> inner_; // ranges reduced by the vector call being checked

    bool check_lhs(symbol_id s, expr_node* root, std::vector<std::uint8_t>& covered,
                   std::vector<symbol_id>& loops) {
        const char* name = sym_name(s);
        expr_node* lhs = node_skip_comments(node_child(root));
        const dim_record* d = sym_dims(s);
        if (!lhs) {
            error(5, std::string("The equation for ") + name + " has no left-hand side");
            return false;
        }
        std::vector<std::vector<std::uint32_t>> positions(d->ndims);
        if (lhs->code == nc_ref) {
            if (lhs->operand != s) {
                error(5, std::string("An equation of ") + name + " defines another variable");
                return false;
            }
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                loops.push_back(d->d[i].range);
                for (std::uint32_t k = 0; k < d->d[i].count; ++k) positions[i].push_back(k);
            }
        } else if (lhs->code == nc_subscripted) {
            expr_node* v = node_child(lhs);
            if (!v || v->operand != s) {
                error(5, std::string("An equation of ") + name + " defines another variable");
                return false;
            }
            std::uint32_t i = 0;
            for (expr_node* sub = node_next(v); sub; sub = node_next(sub), ++i) {
                if (i >= d->ndims) break;
                symbol_id x = sub->operand;
                symbol_id dr = d->d[i].range;
                if (!valid_symbol(x)) break;
                if (sym(x)->type == st_element) {
                    int p = element_position_cached(dr, x);
                    if (p < 0) {
                        error(5, std::string("The subscript ") + sym_name(x) +
                                     " does not belong to the range " + sym_name(dr) +
                                     " in the equation for " + name);
                        return false;
                    }
                    positions[i].push_back(static_cast<std::uint32_t>(p));
                } else if (sym(x)->type == st_range) {
                    if (!range_within(x, dr)) {
                        error(5, std::string("The range ") + sym_name(x) +
                                     " does not fit the range " + sym_name(dr) +
                                     " in the equation for " + name);
                        return false;
                    }
                    loops.push_back(x);
                    const element_list* el = range_elements(x);
                    for (std::uint32_t k = 0; el && k < el->count; ++k)
                        positions[i].push_back(
                            static_cast<std::uint32_t>(element_position_cached(dr, el->ids[k])));
                } else {
                    break;
                }
            }
            if (i != d->ndims || (node_next(v) && i == 0)) {
                error(5, std::string("The left-hand side of an equation for ") + name +
                             " has the wrong subscripts");
                return false;
            }
        } else {
            error(5, std::string("The equation for ") + name + " has a bad left-hand side");
            return false;
        }
        // Mark the elements defined.
        std::vector<std::uint32_t> idx(d->ndims, 0);
        for (;;) {
            std::uint32_t off = 0;
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                if (positions[i].empty()) return true;
                off += positions[i][idx[i]] * d->d[i].stride;
            }
            if (off < covered.size()) {
                if (covered[off] && sym(s)->type != st_lookup)
                    error(5, element_text(s, off) + " has more than one equation");
                covered[off] = 1;
            }
            int i = static_cast<int>(d->ndims) - 1;
            while (i >= 0 && ++idx[i] == positions[i].size()) idx[i--] = 0;
            if (i < 0) break;
        }
        return true;
    }

    bool range_in_scope(symbol_id r) {
        for (symbol_id l : loops_)
            if (range_within(l, r)) return true;
        for (symbol_id l : inner_)
            if (l == r) return true;
        return false;
    }

    void reference(expr_node* n, expr_node* subs, bool in_vector, bool as_value = true) {
        symbol_id v = n->operand;
        if (!valid_symbol(v)) {
            error(5, std::string("The equation for ") + cur_name_ + " refers to an unknown symbol");
            return;
        }
        int t = sym(v)->type;
        // A test input is computed only in behaviour-test runs: in any other
        // run it has no value, so only test inputs and constraints may read it.
        if (t == st_test_input && cur_type_ != st_test_input && cur_type_ != st_constraint) {
            error(5, std::string("The equation for ") + cur_name_ + " uses the test input " +
                         sym_name(v) +
                         ", which has a value only in behaviour tests (only test inputs and "
                         "constraints may use it)");
            return;
        }
        // A function that keeps state is computed in every run (its value
        // taken out of the constraint), where test inputs have no value.
        if (t == st_test_input && state_call_) {
            error(5, std::string("The constraint ") + cur_name_ + " uses " + state_call_->name +
                         " of the test input " + sym_name(v) +
                         "; a function that keeps state may not read a test input");
            return;
        }
        if (!has_value_slots(t) && t != st_lookup && t != st_test_input) {
            error(5, std::string("The equation for ") + cur_name_ + " uses " + sym_name(v) +
                         ", which is not a variable");
            return;
        }
        if (as_value && t == st_lookup) {
            error(5, std::string("The lookup ") + sym_name(v) +
                         " is used as a value in the equation for " + cur_name_);
            return;
        }
        const dim_record* d = sym_dims(v);
        std::uint32_t i = 0;
        for (expr_node* s = subs; s; s = node_next(s), ++i) {
            if (i >= d->ndims) break;
            symbol_id x = s->operand;
            if (!valid_symbol(x)) break;
            symbol_id dr = d->d[i].range;
            if (sym(x)->type == st_element) {
                if (element_position_cached(dr, x) < 0) {
                    error(5, std::string("The subscript ") + sym_name(x) + " of " + sym_name(v) +
                                 " does not belong to " + sym_name(dr) + " in the equation for " +
                                 cur_name_);
                    return;
                }
            } else if (sym(x)->type == st_range) {
                if (s->code == nc_sum_sub) {
                    if (!in_vector) {
                        error(5, std::string("The subscript ") + sym_name(x) +
                                     "! is used outside a vector function in the equation for " +
                                     cur_name_);
                        return;
                    }
                    inner_.push_back(x);
                } else if (!range_in_scope(x)) {
                    error(5, std::string("The range ") + sym_name(x) + " used with " + sym_name(v) +
                                 " is not a subscript of the equation for " + cur_name_);
                    return;
                }
                if (!range_within(x, dr) && !range_within(dr, x)) {
                    error(5, std::string("The range ") + sym_name(x) + " does not fit " +
                                 sym_name(v) + " in the equation for " + cur_name_);
                    return;
                }
            } else {
                break;
            }
        }
        std::uint32_t given = 0;
        for (expr_node* s = subs; s; s = node_next(s)) ++given;
        if (given != d->ndims)
            error(5, std::string(sym_name(v)) + " needs " + std::to_string(d->ndims) +
                         " subscripts in the equation for " + cur_name_ + " (has " +
                         std::to_string(given) + ")");
    }

    // A number as written: a number node, or one with a sign before it.
    static bool literal_number(expr_node* a) {
        while (a && (a->code == nc_neg || a->code == nc_pos || a->code == nc_paren))
            a = node_child(a);
        return a && a->code == nc_number;
    }

    void expr(expr_node* n, int depth, bool in_vector = false) {
        if (aborted) return;
        if (depth > max_check_depth) {
            aborted = true;
            return;
        }
        // Every call shape is handled as nc_call.
        switch (node_dispatch_code(n->code)) {
        case nc_comment:
        case nc_literal:
        case nc_number_list:
            return;
        case nc_number:
            if (!std::isfinite(as_float(n->operand)))
                error(5, std::string("The equation for ") + cur_name_ +
                             " holds a number that is not finite");
            return;
        case nc_ref:
            reference(n, nullptr, in_vector);
            return;
        case nc_subscripted: {
            expr_node* v = node_child(n);
            if (!v || v->code != nc_ref) {
                error(5, std::string("Bad subscripted reference in the equation for ") + cur_name_);
                return;
            }
            reference(v, node_next(v), in_vector);
            return;
        }
        case nc_lookup_call: {
            expr_node* l = node_child(n);
            expr_node* lv = l && l->code == nc_subscripted ? node_child(l) : l;
            if (!lv || !valid_symbol(lv->operand) || sym(lv->operand)->type != st_lookup) {
                error(5, std::string("A lookup call in the equation for ") + cur_name_ +
                             " does not name a lookup");
                return;
            }
            if (l->code == nc_subscripted)
                reference(lv, node_next(lv), in_vector, false);
            else
                reference(lv, nullptr, in_vector, false);
            expr_node* x = node_next(l);
            if (!x)
                error(5, std::string("A lookup call in the equation for ") + cur_name_ +
                             " has no argument");
            else
                expr(x, depth + 1, in_vector);
            return;
        }
        case nc_call: {
            expr_node* f = node_child(n);
            expr_node* args = f ? node_next(f) : nullptr;
            const builtin_function* bf = nullptr;
            if (f && valid_symbol(f->operand) &&
                (sym(f->operand)->type == st_function ||
                 sym(f->operand)->type == st_vector_function))
                bf = builtin_by_code(static_cast<int>(sym(f->operand)->min & 0xFFFF));
            if (!bf) {
                error(5, std::string("The equation for ") + cur_name_ +
                             " calls a function this program does not have");
                return;
            }
            if (cur_type_ == st_test_input && keeps_state(*bf)) {
                error(5, std::string("The test input ") + cur_name_ + " uses " + bf->name +
                             ", which keeps state; a test input may use only functions "
                             "without memory");
                return;
            }
            int count = 0;
            std::size_t inner_mark = inner_.size();
            bool vec = n->code == nc_vector_call;
            struct state_scope {
                const builtin_function*& ref;
                const builtin_function* old;
                ~state_scope() { ref = old; }
            } scope{state_call_, state_call_};
            if (cur_type_ == st_constraint && keeps_state(*bf) && !state_call_) state_call_ = bf;
            for (expr_node* a = args ? node_child(args) : nullptr; a; a = node_next(a)) {
                if (a->code == nc_init_mark || a->code == nc_comment) continue;
                ++count;
                if (count <= bf->text_args) {
                    // A text argument: a quoted literal or a string variable.
                    if (a->code == nc_literal) continue;
                    if (a->code == nc_ref && valid_symbol(a->operand)) {
                        if (sym(a->operand)->type == st_string) continue;
                        error(5, std::string("The variable ") + sym_name(a->operand) +
                                     " is not a string variable - not allowed here");
                        return;
                    }
                    error(5, "Unable to understand argument " + std::to_string(count) +
                                 " as a literal (equation for " + cur_name_ + ")");
                    return;
                }
                // The outside-source readers take their numbers as written:
                // they are read once, before any equation has a value.
                if ((bf->node == nc_call_data || bf->node == nc_call_constants ||
                     bf->node == nc_call_lookups) &&
                    !literal_number(a)) {
                    error(5, "Expected a number for argument " + std::to_string(count));
                    return;
                }
                if (bf->kind == fnk_lookup && count == 1) {
                    expr_node* lv = a->code == nc_subscripted ? node_child(a) : a;
                    if (!lv || !valid_symbol(lv->operand) || sym(lv->operand)->type != st_lookup) {
                        error(5, std::string("The first argument of ") + bf->name +
                                     " in the equation for " + cur_name_ + " must be a lookup");
                        return;
                    }
                    continue;
                }
                if (in_vector && keeps_state(*bf)) {
                    error(5, std::string(bf->name) +
                                 " cannot be used inside a vector function (equation for " +
                                 cur_name_ + ")");
                    return;
                }
                expr(a, depth + 1, in_vector || vec);
            }
            inner_.resize(inner_mark);
            if (count < bf->min_args || count > bf->max_args)
                error(5, std::string(bf->name) + " has " + std::to_string(count) +
                             " arguments in the equation for " + cur_name_);
            return;
        }
        default:
            break;
        }
        if (!node_has_children(n->code) || n->code == nc_arglist) {
            error(5, std::string("The equation for ") + cur_name_ + " holds an unknown node (" +
                         std::to_string(n->code) + ")");
            return;
        }
        int kids = 0;
        for (expr_node* k = node_child(n); k; k = node_next(k)) {
            ++kids;
            expr(k, depth + 1, in_vector);
        }
        bool unary =
            n->code == nc_neg || n->code == nc_pos || n->code == nc_not || n->code == nc_paren;
        bool binary = n->code >= nc_add && n->code <= nc_or && !unary;
        if ((unary && kids != 1) || (binary && kids != 2) || (!unary && !binary))
            error(5, std::string("The equation for ") + cur_name_ + " has a malformed expression");
    }
};

} // namespace

int check_model(handle symbols) {
    checker c;
    position_cache cache;
    positions = &cache;
    {
        model_lock_guard g(symbols, 1);
        if (!g.ok() || !model_eqs) {
            report(5, "The model cannot be checked: it has no equations");
            return 1;
        }
        std::uint32_t end = model_hdr->w[mh_sym_end];
        for (symbol_id s = first_symbol_cell; s + symbol_cells <= end && !c.aborted;
             s += symbol_cells)
            if (valid_symbol(s)) c.check_symbol(s);
        if (c.aborted) {
            report(5, "%s", too_much_recursion_text);
            ++c.errors;
        } else {
            c.check_lookups();
        }
    }
    positions = nullptr;
    std::uint32_t flags = get_header_word(symbols, mh_flags);
    set_header_word(symbols, mh_flags,
                    c.errors ? (flags | mfl_has_errors) : (flags & ~std::uint32_t{mfl_has_errors}));
    return c.errors;
}
