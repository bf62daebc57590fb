// Equations and names as text.
#include "model/eqtext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "model/trees.h"
#include "model/varnames.h"

namespace {

handle reading_model() {
    return model_lock_flag != -1 && locked_model_symbols ? locked_model_symbols : cur_model_symbols;
}

} // namespace

// ---------------------------------------------------------------- writing ---

namespace {

constexpr int max_write_depth = 400;

// Writes the nodes of one equation in model text.
class expr_writer {
public:
    explicit expr_writer(equation_record* e) : e_(e), v_(equation_nodes(e)) {}

    void node(int i, int depth = 0) {
        if (!v_.ok(i)) {
            put("?");
            return;
        }
        if (depth > max_write_depth) {
            put("...");
            return;
        }
        const expr_node& n = v_.at(i);
        int code = n.code;
        if (is_equation_kind(code)) {
            equation(i, depth);
            return;
        }
        if (node_is_binary(code)) {
            int p = node_precedence(code);
            int a = v_.child(i);
            int b = a >= 0 ? skip_comments(v_.next(a)) : -1;
            operand(a, p, code == nc_pow || p == prec_cmp, depth);
            put(" ");
            put(node_operator_text(code));
            put(" ");
            bool right_strict =
                code == nc_sub || code == nc_div || node_precedence(code) == prec_cmp;
            operand(b, p, right_strict, depth, code == nc_pow);
            return;
        }
        // Every call shape is written alike.
        switch (node_dispatch_code(code)) {
        case nc_number:
            put(number_model_text(as_float(n.operand)));
            return;
        case nc_ref:
        case nc_symbol:
            name(n.operand);
            return;
        case nc_sum_sub:
            name(n.operand);
            put("!");
            return;
        case nc_neg:
        case nc_pos:
            put(code == nc_neg ? "-" : "+");
            operand(v_.child(i), prec_unary, true, depth);
            return;
        case nc_not:
            put(":NOT: ");
            operand(v_.child(i), prec_not, false, depth);
            return;
        case nc_paren:
            put("(");
            node(skip_comments(v_.child(i)), depth + 1);
            put(")");
            return;
        case nc_subscripted: {
            int c = skip_comments(v_.child(i));
            node(c, depth + 1);
            put("[");
            int k = 0;
            for (int s = c >= 0 ? v_.next(c) : -1; s >= 0; s = v_.next(s)) {
                if (v_.at(s).code == nc_comment) continue;
                if (k++) put(",");
                node(s, depth + 1);
            }
            put("]");
            return;
        }
        case nc_call: {
            int f = skip_comments(v_.child(i));
            int args = f >= 0 ? skip_comments(v_.next(f)) : -1;
            if (f >= 0)
                node(f, depth + 1);
            else
                put("?");
            put("(");
            if (args >= 0) arg_list(args, depth);
            put(")");
            return;
        }
        case nc_arglist:
            arg_list(i, depth);
            return;
        case nc_lookup_call: {
            int l = skip_comments(v_.child(i));
            int x = l >= 0 ? skip_comments(v_.next(l)) : -1;
            node(l, depth + 1);
            put("(");
            node(x, depth + 1);
            put(")");
            return;
        }
        case nc_literal:
            put_between('"', v_.text(i), '"');
            return;
        case nc_comment:
            put_between('{', v_.text(i), '}');
            return;
        case nc_number_list:
            number_list(i);
            return;
        case nc_row_break:
            put(";");
            return;
        case nc_lookup_def:
            lookup_points(static_cast<int>(n.operand));
            return;
        case nc_map: {
            put(" -> ");
            std::vector<int> kids = children(i);
            if (kids.size() != 1) put("(");
            for (std::size_t k = 0; k < kids.size(); ++k) {
                if (k) put(", ");
                node(kids[k], depth + 1);
            }
            if (kids.size() != 1) put(")");
            return;
        }
        case nc_init_mark:
            return;
        default:
            put("?");
            return;
        }
    }

    // The right-hand side of an equation whose root is node 0.
    void rhs(int depth = 0) {
        if (!v_.ok(0)) return;
        int code = v_.at(0).code;
        std::vector<int> kids = children(0);
        std::vector<int> body(kids.size() > 1 ? kids.begin() + 1 : kids.end(), kids.end());
        switch (code) {
        case nc_level_eq:
            put("INTEG(");
            if (!body.empty()) node(body[0], depth + 1);
            put(", ");
            if (body.size() > 1) node(body[1], depth + 1);
            put(")");
            return;
        case nc_function_of:
            put("A FUNCTION OF(");
            for (std::size_t k = 0; k < body.size(); ++k) {
                if (k) put(", ");
                node(body[k], depth + 1);
            }
            put(")");
            return;
        case nc_range_def:
            for (std::size_t k = 0; k < body.size(); ++k) {
                if (v_.at(body[k]).code == nc_map) {
                    node(body[k], depth + 1);
                    continue;
                }
                if (k) put(", ");
                node(body[k], depth + 1);
            }
            return;
        case nc_lookup_eq:
            put("(");
            if (!body.empty()) node(body[0], depth + 1);
            put(")");
            return;
        case nc_unparsed:
            if (e_ && e_->tokens) write_tokens(e_->tokens);
            return;
        default:
            for (std::size_t k = 0; k < body.size(); ++k) {
                if (k) put(" ");
                node(body[k], depth + 1);
            }
            return;
        }
    }

private:
    void put(const std::string& s) { doc_puts(s.c_str()); }
    void put(const char* s) { doc_puts(s ? s : ""); }
    // Built by appending: GCC 12 at -O3 takes `"x" + text + "y"` for an
    // overlapping copy (-Wrestrict).
    void put_between(char open, const std::string& text, char close) {
        std::string s(1, open);
        s += text;
        s += close;
        put(s);
    }

    void name(symbol_id id) {
        if (!valid_symbol(id)) {
            put("?");
            return;
        }
        if (is_variable_type(sym(id)->type)) doc_collect_name(id);
        put(model_text_name(safe_sym_name(id)));
    }

    int skip_comments(int i) const {
        while (i >= 0 && v_.at(i).code == nc_comment) i = v_.next(i);
        return i;
    }

    std::vector<int> children(int i) const {
        std::vector<int> out;
        for (int c = v_.child(i); c >= 0 && out.size() < v_.count; c = v_.next(c))
            if (v_.at(c).code != nc_comment) out.push_back(c);
        return out;
    }

    void operand(int i, int parent_prec, bool strict, int depth, bool right_of_pow = false) {
        i = skip_comments(i);
        if (i < 0) {
            put("?");
            return;
        }
        const expr_node& n = v_.at(i);
        int p = node_precedence(n.code);
        // A negative number reads like a unary minus.
        if (n.code == nc_number && std::signbit(as_float(n.operand)) && !is_na(as_float(n.operand)))
            p = prec_unary;
        bool paren = p < parent_prec || (strict && p == parent_prec && !right_of_pow);
        if (right_of_pow && p < prec_pow) paren = true;
        if (paren) put("(");
        node(i, depth + 1);
        if (paren) put(")");
    }

    void arg_list(int list, int depth) {
        int k = 0;
        for (int a = v_.child(list); a >= 0; a = v_.next(a)) {
            int code = v_.at(a).code;
            if (code == nc_init_mark) continue;
            if (code == nc_comment) {
                node(a, depth + 1);
                continue;
            }
            if (k++) put(", ");
            node(a, depth + 1);
        }
    }

    void number_list(int i) {
        bool first = true;
        for (int c = v_.child(i); c >= 0; c = v_.next(c)) {
            const expr_node& n = v_.at(c);
            if (n.code == nc_row_break) {
                put(";");
                first = true;
                continue;
            }
            if (!first) put(",");
            first = false;
            if (n.code == nc_number)
                put(number_model_text(as_float(n.operand)));
            else
                node(c);
        }
    }

    void lookup_points(int index) {
        const lookup_entry* e = lookup_at(index);
        std::uint32_t used = block_used_cells(model_lookup_data);
        if (!e || !model_lookups ||
            5 + std::uint64_t{lookup_entry_cells} * (std::uint64_t(index) + 1) >
                block_used_cells(model_lookups) ||
            std::uint64_t{e->x} + e->npoints > used || std::uint64_t{e->y} + e->npoints > used ||
            e->x < 5 || e->y < 5) {
            put("?");
            return;
        }
        const float* x = lookup_x(e);
        const float* y = lookup_y(e);
        for (std::uint32_t k = 0; k < e->npoints; ++k) {
            if (k) put(",");
            std::string point = "(";
            point += number_model_text(x[k]);
            point += ',';
            point += number_model_text(y[k]);
            point += ')';
            put(point);
        }
    }

    void equation(int i, int depth) {
        if (i != 0) {
            put("?");
            return;
        }
        int code = v_.at(0).code;
        std::vector<int> kids = children(0);
        if (!kids.empty()) node(kids[0], depth + 1);
        switch (code) {
        case nc_range_def:
            put(": ");
            rhs(depth);
            return;
        case nc_lookup_eq:
            rhs(depth);
            return;
        case nc_unparsed:
            return;
        case nc_data_eq:
            if (kids.size() < 2) return;
            break;
        default:
            break;
        }
        put(" = ");
        rhs(depth);
    }

    equation_record* e_;
    node_view v_;
};

} // namespace

namespace {
error_equation_fn error_equation_writer = nullptr;
}

void set_error_equation_hook(error_equation_fn hook) {
    error_equation_writer = hook;
}

void add_error_equation(equation_record* e) {
    if (e && error_equation_writer) error_equation_writer(e);
}

void write_expr(equation_record* e, int node) {
    if (!e) return;
    expr_writer w(e);
    w.node(node);
}

void write_equation_rhs(equation_record* e) {
    if (!e) return;
    expr_writer w(e);
    w.rhs();
}

void write_tokens(const token_text* tokens) {
    if (!tokens) return;
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(tokens->text);
    std::uint32_t n = tokens->bytes;
    for (std::uint32_t i = 0; i < n;) {
        if (p[i] == token_symbol) {
            if (i + 5 > n) break;
            symbol_id id;
            std::memcpy(&id, p + i + 1, 4);
            i += 5;
            if (valid_symbol(id)) {
                if (is_variable_type(sym(id)->type)) doc_collect_name(id);
                out += model_text_name(safe_sym_name(id));
            } else {
                out += '?';
            }
            continue;
        }
        if (p[i] == 0) break;
        out += static_cast<char>(p[i++]);
    }
    doc_puts(out.c_str());
}

void write_tokens(std::uint32_t cell) {
    write_tokens(safe_tokens(cell));
}

// --------------------------------------------------------------- wrapping ---

namespace {

bool blank(unsigned char c) {
    return c == ' ' || c == '\t';
}

// Characters after which a name may be broken across lines.
bool break_after(unsigned char c) {
    if (char_class[static_cast<unsigned char>('A')] != 0)
        return (char_class[c] & cc_break_after) != 0;
    return c == ' ' || c == '_' || c == ',' || (c != 0 && std::strchr("+-*/^=<>)", c) != nullptr);
}

} // namespace

void write_wrapped(int start_column, const char* text, int tabs, int cont_flag) {
    if (!text) return;
    std::string t(text);
    const std::string tab_text(static_cast<std::size_t>(std::max(0, tabs)), '\t');
    int col = start_column;
    int w = doc_wrap_width();
    for (int guard = 0; guard < 1000000; ++guard) {
        if (w <= 0 || col + static_cast<long>(t.size()) <= w) {
            doc_puts(t.c_str());
            return;
        }
        std::size_t cut = std::string::npos;
        long avail = static_cast<long>(w) - col;
        if (avail >= 1) {
            std::size_t from = std::min<std::size_t>(static_cast<std::size_t>(avail), t.size() - 1);
            for (std::size_t i = from; i >= 1 && cut == std::string::npos; --i)
                if (blank(static_cast<unsigned char>(t[i]))) cut = i;
            // No blank fits: break after an operator or another break character.
            for (std::size_t i = std::min(from, t.size() - 1); i >= 1 && cut == std::string::npos;
                 --i)
                if (i < t.size() && break_after(static_cast<unsigned char>(t[i - 1])) &&
                    static_cast<long>(i) <= avail)
                    cut = i;
        }
        if (cut == std::string::npos) {
            for (std::size_t i = 1; i < t.size(); ++i)
                if (blank(static_cast<unsigned char>(t[i]))) {
                    cut = i;
                    break;
                }
        }
        if (cut == std::string::npos || cut == 0) {
            doc_puts(t.c_str());
            return;
        }
        doc_puts(t.substr(0, cut).c_str());
        doc_puts(cont_flag ? "\\\n" : "\n");
        doc_puts(tab_text.c_str());
        std::size_t k = cut;
        while (k < t.size() && blank(static_cast<unsigned char>(t[k]))) ++k;
        t.erase(0, k);
        if (t.empty()) return;
        col = 10;
    }
}

void register_text_writers() {
    set_wrapped_writer(write_wrapped);
}

// ------------------------------------------------------ print_var_equation ---

int print_var_equation(const char* element, int sw1, int sw2) {
    bool find_only = sw1 == -1 && sw2 == -1;
    model_lock_guard g(reading_model(), 1);
    if (!g.ok()) return find_only ? -1 : 0;
    symbol_id var = 0;
    std::uint32_t el = 0;
    parsed_name p;
    if (!parse_var_name(element, &p) || p.flags & ~pn_trailing_text) return find_only ? -1 : 0;
    var = find_symbol(p.name.c_str());
    if (!valid_symbol(var)) return find_only ? -1 : 0;
    long off = element_offset_of(var, p);
    if (off < 0) return find_only ? -1 : 0;
    el = static_cast<std::uint32_t>(off);
    int position = -1;
    equation_record* e = equation_for_element(var, el, &position);
    if (find_only) return position;
    if (!e) return 0;
    write_equation_rhs(e);
    if (doc_collecting()) {
        std::vector<std::uint32_t> elems;
        for_each_reference(e, sw1 != 0, sw2 != 0, [&](int node, symbol_id ref) {
            elems.clear();
            referenced_elements(e, node, var, el, elems, 1u << 16);
            for (std::uint32_t x : elems) add_cause_element(ref, x);
        });
    }
    return 1;
}
