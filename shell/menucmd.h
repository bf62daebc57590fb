// The menu command dispatcher: every command of the workbench's own menus and
// accelerators (ids 501 to 599), and help.
#pragma once

#include <string>

// Carries out a command; 1 in every case. Ids 535, 582 and 583 go on to the
// current build window; ids this edition does not serve answer "Sorry not
// available in Kavrel Player configuration".
int menu_command(int id);
// Whether menu_command serves an id itself (not "not available").
bool menu_command_served(int id);
// Severity 8 "Sorry not available in Kavrel Player configuration".
void not_available(int id);
// -1 closes help, 1 opens the release notes ("readme.hlp"), any other value
// the instructions ("kavread.hlp"), from the "help" folder beside the program.
void help(int mode);

// The File commands the active window serves (Close, Save, Save As, Publish,
// Print) when no window takes them: Close closes the model after the
// questions of New Model; the others go to the model's diagram when it is
// open, else Save, Save As and Publish answer as the diagram does (the
// viewer writes no model) and Print says there is nothing to print.
void file_command(int id);
// Exit, and closing the main window: the outermost loop level ends, after
// which the exit checks decide. During a run the run is stopped first (the
// engine asks whether to keep the results so far), so the program does not
// wait for the whole run before it ends.
void exit_command();

// Opens a model as the shell does: open_model, then the recent models, the
// title and the bottom bar follow. 1 on success.
int shell_open_model(int mode, int flags, const char* name, int open_flags);

// What the last attempt to open a named model came to, known before the
// failure's message box is shown (a client asking by DDE need not wait for
// the user): serial counts the attempts; reason is what the box says.
struct open_outcome {
    unsigned serial = 0;
    bool opened = false;
    std::string path;
    std::string reason;
};
const open_outcome& last_open_outcome();

// The pending open request of the DDE server's FileOpen: the next Open Model
// command takes its name (and, with kind above 1, its flags) instead of
// asking. kind 0 clears it.
void set_pending_open(int kind, const char* name, int open_flags);

// Addresses of the Online Forum and Newer Releases commands (the second with
// the version text in its query).
extern const char* const forum_url;
std::string releases_url();
