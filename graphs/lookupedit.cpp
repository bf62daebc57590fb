// The lookup editor's point table.
//
// Every reader here works on a bounded view of its text and reads numbers
// with from_chars, so a locale with a decimal comma cannot change them and
// no read goes past the text. Points are kept sorted by x whatever changes
// them (a paste included), so the engine's lookup always sees x ascending.
#include "graphs/lookupedit.h"

#include "draw/axis.h"
#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/constants.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "model/units.h"
#include "model/varnames.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/setupstate.h"
#include "sim/simdata.h"
#include "tools/grid_core.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <string_view>

namespace {

struct reader {
    std::string_view s;
    std::size_t at = 0;
    bool end() const { return at >= s.size(); }
    char peek() const { return end() ? '\0' : s[at]; }
    void blanks() {
        while (!end() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\r' || s[at] == '\n')) ++at;
    }
    bool take(char c) {
        blanks();
        if (peek() != c) return false;
        ++at;
        return true;
    }
    // A number as "%g" reads one: blanks, a sign, digits, point, exponent.
    bool number(float* out) {
        blanks();
        std::size_t from = at;
        if (!end() && s[at] == '+') ++from, ++at;
        double v = 0;
        const char* b = s.data() + from;
        const auto r = std::from_chars(b, s.data() + s.size(), v);
        if (r.ec != std::errc() || r.ptr == b) {
            at = from;
            return false;
        }
        at = static_cast<std::size_t>(r.ptr - s.data());
        if (!std::isfinite(v) || std::fabs(v) > 3.4e38) return false;
        *out = static_cast<float>(v);
        return true;
    }
};

void sort_points(std::vector<float>& x, std::vector<float>& y) {
    std::vector<std::size_t> order(x.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return x[a] < x[b]; });
    std::vector<float> sx, sy;
    sx.reserve(x.size());
    sy.reserve(y.size());
    for (std::size_t i : order) {
        sx.push_back(x[i]);
        sy.push_back(y[i]);
    }
    x.swap(sx);
    y.swap(sy);
}

void range_from_points(lookup_points& p) {
    if (p.x.empty()) {
        p.x_min = p.y_min = 0;
        p.x_max = p.y_max = 10;
        return;
    }
    const auto [xl, xh] = std::minmax_element(p.x.begin(), p.x.end());
    const auto [yl, yh] = std::minmax_element(p.y.begin(), p.y.end());
    double a = 0, b = 0;
    nice_axis_range(*xl, *xh, &a, &b);
    p.x_min = static_cast<float>(a);
    p.x_max = static_cast<float>(b);
    nice_axis_range(*yl, *yh, &a, &b);
    p.y_min = static_cast<float>(a);
    p.y_max = static_cast<float>(b);
}

// "(x,y)" pairs separated by commas, while the next non-blank after a
// comma is '('. Stops at the first pair that cannot be read.
void read_pairs(reader& r, std::vector<float>& xs, std::vector<float>& ys) {
    while (r.take('(')) {
        float x = 0, y = 0;
        if (!r.number(&x) || !r.take(',') || !r.number(&y) || !r.take(')')) return;
        xs.push_back(x);
        ys.push_back(y);
        const std::size_t back = r.at;
        if (!r.take(',')) return;
        r.blanks();
        if (r.peek() != '(') {
            r.at = back;
            return;
        }
    }
}

} // namespace

lookup_points parse_lookup_text(const char* text, const float* rx, const float* ry,
                                int record_count) {
    lookup_points p;
    reader r{text ? std::string_view(text) : std::string_view()};
    bool range_given = false;
    r.blanks();
    if (r.peek() == '[') {
        ++r.at;
        float v[4];
        if (r.take('(') && r.number(&v[0]) && r.take(',') && r.number(&v[1]) && r.take(')') &&
            r.take('-') && r.take('(') && r.number(&v[2]) && r.take(',') && r.number(&v[3]) &&
            r.take(')')) {
            if (v[0] < v[2] && v[1] < v[3]) {
                p.x_min = v[0];
                p.y_min = v[1];
                p.x_max = v[2];
                p.y_max = v[3];
                range_given = true;
            }
            const std::size_t back = r.at;
            if (r.take(',')) {
                r.blanks();
                if (r.peek() == '(')
                    read_pairs(r, p.ref_x, p.ref_y);
                else
                    r.at = back;
            }
        }
        if (r.take(']')) r.take(',');
        read_pairs(r, p.x, p.y);
    } else if (r.peek() == '(') {
        read_pairs(r, p.x, p.y);
    } else {
        std::vector<float> all;
        float v = 0;
        while (r.number(&v)) {
            all.push_back(v);
            if (!r.take(',')) break;
        }
        const std::size_t half = all.size() / 2;
        p.x.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(half));
        p.y.assign(all.begin() + static_cast<std::ptrdiff_t>(half),
                   all.begin() + static_cast<std::ptrdiff_t>(2 * half));
    }
    if (record_count >= 0 && rx && ry) {
        // The working copy's points, however many (the table grows to them).
        p.x.assign(rx, rx + record_count);
        p.y.assign(ry, ry + record_count);
        for (std::size_t i = 0; i < p.x.size(); ++i)
            if (!std::isfinite(p.x[i]) || !std::isfinite(p.y[i])) {
                p.x.resize(i);
                p.y.resize(i);
                break;
            }
    }
    sort_points(p.x, p.y);
    if (range_given) return p;
    range_from_points(p);
    return p;
}

// ----------------------------------------------------------------- paste

namespace {

std::vector<std::string_view> split_lines(std::string_view s) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    while (from < s.size()) {
        std::size_t nl = s.find('\n', from);
        if (nl == std::string_view::npos) nl = s.size();
        std::string_view line = s.substr(from, nl - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        from = nl + 1;
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string_view::npos)
        lines.pop_back();
    return lines;
}

bool starts_numeric(std::string_view line) {
    const std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string_view::npos) return false;
    const char c = line[i];
    return c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9');
}

// The numbers of a line split at blanks (pairs) or at tabs and commas
// (rows); a field that is not a number ends it.
std::vector<float> fields(std::string_view line, bool blanks, bool skip_label) {
    std::vector<float> out;
    std::size_t at = 0;
    bool first = true;
    while (at <= line.size()) {
        std::size_t end = blanks ? line.find_first_of(" \t", at) : line.find_first_of("\t,", at);
        if (end == std::string_view::npos) end = line.size();
        std::string_view f = line.substr(at, end - at);
        at = end + 1;
        const std::size_t a = f.find_first_not_of(" \t"), b = f.find_last_not_of(" \t");
        if (a == std::string_view::npos) {
            if (blanks) continue;
            if (at > line.size()) break;
            return {};
        }
        f = f.substr(a, b - a + 1);
        if (first && skip_label) {
            first = false;
            continue;
        }
        first = false;
        reader r{f};
        float v = 0;
        if (!r.number(&v) || r.at != f.size()) return out;
        out.push_back(v);
    }
    return out;
}

} // namespace

lookup_paste read_lookup_paste(const std::string& text) {
    lookup_paste out;
    const char* const refused = "Place x-y or y values in clipboard in tab delimited format";
    std::vector<std::string_view> lines = split_lines(text);
    bool heading = false;
    if (!lines.empty() && !starts_numeric(lines[0])) {
        heading = true;
        lines.erase(lines.begin());
    }
    if (lines.empty()) {
        out.message = refused;
        return out;
    }
    // x-y pairs: every line two blank-separated numbers, three lines or more
    // with the heading.
    if (lines.size() + (heading ? 1 : 0) >= 3) {
        bool all_pairs = true;
        std::vector<float> xs, ys;
        for (std::string_view l : lines) {
            const std::vector<float> f = fields(l, true, false);
            if (f.size() != 2 || l.find(',') != std::string_view::npos) {
                all_pairs = false;
                break;
            }
            xs.push_back(f[0]);
            ys.push_back(f[1]);
        }
        if (all_pairs) {
            out.kind = lookup_paste::pairs;
            out.x = std::move(xs);
            out.y = std::move(ys);
            return out;
        }
    }
    const std::vector<float> first = fields(lines[0], false, heading);
    if (lines.size() >= 2) {
        const std::vector<float> second = fields(lines[1], false, heading);
        // A short row pairs only as far as it goes.
        const std::size_t n = std::min(first.size(), second.size());
        if (n == 0) {
            out.message = refused;
            return out;
        }
        out.kind = lookup_paste::rows;
        out.x.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(n));
        out.y.assign(second.begin(), second.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    if (first.empty()) {
        out.message = refused;
        return out;
    }
    out.kind = lookup_paste::y_only;
    out.y = first;
    return out;
}

std::string biff_paste_text(const std::uint8_t* data, std::size_t size) {
    int rows = 0, columns = 0;
    std::vector<biff_cell> cells;
    std::string why;
    if (!data || !check_biff2(data, size, &rows, &columns, &cells, &why)) return {};
    // Cells by row and column; empty cells stay empty fields.
    std::map<int, std::map<int, std::string>> table;
    for (const biff_cell& c : cells) {
        std::string text = c.text;
        if (c.number) {
            char b[40];
            std::snprintf(b, sizeof b, "%.9g", c.value);
            text = b;
        }
        // A line break or tab inside a label would split the table.
        for (char& ch : text)
            if (ch == '\t' || ch == '\r' || ch == '\n') ch = ' ';
        table[c.row][c.column] = std::move(text);
    }
    int first_column = columns;
    for (const biff_cell& c : cells) first_column = std::min(first_column, c.column);
    // Rows start at the block's first column; a gap between cells stays an
    // empty field.
    std::string out;
    for (const auto& [row, line] : table) {
        (void)row;
        int column = first_column;
        for (const auto& [at, text] : line) {
            out.append(static_cast<std::size_t>(std::max(0, at - column)), '\t');
            out += text;
            column = at;
        }
        out += "\r\n";
    }
    return out;
}

bool apply_lookup_paste(lookup_points& p, const lookup_paste& paste, float first, float increment) {
    if (paste.kind == lookup_paste::none || paste.y.empty()) return false;
    std::vector<float> xs = paste.x, ys = paste.y;
    if (paste.kind == lookup_paste::y_only) {
        xs.resize(ys.size());
        for (std::size_t i = 0; i < ys.size(); ++i)
            xs[i] = first + static_cast<float>(i) * increment;
    }
    if (xs.size() != ys.size()) return false;
    sort_points(xs, ys);
    p.x.swap(xs);
    p.y.swap(ys);
    return true;
}

// ------------------------------------------------------- point operations

void note_out_of_range(lookup_points& p, float x, float y) {
    if (x < p.x_min) p.out_of_range |= 1;
    if (x > p.x_max) p.out_of_range |= 2;
    if (y < p.y_min) p.out_of_range |= 4;
    if (y > p.y_max) p.out_of_range |= 8;
}

int insert_lookup_point(lookup_points& p, float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return -1;
    const auto at = std::lower_bound(p.x.begin(), p.x.end(), x);
    const std::ptrdiff_t i = at - p.x.begin();
    p.x.insert(at, x);
    p.y.insert(p.y.begin() + i, y);
    note_out_of_range(p, x, y);
    return static_cast<int>(i);
}

int move_lookup_point(lookup_points& p, int i, float x, float y) {
    if (i < 0 || i >= p.count() || !std::isfinite(x) || !std::isfinite(y)) return -1;
    const std::size_t k = static_cast<std::size_t>(i);
    if (k > 0) x = std::max(x, p.x[k - 1]);
    if (k + 1 < p.x.size()) x = std::min(x, p.x[k + 1]);
    p.x[k] = x;
    p.y[k] = y;
    note_out_of_range(p, x, y);
    return i;
}

void delete_lookup_point(lookup_points& p, int i) {
    if (i < 0 || i >= p.count()) return;
    p.x.erase(p.x.begin() + i);
    p.y.erase(p.y.begin() + i);
}

int set_lookup_x(lookup_points& p, int i, float x) {
    if (i < 0 || i >= p.count() || !std::isfinite(x)) return -1;
    const std::size_t k = static_cast<std::size_t>(i);
    const bool past = (k + 1 < p.x.size() && x > p.x[k + 1]) || (k > 0 && x < p.x[k - 1]);
    if (!past) {
        p.x[k] = x;
        note_out_of_range(p, x, p.y[k]);
        return i;
    }
    const float y = p.y[k];
    delete_lookup_point(p, i);
    return insert_lookup_point(p, x, y);
}

void rescale_lookup_points(lookup_points& p, bool full) {
    lookup_points fitted = p;
    range_from_points(fitted);
    if (full || (p.out_of_range & 1)) p.x_min = fitted.x_min;
    if (full || (p.out_of_range & 2)) p.x_max = fitted.x_max;
    if (full || (p.out_of_range & 4)) p.y_min = fitted.y_min;
    if (full || (p.out_of_range & 8)) p.y_max = fitted.y_max;
    p.out_of_range = 0;
}

std::string lookup_clipboard_text(const lookup_points& p) {
    std::string out;
    char buf[32];
    for (float v : p.x) {
        std::snprintf(buf, sizeof buf, "%g\t", static_cast<double>(v));
        out += buf;
    }
    out += "\r\n";
    for (float v : p.y) {
        std::snprintf(buf, sizeof buf, "%g\t", static_cast<double>(v));
        out += buf;
    }
    return out;
}

// ---------------------------------------------------------------- mapping

int lookup_plot::px(const lookup_points& p, float x) const {
    const double span = static_cast<double>(p.x_max) - p.x_min;
    if (!(span > 0)) return left;
    const double v = left + (x - p.x_min) / span * width;
    return static_cast<int>(std::clamp(v, -1e6, 1e6));
}

int lookup_plot::py(const lookup_points& p, float y) const {
    const double span = static_cast<double>(p.y_max) - p.y_min;
    if (!(span > 0)) return top + height;
    const double v = top + (1 - (y - p.y_min) / span) * height;
    return static_cast<int>(std::clamp(v, -1e6, 1e6));
}

float lookup_plot::vx(const lookup_points& p, int x) const {
    return static_cast<float>(p.x_min + static_cast<double>(x - left) / std::max(width, 1) *
                                            (static_cast<double>(p.x_max) - p.x_min));
}

float lookup_plot::vy(const lookup_points& p, int y) const {
    return static_cast<float>(p.y_min + (1 - static_cast<double>(y - top) / std::max(height, 1)) *
                                            (static_cast<double>(p.y_max) - p.y_min));
}

// ------------------------------------------------- the lookup being edited

std::vector<std::string> split_lookup_captions(const std::string& documentation) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (parts.size() < 2) {
        const std::size_t mark = documentation.find("\\!", from);
        if (mark == std::string::npos) break;
        parts.push_back(documentation.substr(from, mark - from));
        from = mark + 2;
    }
    parts.push_back(documentation.substr(std::min(from, documentation.size())));
    return parts;
}

lookup_captions lookup_captions_of(const char* name) {
    lookup_captions c;
    if (!name || lock_model(1) != 1) return c;
    symbol_id symbol = 0;
    std::int32_t slot = -1;
    if (find_var_name(name, &slot, 0, &symbol) == st_lookup && symbol) {
        const char* doc = sym_comment(symbol);
        c.parts = split_lookup_captions(doc ? doc : "");
        const char* units = name_units_label(nullptr, symbol, 2);
        c.units = units ? units : "";
    }
    unlock_model(1);
    return c;
}

int lookup_slot_of(const char* name) {
    if (!name || !*name) return -1;
    std::int32_t slot = -1;
    int type = 0;
    if (lock_model(1) == 1) {
        type = find_var_name(name, &slot);
        unlock_model(1);
    }
    if (type != st_lookup || slot < 0) {
        report(8, "Lost Lookup %s", name);
        return -1;
    }
    return slot;
}

std::string lookup_equation_text(int slot) {
    if (slot < 0 || lock_model(1) != 1) return {};
    std::string text;
    const lookup_entry* e = lookup_at(slot);
    equation_record* eq = nullptr;
    if (e) {
        int position = -1;
        eq = equation_for_element(e->symbol, e->element, &position);
        // A lookup of the model always has its equation: a list that ends
        // before the element's is a broken model in memory.
        if (!eq) report(10, "GT1142");
    }
    if (eq) {
        // The equation as typed keeps the declared range and the reference
        // points, which the expression does not: it is the text when kept.
        doc_push();
        text_report(256, 0, 0, report_none, 0, 0);
        if (eq->tokens)
            write_tokens(eq->tokens);
        else
            write_equation_rhs(eq);
        if (const char* joined = join_report_lines(0)) text = joined;
        clear_report_lines();
        doc_pop();
    }
    unlock_model(1);
    const std::size_t open = text.find('(');
    return open == std::string::npos ? std::string() : text.substr(open + 1);
}

bool working_lookup_points(int slot, lookup_points* out) {
    if (!out || slot < 0 || !ensure_setup_copy(0)) return false;
    const setup_state* st = setup_copies();
    if (!st || static_cast<std::size_t>(slot) >= st->lookups.size()) return false;
    const lookup_table& t = st->lookups[static_cast<std::size_t>(slot)];
    const std::size_t n = t.count, size = st->lookup_data.size();
    // The cells come from the copy: check them against its data.
    if (t.x > size || t.y > size || n > size - t.x || n > size - t.y) return false;
    const std::string text = lookup_equation_text(slot);
    *out = parse_lookup_text(text.c_str(), st->lookup_data.data() + t.x,
                             st->lookup_data.data() + t.y, static_cast<int>(n));
    return true;
}

bool model_lookup_points(int slot, lookup_points* out) {
    if (!out || slot < 0) return false;
    const std::string text = lookup_equation_text(slot);
    if (lock_model(1) != 1) return false;
    bool ok = false;
    if (const lookup_entry* e = lookup_at(slot); e && model_lookup_data) {
        const std::uint32_t cells = reinterpret_cast<const bhead*>(model_lookup_data)->cur;
        // The cells come from the model file: check them against its block.
        if (e->x <= cells && e->y <= cells && e->npoints <= cells - e->x &&
            e->npoints <= cells - e->y) {
            *out = parse_lookup_text(text.c_str(), lookup_x(e), lookup_y(e),
                                     static_cast<int>(e->npoints));
            ok = true;
        }
    }
    unlock_model(1);
    return ok;
}

bool push_lookup_live(int slot, const lookup_points& p) {
    if (livesweep_state != ls_on || p.count() < 2 || slot < 0) return false;
    if (!set_setup_lookup(static_cast<std::uint32_t>(slot), p.x, p.y)) return false;
    return livesweep_rerun(0, 0, 1) != 0;
}

int commit_lookup_points(int slot, const lookup_points& p) {
    if (p.count() < 2) {
        report(8, "You must have at least 2 points for a lookup");
        return 0;
    }
    if (slot < 0 || !set_setup_lookup(static_cast<std::uint32_t>(slot), p.x, p.y)) return 0;
    livesweep_rerun(0, 2, 0);
    return 1;
}
