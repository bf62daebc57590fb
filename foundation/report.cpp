// The message reporter, its error log "kavrel.err" and parse-error lines.
#include "foundation/report.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/app_strings.h"
#include "foundation/files.h"
#include "foundation/textsrc.h"

int writer_depth = 0;
std::int32_t report_counts[11] = {};
bool report_livesweep_on = false;
int report_message_level = 0;
int err_window_on = 0;
std::FILE* err_log_stream = nullptr;

namespace {

message_hook the_hook = nullptr;
std::FILE* redirect_stream = nullptr;

// The error log: where error_log(2) made it, how many openings are pending
// and whether the open stream is the reading one of error_log(-1).
std::string log_path;
int log_open_level = 0;
bool log_stream_reading = false;
std::string log_program_dir; // "" until set: the folder of the executable
std::string log_system_dir;  // "" until set: the user's configuration folder
bool log_program_dir_set = false;
bool log_system_dir_set = false;

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

std::string with_slash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

std::string default_program_dir() {
    return app_strings().prog_dir;
}

std::string default_system_dir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return with_slash(xdg) + "kavrel/";
    const char* home = std::getenv("HOME");
    if (home && *home) return with_slash(home) + ".config/kavrel/";
    return {};
}

std::string temporary_dir() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && *tmp) return with_slash(tmp);
    return "/tmp/";
}

std::string date_text() {
    std::time_t now = std::time(nullptr);
    std::tm tm_now{};
    ::localtime_r(&now, &tm_now);
    char buf[64];
    std::size_t n = std::strftime(buf, sizeof buf, "%a %b %d %H:%M:%S %Y", &tm_now);
    return std::string(buf, n);
}

void close_log_stream() {
    if (err_log_stream) std::fclose(err_log_stream);
    err_log_stream = nullptr;
    log_open_level = 0;
    log_stream_reading = false;
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
    if (err_log_stream && !log_stream_reading) {
        std::fwrite(line.data(), 1, line.size(), err_log_stream);
        std::fflush(err_log_stream);
        return;
    }
    if (log_path.empty()) return;
    std::FILE* f = std::fopen(log_path.c_str(), "a");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
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

// -------------------------------------------------------------- error log ---

void set_log_directories(const char* program_dir, const char* system_dir) {
    log_program_dir_set = program_dir != nullptr;
    log_program_dir = program_dir ? with_slash(program_dir) : std::string();
    log_system_dir_set = system_dir != nullptr;
    log_system_dir = system_dir ? with_slash(system_dir) : std::string();
}

const char* error_log_path() {
    return log_path.c_str();
}

int error_log(int mode) {
    if (mode == 2) {
        close_log_stream();
        log_path.clear();
        std::string dirs[3] = {
            log_program_dir_set ? log_program_dir : default_program_dir(),
            log_system_dir_set ? log_system_dir : default_system_dir(),
            temporary_dir(),
        };
        for (int i = 0; i < 3; ++i) {
            const std::string& dir = dirs[i];
            if (dir.empty()) continue;
            // The configuration folder may not exist yet on a fresh account.
            if (i == 1) make_dirs(dir);
            std::string path = dir + "kavrel.err";
            std::FILE* f = std::fopen(path.c_str(), "w");
            if (!f) continue;
            err_log_stream = f;
            log_path = path;
            log_open_level = 1;
            const auto& strings = app_strings();
            std::fprintf(f, "%s%s version %s error log starting %s\n", "",
                         strings.program_name.c_str(), strings.version.c_str(),
                         date_text().c_str());
            std::fflush(f);
            return 1;
        }
        return 0;
    }
    if (mode == 1) {
        // Another level of opening for appending (made by error_log(2) first).
        if (err_log_stream && !log_stream_reading) {
            ++log_open_level;
            return 1;
        }
        if (log_path.empty()) return 0;
        close_log_stream();
        err_log_stream = std::fopen(log_path.c_str(), "a");
        if (!err_log_stream) return 0;
        log_open_level = 1;
        return 1;
    }
    if (mode == -1) {
        if (log_path.empty()) return 0;
        close_log_stream();
        err_log_stream = std::fopen(log_path.c_str(), "r");
        if (!err_log_stream) return 0;
        log_stream_reading = true;
        log_open_level = 1;
        return 1;
    }
    if (mode == 0) {
        if (!err_log_stream) return 1;
        if (--log_open_level <= 0) close_log_stream();
        return 1;
    }
    return 0;
}

void set_error_title(const char* title) {
    the_error_title = title ? title : "";
}
const char* error_title() {
    return the_error_title.c_str();
}

// ----------------------------------------------------------- parse errors ---

std::string parse_error_caret(const char* source_line, int column) {
    std::string caret;
    if (column < 0) column = 0;
    for (int i = 0; i < column && source_line[i]; ++i) caret += source_line[i] == '\t' ? '\t' : ' ';
    caret += '^';
    return caret;
}

int parse_error(int severity, int column, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);

    // The source line without its line end.
    std::string source = line_buf ? line_buf : "";
    auto end = source.find_first_of("\r\n");
    if (end != std::string::npos) source.resize(end);

    // One message, so a stop or fatal error still carries the line with it.
    text += '\n';
    text += source;
    text += '\n';
    text += parse_error_caret(source.c_str(), column);
    text += '\n';
    const char* name = text_source_name();
    text += "Line " + std::to_string(text_line_number()) + " of file " + (name ? name : "");
    return report(severity, "%s", text.c_str());
}
