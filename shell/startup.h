// The program's whole life: defaults, the error log and the settings file,
// the window classes, the command line, the first model, the main loop with
// its exit checks, the program-level recovery and the teardown.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

// The program entry (main calls it with its arguments after the program's
// name, as a list; see parse_start_arguments): checks that a display
// can be reached, makes the application object, runs init_and_run and tears
// the user interface down. The process's exit status: 0 after a normal exit,
// 2 when the program could not start (arguments it cannot take, no display,
// no error log, no window classes), 3 after a fatal message. "--help" and
// "--version" print to stdout and return 0 without opening a window.
int kavrel_main(const std::vector<std::string>& arguments);

// Start-up, the main loop and the exit checks. 0 when the program could not
// start (nothing to tear down), -1 after a fatal message, 1 after a normal
// exit.
int init_and_run(HINSTANCE previous, const std::vector<std::string>& arguments);
// The error-log maker used by init_and_run (error_log; tests put a failing
// one in its place).
extern int (*make_error_log)(int mode);
// The teardown after init_and_run (windows, classes, globals, memory).
void shutdown_ui();

// The program's arguments (after the program's name), taken as a list: a
// first argument ending in ".ini" (any case) names the settings file; an
// argument "-N" starts with no model; "--help" (or "-h") and "--version" ask
// for the usage or the version; the others name the model, either as one
// argument in double quotes (a "-N" right after its closing quote is the
// switch too) or, unquoted, as the arguments joined by blanks. Any other
// argument starting with "-" (and not looking like a file name, see
// looks_like_switch) is an unknown switch; several unquoted arguments that
// each name a model file (an existing file, or a name with a model file's
// extension) while their joined name is no file are more than one model.
// Both leave the reason in `error`.
struct start_arguments {
    std::string settings;  // the settings file ("": the default)
    std::string name;      // the model ("": none given)
    bool no_model = false; // "-N": no model, the settings not consulted
    bool help = false;     // "--help" or "-h": the usage on stdout
    bool version = false;  // "--version": the version on stdout
    std::string error;     // why the arguments cannot be taken ("" when they can)
};
start_arguments parse_start_arguments(const std::vector<std::string>& args);
// Whether an argument is meant as a switch: "-" followed by something that is
// not a file name (no "." and no "/"), or anything starting with "--".
bool looks_like_switch(const std::string& argument);
// The usage text (several lines, ending in a newline).
std::string usage_text();

// Which model the start-up opens: the command line's, else the one-shot
// "Model" setting (emptied and written at once; "StartEmpty" then may veto
// the opening), else "kavread.kmf" in the current directory when it exists.
// "" for none.
std::string startup_model_name(const start_arguments& args);

// Start-up values of settings whose pages and windows read them (the
// settings rows then overwrite what the settings file holds). The rest of the
// defaults live with their owners: the option block (opt_block), the
// tooltip's hide time, the run-file overwrite question.
struct start_defaults {
    char second_face[32] = "Courier"; // second face of the graph and text fonts
    std::int32_t tab_width = 5;       // tab stops of text output, in characters
    // Livesweep on the Scaling page: colour the swept lines, include 0 in
    // the scale, and room for this many times the points of a run.
    std::uint8_t livesweep_colorize = 1;
    std::uint8_t livesweep_include_zero = 1;
    float livesweep_buffer_mult = 2.0f;
    // "Horizontal Divisions" and "Vertical Divisions" of the Scaling page.
    std::int32_t horizontal_divisions = 4;
    std::int32_t vertical_divisions = 4;
    // The labels of the text editor's bottom-bar items: case-sensitive
    // search, search direction, entrainment, the line and the column.
    std::string text_edit_labels[5] = {"Case-Sen", "Backward", "No-entrain", "Line 00000",
                                       "Pos 000"};
};
extern start_defaults program_defaults;

// The defaults set before anything else; also makes writes past the file-size
// limit fail with a message instead of ending the program (SIGXFSZ ignored).
void set_defaults();

// The program-level recovery after a fatal message: the loop levels, the
// busy and modal counters and the dialog depth are reset, modal dialogs are
// destroyed and the workbench enabled again.
void recover_program_state();
// How many refusals of the exit checks after a fatal message are answered
// with "Non Recoverable error - do not cancel" before the program ends
// without saving.
inline constexpr int fatal_exit_rounds = 3;
