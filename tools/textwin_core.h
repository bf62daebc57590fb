// The text window's parts that need no window: the line store, splitting of
// appended text into lines, the view's follow rule and the extent of the
// name under a position. Kept apart so they can be tested with fixed metrics.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The lines of a text window, one after another, each ended by a line feed.
class text_lines {
public:
    // Appends text split at line feeds: each line feed ends a line, a final
    // one adds no empty line after it; an empty text adds one empty line. A
    // carriage return before a line feed is dropped and NUL bytes become
    // blanks, so the store stays a C string. Returns the lines added.
    int append(std::string_view text);
    int lines() const { return static_cast<int>(starts_.size()); }
    // Line i without its line feed ("" outside the store).
    std::string_view line(int i) const;
    std::size_t line_start(int i) const;
    // The line holding a byte offset (the last line past the end).
    int line_of(std::size_t offset) const;
    const std::string& text() const { return text_; }
    std::size_t bytes() const { return text_.size(); }

private:
    std::string text_;
    std::vector<std::size_t> starts_;
};

// The text with each line feed written as carriage return plus line feed
// (the clipboard's form).
std::string crlf_text(std::string_view text);

// The horizontal scroll step: 5 widths of "M", at least 1 pixel.
int text_step(int m_width);

// What the window shows: the first visible line, how many fit, the
// horizontal position in steps and the longest line in steps.
struct text_view {
    int top = 0;
    int visible = 1;
    int hpos = 0;
    int longest = 0;
};

// How an append changes the view.
enum class follow_result {
    band,     // everything fits: only the new line's band is redrawn
    scrolled, // the view was at the end: it moved down one line
    kept,     // the view was elsewhere: it stays
};
// Follows the end after one line was appended (lines: the count after it).
follow_result follow_append(text_view& view, int lines);
// Keeps top within the lines (so the last page is full when it can be).
void clamp_view(text_view& view, int lines);

// The extent of the variable name at position pos of text (looking no
// further than limit): the span between the tabs, line feeds or carriage
// returns around pos, blanks trimmed; inside it a quoted name runs to its
// closing double quote (a backslash escapes one), a name between "#"
// characters is taken whole, other names are letters, digits, blanks and
// underscores, and "[" after a name adds its subscripts up to "]". start ==
// end when pos is not on a name.
void find_name_extent(std::string_view text, int pos, int limit, int* start, int* end);
