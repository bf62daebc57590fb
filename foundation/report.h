// The one message function and its display hook; the log file it writes to
// is the error log's (errlog.h).
//
// Every message goes through report(severity, format, ...). Severities:
// 0 plain, 1 continuation, 2 use flag, 3 warning, 4 not defined, 5 error,
// 6 note, 7 caution, 8 stop, 9 fatal (unwinds to the program level),
// 10 internal error; a negative severity counts as 10.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

// ------------------------------------------------------------- unwinding ---

// Thrown by report(9): caught at the program-level recovery point.
struct fatal_unwind : std::runtime_error {
    explicit fatal_unwind(const std::string& text) : std::runtime_error(text) {}
    int code = 9;
};
// Thrown by report(8) while a run file is being written (writer_depth > 0):
// caught by the run-file writer, which ends the write.
struct writer_unwind : std::runtime_error {
    explicit writer_unwind(const std::string& text) : std::runtime_error(text) {}
};
// Thrown by the engine's fatal errors inside a running simulation: caught by
// the time loop, which ends the run and keeps what was computed.
struct run_unwind : std::runtime_error {
    explicit run_unwind(const std::string& text, std::uint32_t equation_cell = 0)
        : std::runtime_error(text), equation(equation_cell) {}
    // The cell of the equation being computed (0: none), shown under the
    // message in the error window.
    std::uint32_t equation = 0;
};

// Depth of run-file writers in progress; raised by writer_guard.
extern int writer_depth;
struct writer_guard {
    writer_guard() { ++writer_depth; }
    ~writer_guard() { --writer_depth; }
    writer_guard(const writer_guard&) = delete;
    writer_guard& operator=(const writer_guard&) = delete;
};

// ---------------------------------------------------------------- report ---

// Counts the message, drops it under the options below, writes it with its
// prefix to the redirected stream or the error log, then hands it to the
// message hook. Returns the hook's answer when it gave one, else the severity;
// 0 when the message was dropped. Severity 9 throws fatal_unwind, severity 8
// throws writer_unwind while writer_depth > 0 (both after logging and showing).
// A severity above 10 counts as 10, like a negative one.
int report(int severity, const char* format, ...) __attribute__((format(printf, 2, 3)));
int vreport(int severity, const char* format, va_list args);

// Formats into a string sized from the arguments (one pass to measure, one to
// write, each on its own copy of args), so no text is ever cut. A null or
// failing format gives "".
std::string format_text(const char* format, va_list args);

// Messages counted per severity (index 0..10) since the last reset.
extern std::int32_t report_counts[11];
void reset_report_counts();

// The 13-character log prefix of a severity ("WARNING:     ").
const char* severity_prefix(int severity);
// The message-box caption of severity 6..10 ("Stop from Kavrel"); "" below 6.
const char* severity_caption(int severity);
inline constexpr const char* question_caption = "Question from Kavrel";

// Options that drop messages: below 6 while Livesweep is on or while the
// message level is above 10; warnings while the message level is non-zero.
extern bool report_livesweep_on;
extern int report_message_level;

// Where messages go besides the log. The shell installs a hook that shows
// severities 6 and above in a message box and lower ones in the error or text
// window; kind is the severity, or one of the question kinds below; caption is
// severity_caption(kind) ("" below 6) or question_caption; text is the message
// without its prefix. The hook's result is the answer (IDYES 6, IDNO 7,
// IDCANCEL 2, IDOK 1), 0 for none.
enum : int { question_yes_no = 100, question_yes_no_cancel = 101, question_ok_cancel = 102 };
using message_hook = int (*)(int kind, const char* caption, const char* text);
void set_message_hook(message_hook hook);
message_hook current_message_hook();
// Asks a question through the hook; without a hook the default answer.
int ask_question(int kind, const char* text, int default_answer);

// A redirected output stream takes the log lines in place of the log file
// while it is set (null: none).
void set_report_stream(std::FILE* stream);

// Set while the error window collects messages: 0 off, -1 collecting.
extern int err_window_on;

// Where logged lines go while no stream is redirected: the error log installs
// its writer when it is first opened. Null: logged lines are not kept.
using log_line_writer = void (*)(const std::string& line);
void set_log_line_writer(log_line_writer writer);
// Logs a message line with its severity's prefix, as the reporter does (for
// messages a sink took that must still reach the log).
void log_message(int severity, const char* text);

// Keeps a copy of the error window's title for the next run.
void set_error_title(const char* title);
const char* error_title();
