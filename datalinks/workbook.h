// Spreadsheet files read into one plain in-memory workbook: the cells' cached
// values (numbers, texts, booleans, errors) and the defined names, for the
// data and constant equations. .xlsx and .ods through liborcus (our own
// import factory: no formula engine), .xls through libfreexl (in a child
// process), .wk1 by our own record reader, .csv and .tab/.txt by our own
// delimited-text reader as one sheet named after the file.
//
// Every reader bounds what it keeps: cells within kMaxRows x kMaxColumns, at
// most kMaxCellSlots stored cells, zip archives checked for sizes and ratios
// before anything is inflated, shared-string indexes checked. A bad file gives
// 0 and a reason; nothing of it is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sheets {

constexpr std::int64_t kMaxRows = 1048576;
constexpr std::int64_t kMaxColumns = 16384;
constexpr std::size_t kMaxCellSlots = std::size_t{16} << 20;     // stored cells, empty ones too
constexpr std::uint64_t kMaxInflated = std::uint64_t{512} << 20; // a zip's parts, uncompressed
constexpr std::uint64_t kMaxRatio = 200;                         // per zip part over 1 MiB

enum class cell_kind : std::uint8_t { empty, number, text, boolean, error };

struct cell {
    cell_kind kind = cell_kind::empty;
    std::uint32_t text = 0; // index into workbook::texts (text and error cells)
    double number = 0;      // number and boolean cells (1 or 0)
};

struct sheet {
    std::string name;
    std::vector<std::vector<cell>> rows; // rows[r][c], 0-based; short rows end early
    std::int64_t used_rows() const { return static_cast<std::int64_t>(rows.size()); }
    std::int64_t used_columns() const;
    const cell* at(std::int64_t row, std::int64_t col) const; // null outside the used cells
};

// A named rectangle, 0-based and inclusive. A name may be the workbook's
// (scope -1) or one sheet's (scope: that sheet), and two sheets may each
// have their own of the same name.
struct named_range {
    int sheet = 0;
    std::int64_t row0 = 0, col0 = 0, row1 = 0, col1 = 0;
    int scope = -1;
    std::string spelled; // the name as the file writes it (the key is upper-case)
};

enum class file_kind { xlsx, ods, xls, csv, tab, wk1, unknown };

struct workbook {
    std::vector<sheet> sheets;
    std::vector<std::string> texts;
    std::multimap<std::string, named_range> names; // upper-case keys, one per scope
    std::size_t slots = 0;                         // cells stored so far

    int find_sheet(std::string_view name) const; // case-insensitive; -1 if none
    // A name as seen from a sheet: that sheet's own first, then the
    // workbook's, then (none of either) another sheet's. -1: no sheet.
    const named_range* find_name(std::string_view name, int from_sheet = -1) const;
    // Adds a name (kept as spelled, found without regard to case); a second
    // one of the same name and scope is ignored.
    void add_name(std::string_view name, named_range r);
    // Stores a cell; false (the reason in why) outside the limits.
    bool put(int sheet, std::int64_t row, std::int64_t col, const cell& c, std::string* why);
    std::uint32_t add_text(std::string_view s);
};

file_kind kind_of_path(std::string_view path); // by the extension, case-insensitive

// Reads a file; 1 with book filled, 0 with a reason (naming no file) in why.
int read_workbook(const std::string& path, workbook* book, std::string* why);

// The readers of untrusted libraries run in a forked child. A thread that
// forks while another thread is inside the allocator can leave the child
// waiting on a lock nobody will release (seen under the address sanitizer
// while the interface thread drew its "Opening" panel), so the fork is made
// holding this gate, and a thread that waits for such a reader holds it
// whenever it does anything but sleep.
std::recursive_mutex& reader_fork_gate();
// Reads bytes of a known kind (xls goes through a temporary file: its
// library reads files only). sheet_name names the one sheet of .csv, .tab and
// .wk1 data.
int read_workbook_bytes(std::string_view bytes, file_kind kind, std::string_view sheet_name,
                        workbook* book, std::string* why);

// Checks a zip archive's directory before any part is inflated: every count,
// offset and length within the file, the parts' total and ratios in bounds.
bool check_zip(std::string_view bytes, std::string* why);

// An .xlsx or .ods archive as the import library reads it right: every part
// inflated and checked, parts cut short refused, folded rows, absolute part
// names, inline strings, error cells and numbers no double holds mended.
// Empty with the reason in why. (read_workbook_bytes does this itself.)
std::string mend_archive(std::string_view bytes, file_kind kind, std::string* why);

// "A" .. "XFD" for 1-based columns 1 .. 16384; "" outside.
std::string column_letters(std::int64_t column);
// Parses a cell reference "ABC12" (letters then digits, case-insensitive)
// into 1-based row and column; false for anything else (a name).
bool parse_cell_ref(std::string_view text, std::int64_t* row, std::int64_t* column);
// Parses "Sheet!$A$1:$B$3", "$Sheet.$A$1:.$B$3", "A1" and the like into a
// range; sheet_out gets the sheet part (without quotes), empty if none.
bool parse_range_ref(std::string_view text, std::string* sheet_out, named_range* out);

} // namespace sheets
