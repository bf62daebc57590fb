// Changes files (see changes.h and docs/formats/changes-file.md).
#include "sim/changes.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/openfile.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"
#include "model/codegen.h"
#include "model/model.h"
#include "sim/setup.h"

namespace {

enum change_kind { ck_constant, ck_lookup, ck_string };

struct change {
    change_kind kind;
    symbol_id sym = 0;
    std::vector<std::uint32_t> offsets; // elements, in lane order
    std::vector<float> values;          // constants: one, or one per element
    std::vector<float> x, y;            // lookup points
    std::string text;                   // string
};

// A parse failure: the column of the fault and its message.
struct parse_fault {
    int column = -1;
    std::string message;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class line_parser {
public:
    line_parser(const char* line, position_cache& cache) : s_(line), cache_(cache) {}

    // Parses one line; false with fault set on an error. A comment or blank
    // line gives true with no change.
    bool parse(std::vector<change>& out, parse_fault& fault) {
        fault_ = &fault;
        skip();
        if (!s_[p_] || s_[p_] == '*' || s_[p_] == ';') return true;
        std::size_t lhs_start = p_;
        int depth = 0;
        while (s_[p_] && !(s_[p_] == '=' && depth == 0)) {
            if (s_[p_] == '[') ++depth;
            if (s_[p_] == ']') --depth;
            if (s_[p_] == '"') {
                ++p_;
                while (s_[p_] && s_[p_] != '"') ++p_;
                if (!s_[p_]) return fail(lhs_start, "Unclosed quote in the name");
            }
            ++p_;
        }
        if (!s_[p_]) return fail(p_, "Expected = after the name");
        std::string lhs(s_ + lhs_start, s_ + p_);
        change c;
        if (!target(lhs, lhs_start, c)) return false;
        ++p_; // '='
        skip();
        int type = sym(c.sym)->type;
        if (s_[p_] == '"') {
            if (type != st_string)
                return fail(lhs_start, std::string(sym_name(c.sym)) + " is not a string variable");
            std::size_t start = ++p_;
            while (s_[p_] && s_[p_] != '"') ++p_;
            if (!s_[p_]) return fail(start - 1, "Unclosed quote");
            c.kind = ck_string;
            c.text.assign(s_ + start, s_ + p_);
            ++p_;
        } else if (s_[p_] == '(') {
            if (type != st_lookup)
                return fail(lhs_start, std::string(sym_name(c.sym)) + " is not a lookup");
            if (c.offsets.size() != 1)
                return fail(lhs_start, "A lookup change must name one element");
            c.kind = ck_lookup;
            while (s_[p_] == '(') {
                ++p_;
                float x, y;
                if (!number(x)) return false;
                skip();
                if (s_[p_] != ',') return fail(p_, "Expected , between x and y");
                ++p_;
                if (!number(y)) return false;
                skip();
                if (s_[p_] != ')') return fail(p_, "Expected ) after a point");
                ++p_;
                if (!c.x.empty() && x < c.x.back())
                    return fail(p_ - 1, "The x values of a lookup must increase");
                if (is_na(x) || is_na(y)) return fail(p_ - 1, "A lookup point cannot be :NA:");
                c.x.push_back(x);
                c.y.push_back(y);
                skip();
                if (s_[p_] == ',') {
                    ++p_;
                    skip();
                }
            }
        } else {
            if (type != st_constant && type != st_data_constant)
                return fail(lhs_start, std::string(sym_name(c.sym)) + " is not a constant");
            c.kind = ck_constant;
            for (;;) {
                float v;
                if (!number(v)) return false;
                c.values.push_back(v);
                skip();
                if (s_[p_] != ',') break;
                ++p_;
            }
            if (c.values.size() != 1 && c.values.size() != c.offsets.size())
                return fail(lhs_start, std::string(sym_name(c.sym)) + " needs 1 or " +
                                           std::to_string(c.offsets.size()) + " values (has " +
                                           std::to_string(c.values.size()) + ")");
        }
        skip();
        if (s_[p_]) return fail(p_, "Unexpected text after the change");
        out.push_back(std::move(c));
        return true;
    }

private:
    const char* s_;
    std::size_t p_ = 0;
    position_cache& cache_;
    parse_fault* fault_ = nullptr;

    bool fail(std::size_t column, const std::string& message) {
        fault_->column = static_cast<int>(column);
        fault_->message = message;
        return false;
    }
    void skip() {
        while (s_[p_] && is_blank(s_[p_])) ++p_;
    }
    bool number(float& out) {
        skip();
        std::size_t used = 0;
        std::string why;
        if (!scan_change_number(s_ + p_, &used, &out, &why)) return fail(p_, why);
        p_ += used;
        return true;
    }

    // The variable and elements a left-hand side names.
    bool target(const std::string& lhs, std::size_t at, change& c) {
        std::size_t br = lhs.find('[');
        std::string name = scan_var_name(lhs.substr(0, br).c_str());
        symbol_id s = name.empty() ? 0 : find_symbol_in(locked_model_symbols, name.c_str());
        if (!s || !valid_symbol(s))
            return fail(at, "Unknown variable " + (name.empty() ? lhs : name));
        c.sym = s;
        const dim_record* d = sym_dims(s);
        std::vector<std::vector<std::uint32_t>> pos(d->ndims);
        std::uint32_t given = 0;
        if (br != std::string::npos) {
            std::size_t close = lhs.find(']', br);
            if (close == std::string::npos) return fail(at + br, "Unclosed [");
            std::string subs = lhs.substr(br + 1, close - br - 1);
            for (char ch : lhs.substr(close + 1))
                if (!is_blank(ch))
                    return fail(at + close + 1, "Unexpected text after the subscripts");
            std::size_t from = 0;
            while (from <= subs.size()) {
                std::size_t comma = subs.find(',', from);
                if (comma == std::string::npos) comma = subs.size();
                std::string one = scan_var_name(subs.substr(from, comma - from).c_str());
                if (given >= d->ndims) return fail(at + br, "Too many subscripts for " + name);
                symbol_id e = one.empty() ? 0 : find_symbol_in(locked_model_symbols, one.c_str());
                symbol_id dr = d->d[given].range;
                if (e && valid_symbol(e) && sym(e)->type == st_element) {
                    int p = cache_.position(dr, e);
                    if (p < 0)
                        return fail(at + br + 1 + from,
                                    one + " is not an element of " + sym_name(dr));
                    pos[given].push_back(static_cast<std::uint32_t>(p));
                } else if (e && valid_symbol(e) && sym(e)->type == st_range) {
                    const element_list* l = range_elements(e);
                    for (std::uint32_t k = 0; l && k < l->count; ++k) {
                        int p = cache_.position(dr, l->ids[k]);
                        if (p < 0)
                            return fail(at + br + 1 + from, one + " does not fit " + sym_name(dr));
                        pos[given].push_back(static_cast<std::uint32_t>(p));
                    }
                } else {
                    return fail(at + br + 1 + from, "Unknown subscript " + one);
                }
                ++given;
                from = comma + 1;
            }
        }
        if (given != 0 && given != d->ndims)
            return fail(at, name + " needs " + std::to_string(d->ndims) + " subscripts");
        for (std::uint32_t i = 0; i < d->ndims; ++i)
            if (pos[i].empty())
                for (std::uint32_t k = 0; k < d->d[i].count; ++k) pos[i].push_back(k);
        std::vector<std::uint32_t> idx(d->ndims, 0);
        for (;;) {
            std::uint32_t off = 0;
            for (std::uint32_t i = 0; i < d->ndims; ++i) {
                if (pos[i].empty()) return true;
                off += pos[i][idx[i]] * d->d[i].stride;
            }
            c.offsets.push_back(off);
            int i = static_cast<int>(d->ndims) - 1;
            while (i >= 0 && ++idx[i] == pos[i].size()) idx[i--] = 0;
            if (i < 0) break;
        }
        return true;
    }
};

// The lookup slot of an element of a lookup variable, or -1.
int lookup_slot(symbol_id s, std::uint32_t element) {
    std::uint32_t n = model_hdr->w[mh_lookups];
    for (std::uint32_t i = 0; i < n; ++i) {
        const lookup_entry* e = lookup_at(static_cast<int>(i));
        if (e && e->symbol == s && e->element == element) return static_cast<int>(i);
    }
    return -1;
}

// Whether a line holds nothing to change (blank or a comment).
bool no_change(const std::string& line) {
    std::size_t p = line.find_first_not_of(" \t\r\n");
    return p == std::string::npos || line[p] == '*' || line[p] == ';';
}

// Reads the current text source into changes; false after a parse error.
bool read_source(std::vector<change>& out) {
    position_cache cache;
    bool any_change = false, cut = false;
    while (read_line(0)) {
        std::string line = line_buf;
        // Only the last line of a file can lack its line end. A file cut
        // inside a line may still parse ("FINAL TIME = 20" of "= 200"), and
        // the format cannot tell such a cut from a whole line: the last
        // change is taken only with its line end.
        bool ended = !line.empty() && line.back() == '\n';
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!ended && !no_change(line)) {
            parse_error(5, static_cast<int>(line.size()),
                        "The file ends inside this line (a change needs its line end)");
            return false;
        }
        any_change = any_change || !no_change(line);
        cut = !ended;
        line_parser p(line.c_str(), cache);
        parse_fault fault;
        if (!p.parse(out, fault)) {
            parse_error(5, fault.column, "%s", fault.message.c_str());
            return false;
        }
    }
    // A NUL byte, an over-long line or a failed read ended the reading early
    // (with its own message): what was read is not the whole file.
    if (text_source_refused()) return false;
    // Nothing to change: said, so a file cut inside its first (comment) line
    // is not taken for a file of changes that were made.
    if (!any_change)
        report(3, "The changes file %s holds no changes%s", text_source_name(),
               cut ? " (it ends inside a line: it may have been cut short)" : "");
    return true;
}

// Applies parsed changes to the setup copies (the model is locked).
void apply(const std::vector<change>& list,
           std::vector<std::pair<int, std::pair<std::vector<float>, std::vector<float>>>>& lookups,
           std::vector<std::pair<std::int32_t, float>>& values,
           std::vector<std::pair<std::uint32_t, std::string>>& strings) {
    for (const change& c : list) {
        for (std::size_t k = 0; k < c.offsets.size(); ++k) {
            std::uint32_t off = c.offsets[k];
            switch (c.kind) {
            case ck_constant:
                values.push_back({sym(c.sym)->slot + static_cast<std::int32_t>(off),
                                  c.values.size() == 1 ? c.values[0] : c.values[k]});
                break;
            case ck_lookup:
                lookups.push_back({lookup_slot(c.sym, off), {c.x, c.y}});
                break;
            case ck_string:
                strings.push_back({static_cast<std::uint32_t>(sym(c.sym)->slot) + off, c.text});
                break;
            }
        }
    }
}

// Parses the current source and applies it; closes the source.
int read_and_apply() {
    std::vector<std::pair<int, std::pair<std::vector<float>, std::vector<float>>>> lookups;
    std::vector<std::pair<std::int32_t, float>> values;
    std::vector<std::pair<std::uint32_t, std::string>> strings;
    bool ok;
    {
        model_lock_guard g(cur_model_symbols, 0);
        if (!g.ok()) {
            close_text_source();
            return 0;
        }
        std::vector<change> list;
        ok = read_source(list);
        if (ok) apply(list, lookups, values, strings);
    }
    close_text_source();
    if (!ok) return 0;
    for (auto& [slot, v] : values) set_setup_value(slot, v);
    for (auto& [slot, xy] : lookups)
        if (slot >= 0) set_setup_lookup(static_cast<std::uint32_t>(slot), xy.first, xy.second);
    for (auto& [slot, text] : strings) set_setup_string(slot, text);
    return 1;
}

std::vector<std::string> split_list(const char* list) {
    std::vector<std::string> out;
    const char* p = list ? list : "";
    while (*p) {
        while (*p && is_blank(*p)) ++p;
        if (!*p) break;
        std::string name;
        if (*p == '"') {
            ++p;
            while (*p && *p != '"') name += *p++;
            if (*p) ++p;
        } else {
            while (*p && !is_blank(*p)) name += *p++;
        }
        if (!name.empty()) out.push_back(name);
    }
    return out;
}

std::string number_text(float v) {
    if (is_na(v)) return ":NA:";
    // The shortest text that reads back as the same float: 0.08 stays
    // "0.08" in the file instead of the "0.0799999982" of nine digits.
    char b[32];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

} // namespace

bool scan_change_number(const char* text, std::size_t* used, float* out, std::string* why) {
    auto refuse = [&](const char* message) {
        if (why) *why = message;
        return false;
    };
    const char* s = text ? text : "";
    if (std::strncmp(s, ":NA:", 4) == 0) {
        if (out) *out = NA;
        if (used) *used = 4;
        return true;
    }
    // strtod would also take "inf", "nan" and hexadecimal forms: a number
    // here starts with a sign, a digit or a point.
    std::size_t lead = (*s == '+' || *s == '-') ? 1 : 0;
    if (!std::isdigit(static_cast<unsigned char>(s[lead])) && s[lead] != '.')
        return refuse("Expected a number");
    if (s[lead] == '0' && (s[lead + 1] == 'x' || s[lead + 1] == 'X'))
        return refuse("Expected a number");
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end == s) return refuse("Expected a number");
    // Out of range is what would not fit a float: the largest floats, as the
    // writer puts them ("3.4028235e+38"), read back.
    if (!std::isfinite(v) || !std::isfinite(static_cast<float>(v)))
        return refuse("The number is out of range");
    if (out) *out = static_cast<float>(v);
    if (used) *used = static_cast<std::size_t>(end - s);
    return true;
}

bool parse_change_number(const char* text, float* out, std::string* why) {
    const char* s = text ? text : "";
    while (is_blank(*s)) ++s;
    if (!*s) {
        if (why) *why = "A number is needed";
        return false;
    }
    std::size_t used = 0;
    float v = 0;
    if (!scan_change_number(s, &used, &v, why)) return false;
    for (const char* p = s + used; *p; ++p)
        if (!is_blank(*p)) {
            if (why) *why = "Unexpected text after the number";
            return false;
        }
    if (out) *out = v;
    return true;
}

bool check_lookup_points(const std::vector<float>& x, const std::vector<float>& y, std::size_t* bad,
                         std::string* why) {
    auto refuse = [&](std::size_t at, const char* message) {
        if (bad) *bad = at;
        if (why) *why = message;
        return false;
    };
    if (x.empty()) return refuse(0, "A lookup needs at least one point");
    if (x.size() != y.size()) return refuse(0, "Every point needs an x and a y value");
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (is_na(x[i]) || is_na(y[i])) return refuse(i, "A lookup point cannot be :NA:");
        if (i && x[i] < x[i - 1]) return refuse(i, "The x values of a lookup must increase");
    }
    return true;
}

std::vector<setup_item> setup_items(int kind) {
    std::vector<setup_item> out;
    handle symbols = cur_model_symbols;
    if (!symbols) return out;
    model_lock_guard g(symbols, 0);
    if (!g.ok()) return out;
    for (int i = 0; i < model_alpha_count; ++i) {
        symbol_id s = model_alpha[i];
        if (!valid_symbol(s) || sym(s)->slot < 0) continue;
        int type = sym(s)->type;
        bool wanted = kind == 1   ? type == st_lookup
                      : kind == 2 ? type == st_game
                                  : type == st_constant || type == st_data_constant;
        if (!wanted) continue;
        std::uint32_t count = sym_dims(s)->count;
        for (std::uint32_t k = 0; k < count; ++k) {
            setup_item it;
            it.name = element_text(s, k);
            it.sym = s;
            if (kind == 1)
                it.lookup = lookup_slot(s, k);
            else
                it.slot = sym(s)->slot + static_cast<std::int32_t>(k);
            if (kind == 1 && it.lookup < 0) continue;
            out.push_back(std::move(it));
        }
    }
    return out;
}

int read_changes_text(const char* text, const char* name) {
    (void)name;
    if (!ensure_setup_copy(0)) return 0;
    const char* lines[1] = {text ? text : ""};
    if (!push_text_source(lines, 1, 0)) return 0;
    return read_and_apply();
}

int read_change_files(const char* list) {
    std::vector<std::string> names = split_list(list);
    if (names.empty()) return 1;
    if (!ensure_setup_copy(0)) return 0;
    int ok = 1;
    for (const std::string& n : names) {
        std::string path = full_path(nullptr, set_extension(n.c_str(), fk_changes, 0));
        if (!open_text_source(path.c_str(), 0, 0)) {
            report(5, "Unable to open the changes file %s: %s", path.c_str(),
                   file_error_text(errno).c_str());
            ok = 0;
            continue;
        }
        if (!read_and_apply()) ok = 0;
    }
    return ok;
}

int apply_change_files(const char* list, int, int, double) {
    return read_change_files(list);
}

int write_changes_file(const char* name, int mode) {
    if (!name || !*name) return 0;
    if (!ensure_setup_copy(0)) return 0;
    setup_state* st = setup_copies();
    std::string text = "* Changes of " + std::string(file_name_part(current_model_name())) + "\n";
    {
        handle_lock<float> values(setup_copy);
        model_lock_guard g(st->symbols, 0);
        if (!g.ok() || !values) return 0;
        for (int i = 0; i < model_alpha_count; ++i) {
            symbol_id s = model_alpha[i];
            if (!valid_symbol(s) || sym(s)->slot < 0) continue;
            int type = sym(s)->type;
            std::uint32_t count = sym_dims(s)->count;
            for (std::uint32_t k = 0; k < count; ++k) {
                std::size_t slot = static_cast<std::size_t>(sym(s)->slot) + k;
                if (type == st_constant || type == st_data_constant) {
                    if (slot >= st->changed.size() || (mode != 2 && !st->changed[slot])) continue;
                    text += element_text(s, k) + " = " + number_text(values.get()[slot]) + "\n";
                } else if (type == st_lookup) {
                    int l = lookup_slot(s, k);
                    if (l < 0 || static_cast<std::size_t>(l) >= st->lookups.size()) continue;
                    if (mode != 2 && !st->lookup_changed[static_cast<std::size_t>(l)]) continue;
                    const lookup_table& t = st->lookups[static_cast<std::size_t>(l)];
                    if (t.x + t.count > st->lookup_data.size() ||
                        t.y + t.count > st->lookup_data.size())
                        continue;
                    text += element_text(s, k) + " =";
                    for (std::uint32_t j = 0; j < t.count; ++j)
                        text += " (" + number_text(st->lookup_data[t.x + j]) + "," +
                                number_text(st->lookup_data[t.y + j]) + ")";
                    text += "\n";
                } else if (type == st_string) {
                    if (slot >= st->strings.size() || (mode != 2 && !st->string_changed[slot]))
                        continue;
                    if (st->strings[slot].find('"') != std::string::npos) continue;
                    text += element_text(s, k) + " = \"" + st->strings[slot] + "\"\n";
                }
            }
        }
    }
    std::string path = full_path(nullptr, set_extension(name, fk_changes, 0));
    // A read-only file is replaced only when the user agrees (its mode kept).
    if (!ask_replace_read_only(path.c_str())) return 0;
    std::FILE* f = open_stream(path.c_str(), "w");
    if (!f) {
        report_write_failure(path.c_str(), errno, "the changes file");
        return 0;
    }
    // Flushed here, so that a failure names the changes file.
    errno = 0;
    if (std::fputs(text.c_str(), f) < 0 || std::fflush(f) != 0) {
        int error = errno;
        abandon_stream(f);
        report_write_failure(path.c_str(), error, "the changes file");
        return 0;
    }
    return close_stream(f) > 0 ? 1 : 0;
}
