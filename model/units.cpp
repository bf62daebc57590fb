// Units as text and the units check.
#include "model/units.h"

#include <cmath>
#include <string>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "model/varnames.h"

namespace {

const char* bad_units = "--** Bad Units **--";

handle reading_model() {
    return model_lock_flag != -1 && locked_model_symbols ? locked_model_symbols : cur_model_symbols;
}

std::string join_names(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += '*';
        out += names[i];
    }
    return out;
}

std::string fraction_text(const std::vector<std::string>& num,
                          const std::vector<std::string>& den) {
    std::string out = num.empty() ? std::string("1") : join_names(num);
    if (den.empty()) return out;
    out += '/';
    if (den.size() > 1) return out + "(" + join_names(den) + ")";
    return out + den[0];
}

std::string unit_name(symbol_id id) {
    const char* n = safe_sym_name(id);
    return *n ? std::string(n) : std::string("?");
}

// The text of a token text without collecting names.
std::string token_string(const token_text* t) {
    std::string out;
    if (!t) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(t->text);
    for (std::uint32_t i = 0; i < t->bytes;) {
        if (p[i] == token_symbol) {
            if (i + 5 > t->bytes) break;
            symbol_id id;
            std::memcpy(&id, p + i + 1, 4);
            out += unit_name(id);
            i += 5;
            continue;
        }
        if (!p[i]) break;
        out += static_cast<char>(p[i++]);
    }
    return out;
}

} // namespace

// ------------------------------------------------------------------ texts ---

std::string units_entry_text(std::uint32_t units_cell) {
    const units_entry* u = safe_units(units_cell);
    if (!u) return {};
    std::vector<std::string> num, den;
    for (std::uint32_t i = 0; i < u->nnum; ++i) num.push_back(unit_name(u->ids[i]));
    for (std::uint32_t i = 0; i < u->nden; ++i) den.push_back(unit_name(u->ids[u->nnum + i]));
    return fraction_text(num, den);
}

const char* units_text(std::uint32_t units_cell) {
    if (!units_cell) return "";
    model_lock_guard g(reading_model(), 0);
    const units_entry* u = g.ok() ? safe_units(units_cell) : nullptr;
    if (!u) return "";
    std::string typed = token_string(safe_tokens(u->tokens));
    return scratch_strdup((typed.empty() ? units_entry_text(units_cell) : typed).c_str());
}

void write_units(std::uint32_t units_cell) {
    doc_puts(units_entry_text(units_cell).c_str());
}

const char* name_units_label(const char* prefix, symbol_id symbol, int mode) {
    model_lock_guard g(reading_model(), 0);
    std::string out = prefix ? prefix : "";
    if (!g.ok() || !valid_symbol(symbol)) return scratch_strdup((out + "error").c_str());
    std::string units = units_text(sym(symbol)->units);
    if (mode != 2) out += varformat(symbol, 0);
    if (mode == 0 && !units.empty()) out += " (" + units + ")";
    if (mode == 2) out += units;
    return scratch_strdup(out.c_str());
}

// ------------------------------------------------------------ units values ---

units_value units_of_entry(std::uint32_t units_cell) {
    units_value v;
    const units_entry* u = safe_units(units_cell);
    if (!u) return v;
    v.known = true;
    for (std::uint32_t i = 0; i < u->nnum + u->nden; ++i) {
        symbol_id id = u->ids[i];
        int& e = v.exp[id];
        e += i < u->nnum ? 1 : -1;
        if (e == 0) v.exp.erase(id);
    }
    return v;
}

units_value units_of_symbol(symbol_id id) {
    if (!valid_symbol(id) || !sym(id)->units) return {};
    return units_of_entry(sym(id)->units);
}

units_value units_product(const units_value& a, const units_value& b, int sign_b) {
    units_value r;
    if (!a.known || !b.known) return r;
    r.known = true;
    r.any = a.any && b.any;
    r.exp = a.any ? std::map<symbol_id, int>{} : a.exp;
    if (!b.any)
        for (const auto& [id, e] : b.exp) {
            int& x = r.exp[id];
            x += sign_b * e;
            if (x == 0) r.exp.erase(id);
        }
    return r;
}

bool units_equal(const units_value& a, const units_value& b) {
    if (!a.known || !b.known) return false;
    if (a.any || b.any) return true;
    return a.exp == b.exp;
}

std::string units_value_text(const units_value& u) {
    if (!u.known) return bad_units;
    if (u.any) return "1";
    std::vector<std::string> num, den;
    for (const auto& [id, e] : u.exp)
        for (int k = 0; k < std::abs(e); ++k) (e > 0 ? num : den).push_back(unit_name(id));
    return fraction_text(num, den);
}

int init_units_check(int lock_flag) {
    if (lock_flag) return model_syms != nullptr ? 1 : 0;
    model_lock_guard g(reading_model(), 0);
    return g.ok() ? 1 : 0;
}

const char* units_product_text(symbol_id a, symbol_id b) {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok()) return bad_units;
    units_value ua = units_of_symbol(a), ub = units_of_symbol(b);
    if (!ua.known || !ub.known) return bad_units;
    return scratch_strdup(units_value_text(units_product(ua, ub)).c_str());
}

// ------------------------------------------------------------ the check ---

namespace {

units_value dimensionless() {
    units_value v;
    v.known = true;
    return v;
}

units_value any_units() {
    units_value v;
    v.known = true;
    v.any = true;
    return v;
}

// Units of a sum: the two must agree; a number takes the other's units.
units_value same_units(const units_value& a, const units_value& b) {
    if (!a.known || !b.known) return {};
    if (a.any) return b;
    if (b.any) return a;
    if (a.exp != b.exp) return {};
    return a;
}

units_value power_units(const units_value& base, double n) {
    if (!base.known) return {};
    if (base.any) return base;
    if (base.exp.empty()) return base;
    if (n != std::floor(n) || std::fabs(n) > 64) return {};
    units_value r = dimensionless();
    for (const auto& [id, e] : base.exp) r.exp[id] = e * static_cast<int>(n);
    return r;
}

class units_calc {
public:
    explicit units_calc(equation_record* e, const units_value& time)
        : v_(equation_nodes(e)), time_(time) {}

    units_value of(int i, int depth = 0) {
        i = skip(i);
        if (!v_.ok(i) || depth > 400) return {};
        const expr_node& n = v_.at(i);
        switch (n.code) {
        case nc_number:
        case nc_number_list:
            return any_units();
        case nc_ref:
            return units_of_symbol(n.operand);
        case nc_subscripted:
            return units_of_symbol(v_.at(std::max(0, skip(v_.child(i)))).operand);
        case nc_lookup_call: {
            int l = skip(v_.child(i));
            if (l < 0) return {};
            if (v_.at(l).code == nc_subscripted) l = skip(v_.child(l));
            return l >= 0 ? units_of_symbol(v_.at(l).operand) : units_value{};
        }
        case nc_paren:
        case nc_pos:
        case nc_neg:
            return of(v_.child(i), depth + 1);
        case nc_add:
        case nc_sub: {
            int a = skip(v_.child(i));
            return same_units(of(a, depth + 1), of(next(a), depth + 1));
        }
        case nc_mul:
        case nc_div: {
            int a = skip(v_.child(i));
            return units_product(of(a, depth + 1), of(next(a), depth + 1),
                                 n.code == nc_div ? -1 : 1);
        }
        case nc_pow: {
            int a = skip(v_.child(i));
            int b = next(a);
            if (b >= 0 && v_.at(b).code == nc_number)
                return power_units(of(a, depth + 1), as_float(v_.at(b).operand));
            units_value base = of(a, depth + 1);
            if (base.known && (base.any || base.exp.empty())) return base;
            return {};
        }
        case nc_call:
        case nc_vector_call:
            return call(i, depth);
        default:
            // Comparisons and logic give truth values, which have no units.
            return node_gives_truth(n.code) ? dimensionless() : units_value{};
        }
    }

    // The terms of a sum (through brackets and signs), each with its node.
    void terms(int i, std::vector<int>& out, int depth = 0) {
        i = skip(i);
        if (!v_.ok(i) || depth > 400) return;
        const int code = v_.at(i).code;
        if (code == nc_add || code == nc_sub) {
            const int a = skip(v_.child(i));
            terms(a, out, depth + 1);
            terms(next(a), out, depth + 1);
            return;
        }
        if (code == nc_paren || code == nc_pos || code == nc_neg) {
            const int inner = skip(v_.child(i));
            if (inner >= 0 && (v_.at(inner).code == nc_add || v_.at(inner).code == nc_sub ||
                               v_.at(inner).code == nc_paren)) {
                terms(inner, out, depth + 1);
                return;
            }
        }
        out.push_back(i);
    }

    // The innermost part of node i whose units cannot be told though every
    // part inside it can (i itself when nothing inside is at fault).
    int unknown_part(int i, int depth = 0) {
        i = skip(i);
        if (!v_.ok(i) || depth > 400) return i;
        const int code = v_.at(i).code;
        std::vector<int> parts;
        if (code == nc_call || code == nc_vector_call) {
            // A call's parts are its arguments, not the function's name.
            const int list = next(skip(v_.child(i)));
            for (int a = list >= 0 ? v_.child(list) : -1; a >= 0 && parts.size() < v_.count;
                 a = v_.next(a))
                if (v_.at(a).code != nc_init_mark && v_.at(a).code != nc_comment)
                    parts.push_back(a);
        } else {
            for (int c = skip(v_.child(i)); c >= 0 && parts.size() < v_.count; c = next(c))
                parts.push_back(c);
        }
        for (int c : parts)
            if (!of(c).known) return unknown_part(c, depth + 1);
        return i;
    }

    // The variables named directly under node i that have units.
    std::vector<symbol_id> operands_with_units(int i, int depth = 0) {
        std::vector<symbol_id> out;
        i = skip(i);
        if (!v_.ok(i) || depth > 8) return out;
        for (int c = skip(v_.child(i)); c >= 0; c = next(c)) {
            const expr_node& n = v_.at(c);
            symbol_id id = 0;
            if (n.code == nc_ref) id = n.operand;
            if (n.code == nc_subscripted && skip(v_.child(c)) >= 0)
                id = v_.at(skip(v_.child(c))).operand;
            if (id && units_of_symbol(id).known && !units_of_symbol(id).exp.empty()) {
                out.push_back(id);
                continue;
            }
            for (symbol_id s : operands_with_units(c, depth + 1)) out.push_back(s);
        }
        return out;
    }

private:
    int skip(int i) const {
        while (i >= 0 && v_.ok(i) && v_.at(i).code == nc_comment) i = v_.next(i);
        return v_.ok(i) ? i : -1;
    }
    int next(int i) const { return i >= 0 ? skip(v_.next(i)) : -1; }

    units_value call(int i, int depth) {
        int f = skip(v_.child(i));
        int list = next(f);
        if (f < 0 || list < 0 || !valid_symbol(v_.at(f).operand)) return {};
        const builtin_function* fn = find_builtin(safe_sym_name(v_.at(f).operand));
        if (!fn) return {};
        std::vector<int> args;
        for (int a = v_.child(list); a >= 0 && args.size() < v_.count; a = v_.next(a)) {
            int c = v_.at(a).code;
            if (c != nc_init_mark && c != nc_comment) args.push_back(a);
        }
        auto arg = [&](std::size_t k) {
            return k < args.size() ? of(args[k], depth + 1) : units_value{};
        };
        if (fn->code == fn_prod && !args.empty()) {
            // A product over ranges: the operand's units to the power of the
            // number of elements multiplied (the sizes of the "!" ranges).
            int a = skip(args[0]);
            long long n = 1;
            if (a >= 0 && v_.at(a).code == nc_subscripted)
                for (int c = next(skip(v_.child(a))); c >= 0; c = next(c))
                    if (v_.at(c).code == nc_sum_sub) {
                        const element_list* l = safe_range_elements(v_.at(c).operand);
                        if (!l || l->count == 0) return {};
                        n *= l->count;
                        if (n > 64) return {};
                    }
            return power_units(arg(0), static_cast<double>(n));
        }
        switch (fn->units) {
        case ur_first:
            return arg(0);
        case ur_same_first_two:
            return same_units(arg(0), arg(1));
        case ur_same_last_two:
            return same_units(arg(1), arg(2));
        case ur_dimensionless:
            return dimensionless();
        case ur_first_by_time:
            return units_product(arg(0), time_);
        case ur_per_time:
            return units_product(dimensionless(), time_, -1);
        case ur_ratio:
            return units_product(arg(0), arg(1), -1);
        case ur_square_root: {
            units_value a = arg(0);
            if (!a.known || a.any) return a;
            units_value r = dimensionless();
            for (const auto& [id, e] : a.exp) {
                if (e % 2) return {};
                r.exp[id] = e / 2;
            }
            return r;
        }
        case ur_power:
            if (args.size() > 1 && v_.at(args[1]).code == nc_number)
                return power_units(arg(0), as_float(v_.at(args[1]).operand));
            return {};
        default:
            return {};
        }
    }

    node_view v_;
    units_value time_;
};

// The units of time: those of TIME STEP, else those of Time.
units_value time_units() {
    units_value t = units_of_symbol(find_symbol("TIME STEP"));
    if (t.known) return t;
    return model_hdr ? units_of_symbol(model_hdr->w[mh_time_symbol]) : units_value{};
}

void mismatch(const char* message, symbol_id owner, const units_value& got,
              const units_value& want) {
    report(5, "%s", message);
    report(1, "%s: %s against %s", varformat(owner, 0), units_value_text(got).c_str(),
           units_value_text(want).c_str());
}

// The model text of one part of an equation, on one line.
std::string part_text(equation_record* e, int node) {
    doc_push();
    text_report(512, 0, 0, report_none, 0, 0);
    write_expr(e, node);
    doc_flush();
    std::string out;
    for (const std::string& l : report_lines()) {
        if (!out.empty()) out += ' ';
        out += l;
    }
    doc_pop();
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// Names the terms of a sum whose units differ from those wanted (a number
// fits any); the whole side when it is no sum.
void explain_mismatch(equation_record* e, units_calc& calc, int side, const units_value& want) {
    std::vector<int> terms;
    calc.terms(side, terms);
    int named = 0;
    for (int t : terms) {
        const units_value u = calc.of(t);
        if (!u.known || units_equal(u, want)) continue;
        report(1, "Term %s has units %s", part_text(e, t).c_str(), units_value_text(u).c_str());
        ++named;
    }
    for (int t : terms) {
        if (calc.of(t).known) continue;
        const int part = calc.unknown_part(t);
        report(1, "The units of %s cannot be told", part_text(e, part).c_str());
        ++named;
    }
    (void)named;
}

// Names the part whose units cannot be told, and the variables with units
// inside it.
void explain_unknown(equation_record* e, units_calc& calc, int side) {
    const int part = calc.unknown_part(side);
    std::string with;
    for (symbol_id id : calc.operands_with_units(part)) {
        if (!with.empty()) with += ", ";
        with += std::string(varformat(id, 0)) + " (" + units_value_text(units_of_symbol(id)) + ")";
    }
    if (with.empty())
        report(1, "The units of %s cannot be told", part_text(e, part).c_str());
    else
        report(1, "The units of %s cannot be told from those of %s", part_text(e, part).c_str(),
               with.c_str());
}

} // namespace

int check_eq_units(equation_record* e, int explain) {
    node_view v = equation_nodes(e);
    if (!v.ok(0)) return -1;
    int kind = v.at(0).code;
    int lhs = v.child(0);
    while (lhs >= 0 && v.at(lhs).code == nc_comment) lhs = v.next(lhs);
    if (lhs < 0) return -1;
    symbol_id owner = v.at(lhs).operand;
    if (v.at(lhs).code == nc_subscripted) {
        int c = v.child(lhs);
        owner = c >= 0 ? v.at(c).operand : 0;
    }
    units_value want = units_of_symbol(owner);
    if (!want.known) return -1;
    std::vector<int> body;
    for (int c = v.next(lhs); c >= 0 && body.size() < v.count; c = v.next(c))
        if (v.at(c).code != nc_comment) body.push_back(c);
    units_value time = time_units();
    units_calc calc(e, time);
    switch (kind) {
    case nc_level_eq: {
        if (body.size() < 2) return -1;
        units_value rate = calc.of(body[0]);
        units_value init = calc.of(body[1]);
        int result = -1;
        if (time.known && rate.known) {
            units_value want_rate = units_product(want, time, -1);
            if (!units_equal(rate, want_rate)) {
                mismatch("Units missmatch in INTEG", owner, rate, want_rate);
                if (explain) explain_mismatch(e, calc, body[0], want_rate);
                return 0;
            }
            result = 1;
        }
        if (init.known) {
            if (!units_equal(init, want)) {
                mismatch("Units missmatch in INTEG", owner, init, want);
                if (explain) explain_mismatch(e, calc, body[1], want);
                return 0;
            }
            result = 1;
        }
        if (explain && time.known && !rate.known) explain_unknown(e, calc, body[0]);
        if (explain && !init.known) explain_unknown(e, calc, body[1]);
        return result;
    }
    case nc_aux_eq:
    case nc_data_eq:
    case nc_initial_eq:
    case nc_constant_eq:
    case nc_data_constant_eq:
    case nc_game_eq:
    case nc_test_input_eq:
    case nc_time_base_eq: {
        if (body.empty()) return -1;
        units_value got = calc.of(body[0]);
        if (!got.known) {
            // A sum whose terms all have units, which disagree, has none:
            // the terms that differ from the wanted units are named.
            std::vector<int> terms;
            calc.terms(body[0], terms);
            bool all_known = terms.size() > 1;
            for (int t : terms) all_known = all_known && calc.of(t).known;
            if (explain && all_known) {
                report(1, "%s: the terms of its sum have different units", varformat(owner, 0));
                explain_mismatch(e, calc, body[0], want);
                return -1;
            }
            if (explain) explain_unknown(e, calc, body[0]);
            return -1;
        }
        if (units_equal(got, want)) return 1;
        mismatch("Right hand and left hand units do not match", owner, got, want);
        if (explain) explain_mismatch(e, calc, body[0], want);
        return 0;
    }
    default:
        return -1;
    }
}
