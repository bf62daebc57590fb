// The Runs Compare tool: compares the first two selected runs class by class
// (runs/compare.h) and writes the differences into a text window titled
// after the two runs.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>

// The option block (60 bytes). Bytes 54 and 55 are kept in the tool set file
// but not used; 56, 58 and 59 are not saved.
struct runs_compare_options {
    float rel; // relative tolerance
    float abs; // absolute tolerance
    font_spec font;
    std::uint8_t levels;
    std::uint8_t auxiliaries;
    std::uint8_t data;
    std::uint8_t initials;
    std::uint8_t constants;
    std::uint8_t lookups;
    std::uint8_t unused54;
    std::uint8_t unused55;
    std::uint8_t spare56;
    std::uint8_t game_inputs;
    std::uint8_t spare58[2];
};
static_assert(sizeof(runs_compare_options) == 60);

// The row's setup (tool-setup protocol of shell/toolset.h) and its action.
int compare_tool_setup(int mode, handle tool, std::string* out, const char* text);
void compare_tool_run(handle tool);

// Before the first text of a comparison: opens the comparison window when
// there is none (titled after the two runs) and prints the pending class
// heading once.
void compare_header(const char* name1, const char* name2);

// The comparison window now written to (0 when none or forgotten).
handle compare_window();

// Installs the setup in the tool table and follows the closing of text
// windows (so a closed comparison window is forgotten).
void install_runs_compare();
