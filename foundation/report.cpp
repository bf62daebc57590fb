// The message reporter: counting, dropping, logging and showing messages.
#include "foundation/report.h"

#include <cstdlib>
#include <string>

int writer_depth = 0;
std::int32_t report_counts[11] = {};
bool report_livesweep_on = false;
int report_message_level = 0;
int err_window_on = 0;

namespace {

message_hook the_hook = nullptr;
std::FILE* redirect_stream = nullptr;
log_line_writer the_log_writer = nullptr;

std::string the_error_title;

constexpr const char* prefixes[11] = {
    "",
    "             ",
    "USE FLAG:    ",
    "WARNING:     ",
    "NOT DEFINED: ",
    "ERROR:       ",
    "PLEASE NOTE: ",
    "YIELD:       ",
    "STOP:        ",
    "FATAL ERROR KAVREL ABORTING\n             ",
    "PROGRAM ERROR PLEASE CONTACT TOLMERA\n             ",
};

constexpr const char* captions[11] = {
    "",
    "",
    "",
    "",
    "",
    "",
    "Message from Kavrel",
    "Caution from Kavrel",
    "Stop from Kavrel",
    "Fatal Error for Kavrel",
    "Kavrel Program Error",
};

int clamp_severity(int severity) {
    return (severity < 0 || severity > 10) ? 10 : severity;
}

// Writes one prefixed message line to the redirected stream or the log.
void write_log_line(int severity, const std::string& text) {
    std::string line = prefixes[severity];
    line += text;
    if (line.empty() || line.back() != '\n') line += '\n';
    if (redirect_stream) {
        std::fwrite(line.data(), 1, line.size(), redirect_stream);
        std::fflush(redirect_stream);
        return;
    }
    if (the_log_writer) the_log_writer(line);
}

} // namespace

std::string format_text(const char* format, va_list args) {
    if (!format) return {};
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n <= 0) return {};
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    va_list write;
    va_copy(write, args);
    std::vsnprintf(text.data(), text.size(), format, write);
    va_end(write);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// ---------------------------------------------------------------- report ---

const char* severity_prefix(int severity) {
    return prefixes[clamp_severity(severity)];
}

const char* severity_caption(int severity) {
    return captions[clamp_severity(severity)];
}

void reset_report_counts() {
    for (auto& c : report_counts) c = 0;
}

void set_message_hook(message_hook hook) {
    the_hook = hook;
}
message_hook current_message_hook() {
    return the_hook;
}
void set_report_stream(std::FILE* stream) {
    redirect_stream = stream;
}
void set_log_line_writer(log_line_writer writer) {
    the_log_writer = writer;
}

void log_message(int severity, const char* text) {
    write_log_line(clamp_severity(severity), text ? text : "");
}

int report(int severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = vreport(severity, format, args);
    va_end(args);
    return result;
}

int vreport(int severity, const char* format, va_list args) {
    severity = clamp_severity(severity);
    ++report_counts[severity];
    if (severity < 6 && (report_livesweep_on || report_message_level > 10)) return 0;
    if (severity == 3 && report_message_level != 0) return 0;

    std::string text = format_text(format, args);
#ifdef KAVREL_FUZZ_BUILD
    // In fuzz builds an internal error is a finding: stop where it was raised,
    // whatever the harness does with ordinary messages.
    if (severity == 10) {
        std::fprintf(stderr, "internal error: %s\n", text.c_str());
        std::abort();
    }
#endif

    // While the error window collects, the lower severities are listed there
    // instead of the log; notes, stops and fatal errors are still logged so
    // the log keeps every message that stopped the user.
    if (redirect_stream || err_window_on == 0 || severity >= 6) write_log_line(severity, text);

    int answer = 0;
    if (the_hook) answer = the_hook(severity, captions[severity], text.c_str());

    if (severity == 8 && writer_depth > 0) throw writer_unwind(text);
    if (severity == 9) throw fatal_unwind(text);
    return answer ? answer : severity;
}

int ask_question(int kind, const char* text, int default_answer) {
    if (!the_hook) return default_answer;
    int answer = the_hook(kind, question_caption, text ? text : "");
    return answer ? answer : default_answer;
}

void set_error_title(const char* title) {
    the_error_title = title ? title : "";
}
const char* error_title() {
    return the_error_title.c_str();
}
