// The text report writer: one current report, written with docprintf into a
// line that is wrapped at the report's width and handed, line by line, to the
// report's destination: nowhere, a grid window, a text window, a file, or (for
// the equation writer) a list that collects the variables it names.
//
// The windows belong to later subsystems; they register a report_sink, so
// this layer needs no window. Every finished line is also kept in memory
// (report_lines, join_report_lines) until the next report begins.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/types.h"

// ----------------------------------------------------------- destinations ---

// Destination kinds of text_report.
enum : int {
    report_none = 0,    // lines are only kept in memory
    report_grid = 1,    // a grid window (destination: its record handle)
    report_text = 2,    // a text window (destination: its record handle)
    report_file = 3,    // a stream (destination: the FILE*)
    report_collect = 4, // the equation writer collects variable names
};

// Destinations of doc_begin, numbered as its callers number them.
enum : int {
    doc_to_collect = 0,
    doc_to_text = 1,
    doc_to_grid = 2,
    doc_to_file = 3,
};

// How finished lines reach a window kind; registered by the subsystem that
// owns those windows. add_line gets the line without its line feed; follow
// asks the window to scroll so the new line shows.
struct report_sink {
    void (*add_line)(handle record, const char* line, int follow);
};
// Registers (or, with null, removes) the sink of report_grid or report_text.
// The sink is copied.
void set_report_sink(int kind, const report_sink* sink);

// Points the report writer at a destination. line_buffer_size is the size the
// caller expects a line to need (kept for doc_buffer_size; a longer line
// simply grows); line_width is the wrap width (0: no wrapping); indent becomes
// out_indent; kind is one of the report_ kinds; destination a record handle
// or, for report_file, the stream cast to uintptr_t; continuation 1 ends every
// line cut by wrapping with a backslash (model-text continuation), 0 not.
// A line still pending for the previous destination is finished there first;
// the kept lines and the compact mode are cleared.
void text_report(int line_buffer_size, int line_width, int indent, int kind,
                 std::uintptr_t destination, int continuation);
// text_report for a stream.
void text_report_stream(int line_buffer_size, int line_width, int indent, std::FILE* stream,
                        int continuation);
// Begins a report: width is the line buffer size, wrap the wrap width,
// destination one of the doc_to_ values, target its record handle or stream
// (cast to uintptr_t), flag the windows' follow flag. out_indent becomes 0.
// doc_begin(256, 70, 0, doc_to_text, window, 0) is the usual text-window report.
void doc_begin(int width, int wrap, int continuation, int destination, std::uintptr_t target,
               int flag);

// Saves the current report (destination, widths, pending line, kept lines,
// indent, compact mode) and restores it; for a writer that must write a
// report of its own in the middle of another's (the error window). Pairs
// nest; a pop without a push does nothing.
void doc_push();
void doc_pop();

// ---------------------------------------------------------------- writing ---

// The indentation of each new line: n >= 0 starts it with n blanks, n < 0
// with -n tabs. Applied when the first character of a line is written, so a
// change between writes takes effect from the next line on.
extern int out_indent;

// The compact mode: 0 normal; 2 every run of blanks, tabs and line feeds
// written becomes one blank (none at the start of a line); 1 such white
// space is kept (as one blank) only between two name characters (letters,
// digits, '_', '$', '.', '\'', '"' and Latin-1 letters). Line feeds end no line
// while it is set.
extern std::uint8_t doc_compact;

// printf into the current line. Each line feed ends the line; a line that
// passes the wrap width is cut at its last blank or tab (the blanks at the cut
// dropped; blanks and tabs before the line's first word are never a cut) or,
// when it has none, at the width; the rest goes on in a line that starts with
// the indent and one tab. Widths count characters, a tab as one (the windows
// expand tabs by their own tab stops); carriage returns are dropped. Returns
// the number of characters formatted.
int docprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int vdocprintf(const char* format, va_list args);
// Writes a text as it is (no format).
void doc_puts(const char* text);
// Finishes a pending partial line (as a line feed would).
void doc_flush();

// The report's settings and the state of the current line.
int doc_wrap_width();
int doc_buffer_size();
int doc_kind();
int doc_column();                      // columns used by the current line
const std::string& doc_current_line(); // the line being written, indent included

// Writes a text through the report: whole when it fits in the wrap width from
// the start column; otherwise cut at the last blank or tab that fits (or, when
// none fits, at the first one after, or not at all), the blanks after a cut
// skipped, each piece but the last followed by a line feed (a backslash and a
// line feed with cont_flag) and the given number of tabs; continuation pieces
// count as starting at column 10. This is the writer doc_multiline uses unless
// the model store registers its own.
void write_wrapped_default(int start_column, const char* text, int tabs, int cont_flag);
using wrapped_writer = void (*)(int start_column, const char* text, int tabs, int cont_flag);
void set_wrapped_writer(wrapped_writer writer); // null: write_wrapped_default

// Writes a multi-line text one stored line at a time (split at line feeds,
// carriage returns dropped): each through the wrapped writer (start column
// 0, indent tabs, flag), then a line feed and indent tabs. Null or "" writes
// nothing.
void doc_multiline(const char* text, int indent, int flag);

// --------------------------------------------------------- collected names ---

// True while the report collects names (report_collect / doc_to_collect):
// the equation writer then calls doc_collect_name for every variable it names.
bool doc_collecting();
// Adds a variable (each symbol once, in the order first named); the caller
// reads the list when its report is written. Ignored while not collecting.
void doc_collect_name(std::uint32_t symbol);
const std::vector<std::uint32_t>& doc_collected_names();
void doc_clear_collected();

// ------------------------------------------------------------ kept lines ---

// The finished lines of the current report, without line feeds.
const std::vector<std::string>& report_lines();
void clear_report_lines();
// The kept lines and the pending partial line joined into one scratch string:
// mode 1 ends each line with a line feed (the partial line has none), mode 0
// joins them with one blank.
char* join_report_lines(int mode);

// True when a write to the report's stream failed (reported once, severity 5).
bool doc_write_failed();

// ----------------------------------------------------------- shared buffer ---

// The shared input buffer (one bit per item for the run readers).
extern std::uint8_t* io_buf;
extern std::size_t io_buf_size;
// Makes io_buf hold at least (n - 1) / 8 + 1 bytes (1 for n = 0); it never
// shrinks, keeps its contents, and zero-fills what it gains.
void size_shared_buffer(std::size_t n);
