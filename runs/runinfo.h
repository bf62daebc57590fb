// What the Datasets page tells about a run: its origin, the command line and
// comment of its information block, its payoff. Read from a loaded run's
// record, or from a run file's header and information block alone (the
// file is closed again on every way out; a damaged or foreign file gives
// false and no message).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct run_file_info {
    char type = 0;
    std::string origin; // the header's name field
    bool has_info = false;
    std::string command_line;
    std::string comment; // "" when none
    float payoff = 0;
};

bool loaded_run_info(int run, run_file_info& out);
bool read_run_file_info(const char* path, run_file_info& out);
// The same over a file's first bytes (the header, then the block).
bool parse_run_file_info(const std::uint8_t* data, std::size_t size, run_file_info& out);

// "Information about run %s\n", "Origin: %s\n", "Command line: %s\n" and
// "Comment: %s\n" when the run has them, "Payoff = %g\n" for a run other than
// 'A' with a payoff; the final line break dropped.
std::string run_info_message(const char* name, const run_file_info& info);
