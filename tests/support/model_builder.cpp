// The model builder and its small expression reader (test support only: the
// product has no equation parser).
#include "tests/support/model_builder.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/memory.h"
#include "foundation/names.h"

namespace {

struct tnode {
    tnode(int c = 0, std::uint32_t op = 0) : code(c), operand(op) {}
    int code;
    std::uint32_t operand;
    std::string text; // literal
    std::vector<tnode> kids;
};

bool name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.' ||
           static_cast<unsigned char>(c) >= 0xC0;
}
bool name_char(char c) {
    return name_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == ' ' || c == '$' ||
           c == '\'';
}

// Reads the name at p (p past it); trailing blanks are left unread.
std::string read_name(const char*& p) {
    const char* start = p;
    while (name_char(*p)) ++p;
    const char* end = p;
    while (end > start && end[-1] == ' ') --end;
    p = end;
    return std::string(start, end);
}

class parser {
public:
    parser(handle symbols, const char* text, std::string& error)
        : s_(symbols), p_(text), err_(error) {}

    bool ok() const { return err_.empty(); }
    bool at_end() {
        skip();
        return *p_ == 0;
    }

    tnode expr() { return or_expr(); }

    // A left-hand side: name with optional subscripts.
    tnode lhs() {
        skip();
        std::string n = read_name(p_);
        symbol_id id = lookup(n);
        if (!id) return fail("unknown name " + n);
        tnode ref{nc_ref, id};
        skip();
        if (*p_ == '[') return subscripted(ref);
        return ref;
    }

    symbol_id lookup(const std::string& n) { return find_symbol_in(s_, n.c_str()); }

private:
    tnode fail(const std::string& why) {
        if (err_.empty()) err_ = why;
        return tnode{};
    }
    void skip() {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r') ++p_;
    }
    bool take(const char* op) {
        skip();
        std::size_t n = std::strlen(op);
        if (std::strncmp(p_, op, n) != 0) return false;
        p_ += n;
        return true;
    }
    tnode binary(int code, tnode a, tnode b) {
        tnode t{code, 0};
        t.kids.push_back(std::move(a));
        t.kids.push_back(std::move(b));
        return t;
    }
    tnode or_expr() {
        tnode a = and_expr();
        while (ok() && take(":OR:")) a = binary(nc_or, std::move(a), and_expr());
        return a;
    }
    tnode and_expr() {
        tnode a = not_expr();
        while (ok() && take(":AND:")) a = binary(nc_and, std::move(a), not_expr());
        return a;
    }
    tnode not_expr() {
        if (take(":NOT:")) {
            tnode t{nc_not, 0};
            t.kids.push_back(not_expr());
            return t;
        }
        return cmp();
    }
    tnode cmp() {
        tnode a = add();
        static const std::pair<const char*, int> ops[] = {
            {"<>", nc_ne}, {"<=", nc_le}, {">=", nc_ge}, {"<", nc_lt}, {">", nc_gt}, {"=", nc_eq}};
        for (auto& [op, code] : ops)
            if (ok() && take(op)) return binary(code, std::move(a), add());
        return a;
    }
    tnode add() {
        tnode a = mul();
        while (ok()) {
            if (take("+"))
                a = binary(nc_add, std::move(a), mul());
            else if (take("-"))
                a = binary(nc_sub, std::move(a), mul());
            else
                break;
        }
        return a;
    }
    tnode mul() {
        tnode a = unary();
        while (ok()) {
            if (take("*"))
                a = binary(nc_mul, std::move(a), unary());
            else if (take("/"))
                a = binary(nc_div, std::move(a), unary());
            else
                break;
        }
        return a;
    }
    tnode unary() {
        if (take("-")) {
            tnode t{nc_neg, 0};
            t.kids.push_back(unary());
            return t;
        }
        if (take("+")) {
            tnode t{nc_pos, 0};
            t.kids.push_back(unary());
            return t;
        }
        tnode a = primary();
        if (ok() && take("^")) return binary(nc_pow, std::move(a), unary());
        return a;
    }
    tnode primary() {
        skip();
        if (*p_ == '(') {
            ++p_;
            tnode t{nc_paren, 0};
            t.kids.push_back(expr());
            if (!take(")")) return fail("missing )");
            return t;
        }
        if (*p_ == '"') {
            const char* start = ++p_;
            while (*p_ && *p_ != '"') ++p_;
            if (!*p_) return fail("unterminated text");
            tnode t{nc_literal, 0};
            t.text.assign(start, p_);
            ++p_;
            return t;
        }
        if (std::isdigit(static_cast<unsigned char>(*p_)) ||
            (*p_ == '.' && std::isdigit(static_cast<unsigned char>(p_[1])))) {
            char* end;
            float v = std::strtof(p_, &end);
            p_ = end;
            return tnode{nc_number, float_bits(v)};
        }
        if (!name_start(*p_)) return fail(std::string("unexpected ") + (*p_ ? p_ : "end"));
        std::string n = read_name(p_);
        skip();
        if (*p_ == '[') {
            // An arrayed lookup called with its subscripts: "Curve[region](x)".
            symbol_id id = lookup(n);
            if (id && get_symbol(s_, id).type == st_lookup) {
                tnode t{nc_lookup_call, 0};
                t.kids.push_back(subscripted(tnode{nc_symbol, id}));
                skip();
                if (!take("(")) return fail("missing ( after " + n);
                t.kids.push_back(expr());
                if (!take(")")) return fail("missing ) after lookup argument");
                return t;
            }
        }
        if (*p_ == '(') {
            if (const builtin_function* f = find_builtin(n.c_str())) return call(*f);
            symbol_id id = lookup(n);
            if (id && get_symbol(s_, id).type == st_lookup) {
                ++p_;
                tnode t{nc_lookup_call, 0};
                t.kids.push_back(tnode{nc_symbol, id});
                t.kids.push_back(expr());
                if (!take(")")) return fail("missing ) after lookup argument");
                return t;
            }
            return fail("unknown function " + n);
        }
        symbol_id id = lookup(n);
        if (!id) return fail("unknown name " + n);
        tnode ref{nc_ref, id};
        if (*p_ == '[') return subscripted(ref);
        return ref;
    }
    tnode subscripted(tnode ref) {
        ++p_; // '['
        tnode t{nc_subscripted, 0};
        t.kids.push_back(std::move(ref));
        while (ok()) {
            skip();
            std::string n = read_name(p_);
            symbol_id id = lookup(n);
            if (!id) return fail("unknown subscript " + n);
            skip();
            if (*p_ == '!') {
                ++p_;
                t.kids.push_back(tnode{nc_sum_sub, id});
            } else {
                t.kids.push_back(tnode{nc_symbol, id});
            }
            if (take(",")) continue;
            if (take("]")) break;
            return fail("bad subscripts");
        }
        return t;
    }
    symbol_id function_symbol(const builtin_function& f) {
        symbol_id id = lookup(f.name);
        if (id) return id;
        int type = f.kind == fnk_vector ? st_vector_function : st_function;
        id = add_symbol(s_, f.name, type);
        symbol_record r = get_symbol(s_, id);
        r.min = f.code | std::uint32_t(std::uint8_t(f.max_args)) << 16 |
                std::uint32_t(std::uint8_t(f.text_args)) << 24;
        r.max = 0;
        put_symbol(s_, id, r);
        return id;
    }
    tnode call(const builtin_function& f) {
        ++p_; // '('
        tnode t{f.node, 0};
        t.kids.push_back(tnode{nc_symbol, function_symbol(f)});
        tnode args{nc_arglist, 0};
        int n = 0;
        skip();
        if (*p_ != ')') {
            while (ok()) {
                if (n == f.init_from) args.kids.push_back(tnode{nc_init_mark, 0});
                args.kids.push_back(expr());
                ++n;
                if (take(",")) continue;
                break;
            }
        }
        if (!take(")")) return fail(std::string("missing ) after arguments of ") + f.name);
        if (n < f.min_args || n > f.max_args)
            return fail(std::string("argument count of ") + f.name);
        t.kids.push_back(std::move(args));
        return t;
    }

    handle s_;
    const char* p_;
    std::string& err_;
};

// Flattens a tree into nodes; the index of the node made for t.
std::uint32_t emit(const tnode& t, std::vector<expr_node>& out) {
    std::uint32_t i = static_cast<std::uint32_t>(out.size());
    out.push_back(expr_node{static_cast<std::uint16_t>(t.code), 0, t.operand});
    if (t.code == nc_literal || t.code == nc_comment) {
        out[i].operand = static_cast<std::uint32_t>(t.text.size());
        std::size_t slots = (t.text.size() + 1 + 7) / 8;
        std::string bytes = t.text;
        bytes.resize(slots * 8, '\0');
        for (std::size_t k = 0; k < slots; ++k) {
            expr_node n;
            std::memcpy(&n, bytes.data() + 8 * k, 8);
            out.push_back(n);
        }
        return i;
    }
    std::uint32_t prev = 0;
    for (std::size_t k = 0; k < t.kids.size(); ++k) {
        std::uint32_t c = emit(t.kids[k], out);
        if (k == 0)
            out[i].operand = c - i;
        else
            out[prev].next = static_cast<std::uint16_t>(c - prev);
        prev = c;
    }
    return i;
}

// The token text: the typed equation with each name of a symbol replaced by
// its escape.
std::string tokenize(handle symbols, const std::string& text) {
    std::string out;
    const char* p = text.c_str();
    while (*p) {
        if (*p == '"') {
            const char* q = std::strchr(p + 1, '"');
            std::size_t n = q ? static_cast<std::size_t>(q - p + 1) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        if (name_start(*p)) {
            const char* start = p;
            std::string n = read_name(p);
            symbol_id id = find_symbol_in(symbols, n.c_str());
            if (id) {
                out += static_cast<char>(token_symbol);
                char b[4];
                std::memcpy(b, &id, 4);
                out.append(b, 4);
            } else {
                out.append(start, p);
            }
            continue;
        }
        out += *p++;
    }
    return out;
}

} // namespace

model_builder::model_builder(const char* name) {
    model_ = new_model(name, 1);
    control_group_ = find_symbol_in(model_.symbols, control_group_name);
}

model_builder::~model_builder() {
    if (model_.symbols) free_model(model_.header, model_.symbols);
}

model_pair model_builder::release() {
    finish();
    model_pair m = model_;
    model_ = {};
    return m;
}

symbol_id model_builder::id(const char* name) const {
    return find_symbol_in(model_.symbols, name);
}

model_builder& model_builder::control(float initial, float final_time, float step, float saveper) {
    control_[0] = initial;
    control_[1] = final_time;
    control_[2] = step;
    control_[3] = saveper;
    return *this;
}

void model_builder::add_units_text(symbol_id s, const char* units) {
    if (!units || !*units) return;
    std::vector<symbol_id> num, den;
    const char* p = units;
    bool below = false;
    while (*p) {
        while (*p == ' ') ++p;
        if (*p == '*') {
            ++p;
            continue;
        }
        if (*p == '/') {
            below = true;
            ++p;
            continue;
        }
        const char* start = p;
        while (*p && *p != '*' && *p != '/') ++p;
        std::string n(start, p);
        while (!n.empty() && n.back() == ' ') n.pop_back();
        if (n.empty() || n == "1") continue;
        symbol_id u = find_symbol_in(model_.symbols, n.c_str());
        if (!u) u = add_symbol(model_.symbols, n.c_str(), st_units);
        (below ? den : num).push_back(u);
    }
    std::string typed = tokenize(model_.symbols, units);
    std::uint32_t tcell =
        add_tokens(model_.symbols, typed.data(), static_cast<std::uint32_t>(typed.size()));
    std::uint32_t cell = add_units(model_.symbols, tcell, num.data(), static_cast<int>(num.size()),
                                   den.data(), static_cast<int>(den.size()));
    symbol_record r = get_symbol(model_.symbols, s);
    r.units = cell;
    put_symbol(model_.symbols, s, r);
}

symbol_id model_builder::declare(const char* lhs, int type, const char* units) {
    std::string text = lhs;
    std::size_t br = text.find('[');
    std::string name = text.substr(0, br);
    symbol_id s = find_symbol_in(model_.symbols, name.c_str());
    if (s) return s; // another equation of a subscripted variable
    s = add_symbol(model_.symbols, name.c_str(), type);
    if (br != std::string::npos) {
        std::vector<symbol_id> ranges;
        std::size_t at = br + 1;
        while (at < text.size()) {
            std::size_t end = text.find_first_of(",]", at);
            if (end == std::string::npos) break;
            std::string sub = scan_var_name(text.substr(at, end - at).c_str());
            symbol_id r = find_symbol_in(model_.symbols, sub.c_str());
            symbol_record rr = get_symbol(model_.symbols, r);
            if (r && rr.type == st_element) r = rr.subref;
            if (!r)
                errors_.push_back("unknown subscript " + sub + " of " + name);
            else
                ranges.push_back(r);
            at = end + 1;
            if (text[end] == ']') break;
        }
        symbol_record rec = get_symbol(model_.symbols, s);
        rec.dims = static_cast<std::uint16_t>(
            add_dims(model_.symbols, ranges.data(), static_cast<int>(ranges.size())));
        put_symbol(model_.symbols, s, rec);
    }
    add_units_text(s, units);
    return s;
}

symbol_id model_builder::constant(const char* lhs, float value, const char* units) {
    symbol_id s = declare(lhs, st_constant, units);
    pending p{s, nc_constant_eq, lhs, {}};
    p.numbers = {value};
    pending_.push_back(p);
    return s;
}

symbol_id model_builder::constant_list(const char* lhs, const std::vector<float>& values,
                                       const char* units) {
    symbol_id s = declare(lhs, st_constant, units);
    pending p{s, nc_constant_eq, lhs, {}};
    p.numbers = values;
    p.text = "list";
    pending_.push_back(p);
    return s;
}

symbol_id model_builder::aux(const char* lhs, const char* expr, const char* units) {
    symbol_id s = declare(lhs, st_aux, units);
    pending_.push_back(pending{s, nc_aux_eq, lhs, {expr}});
    return s;
}

symbol_id model_builder::constraint(const char* lhs, const char* expr) {
    symbol_id s = declare(lhs, st_constraint, nullptr);
    pending_.push_back(pending{s, nc_constraint_eq, lhs, {expr}});
    return s;
}

symbol_id model_builder::game_input(const char* lhs, const char* expr, const char* units) {
    symbol_id s = declare(lhs, st_game, units);
    pending_.push_back(pending{s, nc_game_eq, lhs, {expr}});
    return s;
}

symbol_id model_builder::initial(const char* lhs, const char* expr, const char* units) {
    symbol_id s = declare(lhs, st_initial, units);
    pending_.push_back(pending{s, nc_initial_eq, lhs, {expr}});
    return s;
}

symbol_id model_builder::level(const char* lhs, const char* rate, const char* init,
                               const char* units) {
    symbol_id s = declare(lhs, st_level, units);
    pending_.push_back(pending{s, nc_level_eq, lhs, {rate, init}});
    return s;
}

symbol_id model_builder::data(const char* lhs, const char* expr, const char* units) {
    symbol_id s = declare(lhs, st_data, units);
    pending p{s, nc_data_eq, lhs, {}};
    if (expr && *expr) p.body.push_back(expr);
    pending_.push_back(p);
    return s;
}

namespace {

// The element offset of a lookup's left side: 0 without subscripts, else
// from the element named in each dimension ("Curve[south]"); -1 when one is
// not an element of its dimension.
long lookup_element(handle symbols, symbol_id s, const std::string& lhs) {
    std::size_t br = lhs.find('[');
    if (br == std::string::npos) return 0;
    std::vector<symbol_id> named;
    for (std::size_t at = br + 1; at < lhs.size();) {
        std::size_t end = lhs.find_first_of(",]", at);
        if (end == std::string::npos) break;
        named.push_back(
            find_symbol_in(symbols, scan_var_name(lhs.substr(at, end - at).c_str()).c_str()));
        at = end + 1;
        if (lhs[end] == ']') break;
    }
    model_lock_guard g(symbols, 0);
    if (!g.ok()) return -1;
    const dim_record* d = sym_dims(s);
    if (!d || named.size() != d->ndims) return -1;
    long offset = 0;
    for (std::uint32_t i = 0; i < d->ndims; ++i) {
        const element_list* l = range_elements(d->d[i].range);
        long pos = -1;
        for (std::uint32_t k = 0; l && k < l->count && pos < 0; ++k)
            if (l->ids[k] == named[i]) pos = k;
        if (pos < 0) return -1;
        offset += pos * static_cast<long>(d->d[i].stride);
    }
    return offset;
}

} // namespace

symbol_id model_builder::lookup(const char* name, const std::vector<std::pair<float, float>>& pts,
                                const char* units, const char* range) {
    symbol_id s = declare(name, st_lookup, units);
    std::vector<float> x, y;
    for (auto& [a, b] : pts) {
        x.push_back(a);
        y.push_back(b);
    }
    pending p{s, nc_lookup_eq, name, {}};
    long element = lookup_element(model_.symbols, s, name);
    if (element < 0) {
        errors_.push_back(std::string("the lookup ") + name + " names no element of its ranges");
        element = 0;
    }
    p.lookup = add_lookup(model_.symbols, s, static_cast<std::uint32_t>(element), x.data(),
                          y.data(), static_cast<std::uint32_t>(x.size()));
    std::string typed = std::string(name) + "(";
    if (range) typed.append(range).append(",");
    char buf[64];
    for (std::size_t i = 0; i < pts.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%s(%g,%g)", i ? "," : "", pts[i].first, pts[i].second);
        typed += buf;
    }
    p.text = typed + ")";
    pending_.push_back(p);
    return s;
}

symbol_id model_builder::string_var(const char* name, const char* text) {
    symbol_id s = declare(name, st_string, nullptr);
    pending p{s, nc_string_eq, name, {}};
    p.text = text ? text : "";
    pending_.push_back(p);
    return s;
}

symbol_id model_builder::function_of(const char* name, const std::vector<const char*>& causes) {
    symbol_id s = declare(name, st_aux, nullptr);
    pending p{s, nc_function_of, name, {}};
    for (const char* c : causes) p.causes.push_back(c);
    pending_.push_back(p);
    return s;
}

symbol_id model_builder::time_base(const char* name, const char* expr, float scale, float offset) {
    symbol_id s = declare(name, st_time_base, nullptr);
    symbol_record r = get_symbol(model_.symbols, s);
    r.min = float_bits(scale);
    r.elems = float_bits(offset);
    put_symbol(model_.symbols, s, r);
    pending_.push_back(pending{s, nc_time_base_eq, name, {expr}});
    return s;
}

symbol_id model_builder::range(const char* name, const std::vector<const char*>& elements) {
    symbol_id r = add_symbol(model_.symbols, name, st_range);
    std::vector<symbol_id> ids;
    symbol_id parent = 0;
    for (const char* e : elements) {
        symbol_id id = find_symbol_in(model_.symbols, e);
        if (id) {
            symbol_record er = get_symbol(model_.symbols, id);
            if (er.type == st_element && er.subref) parent = er.subref;
        } else {
            id = add_symbol(model_.symbols, e, st_element);
            symbol_record er = get_symbol(model_.symbols, id);
            er.subref = r;
            put_symbol(model_.symbols, id, er);
        }
        ids.push_back(id);
    }
    set_range_elements(model_.symbols, r, ids.data(), static_cast<int>(ids.size()));
    symbol_record rr = get_symbol(model_.symbols, r);
    rr.subref = parent;
    put_symbol(model_.symbols, r, rr);
    pending p{r, nc_range_def, name, {}};
    for (const char* e : elements) p.causes.push_back(e);
    pending_.push_back(p);
    return r;
}

symbol_id model_builder::group(const char* name) {
    std::string n = name;
    if (n.empty() || n[0] != group_marker) n = std::string(1, group_marker) + n;
    symbol_id g = find_symbol_in(model_.symbols, n.c_str());
    return g ? g : add_symbol(model_.symbols, n.c_str(), st_group);
}

model_builder& model_builder::in_group(symbol_id var, symbol_id g) {
    symbol_record r = get_symbol(model_.symbols, var);
    r.group = g;
    put_symbol(model_.symbols, var, r);
    return *this;
}

model_builder& model_builder::comment(symbol_id var, const char* text) {
    set_comment(model_.symbols, var, text);
    return *this;
}

model_builder& model_builder::limits(symbol_id var, float min, float max, float increment) {
    symbol_record r = get_symbol(model_.symbols, var);
    r.min = float_bits(min);
    r.max = float_bits(max);
    r.incr = float_bits(increment);
    put_symbol(model_.symbols, var, r);
    return *this;
}

model_builder& model_builder::pair(symbol_id var, symbol_id other, const char* text) {
    add_pair(model_.symbols, var, other, text);
    return *this;
}

model_builder& model_builder::flags(symbol_id var, std::uint16_t f) {
    symbol_record r = get_symbol(model_.symbols, var);
    r.flags = f;
    put_symbol(model_.symbols, var, r);
    return *this;
}

model_builder& model_builder::settings_text(const char* text) {
    set_settings_text(model_.symbols, text);
    return *this;
}

model_builder& model_builder::password(const char* text) {
    set_model_password(model_.symbols, text);
    return *this;
}

int model_builder::add_view(const char* name) {
    return ::add_view(model_.symbols, name);
}

int model_builder::add_element(int view, const std::vector<std::uint8_t>& record) {
    return add_view_element(model_.symbols, view, record.data(),
                            static_cast<std::uint32_t>(record.size()));
}

bool model_builder::build(const pending& p, int order) {
    std::string err;
    tnode root{p.kind, 0};
    std::string typed;
    if (p.kind == nc_range_def) {
        root.kids.push_back(tnode{nc_symbol, p.sym});
        typed = p.lhs + ": ";
        for (std::size_t i = 0; i < p.causes.size(); ++i) {
            symbol_id e = find_symbol_in(model_.symbols, p.causes[i].c_str());
            root.kids.push_back(tnode{nc_symbol, e});
            typed += (i ? ", " : "") + p.causes[i];
        }
    } else {
        parser lhs(model_.symbols, p.lhs.c_str(), err);
        root.kids.push_back(lhs.lhs());
        typed = p.lhs + " = ";
        if (p.kind == nc_constant_eq || p.kind == nc_data_constant_eq) {
            if (p.text == "list") {
                tnode list{nc_number_list, 0};
                for (std::size_t i = 0; i < p.numbers.size(); ++i) {
                    list.kids.push_back(tnode{nc_number, float_bits(p.numbers[i])});
                    char b[32];
                    std::snprintf(b, sizeof b, "%s%g", i ? "," : "", p.numbers[i]);
                    typed += b;
                }
                root.kids.push_back(std::move(list));
            } else {
                root.kids.push_back(tnode{nc_number, float_bits(p.numbers[0])});
                char b[32];
                std::snprintf(b, sizeof b, "%g", p.numbers[0]);
                typed += b;
            }
        } else if (p.kind == nc_lookup_eq) {
            root.kids.push_back(tnode{nc_lookup_def, static_cast<std::uint32_t>(p.lookup)});
            typed = p.text;
        } else if (p.kind == nc_string_eq) {
            tnode lit{nc_literal, 0};
            lit.text = p.text;
            root.kids.push_back(lit);
            typed += "\"" + p.text + "\"";
        } else if (p.kind == nc_function_of) {
            typed += "A FUNCTION OF(";
            for (std::size_t i = 0; i < p.causes.size(); ++i) {
                root.kids.push_back(
                    tnode{nc_ref, find_symbol_in(model_.symbols, p.causes[i].c_str())});
                typed += (i ? ", " : "") + p.causes[i];
            }
            typed += ")";
        } else if (p.kind == nc_level_eq) {
            for (const std::string& b : p.body) {
                parser e(model_.symbols, b.c_str(), err);
                root.kids.push_back(e.expr());
                if (err.empty() && !e.at_end()) err = "unexpected text after " + b;
            }
            typed += "INTEG(" + p.body[0] + ", " + p.body[1] + ")";
        } else {
            for (const std::string& b : p.body) {
                parser e(model_.symbols, b.c_str(), err);
                root.kids.push_back(e.expr());
                if (err.empty() && !e.at_end()) err = "unexpected text after " + b;
                typed += b;
            }
        }
    }
    if (!err.empty()) {
        errors_.push_back(p.lhs + ": " + err);
        return false;
    }
    std::vector<expr_node> nodes;
    emit(root, nodes);
    std::string tokens = tokenize(model_.symbols, typed);
    std::uint32_t tcell =
        add_tokens(model_.symbols, tokens.data(), static_cast<std::uint32_t>(tokens.size()));
    add_equation(model_.symbols, p.sym, nodes.data(), static_cast<std::uint32_t>(nodes.size()),
                 tcell, order);
    return true;
}

bool model_builder::finish() {
    if (finished_) return errors_.empty();
    finished_ = true;
    const char* names[4] = {"INITIAL TIME", "FINAL TIME", "TIME STEP", "SAVEPER"};
    int at = 0;
    for (int i = 0; i < 4; ++i) {
        // A control the model declared itself (an auxiliary FINAL TIME)
        // keeps its own equation.
        const bool own = find_symbol_in(model_.symbols, names[i]) != 0;
        control_ids_[i] = declare(names[i], st_constant, nullptr);
        in_group(control_ids_[i], control_group_);
        if (own) continue;
        pending p{control_ids_[i], nc_constant_eq, names[i], {}};
        p.numbers = {control_[i]};
        pending_.insert(pending_.begin() + at++, p);
    }
    int order = 1;
    for (const pending& p : pending_) {
        build(p, order++);
        symbol_record r = get_symbol(model_.symbols, p.sym);
        r.order = order;
        put_symbol(model_.symbols, p.sym, r);
    }
    pending_.clear();
    assign_value_slots(model_.symbols);
    rebuild_indexes(model_.symbols);
    return errors_.empty();
}

int model_builder::write(const char* path, bool foreign) {
    finish();
    model_write_options o;
    o.foreign = foreign;
    return write_model_file(path, model_.symbols, o);
}

void add_stock_ring(model_builder& b) {
    constexpr int count = 100;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("cell " + std::to_string(i));
    std::vector<const char*> ptrs;
    for (auto& n : names) ptrs.push_back(n.c_str());
    b.range("cells", ptrs);
    for (int v = 0; v < count; ++v) {
        std::string stock = "stock " + std::to_string(v) + "[cells]";
        std::string flow = "flow " + std::to_string(v) + "[cells]";
        std::string next = "stock " + std::to_string((v + 1) % count) + "[cells]";
        b.level(stock.c_str(), flow.c_str(), "1");
        std::string expr = "(" + next + " - " + stock + ") * rate";
        b.aux(flow.c_str(), expr.c_str());
    }
    b.constant("rate", 0.01f);
}
