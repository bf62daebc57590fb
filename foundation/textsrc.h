// Text sources: files, package members or arrays of lines read line by line.
// At most 5 sources are open at once; the innermost one is current.
#pragma once

#include <cstddef>

// The current line of the current text source (with its line end) and the
// cursor into it. line_buf is never null; it is "" before the first read.
extern char* line_buf;
extern char* line_pos;

int open_text_source(const char* file_name, int unused, long byte_offset); // 1 open, 0 failed
int push_text_source(const char* const* lines, int count, int in_place);    // 1 pushed
void close_text_source();
int read_line(int continuation);                           // 1 line, 0 end
int read_joined_line(int skip_blank, int continuation_char); // 1 line, 0 end

// The name of the current source ("" for lines or none) and the number of its
// last line read (1-based; 0 before the first); used by parse_error.
const char* text_source_name();
long text_line_number();
int text_source_depth();
