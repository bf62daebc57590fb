// The error log read as the History window shows it: any bytes, lines of any
// length. Needs no window, so that it can be tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline constexpr int history_line_limit = 512;

// Turns the bytes of a log into shown lines, a piece at a time, so that a log
// that grows can be followed: a line is cut at history_line_limit characters,
// a carriage return before its line feed is dropped and other control
// characters but tab become blanks. Bytes after the last line feed are shown
// as a last line, which the next piece completes (it is replaced then).
// Feeding a log in any pieces gives the lines of feeding it whole.
class history_reader {
public:
    void take(const char* data, std::size_t size, std::vector<std::string>* lines);
    // Reads a stream to its end; false when reading failed.
    bool take_stream(std::FILE* f, std::vector<std::string>* lines);
    // Bytes taken so far.
    std::uint64_t taken() const { return taken_; }
    void reset();

private:
    std::string pending_; // the start of the line after the last line feed
    bool pending_cut_ = false;
    bool pending_shown_ = false;
    std::uint64_t taken_ = 0;
};

// Reads the lines of a log file as the window shows them; false when the
// file cannot be opened or read.
bool read_history_lines(const char* path, std::vector<std::string>* lines);
