// Text sources: files, package members or arrays of lines read line by line.
// At most 5 sources are open at once; the innermost one is current.
//
// Lines are read whole up to max_line_bytes. A line end is CR LF, LF or a
// lone CR; read_line gives it as one "\n" (a last line without one gets
// none). A file holding a NUL byte is not text: reading it ends there with a
// message, as it does at a longer line or a failed read (text_source_refused
// tells a caller that must not take what was read as the whole file).
#pragma once

#include <cstddef>
#include <string>

// The current line of the current text source (with its line end) and the
// cursor into it. line_buf is never null; it is "" before the first read.
// One buffer serves every source and ini_get; it grows for long lines, and a
// pointer taken into an older, smaller buffer stays readable (its text is
// stale).
extern char* line_buf;
extern char* line_pos;

inline constexpr int max_text_sources = 5;
// The longest line (also lines joined by continuation) a file may hold; a
// longer one ends the reading of that file (see text_source_refused).
inline constexpr std::size_t max_line_bytes = std::size_t{16} << 20;

// Opens a file (a package member first, as fh_open_read) as the current
// source, reading from byte_offset. 1 open, 0 failed (no such file or one
// that is not a regular file, errno saying why as for fh_open_read; a bad
// offset; or "Tried to open too many files at the same time", severity 5).
int open_text_source(const char* file_name, int unused, long byte_offset);
// Makes an array of line texts the current source. Each text is one line,
// unless it holds line ends of its own, which split it further. count < 0: the
// array ends at its first null. in_place: the texts are read where they are
// (the caller keeps them until the source is closed); else they are copied.
// 1 pushed, 0 refused (too many sources).
int push_text_source(const char* const* lines, int count, int in_place);
// Closes the current source; the enclosing one becomes current. line_buf
// keeps the last line read.
void close_text_source();
// Closes every source (recovery after an unwind).
void close_all_text_sources();
// Reads the next line into line_buf and points line_pos at it. continuation
// non-zero appends the line to the text already in line_buf instead. 1 a line,
// 0 the end (line_buf unchanged). The end comes early, after a message
// (severity 5) naming the file and the line, when the file holds a NUL byte,
// a line longer than max_line_bytes, or cannot be read further.
int read_line(int continuation);
// 1 when the current source ended early that way (see read_line): what was
// read of it is not the whole file. 0 otherwise (also for line arrays).
int text_source_refused();
// How many reads of the current source found its end so far (0 for none):
// a reader that hands the source to others can tell that they ran out of
// lines, as the reader of a file cut short does.
long text_source_ends_met();
// The next line, without its line end, with every line that ends in
// continuation_char (blanks after it ignored) joined to the next one without
// that character; skip_blank skips lines of only white space. 1 a line, 0 the
// end. continuation_char 0: no joining.
int read_joined_line(int skip_blank, int continuation_char);
// Copies text into line_buf (growing it) and points line_pos at it.
void line_buf_assign(const char* text);

// The name of the current source ("" for lines or none) and the number of its
// last line read (1-based; 0 before the first); used by parse_error.
const char* text_source_name();
long text_line_number();
int text_source_depth();

// ----------------------------------------------------------- parse errors ---

// Reports, then shows the current text source line with a caret under the
// column (0-based offset into line_buf) and "Line %ld of file %s", all as one
// message so a stop or fatal error still carries its line.
int parse_error(int severity, int column, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The caret line under a source line: tabs before the column kept as tabs so
// the caret lines up however tabs are shown; a column past the end puts the
// caret just after the text.
std::string parse_error_caret(const char* source_line, int column);
