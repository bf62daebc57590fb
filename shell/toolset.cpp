// Tool sets: see toolset.h.
#include "shell/toolset.h"

#include "foundation/app_strings.h"
#include "foundation/memory.h"
#include "foundation/names.h"
#include "foundation/package.h"
#include "foundation/paths.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

palette_grid palette_cells;
palette_grid sketch_cells;
void (*toolset_changed_hook)(int kind) = nullptr;
void (*toolset_freeing_hook)(handle tool) = nullptr;

// ------------------------------------------------------------ tool records ---

namespace {

std::vector<tool_action>& action_list() {
    static std::vector<tool_action> list;
    return list;
}

// The record is the first piece of the tool's block; pieces start at cell 6
// behind their one-cell head.
constexpr std::int32_t record_cell = 7;

} // namespace

std::int32_t tool_action_id(tool_action action) {
    if (!action) return 0;
    auto& list = action_list();
    auto it = std::find(list.begin(), list.end(), action);
    if (it != list.end()) return static_cast<std::int32_t>(it - list.begin()) + 1;
    list.push_back(action);
    return static_cast<std::int32_t>(list.size());
}

tool_action tool_action_of(std::int32_t id) {
    auto& list = action_list();
    if (id <= 0 || static_cast<std::size_t>(id) > list.size()) return nullptr;
    return list[static_cast<std::size_t>(id) - 1];
}

tool_record* lock_tool(handle tool) {
    if (!tool) return nullptr;
    auto* block = static_cast<std::uint32_t*>(lock_handle(tool));
    if (!block) return nullptr;
    return reinterpret_cast<tool_record*>(block + record_cell);
}

void unlock_tool(handle tool) {
    if (tool) unlock_handle(tool);
}

void* tool_options(tool_record* record) {
    return record ? reinterpret_cast<char*>(record) + sizeof(tool_record) : nullptr;
}

std::uint32_t tool_option_size(handle tool) {
    auto* block = static_cast<std::uint32_t*>(lock_handle(tool));
    if (!block) return 0;
    // The piece head holds the piece's size in cells, head included.
    std::uint32_t cells = block[record_cell - 1] & 0x7FFFFFFFu;
    unlock_handle(tool);
    std::uint32_t bytes = cells > 0 ? (cells - 1) * 4 : 0;
    return bytes > sizeof(tool_record) ? bytes - static_cast<std::uint32_t>(sizeof(tool_record))
                                       : 0;
}

std::int32_t tool_add_text(handle tool, const char* text) {
    if (!tool || !text || !*text) return 0;
    std::int32_t cell = cblock_add_string(tool, text, 0);
    return cell > 0 ? cell : 0;
}

std::string tool_text(handle tool, std::int32_t cell) {
    if (!tool || cell <= 0) return {};
    std::uint32_t size = handle_size(tool);
    if (static_cast<std::uint32_t>(cell) >= size / 4) return {};
    auto* block = static_cast<char*>(lock_handle(tool));
    if (!block) return {};
    const char* p = block + static_cast<std::size_t>(cell) * 4;
    std::string s(p, strnlen(p, size - static_cast<std::size_t>(cell) * 4));
    unlock_handle(tool);
    return s;
}

std::string tool_name(handle tool) {
    tool_record* r = lock_tool(tool);
    if (!r) return {};
    std::int32_t cell = r->name;
    unlock_tool(tool);
    return tool_text(tool, cell);
}

handle new_tool(int row, const char* display_name, int option_size) {
    if (row < 0 || row >= analysis_tool_count) return 0;
    if (option_size <= 0) option_size = 40;
    std::uint32_t bytes =
        static_cast<std::uint32_t>(sizeof(tool_record)) + static_cast<std::uint32_t>(option_size);
    handle tool = new_cblock(bytes / 4 + 40, 64, 0);
    if (!tool) return 0;
    std::int32_t cell = cblock_alloc(tool, bytes, 1, 0);
    if (cell != record_cell) {
        free_hblock(tool);
        return 0;
    }
    std::int32_t name = tool_add_text(tool, display_name);
    tool_record* r = lock_tool(tool);
    r->name = name;
    r->type = analysis_tool_table[row].type;
    unlock_tool(tool);
    return tool;
}

void free_tool(handle tool) {
    free_hblock(tool);
}

// ------------------------------------------------------- the tool table ---

analysis_tool_row analysis_tool_table[analysis_tool_count] = {
    {"Tree Diagram", 1, seam_tree_setup},
    {"Outline", 12, seam_outline_setup},
    {"Loops", 13, seam_loops_setup},
    {"Document", 2, seam_document_setup},
    {"Table", 6, seam_table_setup},
    {"Stats", 10, seam_stats_setup},
    {"Graph", 5, seam_graph_setup},
    {"Strip Graph", 3, seam_strip_setup},
    {"Bar Graph", 9, seam_bar_setup},
    {"Sensitivity Graph", 4, seam_sens_setup},
    {"Gantt", 11, seam_gantt_setup},
    {"Units Check", 7, seam_units_setup},
    {"Runs Compare", 8, seam_runs_compare_setup},
};

namespace {
const tool_setup_fn standin_setups[analysis_tool_count] = {
    seam_tree_setup,         seam_outline_setup, seam_loops_setup, seam_document_setup,
    seam_table_setup,        seam_stats_setup,   seam_graph_setup, seam_strip_setup,
    seam_bar_setup,          seam_sens_setup,    seam_gantt_setup, seam_units_setup,
    seam_runs_compare_setup,
};
} // namespace

int find_tool_row(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < analysis_tool_count; ++i)
        if (std::strcmp(analysis_tool_table[i].name, name) == 0) return i;
    return -1;
}

void set_tool_setup(int row, tool_setup_fn setup) {
    if (row < 0 || row >= analysis_tool_count) return;
    analysis_tool_table[row].setup = setup ? setup : standin_setups[row];
}

// ------------------------------------------------------ option blocks ---

namespace {

// The byte width a field kind takes in the block (0: unknown kind).
std::uint32_t field_width(std::int32_t kind) {
    switch (kind) {
    case tf_int:
    case tf_float:
    case tf_long:
        return 4;
    case tf_byte:
        return 1;
    case tf_font:
        return sizeof(font_spec);
    default:
        return kind >= 7 ? static_cast<std::uint32_t>(kind) : 0;
    }
}

bool field_fits(const toptset_field& f, std::uint32_t size) {
    std::uint32_t w = field_width(f.kind);
    return f.offset >= 0 && w > 0 && static_cast<std::uint32_t>(f.offset) <= size &&
           w <= size - static_cast<std::uint32_t>(f.offset);
}

// An integer as "%d" scans it: blanks skipped, a sign, digits; out of range
// saturates (so a huge value cannot wrap into a small one).
bool scan_int(const char* p, long long lo, long long hi, long long* out) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(p, &end, 10);
    if (end == p) return false;
    *out = std::clamp(v, lo, hi);
    return true;
}

// The text up to the next comma or line end.
std::string field_text(const char* p) {
    const char* q = p;
    while (*q && *q != ',' && *q != '\r' && *q != '\n') ++q;
    return std::string(p, static_cast<std::size_t>(q - p));
}

} // namespace

void read_toptset(const char* text, void* block, std::uint32_t size, const toptset_field* fields) {
    if (!text || !block || !fields) return;
    auto* base = static_cast<unsigned char*>(block);
    const char* cur = text;
    for (const toptset_field* f = fields; f->offset != -1; ++f) {
        const char* start = cur;
        const bool fits = field_fits(*f, size);
        unsigned char* at = fits ? base + f->offset : nullptr;
        switch (f->kind) {
        case tf_int:
        case tf_long: {
            long long v = 0;
            if (at && scan_int(cur, INT32_MIN, INT32_MAX, &v)) {
                auto x = static_cast<std::int32_t>(v);
                std::memcpy(at, &x, 4);
            }
            break;
        }
        case tf_byte: {
            long long v = 0;
            if (at && scan_int(cur, INT32_MIN, INT32_MAX, &v)) *at = static_cast<unsigned char>(v);
            break;
        }
        case tf_float: {
            char* end = nullptr;
            float v = std::strtof(cur, &end);
            if (at && end != cur) std::memcpy(at, &v, 4);
            break;
        }
        case tf_font: {
            // The font's own text has no comma, so the field ends at one; an
            // empty field, or one that does not read, keeps the font.
            std::string t = field_text(cur);
            if (at && t.find_first_not_of(" \t") != std::string::npos) {
                font_spec f0;
                std::memcpy(&f0, at, sizeof f0);
                font_spec f1 = f0;
                if (read_font_spec(&f1, t.c_str(), &f0)) {
                    // Kept as the text form writes it: control characters
                    // as blanks, no blanks around it, so it reads back alike.
                    std::size_t n = strnlen(f1.face, sizeof f1.face);
                    for (std::size_t k = 0; k < n; ++k)
                        if (static_cast<unsigned char>(f1.face[k]) < 32) f1.face[k] = ' ';
                    while (n > 0 && f1.face[n - 1] == ' ') f1.face[--n] = 0;
                    std::size_t lead = 0;
                    while (lead < n && f1.face[lead] == ' ') ++lead;
                    std::memmove(f1.face, f1.face + lead, n - lead + 1);
                    std::memcpy(at, &f1, sizeof f1);
                }
            }
            break;
        }
        default:
            if (f->kind >= 7) {
                while (*cur == ' ' || *cur == '\t' || *cur == '\r' || *cur == '\n') ++cur;
                // A line that ends before the field leaves it as it was; an
                // empty field (just its comma) is an empty text.
                if (!*cur) return;
                std::size_t n = 0;
                const std::size_t limit = static_cast<std::size_t>(f->kind) - 1;
                while (cur[n] && cur[n] != ',' && cur[n] != '\r' && cur[n] != '\n') ++n;
                if (at) {
                    std::size_t k = std::min(n, limit);
                    std::memcpy(at, cur, k);
                    at[k] = 0;
                }
                cur += n;
                start = cur;
            } else {
                report(10, "Unknown type %d in read_toptset", f->kind);
            }
            break;
        }
        const char* comma = std::strchr(start, ',');
        if (!comma) return;
        cur = comma + 1;
    }
}

void write_toptset(std::string* out, const void* block, std::uint32_t size,
                   const toptset_field* fields) {
    if (!out) return;
    const auto* base = static_cast<const unsigned char*>(block);
    for (const toptset_field* f = fields; f && f->offset != -1; ++f) {
        if (f->kind == 5 || f->kind == 6 || (f->kind < 0)) {
            report(10, "Unknown type %d in write_toptset", f->kind);
            continue;
        }
        if (!base || !field_fits(*f, size)) {
            *out += ',';
            continue;
        }
        const unsigned char* at = base + f->offset;
        char buf[64];
        switch (f->kind) {
        case tf_int:
        case tf_long: {
            std::int32_t v;
            std::memcpy(&v, at, 4);
            std::snprintf(buf, sizeof buf, "%d,", v);
            *out += buf;
            break;
        }
        case tf_byte:
            std::snprintf(buf, sizeof buf, "%d,", static_cast<int>(static_cast<signed char>(*at)));
            *out += buf;
            break;
        case tf_float: {
            float v;
            std::memcpy(&v, at, 4);
            if (is_na(v))
                *out += "NA,";
            else {
                std::snprintf(buf, sizeof buf, "%g,", static_cast<double>(v));
                *out += buf;
            }
            break;
        }
        case tf_font: {
            font_spec f0;
            std::memcpy(&f0, at, sizeof f0);
            std::string t = font_spec_text(f0);
            // A comma would end the field early: a face never keeps one.
            std::replace(t.begin(), t.end(), ',', ' ');
            *out += t;
            *out += ',';
            break;
        }
        default: {
            // kind >= 7: the text, cut at its limit; separators become blanks
            // so the line reads back field for field.
            const char* p = reinterpret_cast<const char*>(at);
            std::size_t n = strnlen(p, static_cast<std::size_t>(f->kind) - 1);
            for (std::size_t i = 0; i < n; ++i) {
                char c = p[i];
                *out += (c == ',' || c == '\r' || c == '\n') ? ' ' : c;
            }
            *out += ',';
            break;
        }
        }
    }
    *out += '\n';
}

// -------------------------------------------------------- palette grid ---

handle grid_tool(const palette_grid& grid, int row, int col) {
    if (!grid.cells || row < 0 || col < 0 || row >= grid.rows || col >= grid.cols) return 0;
    auto* cells = static_cast<handle*>(lock_handle(grid.cells));
    if (!cells) return 0;
    handle h = cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(grid.cols) +
                     static_cast<std::size_t>(col)];
    unlock_handle(grid.cells);
    return h;
}

const char* const builtin_toolset_lines[] = {
    "1.62",
    "=4,=30,=1,=1,=1,=1",
    "Tree Diagram|Causes Tree",
    "=0,=0,=-1,=-1,=0,=0,=0,=0,=0,",
    "2,0,1,1,1,1,1,1,1,1,0,0,",
    "Tree Diagram|Uses Tree",
    "=0,=2,=-1,=-1,=0,=0,=0,=0,=0,",
    "2,1,1,1,1,1,1,1,1,1,0,0,",
    "Loops|Loops",
    "=0,=4,=-1,=-1,=0,=0,=0,=0,=0,",
    "Document|Document",
    "=0,=6,=-1,=-1,=0,=0,=0,=0,=0,",
    "0,0,0,0,0,1,0,0,1,1,0,1,0,1,0,0,0,0,1,0,75,,",
    "Strip Graph|Causes Strip",
    "=0,=9,=-1,=-1,=0,=0,=0,=0,=0,",
    "0,0,0,1,0,1,1,1,1,1,1,0,0,6,2,0,",
    "Graph|Graph",
    "=0,=11,=-1,=-1,=0,=0,=0,=0,=0,",
    "16,12,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,,,,0,1,",
    "",
    "",
    "",
    "Table|Table",
    "=0,=13,=-1,=-1,=0,=0,=0,=0,=0,",
    "-1,1,1,0,1,1,1,1,1,1,0,0,",
    "Table|Table Time Down",
    "=0,=15,=-1,=-1,=0,=0,=0,=0,=0,",
    "-1,1,1,0,1,1,1,1,1,1,0,0,0,10,12,1",
    "Runs Compare|Runs Compare",
    "=0,=17,=-1,=-1,=0,=0,=0,=0,=0,",
    "0,0,0,0,0,0,1,1,0,0,",
};
static_assert(sizeof(builtin_toolset_lines) / sizeof(builtin_toolset_lines[0]) ==
              builtin_toolset_line_count);

namespace {

palette_grid& grid_of(int kind) {
    return kind == 1 ? sketch_cells : palette_cells;
}

// Frees the tools still in a grid's cells (a caller that did not free first
// would otherwise lose them with the old cell array).
void free_tools_of(palette_grid& g) {
    if (!g.cells) return;
    auto* cells = static_cast<handle*>(lock_handle(g.cells));
    std::size_t n = static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.cols);
    for (std::size_t i = 0; i < n; ++i) {
        handle t = cells[i];
        cells[i] = 0;
        if (t) {
            if (toolset_freeing_hook) toolset_freeing_hook(t);
            free_tool(t);
        }
    }
    unlock_handle(g.cells);
}

// Makes a zero-filled cell array of rows x cols, freeing the old one.
bool make_cells(palette_grid& g, int rows, int cols) {
    free_tools_of(g);
    free_handle(g.cells);
    g.cells = new_handle(static_cast<std::uint32_t>(rows * cols) * sizeof(handle));
    g.rows = g.cells ? rows : 0;
    g.cols = g.cells ? cols : 0;
    return g.cells != 0;
}

bool grow_row(palette_grid& g) {
    std::uint32_t bytes = static_cast<std::uint32_t>((g.rows + 1) * g.cols) * sizeof(handle);
    handle h = resize_handle(g.cells, bytes);
    if (!h) return false;
    g.cells = h;
    auto* cells = static_cast<handle*>(lock_handle(g.cells));
    std::memset(cells + static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.cols), 0,
                static_cast<std::size_t>(g.cols) * sizeof(handle));
    unlock_handle(g.cells);
    ++g.rows;
    return true;
}

bool place_free(const handle* cells, const palette_grid& g, int r, int c) {
    if (r < 0 || c < 0 || r >= g.rows || c >= g.cols - 1)
        return false; // no c + 1: c may be INT_MAX
    const handle* row = cells + static_cast<std::size_t>(r) * static_cast<std::size_t>(g.cols);
    return !row[c] && !row[c + 1] && (c == 0 || !row[c - 1]);
}

// The value after the next '=' at or after *p, read as "%d," or "%ld,"; *p
// moves past the '='. False when there is no '=' or the value does not scan.
bool next_keyed(const char** p, long long* out) {
    const char* eq = std::strchr(*p, '=');
    if (!eq) {
        *p += std::strlen(*p);
        return false;
    }
    *p = eq + 1;
    return scan_int(*p, INT32_MIN, INT32_MAX, out);
}

std::string cut_line_end(const char* s) {
    std::string t(s);
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    return t;
}

bool begins_default(const char* name) {
    const char* part = file_name_part(name);
    static const char prefix[] = "default.";
    for (std::size_t i = 0; i + 1 < sizeof prefix; ++i) {
        char c = part[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool is_bare(const char* name) {
    return std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr;
}

void changed(int kind) {
    if (toolset_changed_hook) toolset_changed_hook(kind);
}

// Reads one tool group after its header line (in line_buf) into the grid;
// returns whether a tool was placed.
bool read_tool_group(palette_grid& g, const std::string& header, long* grows, bool* short_group) {
    std::string row_name = header, display = header;
    std::size_t bar = header.find('|');
    if (bar != std::string::npos) {
        row_name = header.substr(0, bar);
        display = header.substr(bar + 1);
    }
    int row = find_tool_row(row_name.c_str());
    if (row < 0) {
        report(3, "The tool %s is not contained in the current system", row_name.c_str());
        return false;
    }
    const analysis_tool_row& tr = analysis_tool_table[row];
    int size = tr.setup(0, 0, nullptr, nullptr);
    handle tool = new_tool(row, display.c_str(), size);
    if (!tool) return false;

    // Placement line.
    bool placed_ok = false;
    long long r = -1, c = -1;
    const bool placement = read_line(0) != 0;
    if (!placement) *short_group = true;
    if (placement) {
        const char* p = line_buf;
        long long v[9];
        int scanned = 0;
        for (; scanned < 9; ++scanned)
            if (!next_keyed(&p, &v[scanned])) break;
        if (scanned >= 2) {
            r = v[0];
            c = v[1];
            placed_ok = true;
        }
        tool_record* rec = lock_tool(tool);
        // A placement line without its colours (cut short) leaves the
        // palette's own colours, not black.
        rec->text_colour = rec->back_colour = -1;
        if (scanned >= 5) rec->state = static_cast<std::uint32_t>(v[4]);
        if (scanned == 9) {
            rec->text_colour = static_cast<std::int32_t>(v[2]);
            rec->back_colour = static_cast<std::int32_t>(v[3]);
            if (v[8] != -1)
                for (int i = 0; i < 4; ++i)
                    rec->rect[i] = static_cast<std::int16_t>(
                        std::clamp<long long>(v[5 + i], INT16_MIN, INT16_MAX));
        }
        unlock_tool(tool);
    }

    // A tool whose option lines the file ends before (cut short) keeps its
    // defaults for them; the caller says the file ended early.
    const long ends = text_source_ends_met();
    tr.setup(0, tool, nullptr, line_buf);
    if (text_source_ends_met() != ends) *short_group = true;

    auto* cells = static_cast<handle*>(lock_handle(g.cells));
    int pr = static_cast<int>(std::clamp<long long>(r, -1, INT32_MAX));
    int pc = static_cast<int>(std::clamp<long long>(c, -1, INT32_MAX));
    if (!placed_ok || !place_free(cells, g, pr, pc)) {
        report(5, "Bad or repeated tool location column %d row %d", placed_ok ? pc : -1,
               placed_ok ? pr : -1);
        bool found = false;
        for (int i = 0; i < g.rows && !found; ++i)
            for (int j = 0; j + 1 < g.cols && !found; ++j)
                if (place_free(cells, g, i, j)) {
                    pr = i;
                    pc = j;
                    found = true;
                }
        if (!found) {
            unlock_handle(g.cells);
            if (g.rows >= toolset_max_rows || !grow_row(g)) {
                if (*grows == 0)
                    report(5, "The tool set has more tools than %d rows hold", toolset_max_rows);
                ++*grows;
                free_tool(tool);
                return false;
            }
            cells = static_cast<handle*>(lock_handle(g.cells));
            pr = g.rows - 1;
            pc = 0;
        }
    }
    cells[static_cast<std::size_t>(pr) * static_cast<std::size_t>(g.cols) +
          static_cast<std::size_t>(pc)] = tool;
    unlock_handle(g.cells);
    return true;
}

// A grid read but not taken: its tools were never shown, so nothing else
// holds their handles.
void discard_grid(palette_grid& g) {
    if (!g.cells) return;
    auto* cells = static_cast<handle*>(lock_handle(g.cells));
    std::size_t n = static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.cols);
    for (std::size_t i = 0; cells && i < n; ++i)
        if (cells[i]) free_tool(cells[i]);
    if (cells) unlock_handle(g.cells);
    free_handle(g.cells);
    g = palette_grid{};
}

// Format errors: what the caller returns. A named file that is refused
// leaves the grid as it was; the current set that cannot be read again
// falls back to the built-in set.
int format_error(const char* name, int kind, bool empty_source, palette_grid& fresh) {
    close_text_source();
    discard_grid(fresh);
    if (!name) {
        if (empty_source) report(10, "RT2314");
        return 0;
    }
    if (!*name) return read_toolset(nullptr, kind);
    report(8, "Bad toolset format in %s; the tools are left as they were", name);
    return 0;
}

// Whether the file read ended inside a line or a tool: a last line without
// its line end (the program's writer ends every line), a tool header without
// its placement line, or a read that ended early.
bool ended_early(bool short_group) {
    if (short_group || text_source_refused()) return true;
    const std::size_t n = std::strlen(line_buf);
    return n > 0 && line_buf[n - 1] != '\n';
}

} // namespace

int read_toolset(const char* name, int kind) {
    palette_grid& g = grid_of(kind);
    std::string shown = name ? name : "";
    // The new set is read into a grid of its own and replaces the old one
    // only once it was read: a file that is refused (not there, not a tool
    // set, no tools) leaves the tools the user had.
    palette_grid fresh;
    std::string path_taken; // the set's file, named in the grid once taken

    // 1. The source.
    if (!name) {
        if (!push_text_source(builtin_toolset_lines, builtin_toolset_line_count, 1)) return 0;
    } else if (!*name) {
        bool open = false;
        if (g.name) {
            shown = app_string_text(g.name);
            open = !shown.empty() && open_text_source(shown.c_str(), 0, 0);
        }
        if (!open) {
            shown = app_strings().prog_dir + "default." + (kind == 1 ? "sts" : "kts");
            open = open_text_source(shown.c_str(), 0, 0);
            if (!open) return read_toolset(nullptr, kind);
        }
        path_taken = shown;
    } else {
        std::string path = name;
        int error = 0;
        if (is_bare(name) && !model_dir.empty()) {
            std::string full = full_path(model_dir.c_str(), name);
            if (open_text_source(full.c_str(), 0, 0)) {
                path = full;
            } else if (!open_text_source(name, 0, 0)) {
                error = errno;
                path.clear();
            }
        } else if (!open_text_source(name, 0, 0)) {
            error = errno;
            path.clear();
        }
        if (path.empty()) {
            if (begins_default(name)) return read_toolset(nullptr, kind);
            if (error)
                report(8, "Unable to open %s: %s", name, std::strerror(error));
            else
                report(8, "Unable to open %s", name);
            return 0;
        }
        path_taken = path;
    }

    // 2. The version.
    if (!read_line(0)) return format_error(name, kind, true, fresh);
    if (std::strncmp(line_buf, "1.62", 4) != 0) {
        std::string q = "Toolset Version Mismatch for " + shown + " - do you want to try anyway?";
        if (ask_question(question_yes_no, q.c_str(), 6) != 6) {
            close_text_source();
            // A file the user chose is simply not taken; the current set
            // that will not do gives way to the built-in one.
            return name && *name ? 0 : read_toolset(nullptr, kind);
        }
    }

    // 3. The grid.
    if (!read_line(0)) return format_error(name, kind, false, fresh);
    long long v[6];
    const char* p = line_buf;
    for (long long& x : v)
        if (!next_keyed(&p, &x)) return format_error(name, kind, false, fresh);
    int rows = (v[0] < 2 || v[0] > 64) ? 3 : static_cast<int>(v[0]);
    int cols = (v[1] < 8 || v[1] > 128) ? 24 : static_cast<int>(v[1]);
    if (!make_cells(fresh, rows, cols)) {
        close_text_source();
        discard_grid(fresh);
        return 0;
    }

    // 4. The tools.
    int count = 0;
    long refused = 0;
    bool short_group = false;
    while (read_line(0)) {
        std::string header = cut_line_end(line_buf);
        if (read_tool_group(fresh, header, &refused, &short_group)) ++count;
    }
    const bool early = name && ended_early(short_group);

    // 5, 6.
    close_text_source();
    if (count == 0 && name && *name) {
        discard_grid(fresh);
        report(7, "No tools loaded from %s; the tools are left as they were", shown.c_str());
        return 0;
    }
    if (early)
        report(7,
               "The tool set %s ends early (it looks cut short): the %d tools before the end "
               "were read, the last of them perhaps incomplete; anything after it is lost",
               shown.c_str(), count);
    free_tools_of(g);
    free_handle(g.cells);
    g.cells = fresh.cells;
    g.rows = fresh.rows;
    g.cols = fresh.cols;
    g.cur_row = 0;
    g.loaded = 1;
    app_string_free(g.name);
    g.name = path_taken.empty() ? 0 : app_string_add(path_taken.c_str());
    changed(kind);
    return count;
}

void free_toolset(int which) {
    palette_grid& g = grid_of(which);
    free_tools_of(g);
    app_string_free(g.name);
    g.name = 0;
    g.loaded = 0;
    changed(which);
}

bool toolset_loaded() {
    return palette_cells.loaded != 0;
}

std::string write_toolset_text(int kind) {
    const palette_grid& g = grid_of(kind);
    std::string out = "1.62\n";
    char buf[160];
    std::snprintf(buf, sizeof buf, "rows=%d,cols=%d,=1,=1,=1,=1,\n", g.rows, g.cols);
    out += buf;
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.cols; ++c) {
            handle t = grid_tool(g, r, c);
            if (!t) continue;
            tool_record* rec = lock_tool(t);
            tool_record copy = *rec;
            unlock_tool(t);
            int row = -1;
            for (int i = 0; i < analysis_tool_count; ++i)
                if (analysis_tool_table[i].type == copy.type) row = i;
            if (row < 0) continue;
            out += analysis_tool_table[row].name;
            out += '|';
            for (char ch : tool_text(t, copy.name)) out += (ch == '\r' || ch == '\n') ? ' ' : ch;
            out += '\n';
            std::snprintf(buf, sizeof buf, "=%d,=%d,=%d,=%d,=%d,=%d,=%d,=%d,=%d,\n", r, c,
                          copy.text_colour, copy.back_colour, static_cast<std::int32_t>(copy.state),
                          copy.rect[0], copy.rect[1], copy.rect[2], copy.rect[3]);
            out += buf;
            analysis_tool_table[row].setup(1, t, &out, nullptr);
        }
    return out;
}

int read_package_toolset(const char* model_path) {
    std::string ext;
    if (model_path) {
        std::string p = model_path;
        std::size_t dot = extension_dot(p);
        if (dot != std::string::npos) ext = p.substr(dot + 1);
        for (char& c : ext)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (!package_open() || (ext != "kpm" && ext != "kpa")) return -1;
    std::string member;
    for (int i = 0; i < package_member_count(); ++i) {
        const char* name = package_member_name(i);
        if (!name) continue;
        std::string n = name;
        std::size_t dot = extension_dot(n);
        std::string e = dot == std::string::npos ? "" : n.substr(dot + 1);
        for (char& c : e)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (e == "kts") {
            member = n;
            break;
        }
    }
    // Read before replaced: a bad member leaves the palette's tools.
    if (member.empty()) return read_toolset(nullptr, 0);
    return read_toolset(member.c_str(), 0);
}
