// The error window: the text window that collects messages below severity 6
// while a run collects them (err_window_on), installed as the shell's sink of
// low messages.
#pragma once

#include "foundation/types.h"

#include <cstddef>

// The error window's record: 0 none, -1 truncated (further messages go only
// to the log until collection stops).
extern handle err_window;
inline constexpr handle err_window_truncated = static_cast<handle>(-1);
// The window that collects a game's messages, reused turn after turn (0
// none): the error window opened while a game runs becomes it.
extern handle msg_window;
// A text window that also shows the messages below severity 6 while the error
// window does not collect them (0 none): set by a tool around its work.
extern handle message_text_window;
// Past this many bytes the window gets its truncation line and no more.
inline constexpr std::size_t error_window_limit = 120000;
inline constexpr const char* error_truncated_line =
    "TRUNCATED Excessive error window output truncated - see .log file";

// Writes "prefix text" to the error window, opening it when needed.
void show_error_window(int severity, const char* prefix, const char* text);
// Writes an equation under the error window's last line, in model-text
// syntax wrapped at 60 characters: the equation
// whose error that line reports. The model must be locked with its nodes.
// Nothing is written while no error window collects. (Error windows here
// never belong to a source record, so no line reference is kept.)
struct equation_record;
void add_error_line_ref(equation_record* e);
// The low-message sink: takes the message while collection is on.
bool error_window_sink(int severity, const char* prefix, const char* text);
// The text windows tell it a record is going (clears err_window).
void error_window_record_gone(handle record);

// Installs the text window's procedure and the error window as the shell's
// sink of low messages (call once at start-up, after install_tools_hooks).
void install_text_hooks();
