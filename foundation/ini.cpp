// The settings file: reading, the key/value table and safe rewriting.
#include "foundation/ini.h"

// <fcntl.h> declares a struct of the same name as our file_handle type when
// GNU extensions are on; it is renamed while the header is read.
#define file_handle os_file_handle_
#include <fcntl.h>
#undef file_handle

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/files.h"
#include "foundation/report.h"
#include "foundation/textsrc.h"

namespace {

constexpr const char* default_ini_name = "kavread.ini";
constexpr const char* section_name = "kavrel";
// A settings file is a few kilobytes; anything far larger is not one.
constexpr long long max_ini_bytes = 64LL << 20;

struct ini_state {
    std::vector<std::pair<std::string, std::string>> entries;
    std::unordered_map<std::string, std::size_t> index; // folded key -> entry
    std::string other_sections; // lines of other sections, written back as read
    std::string path;           // the file the table belongs to
    // Why the file named by path exists yet could not be read ("" when it
    // was read or made): it is then left alone, never written over.
    std::string unread;
    // Why the last read could not make the missing file ("" when it could),
    // and the file whose making has failed and been said (reset once it is
    // written): a settings file that cannot be made is said once, whichever
    // read or write meets it first.
    bool unmade = false;
    int unmade_error = 0;
    std::string unmade_said;
    std::string dir_override;
    bool dir_overridden = false;
};

ini_state& ini() {
    static ini_state state;
    return state;
}

std::string fold(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool ends_with_ini(const char* begin, const char* end) {
    if (end - begin < 4) return false;
    const char* s = end - 4;
    return s[0] == '.' && (s[1] == 'i' || s[1] == 'I') && (s[2] == 'n' || s[2] == 'N') &&
           (s[3] == 'i' || s[3] == 'I');
}

bool is_name_end(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\0';
}

void rebuild_index() {
    auto& st = ini();
    st.index.clear();
    for (std::size_t i = 0; i < st.entries.size(); ++i)
        st.index.emplace(fold(st.entries[i].first), i);
}

void clear_table() {
    auto& st = ini();
    st.entries.clear();
    st.index.clear();
    st.other_sections.clear();
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Reads a whole regular file; false with the reason in why when it cannot be
// read.
bool read_whole_file(const std::string& path, std::string& out, std::string& why) {
    out.clear();
    int fd = open_regular(path.c_str(), O_RDONLY);
    if (fd < 0) {
        why = file_error_text(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = file_error_text(errno);
        ::close(fd);
        return false;
    }
    if (st.st_size > max_ini_bytes) {
        why = "too large for a settings file";
        ::close(fd);
        return false;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            why = file_error_text(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (static_cast<long long>(out.size()) > max_ini_bytes) {
            why = "too large for a settings file";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Fills the table from the text of a settings file. Keys before the first
// section line count as keys of "[kavrel]"; lines without '=', comments and
// lines holding NUL bytes are skipped; the first of duplicate keys wins.
void parse_ini_text(const std::string& text) {
    auto& st = ini();
    bool ours = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::string_view line(text.data() + pos, end - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos) continue;
        std::string_view body = trim(line);
        if (!body.empty() && body.front() == '[') {
            auto close = body.find(']');
            if (close != std::string_view::npos) {
                ours = fold(trim(body.substr(1, close - 1))) == fold(section_name);
                if (!ours) {
                    st.other_sections.append(line);
                    st.other_sections += '\n';
                }
                continue;
            }
        }
        if (!ours) {
            st.other_sections.append(line);
            st.other_sections += '\n';
            continue;
        }
        if (body.empty() || body.front() == ';' || body.front() == '#') continue;
        auto eq = body.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = trim(body.substr(0, eq));
        if (key.empty() || key.front() == '[') continue;
        // The value keeps its trailing blanks: only the line end was cut.
        std::string_view value = line.substr(line.find('=') + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        std::string folded = fold(key);
        if (st.index.count(folded)) continue;
        st.index.emplace(std::move(folded), st.entries.size());
        st.entries.emplace_back(std::string(key), std::string(value));
    }
}

std::string default_ini_path() {
    return ini_directory() + "/" + default_ini_name;
}

// Writes the table to path through the file layer's temporary file beside
// it; the old file is replaced only after the new one is complete on disk.
// false with errno set on failure.
bool write_table(const std::string& path) {
    const auto& st = ini();
    std::string text = "[kavrel]\n";
    for (const auto& [key, value] : st.entries) {
        text += key;
        text += '=';
        text += value;
        text += '\n';
    }
    text += st.other_sections;
    return write_whole_file(path.c_str(), text.data(), text.size()) != 0;
}

int write_ini_mode(int mode) {
    auto& st = ini();
    int result = 1;
    if ((mode == 1 || mode == 2) && !st.unread.empty()) {
        // A file that could not be read is not ours to overwrite (said when
        // it was read).
        result = 0;
    } else if (mode == 1 || mode == 2) {
        if (st.path.empty()) st.path = default_ini_path();
        // A read-only settings file is replaced only when the user agrees
        // (its mode kept); otherwise it stays as it is.
        if (!ask_replace_read_only(st.path.c_str())) {
            result = 0;
        } else if (!write_table(st.path)) {
            const int error = errno;
            struct stat info {};
            const bool making = ::lstat(st.path.c_str(), &info) != 0;
            if (!making || st.unmade_said != st.path)
                report_write_failure(st.path.c_str(), error, "the settings file");
            if (making) st.unmade_said = st.path;
            result = -1;
        } else {
            st.unmade_said.clear();
        }
    }
    if (mode == 0 || mode == 1) clear_table();
    return result;
}

} // namespace

// ------------------------------------------------------------- locations ---

std::string ini_directory() {
    auto& st = ini();
    if (st.dir_overridden) return st.dir_override;
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty() && !env("HOME").empty()) config = env("HOME") + "/.config";
    if (!config.empty()) {
        std::string dir = config + "/kavrel";
        if (make_dirs(dir) && ::access(dir.c_str(), W_OK) == 0) return dir;
    }
    std::string drive = env("HOMEDRIVE"), home_path = env("HOMEPATH");
    if (!drive.empty() && !home_path.empty()) return drive + home_path;
    std::string home = env("HOME");
    return home.empty() ? std::string(".") : home;
}

void set_ini_directory(const char* dir) {
    auto& st = ini();
    st.dir_overridden = dir != nullptr;
    st.dir_override = dir ? dir : "";
    while (st.dir_override.size() > 1 && st.dir_override.back() == '/') st.dir_override.pop_back();
    st.path.clear();
    st.unread.clear();
    st.unmade = false;
    st.unmade_said.clear();
}

std::string expand_env_prefix(const char* path) {
    if (!path) return {};
    if (path[0] != '%') return path;
    const char* close = std::strchr(path + 1, '%');
    if (!close || close == path + 1) return path;
    std::string name(path + 1, close);
    const char* value = std::getenv(name.c_str());
    if (!value) return path;
    return std::string(value) + (close + 1);
}

std::string take_ini_name(char** command_line) {
    if (!command_line || !*command_line) return {};
    char* p = *command_line;
    while (*p == ' ' || *p == '\t') ++p;
    std::string name;
    char* rest = nullptr;
    if (*p == '"') {
        // A quoted name holds blanks; only the quoted text is considered, so a
        // quoted model path with ".ini " inside it is never cut apart.
        char* close = std::strchr(p + 1, '"');
        if (close && ends_with_ini(p + 1, close) && is_name_end(close[1])) {
            name.assign(p + 1, close);
            rest = close + 1;
        }
    } else {
        for (char* s = p; *s; ++s) {
            if (::strncasecmp(s, ".ini", 4) == 0 && is_name_end(s[4])) {
                name.assign(p, s + 4);
                rest = s + 4;
                break;
            }
        }
    }
    if (!rest) return {};
    while (*rest == ' ' || *rest == '\t' || *rest == '\n') ++rest;
    *command_line = rest;
    return name;
}

const char* ini_file_path() {
    return ini().path.c_str();
}
int ini_count() {
    return static_cast<int>(ini().entries.size());
}

// ------------------------------------------------------------ read, write ---

int read_ini_file(const char* path, char** command_line, int quiet) {
    auto& st = ini();
    std::string from_line = take_ini_name(command_line);
    std::string chosen;
    if (path && *path)
        chosen = path;
    else if (!from_line.empty())
        chosen = from_line;
    else if (!st.path.empty())
        chosen = st.path;
    else
        chosen = default_ini_path();
    chosen = expand_env_prefix(chosen.c_str());

    clear_table();
    st.path = chosen;
    st.unread.clear();
    st.unmade = false;

    std::string text, why;
    struct stat info {};
    if (::lstat(chosen.c_str(), &info) != 0 && errno == ENOENT) {
        // Only a file that is not there at all is written fresh (then read
        // like any other); a link to nothing is not written through.
        if (!write_table(chosen)) {
            const int error = errno;
            st.unmade = true;
            st.unmade_error = error;
            if (!quiet) report_ini_make_failure();
            return -2;
        }
        st.unmade_said.clear();
    }
    if (!read_whole_file(chosen, text, why)) {
        // Whatever it is, it stays as it is: the program runs on defaults and
        // never writes settings over it.
        st.unread = "Unable to read settings file " + chosen + ": " + why +
                    "; the default settings are used and the file is left as it is";
        if (!quiet) report(5, "%s", st.unread.c_str());
        return -1;
    }
    parse_ini_text(text);
    return 1;
}

const char* ini_read_failure() {
    return ini().unread.c_str();
}

int report_ini_make_failure() {
    auto& st = ini();
    if (!st.unmade || st.unmade_said == st.path) return 0;
    st.unmade_said = st.path;
    report_write_failure(st.path.c_str(), st.unmade_error, "the settings file");
    return 1;
}

int ini_get(const char* key, const char* default_value) {
    const char* value = ini_value(key);
    if (!value) value = default_value ? default_value : "";
    line_buf_assign(value);
    return *value ? 1 : 0;
}

std::string ini_get_string(const char* key, const char* default_value) {
    const char* value = ini_value(key);
    if (value) return value;
    return default_value ? default_value : "";
}

const char* ini_value(const char* key) {
    if (!key) return nullptr;
    const auto& st = ini();
    auto it = st.index.find(fold(key));
    if (it == st.index.end()) return nullptr;
    return st.entries[it->second].second.c_str();
}

int ini_set(const char* key, const char* value) {
    if (!key) return 0;
    std::string_view k = trim(key);
    if (k.empty() || k.front() == '[' || k.front() == ';' || k.front() == '#' ||
        k.find_first_of("=\r\n") != std::string_view::npos)
        return 0;
    auto& st = ini();
    std::string folded = fold(k);
    auto it = st.index.find(folded);
    if (!value) {
        if (it == st.index.end()) return 1;
        st.entries.erase(st.entries.begin() + static_cast<std::ptrdiff_t>(it->second));
        rebuild_index();
        return 1;
    }
    std::string v = value;
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    if (it != st.index.end()) {
        st.entries[it->second].second = std::move(v);
    } else {
        st.index.emplace(std::move(folded), st.entries.size());
        st.entries.emplace_back(std::string(k), std::move(v));
    }
    return 1;
}

int write_ini_file(int mode) {
    return write_ini_mode(mode);
}
