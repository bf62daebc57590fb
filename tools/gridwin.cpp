// The grid window: see gridwin.h.
#include "tools/gridwin.h"

#include "draw/drawing.h"
#include "draw/prims.h"
#include "draw/printing.h"
#include "foundation/docwriter.h"
#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "platform/clip.h"
#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/global.h"
#include "shell/controls/longlist.h"
#include "shell/filechoice.h"
#include "shell/fonts.h"
#include "shell/mainwnd.h"
#include "shell/options.h"
#include "shell/settings_rows.h"
#include "shell/state.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "shell/varselect.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/textwin_core.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* spread_class = "Kavrel_spread";
constexpr int grid_type = ',';

// What a grid record holds after its head (a pointer to it, so nothing here
// moves when the record's block does).
struct grid_data {
    grid_rows grid;
    grid_kept_axis axis;
    outwin_font font;
    int zero_width = 8;
    int first_tab = 240;
    int tab_width = 80;
    int top = 0;        // first visible row (lines) or line (transposed)
    int first_cell = 0; // first visible cell (lines) or row column (transposed)
    int visible = 1;
    int scroll_limit = -1;
    int sel_row = -1, sel_start = 0, sel_end = 0, anchor = -1;
    int last_row = -1; // the row last clicked (what Print prints as the selection)
    bool selecting = false;
    bool printing = false;
    std::string title;
};

grid_data* data_of(handle record) {
    return static_cast<grid_data*>(outwin_data(record, grid_type));
}

HWND window_of(handle record) {
    return outwin_window(record);
}

void release_grid_data(handle record) {
    auto* d = static_cast<grid_data*>(outwin_take_data(record));
    if (!d) return;
    outwin_close_font(d->font);
    delete d;
}

int text_px(HDC dc, const std::string& s) {
    if (s.empty() || !dc) return 0;
    SIZE sz{0, 0};
    GetTextExtentPoint32(dc, s.c_str(), static_cast<int>(s.size()), &sz);
    return sz.cx;
}

// One drawn piece of a label: its text, where it starts, the byte offset of
// its first character in the label and its colour mark (-1 unchanged).
struct label_piece {
    std::string text;
    int x = 0;
    int offset = 0;
    int colour = -1;
};

// A label laid out at tab stops: first_tab, then every tab_width; a colour
// escape after a tab sets the colour and is not drawn.
std::vector<label_piece> layout_label(const grid_data& d, const std::string& label) {
    std::vector<label_piece> out;
    std::size_t at = 0;
    int x = 0;
    for (bool first = true;; first = false) {
        const std::size_t tab = label.find('\t', at);
        const std::size_t end = tab == std::string::npos ? label.size() : tab;
        label_piece p;
        p.x = x;
        p.offset = static_cast<int>(at);
        if (!first && end - at >= 3 && label[at] == '\\' && label[at + 1] >= '0' &&
            label[at + 1] <= ';' && label[at + 2] == '\\') {
            p.colour = label[at + 1] - '0' + 1;
            p.offset += 3;
        }
        p.text = label.substr(static_cast<std::size_t>(p.offset),
                              end - static_cast<std::size_t>(p.offset));
        const int w = text_px(d.font.measure, p.text);
        out.push_back(std::move(p));
        if (tab == std::string::npos) break;
        // The next stop after the text.
        const int right = x + w;
        x = d.first_tab;
        while (x <= right) x += std::max(1, d.tab_width);
        at = tab + 1;
    }
    return out;
}

COLORREF mark_colour(const grid_data& d, int mark) {
    if (mark >= 1 && mark <= 12) return colour_table[mark - 1];
    return outwin_text_colour(d.font.spec);
}

int row_count(const grid_data& d) {
    return static_cast<int>(d.grid.rows.size());
}

// The vertical and horizontal extents in their units: lines layout rows and
// cells; transposed lines (cells + the label line) and rows.
int vertical_extent(const grid_data& d) {
    return d.grid.columns_layout ? d.grid.max_cells + 1 : row_count(d);
}
int horizontal_extent(const grid_data& d) {
    return d.grid.columns_layout ? row_count(d) : d.grid.max_cells;
}
int columns_in_view(HWND w, const grid_data& d) {
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    return std::max(1, (cw - d.first_tab) / std::max(1, d.tab_width));
}

void set_scrolls(HWND w, grid_data& d) {
    if (!w) return;
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    d.visible = std::max(1, ch / d.font.line_height);
    d.top = std::clamp(d.top, 0, std::max(0, vertical_extent(d) - d.visible));
    d.first_cell =
        std::clamp(d.first_cell, 0, std::max(0, horizontal_extent(d) - columns_in_view(w, d)));
    // Past 32,000 rows the bars count in steps, so a thumb reaches the end.
    set_scroll_scaled(w, SB_VERT, 0, vertical_extent(d), d.visible, d.top);
    set_scroll_scaled(w, SB_HORZ, 0, horizontal_extent(d), columns_in_view(w, d), d.first_cell);
}

// Draws a text cut character by character until it ends before right.
void draw_cut(HDC dc, int x, int y, const std::string& s, int right) {
    std::size_t n = s.size();
    while (n > 0 && x + text_px(dc, s.substr(0, n)) > right) --n;
    if (n > 0) TextOut(dc, x, y, s.c_str(), static_cast<int>(n));
}

// Draws a cell's text within its column: a number that is too wide with
// fewer digits or as marks (never cut into another number), a text cut.
void draw_cell(HDC dc, int x, int y, const grid_row& row, const grid_cell& c, int right) {
    const std::string s = grid_cell_text(row, c);
    if (c.kind == cell_text || c.kind == cell_short_text) return draw_cut(dc, x, y, s, right);
    const std::string t =
        fit_number_text(s, [&](const std::string& u) { return x + text_px(dc, u) <= right; });
    if (!t.empty()) TextOut(dc, x, y, t.c_str(), static_cast<int>(t.size()));
}

void draw_label(HDC dc, const grid_data& d, int y, const grid_row& row, int right,
                int base_colour) {
    int colour = base_colour;
    for (const label_piece& p : layout_label(d, row.label)) {
        if (p.colour >= 0) colour = p.colour;
        SetTextColor(dc, mark_colour(d, colour));
        if (p.x < right) draw_cut(dc, p.x, y, p.text, right);
    }
}

void draw_lines_layout(HDC dc, const grid_data& d, int width, int height) {
    for (int i = d.top, y = 0; i < row_count(d) && y < height; ++i, y += d.font.line_height) {
        const grid_row& row = d.grid.rows[static_cast<std::size_t>(i)];
        if (!row.has_cells) {
            draw_label(dc, d, y, row, width, row.colour);
            continue;
        }
        SetTextColor(dc, mark_colour(d, row.colour));
        draw_cut(dc, 0, y, row.label, d.first_tab - 2);
        int x = d.first_tab;
        for (std::size_t c = static_cast<std::size_t>(d.first_cell);
             c < row.cells.size() && x < width; ++c, x += d.tab_width)
            draw_cell(dc, x, y, row, row.cells[c], x + d.tab_width - 2);
    }
}

void draw_columns_layout(HDC dc, const grid_data& d, int width, int height) {
    // Column 0 holds nothing but the label line; each row is a column.
    for (int r = d.first_cell, x = d.first_tab; r < row_count(d) && x < width;
         ++r, x += d.tab_width) {
        const grid_row& row = d.grid.rows[static_cast<std::size_t>(r)];
        SetTextColor(dc, mark_colour(d, row.colour));
        if (!row.has_cells) {
            // A header box: the label's fields one under another.
            RECT box{x, 0, x + d.tab_width, height};
            FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            const std::vector<std::string> fields = grid_label_fields(row.label);
            for (int k = d.top, y = 2; k < static_cast<int>(fields.size()) && y < height;
                 ++k, y += d.font.line_height)
                draw_cut(dc, x + 2, y, fields[static_cast<std::size_t>(k)], x + d.tab_width - 2);
            continue;
        }
        for (int k = d.top, y = 0; k <= static_cast<int>(row.cells.size()) && y < height;
             ++k, y += d.font.line_height) {
            if (k > 0) {
                draw_cell(dc, x, y, row, row.cells[static_cast<std::size_t>(k - 1)],
                          x + d.tab_width - 2);
                continue;
            }
            draw_cut(dc, x, y, grid_label_fields(row.label).front(), x + d.tab_width - 2);
        }
    }
}

// The selection's rectangle on screen (lines layout; empty otherwise).
RECT selection_rect(const grid_data& d) {
    RECT r{0, 0, 0, 0};
    if (d.sel_row < 0 || d.sel_end <= d.sel_start || d.grid.columns_layout) return r;
    const grid_row& row = d.grid.rows[static_cast<std::size_t>(d.sel_row)];
    const std::string& s = row.label;
    int xa = -1, xb = -1;
    for (const label_piece& p : layout_label(d, s)) {
        const int from = p.offset, to = p.offset + static_cast<int>(p.text.size());
        if (d.sel_start >= from && d.sel_start <= to)
            xa = p.x + text_px(d.font.measure,
                               p.text.substr(0, static_cast<std::size_t>(d.sel_start - from)));
        if (d.sel_end >= from && d.sel_end <= to)
            xb = p.x + text_px(d.font.measure,
                               p.text.substr(0, static_cast<std::size_t>(d.sel_end - from)));
    }
    if (xa < 0 || xb < 0) return r;
    const int y = (d.sel_row - d.top) * d.font.line_height;
    return RECT{xa, y, xb, y + d.font.line_height};
}

void paint(HWND w, grid_data& d) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    if (!dc) return;
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    HGDIOBJ old = SelectObject(dc, d.font.hfont);
    SetBkMode(dc, TRANSPARENT);
    if (d.grid.columns_layout)
        draw_columns_layout(dc, d, cw, ch);
    else
        draw_lines_layout(dc, d, cw, ch);
    RECT sel = selection_rect(d);
    if (sel.right > sel.left) InvertRect(dc, &sel);
    SelectObject(dc, old);
    EndPaint(w, &ps);
}

// The label offset under x in a row (lines layout), -1 when none.
int offset_in_label(const grid_data& d, const grid_row& row, int x) {
    const std::vector<label_piece> pieces = layout_label(d, row.label);
    for (std::size_t i = pieces.size(); i-- > 0;) {
        const label_piece& p = pieces[i];
        if (x < p.x) continue;
        if (row.has_cells && x >= d.first_tab) return -1;
        for (std::size_t n = 0; n < p.text.size(); ++n)
            if (x < p.x + text_px(d.font.measure, p.text.substr(0, n + 1)))
                return p.offset + static_cast<int>(n);
        return p.offset + static_cast<int>(p.text.size());
    }
    return -1;
}

void scroll(HWND w, grid_data& d, int bar, int code, int thumb) {
    const bool vertical = bar == SB_VERT;
    const std::optional<int> pos =
        outwin_scroll_target(code, vertical ? d.top : d.first_cell,
                             vertical ? std::max(1, d.visible - 1) : columns_in_view(w, d),
                             vertical ? vertical_extent(d) : horizontal_extent(d), thumb);
    if (!pos) return;
    (vertical ? d.top : d.first_cell) = *pos;
    set_scrolls(w, d);
    InvalidateRect(w, nullptr, TRUE);
}

void grid_sink_line(handle record, const char* line, int) {
    spread_add_row(record, line ? line : "", nullptr, nullptr, nullptr, 0, false, nullptr, 0, 0);
}

} // namespace

handle open_spread_window(const char* title, int x, int y, int width, int height,
                          const font_spec* font, int first_tab, int tab_width, int columns_layout) {
    handle record = new_output_record(sizeof(grid_data*), grid_type);
    if (!record) return 0;
    auto* d = new grid_data;
    // A zeroed spec is the default font too.
    outwin_open_font(d->font, font && (font->size != 0 || font->face[0] != 0) ? font : nullptr);
    d->zero_width = std::max(1, text_px(d->font.measure, "0"));
    d->first_tab = (first_tab > 0 ? first_tab : 30) * d->zero_width;
    d->tab_width = (tab_width > 0 ? tab_width : 10) * d->zero_width;
    d->grid.columns_layout = columns_layout != 0;
    d->title = title ? title : "";
    outwin_set_data(record, d, release_grid_data);
    outwin_default_size(&width, &height);
    HWND w = outwin_open(record, spread_class, d->title.c_str(), x, y, width, height,
                         WS_VSCROLL | WS_HSCROLL, release_grid_data);
    if (!w) return 0;
    set_scrolls(w, *d);
    return record;
}

int spread_add_row(handle record, const char* label, const char* const* texts, const float* values,
                   const int* indices, int count, bool as_display, const char* format, int mode,
                   int colour) {
    grid_data* d = data_of(record);
    if (!d) return 0;
    const int n = grid_add_row(d->grid, label, texts, values, indices, count, as_display, format,
                               mode, colour);
    HWND w = window_of(record);
    if (!w) return n;
    int cw, ch;
    outwin_client_size(w, &cw, &ch);
    d->visible = std::max(1, ch / d->font.line_height);
    if (d->scroll_limit >= 0 && !d->grid.columns_layout && n - 1 >= d->top + d->visible)
        d->top = n - d->visible;
    set_scrolls(w, *d);
    InvalidateRect(w, nullptr, TRUE);
    return n;
}

void set_spread_scroll_limit(handle record) {
    if (grid_data* d = data_of(record)) d->scroll_limit = std::max(0, row_count(*d) - 1);
}

int spread_copy(handle record) {
    grid_data* d = data_of(record);
    if (!d || d->grid.rows.empty()) return 0;
    const std::string text = grid_export_text(d->grid, "\r\n");
    const std::vector<std::uint8_t> biff = grid_export_biff(d->grid);
    // The spreadsheet formats go in together, "Biff" first.
    const UINT biff_format = RegisterClipboardFormat("Biff");
    RegisterClipboardFormat("XlTable");
    RegisterClipboardFormat("WK1");
    auto global_of = [](const void* data, std::size_t size) -> HGLOBAL {
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        void* p = mem ? GlobalLock(mem) : nullptr;
        if (!p) {
            if (mem) GlobalFree(mem);
            return nullptr;
        }
        std::memcpy(p, data, size);
        GlobalUnlock(mem);
        return mem;
    };
    HGLOBAL text_mem = global_of(text.c_str(), text.size() + 1);
    HGLOBAL biff_mem = biff.empty() || !biff_format ? nullptr : global_of(biff.data(), biff.size());
    // The same cells as an HTML table, which spreadsheet programs paste cell
    // by cell (the worksheet above is this program's own form).
    const std::string html = grid_export_html(d->grid);
    const UINT html_format = RegisterClipboardFormat("HTML Format");
    HGLOBAL html_mem = html_format ? global_of(html.c_str(), html.size() + 1) : nullptr;
    bool ok = false;
    if (text_mem && OpenClipboard(window_of(record))) {
        EmptyClipboard();
        bool biff_ok = true;
        if (biff_mem) {
            biff_ok = SetClipboardData(biff_format, biff_mem) != nullptr;
            if (biff_ok) biff_mem = nullptr; // the clipboard's now
        }
        if (html_mem && SetClipboardData(html_format, html_mem)) html_mem = nullptr;
        ok = SetClipboardData(CF_TEXT, text_mem) != nullptr && biff_ok;
        if (ok) text_mem = nullptr;
        CloseClipboard();
    }
    if (text_mem) GlobalFree(text_mem);
    if (biff_mem) GlobalFree(biff_mem);
    if (html_mem) GlobalFree(html_mem);
    if (!ok) {
        report(8, "Cannot copy the table to the clipboard");
        return 0;
    }
    return 1;
}

int spread_save(handle record, const char* path) {
    grid_data* d = data_of(record);
    if (!d || !path || d->grid.rows.empty()) return 0;
    const std::string text = grid_export_text(d->grid, "\n");
    if (!write_whole_file(path, text.data(), text.size())) {
        report(8, "Cannot open %s to write output", path);
        return 0;
    }
    return 1;
}

namespace {

// The width of a text on the printer, in its font.
int printed_px(const std::string& t) {
    SIZE z{};
    if (!drawing.printer_dc || t.empty() ||
        !GetTextExtentPoint32(drawing.printer_dc, t.c_str(), static_cast<int>(t.size()), &z))
        return 0;
    return z.cx;
}

// A text cut, character by character, to end before `room` printer pixels.
std::string cut_to(std::string t, int room) {
    while (!t.empty() && printed_px(t) > room) t.pop_back();
    return t;
}

void print_piece(const std::string& t, int x) {
    print_text_line(t.c_str(), static_cast<int>(t.size()), x, false);
}

// Prints the rows in the window's lines layout: the label column as wide
// as on screen, then the columns at the screen's pitch in characters, as
// many as the page holds; the further columns follow on pages of their own
// (the labels again), each band saying which columns it holds. A heading row
// without cells puts its fields in the same columns.
struct screen_pitch {
    int first_tab = 240, tab_width = 80, zero_width = 8; // screen pixels
};
void print_lines_layout(const screen_pitch& d, const std::vector<grid_row>& rows,
                        const std::string& title) {
    const int zero = std::max(1, printed_px("0"));
    int label_w = std::max(1, d.first_tab / std::max(1, d.zero_width)) * zero;
    int pitch = std::max(1, d.tab_width / std::max(1, d.zero_width)) * zero;
    int columns = 0;
    for (const grid_row& r : rows)
        columns = std::max(columns, r.has_cells
                                        ? static_cast<int>(r.cells.size())
                                        : static_cast<int>(grid_label_fields(r.label).size()) - 1);
    // Narrower than on screen where the texts allow, so that a page holds
    // more columns: the widest label and the widest value, with two
    // characters between.
    int widest_label = 0, widest_cell = 0;
    for (const grid_row& r : rows) {
        if (r.has_cells) {
            widest_label = std::max(widest_label, printed_px(r.label));
            for (const grid_cell& c : r.cells)
                widest_cell = std::max(widest_cell, printed_px(grid_cell_text(r, c)));
            continue;
        }
        const std::vector<std::string> fields = grid_label_fields(r.label);
        for (std::size_t k = 1; k < fields.size(); ++k)
            widest_cell = std::max(widest_cell, printed_px(fields[k]));
        if (fields.size() > 1) widest_label = std::max(widest_label, printed_px(fields[0]));
    }
    label_w = std::min(label_w, widest_label + 2 * zero);
    pitch = std::min(pitch, widest_cell + 2 * zero);
    const int per_page = std::max(1, (printer.page_x - label_w) / pitch);
    for (int first = 0; first == 0 || first < columns; first += per_page) {
        const int last = std::min(columns, first + per_page);
        if (first > 0) print_text_line("\f", 1, 0, false);
        print_text_line("", 0, 0, true);
        print_text_line(title.c_str(), static_cast<int>(title.size()), 0, true);
        if (columns > per_page) {
            char note[96];
            std::snprintf(note, sizeof note, "Columns %d to %d of %d", first + 1, last, columns);
            print_text_line(note, static_cast<int>(std::strlen(note)), 0, true);
        }
        print_text_line("", 0, 0, true);
        for (const grid_row& r : rows) {
            std::vector<std::string> cells;
            std::vector<bool> numbers;
            std::string label = r.label;
            if (r.has_cells) {
                for (int c = first; c < last && c < static_cast<int>(r.cells.size()); ++c) {
                    const grid_cell& cell = r.cells[static_cast<std::size_t>(c)];
                    cells.push_back(grid_cell_text(r, cell));
                    numbers.push_back(cell.kind != cell_text && cell.kind != cell_short_text);
                }
            } else {
                const std::vector<std::string> fields = grid_label_fields(r.label);
                label = fields.empty() ? std::string() : fields.front();
                for (int c = first; c < last && c + 1 < static_cast<int>(fields.size()); ++c)
                    cells.push_back(fields[static_cast<std::size_t>(c + 1)]);
            }
            // A heading without columns (a line of text) runs across the page.
            const bool plain = !r.has_cells && cells.empty();
            print_piece(plain ? label : cut_to(label, label_w - zero / 2), 0);
            int x = label_w;
            for (std::size_t k = 0; k < cells.size(); ++k) {
                const int room = pitch - zero / 2;
                // A number too wide keeps its value (fewer digits), never a cut.
                print_piece(
                    k < numbers.size() && numbers[k]
                        ? fit_number_text(
                              cells[k], [&](const std::string& u) { return printed_px(u) <= room; })
                        : cut_to(cells[k], room),
                    x);
                x += pitch;
            }
            print_text_line("", 0, 0, true);
        }
    }
}

} // namespace

int spread_print(handle record) {
    grid_data* d = data_of(record);
    if (!d || d->grid.rows.empty()) return 0;
    // The job pumps messages: print from a copy of the rows.
    // The selected row alone only when Print Options chose Selection for
    // this window (not when a diagram's dialog left it on).
    const bool one = opts.print_selection == 1 && print_choice_record == static_cast<int>(record) &&
                     d->last_row >= 0 && d->last_row < row_count(*d);
    const screen_pitch pitch{d->first_tab, d->tab_width, d->zero_width};
    const bool transposed = d->grid.columns_layout;
    std::vector<grid_row> rows;
    if (one && !d->grid.columns_layout) {
        rows.push_back(d->grid.rows[static_cast<std::size_t>(d->last_row)]);
    } else if (!transposed) {
        rows = d->grid.rows;
    } else {
        // A table laid out time down prints its lines (the headings, then a
        // line per time) in the same fixed columns as one laid out across,
        // so a short value never pulls the columns after it out of line.
        // The texts are the screen's, as in the lines layout's print.
        std::vector<std::vector<std::string>> fields;
        grid_row head;
        head.has_cells = true;
        for (const grid_row& row : d->grid.rows) {
            fields.push_back(grid_label_fields(row.label));
            grid_cell c;
            c.kind = cell_short_text;
            c.text = fields.back().front();
            head.cells.push_back(std::move(c));
        }
        auto as_row = [](grid_row& line) {
            // The first column (the time) is the printed label column.
            if (line.cells.empty()) return;
            line.label = line.cells.front().text;
            line.cells.erase(line.cells.begin());
        };
        as_row(head);
        rows.push_back(std::move(head));
        for (std::size_t k = 0;; ++k) {
            grid_row line;
            line.has_cells = true;
            bool any = false;
            for (std::size_t r = 0; r < d->grid.rows.size(); ++r) {
                const grid_row& row = d->grid.rows[r];
                grid_cell c;
                c.kind = cell_short_text;
                if (row.has_cells && k < row.cells.size()) {
                    c.text = grid_cell_text(row, row.cells[k]);
                    any = true;
                } else if (!row.has_cells && k + 1 < fields[r].size()) {
                    c.text = fields[r][k + 1];
                    any = true;
                }
                line.cells.push_back(std::move(c));
            }
            if (!any) break;
            as_row(line);
            rows.push_back(std::move(line));
        }
    }
    const std::string title = d->title;
    const font_spec font = d->font.spec;
    d->printing = true;
    HDC dc = start_text_print(title.c_str(), &font);
    if (dc) {
        print_lines_layout(pitch, rows, title);
        end_text_print();
    }
    if ((d = data_of(record)) != nullptr) d->printing = false;
    return dc ? 1 : 0;
}

const grid_rows* spread_rows(handle record) {
    grid_data* d = data_of(record);
    return d ? &d->grid : nullptr;
}
grid_kept_axis* spread_kept_axis(handle record) {
    grid_data* d = data_of(record);
    return d ? &d->axis : nullptr;
}
void spread_selection(handle record, int* row, int* start, int* end) {
    grid_data* d = data_of(record);
    *row = d ? d->sel_row : -1;
    *start = d ? d->sel_start : 0;
    *end = d ? d->sel_end : 0;
}
int spread_line_height(handle record) {
    grid_data* d = data_of(record);
    return d ? d->font.line_height : 0;
}
int spread_top(handle record) {
    grid_data* d = data_of(record);
    return d ? d->top : 0;
}
int spread_first_tab(handle record) {
    grid_data* d = data_of(record);
    return d ? d->first_tab : 0;
}
int spread_tab_width(handle record) {
    grid_data* d = data_of(record);
    return d ? d->tab_width : 0;
}

LRESULT spread_window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    handle record = static_cast<handle>(GetWindowLongPtr(w, 0));
    grid_data* d = record ? data_of(record) : nullptr;
    if (!d) return DefWindowProc(w, m, wp, lp);
    switch (m) {
    case WM_PAINT:
        paint(w, *d);
        return 0;
    case WM_SIZE:
        set_scrolls(w, *d);
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    case WM_VSCROLL:
        scroll(w, *d, SB_VERT, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_HSCROLL:
        scroll(w, *d, SB_HORZ, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_LBUTTONDOWN: {
        outwin_press(w, record, lp, &d->selecting);
        const int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
        d->sel_row = -1;
        d->sel_start = d->sel_end = 0;
        d->anchor = -1;
        if (d->grid.columns_layout) {
            // A column's label line: the row of that column.
            const int r = x < d->first_tab ? -1 : (x - d->first_tab) / d->tab_width + d->first_cell;
            if (y / d->font.line_height + d->top == 0 && r >= 0 && r < row_count(*d)) {
                const std::string first = grid_label_fields(d->grid.rows[r].label).front();
                d->sel_row = r;
                d->sel_start = 0;
                d->sel_end = static_cast<int>(first.size());
            }
        } else {
            const int r = y / d->font.line_height + d->top;
            if (r >= 0 && r < row_count(*d)) {
                const std::string& label = d->grid.rows[static_cast<std::size_t>(r)].label;
                const int at = offset_in_label(*d, d->grid.rows[static_cast<std::size_t>(r)], x);
                if (at >= 0) {
                    int s, e;
                    find_name_extent(label, at, static_cast<int>(label.size()), &s, &e);
                    // A name across a tab selects nothing.
                    if (e > s &&
                        label.substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s))
                                .find('\t') == std::string::npos) {
                        d->sel_row = r;
                        d->sel_start = s;
                        d->sel_end = e;
                        d->anchor = at;
                    }
                }
            }
        }
        InvalidateRect(w, nullptr, TRUE);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (d->selecting && (wp & MK_LBUTTON) && d->sel_row >= 0 && d->anchor >= 0 &&
            !d->grid.columns_layout) {
            const grid_row& row = d->grid.rows[static_cast<std::size_t>(d->sel_row)];
            const int at = offset_in_label(*d, row, static_cast<short>(LOWORD(lp)));
            if (at >= 0 && at != d->anchor) {
                d->sel_start = std::min(at, d->anchor);
                d->sel_end = std::max(at, d->anchor);
                InvalidateRect(w, nullptr, TRUE);
            }
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!outwin_release(w, record, lp, &d->selecting)) return 0;
        if (d->sel_row >= 0) d->last_row = d->sel_row;
        if (d->sel_row >= 0 && d->sel_end > d->sel_start) {
            const std::string& label = d->grid.rows[static_cast<std::size_t>(d->sel_row)].label;
            std::string sel =
                d->grid.columns_layout
                    ? grid_label_fields(label).front()
                    : label.substr(static_cast<std::size_t>(d->sel_start),
                                   static_cast<std::size_t>(d->sel_end - d->sel_start));
            d->sel_row = -1;
            InvalidateRect(w, nullptr, TRUE);
            // Making the workbench variable may rerun a tool into this window.
            select_var_text(sel.c_str(), 0, static_cast<int>(sel.size()));
        }
        return 0;
    }
    case WM_KILLFOCUS:
        return 0;
    default:
        return outwin_default_proc(w, record, m, wp, lp,
                                   {.copy = spread_copy,
                                    .save = spread_save,
                                    .print = spread_print,
                                    .release = release_grid_data,
                                    .has_content = !d->grid.rows.empty(),
                                    .busy = d->printing});
    }
}

void install_grid_window() {
    spread_window_hook = spread_window_proc;
    tool_window_hooks.grid_has_selection = [](handle record) {
        grid_data* d = data_of(record);
        return d && d->last_row >= 0 && d->last_row < row_count(*d) && !d->grid.columns_layout;
    };
    const report_sink grid_sink{grid_sink_line};
    set_report_sink(report_grid, &grid_sink);
}
