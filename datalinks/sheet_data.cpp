// Spreadsheet data for data and constant equations (see sheet_data.h).
#include "datalinks/sheet_data.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "datalinks/links.h"
#include "datalinks/standin.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "foundation/types.h"
#include "model/constants.h"
#include "model/model.h"
#include "runs/simdata_adapter.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "sim/interp.h"
#include "sim/simdata.h"

namespace sheets {

namespace {

struct kept_book {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
    std::unique_ptr<workbook> book;
};
std::map<std::string, kept_book> kept;

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// A relative file not found from the working folder is looked for beside the
// open model. A redirect name ("?Prices") is the file the user chose for it
// (asked once per model); empty when there is none (the reason reported).
std::string resolve(const std::string& file, int function) {
    if (!file.empty() && file[0] == '?') {
        const bool is_123 = function == fn_get_123_data || function == fn_get_123_constants ||
                            function == fn_get_123_lookups;
        // A file chosen before is used without asking; without a window
        // (the model check of a program driven from outside) nobody is asked.
        const std::string chosen = links::redirect_of(file);
        std::error_code ec;
        if (!chosen.empty() && std::filesystem::is_regular_file(chosen, ec))
            return links::resolve_file(chosen, is_123, true);
        const bool can_ask = main_wnd != nullptr;
        std::string path = links::resolve_file(file, is_123, !can_ask);
        if (path.empty() && !can_ask)
            report(5, "No file has been chosen for the redirect name %s", file.c_str());
        return path;
    }
    std::error_code ec;
    std::filesystem::path p(file);
    if (p.is_absolute() || std::filesystem::exists(p, ec)) return file;
    const char* dir = current_model_dir();
    if (dir && *dir) {
        std::filesystem::path beside = std::filesystem::path(dir) / p;
        if (std::filesystem::exists(beside, ec)) return beside.string();
    }
    return file;
}

float cell_number(const cell* c, bool* ok) {
    *ok = c && (c->kind == cell_kind::number || c->kind == cell_kind::boolean);
    // A number beyond the simulation's range would become infinite: missing.
    if (*ok && std::fabs(c->number) > FLT_MAX) *ok = false;
    return *ok ? static_cast<float>(c->number) : NA;
}

// What reading a cell changes, for the warning; empty when nothing.
std::string cell_note(const workbook* b, const cell* c) {
    if (!c) return {};
    if (c->kind == cell_kind::error) {
        // Error values ("#DIV/0!") by name; what the reader found instead (a
        // formula without its result, a value that is no number) as it says.
        const std::string e = b && c->text < b->texts.size() ? b->texts[c->text] : "";
        return (e.empty() || e[0] == '#' ? "holds the error " : "holds ") + e +
               ": read as missing (NA)";
    }
    if (c->kind == cell_kind::text && b && c->text < b->texts.size()) {
        // A number written as text (quoted in a .csv, or with a decimal
        // comma) is no number: say so, or the gap has no reason.
        std::string t = b->texts[c->text];
        while (!t.empty() && t.back() == ' ') t.pop_back();
        std::size_t lead = t.find_first_not_of(' ');
        if (lead == std::string::npos || t.size() - lead > 40) return {};
        std::string dotted = t.substr(lead);
        const std::size_t comma = dotted.find(',');
        if (comma != std::string::npos && dotted.find('.') == std::string::npos)
            dotted[comma] = '.';
        double v = 0;
        const auto r =
            std::from_chars(dotted.data() + (dotted[0] == '+'), dotted.data() + dotted.size(), v);
        if (r.ec != std::errc() || r.ptr != dotted.data() + dotted.size()) return {};
        return "holds the text \"" + t.substr(lead) + "\", not a number: read as missing (NA)";
    }
    if (c->kind != cell_kind::number) return {};
    const double size = std::fabs(c->number);
    if (size <= FLT_MAX && (size == 0 || size >= FLT_MIN)) return {}; // most cells: at once
    char text[40] = {};
    std::to_chars(text, text + sizeof text - 1, c->number); // the shortest that reads back
    if (std::fabs(c->number) > FLT_MAX)
        return std::string("holds ") + text +
               ", beyond the simulation's numbers: read as missing (NA)";
    if (c->number != 0 && std::fabs(c->number) < FLT_MIN)
        return std::string("holds ") + text + ", below the simulation's numbers: read as " +
               (static_cast<float>(c->number) == 0 ? "0" : "a less precise number");
    return {};
}

void report_bad_range(const std::string& range, const std::string& file,
                      const std::string& sheet_name) {
    report(5, "Range (or named range) %s in file %s (sheet %s) incorrect or noncontiguous",
           range.c_str(), file.c_str(), sheet_name.c_str());
    report(1, " - open xlstest.xls in the Viewer directory to check Row/Column letters");
}

// A named range of the book, or null after report_bad_range.
const named_range* find_range(const workbook& b, const std::string& name, const std::string& file,
                              const std::string& sheet_name) {
    // A name the sheet defines for itself before the workbook's.
    const named_range* r = b.find_name(name, b.find_sheet(sheet_name));
    if (!r && kind_of_path(file) == file_kind::xls) {
        // The .xls library gives no defined names: say so rather than "incorrect".
        report(5,
               "Named range %s in file %s: names of .xls workbooks are not read; use a cell "
               "address, or save the workbook as .xlsx",
               name.c_str(), file.c_str());
        return nullptr;
    }
    if (!r) report_bad_range(name, file, sheet_name);
    return r;
}

matrix read_named(const workbook& b, const named_range& r, bool transposed) {
    return request_range(b.sheets[static_cast<std::size_t>(r.sheet)], r.row0, r.col0,
                         r.row1 - r.row0 + 1, r.col1 - r.col0 + 1, transposed, &b);
}

// The book and sheet a call names, or null after a message.
bool lotus_form(int function) {
    return function == fn_get_123_data || function == fn_get_123_constants ||
           function == fn_get_123_lookups;
}

// The book and sheet a call names, or null after a message. In the program
// the Excel forms read the workbook as the spreadsheet program has it open
// (opened there on the worker, with "Opening %s" and Stop), so cells changed
// through a link are what the run reads; the 1-2-3 forms, the R1C1 star
// flag, and a workbook the program cannot open read the file itself.
const sheet* open_sheet(const std::string& file, const std::string& sheet_name,
                        const workbook** book, int function) {
    std::string why;
    if (file.empty()) return nullptr;            // a redirect without a file: said already
    static std::shared_ptr<const workbook> held; // the book of the current call
    // The messages of the link functions, on either road (through the
    // spreadsheet program or reading the file itself).
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        report(5, "The file %s does not exist - can't read info", file.c_str());
        return nullptr;
    }
    held.reset();
    *book = nullptr;
    if (main_wnd && !opts.r1c1_star && !lotus_form(function)) {
        held = standin::book_of(file);
        std::shared_ptr<automation::dispatch> opened;
        if (!held && links::open_workbook_in_spreadsheet(file, &opened))
            held = standin::book_of(file);
        if (!held && links::last_open_given_up()) return nullptr; // the user gave it up
        *book = held.get();
    }
    if (!*book) *book = open_workbook(file, &why);
    if (!*book) {
        report(5, "Unable to read the spreadsheet %s: %s", file.c_str(), why.c_str());
        return nullptr;
    }
    int s = (*book)->find_sheet(sheet_name);
    // A one-sheet file (.csv, .tab, .txt, .wk1) also answers to no sheet name.
    if (s < 0 && sheet_name.empty() && (*book)->sheets.size() == 1) s = 0;
    if (s < 0) {
        report(5, "The sheet name %s appears to be invalid", sheet_name.c_str());
        report(1, "(the spreadsheet %s has no sheet of that name)", file.c_str());
        return nullptr;
    }
    return &(*book)->sheets[static_cast<std::size_t>(s)];
}

// The rows and columns of a two-subscript variable of the open model whose
// elements the equation computes all of.
bool constant_shape(const std::string& name, int elements, std::int64_t* rows, std::int64_t* cols) {
    if (!cur_model_symbols) return false;
    model_lock_guard g(cur_model_symbols, 0);
    if (!g.ok()) return false;
    const symbol_id s = find_symbol(name.c_str());
    if (!s) return false;
    const dim_record* d = sym_dims(s);
    if (d->ndims != 2 || static_cast<std::int64_t>(d->d[0].count) * d->d[1].count != elements)
        return false;
    *rows = d->d[0].count;
    *cols = d->d[1].count;
    return true;
}

} // namespace

time_ref parse_time_ref(const std::string& text) {
    time_ref t;
    const std::string u = upper(text);
    if (!u.empty() && std::isdigit(static_cast<unsigned char>(u[0]))) {
        int row = 0;
        if (std::sscanf(u.c_str(), "%d", &row) == 1 && row >= 1 && row <= kMaxRows) {
            t.kind = time_ref::row;
            t.index = row;
        }
        return t;
    }
    if (u.size() >= 1 && u.size() <= 3 &&
        std::all_of(u.begin(), u.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        std::int64_t col = 0;
        for (char c : u) col = col * 26 + (c - 'A' + 1);
        if (col <= kMaxColumns) {
            t.kind = time_ref::column;
            t.index = col;
        }
    }
    return t;
}

void report_cell_note(const matrix& m, const std::string& file, const std::string& sheet_name) {
    if (m.note_row < 0) return;
    auto address = [](std::int64_t row, std::int64_t col) {
        return column_letters(col + 1) + std::to_string(row + 1);
    };
    report(3, "Cell %s of %s:%s %s", address(m.note_row, m.note_col).c_str(), file.c_str(),
           sheet_name.c_str(), m.note.c_str());
    // Each cell with its own line while they are few; then every other one
    // named in one list, so none is read otherwise than it stands unsaid.
    constexpr std::size_t own_lines = 19;
    std::string rest;
    std::size_t listed = 0;
    for (std::size_t k = 0; k < m.more.size(); ++k) {
        const matrix::cell_remark& r = m.more[k];
        if (k < own_lines) {
            report(3, "Cell %s of %s:%s %s", address(r.row, r.col).c_str(), file.c_str(),
                   sheet_name.c_str(), r.note.c_str());
            continue;
        }
        rest += (rest.empty() ? "" : ", ") + address(r.row, r.col);
        ++listed;
    }
    const std::int64_t unlisted = m.more_count - static_cast<std::int64_t>(m.more.size());
    if (listed || unlisted > 0)
        report(3, "Cells %s%s of %s:%s are read otherwise than they stand as well (see above)",
               rest.c_str(),
               unlisted > 0 ? (" and " + std::to_string(unlisted) + " more").c_str() : "",
               file.c_str(), sheet_name.c_str());
}

matrix request_range(const sheet& s, std::int64_t row0, std::int64_t col0, std::int64_t rows,
                     std::int64_t cols, bool transposed, const workbook* book) {
    matrix m;
    if (rows <= 0 || cols <= 0 || row0 < 0 || col0 < 0) return m;
    const std::int64_t outer = transposed ? cols : rows, inner = transposed ? rows : cols;
    m.outer.assign(static_cast<std::size_t>(outer),
                   std::vector<float>(static_cast<std::size_t>(inner), NA));
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c) {
            bool ok = false;
            const cell* at = s.at(row0 + r, col0 + c);
            const float v = cell_number(at, &ok);
            if (at && at->kind != cell_kind::empty && at->kind != cell_kind::boolean) {
                std::string note = cell_note(book, at);
                if (!note.empty() && m.note_row < 0) {
                    m.note = std::move(note);
                    m.note_row = row0 + r;
                    m.note_col = col0 + c;
                } else if (!note.empty()) {
                    ++m.more_count;
                    if (m.more.size() < matrix::max_more)
                        m.more.push_back({row0 + r, col0 + c, std::move(note)});
                }
            }
            const std::int64_t o = transposed ? c : r, i = transposed ? r : c;
            m.outer[static_cast<std::size_t>(o)][static_cast<std::size_t>(i)] = v;
            if (!ok && m.gap_outer < 0) {
                m.gap_outer = o;
                m.gap_inner = i;
            }
        }
    return m;
}

const workbook* open_workbook(const std::string& path, std::string* why) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const auto time =
        ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(path, ec);
    if (ec) {
        kept.erase(path);
        *why = "no such file";
        return nullptr;
    }
    auto it = kept.find(path);
    if (it != kept.end() && it->second.size == size && it->second.time == time)
        return it->second.book.get();
    auto book = std::make_unique<workbook>();
    if (!read_workbook(path, book.get(), why)) {
        kept.erase(path);
        return nullptr;
    }
    if (kept.size() >= 16) kept.clear(); // a model reads few files; keep memory bounded
    kept_book& k = kept[path];
    k.size = size;
    k.time = time;
    k.book = std::move(book);
    return k.book.get();
}

void forget_workbooks() {
    kept.clear();
}

int get_xls_data(const data_source_call& call, std::vector<std::vector<float>>* times,
                 std::vector<std::vector<float>>* values) {
    if (call.texts.size() < 4) {
        report(5, "Argument list too short");
        return 0;
    }
    const std::string file = resolve(call.texts[0], call.function), &sheet_name = call.texts[1];
    const std::string& time_text = call.texts[2];
    const std::string& first = call.texts[3];
    std::int64_t first_row = -1, first_col = -1;
    const bool first_named = !parse_cell_ref(first, &first_row, &first_col);
    const time_ref t = parse_time_ref(time_text);
    if (t.kind != time_ref::name && first_named) {
        report(5, "If startpos is a named range the value for Time Row/Col must also be a named "
                  "range");
        return 0;
    }
    if (t.kind == time_ref::name && !first_named) {
        report(5, "Time row/col must be a number (row) or letter (column) %s not understood",
               time_text.c_str());
        return 0;
    }
    // The reads below may wait on other programs: scratch memory stays.
    busy_guard busy;
    const workbook* book = nullptr;
    const sheet* sh = open_sheet(file, sheet_name, &book, call.function);
    if (!sh) return 0;

    // The time vector, read within the used extent of its row or column.
    std::vector<float> tv;
    bool along_row = t.kind == time_ref::row;
    std::string time_range_text = time_text;
    if (t.kind == time_ref::row) {
        const std::int64_t r = t.index - 1, c0 = first_col - 1;
        const std::int64_t n =
            r < sh->used_rows()
                ? static_cast<std::int64_t>(sh->rows[static_cast<std::size_t>(r)].size()) - c0
                : 0;
        matrix m = request_range(*sh, r, c0, 1, std::max<std::int64_t>(n, 1), false, book);
        report_cell_note(m, file, sheet_name);
        if (!m.outer.empty()) tv = std::move(m.outer[0]);
    } else if (t.kind == time_ref::column) {
        const std::int64_t c = t.index - 1, r0 = first_row - 1;
        const std::int64_t n = sh->used_rows() - r0;
        matrix m = request_range(*sh, r0, c, std::max<std::int64_t>(n, 1), 1, true, book);
        report_cell_note(m, file, sheet_name);
        if (!m.outer.empty()) tv = std::move(m.outer[0]);
    } else {
        const named_range* r = find_range(*book, time_text, file, sheet_name);
        if (!r) return 0;
        if (r->row0 != r->row1 && r->col0 != r->col1) {
            report(5, "The named time range must be part of a single row or column");
            return 0;
        }
        along_row = r->row0 == r->row1 && r->col0 != r->col1;
        matrix m = read_named(*book, *r, !along_row);
        report_cell_note(m, file, sheet_name);
        tv = std::move(m.outer[0]);
    }
    if (t.kind != time_ref::name)
        while (!tv.empty() && is_na(tv.back())) tv.pop_back();
    const auto n = static_cast<std::int64_t>(tv.size());

    // A long time column read for many elements could ask for more memory than
    // any run has: refused with a message rather than ended by the allocator.
    if (n * std::max(call.elements, 1) > static_cast<std::int64_t>(kMaxCellSlots) * 4) {
        report(5, "Too much data for %s in file %s sheet %s (%lld times for %d elements)",
               call.target.c_str(), file.c_str(), sheet_name.c_str(), static_cast<long long>(n),
               call.elements);
        return 0;
    }
    // The data: one outer entry per series.
    matrix data;
    if (!first_named) {
        if (n > 0) {
            if (along_row)
                data =
                    request_range(*sh, first_row - 1, first_col - 1, call.elements, n, false, book);
            else
                data =
                    request_range(*sh, first_row - 1, first_col - 1, n, call.elements, true, book);
        }
    } else {
        const named_range* r = find_range(*book, first, file, sheet_name);
        if (!r) return 0;
        data = read_named(*book, *r, !along_row);
        const auto inner = data.outer.empty() ? 0 : static_cast<std::int64_t>(data.outer[0].size());
        if (inner != n) {
            report(5,
                   "The named time range (%s) not the same size as the data range (%s) in file "
                   "%s sheet %s",
                   time_text.c_str(), first.c_str(), file.c_str(), sheet_name.c_str());
            return 0;
        }
    }
    report_cell_note(data, file, sheet_name);
    // A series is there when it holds any number.
    std::int64_t present = 0;
    for (const auto& s : data.outer) {
        if (std::none_of(s.begin(), s.end(), [](float v) { return !is_na(v); })) break;
        ++present;
    }
    if (n > 0 && present < call.elements) {
        report(5, "Insufficient data for needed variable %s in file %s sheet %s",
               call.target.c_str(), file.c_str(), sheet_name.c_str());
        return 0;
    }
    // Points whose time is missing go, from the times and every series.
    std::vector<std::size_t> keep;
    for (std::size_t k = 0; k < tv.size(); ++k)
        if (!is_na(tv[k])) keep.push_back(k);
    if (keep.empty()) {
        report(5, "An apparently empty time/x vector in file %s sheet %s", file.c_str(),
               sheet_name.c_str());
        return 0;
    }
    const auto elements = static_cast<std::size_t>(call.elements);
    times->assign(elements, {});
    values->assign(elements, {});
    for (std::size_t e = 0; e < elements; ++e) {
        auto& te = (*times)[e];
        auto& ve = (*values)[e];
        te.reserve(keep.size());
        ve.reserve(keep.size());
        for (std::size_t k : keep) {
            te.push_back(tv[k]);
            ve.push_back(data.outer[e][k]);
        }
    }
    return 1;
}

int get_xls_constants(const data_source_call& call, std::vector<std::vector<float>>* values) {
    if (call.texts.size() < 3) {
        report(5, "Argument list too short");
        return 0;
    }
    const std::string file = resolve(call.texts[0], call.function), &sheet_name = call.texts[1];
    std::string first = call.texts[2];
    bool transposed = false;
    if (!first.empty() && first.back() == '*') {
        first.pop_back();
        transposed = true;
    }
    // One subscript: the elements in order along one row. Two: rows of the
    // first by columns of the second, the shape taken from the open model
    // (the call carries only the element count); a shape that cannot be told
    // is refused rather than read from the wrong cells.
    std::int64_t rows = 1, cols = call.elements;
    const std::size_t open = call.target.find('[');
    if (open != std::string::npos && call.target.find(',', open) != std::string::npos &&
        !constant_shape(call.target.substr(0, open), call.elements, &rows, &cols)) {
        report(5,
               "Unable to read %s from %s: spreadsheet constants of more than two subscripts, "
               "or of part of a variable of two, are not read in this version",
               call.target.c_str(), file.c_str());
        return 0;
    }
    busy_guard busy;
    const workbook* book = nullptr;
    const sheet* sh = open_sheet(file, sheet_name, &book, call.function);
    if (!sh) return 0;
    std::int64_t first_row = -1, first_col = -1;
    const bool named = !parse_cell_ref(first, &first_row, &first_col);
    matrix m;
    if (named) {
        const named_range* r = find_range(*book, first, file, sheet_name);
        if (!r) return 0;
        m = read_named(*book, *r, transposed);
    } else if (transposed) {
        m = request_range(*sh, first_row - 1, first_col - 1, cols, rows, true, book);
    } else {
        m = request_range(*sh, first_row - 1, first_col - 1, rows, cols, false, book);
    }
    report_cell_note(m, file, sheet_name);
    const auto got_outer = static_cast<std::int64_t>(m.outer.size());
    const auto got_inner = m.outer.empty() ? 0 : static_cast<std::int64_t>(m.outer[0].size());
    if (m.gap_outer < 0 && got_outer == rows && got_inner == cols) {
        values->assign(static_cast<std::size_t>(call.elements), {});
        for (std::int64_t r = 0; r < rows; ++r)
            for (std::int64_t c = 0; c < cols; ++c)
                (*values)[static_cast<std::size_t>(r * cols + c)] = {
                    m.outer[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]};
        return 1;
    }
    if (m.outer.empty()) {
        report_bad_range(first, file, sheet_name);
    } else if (named && (got_outer != rows || got_inner != cols)) {
        report(5, "Not enough, or incorrectly dimensioned data for %s", call.target.c_str());
        report(1, "in file %s (got %lldx%lld need %lldx%lld)", file.c_str(),
               static_cast<long long>(got_outer), static_cast<long long>(got_inner),
               static_cast<long long>(rows), static_cast<long long>(cols));
    } else if (named) {
        // A range read transposed holds the constant's rows as its columns:
        // the gap is told in the range's own rows and columns.
        const std::int64_t gr = transposed ? m.gap_inner : m.gap_outer,
                           gc = transposed ? m.gap_outer : m.gap_inner;
        report(5, "No number in the %lldth row and %lldth column of named range %s in file %s",
               static_cast<long long>(gr), static_cast<long long>(gc), first.c_str(), file.c_str());
    } else {
        // The cell of the gap, back in the sheet's terms.
        const std::int64_t dr = transposed ? m.gap_inner : m.gap_outer,
                           dc = transposed ? m.gap_outer : m.gap_inner;
        const std::string cell_text =
            column_letters(first_col + dc) + std::to_string(first_row + dr);
        report(5, "No number found in cell %s (and perhaps others) of %s:%s", cell_text.c_str(),
               file.c_str(), sheet_name.c_str());
    }
    return 0;
}

int read_sheet_data_source(const data_source_call& call, std::vector<std::vector<float>>* times,
                           std::vector<std::vector<float>>* values) {
    const bool constants =
        call.function == fn_get_xls_constants || call.function == fn_get_123_constants;
    if (call.elements <= 0 || !values || (!constants && !times)) {
        report(5, "Unable to get data for %s: incomplete arguments", call.target.c_str());
        return 0;
    }
    const int ok = constants ? get_xls_constants(call, values) : get_xls_data(call, times, values);
    if (!ok) {
        if (times) times->clear();
        values->clear();
        report(5,
               constants ? "Unable to get constant values for %s"
                         : "Unable to get data values for %s",
               call.target.c_str());
    }
    return ok;
}

} // namespace sheets

void install_spreadsheet_sources() {
    set_spreadsheet_source_reader(sheets::read_sheet_data_source);
    links::install_spreadsheet_links();
}
