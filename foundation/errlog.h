// The error log "kavrel.err": every logged message is appended to it.
#pragma once

#include <cstdio>

// The stream of the open error log, null while it is closed.
extern std::FILE* err_log_stream;

// error_log(2) creates "kavrel.err" with its banner (program directory, else
// the system directory, else the temporary directory) and leaves the stream
// open; 1 opens one more level for appending; 0 closes one level of opening;
// -1 opens the existing log for reading (reports then append by reopening the
// file). Returns 1 on success, 0 when no log could be made or opened.
// While the stream is closed, each logged message is appended to the file.
int error_log(int mode);
// The path of the error log made by error_log(2) ("" before).
const char* error_log_path();
// Directories error_log(2) tries, in order (set at start-up; tests point them
// at temporary folders). A null argument restores the default: the folder of
// the executable, and $XDG_CONFIG_HOME/kavrel (else $HOME/.config/kavrel).
// The temporary directory is $TMPDIR, else /tmp.
void set_log_directories(const char* program_dir, const char* system_dir);
