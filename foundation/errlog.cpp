// The error log "kavrel.err": made at start-up, appended to by the reporter.
#include "foundation/errlog.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "foundation/app_strings.h"
#include "foundation/openfile.h"
#include "foundation/paths.h"
#include "foundation/report.h"

std::FILE* err_log_stream = nullptr;

namespace {

// Where error_log(2) made the log, how many openings are pending and whether
// the open stream is the reading one of error_log(-1).
std::string log_path;
int log_open_level = 0;
bool log_stream_reading = false;
std::string log_program_dir; // "" until set: the folder of the executable
std::string log_system_dir;  // "" until set: the user's configuration folder
bool log_program_dir_set = false;
bool log_system_dir_set = false;

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

// Appends one logged line: to the open stream, else by reopening the file.
void append_line(const std::string& line) {
    if (err_log_stream && !log_stream_reading) {
        std::fwrite(line.data(), 1, line.size(), err_log_stream);
        std::fflush(err_log_stream);
        return;
    }
    if (log_path.empty()) return;
    std::FILE* f = open_regular_stream(log_path.c_str(), "a");
    if (!f) return;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

} // namespace

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
    // The reporter hands its lines here from the first use of the log on.
    set_log_line_writer(append_line);
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
            std::FILE* f = open_regular_stream(path.c_str(), "w");
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
        err_log_stream = open_regular_stream(log_path.c_str(), "a");
        if (!err_log_stream) return 0;
        log_open_level = 1;
        return 1;
    }
    if (mode == -1) {
        if (log_path.empty()) return 0;
        close_log_stream();
        err_log_stream = open_regular_stream(log_path.c_str(), "r");
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
